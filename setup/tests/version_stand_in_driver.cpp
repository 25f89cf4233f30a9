// A stand-in for an installed vexlor driver of another version, for the
// installer's tests: a legacy kernel driver with the same device
// (\Device\Vexlor0, type 41000) and link (\DosDevices\Vexlor) that answers
// only IOCTL_LOR_GET_VERSION, with the version its own service key's
// Parameters give: VersionMajor and VersionMinor (REG_DWORD), or an error
// for the query when FailVersionQuery is not 0.  Every other request is
// refused.  Its service may have any name.
//
// The same source is a driver of the simulated PC (linked into the tests)
// and a Windows driver image (cross-built for the tests on Wine).
#include <ntddk.h>

#include "vexlor_ioctl.h"

#ifndef STAND_IN_DRIVER_ENTRY
#define STAND_IN_DRIVER_ENTRY DriverEntry
#endif

extern "C" NTSTATUS NTAPI STAND_IN_DRIVER_ENTRY(PDRIVER_OBJECT DriverObject,
                                                PUNICODE_STRING RegistryPath);

namespace {

const WCHAR kDeviceName[] = L"\\Device\\Vexlor0";
const WCHAR kLinkName[] = L"\\DosDevices\\Vexlor";
const ULONG kPoolTag = 0x746E7356; // "Vsnt"

struct StandInExtension {
    ULONG Major;
    ULONG Minor;
    ULONG FailVersionQuery;
};

void ReadVersion(PUNICODE_STRING RegistryPath, StandInExtension* extension) {
    // The service key + "\Parameters", NUL-terminated.
    const WCHAR kParameters[] = L"\\Parameters";
    const SIZE_T path_bytes = RegistryPath->Length + sizeof(kParameters);
    PWCH path = static_cast<PWCH>(ExAllocatePoolWithTag(PagedPool, path_bytes, kPoolTag));
    if (path == NULL) {
        return;
    }
    RtlCopyMemory(path, RegistryPath->Buffer, RegistryPath->Length);
    RtlCopyMemory(reinterpret_cast<PUCHAR>(path) + RegistryPath->Length, kParameters,
                  sizeof(kParameters));

    RTL_QUERY_REGISTRY_TABLE table[4];
    RtlZeroMemory(table, sizeof(table));
    ULONG zero = 0;
    const WCHAR* names[3] = {L"VersionMajor", L"VersionMinor", L"FailVersionQuery"};
    ULONG* targets[3] = {&extension->Major, &extension->Minor, &extension->FailVersionQuery};
    for (int i = 0; i < 3; ++i) {
        table[i].Flags = RTL_QUERY_REGISTRY_DIRECT;
        table[i].Name = const_cast<PWSTR>(names[i]);
        table[i].EntryContext = targets[i];
        table[i].DefaultType = REG_DWORD;
        table[i].DefaultData = &zero;
        table[i].DefaultLength = sizeof(ULONG);
    }
    RtlQueryRegistryValues(RTL_REGISTRY_ABSOLUTE | RTL_REGISTRY_OPTIONAL, path, table, NULL, NULL);
    ExFreePool(path);
}

NTSTATUS Complete(PIRP Irp, NTSTATUS status) {
    Irp->IoStatus.Status = status;
    IoCompleteRequest(Irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS NTAPI DispatchOpenClose(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    (void)DeviceObject;
    Irp->IoStatus.Information = 0;
    return Complete(Irp, STATUS_SUCCESS);
}

NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    StandInExtension* extension = static_cast<StandInExtension*>(DeviceObject->DeviceExtension);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    Irp->IoStatus.Information = 0;
    if (stack->Parameters.DeviceIoControl.IoControlCode != IOCTL_LOR_GET_VERSION ||
        extension->FailVersionQuery != 0) {
        return Complete(Irp, STATUS_NOT_IMPLEMENTED);
    }
    PMDL mdl = Irp->MdlAddress;
    if (mdl == NULL || stack->Parameters.DeviceIoControl.OutputBufferLength < 2) {
        return Complete(Irp, STATUS_BUFFER_TOO_SMALL);
    }
    PUCHAR reply = static_cast<PUCHAR>(
        (mdl->MdlFlags & (MDL_MAPPED_TO_SYSTEM_VA | MDL_SOURCE_IS_NONPAGED_POOL))
            ? mdl->MappedSystemVa
            : MmMapLockedPages(mdl, KernelMode));
    if (reply == NULL) {
        return Complete(Irp, STATUS_INSUFFICIENT_RESOURCES);
    }
    reply[0] = static_cast<UCHAR>(extension->Major);
    reply[1] = static_cast<UCHAR>(extension->Minor);
    return Complete(Irp, STATUS_SUCCESS);
}

VOID NTAPI Unload(PDRIVER_OBJECT DriverObject) {
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, kLinkName);
    IoDeleteSymbolicLink(&link);
    if (DriverObject->DeviceObject != NULL) {
        IoDeleteDevice(DriverObject->DeviceObject);
    }
}

} // namespace

extern "C" NTSTATUS NTAPI STAND_IN_DRIVER_ENTRY(PDRIVER_OBJECT DriverObject,
                                                PUNICODE_STRING RegistryPath) {
    DriverObject->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
    DriverObject->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
    DriverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    DriverObject->DriverUnload = Unload;

    UNICODE_STRING device_name;
    RtlInitUnicodeString(&device_name, kDeviceName);
    PDEVICE_OBJECT device = NULL;
    NTSTATUS status = IoCreateDevice(DriverObject, sizeof(StandInExtension), &device_name,
                                     LOR_DEVICE_TYPE, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    StandInExtension* extension = static_cast<StandInExtension*>(device->DeviceExtension);
    RtlZeroMemory(extension, sizeof(*extension));
    ReadVersion(RegistryPath, extension);

    UNICODE_STRING link;
    RtlInitUnicodeString(&link, kLinkName);
    status = IoCreateSymbolicLink(&link, &device_name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
    }
    return status;
}
