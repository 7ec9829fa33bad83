/*
 * Runs the hgpipe module source against the kernel stand-in and the simulated
 * host device, through the module's own entry points and its registered misc
 * device, and checks what the host receives, what the caller gets back, the
 * log lines, and that nothing is leaked or left registered.
 *
 * usage: tst_hgpipe [test name]
 */
#define _GNU_SOURCE
#include "hgpipe_ioctl.h"
#include "kstub/kstub.h"
#include "simhost.h"

#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

_Static_assert(sizeof(struct CreateFileCtx) == 132, "CreateFileCtx");
_Static_assert(sizeof(struct GetLastErrorCtx) == 4, "GetLastErrorCtx");
_Static_assert(sizeof(struct WaitNamedPipeCtx) == 133, "WaitNamedPipeCtx");
_Static_assert(sizeof(struct WriteFileCtx) == 21, "WriteFileCtx");
_Static_assert(sizeof(struct ReadFileCtx) == 21, "ReadFileCtx");
_Static_assert(sizeof(struct CloseHandleCtx) == 5, "CloseHandleCtx");
_Static_assert(sizeof(struct WriteReadFileCtx) == 37, "WriteReadFileCtx");

#define PIPE_NAME "\\\\.\\pipe\\orvanta"
#define AREA_SIZE 0x800000ul
#define RW (KSTUB_USER_READ | KSTUB_USER_WRITE)
#define FRAME_OVERHEAD 24u /* head and tail around a payload */

/* ---- a small test runner ---- */

static int test_failed;
static const char *current_test;

static void fail_at(const char *file, int line, const char *what)
{
    fprintf(stderr, "  %s:%d: %s: %s\n", file, line, current_test, what);
    test_failed = 1;
}

#define CHECK(cond)                                                                                          \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            fail_at(__FILE__, __LINE__, #cond);                                                              \
    } while (0)

#define CHECK_EQ(actual, expected)                                                                           \
    do {                                                                                                     \
        long long a_ = (long long)(actual), e_ = (long long)(expected);                                      \
        if (a_ != e_) {                                                                                      \
            char m_[256];                                                                                    \
            snprintf(m_, sizeof(m_), "%s is %lld (0x%llx), expected %lld (0x%llx)", #actual, a_,             \
                     (unsigned long long)a_, e_, (unsigned long long)e_);                                    \
            fail_at(__FILE__, __LINE__, m_);                                                                 \
        }                                                                                                    \
    } while (0)

#define CHECK_BYTES(actual, expected, len)                                                                   \
    check_bytes(__FILE__, __LINE__, #actual, (const unsigned char *)(actual),                                \
                (const unsigned char *)(expected), (len))

static void check_bytes(const char *file, int line, const char *what, const unsigned char *a,
                        const unsigned char *e, size_t len)
{
    for (size_t i = 0; i < len; i++) {
        if (a[i] != e[i]) {
            char m[256];
            snprintf(m, sizeof(m), "%s differs at byte %zu: 0x%02x, expected 0x%02x", what, i, a[i], e[i]);
            fail_at(file, line, m);
            return;
        }
    }
}

/* The whole captured log equals the given lines (NULL-terminated). */
#define CHECK_LOG(...) check_log(__FILE__, __LINE__, (const char *const[]){__VA_ARGS__, NULL})

static void check_log(const char *file, int line, const char *const *expected)
{
    int n = 0;
    while (expected[n])
        n++;
    int got = kstub_log_count();
    for (int i = 0; i < n || i < got; i++) {
        const char *a = kstub_log_line(i);
        const char *e = i < n ? expected[i] : NULL;
        if (!a || !e || strcmp(a, e) != 0) {
            char m[512];
            snprintf(m, sizeof(m), "log line %d is \"%s\", expected \"%s\"", i, a ? a : "(none)",
                     e ? e : "(none)");
            fail_at(file, line, m);
            return;
        }
    }
}

/* ---- fixture ---- */

static struct pci_dev *dev;

static void le32(unsigned char *p, uint32_t v)
{
    for (int i = 0; i < 4; i++)
        p[i] = (unsigned char)(v >> (8 * i));
}

static void le64(unsigned char *p, uint64_t v)
{
    for (int i = 0; i < 8; i++)
        p[i] = (unsigned char)(v >> (8 * i));
}

static uint64_t addr(const void *p)
{
    return (uint64_t)(uintptr_t)p;
}

/* Nothing registered, mapped, enabled, allocated or initialised any more. */
static void check_clean(void)
{
    CHECK(kstub_misc_device() == NULL);
    CHECK_EQ(kstub_pci_driver_registered(), 0);
    CHECK_EQ(kstub_pci_leftovers(), 0);
    CHECK_EQ(kstub_kmalloc_live(), 0);
    CHECK_EQ(kstub_mutex_live(), 0);
    CHECK_EQ(kstub_hgsmi_live(), 0);
}

static void start_world(uint8_t revision, unsigned long bar_len)
{
    kstub_reset();
    dev = kstub_pci_add_device(0x0404, 0x0604, revision, bar_len);
    simhost_attach(dev);
    simhost_add_pipe(PIPE_NAME, 16);
}

/* A loaded module over one device with an 8 MB area. */
static void setup(void)
{
    start_world(0, AREA_SIZE);
    CHECK_EQ(kstub_module_init_fn(), 0);
    CHECK(kstub_misc_device() != NULL);
    kstub_log_clear();
}

static void end_world(void)
{
    char why[160];
    CHECK_EQ(simhost_framing_errors(why, sizeof(why)), 0);
    if (simhost_framing_errors(NULL, 0))
        fail_at(__FILE__, __LINE__, why);
    simhost_detach();
    kstub_reset();
}

static void teardown(void)
{
    CHECK_EQ(kstub_hgsmi_live(), 0);
    kstub_module_exit_fn();
    check_clean();
    end_world();
}

/* ---- callers' side of each operation ---- */

static long create_file(const char *name, int32_t *handle)
{
    struct CreateFileCtx c;
    memset(&c, 0, sizeof(c));
    snprintf(c.lpFileName, sizeof(c.lpFileName), "%s", name);
    kstub_user_register(&c, sizeof(c), RW);
    long r = kstub_ioctl(HGP_IOC_CREATE_FILE, (unsigned long)&c);
    kstub_user_unregister(&c);
    *handle = c.rc;
    return r;
}

static uint32_t last_error(void)
{
    struct GetLastErrorCtx c = {0};
    kstub_user_register(&c, sizeof(c), RW);
    long r = kstub_ioctl(HGP_IOC_GET_LAST_ERROR, (unsigned long)&c);
    kstub_user_unregister(&c);
    CHECK_EQ(r, 0);
    return c.rc;
}

static long close_handle(int32_t handle, uint8_t *rc)
{
    struct CloseHandleCtx c = {.pipe = handle};
    kstub_user_register(&c, sizeof(c), RW);
    long r = kstub_ioctl(HGP_IOC_CLOSE_HANDLE, (unsigned long)&c);
    kstub_user_unregister(&c);
    *rc = c.rc;
    return r;
}

static long write_file(int32_t h, const void *src, uint32_t n, struct WriteFileCtx *c)
{
    memset(c, 0, sizeof(*c));
    c->hFile = h;
    c->lpBuffer = addr(src);
    c->nNumberOfBytesToWrite = n;
    kstub_user_register(c, sizeof(*c), RW);
    kstub_user_register(src, n, KSTUB_USER_READ);
    long r = kstub_ioctl(HGP_IOC_WRITE_FILE, (unsigned long)c);
    kstub_user_unregister(src);
    kstub_user_unregister(c);
    return r;
}

static long read_file(int32_t h, void *dst, uint32_t n, struct ReadFileCtx *c)
{
    memset(c, 0, sizeof(*c));
    c->hFile = h;
    c->lpBuffer = addr(dst);
    c->nNumberOfBytesToRead = n;
    kstub_user_register(c, sizeof(*c), RW);
    kstub_user_register(dst, n, KSTUB_USER_WRITE);
    long r = kstub_ioctl(HGP_IOC_READ_FILE, (unsigned long)c);
    kstub_user_unregister(dst);
    kstub_user_unregister(c);
    return r;
}

static long write_read_file(int32_t h, const void *src, uint32_t w, void *dst, uint32_t r,
                            struct WriteReadFileCtx *c)
{
    memset(c, 0, sizeof(*c));
    c->hFile = h;
    c->lpwBuffer = addr(src);
    c->nNumberOfBytesToWrite = w;
    c->lprBuffer = addr(dst);
    c->nNumberOfBytesToRead = r;
    kstub_user_register(c, sizeof(*c), RW);
    kstub_user_register(src, w, KSTUB_USER_READ);
    kstub_user_register(dst, r, KSTUB_USER_WRITE);
    long ret = kstub_ioctl(HGP_IOC_WRITE_READ_FILE, (unsigned long)c);
    kstub_user_unregister(dst);
    kstub_user_unregister(src);
    kstub_user_unregister(c);
    return ret;
}

