/*
 * line_control.cpp - the device's select lines.
 */
#include "lor_driver.h"

NTSTATUS LorSetLinesRequest(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

