/*
 * hgpipe: records and ioctl codes of the /dev/hgpipe character device.
 *
 * Each ioctl carries one named-pipe operation of the host as a packed,
 * little-endian record. The caller passes only the fixed header; the data
 * part of WriteFile, ReadFile and WriteReadFile exists only in the buffer the
 * module builds in the shared area and travels through the caller's buffer
 * addresses held inside the header.
 *
 * This header is usable from the kernel and from user space.
 */
#ifndef HGPIPE_IOCTL_H
#define HGPIPE_IOCTL_H

#ifdef __KERNEL__
#include <linux/types.h>
#include <linux/ioctl.h>
typedef __s32 HANDLE_;
typedef __u32 DWORD_;
typedef __u32 LPDWORD_[1];
typedef __u64 LPCVOID_;
typedef __u8 BOOL_;
#else
#include <stdint.h>
#include <linux/ioctl.h>
typedef int32_t HANDLE_;    /* a handle value of the host */
typedef uint32_t DWORD_;
typedef uint32_t LPDWORD_[1]; /* a count held inline, not a pointer */
typedef uint64_t LPCVOID_;  /* a user-space address widened to 64 bits */
typedef uint8_t BOOL_;      /* result flag written by the host */
#endif

#define HGP_NAME_LEN 128
typedef char LPCTSTR_[HGP_NAME_LEN]; /* zero-terminated name held inline */

#define HGP_PACKED __attribute__((packed))

struct CreateFileCtx {
	LPCTSTR_ lpFileName;
	HANDLE_ rc;
} HGP_PACKED;

struct GetLastErrorCtx {
	DWORD_ rc;
} HGP_PACKED;

struct WaitNamedPipeCtx {
	LPCTSTR_ lpNamedPipeName;
	DWORD_ nTimeOut;
	BOOL_ rc;
} HGP_PACKED;

/* Followed in the shared buffer by nNumberOfBytesToWrite bytes of data. */
struct WriteFileCtx {
	HANDLE_ hFile;
	LPCVOID_ lpBuffer;
	DWORD_ nNumberOfBytesToWrite;
	LPDWORD_ lpNumberOfBytesWritten;
	BOOL_ rc;
} HGP_PACKED;

/* Followed in the shared buffer by nNumberOfBytesToRead bytes of room. */
struct ReadFileCtx {
	HANDLE_ hFile;
	LPCVOID_ lpBuffer;
	DWORD_ nNumberOfBytesToRead;
	LPDWORD_ lpNumberOfBytesRead;
	BOOL_ rc;
} HGP_PACKED;

struct CloseHandleCtx {
	HANDLE_ pipe;
	BOOL_ rc;
} HGP_PACKED;

/* Followed in the shared buffer by max(write, read) bytes. */
struct WriteReadFileCtx {
	HANDLE_ hFile;
	LPCVOID_ lpwBuffer;
	DWORD_ nNumberOfBytesToWrite;
	LPDWORD_ lpNumberOfBytesWritten;
	LPCVOID_ lprBuffer;
	DWORD_ nNumberOfBytesToRead;
	LPDWORD_ lpNumberOfBytesRead;
	BOOL_ rc;
} HGP_PACKED;

#define HGP_IOC_MAGIC 0xDE
/* Numbers at or above this are refused before the code is looked at. */
#define HGP_IOC_MAXNR 8

/* Operation numbers; each is also the channel info of its shared buffer. */
enum hgp_op {
	HGP_OP_CREATE_FILE = 0,
	HGP_OP_GET_LAST_ERROR = 1,
	HGP_OP_WAIT_NAMED_PIPE = 2,
	HGP_OP_WRITE_FILE = 3,
	HGP_OP_READ_FILE = 4,
	HGP_OP_CLOSE_HANDLE = 5,
	HGP_OP_WRITE_READ_FILE = 6,
};

#define HGP_IOC_CREATE_FILE _IOWR(HGP_IOC_MAGIC, HGP_OP_CREATE_FILE, struct CreateFileCtx)
#define HGP_IOC_GET_LAST_ERROR _IOWR(HGP_IOC_MAGIC, HGP_OP_GET_LAST_ERROR, struct GetLastErrorCtx)
#define HGP_IOC_WAIT_NAMED_PIPE _IOWR(HGP_IOC_MAGIC, HGP_OP_WAIT_NAMED_PIPE, struct WaitNamedPipeCtx)
#define HGP_IOC_WRITE_FILE _IOWR(HGP_IOC_MAGIC, HGP_OP_WRITE_FILE, struct WriteFileCtx)
#define HGP_IOC_READ_FILE _IOWR(HGP_IOC_MAGIC, HGP_OP_READ_FILE, struct ReadFileCtx)
#define HGP_IOC_CLOSE_HANDLE _IOWR(HGP_IOC_MAGIC, HGP_OP_CLOSE_HANDLE, struct CloseHandleCtx)
#define HGP_IOC_WRITE_READ_FILE _IOWR(HGP_IOC_MAGIC, HGP_OP_WRITE_READ_FILE, struct WriteReadFileCtx)

/* HGSMI channel that carries every pipe buffer. */
#define HGP_HGSMI_CHANNEL 8

#endif /* HGPIPE_IOCTL_H */
