/*
 * Simulated host device: frame checks and the named-pipe world (simhost.h).
 */
#define _GNU_SOURCE
#include "simhost.h"

#include "kstub/kstub.h"

#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define HEAD_SIZE 16
#define TAIL_SIZE 8

#define MAX_PIPES 8
#define MAX_HANDLES 128
#define NAME_LEN 128

struct pipe_def
{
    char name[NAME_LEN];
    int max_instances;
    int open;
};

struct handle
{
    int32_t value;
    int pipe;
    int closed;
    unsigned char *queue;
    size_t queued;
};

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t changed = PTHREAD_COND_INITIALIZER;
static unsigned char *area;
static uint32_t area_len;
static struct pipe_def pipes[MAX_PIPES];
static int pipe_count;
static struct handle handles[MAX_HANDLES];
static int handle_count;
static uint32_t last_error;
static int frames;
static int framing_errors;
static char framing_why[160];
static struct simhost_frame last;
static int blocked;
static int shutting_down;
static uint64_t faults[SIMHOST_REWRITE_SIZE + 1];

static uint32_t get32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static uint16_t get16(const unsigned char *p)
{
    return (uint16_t)(p[0] | p[1] << 8);
}

static void put32(unsigned char *p, uint32_t v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
}

static void put64(unsigned char *p, uint64_t v)
{
    put32(p, (uint32_t)v);
    put32(p + 4, (uint32_t)(v >> 32));
}

/* One-at-a-time hash over the offset, the 16 header bytes and the tail's reserved word. */
static uint32_t checksum(uint32_t offset, const unsigned char *head, const unsigned char *tail)
{
    unsigned char bytes[24];
    put32(bytes, offset);
    memcpy(bytes + 4, head, HEAD_SIZE);
    memcpy(bytes + 20, tail, 4);
    uint32_t h = 0;
    for (size_t i = 0; i < sizeof(bytes); i++) {
        h += bytes[i];
        h += h << 10;
        h ^= h >> 6;
    }
    h += h << 3;
    h ^= h >> 11;
    h += h << 15;
    return h;
}

static void bad_frame(const char *fmt, uint32_t a, uint32_t b)
{
    framing_errors++;
    snprintf(framing_why, sizeof(framing_why), fmt, a, b);
}

static struct handle *find_handle(int32_t value)
{
    for (int i = 0; i < handle_count; i++) {
        if (handles[i].value == value && !handles[i].closed)
            return &handles[i];
    }
    return NULL;
}

/* The pipe named by a fixed 128-byte field, or -1 (sets the last error). */
static int find_pipe(const unsigned char *field)
{
    size_t len = strnlen((const char *)field, NAME_LEN);
    if (len == NAME_LEN || len == 0) {
        last_error = SIMHOST_ERROR_INVALID_NAME;
        return -1;
    }
    for (int i = 0; i < pipe_count; i++) {
        if (strcmp(pipes[i].name, (const char *)field) == 0)
            return i;
    }
    last_error = SIMHOST_ERROR_FILE_NOT_FOUND;
    return -1;
}

static void queue_append(struct handle *h, const unsigned char *data, uint32_t n)
{
    if (!n)
        return;
    unsigned char *q = realloc(h->queue, h->queued + n);
    if (!q)
        abort();
    memcpy(q + h->queued, data, n);
    h->queue = q;
    h->queued += n;
    pthread_cond_broadcast(&changed);
}

/* Reads up to n bytes for handle value into dst, blocking while nothing is queued. */
static int pipe_read(int32_t value, unsigned char *dst, uint32_t n, uint32_t *got)
{
    struct handle *h = find_handle(value);
    *got = 0;
    if (!h) {
        last_error = SIMHOST_ERROR_INVALID_HANDLE;
        return 0;
    }
    if (n && !h->queued) {
        blocked++;
        pthread_cond_broadcast(&changed);
        while (!h->queued && !h->closed && !shutting_down)
            pthread_cond_wait(&changed, &lock);
        blocked--;
    }
    if (h->closed || shutting_down) {
        last_error = SIMHOST_ERROR_BROKEN_PIPE;
        return 0;
    }
    uint32_t take = n < h->queued ? n : (uint32_t)h->queued;
    memcpy(dst, h->queue, take);
    memmove(h->queue, h->queue + take, h->queued - take);
    h->queued -= take;
    *got = take;
    return 1;
}

static int pipe_write(int32_t value, const unsigned char *src, uint32_t n, uint32_t *written)
{
    struct handle *h = find_handle(value);
    *written = 0;
    if (!h) {
        last_error = SIMHOST_ERROR_INVALID_HANDLE;
        return 0;
    }
    queue_append(h, src, n);
    *written = n;
    return 1;
}

