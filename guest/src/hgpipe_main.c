/*
 * hgpipe: named pipes of the host for guest user space.
 *
 * The module binds the host's pipe device (PCI 0404:0604), whose first memory
 * region is an area shared with the host, and offers the misc device
 * /dev/hgpipe. Each ioctl on it carries one pipe operation as a packed record
 * (hgpipe_ioctl.h). The record, and for writes the caller's data, is copied
 * into a buffer in the shared area and submitted on HGSMI channel 8; the host
 * performs the operation during the submit, so every call is synchronous.
 * Results, and for reads the data, are copied back to the caller.
 */
#include "hgpipe_compat.h"
#include "hgpipe_ioctl.h"
#include "hgsmi.h"

#define HGP_LOG(text) printk(HGP_KERN_ERR "hgpipe: " text)

#define HGP_VENDOR_ID 0x0404
#define HGP_DEVICE_ID 0x0604
/* Revision of the device that this module does not drive. */
#define HGP_REVISION_REFUSED 0x42
#define HGP_VRAM_SIZE 0x800000u
#define HGP_HGSMI_PORT 0x3E5

/* Bits of g_state: what init has set up and cleanup must undo. */
#define HGP_STATE_MISC 1       /* misc device registered */
#define HGP_STATE_PCI_DEVICE 2 /* PCI driver registered with a device */
#define HGP_STATE_MUTEX 4      /* g_mutex initialised */
#define HGP_STATE_PCI_DRIVER 8 /* PCI driver registered, with or without a device */

struct hgpipe_dev {
	struct pci_dev *pci_dev; /* the bound device, NULL when none */
	void __iomem *vram;      /* mapping of BAR0 */
	u32 vram_size;           /* bytes of BAR0 used as the shared area */
	struct hgsmi_ctx hgsmi_ctx;
	int heap_ready;          /* the heap is set up over vram */
};

static int module_nr_devs = 1;
static struct hgpipe_dev *hgpipe_dev;
static unsigned int g_state;
/* Serialises buffer allocation and release on the heap. */
static struct mutex g_mutex;
/*
 * Held for reading by every ioctl for the whole of its use of the shared
 * area, and for writing while a device is bound, set up or removed, so that
 * a removed device's mapping is never touched again.
 */
static DECLARE_RWSEM(g_dev_lock);
/* Init has set the heap up once; a device bound later sets up its own. */
static int g_init_done;

static inline u32 hgp_min(u32 a, u32 b)
{
	return a < b ? a : b;
}

/* The caller's address held in a record. */
static inline void __user *hgp_user_ptr(LPCVOID_ value)
{
	return (void __user *)(unsigned long)value;
}

/* Sets the heap up over the bound device's area; g_dev_lock held for writing. */
static int hgp_heap_setup(struct hgpipe_dev *dev)
{
	int ret;

	dev->hgsmi_ctx.port = HGP_HGSMI_PORT;
	ret = HGSMIHeapSetup(&dev->hgsmi_ctx.heap, (void __force *)dev->vram, dev->vram_size, 0, 0);
	dev->heap_ready = ret == 0;
	return ret;
}

static void *hgp_alloc(u32 size, unsigned int op)
{
	void *buf;

	mutex_lock(&g_mutex);
	buf = VBoxHGSMIBufferAlloc(&hgpipe_dev->hgsmi_ctx, size, HGP_HGSMI_CHANNEL, op);
	mutex_unlock(&g_mutex);
	if (!buf)
		HGP_LOG("HGSMAlloc fails for no memory.\n");
	return buf;
}

static void hgp_free(void *buf)
{
	mutex_lock(&g_mutex);
	VBoxHGSMIBufferFree(&hgpipe_dev->hgsmi_ctx, buf);
	mutex_unlock(&g_mutex);
}

/* CreateFile, GetLastError, WaitNamedPipe and CloseHandle: the record is all. */
static long hgp_fixed(unsigned int op, void __user *uarg, u32 size)
{
	u8 *buf;
	long ret = 0;

	buf = hgp_alloc(size, op);
	if (!buf)
		return -ENOMEM;
	memset(buf, 0, size);
	if (copy_from_user(buf, uarg, size)) {
		HGP_LOG("copy from user error\n");
		ret = -EFAULT;
		goto out;
	}
	if (VBoxHGSMIBufferSubmit(&hgpipe_dev->hgsmi_ctx, buf) < 0) {
		HGP_LOG("HGSMSubmit fails\n");
		ret = -EFAULT;
		goto out;
	}
	if (copy_to_user(uarg, buf, size)) {
		HGP_LOG("copy to user error\n");
		ret = -EFAULT;
	}
out:
	hgp_free(buf);
	return ret;
}

