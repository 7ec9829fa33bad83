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

/* Lines of init, binding and removal. */
#define HGP_LOG(text) printk(HGP_KERN_ERR "hgpipe: " text)
/* Removal that could not wait for every call. */
#define HGP_WARN(...) printk(HGP_KERN_WARNING "hgpipe: " __VA_ARGS__)
/* Lines that any caller of the device node can trigger, so they are rate-limited. */
#define HGP_LOG_CALL(text) printk_ratelimited(HGP_KERN_ERR "hgpipe: " text)

#define HGP_VENDOR_ID 0x0404
#define HGP_DEVICE_ID 0x0604
/* Revision of the device that this module does not drive. */
#define HGP_REVISION_REFUSED 0x42
#define HGP_VRAM_SIZE 0x800000u
#define HGP_HGSMI_PORT 0x3E5
#define HGP_NAME "hgpipe"
/* Longest wait of a removal for calls blocked in the host (see g_call_lock). */
#define HGP_REMOVE_WAIT_MS 5000

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
};

static int module_nr_devs = 1;
static struct hgpipe_dev *hgpipe_dev;
/* Serialises buffer allocation and release on the heap. */
static struct mutex g_mutex;
/*
 * Serialises init's last steps, probe, remove and cleanup. Guards g_state,
 * g_init_done, g_heap_failed and the fields of hgpipe_dev that binding and
 * removal change. Calls never take it: they only ever see a device that
 * g_call_lock says is ready.
 */
static DEFINE_MUTEX(g_bind_mutex);
static unsigned int g_state;
/* Init has finished: a device bound from now on registers the device node itself. */
static int g_init_done;
/* The last probe bound a device but could not set its heap up. */
static int g_heap_failed;
/*
 * Guards g_dev_ready, g_calls and g_left_behind. A call counts itself in
 * while the device is ready and out when it is done; removal clears
 * g_dev_ready first, so calls that start after it fail at once with -ENODEV,
 * and then waits on g_calls_idle for the calls already in progress.
 *
 * A call in progress may be blocked in the host: the host performs the pipe
 * operation during the port write, so a read on an empty pipe or a wait holds
 * the calling thread inside that write until the host answers, and nothing in
 * the guest can cut it short. A call that only another guest call could
 * release (a read that waits for a guest program's write on the same pipe)
 * would hold the removal for ever, since that write is refused once removal
 * has begun. So removal waits at most HGP_REMOVE_WAIT_MS. Calls still in the
 * host then are left behind with a warning: the device is let go (region
 * released, device disabled), but the shared area stays mapped and the heap
 * set up, because each of those calls reads its buffer there and returns it
 * to the heap once the host answers. The last of them to come back unmaps the
 * area (g_left_behind); until then the device cannot be bound again. The
 * module itself cannot be unloaded meanwhile: the caller's open file holds it.
 */
static DEFINE_SPINLOCK(g_call_lock);
static int g_dev_ready;
static unsigned int g_calls;
/* Removal went on while calls were in the host; the last of them releases the binding. */
static int g_left_behind;
static DECLARE_WAIT_QUEUE_HEAD(g_calls_idle);

static inline u32 hgp_min(u32 a, u32 b)
{
	return a < b ? a : b;
}

/* The caller's address held in a record. */
static inline void __user *hgp_user_ptr(LPCVOID_ value)
{
	return (void __user *)(unsigned long)value;
}

/* Counts a call in; 0 when no device is ready (none bound, or being removed). */
static int hgp_call_enter(void)
{
	int ready;

	spin_lock(&g_call_lock);
	ready = g_dev_ready;
	if (ready)
		g_calls++;
	spin_unlock(&g_call_lock);
	return ready;
}

static void hgp_release_left_behind(void);

static void hgp_call_leave(void)
{
	int idle, last_behind;

	spin_lock(&g_call_lock);
	idle = --g_calls == 0;
	last_behind = idle && g_left_behind;
	spin_unlock(&g_call_lock);
	if (last_behind)
		hgp_release_left_behind();
	else if (idle)
		wake_up(&g_calls_idle);
}

static int hgp_calls_idle(void)
{
	int idle;

	spin_lock(&g_call_lock);
	idle = g_calls == 0;
	spin_unlock(&g_call_lock);
	return idle;
}

static void hgp_set_ready(int ready)
{
	spin_lock(&g_call_lock);
	g_dev_ready = ready;
	spin_unlock(&g_call_lock);
}

