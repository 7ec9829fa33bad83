/*
 * hgpipe: the guest side of the host-guest shared memory interface.
 *
 * The device's first memory region is an area shared with the host. Buffers
 * are carved out of it by a small heap whose bookkeeping lives in guest memory
 * only, so nothing the host writes into the area can steer the allocator.
 * A buffer is framed as
 *
 *     head (16 bytes) | payload (data_size bytes) | tail (8 bytes)
 *
 * and is handed to the host by writing the offset of its head within the area
 * to the context's I/O port. The host handles the buffer while that port
 * write is in progress and stores its verdict in the head's status word.
 */
#ifndef HGPIPE_HGSMI_H
#define HGPIPE_HGSMI_H

#include "hgpipe_compat.h"

#define HGSMI_FRAME_MAGIC 0x46504748u /* "HGPF" */
/* Status the guest stores before the port write; the host replaces it. */
#define HGSMI_STATUS_PENDING 0x7fffffff
#define HGSMI_STATUS_DONE 0

/* Heap granule: every buffer starts on a 64-byte boundary of the area. */
#define HGSMI_GRANULE 64u

/* Both frame parts are laid out without padding on every architecture. */
struct hgsmi_frame_head {
	__u32 magic;
	__u32 data_size;
	__u16 channel;
	__u16 channel_info;
	__s32 status;
};

struct hgsmi_frame_tail {
	__u32 data_size; /* repeated, so the host can check the frame's end */
	__u32 checksum;  /* over the offset and the head, status excluded */
};

#define HGSMI_FRAME_OVERHEAD ((__u32)(sizeof(struct hgsmi_frame_head) + sizeof(struct hgsmi_frame_tail)))

struct hgsmi_heap {
	__u8 *base;             /* start of the area in the guest's mapping */
	__u32 size;             /* bytes of the area the heap manages */
	__u32 granules;         /* size / HGSMI_GRANULE */
	__u32 used_granules;
	__u32 blocks;           /* buffers currently handed out */
	unsigned long *used;    /* one bit per granule in use */
	unsigned long *start;   /* one bit per granule that begins a buffer */
	__u32 cursor;           /* where the next search begins */
};

struct hgsmi_ctx {
	struct hgsmi_heap heap;
	__u16 port;
};

/* Checksum of a frame as the host recomputes it. */
__u32 hgsmi_frame_checksum(__u32 offset, const struct hgsmi_frame_head *head);

/*
 * Sets the heap up over [base, base + size). offset_base and offset_based are
 * accepted for the caller's sake; offsets are always relative to base.
 * Returns 0 or -ENOMEM (area too small, or no memory for the bookkeeping).
 */
int HGSMIHeapSetup(struct hgsmi_heap *heap, void *base, __u32 size, __u32 offset_base, int offset_based);
/* Releases the bookkeeping; the heap can be set up again afterwards. */
void HGSMIHeapDestroy(struct hgsmi_heap *heap);

/*
 * Returns the payload of a new buffer of data_size bytes on the given channel,
 * or NULL when the area has no room (or the size cannot be framed at all).
 * Callers serialise allocation and release.
 */
void *VBoxHGSMIBufferAlloc(struct hgsmi_ctx *ctx, __u32 data_size, __u8 channel, __u16 channel_info);
/* Hands the buffer to the host; returns 0 when the host handled it, else negative. */
int VBoxHGSMIBufferSubmit(struct hgsmi_ctx *ctx, void *data);
/* Returns the buffer to the heap. */
void VBoxHGSMIBufferFree(struct hgsmi_ctx *ctx, void *data);

#endif /* HGPIPE_HGSMI_H */
