/*
 * Runs inside the virtual machine, as its init's test step: plays the host
 * behind hgpipe's port from its own threads, through the bound device's
 * region mapped from sysfs (resource0), and drives /dev/hgpipe as a guest
 * program would. The host side is the harness's simulated host, which
 * checks every frame the real module builds on the real kernel.
 *
 * usage: hgpipe_vm_check <PCI address of the bound device> [quick]
 * ("quick" runs only the CreateFile check, for a reloaded module).
 * Prints "HGPQ PASS <check>" or "HGPQ FAIL <check>: <why>" per check and
 * "HGPQ RESULT PASS" or "HGPQ RESULT FAIL" at the end.
 */
#define _GNU_SOURCE
#include "hgpipe_ioctl.h"
#include "kstub/kstub.h"
#include "simhost.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#define AREA_SIZE 0x800000u
#define MAILBOX_OFFSET 0x800000u
#define MAILBOX_SLOTS 8
#define SLOT_SIZE 16
#define PIPE_NAME "\\\\.\\pipe\\orvanta"

static volatile unsigned char *region;
static struct pci_dev device;
static kstub_port_handler port_fn;
static void *port_ctx;
static int failures;
static const char *pci_address;

/* The simulated host registers its port handler here, as it does with the kernel stand-in. */
void kstub_set_port_handler(uint16_t port, kstub_port_handler fn, void *ctx)
{
    (void)port;
    port_fn = fn;
    port_ctx = ctx;
}

static uint32_t rd32(size_t off)
{
    return *(volatile uint32_t *)(region + off);
}

static void wr32(size_t off, uint32_t v)
{
    *(volatile uint32_t *)(region + off) = v;
}

static void pause_briefly(void)
{
    struct timespec ts = {0, 200000};
    nanosleep(&ts, NULL);
}

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

/* One host thread per CPU slot: each buffer is handled while its CPU waits, as during a port write. */
static void *host_slot(void *arg)
{
    size_t slot = MAILBOX_OFFSET + (size_t)(uintptr_t)arg * SLOT_SIZE;
    uint32_t done = rd32(slot + 8);
    for (;;) {
        uint32_t seq = rd32(slot);
        if (seq == done) {
            pause_briefly();
            continue;
        }
        __sync_synchronize();
        port_fn(port_ctx, rd32(slot + 4));
        __sync_synchronize();
        wr32(slot + 8, seq);
        done = seq;
    }
    return NULL;
}

#define CHECK(cond, ...)                                                                                     \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            printf("HGPQ FAIL %s: ", check_name);                                                            \
            printf(__VA_ARGS__);                                                                             \
            printf(" (%s, line %d)\n", #cond, __LINE__);                                                     \
            failed = 1;                                                                                      \
        }                                                                                                    \
    } while (0)

static const char *check_name;
static int failed;

static void begin(const char *name)
{
    check_name = name;
    failed = 0;
}

static void end(void)
{
    if (failed)
        failures++;
    else
        printf("HGPQ PASS %s\n", check_name);
    fflush(stdout);
}

static int dev_fd;

static long call(unsigned int cmd, void *arg)
{
    return ioctl(dev_fd, cmd, arg) < 0 ? -errno : 0;
}

static int32_t create_file(const char *name)
{
    struct CreateFileCtx c;
    memset(&c, 0, sizeof(c));
    snprintf(c.lpFileName, sizeof(c.lpFileName), "%s", name);
    long r = call(HGP_IOC_CREATE_FILE, &c);
    return r ? (int32_t)r : c.rc;
}

static long write_file(int32_t h, const void *src, uint32_t n, struct WriteFileCtx *c)
{
    memset(c, 0, sizeof(*c));
    c->hFile = h;
    c->lpBuffer = (uintptr_t)src;
    c->nNumberOfBytesToWrite = n;
    return call(HGP_IOC_WRITE_FILE, c);
}

static long read_file(int32_t h, void *dst, uint32_t n, struct ReadFileCtx *c)
{
    memset(c, 0, sizeof(*c));
    c->hFile = h;
    c->lpBuffer = (uintptr_t)dst;
    c->nNumberOfBytesToRead = n;
    return call(HGP_IOC_READ_FILE, c);
}

