/*
 * discovery.cpp - finding the port through the system parallel-port driver.
 *
 * LPT<n> is the parallel-port driver's device \Device\ParallelPort<n-1>; its
 * PARALLEL_PORT_INFORMATION gives the port's addresses and the routines
 * that arbitrate it among the driver's clients.
 */
#include "lor_driver.h"

static const WCHAR LorDevicePrefix[] = L"\\Device\\";
static const WCHAR LorParallelPortPrefix[] = L"ParallelPort";

VOID ReleaseParallelDriver(PLorDeviceExtension Extension) {
    if (Extension->PortFileObject != NULL) {
        ObDereferenceObject(Extension->PortFileObject);
    }
    Extension->PortFileObject = NULL;
    Extension->PortDeviceObject = NULL;
}

/* Asks the parallel-port device for its PARALLEL_PORT_INFORMATION. */
static NTSTATUS QueryPortInformation(PLorDeviceExtension Extension,
                                     PPARALLEL_PORT_INFORMATION Information) {
    KEVENT event;
    IO_STATUS_BLOCK ioStatus;
    RtlZeroMemory(Information, sizeof(*Information));
    RtlZeroMemory(&ioStatus, sizeof(ioStatus));
    KeInitializeEvent(&event, NotificationEvent, FALSE);

    PIRP irp = IoBuildDeviceIoControlRequest(
        IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO, Extension->PortDeviceObject, NULL, 0, Information,
        sizeof(*Information), TRUE, &event, &ioStatus);
    if (irp == NULL) {
        LorTrace("step qi failed\n");
        return STATUS_INSUFFICIENT_RESOURCES;
    }

    NTSTATUS status = IofCallDriver(Extension->PortDeviceObject, irp);
    if (!NT_SUCCESS(status)) {
        LorTrace("step qj failed\n");
        return status;
    }

    /* The I/O manager sets the event when the request completes, pending or not. */
    status = KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, NULL);
    if (!NT_SUCCESS(status)) {
        LorTrace("step qk failed\n");
        return status;
    }

    status = ioStatus.Status;
    if (!NT_SUCCESS(status)) {
        LorTrace("step qs failed\n");
        return status;
    }
    /* Arbitration calls through these routines: a reply without them is no use. */
    if (ioStatus.Information < sizeof(*Information) || Information->TryAllocatePort == NULL ||
        Information->FreePort == NULL || Information->QueryNumWaiters == NULL) {
        LorTrace("step qs failed\n");
        return STATUS_DEVICE_CONFIGURATION_ERROR;
    }
    return status;
}

NTSTATUS QueryParallelDriver(PDEVICE_OBJECT DeviceObject, ULONG LptNumber) {
    PLorDeviceExtension extension = (PLorDeviceExtension)DeviceObject->DeviceExtension;
    const ULONG portIndex = LptNumber - 1;

    UNICODE_STRING devicePrefix;
    UNICODE_STRING portPrefix;
    RtlInitUnicodeString(&devicePrefix, LorDevicePrefix);
    RtlInitUnicodeString(&portPrefix, LorParallelPortPrefix);

    /* Ten UTF-16 digits hold any 32-bit number. */
    WCHAR numberBuffer[10];
    UNICODE_STRING number;
    number.Length = 0;
    number.MaximumLength = sizeof(numberBuffer);
    number.Buffer = numberBuffer;
    NTSTATUS status = RtlIntegerToUnicodeString(portIndex, 10, &number);

    LorTrace("LPT = %lu\n", portIndex);
    if (!NT_SUCCESS(status)) {
        LorTrace("step qa failed\n");
        return status;
    }

    UNICODE_STRING portName;
    portName.Length = 0;
    portName.MaximumLength =
        (USHORT)(devicePrefix.Length + portPrefix.Length + number.Length + sizeof(WCHAR));
    portName.Buffer = (PWSTR)ExAllocatePoolWithTag(PagedPool, portName.MaximumLength, LOR_POOL_TAG);
    if (portName.Buffer == NULL) {
        LorTrace("step qb failed\n");
        return STATUS_DEVICE_CONFIGURATION_ERROR;
    }
    /* Zero-filled first, so the name ends in a NUL character. */
    RtlZeroMemory(portName.Buffer, portName.MaximumLength);
    RtlAppendUnicodeStringToString(&portName, &devicePrefix);
    RtlAppendUnicodeStringToString(&portName, &portPrefix);
    RtlAppendUnicodeStringToString(&portName, &number);
    LorTrace("Port Name: %S\n", portName.Buffer);

    status = IoGetDeviceObjectPointer(&portName, STANDARD_RIGHTS_ALL, &extension->PortFileObject,
                                      &extension->PortDeviceObject);
    ExFreePool(portName.Buffer);
    if (!NT_SUCCESS(status)) {
        extension->PortFileObject = NULL;
        extension->PortDeviceObject = NULL;
        LorTrace("step qc failed\n");
        return status;
    }
    /* A lookup that reports success without both objects has found nothing to talk to. */
    if (extension->PortFileObject == NULL || extension->PortDeviceObject == NULL) {
        ReleaseParallelDriver(extension);
        LorTrace("step qc failed\n");
        return STATUS_NO_SUCH_DEVICE;
    }

    PARALLEL_PORT_INFORMATION information;
    status = QueryPortInformation(extension, &information);
    if (!NT_SUCCESS(status)) {
        /* The port's device is not used: give its reference back now. */
        ReleaseParallelDriver(extension);
        return status;
    }
    RtlCopyMemory(&extension->PortInfo, &information, sizeof(information));
    return status;
}