static int32_t open_pipe(void)
{
    int32_t h = -1;
    CHECK_EQ(create_file(PIPE_NAME, &h), 0);
    CHECK(h >= SIMHOST_FIRST_HANDLE);
    return h;
}

/* ---- tests ---- */

static void test_codes_and_metadata(void)
{
    static const struct
    {
        unsigned int code;
        unsigned int expected;
    } codes[] = {
        {HGP_IOC_CREATE_FILE, 0xC084DE00u},     {HGP_IOC_GET_LAST_ERROR, 0xC004DE01u},
        {HGP_IOC_WAIT_NAMED_PIPE, 0xC085DE02u}, {HGP_IOC_WRITE_FILE, 0xC015DE03u},
        {HGP_IOC_READ_FILE, 0xC015DE04u},       {HGP_IOC_CLOSE_HANDLE, 0xC005DE05u},
        {HGP_IOC_WRITE_READ_FILE, 0xC025DE06u},
    };
    for (size_t i = 0; i < sizeof(codes) / sizeof(codes[0]); i++)
        CHECK_EQ(codes[i].code, codes[i].expected);
    CHECK(strcmp(kstub_module_license, "GPL") == 0);
    CHECK(strcmp(kstub_module_description, "hgpipe for Orvanta") == 0);

    setup();
    struct miscdevice *m = kstub_misc_device();
    CHECK(strcmp(m->name, "hgpipe") == 0);
    CHECK_EQ(m->mode, 0666);
    CHECK_EQ(m->minor, 255);
    const struct file_operations *f = m->fops;
    CHECK(f->owner != NULL);
    CHECK(f->llseek == NULL && f->mmap == NULL && f->compat_ioctl == NULL);
    struct file file = {0};
    char byte = 'x';
    CHECK_EQ(f->open(NULL, &file), 0);
    CHECK_EQ(f->read(&file, &byte, 1, NULL), 0);
    CHECK_EQ(f->write(&file, &byte, 1, NULL), 0);
    CHECK_EQ(f->release(NULL, &file), 0);
    CHECK_EQ(byte, 'x');
    CHECK_EQ(simhost_frame_count(), 0);
    teardown();
}

enum arg_kind
{
    ARG_USER,
    ARG_KERNEL,
    ARG_WRAP
};

static void test_ioctl_validation(void)
{
    static const char invalid[] = "<3>hgpipe: cmd invalid\n";
    static const char exceed[] = "<3>hgpipe: cmd exceed max nr\n";
    static const char deny[] = "<3>hgpipe: access deny!\n";
    static const struct
    {
        const char *name;
        unsigned int cmd;
        enum arg_kind arg;
        long ret;
        const char *log;
    } rows[] = {
        {"type byte 0xDF", _IOWR(0xDF, 0, struct CreateFileCtx), ARG_USER, -EINVAL, invalid},
        {"code zero", 0, ARG_USER, -EINVAL, invalid},
        {"type checked before number", _IOWR(0x12, 9, struct CreateFileCtx), ARG_KERNEL, -EINVAL, invalid},
        {"number 8", _IOWR(0xDE, 8, struct CreateFileCtx), ARG_USER, -EINVAL, exceed},
        {"number 255", _IOWR(0xDE, 255, struct GetLastErrorCtx), ARG_USER, -EINVAL, exceed},
        {"number checked before access", _IOWR(0xDE, 8, struct CreateFileCtx), ARG_KERNEL, -EINVAL, exceed},
        {"number 7", _IOWR(0xDE, 7, struct GetLastErrorCtx), ARG_USER, -ENOTTY, NULL},
        {"number 0 with size 4", _IOWR(0xDE, 0, struct GetLastErrorCtx), ARG_USER, -ENOTTY, NULL},
        {"number 0 without direction", _IO(0xDE, 0), ARG_KERNEL, -ENOTTY, NULL},
        {"number 0 read only", _IOR(0xDE, 0, struct CreateFileCtx), ARG_USER, -ENOTTY, NULL},
        {"number 3 write only", _IOW(0xDE, 3, struct WriteFileCtx), ARG_USER, -ENOTTY, NULL},
        {"CreateFile header in kernel space", HGP_IOC_CREATE_FILE, ARG_KERNEL, -EFAULT, deny},
        {"WriteFile header wrapping around", HGP_IOC_WRITE_FILE, ARG_WRAP, -EFAULT, deny},
        {"number 7 checked for access first", _IOWR(0xDE, 7, struct CreateFileCtx), ARG_KERNEL, -EFAULT,
         deny},
    };
    setup();
    unsigned char scratch[256] = {0};
    kstub_user_register(scratch, sizeof(scratch), RW);
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        current_test = rows[i].name;
        unsigned long arg = rows[i].arg == ARG_USER     ? (unsigned long)scratch
                            : rows[i].arg == ARG_KERNEL ? ULONG_MAX - 0x800
                                                        : ULONG_MAX - 10;
        kstub_log_clear();
        CHECK_EQ(kstub_ioctl(rows[i].cmd, arg), rows[i].ret);
        if (rows[i].log)
            CHECK_LOG(rows[i].log);
        else
            CHECK_EQ(kstub_log_count(), 0);
    }
    current_test = "ioctl_validation";
    unsigned char zero[256] = {0};
    CHECK_BYTES(scratch, zero, sizeof(scratch));
    CHECK_EQ(simhost_frame_count(), 0);
    teardown();
}

static void test_fixed_operations(void)
{
    setup();
    struct simhost_frame f;
    unsigned char want[133];

    /* CreateFile: the whole record reaches the host as passed, the handle comes back in rc. */
    struct CreateFileCtx c;
    memset(&c, 0, sizeof(c));
    strcpy(c.lpFileName, PIPE_NAME);
    c.rc = 0x55aa55aa;
    kstub_user_register(&c, sizeof(c), RW);
    CHECK_EQ(kstub_ioctl(HGP_IOC_CREATE_FILE, (unsigned long)&c), 0);
    CHECK(simhost_last_frame(&f));
    CHECK_EQ(f.channel, 8);
    CHECK_EQ(f.info, 0);
    CHECK_EQ(f.data_size, 132);
    memset(want, 0, sizeof(want));
    memcpy(want, PIPE_NAME, strlen(PIPE_NAME));
    le32(want + 128, 0x55aa55aa);
    CHECK_BYTES(f.data, want, 132);
    CHECK_EQ(c.rc, SIMHOST_FIRST_HANDLE);
    CHECK(strcmp(c.lpFileName, PIPE_NAME) == 0);

    /* A missing pipe: invalid handle, and the host's last error says why. */
    strcpy(c.lpFileName, "\\\\.\\pipe\\missing");
    CHECK_EQ(kstub_ioctl(HGP_IOC_CREATE_FILE, (unsigned long)&c), 0);
    CHECK_EQ(c.rc, -1);
    kstub_user_unregister(&c);
    CHECK_EQ(last_error(), SIMHOST_ERROR_FILE_NOT_FOUND);
    CHECK(simhost_last_frame(&f));
    CHECK_EQ(f.info, 1);
    CHECK_EQ(f.data_size, 4);

    /* WaitNamedPipe: name at 0, time-out at 128, result at 132. */
    struct WaitNamedPipeCtx w;
    memset(&w, 0, sizeof(w));
    strcpy(w.lpNamedPipeName, PIPE_NAME);
    w.nTimeOut = 5000;
    kstub_user_register(&w, sizeof(w), RW);
    CHECK_EQ(kstub_ioctl(HGP_IOC_WAIT_NAMED_PIPE, (unsigned long)&w), 0);
    CHECK(simhost_last_frame(&f));
    CHECK_EQ(f.info, 2);
    CHECK_EQ(f.data_size, 133);
    memset(want, 0, sizeof(want));
    memcpy(want, PIPE_NAME, strlen(PIPE_NAME));
    le32(want + 128, 5000);
    CHECK_BYTES(f.data, want, 133);
    CHECK_EQ(w.rc, 1);
    CHECK_EQ(w.nTimeOut, 5000);
    strcpy(w.lpNamedPipeName, "\\\\.\\pipe\\missing");
    CHECK_EQ(kstub_ioctl(HGP_IOC_WAIT_NAMED_PIPE, (unsigned long)&w), 0);
    CHECK_EQ(w.rc, 0);
    kstub_user_unregister(&w);
    CHECK_EQ(last_error(), SIMHOST_ERROR_FILE_NOT_FOUND);

    /* CloseHandle: handle at 0, result at 4; a second close fails on the host. */
    uint8_t rc = 9;
    CHECK_EQ(close_handle(SIMHOST_FIRST_HANDLE, &rc), 0);
    CHECK(simhost_last_frame(&f));
    CHECK_EQ(f.info, 5);
    CHECK_EQ(f.data_size, 5);
    static const unsigned char close_bytes[5] = {0x00, 0x01, 0x00, 0x00, 0x00};
    CHECK_BYTES(f.data, close_bytes, 5);
    CHECK_EQ(rc, 1);
    CHECK_EQ(close_handle(SIMHOST_FIRST_HANDLE, &rc), 0);
    CHECK_EQ(rc, 0);
    CHECK_EQ(last_error(), SIMHOST_ERROR_INVALID_HANDLE);
    CHECK_EQ(simhost_open_handles(), 0);
    CHECK_EQ(kstub_log_count(), 0);
    teardown();
}

