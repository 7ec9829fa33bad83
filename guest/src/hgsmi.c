/*
 * hgpipe: heap, framing and submission of shared-area buffers (see hgsmi.h).
 */
#include "hgsmi.h"

#define HGSMI_BPL ((__u32)(sizeof(unsigned long) * 8))

static int map_test(const unsigned long *map, __u32 bit)
{
	return (map[bit / HGSMI_BPL] >> (bit % HGSMI_BPL)) & 1UL;
}

static void map_set(unsigned long *map, __u32 bit)
{
	map[bit / HGSMI_BPL] |= 1UL << (bit % HGSMI_BPL);
}

static void map_clear(unsigned long *map, __u32 bit)
{
	map[bit / HGSMI_BPL] &= ~(1UL << (bit % HGSMI_BPL));
}

__u32 hgsmi_frame_checksum(__u32 offset, const struct hgsmi_frame_head *head)
{
	/* FNV-1a over the offset and the head's fixed fields. */
	__u32 words[4];
	const __u8 *p = (const __u8 *)words;
	__u32 hash = 2166136261u;
	unsigned int i;

	words[0] = offset;
	words[1] = head->magic;
	words[2] = head->data_size;
	words[3] = ((__u32)head->channel_info << 16) | head->channel;
	for (i = 0; i < sizeof(words); i++) {
		hash ^= p[i];
		hash *= 16777619u;
	}
	return hash;
}

int HGSMIHeapSetup(struct hgsmi_heap *heap, void *base, __u32 size, __u32 offset_base, int offset_based)
{
	__u32 words;

	(void)offset_base;
	(void)offset_based;
	memset(heap, 0, sizeof(*heap));
	if (!base || size < HGSMI_GRANULE)
		return -ENOMEM;
	heap->granules = size / HGSMI_GRANULE;
	words = (heap->granules + HGSMI_BPL - 1) / HGSMI_BPL;
	heap->used = kzalloc(words * sizeof(unsigned long), GFP_KERNEL);
	heap->start = kzalloc(words * sizeof(unsigned long), GFP_KERNEL);
	if (!heap->used || !heap->start) {
		kfree(heap->used);
		kfree(heap->start);
		memset(heap, 0, sizeof(*heap));
		return -ENOMEM;
	}
	heap->base = base;
	heap->size = heap->granules * HGSMI_GRANULE;
	return 0;
}

void HGSMIHeapDestroy(struct hgsmi_heap *heap)
{
	kfree(heap->used);
	kfree(heap->start);
	memset(heap, 0, sizeof(*heap));
}

/* First granule of a free run of count granules in [from, to), or to. */
static __u32 find_run(const struct hgsmi_heap *heap, __u32 from, __u32 to, __u32 count)
{
	__u32 run = 0;
	__u32 i = from;

	while (i < to) {
		if (i % HGSMI_BPL == 0 && to - i >= HGSMI_BPL && heap->used[i / HGSMI_BPL] == ~0UL) {
			run = 0;
			i += HGSMI_BPL;
			continue;
		}
		if (map_test(heap->used, i)) {
			run = 0;
		} else if (++run == count) {
			return i + 1 - count;
		}
		i++;
	}
	return to;
}

void *VBoxHGSMIBufferAlloc(struct hgsmi_ctx *ctx, __u32 data_size, __u8 channel, __u16 channel_info)
{
	struct hgsmi_heap *heap = &ctx->heap;
	struct hgsmi_frame_head *head;
	__u32 count, first, i;

	if (!heap->base || heap->size < HGSMI_FRAME_OVERHEAD || data_size > heap->size - HGSMI_FRAME_OVERHEAD)
		return NULL;
	count = (data_size + HGSMI_FRAME_OVERHEAD + HGSMI_GRANULE - 1) / HGSMI_GRANULE;
	if (count > heap->granules - heap->used_granules)
		return NULL;

	first = find_run(heap, heap->cursor, heap->granules, count);
	if (first == heap->granules) {
		__u32 end = heap->cursor + count - 1;

		if (end > heap->granules)
			end = heap->granules;
		first = find_run(heap, 0, end, count);
		if (first == end)
			return NULL;
	}
	for (i = 0; i < count; i++)
		map_set(heap->used, first + i);
	map_set(heap->start, first);
	heap->used_granules += count;
	heap->blocks++;
	heap->cursor = first + count < heap->granules ? first + count : 0;

	head = (struct hgsmi_frame_head *)(heap->base + first * HGSMI_GRANULE);
	head->magic = HGSMI_FRAME_MAGIC;
	head->data_size = data_size;
	head->channel = channel;
	head->channel_info = channel_info;
	head->status = HGSMI_STATUS_PENDING;
	return head + 1;
}

/* Granule index of the buffer whose payload is data, or heap->granules when it is none. */
static __u32 buffer_granule(const struct hgsmi_heap *heap, const void *data)
{
	const __u8 *p = data;
	unsigned long offset;

	if (!heap->base || !p || p < heap->base + sizeof(struct hgsmi_frame_head))
		return heap->granules;
	offset = (unsigned long)(p - heap->base) - sizeof(struct hgsmi_frame_head);
	if (offset >= heap->size || offset % HGSMI_GRANULE)
		return heap->granules;
	if (!map_test(heap->start, offset / HGSMI_GRANULE))
		return heap->granules;
	return offset / HGSMI_GRANULE;
}

/* Granules of the buffer that begins at first. */
static __u32 buffer_granules(const struct hgsmi_heap *heap, __u32 first)
{
	__u32 g = first + 1;

	while (g < heap->granules && map_test(heap->used, g) && !map_test(heap->start, g))
		g++;
	return g - first;
}

/*
 * Runs without the allocation lock (a submit may block in the host for long),
 * so it checks the buffer from its offset alone and never reads the heap's
 * bookkeeping, which concurrent allocations change.
 */
int VBoxHGSMIBufferSubmit(struct hgsmi_ctx *ctx, void *data)
{
	struct hgsmi_heap *heap = &ctx->heap;
	struct hgsmi_frame_head *head;
	struct hgsmi_frame_tail tail;
	__u8 *p = data;
	unsigned long offset;
	__u32 data_size;
	volatile __s32 *status;

	if (!heap->base || !p || p < heap->base + sizeof(*head))
		return -EINVAL;
	offset = (unsigned long)(p - heap->base) - sizeof(*head);
	if (offset >= heap->size || offset % HGSMI_GRANULE)
		return -EINVAL;
	head = (struct hgsmi_frame_head *)(heap->base + offset);
	data_size = head->data_size;
	if (data_size > heap->size - offset - HGSMI_FRAME_OVERHEAD)
		return -EINVAL;

	/* The tail follows the payload directly and may be unaligned. */
	tail.data_size = data_size;
	tail.checksum = hgsmi_frame_checksum(offset, head);
	memcpy(p + data_size, &tail, sizeof(tail));
	status = &head->status;
	*status = HGSMI_STATUS_PENDING;

	/* The host handles the buffer while this write is in progress. */
	outl(offset, ctx->port);

	return *status == HGSMI_STATUS_DONE ? 0 : -EIO;
}

void VBoxHGSMIBufferFree(struct hgsmi_ctx *ctx, void *data)
{
	struct hgsmi_heap *heap = &ctx->heap;
	__u32 first = buffer_granule(heap, data);
	__u32 count, i;

	if (first == heap->granules)
		return;
	count = buffer_granules(heap, first);
	for (i = 0; i < count; i++)
		map_clear(heap->used, first + i);
	map_clear(heap->start, first);
	heap->used_granules -= count;
	heap->blocks--;
}
