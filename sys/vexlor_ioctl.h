/*
 * vexlor_ioctl.h - the application interface of the vexlor driver.
 *
 * Applications open the device as "\\.\Vexlor" with GENERIC_READ |
 * GENERIC_WRITE and talk to it with DeviceIoControl.  Every request code
 * below requires a handle opened for both reading and writing; the I/O
 * manager refuses it on any other handle (ERROR_ACCESS_DENIED) before the
 * driver sees it.
 *
 * This header depends on nothing but the C standard library and compiles as
 * C and as C++, in user mode and in kernel mode.
 *
 * Statuses a request can end with, as the caller sees them through
 * GetLastError() after DeviceIoControl returned FALSE:
 *
 *   STATUS_NOT_IMPLEMENTED   (ERROR_INVALID_FUNCTION 1): a code or a
 *       sub-function the driver does not serve, or a request that arrived
 *       while another request was lending the port to other clients.
 *   STATUS_ACCESS_VIOLATION  (ERROR_NOACCESS 998): a request that needs an
 *       output buffer was sent without one, or a register access would
 *       leave the port's five registers.
 *   STATUS_INVALID_PARAMETER (ERROR_INVALID_PARAMETER 87): a register read
 *       whose output is shorter than the value, or window parameters that do
 *       not describe a window.
 *   STATUS_BUFFER_TOO_SMALL  (ERROR_INSUFFICIENT_BUFFER 122): an input or
 *       output buffer shorter than what the request reads or writes.  The
 *       request is refused before the first port access; nothing is read or
 *       written outside the caller's buffers and the buffers, the port and
 *       the driver's state are left as they were.
 */
#ifndef VEXLOR_IOCTL_H
#define VEXLOR_IOCTL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define LOR_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define LOR_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Win32 names of the device. */
#define LOR_WIN32_DEVICE_PATH "\\\\.\\Vexlor"
#define LOR_DOS_DEVICE_NAME "Vexlor"
#define LOR_NT_DEVICE_NAME "\\Device\\Vexlor0"

/* The device type of the driver's device, also the type of its port codes. */
#define LOR_DEVICE_TYPE 41000u
/* The type of the acquisition codes. */
#define LOR_ACQUISITION_TYPE 40000u

#define LOR_METHOD_BUFFERED 0u
#define LOR_METHOD_OUT_DIRECT 2u
#define LOR_ACCESS_READ_WRITE 3u

/*
 * Request codes are built as the system builds them: type in bits 16-31,
 * required access in bits 14-15, function in bits 2-13, transfer method in
 * bits 0-1.  They are unsigned 32-bit constants, usable as case labels.
 */
#define LOR_CTL_CODE(type, function, method, access)                                               \
    ((uint32_t)(((uint32_t)(type) << 16) | ((uint32_t)(access) << 14) |                            \
                ((uint32_t)(function) << 2) | (uint32_t)(method)))

#define LOR_ACQ_CODE(function, method)                                                             \
    LOR_CTL_CODE(LOR_ACQUISITION_TYPE, function, method, LOR_ACCESS_READ_WRITE)
#define LOR_PORT_CODE(function, method)                                                            \
    LOR_CTL_CODE(LOR_DEVICE_TYPE, function, method, LOR_ACCESS_READ_WRITE)

/*
 * IOCTL_LOR_SHIFT_OUT_BLOCK: output buffer = bytes to send bit-serially on
 * the EPP data register, at most LOR_SHIFT_BLOCK_LIMIT of them (the rest is
 * not sent).  A length of 0 sends nothing and succeeds.  No output buffer:
 * STATUS_ACCESS_VIOLATION.  Bytes returned: 0.
 */
#define IOCTL_LOR_SHIFT_OUT_BLOCK LOR_ACQ_CODE(0x910, LOR_METHOD_OUT_DIRECT)
/*
 * IOCTL_LOR_READ_WINDOW: output buffer = LorWindowParameters in its first
 * six bytes on entry, then a two-plane sample buffer on return.  Positions
 * Start, Start+Step, ... below Start+Span; each position p receives two bytes
 * at p and LOR_PLANE_DISTANCE + p.  Under six bytes, or a window that reaches
 * past the buffer: STATUS_BUFFER_TOO_SMALL; a zero step with a non-zero span,
 * or a walk past position 65535: STATUS_INVALID_PARAMETER; no output buffer:
 * STATUS_ACCESS_VIOLATION.  Bytes returned: 0.
 */
#define IOCTL_LOR_READ_WINDOW LOR_ACQ_CODE(0x911, LOR_METHOD_OUT_DIRECT)
/*
 * IOCTL_LOR_CAPTURE_TRIGGERED: output buffer of at least
 * LOR_SAMPLE_BUFFER_SIZE bytes, filled with a triggered capture at positions
 * 1 to 31999 of both planes.  Shorter: STATUS_BUFFER_TOO_SMALL; no output
 * buffer: STATUS_ACCESS_VIOLATION.  Bytes returned: 0.
 */