static void test_transfer_operations(void)
{
    setup();
    struct simhost_frame f;
    unsigned char want[64];
    int32_t h = open_pipe();

    /* WriteFile: 21-byte header then the data, as the host receives it. */
    static const char hello[] = "hello";
    struct WriteFileCtx wc;
    CHECK_EQ(write_file(h, hello, 5, &wc), 0);
    CHECK(simhost_last_frame(&f));
    CHECK_EQ(f.channel, 8);
    CHECK_EQ(f.info, 3);
    CHECK_EQ(f.data_size, 26);
    memset(want, 0, sizeof(want));
    le32(want + 0, (uint32_t)h);
    le64(want + 4, addr(hello));
    le32(want + 12, 5);
    memcpy(want + 21, "hello", 5);
    CHECK_BYTES(f.data, want, 26);
    CHECK_EQ(wc.rc, 1);
    CHECK_EQ(wc.lpNumberOfBytesWritten[0], 5);
    CHECK_EQ(wc.lpBuffer, addr(hello));
    CHECK_EQ(wc.nNumberOfBytesToWrite, 5);

    /* ReadFile: room for 100 bytes travels zeroed; 5 come back, the rest of the destination is untouched. */
    unsigned char dst[101];
    memset(dst, 0xee, sizeof(dst));
    struct ReadFileCtx rc;
    CHECK_EQ(read_file(h, dst, 100, &rc), 0);
    CHECK(simhost_last_frame(&f));
    CHECK_EQ(f.info, 4);
    CHECK_EQ(f.data_size, 121);
    unsigned char rwant[121] = {0};
    le32(rwant + 0, (uint32_t)h);
    le64(rwant + 4, addr(dst));
    le32(rwant + 12, 100);
    CHECK_BYTES(f.data, rwant, 121);
    CHECK_EQ(rc.rc, 1);
    CHECK_EQ(rc.lpNumberOfBytesRead[0], 5);
    CHECK_BYTES(dst, "hello", 5);
    for (int i = 5; i < 101; i++)
        CHECK_EQ(dst[i], 0xee);

    /* WriteFile of nothing: a bare 21-byte header; the null data address is never touched. */
    struct WriteFileCtx empty;
    memset(&empty, 0, sizeof(empty));
    empty.hFile = h;
    kstub_user_register(&empty, sizeof(empty), RW);
    CHECK_EQ(kstub_ioctl(HGP_IOC_WRITE_FILE, (unsigned long)&empty), 0);
    kstub_user_unregister(&empty);
    CHECK(simhost_last_frame(&f));
    CHECK_EQ(f.data_size, 21);
    CHECK_EQ(empty.rc, 1);
    CHECK_EQ(empty.lpNumberOfBytesWritten[0], 0);

    /* ReadFile answered with 0 bytes copies back only the header: an unmapped destination is fine. */
    struct ReadFileCtx zero;
    memset(&zero, 0, sizeof(zero));
    zero.hFile = h;
    zero.lpBuffer = 0x1000;
    zero.nNumberOfBytesToRead = 0;
    kstub_user_register(&zero, sizeof(zero), RW);
    CHECK_EQ(kstub_ioctl(HGP_IOC_READ_FILE, (unsigned long)&zero), 0);
    kstub_user_unregister(&zero);
    CHECK_EQ(zero.rc, 1);
    CHECK_EQ(zero.lpNumberOfBytesRead[0], 0);

    /* WriteReadFile with w = 10 and r = 100: a 137-byte payload, data at 37. */
    static const char ten[] = "0123456789";
    unsigned char back[100];
    memset(back, 0, sizeof(back));
    struct WriteReadFileCtx xc;
    CHECK_EQ(write_read_file(h, ten, 10, back, 100, &xc), 0);
    CHECK(simhost_last_frame(&f));
    CHECK_EQ(f.info, 6);
    CHECK_EQ(f.data_size, 137);
    unsigned char xwant[137] = {0};
    le32(xwant + 0, (uint32_t)h);
    le64(xwant + 4, addr(ten));
    le32(xwant + 12, 10);
    le64(xwant + 20, addr(back));
    le32(xwant + 28, 100);
    memcpy(xwant + 37, ten, 10);
    CHECK_BYTES(f.data, xwant, 137);
    CHECK_EQ(xc.rc, 1);
    CHECK_EQ(xc.lpNumberOfBytesWritten[0], 10);
    CHECK_EQ(xc.lpNumberOfBytesRead[0], 10);
    CHECK_EQ(xc.lprBuffer, addr(back));
    CHECK_BYTES(back, ten, 10);

    /* The host's own failure is a result, not an ioctl error. */
    CHECK_EQ(write_file(0x7777, hello, 5, &wc), 0);
    CHECK_EQ(wc.rc, 0);
    CHECK_EQ(last_error(), SIMHOST_ERROR_INVALID_HANDLE);

    uint8_t closed;
    CHECK_EQ(close_handle(h, &closed), 0);
    CHECK_EQ(kstub_log_count(), 0);
    teardown();
}

static void test_untrusted_answers(void)
{
    setup();
    int32_t h = open_pipe();
    unsigned char data[32];
    for (int i = 0; i < 32; i++)
        data[i] = (unsigned char)(0x40 + i);

    /* The host claims 50 bytes more than asked: the count is clamped and the guard byte survives. */
    struct
    {
        unsigned char dst[8];
        unsigned char guard[8];
    } out;
    memset(&out, 0xee, sizeof(out));
    kstub_user_register(&out, sizeof(out), KSTUB_USER_WRITE); /* the guard is writable too */
    CHECK_EQ(simhost_feed(h, data, 20), 0);
    simhost_set_fault(SIMHOST_COUNT_EXTRA, 50);
    struct ReadFileCtx rc;
    CHECK_EQ(read_file(h, out.dst, 8, &rc), 0);
    CHECK_EQ(rc.lpNumberOfBytesRead[0], 8);
    CHECK_BYTES(out.dst, data, 8);
    for (int i = 0; i < 8; i++)
        CHECK_EQ(out.guard[i], 0xee);

    memset(&out, 0xee, sizeof(out));
    struct WriteReadFileCtx xc;
    CHECK_EQ(write_read_file(h, data + 8, 4, out.dst, 8, &xc), 0);
    CHECK_EQ(xc.lpNumberOfBytesWritten[0], 4);
    CHECK_EQ(xc.lpNumberOfBytesRead[0], 8); /* 16 were queued, 8 asked for */
    CHECK_BYTES(out.dst, data + 8, 8);
    for (int i = 0; i < 8; i++)
        CHECK_EQ(out.guard[i], 0xee);

    struct WriteFileCtx wc;
    CHECK_EQ(write_file(h, data, 3, &wc), 0);
    CHECK_EQ(wc.lpNumberOfBytesWritten[0], 3);
    simhost_set_fault(SIMHOST_COUNT_EXTRA, 0);
    unsigned char drain[64];
    CHECK_EQ(read_file(h, drain, sizeof(drain), &rc), 0);
    CHECK_EQ(rc.lpNumberOfBytesRead[0], 11);

    /* The host rewrites the destination address and size: the data still goes where the caller asked. */
    unsigned char victim[64];
    memset(victim, 0x11, sizeof(victim));
    kstub_user_register(victim, sizeof(victim), RW);
    simhost_set_fault(SIMHOST_REWRITE_ADDR, addr(victim));
    simhost_set_fault(SIMHOST_REWRITE_SIZE, 0xffffffffu);
    CHECK_EQ(simhost_feed(h, data, 8), 0);
    memset(&out, 0xee, sizeof(out));
    CHECK_EQ(read_file(h, out.dst, 8, &rc), 0);
    CHECK_EQ(rc.lpNumberOfBytesRead[0], 8);
    CHECK_EQ(rc.lpBuffer, addr(out.dst));
    CHECK_EQ(rc.nNumberOfBytesToRead, 8);
    CHECK_BYTES(out.dst, data, 8);
    memset(&out, 0xee, sizeof(out));
    CHECK_EQ(write_read_file(h, data + 16, 6, out.dst, 8, &xc), 0);
    CHECK_EQ(xc.lpNumberOfBytesRead[0], 6);
    CHECK_EQ(xc.lprBuffer, addr(out.dst));
    CHECK_EQ(xc.lpwBuffer, addr(data + 16));
    CHECK_EQ(xc.nNumberOfBytesToRead, 8);
    CHECK_EQ(xc.nNumberOfBytesToWrite, 6);
    CHECK_BYTES(out.dst, data + 16, 6);
    for (int i = 0; i < 64; i++)
        CHECK_EQ(victim[i], 0x11);
    for (int i = 0; i < 8; i++)
        CHECK_EQ(out.guard[i], 0xee);
    simhost_set_fault(SIMHOST_REWRITE_ADDR, 0);
    simhost_set_fault(SIMHOST_REWRITE_SIZE, 0);

    uint8_t closed;
    CHECK_EQ(close_handle(h, &closed), 0);
    CHECK_EQ(kstub_log_count(), 0);
    teardown();
}

