/*
 * Kernel interface stand-in: PCI bus, misc devices, user copies, allocation
 * accounting, locks, printk capture and I/O port writes.
 */
#define _GNU_SOURCE
#include "kstub.h"

#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <time.h>

_Static_assert(sizeof(((struct mutex *)0)->impl) >= sizeof(pthread_mutex_t), "mutex storage");
_Static_assert(sizeof(((struct rw_semaphore *)0)->impl) >= sizeof(pthread_rwlock_t), "rwsem storage");
_Static_assert(sizeof(((spinlock_t *)0)->impl) >= sizeof(pthread_mutex_t), "spinlock storage");
_Static_assert(sizeof(((wait_queue_head_t *)0)->lock) >= sizeof(pthread_mutex_t), "wait queue storage");
_Static_assert(sizeof(((wait_queue_head_t *)0)->cond) >= sizeof(pthread_cond_t), "wait queue storage");

/* Lines each rate-limited call site prints before it falls silent. */
#define RATELIMIT_BURST 10

struct module
{
    int unused;
};
struct module kstub_this_module;

#define MAX_DEVICES 4
#define MAX_USER_RANGES 64
#define MAX_LOG_LINES 256
#define MAX_PORTS 4

struct user_range
{
    uintptr_t start;
    size_t len;
    int perms;
    unsigned long seq;
};

struct alloc_head
{
    size_t size;
    uint32_t magic;
};
#define ALLOC_MAGIC 0x6b6d616cu

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static struct pci_dev *devices[MAX_DEVICES];
static int device_count;
static struct pci_driver *driver;
static struct miscdevice *misc;
static struct user_range ranges[MAX_USER_RANGES];
static unsigned long range_seq;
static char *log_lines[MAX_LOG_LINES];
static int log_count;
static long kmalloc_live;
static int kmalloc_fail_countdown;
static int mutex_live;
static unsigned long ratelimit_generation = 1;
static void (*misc_register_hook)(void);
/* When set, buffers are freed outside the lock that the module holds around the free. */
static int unlocked_free;
/* The mutex this thread took last (and so holds around a free). */
static __thread struct mutex *last_locked;
/* Threads sleeping in wait_event, and the condition that tells a waiting test of changes. */
static int sleepers;
static pthread_cond_t sleepers_changed = PTHREAD_COND_INITIALIZER;
static int fail_pci_register, fail_misc_register, fail_pci_enable, fail_pci_iomap;
static struct
{
    uint16_t port;
    kstub_port_handler fn;
    void *ctx;
} ports[MAX_PORTS];

static void die(const char *what)
{
    fprintf(stderr, "kstub: %s\n", what);
    abort();
}

void kstub_reset(void)
{
    pthread_mutex_lock(&lock);
    for (int i = 0; i < device_count; i++) {
        munmap(devices[i]->bar0, devices[i]->bar0_len);
        free(devices[i]);
    }
    device_count = 0;
    driver = NULL;
    misc = NULL;
    memset(ranges, 0, sizeof(ranges));
    for (int i = 0; i < log_count; i++)
        free(log_lines[i]);
    log_count = 0;
    kmalloc_live = 0;
    kmalloc_fail_countdown = 0;
    mutex_live = 0;
    fail_pci_register = fail_misc_register = fail_pci_enable = fail_pci_iomap = 0;
    memset(ports, 0, sizeof(ports));
    ratelimit_generation++;
    misc_register_hook = NULL;
    unlocked_free = 0;
    pthread_mutex_unlock(&lock);
}

/* ---- memory ---- */

void *kstub_kmalloc(size_t size, int zero)
{
    pthread_mutex_lock(&lock);
    int fail = kmalloc_fail_countdown > 0 && --kmalloc_fail_countdown == 0;
    pthread_mutex_unlock(&lock);
    if (fail)
        return NULL;
    struct alloc_head *h = malloc(sizeof(*h) + size);
    if (!h)
        return NULL;
    h->size = size;
    h->magic = ALLOC_MAGIC;
    /* Fresh memory is never zero by accident here. */
    memset(h + 1, zero ? 0 : 0xa5, size);
    pthread_mutex_lock(&lock);
    kmalloc_live++;
    pthread_mutex_unlock(&lock);
    return h + 1;
}