#define IOCTL_LOR_CAPTURE_TRIGGERED LOR_ACQ_CODE(0x912, LOR_METHOD_OUT_DIRECT)
/*
 * IOCTL_LOR_READ_UNTIL_STOP: output buffer of at least
 * LOR_SAMPLE_BUFFER_SIZE bytes; on return the pair count (16 bits) at offset
 * 0, the pairs at positions 2 and up, the stop flag at LOR_PLANE_DISTANCE.
 * Shorter: STATUS_BUFFER_TOO_SMALL; no output buffer: STATUS_ACCESS_VIOLATION.
 * Bytes returned: 0.
 */
#define IOCTL_LOR_READ_UNTIL_STOP LOR_ACQ_CODE(0x913, LOR_METHOD_OUT_DIRECT)
/*
 * IOCTL_LOR_SET_LINES: input buffer = one LOR_LINES_* command byte.  No
 * input byte: STATUS_BUFFER_TOO_SMALL.  Other command values are accepted and
 * do nothing.  Bytes returned: 0.
 */
#define IOCTL_LOR_SET_LINES LOR_ACQ_CODE(0x914, LOR_METHOD_OUT_DIRECT)
/* IOCTL_LOR_NOP: no buffers; always succeeds.  Bytes returned: 0. */
#define IOCTL_LOR_NOP LOR_ACQ_CODE(0x915, LOR_METHOD_OUT_DIRECT)
/*
 * IOCTL_LOR_READ_EEPROM: input = the 16-bit word address (bits 0-5 used),
 * output = the 16-bit word read, low byte first.  Under two bytes in or out:
 * STATUS_BUFFER_TOO_SMALL.  Bytes returned: 2.
 */
#define IOCTL_LOR_READ_EEPROM LOR_ACQ_CODE(0x916, LOR_METHOD_BUFFERED)
/*
 * IOCTL_LOR_WRITE_BYTES: output buffer = bytes written one by one to the EPP
 * data register.  No output buffer (length 0): STATUS_ACCESS_VIOLATION.
 * Bytes returned: 0.
 */
#define IOCTL_LOR_WRITE_BYTES LOR_ACQ_CODE(0x917, LOR_METHOD_OUT_DIRECT)
/*
 * IOCTL_LOR_SHIFT_OUT: output buffer = bytes to send bit-serially, all of
 * them.  No output buffer (length 0): STATUS_ACCESS_VIOLATION.
 * Bytes returned: 0.
 */
#define IOCTL_LOR_SHIFT_OUT LOR_ACQ_CODE(0x918, LOR_METHOD_OUT_DIRECT)
/* IOCTL_LOR_SET_EPP_MODE: no buffers; puts an ECP port into EPP mode. */
#define IOCTL_LOR_SET_EPP_MODE LOR_ACQ_CODE(0x919, LOR_METHOD_OUT_DIRECT)
/*
 * IOCTL_LOR_GET_VERSION: output buffer of two bytes receives the major and
 * the minor version.  No output buffer: STATUS_ACCESS_VIOLATION; one byte:
 * STATUS_BUFFER_TOO_SMALL.  Bytes returned: 0 - read the buffer.
 */
#define IOCTL_LOR_GET_VERSION LOR_ACQ_CODE(0x91A, LOR_METHOD_OUT_DIRECT)
/*
 * IOCTL_LOR_READ_BYTES: reads InputBufferLength bytes from the EPP data
 * register into the output buffer (the input's content is not used).  An
 * output shorter than InputBufferLength: STATUS_BUFFER_TOO_SMALL; no output
 * buffer: STATUS_ACCESS_VIOLATION, even for an empty input.
 * Bytes returned: InputBufferLength.
 */
#define IOCTL_LOR_READ_BYTES LOR_ACQ_CODE(0x91B, LOR_METHOD_OUT_DIRECT)
/*
 * IOCTL_LOR_PORT_REQUEST: buffer = LorPortRequest in, the value read out.
 * Input under four bytes, or shorter than the sub-function's fields (8 bytes
 * for the reads and LOR_PORT_SET_DIRECTION_MODE, 9, 10 or 12 for the writes
 * of width 1, 2 or 4): STATUS_BUFFER_TOO_SMALL.  A read's output shorter than
 * its value: STATUS_INVALID_PARAMETER, tested before the fields.  A register
 * read or write (not the indexed ones) that would leave the five registers:
 * STATUS_ACCESS_VIOLATION, tested last.  See the LOR_PORT_* sub-functions
 * below.
 */
#define IOCTL_LOR_PORT_REQUEST LOR_PORT_CODE(0x900, LOR_METHOD_BUFFERED)
/* IOCTL_LOR_PORT_NOP: no buffers; always succeeds. */
#define IOCTL_LOR_PORT_NOP LOR_PORT_CODE(0x901, LOR_METHOD_OUT_DIRECT)
/*
 * IOCTL_LOR_PORT_READ_PAIRS: input = LorReadPairsRequest, output = a
 * two-plane sample buffer.  Input under 16 bytes, a last pair whose upper
 * byte would lie at or past the output's end, or more pairs than the output
 * has bytes (the count is the bytes returned): STATUS_BUFFER_TOO_SMALL.  No
 * output buffer: STATUS_ACCESS_VIOLATION.  Bytes returned: NumberOfPairs.
 */