static void test_size_refusals(void)
{
    static const char nomem[] = "<3>hgpipe: HGSMAlloc fails for no memory.\n";
    static const struct
    {
        const char *name;
        unsigned int op;
        uint32_t w, r;
    } rows[] = {
        {"WriteFile of 0xFFFFFFFF bytes", HGP_OP_WRITE_FILE, 0xffffffffu, 0},
        {"WriteFile whose sum with the header wraps to 0", HGP_OP_WRITE_FILE, 0xffffffebu, 0},
        {"WriteFile of the whole area", HGP_OP_WRITE_FILE, 0x800000u, 0},
        {"WriteFile one byte past the largest fit", HGP_OP_WRITE_FILE, 0x800000u - 21 - FRAME_OVERHEAD + 1,
         0},
        {"ReadFile of 0xFFFFFFF0 bytes", HGP_OP_READ_FILE, 0, 0xfffffff0u},
        {"WriteReadFile whose read size wraps the sum", HGP_OP_WRITE_READ_FILE, 10, 0xffffffdbu},
        {"WriteReadFile whose write size wraps the sum", HGP_OP_WRITE_READ_FILE, 0xffffffdbu, 0},
    };
    setup();
    int32_t h = open_pipe();
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        current_test = rows[i].name;
        /* The data addresses are not registered: a copy attempt would show as a copy error instead. */
        union {
            struct WriteFileCtx w;
            struct ReadFileCtx r;
            struct WriteReadFileCtx x;
        } c;
        memset(&c, 0, sizeof(c));
        unsigned int cmd;
        if (rows[i].op == HGP_OP_WRITE_FILE) {
            c.w.hFile = h;
            c.w.lpBuffer = 0x1000;
            c.w.nNumberOfBytesToWrite = rows[i].w;
            cmd = HGP_IOC_WRITE_FILE;
        } else if (rows[i].op == HGP_OP_READ_FILE) {
            c.r.hFile = h;
            c.r.lpBuffer = 0x1000;
            c.r.nNumberOfBytesToRead = rows[i].r;
            cmd = HGP_IOC_READ_FILE;
        } else {
            c.x.hFile = h;
            c.x.lpwBuffer = 0x1000;
            c.x.nNumberOfBytesToWrite = rows[i].w;
            c.x.lprBuffer = 0x2000;
            c.x.nNumberOfBytesToRead = rows[i].r;
            cmd = HGP_IOC_WRITE_READ_FILE;
        }
        int frames = simhost_frame_count();
        kstub_log_clear();
        kstub_user_register(&c, sizeof(c), RW);
        CHECK_EQ(kstub_ioctl(cmd, (unsigned long)&c), -ENOMEM);
        kstub_user_unregister(&c);
        CHECK_LOG(nomem);
        CHECK_EQ(simhost_frame_count(), frames);
        CHECK_EQ(kstub_hgsmi_live(), 0);
    }

    /* The largest write that fits takes the whole area, so it also shows that every buffer was returned. */
    current_test = "size_refusals: largest fit";
    uint32_t n = 0x800000u - 21 - FRAME_OVERHEAD;
    unsigned char *big = malloc(n);
    CHECK(big != NULL);
    for (uint32_t i = 0; i < n; i++)
        big[i] = (unsigned char)(i * 7);
    struct WriteFileCtx wc;
    kstub_log_clear();
    CHECK_EQ(write_file(h, big, n, &wc), 0);
    CHECK_EQ(wc.lpNumberOfBytesWritten[0], n);
    struct simhost_frame f;
    CHECK(simhost_last_frame(&f));
    CHECK_EQ(f.data_size, 21 + n);
    CHECK_EQ(f.offset, 0);
    CHECK_BYTES(f.data + 21, big, SIMHOST_FRAME_KEEP - 21);
    free(big);
    uint8_t closed;
    CHECK_EQ(close_handle(h, &closed), 0);
    CHECK_EQ(kstub_log_count(), 0);
    teardown();
}

enum perm_case
{
    OK,
    UNREADABLE,
    READ_ONLY
};

static void test_copy_faults(void)
{
    static const char from[] = "<3>hgpipe: copy from user error\n";
    static const char to[] = "<3>hgpipe: copy to user error\n";
    static const struct
    {
        const char *name;
        unsigned int op;
        enum perm_case header, src, dst;
        const char *log;
        int reaches_host;
    } rows[] = {
        {"CreateFile header unreadable", HGP_OP_CREATE_FILE, UNREADABLE, OK, OK, from, 0},
        {"CreateFile header read-only", HGP_OP_CREATE_FILE, READ_ONLY, OK, OK, to, 1},
        {"GetLastError header unreadable", HGP_OP_GET_LAST_ERROR, UNREADABLE, OK, OK, from, 0},
        {"WaitNamedPipe header read-only", HGP_OP_WAIT_NAMED_PIPE, READ_ONLY, OK, OK, to, 1},
        {"WriteFile header unreadable", HGP_OP_WRITE_FILE, UNREADABLE, OK, OK, from, 0},
        {"WriteFile data unreadable", HGP_OP_WRITE_FILE, OK, UNREADABLE, OK, from, 0},
        {"WriteFile header read-only", HGP_OP_WRITE_FILE, READ_ONLY, OK, OK, to, 1},
        {"ReadFile header unreadable", HGP_OP_READ_FILE, UNREADABLE, OK, OK, from, 0},
        {"ReadFile destination unwritable", HGP_OP_READ_FILE, OK, OK, UNREADABLE, to, 1},
        {"ReadFile header read-only", HGP_OP_READ_FILE, READ_ONLY, OK, OK, to, 1},
        {"WriteReadFile data unreadable", HGP_OP_WRITE_READ_FILE, OK, UNREADABLE, OK, from, 0},
        {"WriteReadFile destination unwritable", HGP_OP_WRITE_READ_FILE, OK, OK, UNREADABLE, to, 1},
    };
    static const unsigned int cmds[] = {
        HGP_IOC_CREATE_FILE, HGP_IOC_GET_LAST_ERROR, HGP_IOC_WAIT_NAMED_PIPE, HGP_IOC_WRITE_FILE,
        HGP_IOC_READ_FILE,   HGP_IOC_CLOSE_HANDLE,   HGP_IOC_WRITE_READ_FILE,
    };
    setup();
    int32_t h = open_pipe();
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        current_test = rows[i].name;
        unsigned char header[133];
        unsigned char src[16] = "abcdefghijklmnop";
        unsigned char dst[16];
        memset(header, 0, sizeof(header));
        memset(dst, 0xee, sizeof(dst));
        switch (rows[i].op) {
        case HGP_OP_CREATE_FILE:
        case HGP_OP_WAIT_NAMED_PIPE:
            memcpy(header, PIPE_NAME, strlen(PIPE_NAME));
            break;
        case HGP_OP_CLOSE_HANDLE:
            le32(header, 0x7777);
            break;
        case HGP_OP_WRITE_FILE:
            le32(header, (uint32_t)h);
            le64(header + 4, addr(src));
            le32(header + 12, sizeof(src));
            break;
        case HGP_OP_READ_FILE:
            le32(header, (uint32_t)h);
            le64(header + 4, addr(dst));
            le32(header + 12, sizeof(dst));
            simhost_feed(h, "queued", 6);
            break;
        case HGP_OP_WRITE_READ_FILE:
            le32(header, (uint32_t)h);
            le64(header + 4, addr(src));
            le32(header + 12, sizeof(src));
            le64(header + 20, addr(dst));
            le32(header + 28, sizeof(dst));
            break;
        }
        if (rows[i].header != UNREADABLE)
            kstub_user_register(header, sizeof(header), rows[i].header == READ_ONLY ? KSTUB_USER_READ : RW);
        if (rows[i].src != UNREADABLE)
            kstub_user_register(src, sizeof(src), KSTUB_USER_READ);
        if (rows[i].dst != UNREADABLE)
            kstub_user_register(dst, sizeof(dst), KSTUB_USER_WRITE);
        int frames = simhost_frame_count();
        kstub_log_clear();

        CHECK_EQ(kstub_ioctl(cmds[rows[i].op], (unsigned long)header), -EFAULT);
        CHECK_LOG(rows[i].log);
        CHECK_EQ(simhost_frame_count(), frames + rows[i].reaches_host);
        CHECK_EQ(kstub_hgsmi_live(), 0);
        if (rows[i].dst == UNREADABLE)
            for (int k = 0; k < 16; k++)
                CHECK_EQ(dst[k], 0xee);

        kstub_user_unregister(header);
        kstub_user_unregister(src);
        kstub_user_unregister(dst);
        /* Drain what a failed call left queued, so the next row starts empty. */
        unsigned char drain[64];
        struct ReadFileCtx rc;
        simhost_feed(h, "x", 1);
        CHECK_EQ(read_file(h, drain, sizeof(drain), &rc), 0);
    }
    teardown();
}

