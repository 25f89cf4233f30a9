/*
 * driver_entry.cpp - load and unload of the vexlor driver.
 *
 * A legacy driver: the system loads it from its service key, and it creates
 * its one device while it loads.  The port is not touched here; it is
 * located and acquired when the device is opened.
 */
#include "lor_driver.h"

static const WCHAR LorDeviceNameText[] = L"\\Device\\Vexlor0";
static const WCHAR LorDosLinkText[] = L"\\DosDevices\\Vexlor";
/* Appended to the service key path; sizeof includes the terminating NUL (22 + 2 bytes). */
static const WCHAR LorParametersSuffix[] = L"\\Parameters";
static const WCHAR LorLptValueName[] = L"Lpt";

VOID ReadLptParameter(PUNICODE_STRING RegistryPath, PULONG LptNumber) {
    *LptNumber = 1;

    const ULONG pathBytes = RegistryPath->Length;
    PWSTR parametersPath = (PWSTR)ExAllocatePoolWithTag(
        PagedPool, pathBytes + sizeof(LorParametersSuffix), LOR_POOL_TAG);
    if (parametersPath == NULL) {
        return;
    }
    RtlCopyMemory(parametersPath, RegistryPath->Buffer, pathBytes);
    RtlCopyMemory((PUCHAR)parametersPath + pathBytes, LorParametersSuffix,
                  sizeof(LorParametersSuffix));

    /*
     * A direct query stores a DWORD straight into the ULONG, but treats the
     * same location as a UNICODE_STRING or a sized buffer for other types.
     * The type check makes a value of another type fail the query instead
     * of writing past the ULONG.
     */
    ULONG defaultLpt = 1;
    RTL_QUERY_REGISTRY_TABLE queryTable[2];
    RtlZeroMemory(queryTable, sizeof(queryTable));
    queryTable[0].QueryRoutine = NULL;
    queryTable[0].Flags = RTL_QUERY_REGISTRY_DIRECT | RTL_QUERY_REGISTRY_TYPECHECK;
    queryTable[0].Name = (PWSTR)LorLptValueName;
    queryTable[0].EntryContext = LptNumber;
    queryTable[0].DefaultType = REG_DWORD | (REG_DWORD << RTL_QUERY_REGISTRY_TYPECHECK_SHIFT);
    queryTable[0].DefaultData = &defaultLpt;
    queryTable[0].DefaultLength = sizeof(ULONG);

    NTSTATUS status = RtlQueryRegistryValues(RTL_REGISTRY_ABSOLUTE | RTL_REGISTRY_OPTIONAL,
                                             parametersPath, queryTable, NULL, NULL);
    if (!NT_SUCCESS(status)) {
        *LptNumber = 1;
    }
    ExFreePool(parametersPath);
}

NTSTATUS GpdCreateDevice(PCWSTR DeviceName, ULONG DeviceType, PDRIVER_OBJECT DriverObject,
                         PDEVICE_OBJECT* DeviceObject) {
    UNICODE_STRING deviceName;
    RtlInitUnicodeString(&deviceName, DeviceName);

    NTSTATUS status = IoCreateDevice(DriverObject, sizeof(LorDeviceExtension), &deviceName,
                                     DeviceType, 0, FALSE, DeviceObject);
    LorTrace("[GpdCreateDevice] - IoCreteDevice");
    LorTrace(NT_SUCCESS(status) ? "OK\n" : "ERROR\n");
    if (!NT_SUCCESS(status)) {
        return status;
    }

    RtlZeroMemory((*DeviceObject)->DeviceExtension, sizeof(LorDeviceExtension));

    UNICODE_STRING linkName;
    RtlInitUnicodeString(&linkName, LorDosLinkText);
    status = IoCreateSymbolicLink(&linkName, &deviceName);
    LorTrace("[GpdCreateDevice] - IoCreateSymbolicLink( %S, %S ):", linkName.Buffer,
             deviceName.Buffer);
    LorTrace(NT_SUCCESS(status) ? "OK\n" : "ERROR\n");
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(*DeviceObject);
        *DeviceObject = NULL;
    }
    return status;
}

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath) {
    ULONG lptNumber = 1;
    ReadLptParameter(RegistryPath, &lptNumber);
    LorTrace("[W2000+] DriverEntry < 1 > Reading LPT from Registry -: %x\n", lptNumber);

    LorTrace("[W2000+] DriverEntry < 2 > Init Dispatch Table.\n");
    DriverObject->MajorFunction[IRP_MJ_CREATE] = LORDispatchOpenCreate;
    DriverObject->MajorFunction[IRP_MJ_CLOSE] = LORDispatchClose;
    DriverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = LORDispatchDeviceControl;
    DriverObject->DriverUnload = LORUnload;

    LorTrace("DriverEntry < 4 > Creating DEVICE...");
    PDEVICE_OBJECT deviceObject = NULL;
    NTSTATUS status =
        GpdCreateDevice(LorDeviceNameText, LOR_NT_DEVICE_TYPE, DriverObject, &deviceObject);
    LorTrace(NT_SUCCESS(status) ? "OK\n" : "ERROR\n");

    if (NT_SUCCESS(status)) {
        PLorDeviceExtension extension = (PLorDeviceExtension)deviceObject->DeviceExtension;
        extension->ParportAccess = FALSE;
        extension->AllocatedByTry = FALSE;
        extension->Lending = FALSE;
        extension->PortAllocated = FALSE;
        extension->UserCount = 0;
        extension->DirectionMode = 2;
        extension->DeviceObject = deviceObject;
        extension->LptNumber = lptNumber;
    }

    /* Without a device the driver stays loaded and nothing can open it. */
    return STATUS_SUCCESS;
}

VOID NTAPI LORUnload(PDRIVER_OBJECT DriverObject) {
    LorTrace("[Unload] - Start\n");

    /* A load whose device creation failed left no device and no link. */
    PDEVICE_OBJECT deviceObject = DriverObject->DeviceObject;
    if (deviceObject == NULL) {
        LorTrace("[Unload] - End\n");
        return;
    }
    PLorDeviceExtension extension = (PLorDeviceExtension)deviceObject->DeviceExtension;

    if (extension->PortAllocated) {
        extension->PortInfo.FreePort(extension->PortInfo.Context);
        extension->PortAllocated = FALSE;
        LorTrace("[Unload] - Mali sme mapovany port - uvolnili sme ho\n");
    }

    /* The parallel-port device is not used any more: drop the lookup's reference. */
    if (extension->PortFileObject != NULL) {
        ObDereferenceObject(extension->PortFileObject);
        extension->PortFileObject = NULL;
        extension->PortDeviceObject = NULL;
    }

    CM_RESOURCE_LIST emptyList;
    RtlZeroMemory(&emptyList, sizeof(emptyList));
    emptyList.Count = 0;
    BOOLEAN conflictDetected = FALSE;
    IoReportResourceUsage(NULL, DriverObject, NULL, 0, extension->DeviceObject, &emptyList,
                          sizeof(emptyList.Count), FALSE, &conflictDetected);

    UNICODE_STRING linkName;
    RtlInitUnicodeString(&linkName, LorDosLinkText);
    IoDeleteSymbolicLink(&linkName);

    IoDeleteDevice(extension->DeviceObject);
    LorTrace("[Unload] - End\n");
}
