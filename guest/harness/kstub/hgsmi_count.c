/*
 * Counts the shared-area buffers the module holds: the test program is linked
 * with --wrap for the allocation and release calls, so every call the module
 * makes passes through here on its way to the real layer.
 */
#include "hgsmi.h"
#include "kstub.h"

#include <sched.h>
#include <time.h>

void *__real_VBoxHGSMIBufferAlloc(struct hgsmi_ctx *ctx, __u32 data_size, __u8 channel, __u16 channel_info);
void __real_VBoxHGSMIBufferFree(struct hgsmi_ctx *ctx, void *data);
void *__wrap_VBoxHGSMIBufferAlloc(struct hgsmi_ctx *ctx, __u32 data_size, __u8 channel, __u16 channel_info);
void __wrap_VBoxHGSMIBufferFree(struct hgsmi_ctx *ctx, void *data);

static long live;
/* Allocations so far; read and written without ordering, so it makes no happens-before edge. */
static long allocations;

void *__wrap_VBoxHGSMIBufferAlloc(struct hgsmi_ctx *ctx, __u32 data_size, __u8 channel, __u16 channel_info)
{
    void *p = __real_VBoxHGSMIBufferAlloc(ctx, data_size, channel, channel_info);
    if (p)
        __atomic_add_fetch(&live, 1, __ATOMIC_SEQ_CST);
    __atomic_add_fetch(&allocations, 1, __ATOMIC_RELAXED);
    return p;
}

void __wrap_VBoxHGSMIBufferFree(struct hgsmi_ctx *ctx, void *data)
{
    if (data)
        __atomic_sub_fetch(&live, 1, __ATOMIC_SEQ_CST);
    if (kstub_unlocked_free()) {
        /*
         * Let the lock go, and free only once another thread has allocated under it meanwhile (or
         * after a second): the two then touch the heap with nothing ordering them, every time.
         */
        struct mutex *held = kstub_last_locked();
        kstub_mutex_unlock(held);
        long seen = __atomic_load_n(&allocations, __ATOMIC_RELAXED);
        struct timespec start, now;
        clock_gettime(CLOCK_MONOTONIC, &start);
        do {
            sched_yield();
            clock_gettime(CLOCK_MONOTONIC, &now);
        } while (__atomic_load_n(&allocations, __ATOMIC_RELAXED) == seen && now.tv_sec - start.tv_sec < 2);
        __real_VBoxHGSMIBufferFree(ctx, data);
        kstub_mutex_lock(held);
        return;
    }
    __real_VBoxHGSMIBufferFree(ctx, data);
}

long kstub_hgsmi_live(void)
{
    return __atomic_load_n(&live, __ATOMIC_SEQ_CST);
}