static void test_init_and_cleanup(void)
{
    static const char nodev[] = "<3>hgpipe: hgpipe pci_register_driver failes\n";
    static const struct
    {
        const char *name;
        int devices;
        uint8_t revision;
        int kmalloc_fail_at, register_err, enable_err, iomap_fail, misc_err;
        int ret;
        const char *log[3];
    } rows[] = {
        {"all present", 1, 0, 0, 0, 0, 0, 0, 0, {NULL}},
        {"device state allocation fails",
         1,
         0,
         1,
         0,
         0,
         0,
         0,
         -ENOMEM,
         {"<3>hgpipe: can't kmalloc for dev\n"}},
        {"driver registration fails", 1, 0, 0, -EBUSY, 0, 0, 0, -EBUSY, {nodev}},
        {"no device present", 0, 0, 0, 0, 0, 0, 0, 0, {nodev}},
        {"device of revision 0x42", 1, 0x42, 0, 0, 0, 0, 0, 0, {nodev}},
        {"device enable fails", 1, 0, 0, 0, -EIO, 0, 0, 0, {nodev}},
        {"BAR0 mapping fails", 1, 0, 0, 0, 0, 1, 0, 0, {"<3>hgpipe: hgpipe pci_iomap failes\n", nodev}},
        {"misc registration fails", 1, 0, 0, 0, 0, 0, -EBUSY, -EBUSY, {"<3>hgpipe: misc_register false\n"}},
        {"heap bookkeeping fails",
         1,
         0,
         2,
         0,
         0,
         0,
         0,
         -ENOMEM,
         {"<3>hgpipe: hgpipe HGSMIHeapSetup failes\n"}},
        {"heap second map fails",
         1,
         0,
         3,
         0,
         0,
         0,
         0,
         -ENOMEM,
         {"<3>hgpipe: hgpipe HGSMIHeapSetup failes\n"}},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        current_test = rows[i].name;
        kstub_reset();
        struct pci_dev *d = NULL;
        if (rows[i].devices) {
            d = kstub_pci_add_device(0x0404, 0x0604, rows[i].revision, AREA_SIZE);
            simhost_attach(d);
            simhost_add_pipe(PIPE_NAME, 4);
        }
        kstub_fail_kmalloc_at(rows[i].kmalloc_fail_at);
        kstub_fail_pci_register(rows[i].register_err);
        kstub_fail_pci_enable(rows[i].enable_err);
        kstub_fail_pci_iomap(rows[i].iomap_fail);
        kstub_fail_misc_register(rows[i].misc_err);

        int ret = kstub_module_init_fn();
        CHECK_EQ(ret, rows[i].ret);
        check_log(__FILE__, __LINE__, rows[i].log);
        int working = ret == 0 && !rows[i].log[0];
        CHECK_EQ(kstub_misc_device() != NULL, working);
        if (ret == 0) {
            /* Loaded: the driver stays registered, with or without a device, until exit. */
            CHECK_EQ(kstub_pci_driver_registered(), 1);
            if (d && !working) {
                CHECK_EQ(d->enable_count, 0);
                CHECK_EQ(d->iomap_count, 0);
            }
            if (working) {
                int32_t h = open_pipe();
                uint8_t rc;
                CHECK_EQ(close_handle(h, &rc), 0);
            }
            kstub_module_exit_fn();
        }
        /* After a failed init the kernel runs no exit: init itself must have undone everything. */
        check_clean();
        if (d)
            simhost_detach();
    }
    kstub_reset();
}

static void test_device_binding(void)
{
    /* A second device is refused and left disabled; the first keeps working. */
    start_world(0, AREA_SIZE);
    struct pci_dev *second = kstub_pci_add_device(0x0404, 0x0604, 0, AREA_SIZE);
    CHECK_EQ(kstub_module_init_fn(), 0);
    CHECK_EQ(kstub_log_count(), 0);
    CHECK_EQ(dev->enable_count, 1);
    CHECK_EQ(second->enable_count, 0);
    CHECK(second->bound == NULL);
    int32_t h = open_pipe();
    uint8_t rc;
    CHECK_EQ(close_handle(h, &rc), 0);
    teardown();

    /* A BAR0 shorter than 8 MB bounds the area. */
    start_world(0, 0x100000);
    CHECK_EQ(kstub_module_init_fn(), 0);
    h = open_pipe();
    uint32_t n = 0x80000;
    unsigned char *big = calloc(1, 0x200000);
    struct WriteFileCtx wc;
    CHECK_EQ(write_file(h, big, n, &wc), 0);
    CHECK_EQ(wc.lpNumberOfBytesWritten[0], n);
    kstub_log_clear();
    CHECK_EQ(write_file(h, big, 0x200000, &wc), -ENOMEM);
    CHECK_LOG("<3>hgpipe: HGSMAlloc fails for no memory.\n");
    free(big);
    CHECK_EQ(close_handle(h, &rc), 0);
    teardown();

    /* A removed device: ioctls are refused and never reach the unmapped area (it faults if touched). */
    setup();
    h = open_pipe();
    kstub_pci_hot_remove(dev);
    dev = NULL;
    kstub_log_clear();
    int frames = simhost_frame_count();
    int32_t h2 = 0;
    CHECK_EQ(create_file(PIPE_NAME, &h2), -ENODEV);
    struct GetLastErrorCtx g = {0};
    kstub_user_register(&g, sizeof(g), RW);
    CHECK_EQ(kstub_ioctl(HGP_IOC_GET_LAST_ERROR, (unsigned long)&g), -ENODEV);
    CHECK_LOG("<3>hgpipe: no device\n", "<3>hgpipe: no device\n");
    CHECK_EQ(simhost_frame_count(), frames);
    CHECK(kstub_misc_device() != NULL);
    teardown();
}

/* ---- concurrency ---- */

#define THREADS 8
#define ROUNDS 200

struct worker
{
    int id;
    int mismatches;
    int errors;
};

static void *round_trips(void *arg)
{
    struct worker *w = arg;
    int32_t h = -1;
    if (create_file(PIPE_NAME, &h) != 0 || h < SIMHOST_FIRST_HANDLE) {
        w->errors++;
        return NULL;
    }
    for (int i = 0; i < ROUNDS; i++) {
        unsigned char out[300], in[300];
        uint32_t len = 8 + (uint32_t)(w->id * 31 + i * 17) % 290;
        for (uint32_t k = 0; k < len; k++)
            out[k] = (unsigned char)(w->id * 41 + i * 3 + k);
        le32(out, (uint32_t)w->id);
        le32(out + 4, (uint32_t)i);
        memset(in, 0, sizeof(in));
        uint32_t got;
        if (i % 2) {
            struct WriteReadFileCtx c;
            if (write_read_file(h, out, len, in, sizeof(in), &c) != 0 || c.rc != 1) {
                w->errors++;
                continue;
            }
            got = c.lpNumberOfBytesRead[0];
        } else {
            struct WriteFileCtx wc;
            struct ReadFileCtx rc;
            if (write_file(h, out, len, &wc) != 0 || wc.rc != 1 || read_file(h, in, len, &rc) != 0 ||
                rc.rc != 1) {
                w->errors++;
                continue;
            }
            got = rc.lpNumberOfBytesRead[0];
        }
        if (got != len || memcmp(in, out, len) != 0)
            w->mismatches++;
    }
    uint8_t rc;
    if (close_handle(h, &rc) != 0 || rc != 1)
        w->errors++;
    return NULL;
}

static void test_concurrent_round_trips(void)
{
    setup();
    pthread_t threads[THREADS];
    struct worker workers[THREADS];
    for (int i = 0; i < THREADS; i++) {
        workers[i] = (struct worker){.id = i + 1};
        CHECK_EQ(pthread_create(&threads[i], NULL, round_trips, &workers[i]), 0);
    }
    for (int i = 0; i < THREADS; i++) {
        pthread_join(threads[i], NULL);
        CHECK_EQ(workers[i].errors, 0);
        CHECK_EQ(workers[i].mismatches, 0);
    }
    CHECK_EQ(simhost_frame_count(), THREADS * (2 + ROUNDS / 2 * 3));
    CHECK_EQ(simhost_open_handles(), 0);
    CHECK_EQ(kstub_log_count(), 0);
    teardown();
}

