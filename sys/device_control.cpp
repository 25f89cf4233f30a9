/*
 * device_control.cpp - routing and completion of device-control requests,
 * and the requests that need no handler of their own.
 *
 * Every request is finished here, in the caller's thread: nothing is
 * queued, left pending or cancelled.
 */
#include "lor_driver.h"

/* Routes the twelve acquisition codes; leaves Status alone for any other code. */
static VOID RouteAcquisitionCode(PLorDeviceExtension Extension, PIRP Irp,
                                 PIO_STACK_LOCATION Stack, NTSTATUS* Status) {
    switch (Stack->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_LOR_NOP:
            *Status = STATUS_SUCCESS;
            break;
        case IOCTL_LOR_SET_LINES:
            *Status = LorSetLinesRequest(Extension, Irp, Stack);
            break;
        case IOCTL_LOR_READ_EEPROM:
            *Status = LorReadEepromRequest(Extension, Irp, Stack);
            break;
        case IOCTL_LOR_SHIFT_OUT_BLOCK:
            *Status = LorShiftOutBlock(Extension, Irp, Stack);
            break;
        case IOCTL_LOR_READ_WINDOW:
            *Status = LorReadWindow(Extension, Irp, Stack);
            break;
        case IOCTL_LOR_CAPTURE_TRIGGERED:
            *Status = LorCaptureTriggered(Extension, Irp, Stack);
            break;
        case IOCTL_LOR_READ_UNTIL_STOP:
            *Status = LorReadUntilStop(Extension, Irp, Stack);
            break;
        case IOCTL_LOR_WRITE_BYTES:
            *Status = LorWriteBytes(Extension, Irp, Stack);
            break;
        case IOCTL_LOR_SHIFT_OUT:
            *Status = LorShiftOut(Extension, Irp, Stack);
            break;
        case IOCTL_LOR_SET_EPP_MODE:
            *Status = LorSetEppMode(Extension, Irp, Stack);
            break;
        case IOCTL_LOR_GET_VERSION:
            *Status = LorGetVersion(Extension, Irp, Stack);
            break;
        case IOCTL_LOR_READ_BYTES:
            *Status = LorReadBytes(Extension, Irp, Stack);
            break;
        default:
            break;
    }
}

static VOID RoutePortRequest(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack,
                             NTSTATUS* Status) {
    /* The sub-function code is the first ULONG of the caller's input. */
    if (Stack->Parameters.DeviceIoControl.InputBufferLength < sizeof(ULONG)) {
        *Status = STATUS_BUFFER_TOO_SMALL;
        return;
    }
    ULONG function = *(PULONG)Irp->AssociatedIrp.SystemBuffer;
    switch (function) {
        case LOR_PORT_READ_UCHAR:
        case LOR_PORT_READ_USHORT:
        case LOR_PORT_READ_ULONG:
            *Status = PortRegisterRead(Extension, Irp, Stack, function);
            break;
        case LOR_PORT_READ_INDEXED_UCHAR:
        case LOR_PORT_READ_INDEXED_USHORT:
            *Status = PortIndexedRead(Extension, Irp, Stack, function);
            break;
        case LOR_PORT_WRITE_UCHAR:
        case LOR_PORT_WRITE_USHORT:
        case LOR_PORT_WRITE_ULONG:
            *Status = PortRegisterWrite(Extension, Irp, Stack, function);
            break;
        case LOR_PORT_WRITE_INDEXED_UCHAR:
        case LOR_PORT_WRITE_INDEXED_USHORT:
            *Status = PortIndexedWrite(Extension, Irp, Stack, function);
            break;
        case LOR_PORT_SET_DIRECTION_MODE:
            *Status = PortSetDirectionMode(Extension, Irp, Stack, function);
            break;
        default:
            break;
    }
}

/* Routes the three port codes; leaves Status alone for any other code. */
static VOID RoutePortCode(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack,
                          NTSTATUS* Status) {
    switch (Stack->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_LOR_PORT_REQUEST:
            RoutePortRequest(Extension, Irp, Stack, Status);
            break;
        case IOCTL_LOR_PORT_NOP:
            *Status = PortNop(Extension, Irp, Stack);
            break;
        case IOCTL_LOR_PORT_READ_PAIRS:
            *Status = PortReadPairs(Extension, Irp, Stack);
            break;
        default:
            break;
    }
}

NTSTATUS NTAPI LORDispatchDeviceControl(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    NTSTATUS status = STATUS_NOT_IMPLEMENTED;
    Irp->IoStatus.Information = 0;
    PLorDeviceExtension extension = (PLorDeviceExtension)DeviceObject->DeviceExtension;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);

    NTSTATUS lendingStatus;
    if (LendPortToWaiters(DeviceObject, Irp, &lendingStatus)) {
        return lendingStatus;
    }

    if (stack->MajorFunction == IRP_MJ_DEVICE_CONTROL) {
        RouteAcquisitionCode(extension, Irp, stack, &status);
        RoutePortCode(extension, Irp, stack, &status);
    }

    Irp->IoStatus.Status = status;
    IofCompleteRequest(Irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS LorSetEppMode(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Irp);
    UNREFERENCED_PARAMETER(Stack);
    /* Keep the ECR's low five bits, set the mode field to EPP. */
    PUCHAR ecr = Extension->EppPort + LOR_ECR_FROM_EPP_PORT;
    UCHAR value = READ_PORT_UCHAR(ecr);
    WRITE_PORT_UCHAR(ecr, (UCHAR)((value & ~LOR_ECR_MODE_MASK) | LOR_ECR_MODE_EPP));
    return STATUS_SUCCESS;
}

NTSTATUS LorGetVersion(PLorDeviceExtension Extension, PIRP Irp, PIO_STACK_LOCATION Stack) {
    UNREFERENCED_PARAMETER(Extension);
    PUCHAR buffer;
    NTSTATUS status = LorMapOutputBuffer(Irp, Stack, 2, &buffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    buffer[0] = (UCHAR)LOR_VERSION_MAJOR;
    buffer[1] = (UCHAR)LOR_VERSION_MINOR;
    /* The caller reads the version from its buffer, not from the count. */
    Irp->IoStatus.Information = 0;
    return STATUS_SUCCESS;
}
