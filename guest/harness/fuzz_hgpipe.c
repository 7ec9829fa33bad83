/*
 * libFuzzer target: the module's ioctl path with a caller's record and a
 * host's answer both taken from the input. The caller's side is the
 * boundary with user space (any record, any code); the host's side is the
 * shared area, which the host may fill with anything before the port write
 * returns. Checked on every input: nothing is copied past what the caller
 * asked for, the counts handed back never exceed the sizes asked, every
 * buffer returns to the heap, and nothing crashes.
 *
 * Input: byte 0 selects the code (low 3 bits: operation 0-6, 7: a code from
 * bytes 1-4); byte 5 flags (bit 0: point the record's buffers at the test's
 * own buffers, bit 1: the host does not answer); then the record (up to 133
 * bytes) and the rest is the host's answer, copied over the payload.
 */
#define _GNU_SOURCE
#include "hgpipe_ioctl.h"
#include "kstub/kstub.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define PORT 0x3E5
#define AREA 0x100000ul
#define DATA_MAX 512
#define GUARD 64

static struct pci_dev *dev;
static const uint8_t *answer;
static size_t answer_len;
static int no_answer;

static uint32_t get32(const unsigned char *p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

static void put32(unsigned char *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = (unsigned char)(v >> (8 * i));
}

static void put64(unsigned char *p, uint64_t v)
{
    put32(p, (uint32_t)v);
    put32(p + 4, (uint32_t)(v >> 32));
}

/* The host: checks the bounds of the frame at offset and writes the answer over its payload. */
static void host(void *ctx, uint32_t offset)
{
    (void)ctx;
    unsigned char *area = dev->bar0;
    if (offset > AREA - 24)
        abort();
    uint32_t size = get32(area + offset);
    if (size > AREA - 24 - offset)
        abort();
    if (!no_answer)
        memcpy(area + offset + 16, answer, answer_len < size ? answer_len : size);
}

static const unsigned int codes[] = {
    HGP_IOC_CREATE_FILE, HGP_IOC_GET_LAST_ERROR, HGP_IOC_WAIT_NAMED_PIPE, HGP_IOC_WRITE_FILE,
    HGP_IOC_READ_FILE,   HGP_IOC_CLOSE_HANDLE,   HGP_IOC_WRITE_READ_FILE,
};

int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (!dev) {
        kstub_reset();
        dev = kstub_pci_add_device(0x0404, 0x0604, 0, AREA);
        kstub_set_port_handler(PORT, host, NULL);
        if (kstub_module_init_fn() != 0 || !kstub_misc_device())
            abort();
    }
    if (size < 6)
        return 0;
    unsigned int sel = data[0] & 7;
    unsigned int cmd = sel < 7 ? codes[sel] : get32(data + 1);
    int redirect = data[5] & 1;
    no_answer = (data[5] & 2) != 0;
    data += 6;
    size -= 6;

    unsigned char record[256];
    memset(record, 0, sizeof(record));
    size_t rec_len = size < 133 ? size : 133;
    memcpy(record, data, rec_len);
    answer = data + rec_len;
    answer_len = size - rec_len;

    static unsigned char src[DATA_MAX], dst[DATA_MAX + GUARD];
    memset(dst, 0xee, sizeof(dst));
    uint32_t wlen = 0, rlen = 0;
    if (redirect && (cmd == HGP_IOC_WRITE_FILE || cmd == HGP_IOC_READ_FILE)) {
        uint32_t n = get32(record + 12) % (DATA_MAX + 1);
        put64(record + 4, (uint64_t)(uintptr_t)(cmd == HGP_IOC_WRITE_FILE ? src : dst));
        put32(record + 12, n);
        if (cmd == HGP_IOC_WRITE_FILE)
            wlen = n;
        else
            rlen = n;
    } else if (redirect && cmd == HGP_IOC_WRITE_READ_FILE) {
        wlen = get32(record + 12) % (DATA_MAX + 1);
        rlen = get32(record + 28) % (DATA_MAX + 1);
        put64(record + 4, (uint64_t)(uintptr_t)src);
        put32(record + 12, wlen);
        put64(record + 20, (uint64_t)(uintptr_t)dst);
        put32(record + 28, rlen);
    }
    kstub_user_register(record, sizeof(record), KSTUB_USER_READ | KSTUB_USER_WRITE);
    kstub_user_register(src, sizeof(src), KSTUB_USER_READ);
    /* The guard after the destination is writable too: only the module's own bound protects it. */
    kstub_user_register(dst, sizeof(dst), KSTUB_USER_WRITE);

    long ret = kstub_ioctl(cmd, (unsigned long)record);

    kstub_user_unregister(dst);
    kstub_user_unregister(src);
    kstub_user_unregister(record);
    kstub_log_clear();
    if (kstub_hgsmi_live() != 0)
        abort();
    if (redirect && ret == 0) {
        uint32_t asked = cmd == HGP_IOC_READ_FILE ? rlen : cmd == HGP_IOC_WRITE_READ_FILE ? rlen : 0;
        for (size_t i = asked; i < sizeof(dst); i++)
            if (dst[i] != 0xee)
                abort();
        if (cmd == HGP_IOC_READ_FILE && get32(record + 16) > rlen)
            abort();
        if (cmd == HGP_IOC_WRITE_FILE && get32(record + 16) > wlen)
            abort();
        if (cmd == HGP_IOC_WRITE_READ_FILE && (get32(record + 16) > wlen || get32(record + 32) > rlen))
            abort();
    }
    return 0;
}