struct blocked_reader
{
    int32_t handle;
    long ret;
    struct ReadFileCtx c;
    unsigned char data[64];
};

static void *blocked_read(void *arg)
{
    struct blocked_reader *r = arg;
    r->ret = read_file(r->handle, r->data, sizeof(r->data), &r->c);
    return NULL;
}

static void test_blocked_read_does_not_block_writes(void)
{
    setup();
    struct blocked_reader r = {.handle = open_pipe()};
    pthread_t reader;
    CHECK_EQ(pthread_create(&reader, NULL, blocked_read, &r), 0);
    CHECK_EQ(simhost_wait_blocked(1, 10000), 0);

    /* While the read waits inside the host, other calls go through (a hang here trips the watchdog). */
    int32_t other = open_pipe();
    struct WriteReadFileCtx xc;
    unsigned char back[4];
    CHECK_EQ(write_read_file(other, "pong", 4, back, 4, &xc), 0);
    CHECK_BYTES(back, "pong", 4);
    struct WriteFileCtx wc;
    CHECK_EQ(write_file(r.handle, "ping", 4, &wc), 0);
    CHECK_EQ(wc.rc, 1);

    pthread_join(reader, NULL);
    CHECK_EQ(r.ret, 0);
    CHECK_EQ(r.c.rc, 1);
    CHECK_EQ(r.c.lpNumberOfBytesRead[0], 4);
    CHECK_BYTES(r.data, "ping", 4);

    /* A read blocked on a handle that another thread closes ends with a broken pipe, not an ioctl error. */
    r = (struct blocked_reader){.handle = r.handle};
    CHECK_EQ(pthread_create(&reader, NULL, blocked_read, &r), 0);
    CHECK_EQ(simhost_wait_blocked(1, 10000), 0);
    uint8_t rc;
    CHECK_EQ(close_handle(r.handle, &rc), 0);
    pthread_join(reader, NULL);
    CHECK_EQ(r.ret, 0);
    CHECK_EQ(r.c.rc, 0);
    CHECK_EQ(r.c.lpNumberOfBytesRead[0], 0);
    CHECK_EQ(last_error(), SIMHOST_ERROR_BROKEN_PIPE);
    CHECK_EQ(close_handle(other, &rc), 0);
    teardown();
}

/* ---- framing ---- */

/* The module's checksum (hgsmi.c), called with the header and tail as bytes. */
uint32_t hgsmi_checksum(uint32_t offset, const void *header, const void *tail);

static void put_header(unsigned char *h, uint32_t data_size, uint8_t channel, uint16_t info)
{
    memset(h, 0, 16);
    le32(h, data_size);
    h[5] = channel;
    h[6] = (unsigned char)info;
    h[7] = (unsigned char)(info >> 8);
}

static void test_framing_worked_examples(void)
{
    /* The reference table: offset, header fields, the 24 hashed bytes (offset, header, tail word), their
       checksum and how it is stored. */
    static const struct
    {
        uint32_t offset, data_size;
        uint8_t channel;
        uint16_t info;
        const char *hashed;
        uint32_t checksum;
        unsigned char stored[4];
    } rows[] = {
        {0x00000100u,
         5,
         8,
         3,
         "00010000 05000000000803000000000000000000 00000000",
         0x5ED3F2B3u,
         {0xb3, 0xf2, 0xd3, 0x5e}},
        {0x00FF0000u,
         8,
         2,
         1,
         "0000ff00 08000000000201000000000000000000 00000000",
         0x8228766Eu,
         {0x6e, 0x76, 0x28, 0x82}},
        {0x03FF0010u,
         16,
         8,
         0x0102,
         "1000ff03 10000000000802010000000000000000 00000000",
         0xC51CB322u,
         {0x22, 0xb3, 0x1c, 0xc5}},
        {0, 0, 0, 0, "00000000 00000000000000000000000000000000 00000000", 0, {0, 0, 0, 0}},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        unsigned char hashed[24], header[16], tail[8] = {0};
        const char *hex = rows[i].hashed;
        for (int k = 0; k < 24; k++, hex += 2) {
            hex += *hex == ' ';
            sscanf(hex, "%2hhx", &hashed[k]);
        }
        put_header(header, rows[i].data_size, rows[i].channel, rows[i].info);
        CHECK_BYTES(header, hashed + 4, 16);
        uint32_t sum = hgsmi_checksum(rows[i].offset, header, tail);
        CHECK_EQ(sum, rows[i].checksum);
        le32(tail + 4, sum);
        CHECK_BYTES(tail + 4, rows[i].stored, 4);
    }

    /*
     * In the area: four one-granule calls fill 0x000..0x0FF, so the fifth buffer's header is at
     * 0x100, its 5-byte payload (a CloseHandle record) at 0x110 and its tail, unaligned, at 0x115.
     */
    setup();
    for (int i = 0; i < 4; i++)
        last_error();
    uint8_t rc;
    CHECK_EQ(close_handle(0x7777, &rc), 0);
    struct simhost_frame f;
    CHECK(simhost_last_frame(&f));
    CHECK_EQ(f.offset, 0x100);
    const unsigned char *area = dev->bar0;
    static const unsigned char first[16 + 4 + 8] = {
        0x04, 0, 0, 0, 0x00, 0x08, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, /* GetLastError header */
        0x00, 0, 0, 0,                                                 /* its answer */
        0,    0, 0, 0, 0xc7, 0x46, 0x29, 0xa5,                         /* tail, checksum 0xA52946C7 */
    };
    CHECK_BYTES(area, first, sizeof(first));
    static const unsigned char close_frame[16 + 5 + 8] = {
        0x05, 0,    0, 0, 0x00, 0x08, 0x05, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, /* header at 0x100 */
        0x77, 0x77, 0, 0, 0x00,                                           /* CloseHandleCtx, rc 0 */
        0,    0,    0, 0, 0x16, 0x51, 0xf1, 0x61, /* tail at 0x115, checksum 0x61F15116 */
    };
    CHECK_BYTES(area + 0x100, close_frame, sizeof(close_frame));
    teardown();
}

/* A frame laid into the area by hand, as example 1 of the reference table puts it at 0x100. */
static void lay_frame(unsigned char *area, uint32_t offset, uint32_t data_size, uint8_t channel,
                      uint16_t info, uint32_t checksum)
{
    put_header(area + offset, data_size, channel, info);
    if (data_size > AREA_SIZE - 24 - offset)
        return; /* the header claims more than the area holds */
    memset(area + offset + 16, 0x5a, data_size);
    le32(area + offset + 16 + data_size, 0);
    le32(area + offset + 16 + data_size + 4, checksum);
}

static void test_host_refuses_bad_frames(void)
{
    static const struct
    {
        const char *name;
        uint32_t offset, data_size;
        uint32_t checksum;
        const char *why;
    } rows[] = {
        {"checksum right, payload wrong for the operation", 0x100, 5, 0x5ED3F2B3u, "for operation 3"},
        {"checksum of another offset", 0x140, 5, 0x5ED3F2B3u, "bad checksum"},
        {"checksum with one bit flipped", 0x100, 5, 0x5ED3F2B3u ^ 0x100u, "bad checksum"},
        {"offset past the last buffer", AREA_SIZE - 23, 0, 0, "outside the area"},
        {"offset far outside", 0xfffffff0u, 0, 0, "outside the area"},
        {"payload past the area", AREA_SIZE - 64, 41, 0, "runs past the area"},
    };
    setup();
    unsigned char *area = dev->bar0;
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        current_test = rows[i].name;
        if (rows[i].offset <= AREA_SIZE - 24)
            lay_frame(area, rows[i].offset, rows[i].data_size, 8, 3, rows[i].checksum);
        unsigned char before[64];
        if (rows[i].offset <= AREA_SIZE - 64)
            memcpy(before, area + rows[i].offset, sizeof(before));
        int errors = simhost_framing_errors(NULL, 0);
        int frames = simhost_frame_count();
        kstub_outl(rows[i].offset, SIMHOST_PORT);
        char why[160];
        CHECK_EQ(simhost_framing_errors(why, sizeof(why)), errors + 1);
        CHECK(strstr(why, rows[i].why) != NULL);
        CHECK_EQ(simhost_frame_count(), frames);
        if (rows[i].offset <= AREA_SIZE - 64)
            CHECK_BYTES(area + rows[i].offset, before, sizeof(before));
    }
    current_test = "host_refuses_bad_frames";
    /* The module's own frames are unaffected; the refusals above are the test's. */
    int32_t h = open_pipe();
    uint8_t rc;
    CHECK_EQ(close_handle(h, &rc), 0);
    CHECK_EQ(rc, 1);
    simhost_detach();
    kstub_module_exit_fn();
    check_clean();
    kstub_reset();
}