static void op_create_file(unsigned char *p)
{
    int pipe = find_pipe(p);
    int32_t rc = SIMHOST_INVALID_HANDLE;
    if (pipe >= 0 && pipes[pipe].open >= pipes[pipe].max_instances) {
        last_error = SIMHOST_ERROR_PIPE_BUSY;
    } else if (pipe >= 0 && handle_count < MAX_HANDLES) {
        struct handle *h = &handles[handle_count];
        memset(h, 0, sizeof(*h));
        h->value = SIMHOST_FIRST_HANDLE + 4 * handle_count;
        h->pipe = pipe;
        handle_count++;
        pipes[pipe].open++;
        last_error = 0;
        rc = h->value;
    }
    put32(p + 128, (uint32_t)rc);
}

static void op_wait_named_pipe(unsigned char *p)
{
    int pipe = find_pipe(p);
    uint8_t rc = 0;
    if (pipe >= 0 && pipes[pipe].open >= pipes[pipe].max_instances)
        last_error = SIMHOST_ERROR_SEM_TIMEOUT;
    else if (pipe >= 0)
        rc = 1;
    p[132] = rc;
}

static void op_close_handle(unsigned char *p)
{
    struct handle *h = find_handle((int32_t)get32(p));
    if (!h) {
        last_error = SIMHOST_ERROR_INVALID_HANDLE;
        p[4] = 0;
        return;
    }
    h->closed = 1;
    pipes[h->pipe].open--;
    free(h->queue);
    h->queue = NULL;
    h->queued = 0;
    pthread_cond_broadcast(&changed);
    p[4] = 1;
}

/* Applies the answer-rewriting faults to a count field and an address/size pair. */
static void answer_faults(unsigned char *count, unsigned char *addr, unsigned char *size)
{
    if (faults[SIMHOST_COUNT_EXTRA])
        put32(count, get32(count) + (uint32_t)faults[SIMHOST_COUNT_EXTRA]);
    if (faults[SIMHOST_REWRITE_ADDR])
        put64(addr, faults[SIMHOST_REWRITE_ADDR]);
    if (faults[SIMHOST_REWRITE_SIZE])
        put32(size, (uint32_t)faults[SIMHOST_REWRITE_SIZE]);
}

static void op_write_file(unsigned char *p)
{
    uint32_t written;
    p[20] = (uint8_t)pipe_write((int32_t)get32(p), p + 21, get32(p + 12), &written);
    put32(p + 16, written);
    answer_faults(p + 16, p + 4, p + 12);
}

static void op_read_file(unsigned char *p)
{
    uint32_t got;
    p[20] = (uint8_t)pipe_read((int32_t)get32(p), p + 21, get32(p + 12), &got);
    put32(p + 16, got);
    answer_faults(p + 16, p + 4, p + 12);
}

static void op_write_read_file(unsigned char *p)
{
    int32_t h = (int32_t)get32(p);
    uint32_t written, got = 0;
    int ok = pipe_write(h, p + 37, get32(p + 12), &written);
    if (ok)
        ok = pipe_read(h, p + 37, get32(p + 28), &got);
    p[36] = (uint8_t)ok;
    put32(p + 16, written);
    put32(p + 32, got);
    answer_faults(p + 16, p + 4, p + 12);
    answer_faults(p + 32, p + 20, p + 28);
}

/* Payload size each operation must arrive with, or 0 for an unknown one. */
static uint32_t expected_size(uint16_t info, const unsigned char *p, uint32_t data_size)
{
    switch (info) {
    case 0:
        return 132;
    case 1:
        return 4;
    case 2:
        return 133;
    case 3:
        return data_size >= 21 ? 21 + get32(p + 12) : 21;
    case 4:
        return data_size >= 21 ? 21 + get32(p + 12) : 21;
    case 5:
        return 5;
    case 6:
        if (data_size < 37)
            return 37;
        uint32_t w = get32(p + 12), r = get32(p + 28);
        return 37 + (w > r ? w : r);
    default:
        return 0;
    }
}

/*
 * The 32-bit port write of a buffer's offset. The host checks the frame the
 * way an HGSMI host layer does (offset, size, checksum, channel, in that
 * order, on copies of the header and tail), refuses a bad one without
 * touching guest memory, and otherwise answers inside the payload before the
 * write returns. Beyond the host layer it also flags the fields a guest must
 * leave zero, and a payload size that does not fit the operation.
 */
