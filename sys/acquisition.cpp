/*
 * acquisition.cpp - acquisition reads into the two-plane sample buffer.
 */
#include "lor_driver.h"

NTSTATUS LorReadWindow(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS LorCaptureTriggered(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS LorReadUntilStop(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS LorReadBytes(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