static void test_dropped_buffers(void)
{
    /* A host that takes the buffer but never answers: the results read as failed and nothing moved. */
    setup();
    int32_t h = open_pipe();
    simhost_feed(h, "queued", 6);
    simhost_set_fault(SIMHOST_REJECT, 1);
    int frames = simhost_frame_count();

    unsigned char dst[16];
    memset(dst, 0xee, sizeof(dst));
    struct ReadFileCtx rc;
    memset(&rc, 0, sizeof(rc));
    rc.hFile = h;
    rc.lpBuffer = addr(dst);
    rc.nNumberOfBytesToRead = sizeof(dst);
    rc.lpNumberOfBytesRead[0] = 16; /* stale values from the caller's last call */
    rc.rc = 1;
    kstub_user_register(&rc, sizeof(rc), RW);
    kstub_user_register(dst, sizeof(dst), KSTUB_USER_WRITE);
    CHECK_EQ(kstub_ioctl(HGP_IOC_READ_FILE, (unsigned long)&rc), 0);
    kstub_user_unregister(dst);
    kstub_user_unregister(&rc);
    CHECK_EQ(rc.rc, 0);
    CHECK_EQ(rc.lpNumberOfBytesRead[0], 0);
    CHECK_EQ(rc.hFile, h);
    for (int i = 0; i < 16; i++)
        CHECK_EQ(dst[i], 0xee);

    struct WriteReadFileCtx xc;
    memset(&xc, 0, sizeof(xc));
    CHECK_EQ(write_read_file(h, "abc", 3, dst, 8, &xc), 0);
    CHECK_EQ(xc.rc, 0);
    CHECK_EQ(xc.lpNumberOfBytesWritten[0], 0);
    CHECK_EQ(xc.lpNumberOfBytesRead[0], 0);

    /* A fixed record comes back as it was passed. */
    uint8_t closed = 0x33;
    struct CloseHandleCtx cc = {.pipe = h, .rc = 0x33};
    kstub_user_register(&cc, sizeof(cc), RW);
    CHECK_EQ(kstub_ioctl(HGP_IOC_CLOSE_HANDLE, (unsigned long)&cc), 0);
    kstub_user_unregister(&cc);
    CHECK_EQ(cc.rc, 0x33);
    CHECK_EQ(simhost_frame_count(), frames + 3);
    CHECK_EQ(kstub_log_count(), 0);

    simhost_set_fault(SIMHOST_REJECT, 0);
    CHECK_EQ(close_handle(h, &closed), 0);
    CHECK_EQ(closed, 1);
    teardown();
}

/* ---- removal, late binding and the device checks ---- */

struct remover
{
    struct pci_dev *dev;
};

static void *hot_remove(void *arg)
{
    struct remover *r = arg;
    kstub_pci_hot_remove(r->dev);
    return NULL;
}

struct writer
{
    int32_t handle;
    long ret;
};

static void *write_ping(void *arg)
{
    struct writer *w = arg;
    struct WriteFileCtx wc;
    w->ret = write_file(w->handle, "ping", 4, &wc);
    return NULL;
}

/* Joins a thread that must finish within timeout_ms; 0 when it did. */
static int join_within(pthread_t t, int timeout_ms)
{
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += timeout_ms / 1000;
    deadline.tv_nsec += (long)(timeout_ms % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec++;
        deadline.tv_nsec -= 1000000000L;
    }
    return pthread_timedjoin_np(t, NULL, &deadline) == 0 ? 0 : -1;
}

static void test_removal_while_blocked(void)
{
    setup();
    struct blocked_reader r = {.handle = open_pipe()};
    pthread_t reader, remover_thread, writer_thread;
    CHECK_EQ(pthread_create(&reader, NULL, blocked_read, &r), 0);
    CHECK_EQ(simhost_wait_blocked(1, 10000), 0);

    /* Removal from another thread waits for the blocked read, and only for it. */
    struct remover rm = {.dev = dev};
    CHECK_EQ(pthread_create(&remover_thread, NULL, hot_remove, &rm), 0);
    int waiting = kstub_wait_sleepers(1, 10000);
    CHECK_EQ(waiting, 0);

    /* A write that starts now fails at once instead of queueing behind the removal. */
    struct writer w = {.handle = r.handle, .ret = 1};
    CHECK_EQ(pthread_create(&writer_thread, NULL, write_ping, &w), 0);
    int wrote = join_within(writer_thread, 10000);
    CHECK_EQ(wrote, 0);
    CHECK_EQ(w.ret, -ENODEV);
    CHECK_LOG("<3>hgpipe: no device\n");

    /* The host answers the read; the read completes, and then the removal does. */
    CHECK_EQ(simhost_feed(r.handle, "late", 4), 0);
    int read_done = join_within(reader, 10000);
    CHECK_EQ(read_done, 0);
    CHECK_EQ(r.ret, 0);
    CHECK_EQ(r.c.rc, 1);
    CHECK_EQ(r.c.lpNumberOfBytesRead[0], 4);
    CHECK_BYTES(r.data, "late", 4);
    int removed = join_within(remover_thread, 10000);
    CHECK_EQ(removed, 0);
    if (waiting || wrote || read_done || removed) {
        /* A hung thread cannot be cleaned up after. */
        fail_at(__FILE__, __LINE__, "a thread hung; giving up");
        return;
    }
    dev = NULL;
    CHECK_EQ(kstub_hgsmi_live(), 0);
    CHECK_EQ(kstub_pci_leftovers(), 1); /* only the driver, still registered */

    /* The node stays until unload; calls get -ENODEV without touching the unmapped area. */
    int32_t h2;
    CHECK_EQ(create_file(PIPE_NAME, &h2), -ENODEV);
    teardown();
}

static void *unbind_device(void *arg)
{
    struct remover *r = arg;
    kstub_pci_unbind(r->dev);
    return NULL;
}

static double seconds_since(const struct timespec *t0)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)(t.tv_sec - t0->tv_sec) + (double)(t.tv_nsec - t0->tv_nsec) / 1e9;
}

static void test_removal_leaves_an_unanswered_call_behind(void)
{
    setup();
    struct blocked_reader r = {.handle = open_pipe()};
    pthread_t reader, remover_thread;
    CHECK_EQ(pthread_create(&reader, NULL, blocked_read, &r), 0);
    CHECK_EQ(simhost_wait_blocked(1, 10000), 0);

    /* Nobody answers the read (only a write on this device could, and it is refused): the
     * removal goes on after its bounded wait, with a warning. */
    struct remover rm = {.dev = dev};
    struct timespec t0;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    CHECK_EQ(pthread_create(&remover_thread, NULL, unbind_device, &rm), 0);
    int removed = join_within(remover_thread, 20000);
    double took = seconds_since(&t0);
    CHECK_EQ(removed, 0);
    if (removed) {
        /* Release the read so that both threads can end, then give up. */
        simhost_feed(r.handle, "late", 4);
        pthread_join(reader, NULL);
        pthread_join(remover_thread, NULL);
        fail_at(__FILE__, __LINE__, "the removal waited for a read nobody answers");
        teardown();
        return;
    }
    CHECK(took >= 4.5 && took < 15.0);

    /* The device is let go; the area is not: still mapped and referenced, the read's buffer in use. */
    CHECK_EQ(dev->enable_count, 0);
    CHECK_EQ(dev->region_count, 0);
    CHECK_EQ(dev->iomap_count, 1);
    CHECK_EQ(kstub_pci_references(), 1);
    CHECK_EQ(kstub_hgsmi_live(), 1);
    /* New calls are refused, and the device cannot be bound again while the read is out. */
    int32_t h2;
    CHECK_EQ(create_file(PIPE_NAME, &h2), -ENODEV);
    CHECK_EQ(kstub_pci_bind(dev), -EBUSY);
    CHECK_LOG("<4>hgpipe: removal goes on without 1 call(s) blocked in the host; the shared area stays "
              "mapped until they are back\n",
              "<3>hgpipe: no device\n",
              "<3>hgpipe: calls left behind by a removal still use the shared area\n");
    kstub_log_clear();

    /* The host answers at last: the read gets its data out of the area, which then goes. */
    CHECK_EQ(simhost_feed(r.handle, "late", 4), 0);
    CHECK_EQ(join_within(reader, 10000), 0);
    CHECK_EQ(r.ret, 0);
    CHECK_EQ(r.c.rc, 1);
    CHECK_EQ(r.c.lpNumberOfBytesRead[0], 4);
    CHECK_BYTES(r.data, "late", 4);
    CHECK_LOG("<4>hgpipe: the calls left behind by the removal are back; the shared area is released\n");
    CHECK_EQ(dev->iomap_count, 0);
    CHECK_EQ(kstub_pci_references(), 0);
    CHECK_EQ(kstub_hgsmi_live(), 0);
    CHECK_EQ(kstub_pci_leftovers(), 1); /* only the driver, still registered */

    /* Bound again, the device works as before. */
    kstub_log_clear();
    CHECK_EQ(kstub_pci_bind(dev), 0);
    int32_t h3 = open_pipe();
    uint8_t rc = 0;
    CHECK_EQ(close_handle(h3, &rc), 0);
    CHECK_EQ(rc, 1);
    CHECK_EQ(kstub_log_count(), 0);
    teardown();
}

