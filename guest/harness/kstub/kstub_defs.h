/*
 * Stand-in for the kernel interfaces that hgpipe uses, for running the module
 * source in a user-space test program.
 *
 * The structures are shared by the module's translation units (built with
 * __KERNEL__ and include/ on the include path) and by the stand-in's own
 * implementation and the tests (built without), so both see one layout.
 * HGP_STUB_KVER selects which kernel's interface the headers present, in
 * KERNEL_VERSION encoding; the differences are the ones the module's compat
 * header switches on.
 */
#ifndef KSTUB_DEFS_H
#define KSTUB_DEFS_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <time.h>

#ifndef HGP_STUB_KVER
#define HGP_STUB_KVER 0x030400
#endif

#define KSTUB_PCI_ANY_ID (~0u)
#define KSTUB_IORESOURCE_IO 0x00000100ul
#define KSTUB_IORESOURCE_MEM 0x00000200ul

typedef long kstub_ssize_t;
typedef long long kstub_loff_t;

struct module;
struct inode;
struct file
{
    void *private_data;
};

struct file_operations
{
    struct module *owner;
    kstub_ssize_t (*read)(struct file *, char *, size_t, kstub_loff_t *);
    kstub_ssize_t (*write)(struct file *, const char *, size_t, kstub_loff_t *);
    long (*unlocked_ioctl)(struct file *, unsigned int, unsigned long);
    long (*compat_ioctl)(struct file *, unsigned int, unsigned long);
    kstub_loff_t (*llseek)(struct file *, kstub_loff_t, int);
    int (*mmap)(struct file *, void *);
    int (*open)(struct inode *, struct file *);
    int (*release)(struct inode *, struct file *);
};

struct miscdevice
{
    int minor;
    const char *name;
    const struct file_operations *fops;
    unsigned short mode;
};

struct pci_device_id
{
    uint32_t vendor, device;
    uint32_t subvendor, subdevice;
    uint32_t class_, class_mask;
    unsigned long driver_data;
};

struct pci_driver;

struct pci_dev
{
    uint16_t vendor;
    uint16_t device;
    uint8_t revision;
    /* Stand-in state, not touched by the module. */
    void *bar0;
    unsigned long bar0_len;
    unsigned long bar0_flags; /* KSTUB_IORESOURCE_MEM unless a test says otherwise */
    int enable_count;
    int iomap_count;
    int region_count; /* BAR0 reservations held */
    int refs;         /* references taken with pci_dev_get */
    int unplugged;    /* hot-removed while referenced: freed by the last pci_dev_put */
    struct pci_driver *bound;
};

struct pci_driver
{
    const char *name;
    const struct pci_device_id *id_table;
    int (*probe)(struct pci_dev *, const struct pci_device_id *);
    void (*remove)(struct pci_dev *);
};

/* Zeroed storage is an unlocked lock; kstub.c checks that it is large enough. */
struct mutex
{
    union {
        long long align;
        unsigned char bytes[64];
    } impl;
    int live;
};
struct rw_semaphore
{
    union {
        long long align;
        unsigned char bytes[64];
    } impl;
    int ready; /* the lock in impl has been set up as writer-preferring */
};
/* Zeroed storage is an unlocked spinlock (a mutex underneath). */
typedef struct
{
    union {
        long long align;
        unsigned char bytes[64];
    } impl;
} spinlock_t;
/* Zeroed storage is an empty queue (a mutex and a condition underneath). */
typedef struct
{
    union {
        long long align;
        unsigned char bytes[64];
    } lock;
    union {
        long long align;
        unsigned char bytes[64];
    } cond;
} wait_queue_head_t;
/* State of one rate-limited printk call site. */
struct kstub_ratelimit
{
    unsigned long generation;
    int printed;
};

#define KSTUB_PRINTF(a, b) __attribute__((format(printf, a, b)))

void *kstub_kmalloc(size_t size, int zero);
void kstub_kfree(const void *p);
int kstub_printk(const char *fmt, ...) KSTUB_PRINTF(1, 2);
unsigned long kstub_copy_from_user(void *to, const void *from, unsigned long n);
unsigned long kstub_copy_to_user(void *to, const void *from, unsigned long n);
int kstub_access_ok(unsigned long addr, unsigned long size);
void kstub_outl(uint32_t value, uint16_t port);

int kstub_pci_register_driver(struct pci_driver *drv);
void kstub_pci_unregister_driver(struct pci_driver *drv);
int kstub_pci_enable_device(struct pci_dev *dev);
void kstub_pci_disable_device(struct pci_dev *dev);
int kstub_pci_read_config_byte(struct pci_dev *dev, int where, uint8_t *val);
void *kstub_pci_iomap(struct pci_dev *dev, int bar, unsigned long maxlen);
void kstub_pci_iounmap(struct pci_dev *dev, void *addr);
unsigned long kstub_pci_resource_len(struct pci_dev *dev, int bar);

int kstub_misc_register(struct miscdevice *misc);
int kstub_misc_deregister(struct miscdevice *misc);

