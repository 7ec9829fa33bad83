/*
 * Counts the shared-area buffers the module holds: the test program is linked
 * with --wrap for the allocation and release calls, so every call the module
 * makes passes through here on its way to the real layer.
 */
#include "hgsmi.h"
#include "kstub.h"

void *__real_VBoxHGSMIBufferAlloc(struct hgsmi_ctx *ctx, __u32 data_size, __u8 channel, __u16 channel_info);
void __real_VBoxHGSMIBufferFree(struct hgsmi_ctx *ctx, void *data);
void *__wrap_VBoxHGSMIBufferAlloc(struct hgsmi_ctx *ctx, __u32 data_size, __u8 channel, __u16 channel_info);
void __wrap_VBoxHGSMIBufferFree(struct hgsmi_ctx *ctx, void *data);

static long live;

void *__wrap_VBoxHGSMIBufferAlloc(struct hgsmi_ctx *ctx, __u32 data_size, __u8 channel, __u16 channel_info)
{
    void *p = __real_VBoxHGSMIBufferAlloc(ctx, data_size, channel, channel_info);
    if (p)
        __atomic_add_fetch(&live, 1, __ATOMIC_SEQ_CST);
    return p;
}

void __wrap_VBoxHGSMIBufferFree(struct hgsmi_ctx *ctx, void *data)
{
    if (data)
        __atomic_sub_fetch(&live, 1, __ATOMIC_SEQ_CST);
    if (kstub_unlocked_free()) {
        struct mutex *held = kstub_last_locked();
        kstub_mutex_unlock(held);
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
