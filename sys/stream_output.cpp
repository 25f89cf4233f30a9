/*
 * stream_output.cpp - bit-serial and byte output to the EPP data register.
 */
#include "lor_driver.h"

NTSTATUS LorShiftOutBlock(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS LorShiftOut(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS LorWriteBytes(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