/* ---- kernel log ---- */

static int kmsg_fd = -1;

static void kmsg_skip(void)
{
    if (kmsg_fd < 0)
        kmsg_fd = open("/dev/kmsg", O_RDONLY | O_NONBLOCK);
    lseek(kmsg_fd, 0, SEEK_END);
}

/* The hgpipe lines logged since kmsg_skip, "<level>text" each, joined by '|'. */
static void kmsg_lines(char *out, size_t len)
{
    char rec[1024];
    out[0] = 0;
    for (;;) {
        ssize_t n = read(kmsg_fd, rec, sizeof(rec) - 1);
        if (n <= 0)
            break;
        rec[n] = 0;
        char *text = strchr(rec, ';');
        if (!text || !strstr(text, "hgpipe"))
            continue;
        char *nl = strchr(text, '\n');
        if (nl)
            *nl = 0;
        size_t used = strlen(out);
        snprintf(out + used, len - used, "%s<%c>%s", used ? "|" : "", rec[0], text + 1);
    }
}

/* ---- checks ---- */

static void check_create_file(void)
{
    begin("CreateFile");
    int frames = simhost_frame_count();
    int32_t h = create_file(PIPE_NAME);
    CHECK(h >= SIMHOST_FIRST_HANDLE, "handle %d", h);
    struct simhost_frame f;
    CHECK(simhost_last_frame(&f) && f.channel == 8 && f.info == 0 && f.data_size == 132,
          "frame channel %u info %u size %u", f.channel, f.info, f.data_size);
    CHECK(simhost_frame_count() == frames + 1, "frames %d", simhost_frame_count() - frames);
    CHECK(create_file("\\\\.\\pipe\\missing") == SIMHOST_INVALID_HANDLE, "a missing pipe opened");
    struct GetLastErrorCtx e = {0};
    CHECK(call(HGP_IOC_GET_LAST_ERROR, &e) == 0 && e.rc == SIMHOST_ERROR_FILE_NOT_FOUND, "last error %u",
          e.rc);
    struct CloseHandleCtx c = {.pipe = h};
    CHECK(call(HGP_IOC_CLOSE_HANDLE, &c) == 0 && c.rc == 1, "close rc %u", c.rc);
    end();
}

static void check_write_read(void)
{
    begin("WriteFile and ReadFile with count clamping");
    int32_t h = create_file(PIPE_NAME);
    struct WriteFileCtx wc;
    CHECK(write_file(h, "hello", 5, &wc) == 0 && wc.rc == 1 && wc.lpNumberOfBytesWritten[0] == 5,
          "write rc %u count %u", wc.rc, wc.lpNumberOfBytesWritten[0]);
    struct simhost_frame f;
    CHECK(simhost_last_frame(&f) && f.info == 3 && f.data_size == 26 && memcmp(f.data + 21, "hello", 5) == 0,
          "write frame info %u size %u", f.info, f.data_size);

    /* The host claims 50 bytes more than asked: 8 arrive, the guard after them stays. */
    unsigned char src[32];
    for (int i = 0; i < 32; i++)
        src[i] = (unsigned char)(0x40 + i);
    simhost_feed(h, src, 20);
    simhost_set_fault(SIMHOST_COUNT_EXTRA, 50);
    struct
    {
        unsigned char dst[8];
        unsigned char guard[8];
    } out;
    memset(&out, 0xee, sizeof(out));
    struct ReadFileCtx rc;
    unsigned char drain[64];
    CHECK(read_file(h, out.dst, 8, &rc) == 0 && rc.rc == 1, "read rc %u", rc.rc);
    CHECK(rc.lpNumberOfBytesRead[0] == 8, "count %u", rc.lpNumberOfBytesRead[0]);
    CHECK(memcmp(out.dst, "hello", 5) == 0 && memcmp(out.dst + 5, src, 3) == 0, "data differs");
    int guard_ok = 1;
    for (int i = 0; i < 8; i++)
        guard_ok &= out.guard[i] == 0xee;
    CHECK(guard_ok, "bytes past the count were written");
    CHECK(rc.lpBuffer == (uintptr_t)out.dst && rc.nNumberOfBytesToRead == 8, "request fields changed");
    simhost_set_fault(SIMHOST_COUNT_EXTRA, 0);
    CHECK(read_file(h, drain, sizeof(drain), &rc) == 0 && rc.lpNumberOfBytesRead[0] == 17, "rest %u",
          rc.lpNumberOfBytesRead[0]);
    struct CloseHandleCtx c = {.pipe = h};
    call(HGP_IOC_CLOSE_HANDLE, &c);
    end();
}