union hgp_header {
	struct WriteFileCtx write;
	struct ReadFileCtx read;
	struct WriteReadFileCtx write_read;
};

/*
 * WriteFile, ReadFile and WriteReadFile: the record followed by a data part.
 *
 * The host may rewrite any byte of the buffer after the submit, so addresses
 * and sizes come from the copy taken before it; of the host's answer only the
 * result flag and the counts are taken, read once and clamped to the sizes
 * asked for.
 */
static long hgp_transfer(unsigned int op, void __user *uarg)
{
	union hgp_header req, ans;
	u32 hdr = op == HGP_OP_WRITE_READ_FILE ? sizeof(req.write_read) : sizeof(req.write);
	u32 wlen = 0, rlen = 0, data, got = 0;
	const void __user *wsrc = NULL;
	void __user *rdst = NULL;
	u8 *buf;
	long ret = 0;

	if (copy_from_user(&req, uarg, hdr)) {
		HGP_LOG("copy from user error\n");
		return -EFAULT;
	}
	switch (op) {
	case HGP_OP_WRITE_FILE:
		wlen = req.write.nNumberOfBytesToWrite;
		wsrc = hgp_user_ptr(req.write.lpBuffer);
		break;
	case HGP_OP_READ_FILE:
		rlen = req.read.nNumberOfBytesToRead;
		rdst = hgp_user_ptr(req.read.lpBuffer);
		break;
	default:
		wlen = req.write_read.nNumberOfBytesToWrite;
		wsrc = hgp_user_ptr(req.write_read.lpwBuffer);
		rlen = req.write_read.nNumberOfBytesToRead;
		rdst = hgp_user_ptr(req.write_read.lprBuffer);
		break;
	}

	/* A data part larger than the area cannot be framed; refuse it before the sum can wrap. */
	data = wlen > rlen ? wlen : rlen;
	if (data > hgpipe_dev->vram_size) {
		HGP_LOG("HGSMAlloc fails for no memory.\n");
		return -ENOMEM;
	}
	buf = hgp_alloc(hdr + data, op);
	if (!buf)
		return -ENOMEM;
	memset(buf, 0, hdr + data);
	memcpy(buf, &req, hdr);
	if (wlen && copy_from_user(buf + hdr, wsrc, wlen)) {
		HGP_LOG("copy from user error\n");
		ret = -EFAULT;
		goto out;
	}
	if (VBoxHGSMIBufferSubmit(&hgpipe_dev->hgsmi_ctx, buf) < 0) {
		HGP_LOG("HGSMSubmit fails\n");
		ret = -EFAULT;
		goto out;
	}

	memcpy(&ans, buf, hdr);
	switch (op) {
	case HGP_OP_WRITE_FILE:
		req.write.lpNumberOfBytesWritten[0] = hgp_min(ans.write.lpNumberOfBytesWritten[0], wlen);
		req.write.rc = ans.write.rc;
		break;
	case HGP_OP_READ_FILE:
		got = hgp_min(ans.read.lpNumberOfBytesRead[0], rlen);
		req.read.lpNumberOfBytesRead[0] = got;
		req.read.rc = ans.read.rc;
		break;
	default:
		req.write_read.lpNumberOfBytesWritten[0] =
			hgp_min(ans.write_read.lpNumberOfBytesWritten[0], wlen);
		got = hgp_min(ans.write_read.lpNumberOfBytesRead[0], rlen);
		req.write_read.lpNumberOfBytesRead[0] = got;
		req.write_read.rc = ans.write_read.rc;
		break;
	}

	if (copy_to_user(uarg, &req, hdr) || (got && copy_to_user(rdst, buf + hdr, got))) {
		HGP_LOG("copy to user error\n");
		ret = -EFAULT;
	}
out:
	hgp_free(buf);
	return ret;
}

/* Runs one operation while the device stays bound. */
static long hgp_call(unsigned int op, void __user *uarg, u32 size)
{
	long ret;

	down_read(&g_dev_lock);
	if (!hgpipe_dev || !hgpipe_dev->heap_ready) {
		HGP_LOG("no device\n");
		ret = -ENODEV;
	} else if (op == HGP_OP_WRITE_FILE || op == HGP_OP_READ_FILE || op == HGP_OP_WRITE_READ_FILE) {
		ret = hgp_transfer(op, uarg);
	} else {
		ret = hgp_fixed(op, uarg, size);
	}
	up_read(&g_dev_lock);
	return ret;
}

