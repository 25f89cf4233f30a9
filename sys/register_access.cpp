/*
 * register_access.cpp - direct access to the port's registers and the device registers.
 */
#include "lor_driver.h"

NTSTATUS PortRegisterRead(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack, ULONG Function) {
    UNREFERENCED_PARAMETER(Function);
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS PortIndexedRead(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack, ULONG Function) {
    UNREFERENCED_PARAMETER(Function);
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS PortRegisterWrite(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack, ULONG Function) {
    UNREFERENCED_PARAMETER(Function);
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS PortIndexedWrite(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack, ULONG Function) {
    UNREFERENCED_PARAMETER(Function);
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS PortSetDirectionMode(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack, ULONG Function) {
    UNREFERENCED_PARAMETER(Function);
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS PortNop(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

NTSTATUS PortReadPairs(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Extension);
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    return STATUS_NOT_IMPLEMENTED;
}

