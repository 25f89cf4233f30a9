// The system parallel-port driver of the simulated PC: the owner of the
// PC's parallel ports, which its kernel clients share through its
// allocation protocol.  It is a built-in driver ("Parport") with one device
// per port, \Device\ParallelPort0 .. N-1, and knows nothing of its clients.
//
// What it serves, per port:
// - TryAllocatePort / FreePort / QueryNumWaiters, the routines that its
//   information reply hands out, each called with the reply's Context;
// - IRP_MJ_INTERNAL_DEVICE_CONTROL with
//     IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO: the PARALLEL_PORT_INFORMATION
//       in the system buffer; STATUS_BUFFER_TOO_SMALL when the output is
//       shorter or missing; STATUS_UNSUCCESSFUL when the machine's faults
//       say FaultPoint::ParallelPortInfo;
//     IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE: granted at once when the port is
//       free, else queued (pending, cancellable) and completed STATUS_SUCCESS
//       when its turn comes; a cancelled one completes STATUS_CANCELLED;
//     IOCTL_INTERNAL_PARALLEL_PORT_FREE: gives back the sender's grant,
//       grants the next waiter, completes STATUS_SUCCESS;
//   anything else STATUS_INVALID_DEVICE_REQUEST;
// - IRP_MJ_CREATE, IRP_MJ_CLEANUP and IRP_MJ_CLOSE succeed.
//
// One grant at a time per port, and waiters are granted first in, first
// out: queued allocate requests and the scripted clients that a test adds
// (a printer, say).  Scripted clients arrive, are granted and free the
// port in scheduler events, so they act while a kernel client waits in
// KeWaitForSingleObject, in virtual time.
//
// The model knows one kernel client: every caller of the routines and every
// sender of requests is "kernel".  Client faults become verifier findings:
// a FreePort or free request while the kernel client holds no grant (which
// gives back nothing; a free request still completes STATUS_SUCCESS), and a
// TryAllocatePort or allocate request while it already holds the port (the
// try answers FALSE; the request is queued behind the client's own grant,
// as the real driver would queue it).  Granting while someone holds the
// port is refused and reported.
//
// Unload (UnloadDriver("Parport") or the destructor) completes every queued
// allocate request and every delayed free request with STATUS_CANCELLED,
// drops the scripted waiters and deletes the devices.  As on NT, the driver
// cannot unload while a client holds one of its devices open (a file object
// from IoGetDeviceObjectPointer): destroying this object then is fatal, so
// such clients must unload first.  The Pc must outlive this object.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "ntddk.h"
#include "parallel.h"
#include "scheduler.h"

namespace simpc {

class Pc;

struct ParallelPortConfig {
    uint64_t original_controller = 0x378;  // bus address of the data register
    uint32_t controller = 0x378;  // I/O address of the data register as the owner reports it
    uint32_t span = 8;            // SpanOfController
};

class ParallelPortDriver {
  public:
    static constexpr const char* kServiceName = "Parport";
    // The ECP registers of a port lie 0x400 above its data register.
    static constexpr uint32_t kEcrOffset = 0x400;
    static constexpr uint32_t kEcrSpan = 3;

    // Loads itself into `pc` as the built-in driver "Parport", creating
    // \Device\ParallelPort0..N-1; fatal if it cannot load.
    ParallelPortDriver(Pc& pc, std::vector<ParallelPortConfig> ports);
    ~ParallelPortDriver();
    ParallelPortDriver(const ParallelPortDriver&) = delete;
    ParallelPortDriver& operator=(const ParallelPortDriver&) = delete;

    size_t PortCount() const { return ports_.size(); }
    // Whether the driver is loaded (it stops being when UnloadDriver("Parport") runs).
    bool Loaded() const { return loaded_; }

    // Another client of port `port`: at virtual time `at` it asks for the port
    // (granted at once when the port is free, else queued); once granted it
    // holds the port for `hold`, then frees it.
    void ScheduleClient(int port, Nanoseconds at, Nanoseconds hold, std::string name = "printer");

