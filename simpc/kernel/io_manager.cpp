#include "io_manager.h"

#include <cstdlib>
#include <cstring>

#include "names.h"
#include "simpc/pc.h"

namespace simpc {

namespace {

const char* MajorName(UCHAR major) {
    switch (major) {
        case IRP_MJ_CREATE:
            return "IRP_MJ_CREATE";
        case IRP_MJ_CLOSE:
            return "IRP_MJ_CLOSE";
        case IRP_MJ_CLEANUP:
            return "IRP_MJ_CLEANUP";
        case IRP_MJ_DEVICE_CONTROL:
            return "IRP_MJ_DEVICE_CONTROL";
        case IRP_MJ_INTERNAL_DEVICE_CONTROL:
            return "IRP_MJ_INTERNAL_DEVICE_CONTROL";
        default:
            return "IRP_MJ_?";
    }
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", value);
    return text;
}

}  // namespace

IoManager::~IoManager() {
    for (auto& entry : irps_) {
        if (entry.second.live) {
            std::free(entry.first);
        }
    }
    for (auto& entry : files_) {
        delete entry.first;
    }
    for (auto& entry : devices_) {
        std::free(entry.second.extension);
        delete entry.first;
    }
}

std::string IoManager::Describe(PDEVICE_OBJECT device) const {
    std::string name = pc_.objects().NameOf(device);
    return name.empty() ? std::string("an unnamed device") : name;
}

// ---- devices -------------------------------------------------------------

NTSTATUS IoManager::CreateDevice(PDRIVER_OBJECT driver, ULONG extension_size,
                                 PUNICODE_STRING name, ULONG type, ULONG characteristics,
                                 BOOLEAN exclusive, PDEVICE_OBJECT* device) {
    *device = nullptr;
    if (pc_.faults().ShouldFail(FaultPoint::CreateDevice)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto* object = new DEVICE_OBJECT();
    object->Type = 3;
    object->Size = sizeof(DEVICE_OBJECT);
    object->DriverObject = driver;
    object->DeviceType = type;
    object->Characteristics = characteristics;
    object->Flags = DO_DEVICE_INITIALIZING | (exclusive ? DO_EXCLUSIVE : 0);
    object->StackSize = 1;
    // The extension is a block of its own, zeroed, of exactly the size asked for.
    void* extension = nullptr;
    if (extension_size != 0) {
        extension = std::calloc(1, extension_size);
    }
    object->DeviceExtension = extension;

    if (name != nullptr && name->Buffer != nullptr) {
        NTSTATUS status = pc_.objects().InsertDevice(Narrow(*name), object);
        if (!NT_SUCCESS(status)) {
            std::free(extension);
            delete object;
            return status;
        }
    }
    devices_[object] = DeviceRecord{false, extension};
    object->NextDevice = driver->DeviceObject;
    driver->DeviceObject = object;
    *device = object;
    return STATUS_SUCCESS;
}

void IoManager::DeleteDevice(PDEVICE_OBJECT device) {
    auto it = devices_.find(device);
    if (it == devices_.end()) {
        pc_.verifier().Fatal("IoDeleteDevice of an object that is not a live device");
    }
    if (it->second.delete_pending) {
        pc_.verifier().Fatal("IoDeleteDevice called twice for " + Describe(device));
    }
    pc_.objects().RemoveDevice(device);
    // Unlink it from its driver's list.
    PDEVICE_OBJECT* link = &device->DriverObject->DeviceObject;
    while (*link != nullptr && *link != device) {
        link = &(*link)->NextDevice;
    }
    if (*link == device) {
        *link = device->NextDevice;
    }
    it->second.delete_pending = true;
    // Open file objects keep the memory alive until they go.
    if (device->ReferenceCount == 0) {
        FreeDeviceMemory(device);
    }
}

void IoManager::FreeDeviceMemory(PDEVICE_OBJECT device) {
    auto it = devices_.find(device);
    std::free(it->second.extension);
    devices_.erase(it);
    delete device;
}

std::vector<PDEVICE_OBJECT> IoManager::DevicesOf(PDRIVER_OBJECT driver) const {
    std::vector<PDEVICE_OBJECT> result;
    for (const auto& entry : devices_) {
        if (entry.first->DriverObject == driver && !entry.second.delete_pending) {
            result.push_back(entry.first);
        }
    }
    return result;
}

// ---- IRPs ----------------------------------------------------------------

PIRP IoManager::AllocateIrp(int stack_size, IrpOrigin origin) {
    if (stack_size < 1 || stack_size > 127) {
        pc_.verifier().Fatal("IRP allocated with a stack size of " + std::to_string(stack_size));
    }
    const size_t bytes = sizeof(IRP) + static_cast<size_t>(stack_size) * sizeof(IO_STACK_LOCATION);
    auto* irp = static_cast<PIRP>(std::calloc(1, bytes));
    irp->Type = 6;
    irp->Size = static_cast<USHORT>(bytes);
    irp->StackCount = static_cast<CHAR>(stack_size);
    irp->CurrentLocation = static_cast<CHAR>(stack_size + 1);
    // The current location starts one past the last: the first IoCallDriver
    // moves it onto the last stack location.
    irp->Tail.Overlay.CurrentStackLocation =
        reinterpret_cast<PIO_STACK_LOCATION>(irp + 1) + stack_size;
    irps_[irp] = IrpRecord{};
    irps_[irp].origin = origin;
    return irp;
}

IoManager::IrpRecord* IoManager::RecordOf(PIRP irp, const char* operation) {
    auto it = irps_.find(irp);
    if (it == irps_.end() || !it->second.live) {
        pc_.verifier().Fatal(std::string(operation) + " on an IRP that does not exist (freed?)");
    }
    return &it->second;
}

size_t IoManager::LiveIrpCount() const {
    size_t count = 0;
    for (const auto& entry : irps_) {
        count += entry.second.live ? 1 : 0;
    }
    return count;
}

void IoManager::FreeIrp(PIRP irp) {
    IrpRecord* record = RecordOf(irp, "IoFreeIrp");
    if (record->in_flight) {
        pc_.verifier().Report(
            "IoFreeIrp of an IRP that a driver still owns: its completion routine has not run");
        // The lower driver still holds the IRP; keep the memory so the
        // simulation itself stays sound.
        return;
    }
    record->live = false;
    std::free(irp);
    irps_.erase(irp);
}

NTSTATUS IoManager::CallDriver(PDEVICE_OBJECT device, PIRP irp) {
    IrpRecord* record = RecordOf(irp, "IoCallDriver");
    if (!IsLiveDevice(device)) {
        pc_.verifier().Fatal("IoCallDriver to an object that is not a live device");
    }
    if (irp->CurrentLocation <= 1) {
        pc_.verifier().Fatal("IoCallDriver with no stack location left for " + Describe(device));
    }
    record->in_flight = true;
    record->completions = 0;
    irp->CurrentLocation--;
    irp->Tail.Overlay.CurrentStackLocation--;
    PIO_STACK_LOCATION stack = irp->Tail.Overlay.CurrentStackLocation;
    stack->DeviceObject = device;
    const UCHAR major = stack->MajorFunction;
    if (major > IRP_MJ_MAXIMUM_FUNCTION) {
        pc_.verifier().Fatal("IoCallDriver with major function " + Hex(major));
    }

    const NTSTATUS returned = device->DriverObject->MajorFunction[major](device, irp);

    // The IRP may be gone by now (a built request is freed at completion),
    // so only its record is consulted.
    auto it = irps_.find(irp);
    if (it != irps_.end() && returned != STATUS_PENDING && it->second.completions == 0 &&
        it->second.in_flight) {
        pc_.verifier().Report(std::string("dispatch routine for ") + MajorName(major) + " of " +
                              Describe(device) + " returned " + Hex(returned) +
                              " without completing the request");
    }
    return returned;
}

void IoManager::CompleteRequest(PIRP irp) {
    IrpRecord* record = RecordOf(irp, "IoCompleteRequest");
    if (!record->in_flight || record->completions != 0) {
        pc_.verifier().Report("request completed twice");
        return;
    }
    record->completions++;
    if (irp->IoStatus.Status == STATUS_PENDING) {
        pc_.verifier().Report("request completed with STATUS_PENDING");
    }
    record->final_status = irp->IoStatus.Status;

    // Walk up the stack locations, calling the completion routines the
    // callers set for the driver below them.
    while (irp->CurrentLocation <= irp->StackCount) {
        PIO_STACK_LOCATION stack = irp->Tail.Overlay.CurrentStackLocation;
        irp->CurrentLocation++;
        irp->Tail.Overlay.CurrentStackLocation++;
        irp->PendingReturned = (stack->Control & SL_PENDING_RETURNED) != 0;

        const NTSTATUS status = irp->IoStatus.Status;
        const bool invoke =
            stack->CompletionRoutine != nullptr &&
            ((NT_SUCCESS(status) && (stack->Control & SL_INVOKE_ON_SUCCESS)) ||
             (!NT_SUCCESS(status) && (stack->Control & SL_INVOKE_ON_ERROR)) ||
             (irp->Cancel && (stack->Control & SL_INVOKE_ON_CANCEL)));
        if (invoke) {
            PDEVICE_OBJECT upper = irp->CurrentLocation <= irp->StackCount
                                       ? irp->Tail.Overlay.CurrentStackLocation->DeviceObject
                                       : nullptr;
            record->in_flight = false;
            const NTSTATUS result = stack->CompletionRoutine(upper, irp, stack->Context);
            if (result == STATUS_MORE_PROCESSING_REQUIRED) {
                // The routine's owner has taken the IRP back.
                return;
            }
            // The IRP may have been freed by a routine that did not return
            // STATUS_MORE_PROCESSING_REQUIRED; that is a driver fault.
            auto it = irps_.find(irp);
            if (it == irps_.end() || !it->second.live) {
                pc_.verifier().Report(
                    "completion routine freed the IRP without returning "
                    "STATUS_MORE_PROCESSING_REQUIRED");
                return;
            }
            record = &it->second;
            record->in_flight = true;
        } else if (irp->PendingReturned && irp->CurrentLocation <= irp->StackCount) {
            IoMarkIrpPending(irp);
        }
    }

    record->in_flight = false;
    switch (record->origin) {
        case IrpOrigin::kUserRequest:
            // The I/O manager's caller finishes the request.
            break;
        case IrpOrigin::kBuiltIoControl:
            FinishBuiltRequest(irp, *record);
            break;
        case IrpOrigin::kAllocated:
            pc_.verifier().Report(
                "an IRP from IoAllocateIrp completed past its owner: no completion routine "
                "returned STATUS_MORE_PROCESSING_REQUIRED");
            break;
    }
}

void IoManager::FinishBuiltRequest(PIRP irp, IrpRecord& record) {
    const NTSTATUS status = irp->IoStatus.Status;
    if (record.method == METHOD_BUFFERED && !NT_ERROR(status) && record.user_output != nullptr) {
        ULONG_PTR count = irp->IoStatus.Information;
        if (count > record.output_length) {
            pc_.verifier().Report("internal request completed with Information " +
                                  std::to_string(count) + " above its output length " +
                                  std::to_string(record.output_length));
            count = record.output_length;
        }
        std::memcpy(record.user_output, record.system_buffer, count);
    }
    std::free(record.system_buffer);
    FreeMdl(irp->MdlAddress);
    if (irp->UserIosb != nullptr) {
        *irp->UserIosb = irp->IoStatus;
    }
    PKEVENT event = irp->UserEvent;
    irps_.erase(irp);
    std::free(irp);
    if (event != nullptr) {
        KeSetEvent(event, IO_NO_INCREMENT, FALSE);
    }
}

BOOLEAN IoManager::CancelIrp(PIRP irp) {
    RecordOf(irp, "IoCancelIrp");
    irp->Cancel = TRUE;
    PDRIVER_CANCEL routine = irp->CancelRoutine;
    irp->CancelRoutine = nullptr;
    if (routine == nullptr) {
        return FALSE;
    }
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    irp->CancelIrql = irql;
    PDEVICE_OBJECT device = irp->CurrentLocation <= irp->StackCount
                                ? irp->Tail.Overlay.CurrentStackLocation->DeviceObject
                                : nullptr;
    routine(device, irp);
    if (cancel_lock_held_) {
        pc_.verifier().Report("a cancel routine returned without releasing the cancel spin lock");
        cancel_lock_held_ = false;
    }
    return TRUE;
}

PIRP IoManager::BuildDeviceIoControlRequest(ULONG code, PDEVICE_OBJECT device, PVOID input,
                                            ULONG input_length, PVOID output,
                                            ULONG output_length, BOOLEAN internal, PKEVENT event,
                                            PIO_STATUS_BLOCK iosb) {
    if (pc_.faults().ShouldFail(FaultPoint::BuildDeviceIoControlRequest)) {
        return nullptr;
    }
    PIRP irp = AllocateIrp(device->StackSize, IrpOrigin::kBuiltIoControl);
    IrpRecord& record = irps_[irp];
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = internal ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = code;
    next->Parameters.DeviceIoControl.InputBufferLength = input_length;
    next->Parameters.DeviceIoControl.OutputBufferLength = output_length;
    record.method = code & 3;
    record.user_output = output;
    record.output_length = output_length;
    switch (record.method) {
        case METHOD_BUFFERED: {
            const ULONG size = input_length > output_length ? input_length : output_length;
            if (size != 0) {
                record.system_buffer = std::calloc(1, size);
                if (input != nullptr && input_length != 0) {
                    std::memcpy(record.system_buffer, input, input_length);
                }
            }
            irp->AssociatedIrp.SystemBuffer = record.system_buffer;
            break;
        }
        case METHOD_IN_DIRECT:
        case METHOD_OUT_DIRECT:
            if (input_length != 0) {
                record.system_buffer = std::malloc(input_length);
                std::memcpy(record.system_buffer, input, input_length);
            }
            irp->AssociatedIrp.SystemBuffer = record.system_buffer;
            if (output_length != 0) {
                irp->MdlAddress = BuildMdl(output, output_length);
                irp->MdlAddress->MdlFlags |= MDL_MAPPED_TO_SYSTEM_VA;
            }
            break;
        case METHOD_NEITHER:
            next->Parameters.DeviceIoControl.Type3InputBuffer = input;
            irp->UserBuffer = output;
            break;
    }
    irp->UserIosb = iosb;
    irp->UserEvent = event;
    irp->RequestorMode = KernelMode;
    return irp;
}

void IoManager::AcquireCancelLock() {
    if (cancel_lock_held_) {
        pc_.verifier().Fatal("the cancel spin lock is acquired while it is held: deadlock");
    }
    cancel_lock_held_ = true;
}

void IoManager::ReleaseCancelLock() {
    if (!cancel_lock_held_) {
        pc_.verifier().Report("the cancel spin lock is released while it is not held");
    }
    cancel_lock_held_ = false;
}

// ---- MDLs ----------------------------------------------------------------

PMDL IoManager::BuildMdl(PVOID buffer, ULONG length) {
    auto* mdl = new MDL();
    mdl->Size = sizeof(MDL);
    mdl->StartVa = buffer;
    mdl->ByteOffset = 0;
    mdl->ByteCount = length;
    mdl->MdlFlags = MDL_PAGES_LOCKED;
    return mdl;
}

void IoManager::FreeMdl(PMDL mdl) { delete mdl; }

PVOID IoManager::MapLockedPages(PMDL mdl) {
    ++map_locked_pages_calls_;
    if (pc_.faults().ShouldFail(FaultPoint::MapLockedPages)) {
        return nullptr;
    }
    // The caller's pages are mapped at a system address; in the simulated
    // PC user and system space are one, so the address is the same.
    mdl->MappedSystemVa = static_cast<PUCHAR>(mdl->StartVa) + mdl->ByteOffset;
    mdl->MdlFlags |= MDL_MAPPED_TO_SYSTEM_VA;
    return mdl->MappedSystemVa;
}

// ---- files ---------------------------------------------------------------

NTSTATUS IoManager::SendFileRequest(PFILE_OBJECT file, UCHAR major) {
    PDEVICE_OBJECT device = file->DeviceObject;
    PIRP irp = AllocateIrp(device->StackSize, IrpOrigin::kUserRequest);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = major;
    next->FileObject = file;
    irp->Tail.Overlay.OriginalFileObject = file;
    irp->RequestorMode = UserMode;
    const NTSTATUS returned = CallDriver(device, irp);
    IrpRecord& record = irps_[irp];
    NTSTATUS status = returned;
    if (record.completions == 0) {
        // CallDriver reported it; the request ends here all the same.
        status = STATUS_UNSUCCESSFUL;
    } else if (returned != STATUS_PENDING && returned != record.final_status) {
        pc_.verifier().Report(std::string("dispatch routine for ") + MajorName(major) + " of " +
                              Describe(device) + " returned " + Hex(returned) +
                              " but completed the request with " + Hex(record.final_status));
        status = record.final_status;
    } else {
        status = record.final_status;
    }
    record.in_flight = false;
    FreeIrp(irp);
    return status;
}

NTSTATUS IoManager::OpenFile(const std::string& name, ACCESS_MASK access, PFILE_OBJECT* file) {
    *file = nullptr;
    PDEVICE_OBJECT device = pc_.objects().ResolveDevice(name);
    if (device == nullptr || devices_[device].delete_pending) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    if ((device->Flags & DO_EXCLUSIVE) && device->ReferenceCount != 0) {
        return STATUS_ACCESS_DENIED;
    }
    auto* object = new FILE_OBJECT();
    object->Type = 5;
    object->Size = sizeof(FILE_OBJECT);
    object->DeviceObject = device;
    object->ReadAccess = (access & FILE_READ_DATA) != 0;
    object->WriteAccess = (access & FILE_WRITE_DATA) != 0;
    files_[object] = FileRecord{1, access, false};
    device->ReferenceCount++;

    const NTSTATUS status = SendFileRequest(object, IRP_MJ_CREATE);
    if (!NT_SUCCESS(status)) {
        // A failed create leaves no file object behind and sends no close.
        files_.erase(object);
        delete object;
        device->ReferenceCount--;
        if (device->ReferenceCount == 0 && devices_[device].delete_pending) {
            FreeDeviceMemory(device);
        }
        return status;
    }
    *file = object;
    return status;
}

void IoManager::CloseHandleOf(PFILE_OBJECT file) {
    SendFileRequest(file, IRP_MJ_CLEANUP);
    DereferenceObject(file);
}

void IoManager::ReferenceFile(PFILE_OBJECT file) { files_[file].references++; }

LONG_PTR IoManager::DereferenceObject(PVOID object) {
    auto it = files_.find(static_cast<PFILE_OBJECT>(object));
    if (it == files_.end()) {
        pc_.verifier().Fatal("ObDereferenceObject of an object that holds no reference");
    }
    if (--it->second.references > 0) {
        return it->second.references;
    }
    PFILE_OBJECT file = it->first;
    SendFileRequest(file, IRP_MJ_CLOSE);
    PDEVICE_OBJECT device = file->DeviceObject;
    files_.erase(file);
    delete file;
    device->ReferenceCount--;
    if (device->ReferenceCount == 0 && devices_[device].delete_pending) {
        FreeDeviceMemory(device);
    }
    return 0;
}

size_t IoManager::LookupReferencesHeld() const {
    size_t count = 0;
    for (const auto& entry : files_) {
        count += entry.second.from_lookup ? static_cast<size_t>(entry.second.references) : 0;
    }
    return count;
}

NTSTATUS IoManager::GetDeviceObjectPointer(PUNICODE_STRING name, ACCESS_MASK access,
                                           PFILE_OBJECT* file, PDEVICE_OBJECT* device) {
    if (pc_.faults().ShouldFail(FaultPoint::GetDeviceObjectPointer)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PFILE_OBJECT object = nullptr;
    NTSTATUS status = OpenFile(Narrow(*name), access, &object);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    // The lookup opens a handle, references the file object and closes the
    // handle again: the caller is left with one reference.
    files_[object].from_lookup = true;
    files_[object].references++;
    CloseHandleOf(object);
    *file = object;
    *device = object->DeviceObject;
    if (pc_.faults().ShouldFail(FaultPoint::LookupWithoutFileObject)) {
        // As some kernels answer: success, a device, but no file object.
        DereferenceObject(object);
        *file = nullptr;
    }
    return STATUS_SUCCESS;
}

NTSTATUS IoManager::UserDeviceControl(PFILE_OBJECT file, ULONG code, const void* input,
                                      ULONG input_length, void* output, ULONG output_length,
                                      ULONG_PTR* information) {
    *information = 0;
    auto file_it = files_.find(file);
    if (file_it == files_.end()) {
        return STATUS_INVALID_HANDLE;
    }
    // The access that the code requires (bits 14 and 15) must have been
    // granted to the handle.
    const ULONG required = (code >> 14) & 3;
    if (((required & FILE_READ_ACCESS) && !file->ReadAccess) ||
        ((required & FILE_WRITE_ACCESS) && !file->WriteAccess)) {
        return STATUS_ACCESS_DENIED;
    }
    // A length without a buffer fails the probe of the caller's memory.
    if ((input_length != 0 && input == nullptr) || (output_length != 0 && output == nullptr)) {
        return STATUS_ACCESS_VIOLATION;
    }

    PDEVICE_OBJECT device = file->DeviceObject;
    PIRP irp = AllocateIrp(device->StackSize, IrpOrigin::kUserRequest);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_DEVICE_CONTROL;
    next->FileObject = file;
    next->Parameters.DeviceIoControl.IoControlCode = code;
    next->Parameters.DeviceIoControl.InputBufferLength = input_length;
    next->Parameters.DeviceIoControl.OutputBufferLength = output_length;
    irp->RequestorMode = UserMode;
    irp->Tail.Overlay.OriginalFileObject = file;

    const ULONG method = code & 3;
    void* system_buffer = nullptr;
    switch (method) {
        case METHOD_BUFFERED: {
            // One system buffer of the larger length, exactly that long.
            const ULONG size = input_length > output_length ? input_length : output_length;
            if (size != 0) {
                system_buffer = std::calloc(1, size);
                if (input_length != 0) {
                    std::memcpy(system_buffer, input, input_length);
                }
            }
            break;
        }
        case METHOD_IN_DIRECT:
        case METHOD_OUT_DIRECT:
            if (input_length != 0) {
                system_buffer = std::malloc(input_length);
                std::memcpy(system_buffer, input, input_length);
            }
            if (output_length != 0) {
                irp->MdlAddress = BuildMdl(output, output_length);
                if (output_mdls_mapped_) {
                    irp->MdlAddress->MappedSystemVa = output;
                    irp->MdlAddress->MdlFlags |= MDL_MAPPED_TO_SYSTEM_VA;
                }
            }
            break;
        case METHOD_NEITHER:
            next->Parameters.DeviceIoControl.Type3InputBuffer = const_cast<void*>(input);
            irp->UserBuffer = output;
            break;
    }
    irp->AssociatedIrp.SystemBuffer = system_buffer;

    const NTSTATUS returned = CallDriver(device, irp);
    IrpRecord& record = irps_[irp];
    NTSTATUS status;
    if (returned == STATUS_PENDING && record.completions == 0) {
        // Let the machine run until the driver completes the request.
        while (record.completions == 0 && pc_.clock().RunNext()) {
        }
        if (record.completions == 0) {
            pc_.verifier().Fatal("a pending request is never completed");
        }
    }
    if (record.completions == 0) {
        status = STATUS_UNSUCCESSFUL;
    } else {
        status = record.final_status;
        if (returned != STATUS_PENDING && returned != record.final_status) {
            pc_.verifier().Report("dispatch routine for IRP_MJ_DEVICE_CONTROL " + Hex(code) +
                                  " of " + Describe(device) + " returned " + Hex(returned) +
                                  " but completed the request with " + Hex(record.final_status));
        }
    }

    ULONG_PTR count = irp->IoStatus.Information;
    if (method == METHOD_BUFFERED) {
        if (count > output_length) {
            pc_.verifier().Report("request " + Hex(code) + " completed with Information " +
                                  std::to_string(count) + " above its output length " +
                                  std::to_string(output_length));
            count = output_length;
        }
        if (!NT_ERROR(status) && count != 0) {
            std::memcpy(output, system_buffer, count);
        }
    }
    *information = count;

    std::free(system_buffer);
    FreeMdl(irp->MdlAddress);
    record.in_flight = false;
    FreeIrp(irp);
    return status;
}

}  // namespace simpc
