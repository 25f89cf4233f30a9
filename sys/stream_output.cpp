/*
 * stream_output.cpp - bit-serial and byte output to the EPP data register.
 *
 * The bytes to send travel in the request's output buffer, which the
 * handlers only read.  Each transfer is one loop of port writes with no
 * delay: the port's EPP write handshake sets the pace.
 */
#include "lor_driver.h"

/*
 * Line byte of the bit-serial output: bits 7, 6 and 2 always high, bit 4
 * the data bit, bit 5 the clock, which is pulsed low once per bit while the
 * data line holds still.
 */
#define SHIFT_LINE_IDLE 0xE4
#define SHIFT_LINE_DATA 0x10
#define SHIFT_LINE_CLOCK 0x20

/* Sends Length bytes, bit 7 first, each bit as three line bytes. */
static VOID ShiftOutBits(PUCHAR EppData, const UCHAR* Bytes, ULONG Length) {
    ULONG index = 0;
    UCHAR mask = 0x80;
    while (index < Length) {
        UCHAR line = (Bytes[index] & mask) ? (UCHAR)(SHIFT_LINE_IDLE | SHIFT_LINE_DATA)
                                           : (UCHAR)SHIFT_LINE_IDLE;
        WRITE_PORT_UCHAR(EppData, line);
        WRITE_PORT_UCHAR(EppData, (UCHAR)(line & ~SHIFT_LINE_CLOCK));
        WRITE_PORT_UCHAR(EppData, line);
        mask >>= 1;
        if (mask == 0) {
            ++index;
            mask = 0x80;
        }
    }
}

NTSTATUS LorShiftOutBlock(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    PUCHAR buffer;
    NTSTATUS status = LorMapOutputBuffer(Irp, Stack, 0, &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    /* A longer buffer is cut after the block limit; an empty one sends nothing. */
    ULONG length = Stack->Parameters.DeviceIoControl.OutputBufferLength;
    if (length > LOR_SHIFT_BLOCK_LIMIT) {
        length = LOR_SHIFT_BLOCK_LIMIT;
    }
    ShiftOutBits(Extension->EppPort + 1, buffer, length);
    return STATUS_SUCCESS;
}

NTSTATUS LorShiftOut(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    ULONG length = Stack->Parameters.DeviceIoControl.OutputBufferLength;
    if (length == 0) {
        return STATUS_ACCESS_VIOLATION;
    }
    PUCHAR buffer;
    NTSTATUS status = LorMapOutputBuffer(Irp, Stack, 0, &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    ShiftOutBits(Extension->EppPort + 1, buffer, length);
    return STATUS_SUCCESS;
}

NTSTATUS LorWriteBytes(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    ULONG length = Stack->Parameters.DeviceIoControl.OutputBufferLength;
    if (length == 0) {
        return STATUS_ACCESS_VIOLATION;
    }
    PUCHAR buffer;
    NTSTATUS status = LorMapOutputBuffer(Irp, Stack, 0, &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    PUCHAR eppData = Extension->EppPort + 1;
    for (ULONG index = 0; index < length; ++index) {
        WRITE_PORT_UCHAR(eppData, buffer[index]);
    }
    return STATUS_SUCCESS;
}