static void port_write(void *ctx, uint32_t offset)
{
    (void)ctx;
    pthread_mutex_lock(&lock);
    if (!area || area_len < HEAD_SIZE + TAIL_SIZE || offset > area_len - HEAD_SIZE - TAIL_SIZE) {
        bad_frame("offset %u outside the area of %u bytes", offset, area_len);
        pthread_mutex_unlock(&lock);
        return;
    }
    uint32_t last_offset = area_len - HEAD_SIZE - TAIL_SIZE;
    unsigned char head[HEAD_SIZE], tail[TAIL_SIZE];
    memcpy(head, area + offset, HEAD_SIZE);
    uint32_t data_size = get32(head);
    uint8_t flags = head[4], channel = head[5];
    uint16_t info = get16(head + 6);
    unsigned char *p = area + offset + HEAD_SIZE;
    static const unsigned char zero[8];
    if (data_size > last_offset - offset) {
        bad_frame("payload of %u bytes runs past the area at offset %u", data_size, offset);
    } else if (memcpy(tail, p + data_size, TAIL_SIZE), get32(tail + 4) != checksum(offset, head, tail)) {
        bad_frame("bad checksum after %u payload bytes at offset %u", data_size, offset);
    } else if (channel != SIMHOST_CHANNEL) {
        bad_frame("channel %u, info %u", channel, info);
    } else if (flags != 0 || memcmp(head + 8, zero, 8) != 0 || get32(tail) != 0) {
        bad_frame("flags %u or reserved fields set at offset %u", flags, offset);
    } else if (expected_size(info, p, data_size) != data_size) {
        bad_frame("payload of %u bytes for operation %u", data_size, info);
    } else {
        frames++;
        last.offset = offset;
        last.channel = channel;
        last.info = info;
        last.data_size = data_size;
        memcpy(last.data, p, data_size < SIMHOST_FRAME_KEEP ? data_size : SIMHOST_FRAME_KEEP);
        if (!faults[SIMHOST_REJECT]) {
            switch (info) {
            case 0:
                op_create_file(p);
                break;
            case 1:
                put32(p, last_error);
                break;
            case 2:
                op_wait_named_pipe(p);
                break;
            case 3:
                op_write_file(p);
                break;
            case 4:
                op_read_file(p);
                break;
            case 5:
                op_close_handle(p);
                break;
            case 6:
                op_write_read_file(p);
                break;
            }
        }
    }
    pthread_mutex_unlock(&lock);
}

void simhost_attach(struct pci_dev *dev)
{
    pthread_mutex_lock(&lock);
    area = dev->bar0;
    area_len = (uint32_t)dev->bar0_len;
    pipe_count = 0;
    handle_count = 0;
    last_error = 0;
    frames = 0;
    framing_errors = 0;
    framing_why[0] = 0;
    blocked = 0;
    shutting_down = 0;
    memset(faults, 0, sizeof(faults));
    pthread_mutex_unlock(&lock);
    kstub_set_port_handler(SIMHOST_PORT, port_write, NULL);
}

void simhost_detach(void)
{
    pthread_mutex_lock(&lock);
    shutting_down = 1;
    pthread_cond_broadcast(&changed);
    for (int i = 0; i < handle_count; i++) {
        free(handles[i].queue);
        handles[i].queue = NULL;
        handles[i].queued = 0;
    }
    area = NULL;
    area_len = 0;
    pthread_mutex_unlock(&lock);
}

void simhost_add_pipe(const char *name, int max_instances)
{
    pthread_mutex_lock(&lock);
    if (pipe_count < MAX_PIPES) {
        snprintf(pipes[pipe_count].name, NAME_LEN, "%s", name);
        pipes[pipe_count].max_instances = max_instances;
        pipes[pipe_count].open = 0;
        pipe_count++;
    }
    pthread_mutex_unlock(&lock);
}

int simhost_feed(int32_t handle, const void *data, size_t len)
{
    pthread_mutex_lock(&lock);
    struct handle *h = find_handle(handle);
    if (h)
        queue_append(h, data, (uint32_t)len);
    pthread_mutex_unlock(&lock);
    return h ? 0 : -1;
}

void simhost_set_fault(enum simhost_fault fault, uint64_t value)
{
    pthread_mutex_lock(&lock);
    faults[fault] = value;
    pthread_mutex_unlock(&lock);
}

int simhost_open_handles(void)
{
    pthread_mutex_lock(&lock);
    int n = 0;
    for (int i = 0; i < handle_count; i++)
        n += !handles[i].closed;
    pthread_mutex_unlock(&lock);
    return n;
}

uint32_t simhost_last_error(void)
{
    pthread_mutex_lock(&lock);
    uint32_t e = last_error;
    pthread_mutex_unlock(&lock);
    return e;
}

int simhost_frame_count(void)
{
    pthread_mutex_lock(&lock);
    int n = frames;
    pthread_mutex_unlock(&lock);
    return n;
}

int simhost_framing_errors(char *why, size_t len)
{
    pthread_mutex_lock(&lock);
    int n = framing_errors;
    if (why && len)
        snprintf(why, len, "%s", framing_why);
    pthread_mutex_unlock(&lock);
    return n;
}

int simhost_last_frame(struct simhost_frame *out)
{
    pthread_mutex_lock(&lock);
    int have = frames > 0;
    if (have)
        *out = last;
    pthread_mutex_unlock(&lock);
    return have;
}

int simhost_wait_blocked(int n, int timeout_ms)
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
    while (blocked < n && rc != ETIMEDOUT)
        rc = pthread_cond_timedwait(&changed, &lock, &deadline);
    int ok = blocked >= n;
    pthread_mutex_unlock(&lock);
    return ok ? 0 : -1;
}
