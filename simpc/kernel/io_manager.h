// The I/O manager of the simulated kernel: device objects, IRPs and their
// stack locations, completion with completion routines, cancellation, file
// objects and the requests that user mode sends through them.
//
// It keeps a record of every IRP so that the verifier can tell a request
// completed twice or never, an IRP freed while a driver still owns it, or
// a dispatch routine that returns another status than it completed with.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ntddk.h"

namespace simpc {

class Pc;

enum class IrpOrigin {
    kUserRequest,     // built by the I/O manager for a user-mode call
    kAllocated,       // IoAllocateIrp: its owner frees it
    kBuiltIoControl,  // IoBuildDeviceIoControlRequest: freed at completion
};

class IoManager {
  public:
    explicit IoManager(Pc& pc) : pc_(pc) {}
    ~IoManager();

    // --- devices ---
    NTSTATUS CreateDevice(PDRIVER_OBJECT driver, ULONG extension_size, PUNICODE_STRING name,
                          ULONG type, ULONG characteristics, BOOLEAN exclusive,
                          PDEVICE_OBJECT* device);
    void DeleteDevice(PDEVICE_OBJECT device);
    bool IsLiveDevice(PDEVICE_OBJECT device) const { return devices_.count(device) != 0; }
    std::vector<PDEVICE_OBJECT> DevicesOf(PDRIVER_OBJECT driver) const;

    // --- IRPs ---
    PIRP AllocateIrp(int stack_size, IrpOrigin origin);
    void FreeIrp(PIRP irp);
    NTSTATUS CallDriver(PDEVICE_OBJECT device, PIRP irp);
    void CompleteRequest(PIRP irp);
    BOOLEAN CancelIrp(PIRP irp);
    PIRP BuildDeviceIoControlRequest(ULONG code, PDEVICE_OBJECT device, PVOID input,
                                     ULONG input_length, PVOID output, ULONG output_length,
                                     BOOLEAN internal, PKEVENT event, PIO_STATUS_BLOCK iosb);
    // IRPs that exist now (allocated and not freed).
    size_t LiveIrpCount() const;

    // --- MDLs ---
    // Whether the MDLs built for user output buffers arrive already mapped
    // into system space (MDL_MAPPED_TO_SYSTEM_VA), or only locked as on NT.
    void SetOutputMdlsMapped(bool mapped) { output_mdls_mapped_ = mapped; }
    PVOID MapLockedPages(PMDL mdl);
    int MapLockedPagesCalls() const { return map_locked_pages_calls_; }

    // --- files ---
    // Opens a device by name (following links): sends IRP_MJ_CREATE and, on
    // success, returns a file object holding one reference.
    NTSTATUS OpenFile(const std::string& name, ACCESS_MASK access, PFILE_OBJECT* file);
    // A handle to the file is closed: IRP_MJ_CLEANUP, then the reference goes.
    void CloseHandleOf(PFILE_OBJECT file);
    void ReferenceFile(PFILE_OBJECT file);
    LONG_PTR DereferenceObject(PVOID object);
    // File objects that IoGetDeviceObjectPointer handed out and that are
    // still referenced.
    size_t LookupReferencesHeld() const;
    NTSTATUS GetDeviceObjectPointer(PUNICODE_STRING name, ACCESS_MASK access,
                                    PFILE_OBJECT* file, PDEVICE_OBJECT* device);

    // IoReportResourceUsage: what was claimed for a device.
    struct ResourceReport {
        PDEVICE_OBJECT device = nullptr;
        ULONG device_list_count = 0;  // CM_RESOURCE_LIST.Count
        ULONG device_list_size = 0;
    };
    void RecordResourceReport(const ResourceReport& report) { resource_reports_.push_back(report); }
    const std::vector<ResourceReport>& ResourceReports() const { return resource_reports_; }

    // The cancel spin lock, which cancel routines are called with and must release.
    void AcquireCancelLock();
    void ReleaseCancelLock();
    bool CancelLockHeld() const { return cancel_lock_held_; }

    // A device-control request from user mode on an open file; returns the
    // final status and the bytes transferred back.
    NTSTATUS UserDeviceControl(PFILE_OBJECT file, ULONG code, const void* input,
                               ULONG input_length, void* output, ULONG output_length,
                               ULONG_PTR* information);

  private:
    struct IrpRecord {
        IrpOrigin origin = IrpOrigin::kAllocated;
        bool live = true;
        bool in_flight = false;  // sent and not yet completed back to its owner
        int completions = 0;     // completions since it was last sent
        NTSTATUS final_status = 0;
        // for built requests
        ULONG method = 0;
        PVOID user_output = nullptr;
        ULONG output_length = 0;
        PVOID system_buffer = nullptr;
    };
    struct DeviceRecord {
        bool delete_pending = false;
        PVOID extension = nullptr;
    };
    struct FileRecord {
        LONG references = 0;
        ACCESS_MASK granted = 0;
        bool from_lookup = false;
    };

    IrpRecord* RecordOf(PIRP irp, const char* operation);
    NTSTATUS SendFileRequest(PFILE_OBJECT file, UCHAR major);
    void FinishBuiltRequest(PIRP irp, IrpRecord& record);
    void FreeDeviceMemory(PDEVICE_OBJECT device);
    PMDL BuildMdl(PVOID buffer, ULONG length);
    void FreeMdl(PMDL mdl);
    std::string Describe(PDEVICE_OBJECT device) const;

    Pc& pc_;
    std::map<PIRP, IrpRecord> irps_;
    std::map<PDEVICE_OBJECT, DeviceRecord> devices_;
    std::map<PFILE_OBJECT, FileRecord> files_;
    std::vector<ResourceReport> resource_reports_;
    bool cancel_lock_held_ = false;
    bool output_mdls_mapped_ = false;
    int map_locked_pages_calls_ = 0;
};

}  // namespace simpc