void kstub_kfree(const void *p)
{
    if (!p)
        return;
    struct alloc_head *h = (struct alloc_head *)p - 1;
    if (h->magic != ALLOC_MAGIC)
        die("kfree of memory that kmalloc did not hand out, or a double kfree");
    h->magic = 0;
    pthread_mutex_lock(&lock);
    kmalloc_live--;
    pthread_mutex_unlock(&lock);
    free(h);
}

void kstub_fail_kmalloc_at(int nth)
{
    pthread_mutex_lock(&lock);
    kmalloc_fail_countdown = nth;
    pthread_mutex_unlock(&lock);
}

long kstub_kmalloc_live(void)
{
    pthread_mutex_lock(&lock);
    long n = kmalloc_live;
    pthread_mutex_unlock(&lock);
    return n;
}

/* ---- printk ---- */

int kstub_printk(const char *fmt, ...)
{
    char text[512];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(text, sizeof(text), fmt, ap);
    va_end(ap);
    char *line;
    /* Later kernels mark the level as SOH and a digit; keep it as "<n>" like 3.4 shows it. */
    if (text[0] == '\001' && text[1] >= '0' && text[1] <= '7') {
        if (asprintf(&line, "<%c>%s", text[1], text + 2) < 0)
            die("out of memory");
    } else {
        line = strdup(text);
    }
    pthread_mutex_lock(&lock);
    if (log_count == MAX_LOG_LINES)
        die("too many log lines");
    log_lines[log_count++] = line;
    pthread_mutex_unlock(&lock);
    return n;
}

int kstub_ratelimit_ok(struct kstub_ratelimit *rs)
{
    pthread_mutex_lock(&lock);
    if (rs->generation != ratelimit_generation) {
        rs->generation = ratelimit_generation;
        rs->printed = 0;
    }
    int ok = rs->printed < RATELIMIT_BURST;
    if (ok)
        rs->printed++;
    pthread_mutex_unlock(&lock);
    return ok;
}

int kstub_log_count(void)
{
    pthread_mutex_lock(&lock);
    int n = log_count;
    pthread_mutex_unlock(&lock);
    return n;
}

const char *kstub_log_line(int i)
{
    pthread_mutex_lock(&lock);
    const char *line = i >= 0 && i < log_count ? log_lines[i] : NULL;
    pthread_mutex_unlock(&lock);
    return line;
}

void kstub_log_clear(void)
{
    pthread_mutex_lock(&lock);
    for (int i = 0; i < log_count; i++)
        free(log_lines[i]);
    log_count = 0;
    pthread_mutex_unlock(&lock);
}

/* ---- user memory ---- */

/* Addresses at or above this are not user space; the top page stands for the kernel. */
#define USER_LIMIT (~0UL - 0xfffUL)

int kstub_access_ok(unsigned long addr, unsigned long size)
{
    return size <= USER_LIMIT && addr <= USER_LIMIT - size;
}

void kstub_user_register(const void *addr, size_t len, int perms)
{
    pthread_mutex_lock(&lock);
    for (int i = 0; i < MAX_USER_RANGES; i++) {
        if (!ranges[i].len) {
            ranges[i].start = (uintptr_t)addr;
            ranges[i].len = len;
            ranges[i].perms = perms;
            ranges[i].seq = ++range_seq;
            pthread_mutex_unlock(&lock);
            return;
        }
    }
    die("too many user ranges");
}

void kstub_user_unregister(const void *addr)
{
    /* Only the latest range registered at addr goes; an enclosing older one stays. */
    pthread_mutex_lock(&lock);
    int latest = -1;
    for (int i = 0; i < MAX_USER_RANGES; i++) {
        if (ranges[i].len && ranges[i].start == (uintptr_t)addr &&
            (latest < 0 || ranges[i].seq > ranges[latest].seq))
            latest = i;
    }
    if (latest >= 0)
        ranges[latest].len = 0;
    pthread_mutex_unlock(&lock);
}

