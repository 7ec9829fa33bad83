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

static __u32 one_at_a_time(__u32 hash, const __u8 *p, unsigned int len)
{
	unsigned int i;

	for (i = 0; i < len; i++) {
		hash += p[i];
		hash += hash << 10;
		hash ^= hash >> 6;
	}
	return hash;
}

__u32 hgsmi_checksum(__u32 offset, const struct hgsmi_buffer_header *header,
		     const struct hgsmi_buffer_tail *tail)
{
	__u8 le[4];
	__u32 hash;

	le[0] = (__u8)offset;
	le[1] = (__u8)(offset >> 8);
	le[2] = (__u8)(offset >> 16);
	le[3] = (__u8)(offset >> 24);
	hash = one_at_a_time(0, le, sizeof(le));
	/* The structures are stored little endian, as the guest is. */
	hash = one_at_a_time(hash, (const __u8 *)header, HGSMI_BUFFER_HEADER_SIZE);
	hash = one_at_a_time(hash, (const __u8 *)&tail->reserved, sizeof(tail->reserved));
	hash += hash << 3;
	hash ^= hash >> 11;
	hash += hash << 15;
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
	struct hgsmi_buffer_header header;
	struct hgsmi_buffer_tail tail;
	__u8 *frame;
	__u32 count, first, i;

	if (!heap->base || heap->size < HGSMI_BUFFER_OVERHEAD || data_size > heap->size - HGSMI_BUFFER_OVERHEAD)
		return NULL;
	count = (data_size + HGSMI_BUFFER_OVERHEAD + HGSMI_GRANULE - 1) / HGSMI_GRANULE;
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

	/* Header and tail are built aside and written once; the tail may be unaligned. */
	memset(&header, 0, sizeof(header));
	header.data_size = data_size;
	header.flags = HGSMI_FLAGS_SEQ_SINGLE;
	header.channel = channel;
	header.channel_info = channel_info;
	tail.reserved = 0;
	tail.checksum = hgsmi_checksum(first * HGSMI_GRANULE, &header, &tail);
	frame = heap->base + first * HGSMI_GRANULE;
	memcpy(frame, &header, sizeof(header));
	memcpy(frame + HGSMI_BUFFER_HEADER_SIZE + data_size, &tail, sizeof(tail));
	return frame + HGSMI_BUFFER_HEADER_SIZE;
}

/* Granule index of the buffer whose payload is data, or heap->granules when it is none. */
static __u32 buffer_granule(const struct hgsmi_heap *heap, const void *data)
{
	const __u8 *p = data;
	unsigned long offset;

	if (!heap->base || !p || p < heap->base + HGSMI_BUFFER_HEADER_SIZE)
		return heap->granules;
	offset = (unsigned long)(p - heap->base) - HGSMI_BUFFER_HEADER_SIZE;
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
 * so it works from the buffer's offset alone and never reads the heap's
 * bookkeeping, which concurrent allocations change.
 */
int VBoxHGSMIBufferSubmit(struct hgsmi_ctx *ctx, void *data)
{
	struct hgsmi_heap *heap = &ctx->heap;
	__u8 *p = data;
	unsigned long offset;

	if (!heap->base || !p || p < heap->base + HGSMI_BUFFER_HEADER_SIZE)
		return -EINVAL;
	offset = (unsigned long)(p - heap->base) - HGSMI_BUFFER_HEADER_SIZE;
	if (offset >= heap->size || offset % HGSMI_GRANULE || offset == HGSMI_OFFSET_VOID)
		return -EINVAL;

	/* The host handles the buffer while this write is in progress. */
	outl((__u32)offset, ctx->port);
	mb();
	return 0;
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