void kstub_mutex_init(struct mutex *m);
void kstub_mutex_destroy(struct mutex *m);
void kstub_mutex_lock(struct mutex *m);
void kstub_mutex_unlock(struct mutex *m);
void kstub_down_read(struct rw_semaphore *s);
void kstub_up_read(struct rw_semaphore *s);
void kstub_down_write(struct rw_semaphore *s);
void kstub_up_write(struct rw_semaphore *s);
void kstub_spin_lock(spinlock_t *l);
void kstub_spin_unlock(spinlock_t *l);
void kstub_wait_lock(wait_queue_head_t *q);
void kstub_wait_unlock(wait_queue_head_t *q);
void kstub_wait_sleep(wait_queue_head_t *q);
/* Sleeps until woken or until `deadline` (CLOCK_REALTIME, see kstub_deadline); nonzero when it passed. */
int kstub_wait_sleep_until(wait_queue_head_t *q, const struct timespec *deadline);
void kstub_deadline(struct timespec *deadline, unsigned long timeout_ms);
void kstub_wake_up(wait_queue_head_t *q);
int kstub_ratelimit_ok(struct kstub_ratelimit *rs);
unsigned long kstub_pci_resource_flags(struct pci_dev *dev, int bar);
int kstub_pci_request_region(struct pci_dev *dev, int bar, const char *name);
void kstub_pci_release_region(struct pci_dev *dev, int bar);
struct pci_dev *kstub_pci_dev_get(struct pci_dev *dev);
void kstub_pci_dev_put(struct pci_dev *dev);

#ifdef __KERNEL__
/* ---- what the module's translation units see ---- */

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef int32_t s32;
typedef uint64_t u64;
typedef uint8_t __u8;
typedef uint16_t __u16;
typedef uint32_t __u32;
typedef int32_t __s32;
typedef uint64_t __u64;
typedef kstub_ssize_t ssize_t;
typedef kstub_loff_t loff_t;

#define __user
#define __iomem
#define __force
#define __init
#define __exit

#define KERNEL_VERSION(a, b, c) (((a) << 16) + ((b) << 8) + (c))
#define LINUX_VERSION_CODE HGP_STUB_KVER

#define EIO 5
#define ENOMEM 12
#define EFAULT 14
#define EBUSY 16
#define ENODEV 19
#define EINVAL 22
#define ENOTTY 25

#define BUILD_BUG_ON(cond) ((void)sizeof(char[1 - 2 * !!(cond)]))

#if LINUX_VERSION_CODE >= KERNEL_VERSION(3, 6, 0)
#define KERN_SOH "\001"
#define KERN_ERR KERN_SOH "3"
#define KERN_WARNING KERN_SOH "4"
#else
#define KERN_ERR "<3>"
#define KERN_WARNING "<4>"
#endif
#define printk kstub_printk
/* Up to a burst of lines per call site, then nothing until the test resets the stand-in. */
#define printk_ratelimited(...)                                                                              \
    ({                                                                                                       \
        static struct kstub_ratelimit rs_;                                                                   \
        kstub_ratelimit_ok(&rs_) ? kstub_printk(__VA_ARGS__) : 0;                                            \
    })
#define mb() __sync_synchronize()

#if LINUX_VERSION_CODE < KERNEL_VERSION(3, 8, 0)
#define __devinit
#define __devexit
#define __devexit_p(fn) fn
#endif

#define GFP_KERNEL 0
#define kmalloc(size, flags) kstub_kmalloc((size), 0)
#define kzalloc(size, flags) kstub_kmalloc((size), 1)
#define kfree(p) kstub_kfree(p)

extern struct module kstub_this_module;
#define THIS_MODULE (&kstub_this_module)
#define module_init(fn) int (*kstub_module_init_fn)(void) = fn
#define module_exit(fn) void (*kstub_module_exit_fn)(void) = fn
#define MODULE_LICENSE(text) const char kstub_module_license[] = text
#define MODULE_DESCRIPTION(text) const char kstub_module_description[] = text
#define MODULE_DEVICE_TABLE(type, name) const void *kstub_module_device_table = name

#define copy_from_user(to, from, n) kstub_copy_from_user((to), (from), (n))
#define copy_to_user(to, from, n) kstub_copy_to_user((to), (from), (n))
#if LINUX_VERSION_CODE >= KERNEL_VERSION(5, 0, 0)
#define access_ok(addr, size) kstub_access_ok((unsigned long)(addr), (size))
#else
#define VERIFY_READ 0
#define VERIFY_WRITE 1
#define access_ok(type, addr, size) ((void)(type), kstub_access_ok((unsigned long)(addr), (size)))
#endif

#define outl(value, port) kstub_outl((value), (port))

#define PCI_ANY_ID KSTUB_PCI_ANY_ID
#define PCI_REVISION_ID 8
#define PCI_DEVICE(vend, dev)                                                                                \
    .vendor = (vend), .device = (dev), .subvendor = PCI_ANY_ID, .subdevice = PCI_ANY_ID
