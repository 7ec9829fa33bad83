/*
 * hgpipe: the guest side of the host-guest shared memory interface (HGSMI).
 *
 * The device's first memory region is an area shared with the host. Buffers
 * are carved out of it by a small heap whose bookkeeping lives in guest memory
 * only, so nothing the host writes into the area can steer the allocator.
 * Every buffer is framed the way the host's HGSMI layer checks it, little
 * endian and without padding:
 *
 *     header (16 bytes) | payload (data_size bytes) | tail (8 bytes)
 *
 * The header and the tail are written once, when the buffer is allocated;
 * the tail's checksum covers the buffer's offset, so a buffer never moves.
 * A buffer is handed to the host by a 32-bit write of its header's offset
 * (from the start of the area) to the context's I/O port. The host checks the
 * frame and runs the channel's handler while that write is in progress; the
 * handler's results are in the payload when the write returns. The host
 * writes nothing into the header or the tail and reports no status: a buffer
 * it refuses is simply left as it was.
 */
#ifndef HGPIPE_HGSMI_H
#define HGPIPE_HGSMI_H

#include "hgpipe_compat.h"

struct hgsmi_buffer_header {
	__u32 data_size;       /* payload bytes, header and tail not counted */
	__u8 flags;            /* sequence type; a single buffer is 0 */
	__u8 channel;
	__u16 channel_info;    /* the channel's command code */
	__u8 header_data[8];   /* sequence fields; zero for a single buffer */
} __attribute__((packed));

struct hgsmi_buffer_tail {
	__u32 reserved;        /* 0 */
	__u32 checksum;        /* over the offset, the header and reserved */
} __attribute__((packed));

#define HGSMI_BUFFER_HEADER_SIZE 16u
#define HGSMI_BUFFER_TAIL_SIZE 8u
#define HGSMI_BUFFER_OVERHEAD (HGSMI_BUFFER_HEADER_SIZE + HGSMI_BUFFER_TAIL_SIZE)
/* The only sequence type a guest sends. */
#define HGSMI_FLAGS_SEQ_SINGLE 0x00
/* An offset that cannot be submitted (the port's "none" value). */
#define HGSMI_OFFSET_VOID 0xffffffffu

/* Heap granule: every buffer starts on a 64-byte boundary of the area. */
#define HGSMI_GRANULE 64u

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

/*
 * The checksum the host recomputes: Bob Jenkins' one-at-a-time hash over the
 * offset (4 bytes, little endian), the 16 header bytes and the tail's
 * reserved word, in that order.
 */
__u32 hgsmi_checksum(__u32 offset, const struct hgsmi_buffer_header *header,
		     const struct hgsmi_buffer_tail *tail);

/*
 * Sets the heap up over [base, base + size). Offsets are relative to base
 * (offset base 0, the host's area starts at the region's first byte);
 * offset_base and offset_based are accepted for the caller's sake.
 * Returns 0 or -ENOMEM (area too small, or no memory for the bookkeeping).
 */
int HGSMIHeapSetup(struct hgsmi_heap *heap, void *base, __u32 size, __u32 offset_base, int offset_based);
/* Releases the bookkeeping; the heap can be set up again afterwards. */
void HGSMIHeapDestroy(struct hgsmi_heap *heap);

/*
 * Returns the payload of a new, framed buffer of data_size bytes on the given
 * channel, or NULL when the area has no room (or the size cannot be framed).
 * Callers serialise allocation and release.
 */
void *VBoxHGSMIBufferAlloc(struct hgsmi_ctx *ctx, __u32 data_size, __u8 channel, __u16 channel_info);
/*
 * Hands the buffer to the host and returns when the host has handled it.
 * Returns 0, or -EINVAL when data is not a payload inside the area (the port
 * is not touched then). The host's verdict is not reported: callers preset
 * the payload fields the host answers in.
 */
int VBoxHGSMIBufferSubmit(struct hgsmi_ctx *ctx, void *data);
/* Returns the buffer to the heap. */
void VBoxHGSMIBufferFree(struct hgsmi_ctx *ctx, void *data);

#endif /* HGPIPE_HGSMI_H */
