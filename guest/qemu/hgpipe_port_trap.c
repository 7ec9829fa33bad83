// SPDX-License-Identifier: GPL-2.0
/*
 * Test-only companion of hgpipe.ko for the virtual-machine check.
 *
 * Under the emulator nothing listens on the module's HGSMI port, so the host
 * is played by a guest user-space program that maps the device region
 * through sysfs. This module makes each submit wait for that program the way
 * a real host completes a buffer during the port write: when the module's
 * submit has written the offset to the port and returns, the offset is
 * posted in a mailbox past the module's area (one slot per CPU) and the CPU
 * waits until the program has answered inside the buffer and acknowledged
 * the slot. The module itself is not changed.
 *
 * Mailbox slot (16 bytes, at MAILBOX_OFFSET + 16 * cpu of BAR0):
 *   +0 u32 request sequence, +4 u32 buffer offset, +8 u32 answered sequence.
 */
#include <linux/module.h>
#include <linux/kprobes.h>
#include <linux/pci.h>
#include <linux/io.h>
#include <linux/jiffies.h>
#include <linux/smp.h>

#define MAILBOX_OFFSET 0x800000u
#define MAILBOX_SLOTS 8
#define SLOT_SIZE 16
/* Longest wait for one answer; a host that never answers ends the wait with a line. */
#define ANSWER_TIMEOUT (30 * HZ)

static unsigned short vendor = 0x1234;
static unsigned short device = 0x1111;
module_param(vendor, ushort, 0444);
module_param(device, ushort, 0444);

static void __iomem *mailbox;

struct submit_args {
	unsigned long data;
	unsigned long base;
};

static int submit_entry(struct kretprobe_instance *ri, struct pt_regs *regs)
{
	struct submit_args *args = (struct submit_args *)ri->data;
	/* VBoxHGSMIBufferSubmit(ctx, data): the heap, and so its base pointer, leads the context. */
	const void *const *ctx = (const void *const *)regs->di;

	args->data = regs->si;
	args->base = (unsigned long)ctx[0];
	return 0;
}

static int submit_return(struct kretprobe_instance *ri, struct pt_regs *regs)
{
	struct submit_args *args = (struct submit_args *)ri->data;
	unsigned int cpu = smp_processor_id();
	void __iomem *slot;
	unsigned long deadline = jiffies + ANSWER_TIMEOUT;
	u32 seq;

	if (regs_return_value(regs) != 0 || cpu >= MAILBOX_SLOTS)
		return 0;
	slot = mailbox + cpu * SLOT_SIZE;
	seq = readl(slot) + 1;
	writel((u32)(args->data - args->base - 16), slot + 4);
	writel(seq, slot);
	while (readl(slot + 8) != seq) {
		if (time_after(jiffies, deadline)) {
			pr_err("hgpipe_port_trap: no answer from the host program\n");
			break;
		}
		cpu_relax();
	}
	return 0;
}

static struct kretprobe submit_probe = {
	.kp.symbol_name = "VBoxHGSMIBufferSubmit",
	.entry_handler = submit_entry,
	.handler = submit_return,
	.data_size = sizeof(struct submit_args),
	.maxactive = 64,
};

static int __init trap_init(void)
{
	struct pci_dev *pdev = pci_get_device(vendor, device, NULL);
	int ret;

	if (!pdev)
		return -ENODEV;
	if (pci_resource_len(pdev, 0) < MAILBOX_OFFSET + MAILBOX_SLOTS * SLOT_SIZE) {
		pci_dev_put(pdev);
		return -ENODEV;
	}
	mailbox = ioremap(pci_resource_start(pdev, 0) + MAILBOX_OFFSET, MAILBOX_SLOTS * SLOT_SIZE);
	pci_dev_put(pdev);
	if (!mailbox)
		return -ENOMEM;
	ret = register_kretprobe(&submit_probe);
	if (ret) {
		iounmap(mailbox);
		return ret;
	}
	return 0;
}

static void __exit trap_exit(void)
{
	unregister_kretprobe(&submit_probe);
	iounmap(mailbox);
}

module_init(trap_init);
module_exit(trap_exit);
MODULE_LICENSE("GPL");
MODULE_DESCRIPTION("hgpipe port trap for the virtual-machine check");