#define pci_register_driver kstub_pci_register_driver
#define pci_unregister_driver kstub_pci_unregister_driver
#define pci_enable_device kstub_pci_enable_device
#define pci_disable_device kstub_pci_disable_device
#define pci_read_config_byte kstub_pci_read_config_byte
#define pci_iomap kstub_pci_iomap
#define pci_iounmap kstub_pci_iounmap
#define pci_resource_len kstub_pci_resource_len
#define pci_resource_flags kstub_pci_resource_flags
#define pci_request_region kstub_pci_request_region
#define pci_release_region kstub_pci_release_region
#define pci_dev_get kstub_pci_dev_get
#define pci_dev_put kstub_pci_dev_put
#define IORESOURCE_IO KSTUB_IORESOURCE_IO
#define IORESOURCE_MEM KSTUB_IORESOURCE_MEM

#define MISC_DYNAMIC_MINOR 255
#define misc_register kstub_misc_register
#if LINUX_VERSION_CODE >= KERNEL_VERSION(4, 3, 0)
static inline void misc_deregister(struct miscdevice *misc)
{
    (void)kstub_misc_deregister(misc);
}
#else
static inline int misc_deregister(struct miscdevice *misc)
{
    return kstub_misc_deregister(misc);
}
#endif

#define mutex_init kstub_mutex_init
#define mutex_destroy kstub_mutex_destroy
#define mutex_lock kstub_mutex_lock
#define mutex_unlock kstub_mutex_unlock
/* A statically defined mutex is live from the start and not counted. */
#define DEFINE_MUTEX(name) struct mutex name = {.live = -1}
#define DECLARE_RWSEM(name) struct rw_semaphore name = {{0}, 0}
#define DEFINE_SPINLOCK(name) spinlock_t name = {{0}}
#define spin_lock kstub_spin_lock
#define spin_unlock kstub_spin_unlock
#define DECLARE_WAIT_QUEUE_HEAD(name) wait_queue_head_t name = {{0}, {0}}
/* Sleeps until cond holds; cond is checked under the queue's lock, which wake_up takes. */
#define wait_event(wq, cond)                                                                                 \
    do {                                                                                                     \
        kstub_wait_lock(&(wq));                                                                              \
        while (!(cond))                                                                                      \
            kstub_wait_sleep(&(wq));                                                                         \
        kstub_wait_unlock(&(wq));                                                                            \
    } while (0)
/* Jiffies are milliseconds here. */
#define HZ 1000
#define msecs_to_jiffies(ms) ((unsigned long)(ms))
/* As wait_event, for at most timeout jiffies: 0 when cond still fails after that, else nonzero. */
#define wait_event_timeout(wq, cond, timeout)                                                                \
    ({                                                                                                       \
        long ret_ = 0;                                                                                       \
        struct timespec deadline_;                                                                           \
        kstub_deadline(&deadline_, (timeout));                                                               \
        kstub_wait_lock(&(wq));                                                                              \
        for (;;) {                                                                                           \
            if (cond) {                                                                                      \
                ret_ = 1;                                                                                    \
                break;                                                                                       \
            }                                                                                                \
            if (kstub_wait_sleep_until(&(wq), &deadline_)) {                                                 \
                ret_ = (cond) ? 1 : 0;                                                                       \
                break;                                                                                       \
            }                                                                                                \
        }                                                                                                    \
        kstub_wait_unlock(&(wq));                                                                            \
        ret_;                                                                                                \
    })
#define wake_up(wq) kstub_wake_up(wq)
#define down_read kstub_down_read
#define up_read kstub_up_read
#define down_write kstub_down_write
#define up_write kstub_up_write

/* The ioctl number layout of x86. */
#define _IOC_NRBITS 8
#define _IOC_TYPEBITS 8
#define _IOC_SIZEBITS 14
#define _IOC_NRSHIFT 0
#define _IOC_TYPESHIFT (_IOC_NRSHIFT + _IOC_NRBITS)
#define _IOC_SIZESHIFT (_IOC_TYPESHIFT + _IOC_TYPEBITS)
#define _IOC_DIRSHIFT (_IOC_SIZESHIFT + _IOC_SIZEBITS)
#define _IOC_NONE 0u
#define _IOC_WRITE 1u
#define _IOC_READ 2u
#define _IOC(dir, type, nr, size)                                                                            \
    (((dir) << _IOC_DIRSHIFT) | ((type) << _IOC_TYPESHIFT) | ((nr) << _IOC_NRSHIFT) |                        \
     ((size) << _IOC_SIZESHIFT))
#define _IOWR(type, nr, t) _IOC(_IOC_READ | _IOC_WRITE, (type), (nr), sizeof(t))
#define _IOC_DIR(nr) (((nr) >> _IOC_DIRSHIFT) & 3u)
#define _IOC_TYPE(nr) (((nr) >> _IOC_TYPESHIFT) & 0xffu)
#define _IOC_NR(nr) (((nr) >> _IOC_NRSHIFT) & 0xffu)
#define _IOC_SIZE(nr) (((nr) >> _IOC_SIZESHIFT) & 0x3fffu)

#endif /* __KERNEL__ */

#endif /* KSTUB_DEFS_H */