static void *hgp_alloc(u32 size, unsigned int op)
{
	void *buf;

	mutex_lock(&g_mutex);
	buf = VBoxHGSMIBufferAlloc(&hgpipe_dev->hgsmi_ctx, size, HGP_HGSMI_CHANNEL, op);
	mutex_unlock(&g_mutex);
	if (!buf)
		HGP_LOG_CALL("HGSMAlloc fails for no memory.\n");
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
		HGP_LOG_CALL("copy from user error\n");
		ret = -EFAULT;
		goto out;
	}
	if (VBoxHGSMIBufferSubmit(&hgpipe_dev->hgsmi_ctx, buf) < 0) {
		HGP_LOG_CALL("HGSMSubmit fails\n");
		ret = -EFAULT;
		goto out;
	}
	if (copy_to_user(uarg, buf, size)) {
		HGP_LOG_CALL("copy to user error\n");
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
 * The caller gets the record as the host left it (handle, result flag,
 * counts), except what must not be trusted: the host may rewrite any byte of
 * the buffer, so the buffer addresses and the sizes asked for come from the
 * copy taken before the submit, and the counts are clamped to those sizes.
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
		HGP_LOG_CALL("copy from user error\n");
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
		HGP_LOG_CALL("HGSMAlloc fails for no memory.\n");
		return -ENOMEM;
	}
	buf = hgp_alloc(hdr + data, op);
	if (!buf)
		return -ENOMEM;
	memset(buf, 0, hdr + data);
	/*
	 * The result fields start out as "failed, nothing moved": a buffer the
	 * host refuses comes back unchanged, and must not read as an answer.
	 */
	ans = req;
	switch (op) {
	case HGP_OP_WRITE_FILE:
		ans.write.lpNumberOfBytesWritten[0] = 0;
		ans.write.rc = 0;
		break;
	case HGP_OP_READ_FILE:
		ans.read.lpNumberOfBytesRead[0] = 0;
		ans.read.rc = 0;
		break;
	default:
		ans.write_read.lpNumberOfBytesWritten[0] = 0;
		ans.write_read.lpNumberOfBytesRead[0] = 0;
		ans.write_read.rc = 0;
		break;
	}
	memcpy(buf, &ans, hdr);
	if (wlen && copy_from_user(buf + hdr, wsrc, wlen)) {
		HGP_LOG_CALL("copy from user error\n");
		ret = -EFAULT;
		goto out;
	}
	if (VBoxHGSMIBufferSubmit(&hgpipe_dev->hgsmi_ctx, buf) < 0) {
		HGP_LOG_CALL("HGSMSubmit fails\n");
		ret = -EFAULT;
		goto out;
	}

	/* The record as the host left it, read once, with the untrusted fields put right. */
	memcpy(&ans, buf, hdr);
	switch (op) {
	case HGP_OP_WRITE_FILE:
		ans.write.lpBuffer = req.write.lpBuffer;
		ans.write.nNumberOfBytesToWrite = wlen;
		ans.write.lpNumberOfBytesWritten[0] = hgp_min(ans.write.lpNumberOfBytesWritten[0], wlen);
		break;
	case HGP_OP_READ_FILE:
		ans.read.lpBuffer = req.read.lpBuffer;
		ans.read.nNumberOfBytesToRead = rlen;
		got = hgp_min(ans.read.lpNumberOfBytesRead[0], rlen);
		ans.read.lpNumberOfBytesRead[0] = got;
		break;
	default:
		ans.write_read.lpwBuffer = req.write_read.lpwBuffer;
		ans.write_read.nNumberOfBytesToWrite = wlen;
		ans.write_read.lprBuffer = req.write_read.lprBuffer;
		ans.write_read.nNumberOfBytesToRead = rlen;
		ans.write_read.lpNumberOfBytesWritten[0] =
			hgp_min(ans.write_read.lpNumberOfBytesWritten[0], wlen);
		got = hgp_min(ans.write_read.lpNumberOfBytesRead[0], rlen);
		ans.write_read.lpNumberOfBytesRead[0] = got;
		break;
	}

	if (copy_to_user(uarg, &ans, hdr) || (got && copy_to_user(rdst, buf + hdr, got))) {
		HGP_LOG_CALL("copy to user error\n");
		ret = -EFAULT;
	}
out:
	hgp_free(buf);
	return ret;
}

/* Runs one operation on the bound device; removal waits until it is done. */
static long hgp_call(unsigned int op, void __user *uarg, u32 size)
{
	long ret;

	if (!hgp_call_enter()) {
		HGP_LOG_CALL("no device\n");
		return -ENODEV;
	}
	if (op == HGP_OP_WRITE_FILE || op == HGP_OP_READ_FILE || op == HGP_OP_WRITE_READ_FILE)
		ret = hgp_transfer(op, uarg);
	else
		ret = hgp_fixed(op, uarg, size);
	hgp_call_leave();
	return ret;
}