static int user_ok(const void *addr, unsigned long n, int perm)
{
    uintptr_t a = (uintptr_t)addr;
    int ok = 0;
    pthread_mutex_lock(&lock);
    for (int i = 0; i < MAX_USER_RANGES && !ok; i++) {
        const struct user_range *r = &ranges[i];
        ok = r->len && (r->perms & perm) && a >= r->start && n <= r->len && a - r->start <= r->len - n;
    }
    pthread_mutex_unlock(&lock);
    return ok;
}

unsigned long kstub_copy_from_user(void *to, const void *from, unsigned long n)
{
    if (n == 0)
        return 0;
    if (!user_ok(from, n, KSTUB_USER_READ))
        return n;
    memcpy(to, from, n);
    return 0;
}

unsigned long kstub_copy_to_user(void *to, const void *from, unsigned long n)
{
    if (n == 0)
        return 0;
    if (!user_ok(to, n, KSTUB_USER_WRITE))
        return n;
    memcpy(to, from, n);
    return 0;
}

/* ---- I/O ports ---- */

void kstub_set_port_handler(uint16_t port, kstub_port_handler fn, void *ctx)
{
    pthread_mutex_lock(&lock);
    for (int i = 0; i < MAX_PORTS; i++) {
        if (!ports[i].fn || ports[i].port == port) {
            ports[i].port = port;
            ports[i].fn = fn;
            ports[i].ctx = ctx;
            break;
        }
    }
    pthread_mutex_unlock(&lock);
}

void kstub_outl(uint32_t value, uint16_t port)
{
    kstub_port_handler fn = NULL;
    void *ctx = NULL;
    pthread_mutex_lock(&lock);
    for (int i = 0; i < MAX_PORTS; i++) {
        if (ports[i].fn && ports[i].port == port) {
            fn = ports[i].fn;
            ctx = ports[i].ctx;
        }
    }
    pthread_mutex_unlock(&lock);
    /* Nothing listens on an unknown port, as on real hardware. */
    if (fn)
        fn(ctx, value);
}

/* ---- PCI ---- */