    // How allocate and free requests from kernel clients complete.  Default:
    // an allocate is queued until the port is free and completed
    // STATUS_SUCCESS then; a free completes at once with STATUS_SUCCESS.
    // An allocate completes at once with `status`, granting nothing
    // (STATUS_SUCCESS restores the default).
    void FailAllocateRequestsWith(int port, NTSTATUS status);
    // A free request stays pending for `delay` (cancellable: a cancelled one
    // gives nothing back and completes STATUS_CANCELLED); the grant goes back
    // when it completes.  0 restores the default.
    void DelayFreeRequests(int port, Nanoseconds delay);
    // A free request completes with `status` and gives nothing back: the
    // kernel client keeps the grant (STATUS_SUCCESS restores the default).
    void FailFreeRequestsWith(int port, NTSTATUS status);
    // The grant races the cancel: a queued allocate that is cancelled is not
    // withdrawn but keeps its place (without a cancel routine, as one that
    // the driver has begun to grant), and completes STATUS_SUCCESS with the
    // grant when its turn comes.
    void GrantWhenCancelled(int port, bool on);
    // The information reply carries null TryAllocatePort, FreePort and
    // QueryNumWaiters (the other fields as usual).
    void ReplyWithoutRoutines(int port, bool on);

    // --- observation ---
    // A kernel client holds the grant.
    bool HeldByKernelClient(int port) const;
    // "" free, "kernel", or the scripted client's name.
    std::string Holder(int port) const;
    // Queued allocations (requests and scripted clients): what
    // QueryNumWaiters answers.
    size_t Waiters(int port) const;
    // Bus accesses (reads and writes of any width) that touch the port's
    // registers, [controller, controller + span) and the ECP registers
    // [controller + 0x400, controller + 0x403), while no kernel client holds
    // the port.
    uint64_t AccessesWithoutGrant(int port) const;
    int TryAllocateCalls(int port) const;
    int FreePortCalls(int port) const;
    int QueryWaitersCalls(int port) const;
    int AllocateRequests(int port) const;
    int FreeRequests(int port) const;
    int InfoRequests(int port) const;
    // What happened at the port, in order:
    //   "<name> granted", "<name> queued", "<name> freed"   scripted clients
    //   "kernel granted by try", "kernel refused by try"    TryAllocatePort
    //   "kernel granted by request", "kernel queued"        allocate requests
    //   "kernel allocate failed", "kernel allocate cancelled",
    //   "kernel allocate cancelled too late" (GrantWhenCancelled),
    //   "kernel allocate cancelled at unload"
    //   "kernel freed"                                      FreePort or a free request
    //   "kernel free delayed", "kernel free failed", "kernel free cancelled",
    //   "kernel free cancelled at unload"
    std::vector<std::string> Log(int port = 0) const;

    struct Port;  // one port's record; the Context of its routines

  private:
    static NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);
    static VOID NTAPI DriverUnload(PDRIVER_OBJECT driver);
    static NTSTATUS NTAPI DispatchOpenClose(PDEVICE_OBJECT device, PIRP irp);
    static NTSTATUS NTAPI DispatchInternalControl(PDEVICE_OBJECT device, PIRP irp);
    static VOID NTAPI CancelAllocate(PDEVICE_OBJECT device, PIRP irp);
    static VOID NTAPI CancelFree(PDEVICE_OBJECT device, PIRP irp);
    static BOOLEAN NTAPI TryAllocatePortRoutine(PVOID context);
    static VOID NTAPI FreePortRoutine(PVOID context);
    static ULONG NTAPI QueryNumWaitersRoutine(PVOID context);

    NTSTATUS CreateDevices(PDRIVER_OBJECT driver);
    void Unload();
    NTSTATUS ServeInformation(Port& port, PIRP irp);
    NTSTATUS ServeAllocate(Port& port, PIRP irp);
    NTSTATUS ServeFree(Port& port, PIRP irp);
    void FinishDelayedFree(Port& port, uint64_t serial);
    void GiveBackKernelGrant(Port& port);
    void ClientArrives(Port& port, int client);
    void ClientFrees(Port& port, int client);
    bool Grant(Port& port, int client);
    void GrantNext(Port& port);
    void Observe(Port& port);

    Port& PortAt(int port);
    const Port& PortAt(int port) const;

    Pc& pc_;
    std::vector<std::shared_ptr<Port>> ports_;
    bool loaded_ = false;
};

}  // namespace simpc