static long hgp_ioctl(struct file *filp, unsigned int cmd, unsigned long arg)
{
	void __user *uarg = (void __user *)arg;

	if (_IOC_TYPE(cmd) != HGP_IOC_MAGIC) {
		HGP_LOG_CALL("cmd invalid\n");
		return -EINVAL;
	}
	if (_IOC_NR(cmd) >= HGP_IOC_MAXNR) {
		HGP_LOG_CALL("cmd exceed max nr\n");
		return -EINVAL;
	}
	if ((_IOC_DIR(cmd) & (_IOC_READ | _IOC_WRITE)) && !hgp_access_ok(uarg, _IOC_SIZE(cmd))) {
		HGP_LOG_CALL("access deny!\n");
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

/* Undoes a binding; g_bind_mutex held and no call in progress. */
static void hgp_unbind(struct hgpipe_dev *dev)
{
	struct pci_dev *pdev = dev->pci_dev;

	HGSMIHeapDestroy(&dev->hgsmi_ctx.heap);
	pci_iounmap(pdev, dev->vram);
	pci_release_region(pdev, 0);
	pci_disable_device(pdev);
	dev->pci_dev = NULL;
	dev->vram = NULL;
	dev->vram_size = 0;
}

/*
 * The last call left behind by a removal is back and has returned its buffer:
 * the rest of the binding goes (the device itself was let go by the removal).
 */
static void hgp_release_left_behind(void)
{
	struct hgpipe_dev *dev = hgpipe_dev;
	struct pci_dev *pdev;

	mutex_lock(&g_bind_mutex);
	spin_lock(&g_call_lock);
	g_left_behind = 0;
	spin_unlock(&g_call_lock);
	pdev = dev->pci_dev;
	HGSMIHeapDestroy(&dev->hgsmi_ctx.heap);
	pci_iounmap(pdev, dev->vram);
	dev->pci_dev = NULL;
	dev->vram = NULL;
	dev->vram_size = 0;
	mutex_unlock(&g_bind_mutex);
	pci_dev_put(pdev);
	HGP_WARN("the calls left behind by the removal are back; the shared area is released\n");
}

static int __devinit hgp_probe(struct pci_dev *pdev, const struct pci_device_id *id)
{
	struct hgpipe_dev *dev;
	void __iomem *vram;
	u8 revision = 0;
	u32 size = HGP_VRAM_SIZE;
	int ret;

	mutex_lock(&g_bind_mutex);
	dev = hgpipe_dev;
	if (!dev || dev->pci_dev) {
		/* One device only, and none while calls left behind by a removal still use the area. */
		spin_lock(&g_call_lock);
		if (g_left_behind)
			HGP_LOG("calls left behind by a removal still use the shared area\n");
		spin_unlock(&g_call_lock);
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
	/* The shared area is addressed as memory; an I/O region cannot hold it. */
	if (!(pci_resource_flags(pdev, 0) & IORESOURCE_MEM) || pci_resource_len(pdev, 0) == 0) {
		HGP_LOG("hgpipe BAR0 is not a memory region\n");
		ret = -ENODEV;
		goto disable;
	}
	ret = pci_request_region(pdev, 0, HGP_NAME);
	if (ret) {
		HGP_LOG("hgpipe BAR0 is in use\n");
		goto disable;
	}
	vram = pci_iomap(pdev, 0, 0);
	if (!vram) {
		HGP_LOG("hgpipe pci_iomap failes\n");
		ret = -EIO;
		goto release;
	}
	/* Never let the heap reach past a shorter BAR0. */
	if (pci_resource_len(pdev, 0) < size)
		size = pci_resource_len(pdev, 0);

	dev->pci_dev = pdev;
	dev->vram = vram;
	dev->vram_size = size;
	dev->hgsmi_ctx.port = HGP_HGSMI_PORT;
	/* The heap is ready before anything can reach the device. */
	if (HGSMIHeapSetup(&dev->hgsmi_ctx.heap, (void __force *)vram, size, 0, 0)) {
		HGP_LOG("hgpipe HGSMIHeapSetup failes\n");
		g_heap_failed = 1;
		ret = -ENOMEM;
		goto unmap;
	}
	g_heap_failed = 0;
	hgp_set_ready(1);
	/* A device bound after init found none gets the device node here, over a ready device. */
	if (g_init_done && !(g_state & HGP_STATE_MISC)) {
		ret = misc_register(&hgp_misc);
		if (ret) {
			HGP_LOG("misc_register false\n");
			/* No node was there, so no call can have started. */
			hgp_set_ready(0);
			HGSMIHeapDestroy(&dev->hgsmi_ctx.heap);
			goto unmap;
		}
		g_state |= HGP_STATE_MISC;
	}
	if (g_init_done)
		g_state |= HGP_STATE_PCI_DEVICE;
	goto out;

unmap:
	dev->pci_dev = NULL;
	dev->vram = NULL;
	dev->vram_size = 0;
	pci_iounmap(pdev, vram);
release:
	pci_release_region(pdev, 0);
disable:
	pci_disable_device(pdev);
out:
	mutex_unlock(&g_bind_mutex);
	return ret;
}

static void __devexit hgp_remove(struct pci_dev *pdev)
{
	unsigned int behind;

	mutex_lock(&g_bind_mutex);
	if (hgpipe_dev && hgpipe_dev->pci_dev == pdev) {
		/* Calls that start from here on fail; wait a while for those in progress. */
		hgp_set_ready(0);
		wait_event_timeout(g_calls_idle, hgp_calls_idle(), msecs_to_jiffies(HGP_REMOVE_WAIT_MS));
		spin_lock(&g_call_lock);
		behind = g_calls;
		g_left_behind = behind != 0;
		spin_unlock(&g_call_lock);
		if (!behind) {
			hgp_unbind(hgpipe_dev);
		} else {
			/*
			 * Let the device go but keep the area mapped for the calls still
			 * in the host; the last of them unmaps it (after this unlock).
			 */
			pci_dev_get(pdev);
			pci_release_region(pdev, 0);
			pci_disable_device(pdev);
			HGP_WARN("removal goes on without %u call(s) blocked in the host; the shared area stays mapped until they are back\n",
				 behind);
		}
	}
	mutex_unlock(&g_bind_mutex);
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
	BUILD_BUG_ON(sizeof(struct hgsmi_buffer_header) != HGSMI_BUFFER_HEADER_SIZE);
	BUILD_BUG_ON(sizeof(struct hgsmi_buffer_tail) != HGSMI_BUFFER_TAIL_SIZE);

	g_state = 0;
	mutex_init(&g_mutex);
	g_state |= HGP_STATE_MUTEX;

	hgpipe_dev = kzalloc(module_nr_devs * sizeof(*hgpipe_dev), GFP_KERNEL);
	if (!hgpipe_dev) {
		HGP_LOG("can't kmalloc for dev\n");
		ret = -ENOMEM;
		goto fail_mutex;
	}

	/* The kernel probes a present device during the registration; probe sets its heap up. */
	g_heap_failed = 0;
	ret = pci_register_driver(&hgp_pci_driver);
	if (ret) {
		HGP_LOG("hgpipe pci_register_driver failes\n");
		goto fail_dev;
	}
	mutex_lock(&g_bind_mutex);
	g_state |= HGP_STATE_PCI_DRIVER;
	if (!hgpipe_dev->pci_dev) {
		if (g_heap_failed) {
			/* Logged by probe. */
			mutex_unlock(&g_bind_mutex);
			ret = -ENOMEM;
			goto fail_pci;
		}
		HGP_LOG("hgpipe pci_register_driver failes\n");
		/* Stay loaded: a device bound later registers the device node, cleanup the driver. */
		g_init_done = 1;
		mutex_unlock(&g_bind_mutex);
		return 0;
	}
	g_state |= HGP_STATE_PCI_DEVICE;

	/* The device node appears last, over a ready heap. */
	ret = misc_register(&hgp_misc);
	if (ret) {
		HGP_LOG("misc_register false\n");
		mutex_unlock(&g_bind_mutex);
		goto fail_pci;
	}
	g_state |= HGP_STATE_MISC;
	g_init_done = 1;
	mutex_unlock(&g_bind_mutex);
	return 0;

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
	unsigned int state;

	/* No probe registers the device node from here on. */
	mutex_lock(&g_bind_mutex);
	g_init_done = 0;
	state = g_state;
	mutex_unlock(&g_bind_mutex);

	if (state & HGP_STATE_MISC)
		hgp_misc_deregister(&hgp_misc);
	if (state & (HGP_STATE_PCI_DRIVER | HGP_STATE_PCI_DEVICE))
		pci_unregister_driver(&hgp_pci_driver);
	kfree(hgpipe_dev);
	hgpipe_dev = NULL;
	if (state & HGP_STATE_MUTEX)
		mutex_destroy(&g_mutex);
	g_state = 0;
}

module_init(hgp_init);
module_exit(hgp_cleanup);

MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("hgpipe for Orvanta");