static long registration_call;

static void call_on_register(void)
{
    struct GetLastErrorCtx c = {0};
    kstub_user_register(&c, sizeof(c), RW);
    registration_call = kstub_ioctl(HGP_IOC_GET_LAST_ERROR, (unsigned long)&c);
    kstub_user_unregister(&c);
}

static void test_device_checks(void)
{
    static const char nodev[] = "<3>hgpipe: hgpipe pci_register_driver failes\n";

    /* The device node works from the moment it appears: the heap is set up before. */
    start_world(0, AREA_SIZE);
    registration_call = 1;
    kstub_set_misc_register_hook(call_on_register);
    CHECK_EQ(kstub_module_init_fn(), 0);
    CHECK_EQ(registration_call, 0);
    CHECK_EQ(kstub_log_count(), 0);
    /* BAR0 is reserved while bound. */
    CHECK_EQ(dev->region_count, 1);
    teardown();

    /* An I/O BAR0 is refused, never mapped (the stand-in aborts on that), and leaves nothing behind. */
    current_test = "device_checks: I/O BAR0";
    start_world(0, AREA_SIZE);
    dev->bar0_flags = KSTUB_IORESOURCE_IO;
    CHECK_EQ(kstub_module_init_fn(), 0);
    CHECK_LOG("<3>hgpipe: hgpipe BAR0 is not a memory region\n", nodev);
    CHECK(kstub_misc_device() == NULL);
    CHECK_EQ(dev->enable_count + dev->iomap_count + dev->region_count, 0);
    teardown();

    /* A BAR0 that another driver holds. */
    current_test = "device_checks: BAR0 in use";
    start_world(0, AREA_SIZE);
    dev->region_count = 1;
    CHECK_EQ(kstub_module_init_fn(), 0);
    CHECK_LOG("<3>hgpipe: hgpipe BAR0 is in use\n", nodev);
    CHECK_EQ(dev->enable_count + dev->iomap_count, 0);
    dev->region_count = 0;
    teardown();

    /* A device plugged in after an init that found none becomes usable, node and all. */
    current_test = "device_checks: late device";
    kstub_reset();
    CHECK_EQ(kstub_module_init_fn(), 0);
    CHECK_LOG(nodev);
    CHECK(kstub_misc_device() == NULL);
    dev = kstub_pci_add_device(0x0404, 0x0604, 0, AREA_SIZE);
    simhost_attach(dev);
    simhost_add_pipe(PIPE_NAME, 4);
    registration_call = 1;
    kstub_set_misc_register_hook(call_on_register);
    kstub_pci_hot_add(dev);
    kstub_set_misc_register_hook(NULL);
    CHECK_EQ(registration_call, 0);
    CHECK(kstub_misc_device() != NULL);
    CHECK(dev->bound != NULL);
    int32_t h = open_pipe();
    uint8_t rc;
    CHECK_EQ(close_handle(h, &rc), 0);
    CHECK_EQ(rc, 1);
    /* Unplugged and plugged again: the node stays, the device comes back. */
    kstub_pci_hot_remove(dev);
    dev = kstub_pci_add_device(0x0404, 0x0604, 0, AREA_SIZE);
    simhost_attach(dev);
    simhost_add_pipe(PIPE_NAME, 4);
    kstub_pci_hot_add(dev);
    h = open_pipe();
    CHECK_EQ(close_handle(h, &rc), 0);
    teardown();

    /* ... or, when its device node cannot be registered, is refused with a line and not left half-bound. */
    current_test = "device_checks: late device without a node";
    kstub_reset();
    CHECK_EQ(kstub_module_init_fn(), 0);
    dev = kstub_pci_add_device(0x0404, 0x0604, 0, AREA_SIZE);
    simhost_attach(dev);
    kstub_fail_misc_register(-EBUSY);
    kstub_log_clear();
    kstub_pci_hot_add(dev);
    CHECK_LOG("<3>hgpipe: misc_register false\n");
    CHECK(dev->bound == NULL);
    CHECK_EQ(dev->enable_count + dev->iomap_count + dev->region_count, 0);
    CHECK_EQ(kstub_kmalloc_live(), 1); /* the device state only */
    teardown();
}

static void test_call_lines_rate_limited(void)
{
    /* Any user can trigger these lines; a flood of bad calls logs a bounded number of them. */
    setup();
    unsigned char scratch[256] = {0};
    kstub_user_register(scratch, sizeof(scratch), RW);
    for (int i = 0; i < 100; i++) {
        CHECK_EQ(kstub_ioctl(_IOWR(0xDF, 0, struct CreateFileCtx), (unsigned long)scratch), -EINVAL);
        CHECK_EQ(kstub_ioctl(HGP_IOC_CREATE_FILE, ULONG_MAX - 0x800), -EFAULT);
    }
    int n = kstub_log_count();
    CHECK(n >= 2 && n <= 20);
    CHECK(strcmp(kstub_log_line(0), "<3>hgpipe: cmd invalid\n") == 0);
    teardown();
}

/*
 * The race detector's self-check, run only by name: buffers are freed outside the heap's lock while
 * other threads allocate under it; a ThreadSanitizer build must report the race.
 */
static void test_unlocked_heap_is_caught(void)
{
    setup();
    kstub_set_unlocked_free(1);
    pthread_t threads[THREADS];
    struct worker workers[THREADS];
    for (int i = 0; i < THREADS; i++) {
        workers[i] = (struct worker){.id = i + 1};
        CHECK_EQ(pthread_create(&threads[i], NULL, round_trips, &workers[i]), 0);
    }
    for (int i = 0; i < THREADS; i++)
        pthread_join(threads[i], NULL);
    kstub_set_unlocked_free(0);
    fail_at(__FILE__, __LINE__, "the unlocked heap was used from many threads and nothing reported it");
}

/* ---- main ---- */

static const struct
{
    const char *name;
    void (*fn)(void);
    int by_name_only;
} tests[] = {
    {"codes_and_metadata", test_codes_and_metadata, 0},
    {"ioctl_validation", test_ioctl_validation, 0},
    {"fixed_operations", test_fixed_operations, 0},
    {"transfer_operations", test_transfer_operations, 0},
    {"untrusted_answers", test_untrusted_answers, 0},
    {"size_refusals", test_size_refusals, 0},
    {"copy_faults", test_copy_faults, 0},
    {"init_and_cleanup", test_init_and_cleanup, 0},
    {"device_binding", test_device_binding, 0},
    {"concurrent_round_trips", test_concurrent_round_trips, 0},
    {"blocked_read_does_not_block_writes", test_blocked_read_does_not_block_writes, 0},
    {"framing_worked_examples", test_framing_worked_examples, 0},
    {"host_refuses_bad_frames", test_host_refuses_bad_frames, 0},
    {"dropped_buffers", test_dropped_buffers, 0},
    {"removal_while_blocked", test_removal_while_blocked, 0},
    {"removal_leaves_an_unanswered_call_behind", test_removal_leaves_an_unanswered_call_behind, 0},
    {"device_checks", test_device_checks, 0},
    {"call_lines_rate_limited", test_call_lines_rate_limited, 0},
    {"unlocked_heap_is_caught", test_unlocked_heap_is_caught, 1},
};

static void watchdog(int sig)
{
    (void)sig;
    static const char msg[] = "FAIL: a call hung (watchdog)\n";
    if (write(2, msg, sizeof(msg) - 1) < 0)
        _exit(2);
    _exit(2);
}

int main(int argc, char **argv)
{
    int passed = 0, failed = 0;
    signal(SIGALRM, watchdog);
    setvbuf(stdout, NULL, _IOLBF, 0);
    for (size_t i = 0; i < sizeof(tests) / sizeof(tests[0]); i++) {
        if (argc > 1 ? strcmp(argv[1], tests[i].name) != 0 : tests[i].by_name_only)
            continue;
        current_test = tests[i].name;
        test_failed = 0;
        alarm(60);
        tests[i].fn();
        alarm(0);
        printf("%s %s\n", test_failed ? "FAIL" : "PASS", tests[i].name);
        if (test_failed)
            failed++;
        else
            passed++;
    }
    printf("%d passed, %d failed\n", passed, failed);
    return failed || passed == 0 ? 1 : 0;
}
