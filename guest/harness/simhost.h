/*
 * Simulated host device behind the guest's HGSMI port: it checks every
 * frame the module submits and answers the pipe operations from a small world
 * of named pipes. Each pipe echoes: what a handle writes becomes that
 * handle's data to read, and a read on a handle with nothing queued blocks
 * inside the port write until data arrives or the handle is closed.
 *
 * The frame layout (HGSMI header, payload, tail with its checksum) is decoded
 * here from bytes on its own, independently of the module's headers, so a
 * disagreement between the two shows up as a framing error. A refused frame
 * is left untouched, as a real host leaves it.
 */
#ifndef SIMHOST_H
#define SIMHOST_H

#include <stddef.h>
#include <stdint.h>

struct pci_dev;

#define SIMHOST_PORT 0x3E5
#define SIMHOST_CHANNEL 8

/* Last-error values the host reports. */
#define SIMHOST_ERROR_FILE_NOT_FOUND 2
#define SIMHOST_ERROR_INVALID_HANDLE 6
#define SIMHOST_ERROR_BROKEN_PIPE 109
#define SIMHOST_ERROR_SEM_TIMEOUT 121
#define SIMHOST_ERROR_INVALID_NAME 123
#define SIMHOST_ERROR_PIPE_BUSY 231
#define SIMHOST_INVALID_HANDLE (-1)
/* Handles are handed out from here, in steps of 4. */
#define SIMHOST_FIRST_HANDLE 0x100

/* Payload bytes kept of each received frame. */
#define SIMHOST_FRAME_KEEP 4096

struct simhost_frame
{
    uint32_t offset;
    uint16_t channel;
    uint16_t info;
    uint32_t data_size;
    unsigned char data[SIMHOST_FRAME_KEEP]; /* the payload as it arrived */
};

enum simhost_fault
{
    SIMHOST_REJECT = 1,   /* the next frames are received but dropped unanswered */
    SIMHOST_COUNT_EXTRA,  /* value added to the byte counts the host reports */
    SIMHOST_REWRITE_ADDR, /* the buffer addresses in the answer are replaced by value */
    SIMHOST_REWRITE_SIZE, /* the requested sizes in the answer are replaced by value */
};

void simhost_attach(struct pci_dev *dev);
/* Wakes blocked readers with a broken pipe and forgets everything. */
void simhost_detach(void);

void simhost_add_pipe(const char *name, int max_instances);
int simhost_feed(int32_t handle, const void *data, size_t len);
void simhost_set_fault(enum simhost_fault fault, uint64_t value);

int simhost_open_handles(void);
uint32_t simhost_last_error(void);
int simhost_frame_count(void);
/* Frames that broke the framing rules; why holds the last reason. */
int simhost_framing_errors(char *why, size_t len);
/* Copies the last frame received; returns 0 when there is none. */
int simhost_last_frame(struct simhost_frame *out);
/* Waits until n reads are blocked in the host; returns 0, or -1 after timeout_ms. */
int simhost_wait_blocked(int n, int timeout_ms);

#endif /* SIMHOST_H */