struct pci_dev *kstub_pci_add_device(uint16_t vendor, uint16_t device, uint8_t revision,
                                     unsigned long bar0_len)
{
    struct pci_dev *dev = calloc(1, sizeof(*dev));
    if (!dev)
        die("out of memory");
    dev->vendor = vendor;
    dev->device = device;
    dev->revision = revision;
    dev->bar0_len = bar0_len;
    dev->bar0_flags = KSTUB_IORESOURCE_MEM;
    dev->bar0 = mmap(NULL, bar0_len, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (dev->bar0 == MAP_FAILED)
        die("cannot reserve BAR0");
    pthread_mutex_lock(&lock);
    if (device_count == MAX_DEVICES)
        die("too many devices");
    devices[device_count++] = dev;
    pthread_mutex_unlock(&lock);
    return dev;
}

static const struct pci_device_id *match(const struct pci_driver *drv, const struct pci_dev *dev)
{
    for (const struct pci_device_id *id = drv->id_table; id->vendor || id->device; id++) {
        if ((id->vendor == KSTUB_PCI_ANY_ID || id->vendor == dev->vendor) &&
            (id->device == KSTUB_PCI_ANY_ID || id->device == dev->device))
            return id;
    }
    return NULL;
}

int kstub_pci_register_driver(struct pci_driver *drv)
{
    if (fail_pci_register)
        return fail_pci_register;
    if (driver)
        die("PCI driver registered twice");
    driver = drv;
    for (int i = 0; i < device_count; i++) {
        const struct pci_device_id *id = match(drv, devices[i]);
        if (id && drv->probe(devices[i], id) == 0)
            devices[i]->bound = drv;
    }
    return 0;
}

void kstub_pci_unregister_driver(struct pci_driver *drv)
{
    if (driver != drv)
        die("unregistering a PCI driver that is not registered");
    for (int i = 0; i < device_count; i++) {
        if (devices[i]->bound == drv) {
            if (drv->remove)
                drv->remove(devices[i]);
            devices[i]->bound = NULL;
        }
    }
    driver = NULL;
}

void kstub_pci_hot_add(struct pci_dev *dev)
{
    if (driver) {
        const struct pci_device_id *id = match(driver, dev);
        if (id && driver->probe(dev, id) == 0)
            dev->bound = driver;
    }
}

static void forget_device(struct pci_dev *dev)
{
    pthread_mutex_lock(&lock);
    for (int i = 0; i < device_count; i++) {
        if (devices[i] == dev) {
            devices[i] = devices[--device_count];
            break;
        }
    }
    pthread_mutex_unlock(&lock);
}

void kstub_pci_hot_remove(struct pci_dev *dev)
{
    if (dev->bound && dev->bound->remove)
        dev->bound->remove(dev);
    dev->bound = NULL;
    if (dev->enable_count || dev->region_count)
        die("a removed device was left enabled or reserved");
    forget_device(dev);
    pthread_mutex_lock(&lock);
    int referenced = dev->refs > 0;
    if (referenced)
        dev->unplugged = 1;
    pthread_mutex_unlock(&lock);
    /* A driver holding a reference may keep its mapping until it lets the reference go. */
    if (referenced)
        return;
    if (dev->iomap_count)
        die("a removed device was left mapped");
    munmap(dev->bar0, dev->bar0_len);
    free(dev);
}

void kstub_pci_unbind(struct pci_dev *dev)
{
    if (dev->bound && dev->bound->remove)
        dev->bound->remove(dev);
    dev->bound = NULL;
    if (dev->enable_count || dev->region_count)
        die("an unbound device was left enabled or reserved");
}

int kstub_pci_bind(struct pci_dev *dev)
{
    if (!driver || dev->bound)
        return -ENODEV;
    const struct pci_device_id *id = match(driver, dev);
    int ret = id ? driver->probe(dev, id) : -ENODEV;
    if (ret == 0)
        dev->bound = driver;
    return ret;
}

struct pci_dev *kstub_pci_dev_get(struct pci_dev *dev)
{
    pthread_mutex_lock(&lock);
    dev->refs++;
    pthread_mutex_unlock(&lock);
    return dev;
}

void kstub_pci_dev_put(struct pci_dev *dev)
{
    pthread_mutex_lock(&lock);
    if (dev->refs <= 0)
        die("pci_dev_put without a matching get");
    int last = --dev->refs == 0 && dev->unplugged;
    pthread_mutex_unlock(&lock);
    if (!last)
        return;
    if (dev->iomap_count)
        die("the last reference to a removed device was let go while it was still mapped");
    munmap(dev->bar0, dev->bar0_len);
    free(dev);
}

int kstub_pci_references(void)
{
    int n = 0;
    pthread_mutex_lock(&lock);
    for (int i = 0; i < device_count; i++)
        n += devices[i]->refs;
    pthread_mutex_unlock(&lock);
    return n;
}

int kstub_pci_enable_device(struct pci_dev *dev)
{
    if (fail_pci_enable)
        return fail_pci_enable;
    dev->enable_count++;
    return 0;
}

void kstub_pci_disable_device(struct pci_dev *dev)
{
    if (dev->enable_count <= 0)
        die("pci_disable_device without a matching enable");
    dev->enable_count--;
}

int kstub_pci_read_config_byte(struct pci_dev *dev, int where, uint8_t *val)
{
    *val = where == 8 ? dev->revision : 0;
    return 0;
}

void *kstub_pci_iomap(struct pci_dev *dev, int bar, unsigned long maxlen)
{
    if (fail_pci_iomap || bar != 0)
        return NULL;
    if (dev->enable_count <= 0)
        die("pci_iomap of a device that is not enabled");
    (void)maxlen;
    if (!(dev->bar0_flags & KSTUB_IORESOURCE_MEM))
        die("pci_iomap of an I/O region, used as memory");
    if (dev->iomap_count++ == 0 && mprotect(dev->bar0, dev->bar0_len, PROT_READ | PROT_WRITE))
        die("cannot map BAR0");
    return dev->bar0;
}

void kstub_pci_iounmap(struct pci_dev *dev, void *addr)
{
    if (addr != dev->bar0 || dev->iomap_count <= 0)
        die("pci_iounmap of an address that is not mapped");
    /* From here on any touch of the area faults. */
    if (--dev->iomap_count == 0 && mprotect(dev->bar0, dev->bar0_len, PROT_NONE))
        die("cannot unmap BAR0");
}

unsigned long kstub_pci_resource_len(struct pci_dev *dev, int bar)
{
    return bar == 0 ? dev->bar0_len : 0;
}

unsigned long kstub_pci_resource_flags(struct pci_dev *dev, int bar)
{
    return bar == 0 ? dev->bar0_flags : 0;
}

int kstub_pci_request_region(struct pci_dev *dev, int bar, const char *name)
{
    (void)name;
    if (bar != 0 || dev->enable_count <= 0)
        die("pci_request_region of a BAR that is absent or a device that is not enabled");
    if (dev->region_count)
        return -EBUSY;
    dev->region_count++;
    return 0;
}

void kstub_pci_release_region(struct pci_dev *dev, int bar)
{
    if (bar != 0 || dev->region_count <= 0)
        die("pci_release_region of a region that is not reserved");
    dev->region_count--;
}

int kstub_pci_leftovers(void)
{
    int n = driver != NULL;
    for (int i = 0; i < device_count; i++)
        n += devices[i]->enable_count + devices[i]->iomap_count + devices[i]->region_count +
             devices[i]->refs + (devices[i]->bound != NULL);
    return n;
}

int kstub_pci_driver_registered(void)
{
    return driver != NULL;
}

void kstub_fail_pci_register(int err)
{
    fail_pci_register = err;
}

void kstub_fail_pci_enable(int err)
{
    fail_pci_enable = err;
}

void kstub_fail_pci_iomap(int fail)
{
    fail_pci_iomap = fail;
}

/* ---- misc devices ---- */

int kstub_misc_register(struct miscdevice *m)
{
    if (fail_misc_register)
        return fail_misc_register;
    if (misc)
        die("misc device registered twice");
    misc = m;
    if (misc_register_hook)
        misc_register_hook();
    return 0;
}

void kstub_set_misc_register_hook(void (*fn)(void))
{
    misc_register_hook = fn;
}

int kstub_misc_deregister(struct miscdevice *m)
{
    if (misc != m)
        die("deregistering a misc device that is not registered");
    misc = NULL;
    return 0;
}

void kstub_fail_misc_register(int err)
{
    fail_misc_register = err;
}

struct miscdevice *kstub_misc_device(void)
{
    return misc;
}

long kstub_ioctl(unsigned int cmd, unsigned long arg)
{
    struct miscdevice *m = misc;
    struct file file = {0};
    if (!m)
        return -ENODEV;
    return m->fops->unlocked_ioctl(&file, cmd, arg);
}

/* ---- locks ---- */

void kstub_mutex_init(struct mutex *m)
{
    if (m->live)
        die("mutex_init of a live mutex");
    pthread_mutex_init((pthread_mutex_t *)m->impl.bytes, NULL);
    m->live = 1;
    pthread_mutex_lock(&lock);
    mutex_live++;
    pthread_mutex_unlock(&lock);
}

void kstub_mutex_destroy(struct mutex *m)
{
    if (!m->live)
        die("mutex_destroy of a mutex that was not initialised");
    pthread_mutex_destroy((pthread_mutex_t *)m->impl.bytes);
    m->live = 0;
    pthread_mutex_lock(&lock);
    mutex_live--;
    pthread_mutex_unlock(&lock);
}

void kstub_mutex_lock(struct mutex *m)
{
    if (m->live == 0)
        die("mutex_lock of a mutex that was not initialised");
    pthread_mutex_lock((pthread_mutex_t *)m->impl.bytes);
    last_locked = m;
}

void kstub_mutex_unlock(struct mutex *m)
{
    pthread_mutex_unlock((pthread_mutex_t *)m->impl.bytes);
}

void kstub_set_unlocked_free(int on)
{
    __atomic_store_n(&unlocked_free, on, __ATOMIC_SEQ_CST);
}

int kstub_unlocked_free(void)
{
    return __atomic_load_n(&unlocked_free, __ATOMIC_SEQ_CST);
}

struct mutex *kstub_last_locked(void)
{
    return last_locked;
}

int kstub_mutex_live(void)
{
    pthread_mutex_lock(&lock);
    int n = mutex_live;
    pthread_mutex_unlock(&lock);
    return n;
}

/* The kernel's rwsem lets no new reader in while a writer waits; so does this one. */
static pthread_rwlock_t *rwsem(struct rw_semaphore *s)
{
    pthread_rwlock_t *rw = (pthread_rwlock_t *)s->impl.bytes;
    if (__atomic_load_n(&s->ready, __ATOMIC_ACQUIRE))
        return rw;
    pthread_mutex_lock(&lock);
    if (!s->ready) {
        pthread_rwlockattr_t attr;
        pthread_rwlockattr_init(&attr);
        pthread_rwlockattr_setkind_np(&attr, PTHREAD_RWLOCK_PREFER_WRITER_NONRECURSIVE_NP);
        pthread_rwlock_init(rw, &attr);
        pthread_rwlockattr_destroy(&attr);
        __atomic_store_n(&s->ready, 1, __ATOMIC_RELEASE);
    }
    pthread_mutex_unlock(&lock);
    return rw;
}

void kstub_down_read(struct rw_semaphore *s)
{
    pthread_rwlock_rdlock(rwsem(s));
}

void kstub_up_read(struct rw_semaphore *s)
{
    pthread_rwlock_unlock(rwsem(s));
}

void kstub_down_write(struct rw_semaphore *s)
{
    pthread_rwlock_wrlock(rwsem(s));
}

void kstub_up_write(struct rw_semaphore *s)
{
    pthread_rwlock_unlock(rwsem(s));
}

void kstub_spin_lock(spinlock_t *l)
{
    pthread_mutex_lock((pthread_mutex_t *)l->impl.bytes);
}

void kstub_spin_unlock(spinlock_t *l)
{
    pthread_mutex_unlock((pthread_mutex_t *)l->impl.bytes);
}

void kstub_wait_lock(wait_queue_head_t *q)
{
    pthread_mutex_lock((pthread_mutex_t *)q->lock.bytes);
}

void kstub_wait_unlock(wait_queue_head_t *q)
{
    pthread_mutex_unlock((pthread_mutex_t *)q->lock.bytes);
}

void kstub_wait_sleep(wait_queue_head_t *q)
{
    pthread_mutex_lock(&lock);
    sleepers++;
    pthread_cond_broadcast(&sleepers_changed);
    pthread_mutex_unlock(&lock);
    pthread_cond_wait((pthread_cond_t *)q->cond.bytes, (pthread_mutex_t *)q->lock.bytes);
    pthread_mutex_lock(&lock);
    sleepers--;
    pthread_mutex_unlock(&lock);
}

void kstub_deadline(struct timespec *deadline, unsigned long timeout_ms)
{
    clock_gettime(CLOCK_REALTIME, deadline);
    deadline->tv_sec += (time_t)(timeout_ms / 1000);
    deadline->tv_nsec += (long)(timeout_ms % 1000) * 1000000L;
    if (deadline->tv_nsec >= 1000000000L) {
        deadline->tv_sec++;
        deadline->tv_nsec -= 1000000000L;
    }
}

int kstub_wait_sleep_until(wait_queue_head_t *q, const struct timespec *deadline)
{
    pthread_mutex_lock(&lock);
    sleepers++;
    pthread_cond_broadcast(&sleepers_changed);
    pthread_mutex_unlock(&lock);
    int rc =
        pthread_cond_timedwait((pthread_cond_t *)q->cond.bytes, (pthread_mutex_t *)q->lock.bytes, deadline);
    pthread_mutex_lock(&lock);
    sleepers--;
    pthread_mutex_unlock(&lock);
    return rc == ETIMEDOUT;
}

int kstub_wait_sleepers(int n, int timeout_ms)
{
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += timeout_ms / 1000;
    deadline.tv_nsec += (long)(timeout_ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec++;
        deadline.tv_nsec -= 1000000000L;
    }
    pthread_mutex_lock(&lock);
    int rc = 0;
    while (sleepers < n && rc != ETIMEDOUT)
        rc = pthread_cond_timedwait(&sleepers_changed, &lock, &deadline);
    int ok = sleepers >= n;
    pthread_mutex_unlock(&lock);
    return ok ? 0 : -1;
}

void kstub_wake_up(wait_queue_head_t *q)
{
    kstub_wait_lock(q);
    pthread_cond_broadcast((pthread_cond_t *)q->cond.bytes);
    kstub_wait_unlock(q);
}