static void check_write_read_file(void)
{
    begin("WriteReadFile");
    int32_t h = create_file(PIPE_NAME);
    struct WriteReadFileCtx x;
    unsigned char back[100];
    memset(&x, 0, sizeof(x));
    memset(back, 0, sizeof(back));
    x.hFile = h;
    x.lpwBuffer = (uintptr_t) "0123456789";
    x.nNumberOfBytesToWrite = 10;
    x.lprBuffer = (uintptr_t)back;
    x.nNumberOfBytesToRead = 100;
    CHECK(call(HGP_IOC_WRITE_READ_FILE, &x) == 0 && x.rc == 1, "rc %u", x.rc);
    CHECK(x.lpNumberOfBytesWritten[0] == 10 && x.lpNumberOfBytesRead[0] == 10, "counts %u %u",
          x.lpNumberOfBytesWritten[0], x.lpNumberOfBytesRead[0]);
    CHECK(memcmp(back, "0123456789", 10) == 0, "data differs");
    struct simhost_frame f;
    CHECK(simhost_last_frame(&f) && f.info == 6 && f.data_size == 137, "frame info %u size %u", f.info,
          f.data_size);
    struct CloseHandleCtx c = {.pipe = h};
    call(HGP_IOC_CLOSE_HANDLE, &c);
    end();
}

static void check_validation(void)
{
    static const struct
    {
        const char *name;
        unsigned int cmd;
        int kernel_arg;
        long ret;
        const char *log;
    } rows[] = {
        {"type byte 0xDF", _IOWR(0xDF, 0, struct CreateFileCtx), 0, -EINVAL, "<3>hgpipe: cmd invalid"},
        {"number 8", _IOWR(0xDE, 8, struct CreateFileCtx), 0, -EINVAL, "<3>hgpipe: cmd exceed max nr"},
        {"number 8 before access", _IOWR(0xDE, 8, struct CreateFileCtx), 1, -EINVAL,
         "<3>hgpipe: cmd exceed max nr"},
        {"number 7", _IOWR(0xDE, 7, struct GetLastErrorCtx), 0, -ENOTTY, ""},
        {"number 0 with size 4", _IOWR(0xDE, 0, struct GetLastErrorCtx), 0, -ENOTTY, ""},
        {"number 3 write only", _IOW(0xDE, 3, struct WriteFileCtx), 0, -ENOTTY, ""},
        {"header in kernel space", HGP_IOC_CREATE_FILE, 1, -EFAULT, "<3>hgpipe: access deny!"},
    };
    begin("ioctl validation table and its log lines");
    unsigned char scratch[256] = {0};
    int frames = simhost_frame_count();
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); i++) {
        kmsg_skip();
        void *arg = rows[i].kernel_arg ? (void *)0xffffffff81000000ul : scratch;
        long r = call(rows[i].cmd, arg);
        char lines[512];
        kmsg_lines(lines, sizeof(lines));
        CHECK(r == rows[i].ret, "%s: returned %ld", rows[i].name, r);
        CHECK(strcmp(lines, rows[i].log) == 0, "%s: log \"%s\"", rows[i].name, lines);
    }
    CHECK(simhost_frame_count() == frames, "a refused call reached the host");
    end();
}

struct blocked
{
    int32_t handle;
    long ret;
    struct ReadFileCtx c;
    unsigned char data[16];
    volatile int done;
};

static void *blocked_read(void *arg)
{
    struct blocked *b = arg;
    b->ret = read_file(b->handle, b->data, sizeof(b->data), &b->c);
    b->done = 1;
    return NULL;
}

struct unbinder
{
    volatile int done;
    int ok;
};

