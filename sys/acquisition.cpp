/*
 * acquisition.cpp - acquisition reads into the two-plane sample buffer.
 *
 * Every byte goes straight from the EPP data register into the caller's
 * locked pages.  Each handler checks its buffer once, before its first port
 * access; the loops that follow read the port back to back and test nothing
 * but what the device sends.
 */
#include "lor_driver.h"

/* The read until stop keeps its pair count below position 2 and stores pairs from there. */
#define UNTIL_STOP_FIRST_POSITION 2u
#define UNTIL_STOP_END_POSITION 32000u
/* Flag byte ahead of each pair: bit 6 stops the read, bit 7 announces a pair. */
#define UNTIL_STOP_FLAG_STOP 0x40
#define UNTIL_STOP_FLAG_PAIR 0x80

/* A capture runs a fixed number of passes; passes 0 to 768 are discarded. */
#define CAPTURE_PASSES 32768u
#define CAPTURE_LAST_DISCARD_PASS 768u
#define CAPTURE_TRIGGER_BIT 0x01
/* Device registers of the trigger step, and the bit it clears in register 4. */
#define CAPTURE_ARM_REGISTER 0x04
#define CAPTURE_STREAM_REGISTER 0x0D
#define CAPTURE_ARM_BIT 0x80

/* Positions are 16-bit values. */
#define LOR_LAST_POSITION 0xFFFFu

static USHORT LoadLittleEndian16(const UCHAR* Bytes) {
    return (USHORT)(Bytes[0] | (Bytes[1] << 8));
}

NTSTATUS LorReadWindow(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    PUCHAR buffer;
    NTSTATUS status = LorMapOutputBuffer(Irp, Stack, sizeof(LorWindowParameters), &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    ULONG span = LoadLittleEndian16(buffer + offsetof(LorWindowParameters, WindowSpan));
    ULONG start = LoadLittleEndian16(buffer + offsetof(LorWindowParameters, WindowStart));
    ULONG step = LoadLittleEndian16(buffer + offsetof(LorWindowParameters, WindowStep));
    ULONG end = start + span;

    if (span != 0) {
        /* The walk must end at a 16-bit position: the first one at or past the end. */
        if (step == 0) {
            return STATUS_INVALID_PARAMETER;
        }
        ULONG positions = (span + step - 1) / step;
        if (start + positions * step > LOR_LAST_POSITION) {
            return STATUS_INVALID_PARAMETER;
        }
        ULONG last = start + (positions - 1) * step;
        if (last + LOR_PLANE_DISTANCE >= Stack->Parameters.DeviceIoControl.OutputBufferLength) {
            return STATUS_BUFFER_TOO_SMALL;
        }
    }

    PUCHAR eppData = Extension->EppPort + 1;
    for (ULONG p = start; p < end; p += step) {
        buffer[p] = READ_PORT_UCHAR(eppData);
        buffer[LOR_PLANE_DISTANCE + p] = READ_PORT_UCHAR(eppData);
    }
    Irp->IoStatus.Information = 0;
    return STATUS_SUCCESS;
}

NTSTATUS LorReadUntilStop(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    /* The device decides how many pairs come, so the buffer must hold the most there can be. */
    PUCHAR buffer;
    NTSTATUS status = LorMapOutputBuffer(Irp, Stack, LOR_SAMPLE_BUFFER_SIZE, &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }

    PUCHAR eppData = Extension->EppPort + 1;
    ULONG p = UNTIL_STOP_FIRST_POSITION;
    UCHAR stopFlag = 0;
    for (;;) {
        UCHAR flag = READ_PORT_UCHAR(eppData);
        if (flag & UNTIL_STOP_FLAG_STOP) {
            stopFlag = 1;
            break;
        }
        if (!(flag & UNTIL_STOP_FLAG_PAIR)) {
            break;
        }
        buffer[p] = READ_PORT_UCHAR(eppData);
        buffer[LOR_PLANE_DISTANCE + p] = READ_PORT_UCHAR(eppData);
        ++p;
        if (p >= UNTIL_STOP_END_POSITION) {
            break;
        }
    }

    ULONG pairCount = p - UNTIL_STOP_FIRST_POSITION;
    buffer[0] = (UCHAR)pairCount;
    buffer[1] = (UCHAR)(pairCount >> 8);
    buffer[LOR_PLANE_DISTANCE] = stopFlag;
    Irp->IoStatus.Information = 0;
    return STATUS_SUCCESS;
}

/*
 * The trigger step arms the device's stream: register 4 gets its bit 7
 * cleared, and register 0x0D, which delivers the pairs, stays selected.
 */
static VOID RunTriggerStep(PLorDeviceExtension Extension) {
    PUCHAR eppAddress = Extension->EppPort;
    PUCHAR eppData = Extension->EppPort + 1;
    UCHAR highBits = Extension->AddressHighBits;
    WRITE_PORT_UCHAR(eppAddress, (UCHAR)(highBits | CAPTURE_ARM_REGISTER));
    UCHAR value = (UCHAR)(READ_PORT_UCHAR(eppData) & ~CAPTURE_ARM_BIT);
    WRITE_PORT_UCHAR(eppData, value);
    WRITE_PORT_UCHAR(eppAddress, (UCHAR)(highBits | CAPTURE_STREAM_REGISTER));
}

NTSTATUS LorCaptureTriggered(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    PUCHAR buffer;
    NTSTATUS status = LorMapOutputBuffer(Irp, Stack, LOR_SAMPLE_BUFFER_SIZE, &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }

    /* Pass s fills position s - 768: positions 1 to 31999, never position 0. */
    PUCHAR eppData = Extension->EppPort + 1;
    BOOLEAN discarding = TRUE;
    BOOLEAN waiting = TRUE;
    for (ULONG s = 0; s < CAPTURE_PASSES; ++s) {
        UCHAR first = READ_PORT_UCHAR(eppData);
        UCHAR second = READ_PORT_UCHAR(eppData);
        UCHAR trigger = 0;
        if (waiting) {
            trigger = READ_PORT_UCHAR(eppData);
        }
        if (discarding) {
            if (s >= CAPTURE_LAST_DISCARD_PASS) {
                discarding = FALSE;
            }
        } else if (waiting) {
            buffer[s - CAPTURE_LAST_DISCARD_PASS] = 0;
            buffer[LOR_PLANE_DISTANCE + s - CAPTURE_LAST_DISCARD_PASS] = 0;
            if (trigger & CAPTURE_TRIGGER_BIT) {
                RunTriggerStep(Extension);
                waiting = FALSE;
            }
        } else {
            buffer[s - CAPTURE_LAST_DISCARD_PASS] = first;
            buffer[LOR_PLANE_DISTANCE + s - CAPTURE_LAST_DISCARD_PASS] = second;
        }
    }
    Irp->IoStatus.Information = 0;
    return STATUS_SUCCESS;
}

NTSTATUS LorReadBytes(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    /* The input's length, not its content, says how many bytes to read. */
    ULONG length = Stack->Parameters.DeviceIoControl.InputBufferLength;
    PUCHAR buffer;
    NTSTATUS status = LorMapOutputBuffer(Irp, Stack, length, &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    PUCHAR eppData = Extension->EppPort + 1;
    for (ULONG index = 0; index < length; ++index) {
        buffer[index] = READ_PORT_UCHAR(eppData);
    }
    Irp->IoStatus.Information = length;
    return STATUS_SUCCESS;
}
