/*
 * Test-side control of the kernel stand-in: devices on the bus, injected
 * faults, registered user memory, and what the module left behind.
 */
#ifndef KSTUB_H
#define KSTUB_H

#include "kstub_defs.h"

/* Entry points and metadata defined by the module's translation units. */
extern int (*kstub_module_init_fn)(void);
extern void (*kstub_module_exit_fn)(void);
extern const char kstub_module_license[];
extern const char kstub_module_description[];

/* Forgets devices, faults, user memory and the log; counters restart at zero. */
void kstub_reset(void);

/* A device on the bus; BAR0 is bar0_len bytes, inaccessible while unmapped. */
struct pci_dev *kstub_pci_add_device(uint16_t vendor, uint16_t device, uint8_t revision,
                                     unsigned long bar0_len);
/* Plugs a device in after the driver's registration: the driver probes it. */
void kstub_pci_hot_add(struct pci_dev *dev);
/*
 * Unplugs a device: the driver's remove runs if it is bound. A device the driver still holds a
 * reference to (pci_dev_get) stays readable through its mapping until the last pci_dev_put.
 */
void kstub_pci_hot_remove(struct pci_dev *dev);
/* Unbinds the driver from a device that stays on the bus (as sysfs unbind): its remove runs. */
void kstub_pci_unbind(struct pci_dev *dev);
/* Binds the registered driver to an unbound device on the bus; returns the probe's result. */
int kstub_pci_bind(struct pci_dev *dev);
/* References the driver holds to devices on the bus (pci_dev_get without a put). */
int kstub_pci_references(void);
/* Unregistered drivers, devices still enabled, mapped or referenced: 0 when all is clean. */
int kstub_pci_leftovers(void);
int kstub_pci_driver_registered(void);

/* Injected faults; each applies until reset. */
void kstub_fail_kmalloc_at(int nth); /* the nth allocation from now fails (1 = next) */
void kstub_fail_pci_register(int err);
void kstub_fail_misc_register(int err);
void kstub_fail_pci_enable(int err);
void kstub_fail_pci_iomap(int fail);

/*
 * From now on every buffer is freed with the lock the module holds around the free let go for
 * the moment: a fault only a race detector should see.
 */
void kstub_set_unlocked_free(int on);
int kstub_unlocked_free(void);
/* The mutex the calling thread took last. */
struct mutex *kstub_last_locked(void);

long kstub_kmalloc_live(void);
int kstub_mutex_live(void);

struct miscdevice *kstub_misc_device(void);
/* Runs fn right after a misc device is registered, as a user opening the new node would. */
void kstub_set_misc_register_hook(void (*fn)(void));
/* Calls the registered misc device's ioctl, or returns -ENODEV when none. */
long kstub_ioctl(unsigned int cmd, unsigned long arg);

/* User memory: copies succeed only inside registered ranges with the right permission. */
#define KSTUB_USER_READ 1  /* the module may copy from it */
#define KSTUB_USER_WRITE 2 /* the module may copy to it */
void kstub_user_register(const void *addr, size_t len, int perms);
void kstub_user_unregister(const void *addr);

/* The I/O port write reaches the handler set for that port. */
typedef void (*kstub_port_handler)(void *ctx, uint32_t value);
void kstub_set_port_handler(uint16_t port, kstub_port_handler fn, void *ctx);

/* Waits until n threads sleep in wait_event; returns 0, or -1 after timeout_ms. */
int kstub_wait_sleepers(int n, int timeout_ms);

/* Captured printk lines, each with its level as "<n>" in front. */
int kstub_log_count(void);
const char *kstub_log_line(int i);
void kstub_log_clear(void);

/* Shared-area buffers the module holds (counted around its HGSMI calls). */
long kstub_hgsmi_live(void);

#endif /* KSTUB_H */
