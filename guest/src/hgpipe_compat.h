/*
 * hgpipe: the one place where the module meets differences between the
 * kernels it is built for (the guest's 3.4 i386 kernel and current kernels).
 * Everything else in the module is written once against the macros below.
 */
#ifndef HGPIPE_COMPAT_H
#define HGPIPE_COMPAT_H

#include <linux/version.h>
#include <linux/types.h>
#include <linux/errno.h>
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/init.h>
#include <linux/slab.h>
#include <linux/string.h>
#include <linux/pci.h>
#include <linux/fs.h>
#include <linux/miscdevice.h>
#include <linux/mutex.h>
#include <linux/spinlock.h>
#include <linux/wait.h>
#include <linux/sched.h>
#include <linux/jiffies.h>
#include <linux/ratelimit.h>
#include <linux/io.h>
#include <asm/io.h>

#if LINUX_VERSION_CODE >= KERNEL_VERSION(4, 12, 0)
#include <linux/uaccess.h>
#else
#include <asm/uaccess.h>
#endif

/* access_ok lost its direction argument in 5.0. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(5, 0, 0)
#define hgp_access_ok(addr, size) access_ok((addr), (size))
#else
#define hgp_access_ok(addr, size) access_ok(VERIFY_WRITE, (addr), (size))
#endif

/* misc_deregister returned an error code until 4.3. */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(4, 3, 0)
#define hgp_misc_deregister(misc) misc_deregister(misc)
#else
#define hgp_misc_deregister(misc) ((void)misc_deregister(misc))
#endif

/*
 * Log level prefix: before 3.6 the level travelled as the text "<3>" in
 * front of the message; later kernels use KERN_ERR's own encoding.
 */
#if LINUX_VERSION_CODE >= KERNEL_VERSION(3, 6, 0)
#define HGP_KERN_ERR KERN_ERR
#define HGP_KERN_WARNING KERN_WARNING
#else
#define HGP_KERN_ERR "<3>"
#define HGP_KERN_WARNING "<4>"
#endif

/* Section annotations for hot-pluggable devices, removed in 3.8. */
#ifndef __devinit
#define __devinit
#endif
#ifndef __devexit
#define __devexit
#endif
#ifndef __devexit_p
#define __devexit_p(fn) fn
#endif

#endif /* HGPIPE_COMPAT_H */