static long hgp_ioctl(struct file *filp, unsigned int cmd, unsigned long arg)
{
	void __user *uarg = (void __user *)arg;

	if (_IOC_TYPE(cmd) != HGP_IOC_MAGIC) {
		HGP_LOG("cmd invalid\n");
		return -EINVAL;
	}
	if (_IOC_NR(cmd) >= HGP_IOC_MAXNR) {
		HGP_LOG("cmd exceed max nr\n");
		return -EINVAL;
	}
	if ((_IOC_DIR(cmd) & (_IOC_READ | _IOC_WRITE)) && !hgp_access_ok(uarg, _IOC_SIZE(cmd))) {
		HGP_LOG("access deny!\n");
		return -EFAULT;
	}

	switch (cmd) {
	case HGP_IOC_CREATE_FILE:
		return hgp_call(HGP_OP_CREATE_FILE, uarg, sizeof(struct CreateFileCtx));
	case HGP_IOC_GET_LAST_ERROR:
		return hgp_call(HGP_OP_GET_LAST_ERROR, uarg, sizeof(struct GetLastErrorCtx));
	case HGP_IOC_WAIT_NAMED_PIPE:
		return hgp_call(HGP_OP_WAIT_NAMED_PIPE, uarg, sizeof(struct WaitNamedPipeCtx));
	case HGP_IOC_WRITE_FILE:
		return hgp_call(HGP_OP_WRITE_FILE, uarg, sizeof(struct WriteFileCtx));
	case HGP_IOC_READ_FILE:
		return hgp_call(HGP_OP_READ_FILE, uarg, sizeof(struct ReadFileCtx));
	case HGP_IOC_CLOSE_HANDLE:
		return hgp_call(HGP_OP_CLOSE_HANDLE, uarg, sizeof(struct CloseHandleCtx));
	case HGP_IOC_WRITE_READ_FILE:
		return hgp_call(HGP_OP_WRITE_READ_FILE, uarg, sizeof(struct WriteReadFileCtx));
	default:
		return -ENOTTY;
	}
}

static int hgp_open(struct inode *inode, struct file *filp)
{
	return 0;
}

static int hgp_close(struct inode *inode, struct file *filp)
{
	return 0;
}

static ssize_t hgp_read(struct file *filp, char __user *buf, size_t count, loff_t *pos)
{
	return 0;
}

static ssize_t hgp_write(struct file *filp, const char __user *buf, size_t count, loff_t *pos)
{
	return 0;
}

static const struct file_operations hgp_fops = {
	.owner = THIS_MODULE,
	.read = hgp_read,
	.write = hgp_write,
	.unlocked_ioctl = hgp_ioctl,
	.open = hgp_open,
	.release = hgp_close,
};

static struct miscdevice hgp_misc = {
	.minor = MISC_DYNAMIC_MINOR,
	.name = "hgpipe",
	.fops = &hgp_fops,
	.mode = 0666,
};

static int __devinit hgp_probe(struct pci_dev *pdev, const struct pci_device_id *id)
{
	void __iomem *vram;
	u8 revision = 0;
	u32 size = HGP_VRAM_SIZE;
	int ret;

	down_write(&g_dev_lock);
	if (!hgpipe_dev || hgpipe_dev->pci_dev) {
		/* One device only. */
		ret = -EBUSY;
		goto out;
	}
	ret = pci_enable_device(pdev);
	if (ret)
		goto out;
	pci_read_config_byte(pdev, PCI_REVISION_ID, &revision);
	if (revision == HGP_REVISION_REFUSED) {
		ret = -ENODEV;
		goto disable;
	}
	vram = pci_iomap(pdev, 0, 0);
	if (!vram) {
		HGP_LOG("hgpipe pci_iomap failes\n");
		ret = -EIO;
		goto disable;
	}
	/* Never let the heap reach past a shorter BAR0. */
	if (pci_resource_len(pdev, 0) < size)
		size = pci_resource_len(pdev, 0);

	hgpipe_dev->pci_dev = pdev;
	hgpipe_dev->vram = vram;
	hgpipe_dev->vram_size = size;
	if (g_init_done && hgp_heap_setup(hgpipe_dev)) {
		HGP_LOG("hgpipe HGSMIHeapSetup failes\n");
		hgpipe_dev->pci_dev = NULL;
		hgpipe_dev->vram = NULL;
		hgpipe_dev->vram_size = 0;
		pci_iounmap(pdev, vram);
		ret = -ENOMEM;
		goto disable;
	}
	goto out;

disable:
	pci_disable_device(pdev);
out:
	up_write(&g_dev_lock);
	return ret;
}