static void *unbind(void *arg)
{
    struct unbinder *u = arg;
    int fd = open("/sys/bus/pci/drivers/hgpipe/unbind", O_WRONLY);
    u->ok = fd >= 0 && write(fd, pci_address, strlen(pci_address)) == (ssize_t)strlen(pci_address);
    if (fd >= 0)
        close(fd);
    u->done = 1;
    return NULL;
}

static void check_removal_while_blocked(void)
{
    begin("removal while a call is blocked in the host");
    struct blocked b = {.handle = create_file(PIPE_NAME)};
    int32_t other = create_file(PIPE_NAME);
    pthread_t reader, remover;
    pthread_create(&reader, NULL, blocked_read, &b);
    CHECK(simhost_wait_blocked(1, 20000) == 0, "the read never blocked in the host");

    struct unbinder u = {0};
    pthread_create(&remover, NULL, unbind, &u);
    /* Until the removal is pending, writes on the other handle go through; then they fail at once. */
    long r = 0;
    double deadline = now() + 20, took = 0;
    struct WriteFileCtx wc;
    while (now() < deadline) {
        double t0 = now();
        r = write_file(other, "x", 1, &wc);
        took = now() - t0;
        if (r != 0)
            break;
    }
    CHECK(r == -ENODEV, "write during removal returned %ld", r);
    CHECK(took < 2.0, "the refused write took %.2f s", took);
    CHECK(!u.done && !b.done, "removal (%d) or read (%d) finished while the read was blocked", u.done,
          b.done);

    /* The host answers the read: the read completes, then the removal does. */
    simhost_feed(b.handle, "late", 4);
    pthread_join(reader, NULL);
    CHECK(b.ret == 0 && b.c.rc == 1 && b.c.lpNumberOfBytesRead[0] == 4 && memcmp(b.data, "late", 4) == 0,
          "read ret %ld rc %u count %u", b.ret, b.c.rc, b.c.lpNumberOfBytesRead[0]);
    pthread_join(remover, NULL);
    CHECK(u.ok, "unbind failed");
    CHECK(create_file(PIPE_NAME) == -ENODEV, "a call after removal was not refused");
    char why[160];
    CHECK(simhost_framing_errors(why, sizeof(why)) == 0, "framing: %s", why);
    end();
}

static int sysfs_write(const char *path, const char *text)
{
    int fd = open(path, O_WRONLY);
    if (fd < 0)
        return -errno;
    int ret = write(fd, text, strlen(text)) == (ssize_t)strlen(text) ? 0 : -errno;
    close(fd);
    return ret;
}

static int iomem_names_hgpipe(void)
{
    FILE *f = fopen("/proc/iomem", "r");
    char line[256];
    int found = 0;
    while (f && fgets(line, sizeof(line), f))
        found |= strstr(line, "hgpipe") != NULL;
    if (f)
        fclose(f);
    return found;
}

#define BIND_PATH "/sys/bus/pci/drivers/hgpipe/bind"

