// The I/O manager's, object manager's and memory manager's routines as
// kernel code imports them.
#include "names.h"
#include "simpc/pc.h"

using simpc::Pc;

extern "C" {

NTSTATUS NTAPI IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                              PUNICODE_STRING DeviceName, ULONG DeviceType,
                              ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                              PDEVICE_OBJECT* DeviceObject) {
    return Pc::Current().io().CreateDevice(DriverObject, DeviceExtensionSize, DeviceName,
                                           DeviceType, DeviceCharacteristics, Exclusive,
                                           DeviceObject);
}

VOID NTAPI IoDeleteDevice(PDEVICE_OBJECT DeviceObject) {
    Pc::Current().io().DeleteDevice(DeviceObject);
}

NTSTATUS NTAPI IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName, PUNICODE_STRING DeviceName) {
    Pc& pc = Pc::Current();
    if (pc.faults().ShouldFail(simpc::FaultPoint::CreateSymbolicLink)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return pc.objects().CreateLink(simpc::Narrow(*SymbolicLinkName), simpc::Narrow(*DeviceName));
}

NTSTATUS NTAPI IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName) {
    return Pc::Current().objects().DeleteLink(simpc::Narrow(*SymbolicLinkName));
}

VOID FASTCALL IofCompleteRequest(PIRP Irp, CCHAR PriorityBoost) {
    (void)PriorityBoost;
    Pc::Current().io().CompleteRequest(Irp);
}

NTSTATUS FASTCALL IofCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    return Pc::Current().io().CallDriver(DeviceObject, Irp);
}

PIRP NTAPI IoAllocateIrp(CCHAR StackSize, BOOLEAN ChargeQuota) {
    (void)ChargeQuota;
    Pc& pc = Pc::Current();
    if (pc.faults().ShouldFail(simpc::FaultPoint::IrpAllocation)) {
        return nullptr;
    }
    return pc.io().AllocateIrp(StackSize, simpc::IrpOrigin::kAllocated);
}

VOID NTAPI IoFreeIrp(PIRP Irp) { Pc::Current().io().FreeIrp(Irp); }

BOOLEAN NTAPI IoCancelIrp(PIRP Irp) { return Pc::Current().io().CancelIrp(Irp); }

VOID NTAPI IoAcquireCancelSpinLock(PKIRQL Irql) {
    Pc::Current().io().AcquireCancelLock();
    // The IRQL from before the lock raised it, for IoReleaseCancelSpinLock to
    // return to; the simulated processor runs kernel code at PASSIVE_LEVEL.
    *Irql = PASSIVE_LEVEL;
}

VOID NTAPI IoReleaseCancelSpinLock(KIRQL Irql) {
    (void)Irql;
    Pc::Current().io().ReleaseCancelLock();
}

PIRP NTAPI IoBuildDeviceIoControlRequest(ULONG IoControlCode, PDEVICE_OBJECT DeviceObject,
                                         PVOID InputBuffer, ULONG InputBufferLength,
                                         PVOID OutputBuffer, ULONG OutputBufferLength,
                                         BOOLEAN InternalDeviceIoControl, PKEVENT Event,
                                         PIO_STATUS_BLOCK IoStatusBlock) {
    return Pc::Current().io().BuildDeviceIoControlRequest(
        IoControlCode, DeviceObject, InputBuffer, InputBufferLength, OutputBuffer,
        OutputBufferLength, InternalDeviceIoControl, Event, IoStatusBlock);
}

NTSTATUS NTAPI IoGetDeviceObjectPointer(PUNICODE_STRING ObjectName, ACCESS_MASK DesiredAccess,
                                        PFILE_OBJECT* FileObject, PDEVICE_OBJECT* DeviceObject) {
    return Pc::Current().io().GetDeviceObjectPointer(ObjectName, DesiredAccess, FileObject,
                                                     DeviceObject);
}

NTSTATUS NTAPI IoReportResourceUsage(PUNICODE_STRING DriverClassName, PDRIVER_OBJECT DriverObject,
                                     PCM_RESOURCE_LIST DriverList, ULONG DriverListSize,
                                     PDEVICE_OBJECT DeviceObject, PCM_RESOURCE_LIST DeviceList,
                                     ULONG DeviceListSize, BOOLEAN OverrideConflict,
                                     PBOOLEAN ConflictDetected) {
    (void)DriverClassName;
    (void)DriverObject;
    (void)DriverList;
    (void)DriverListSize;
    (void)OverrideConflict;
    simpc::IoManager::ResourceReport report;
    report.device = DeviceObject;
    report.device_list_count = DeviceList != nullptr ? DeviceList->Count : 0;
    report.device_list_size = DeviceListSize;
    Pc::Current().io().RecordResourceReport(report);
    if (ConflictDetected != nullptr) {
        *ConflictDetected = FALSE;
    }
    return STATUS_SUCCESS;
}

LONG_PTR FASTCALL ObfDereferenceObject(PVOID Object) {
    return Pc::Current().io().DereferenceObject(Object);
}

PVOID NTAPI MmMapLockedPages(PMDL MemoryDescriptorList, KPROCESSOR_MODE AccessMode) {
    (void)AccessMode;
    return Pc::Current().io().MapLockedPages(MemoryDescriptorList);
}

}  // extern "C"