static void __devexit hgp_remove(struct pci_dev *pdev)
{
	down_write(&g_dev_lock);
	if (hgpipe_dev && hgpipe_dev->pci_dev == pdev) {
		if (hgpipe_dev->heap_ready)
			HGSMIHeapDestroy(&hgpipe_dev->hgsmi_ctx.heap);
		hgpipe_dev->heap_ready = 0;
		pci_iounmap(pdev, hgpipe_dev->vram);
		hgpipe_dev->vram = NULL;
		hgpipe_dev->vram_size = 0;
		hgpipe_dev->pci_dev = NULL;
		pci_disable_device(pdev);
	}
	up_write(&g_dev_lock);
}

static const struct pci_device_id hgp_ids[] = {
	{ PCI_DEVICE(HGP_VENDOR_ID, HGP_DEVICE_ID) },
	{ 0 },
};
MODULE_DEVICE_TABLE(pci, hgp_ids);

static struct pci_driver hgp_pci_driver = {
	.name = "hgpipe",
	.id_table = hgp_ids,
	.probe = hgp_probe,
	.remove = __devexit_p(hgp_remove),
};

static int __init hgp_init(void)
{
	int ret;

	BUILD_BUG_ON(sizeof(struct CreateFileCtx) != 132);
	BUILD_BUG_ON(sizeof(struct GetLastErrorCtx) != 4);
	BUILD_BUG_ON(sizeof(struct WaitNamedPipeCtx) != 133);
	BUILD_BUG_ON(sizeof(struct WriteFileCtx) != 21);
	BUILD_BUG_ON(sizeof(struct ReadFileCtx) != 21);
	BUILD_BUG_ON(sizeof(struct CloseHandleCtx) != 5);
	BUILD_BUG_ON(sizeof(struct WriteReadFileCtx) != 37);

	g_state = 0;
	mutex_init(&g_mutex);
	g_state |= HGP_STATE_MUTEX;

	hgpipe_dev = kzalloc(module_nr_devs * sizeof(*hgpipe_dev), GFP_KERNEL);
	if (!hgpipe_dev) {
		HGP_LOG("can't kmalloc for dev\n");
		ret = -ENOMEM;
		goto fail_mutex;
	}

	/* The kernel probes a present device during the registration. */
	ret = pci_register_driver(&hgp_pci_driver);
	if (ret == 0)
		g_state |= HGP_STATE_PCI_DRIVER;
	if (ret || !hgpipe_dev->pci_dev || !hgpipe_dev->vram) {
		HGP_LOG("hgpipe pci_register_driver failes\n");
		if (ret)
			goto fail_dev;
		/* No device: stay loaded without a misc device; cleanup unregisters the driver. */
		return 0;
	}
	g_state |= HGP_STATE_PCI_DEVICE;

	ret = misc_register(&hgp_misc);
	if (ret) {
		HGP_LOG("misc_register false\n");
		goto fail_pci;
	}
	g_state |= HGP_STATE_MISC;

	/* Until the heap is ready an early ioctl gets -ENODEV. */
	down_write(&g_dev_lock);
	ret = hgpipe_dev->pci_dev ? hgp_heap_setup(hgpipe_dev) : -ENODEV;
	if (ret == 0)
		g_init_done = 1;
	up_write(&g_dev_lock);
	if (ret) {
		HGP_LOG("hgpipe HGSMIHeapSetup failes\n");
		ret = -ENOMEM;
		goto fail_misc;
	}
	return 0;

fail_misc:
	hgp_misc_deregister(&hgp_misc);
fail_pci:
	pci_unregister_driver(&hgp_pci_driver);
fail_dev:
	kfree(hgpipe_dev);
	hgpipe_dev = NULL;
fail_mutex:
	mutex_destroy(&g_mutex);
	g_state = 0;
	return ret;
}

static void __exit hgp_cleanup(void)
{
	if (g_state & HGP_STATE_MISC)
		hgp_misc_deregister(&hgp_misc);
	if (g_state & (HGP_STATE_PCI_DRIVER | HGP_STATE_PCI_DEVICE))
		pci_unregister_driver(&hgp_pci_driver);
	kfree(hgpipe_dev);
	hgpipe_dev = NULL;
	if (g_state & HGP_STATE_MUTEX)
		mutex_destroy(&g_mutex);
	g_state = 0;
	g_init_done = 0;
}

module_init(hgp_init);
module_exit(hgp_cleanup);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("hgpipe for Orvanta");