static void check_removal_leaves_unanswered_call(void)
{
    begin("removal goes on without a call the host never answers");
    CHECK(sysfs_write(BIND_PATH, pci_address) == 0, "the device could not be bound again");
    struct blocked b = {.handle = create_file(PIPE_NAME)};
    CHECK(b.handle >= SIMHOST_FIRST_HANDLE, "handle %d", b.handle);
    pthread_t reader, remover;
    pthread_create(&reader, NULL, blocked_read, &b);
    CHECK(simhost_wait_blocked(1, 20000) == 0, "the read never blocked in the host");

    /* Nobody answers the read: the removal goes on after its bounded wait, with a warning. */
    kmsg_skip();
    struct unbinder u = {0};
    double t0 = now();
    pthread_create(&remover, NULL, unbind, &u);
    while (!u.done && now() < t0 + 15)
        pause_briefly();
    double took = now() - t0;
    CHECK(u.done && u.ok, "the removal did not go on (done %d, ok %d, after %.1f s)", u.done, u.ok, took);
    CHECK(took >= 4.5, "the removal went on after %.2f s", took);
    CHECK(!b.done, "the unanswered read finished");
    char lines[1024];
    kmsg_lines(lines, sizeof(lines));
    CHECK(strstr(lines, "<4>hgpipe: removal goes on without 1 call(s) blocked in the host; the shared area "
                        "stays mapped until they are back") != NULL,
          "log \"%s\"", lines);
    CHECK(!iomem_names_hgpipe(), "BAR0 is still reserved after the removal");
    CHECK(create_file(PIPE_NAME) == -ENODEV, "a call after the removal was not refused");
    CHECK(sysfs_write(BIND_PATH, pci_address) != 0, "the device was bound again while the read was out");

    /* The host answers at last: the read gets its data out of the area, which then goes. */
    kmsg_skip();
    simhost_feed(b.handle, "late", 4);
    pthread_join(reader, NULL);
    CHECK(b.ret == 0 && b.c.rc == 1 && b.c.lpNumberOfBytesRead[0] == 4 && memcmp(b.data, "late", 4) == 0,
          "read ret %ld rc %u count %u", b.ret, b.c.rc, b.c.lpNumberOfBytesRead[0]);
    pthread_join(remover, NULL);
    kmsg_lines(lines, sizeof(lines));
    CHECK(strstr(lines, "<4>hgpipe: the calls left behind by the removal are back; the shared area is "
                        "released") != NULL,
          "log \"%s\"", lines);

    /* Bound again, the device works. */
    CHECK(sysfs_write(BIND_PATH, pci_address) == 0, "the device could not be bound after the read was back");
    int32_t h = create_file(PIPE_NAME);
    CHECK(h >= SIMHOST_FIRST_HANDLE, "a call after binding again returned %d", h);
    struct CloseHandleCtx c = {.pipe = h};
    CHECK(call(HGP_IOC_CLOSE_HANDLE, &c) == 0 && c.rc == 1, "close rc %u", c.rc);
    char why[160];
    CHECK(simhost_framing_errors(why, sizeof(why)) == 0, "framing: %s", why);
    end();
}

int main(int argc, char **argv)
{
    setvbuf(stdout, NULL, _IOLBF, 0);
    if (argc < 2) {
        fprintf(stderr, "usage: %s <PCI address>\n", argv[0]);
        return 2;
    }
    pci_address = argv[1];
    char path[256];
    snprintf(path, sizeof(path), "/sys/bus/pci/devices/%s/resource0", pci_address);
    int fd = open(path, O_RDWR | O_SYNC);
    if (fd < 0) {
        printf("HGPQ FAIL setup: cannot open %s: %s\nHGPQ RESULT FAIL\n", path, strerror(errno));
        return 1;
    }
    void *map = mmap(NULL, MAILBOX_OFFSET + 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map == MAP_FAILED) {
        printf("HGPQ FAIL setup: cannot map %s: %s\nHGPQ RESULT FAIL\n", path, strerror(errno));
        return 1;
    }
    region = map;
    device.bar0 = map;
    device.bar0_len = AREA_SIZE;
    simhost_attach(&device);
    simhost_add_pipe(PIPE_NAME, 16);
    for (uintptr_t i = 0; i < MAILBOX_SLOTS; i++) {
        pthread_t t;
        pthread_create(&t, NULL, host_slot, (void *)i);
    }
    dev_fd = open("/dev/hgpipe", O_RDWR);
    if (dev_fd < 0) {
        printf("HGPQ FAIL setup: cannot open /dev/hgpipe: %s\nHGPQ RESULT FAIL\n", strerror(errno));
        return 1;
    }

    check_create_file();
    if (argc > 2 && strcmp(argv[2], "quick") == 0) {
        printf("HGPQ RESULT %s\n", failures ? "FAIL" : "PASS");
        return failures ? 1 : 0;
    }
    check_write_read();
    check_write_read_file();
    check_validation();
    begin("frames checked by the host");
    char why[160];
    CHECK(simhost_framing_errors(why, sizeof(why)) == 0, "framing: %s", why);
    end();
    check_removal_while_blocked();
    check_removal_leaves_unanswered_call();

    close(dev_fd);
    printf("HGPQ RESULT %s\n", failures ? "FAIL" : "PASS");
    return failures ? 1 : 0;
}