#define IOCTL_LOR_PORT_READ_PAIRS LOR_PORT_CODE(0x902, LOR_METHOD_OUT_DIRECT)

/* Sub-functions of IOCTL_LOR_PORT_REQUEST (LorPortRequest.Function). */
#define LOR_PORT_READ_UCHAR 0x800u
#define LOR_PORT_READ_USHORT 0x801u
#define LOR_PORT_READ_ULONG 0x802u
#define LOR_PORT_READ_INDEXED_UCHAR 0x820u
#define LOR_PORT_READ_INDEXED_USHORT 0x821u
#define LOR_PORT_WRITE_UCHAR 0x900u
#define LOR_PORT_WRITE_USHORT 0x901u
#define LOR_PORT_WRITE_ULONG 0x902u
#define LOR_PORT_WRITE_INDEXED_UCHAR 0x920u
#define LOR_PORT_WRITE_INDEXED_USHORT 0x921u
#define LOR_PORT_SET_DIRECTION_MODE 0x950u

/* Register offsets of LorPortRequest.Register for the register reads/writes. */
#define LOR_REGISTER_DATA 0u
#define LOR_REGISTER_STATUS 1u
#define LOR_REGISTER_CONTROL 2u
#define LOR_REGISTER_EPP_ADDRESS 3u
#define LOR_REGISTER_EPP_DATA 4u
#define LOR_REGISTER_COUNT 5u

/* Line commands of IOCTL_LOR_SET_LINES. */
#define LOR_LINES_ATTACH 0u
#define LOR_LINES_ATTACH_FF 1u
#define LOR_LINES_DETACH 2u
#define LOR_LINES_IDLE 3u

/* Two-plane sample buffer: the second byte of a pair lies this far above the first. */
#define LOR_PLANE_DISTANCE 0x8000u
/* The output size that the reads until stop and the triggered capture need. */
#define LOR_SAMPLE_BUFFER_SIZE 0xFD00u
/* The most bytes one IOCTL_LOR_SHIFT_OUT_BLOCK sends. */
#define LOR_SHIFT_BLOCK_LIMIT 6819u

/* The version the driver reports. */
#define LOR_VERSION_MAJOR 2u
#define LOR_VERSION_MINOR 4u

/*
 * IOCTL_LOR_PORT_REQUEST record.  Reads and LOR_PORT_SET_DIRECTION_MODE need
 * 8 bytes of input, writes 8 + the value's width.  A read returns its value
 * in the first 1, 2 or 4 bytes of the output.
 */
typedef struct LorPortRequest {
    uint32_t Function; /* LOR_PORT_* sub-function */
    uint32_t Register; /* register offset, device register index, or mode */
    union {
        uint8_t Uchar;
        uint16_t Ushort;
        uint32_t Ulong;
    } Value; /* value to write, at the sub-function's width */
} LorPortRequest;

LOR_STATIC_ASSERT(sizeof(LorPortRequest) == 12, "LorPortRequest is 12 bytes");
LOR_STATIC_ASSERT(offsetof(LorPortRequest, Register) == 4, "Register at offset 4");
LOR_STATIC_ASSERT(offsetof(LorPortRequest, Value) == 8, "Value at offset 8");

/* IOCTL_LOR_PORT_READ_PAIRS input record. */
typedef struct LorReadPairsRequest {
    uint32_t Reserved;      /* not read */
    uint32_t FirstOffset;   /* output offset of the first pair's lower byte */
    uint32_t Stride;        /* distance from one pair's position to the next */
    uint32_t NumberOfPairs; /* pairs to read */
} LorReadPairsRequest;

LOR_STATIC_ASSERT(sizeof(LorReadPairsRequest) == 16, "LorReadPairsRequest is 16 bytes");
LOR_STATIC_ASSERT(offsetof(LorReadPairsRequest, FirstOffset) == 4, "FirstOffset at 4");
LOR_STATIC_ASSERT(offsetof(LorReadPairsRequest, Stride) == 8, "Stride at 8");
LOR_STATIC_ASSERT(offsetof(LorReadPairsRequest, NumberOfPairs) == 12, "count at 12");

/* IOCTL_LOR_READ_WINDOW parameters, in the first six bytes of its output buffer. */
typedef struct LorWindowParameters {
    uint16_t WindowSpan;  /* the window ends before WindowStart + WindowSpan */
    uint16_t WindowStart; /* first position */
    uint16_t WindowStep;  /* distance between positions */
} LorWindowParameters;

LOR_STATIC_ASSERT(sizeof(LorWindowParameters) == 6, "LorWindowParameters is 6 bytes");

#endif /* VEXLOR_IOCTL_H */
