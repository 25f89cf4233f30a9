#include "parallel_port_driver.h"

#include <algorithm>
#include <utility>

#include "names.h"
#include "simpc/pc.h"

namespace simpc {

namespace {

// The driver that is loading or loaded; one machine exists at a time, and
// it has one system parallel-port driver.
ParallelPortDriver* g_instance = nullptr;

constexpr int kNobody = -2;
constexpr int kKernel = -1;

void Complete(PIRP irp, NTSTATUS status, ULONG_PTR information = 0) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
}

void ClearCancelRoutine(PIRP irp) {
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    IoSetCancelRoutine(irp, nullptr);
    IoReleaseCancelSpinLock(irql);
}

}  // namespace

struct ParallelPortDriver::Port {
    struct Client {
        std::string name;
        Nanoseconds hold = 0;
    };
    // A queued allocation: a kernel client's request, or a scripted client.
    struct Waiter {
        PIRP irp = nullptr;
        int client = kKernel;
    };
    struct PendingFree {
        PIRP irp = nullptr;
        uint64_t serial = 0;
    };

    ParallelPortDriver* driver = nullptr;
    int index = 0;
    ParallelPortConfig config;
    std::u16string device_name;
    PDEVICE_OBJECT device = nullptr;
    std::vector<int> observers;

    int holder = kNobody;  // kNobody, kKernel or a scripted client's index
    std::deque<Waiter> queue;
    std::vector<PendingFree> pending_frees;
    uint64_t next_serial = 1;
    std::vector<Client> clients;

    NTSTATUS allocate_failure = STATUS_SUCCESS;
    NTSTATUS free_failure = STATUS_SUCCESS;
    Nanoseconds free_delay = 0;
    bool grant_when_cancelled = false;
    bool reply_without_routines = false;

    uint64_t accesses_without_grant = 0;
    int try_calls = 0;
    int free_calls = 0;
    int waiters_calls = 0;
    int allocate_requests = 0;
    int free_requests = 0;
    int info_requests = 0;
    std::vector<std::string> log;

    std::string NameOf(int who) const {
        if (who == kNobody) {
            return std::string();
        }
        return who == kKernel ? std::string("kernel") : clients[static_cast<size_t>(who)].name;
    }
    std::string Finding(const std::string& text) const {
        return "parallel port " + std::to_string(index) + ": " + text;
    }
};

namespace {

// What the device extension of \Device\ParallelPort<n> holds.
struct PortExtension {
    ParallelPortDriver::Port* port;
};

ParallelPortDriver::Port& PortOfDevice(PDEVICE_OBJECT device) {
    return *static_cast<PortExtension*>(device->DeviceExtension)->port;
}

}  // namespace

// ---- load and unload -------------------------------------------------------

ParallelPortDriver::ParallelPortDriver(Pc& pc, std::vector<ParallelPortConfig> ports) : pc_(pc) {
    if (g_instance != nullptr) {
        pc_.verifier().Fatal("a second system parallel-port driver");
    }
    for (size_t i = 0; i < ports.size(); ++i) {
        auto port = std::make_shared<Port>();
        port->driver = this;
        port->index = static_cast<int>(i);
        port->config = ports[i];
        port->device_name = Widen("\\Device\\ParallelPort" + std::to_string(i));
        ports_.push_back(std::move(port));
    }
    g_instance = this;
    const NTSTATUS status = pc_.loader().LoadBuiltin(kServiceName, DriverEntry);
    if (!NT_SUCCESS(status)) {
        pc_.verifier().Fatal("the system parallel-port driver cannot load: status " +
                             std::to_string(static_cast<uint32_t>(status)));
    }
    loaded_ = true;
    for (auto& port : ports_) {
        Observe(*port);
    }
}

ParallelPortDriver::~ParallelPortDriver() {
    if (loaded_) {
        const NTSTATUS status = pc_.UnloadDriver(kServiceName);
        if (status == STATUS_DEVICE_BUSY) {
            pc_.verifier().Fatal(
                "the system parallel-port driver is destroyed while a client holds one of its "
                "devices open; unload that client (or drop its reference) first");
        }
    }
    g_instance = nullptr;
}

NTSTATUS NTAPI ParallelPortDriver::DriverEntry(PDRIVER_OBJECT driver,
                                               PUNICODE_STRING registry_path) {
    (void)registry_path;
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = DispatchInternalControl;
    driver->DriverUnload = DriverUnload;
    return g_instance->CreateDevices(driver);
}

NTSTATUS ParallelPortDriver::CreateDevices(PDRIVER_OBJECT driver) {
    for (auto& port : ports_) {
        UNICODE_STRING name;
        name.Buffer = reinterpret_cast<PWSTR>(port->device_name.data());
        name.Length = static_cast<USHORT>(port->device_name.size() * sizeof(WCHAR));
        name.MaximumLength = name.Length;
        PDEVICE_OBJECT device = nullptr;
        const NTSTATUS status = IoCreateDevice(driver, sizeof(PortExtension), &name,
                                               FILE_DEVICE_PARALLEL_PORT, 0, FALSE, &device);
        if (!NT_SUCCESS(status)) {
            for (auto& created : ports_) {
                if (created->device != nullptr) {
                    IoDeleteDevice(created->device);
                    created->device = nullptr;
                }
            }
            return status;
        }
        static_cast<PortExtension*>(device->DeviceExtension)->port = port.get();
        port->device = device;
    }
    return STATUS_SUCCESS;
}

// The port's registers and its ECP registers are watched for accesses made
// while no kernel client holds the grant.
void ParallelPortDriver::Observe(Port& port) {
    Port* watched = &port;
    auto count = [watched](const BusEvent&) {
        if (watched->holder != kKernel) {
            ++watched->accesses_without_grant;
        }
    };
    port.observers.push_back(
        pc_.bus().AddObserver(port.config.controller, port.config.span, count));
    port.observers.push_back(
        pc_.bus().AddObserver(port.config.controller + kEcrOffset, kEcrSpan, count));
}

VOID NTAPI ParallelPortDriver::DriverUnload(PDRIVER_OBJECT driver) {
    (void)driver;
    g_instance->Unload();
}

void ParallelPortDriver::Unload() {
    // Marked first: completion routines that run below may call back.
    loaded_ = false;
    for (auto& port : ports_) {
        for (int id : port->observers) {
            pc_.bus().RemoveObserver(id);
        }
        port->observers.clear();

        std::deque<Port::Waiter> queue;
        queue.swap(port->queue);
        std::vector<Port::PendingFree> frees;
        frees.swap(port->pending_frees);
        for (const Port::Waiter& waiter : queue) {
            if (waiter.irp != nullptr) {
                ClearCancelRoutine(waiter.irp);
                port->log.push_back("kernel allocate cancelled at unload");
                Complete(waiter.irp, STATUS_CANCELLED);
            }
        }
        for (const Port::PendingFree& pending : frees) {
            ClearCancelRoutine(pending.irp);
            port->log.push_back("kernel free cancelled at unload");
            Complete(pending.irp, STATUS_CANCELLED);
        }
        if (port->device != nullptr) {
            IoDeleteDevice(port->device);
            port->device = nullptr;
        }
    }
}

// ---- requests --------------------------------------------------------------

NTSTATUS NTAPI ParallelPortDriver::DispatchOpenClose(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    Complete(irp, STATUS_SUCCESS);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI ParallelPortDriver::DispatchInternalControl(PDEVICE_OBJECT device, PIRP irp) {
    Port& port = PortOfDevice(device);
    ParallelPortDriver& self = *port.driver;
    switch (IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.IoControlCode) {
        case IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO:
            return self.ServeInformation(port, irp);
        case IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE:
            return self.ServeAllocate(port, irp);
        case IOCTL_INTERNAL_PARALLEL_PORT_FREE:
            return self.ServeFree(port, irp);
        default:
            Complete(irp, STATUS_INVALID_DEVICE_REQUEST);
            return STATUS_INVALID_DEVICE_REQUEST;
    }
}

NTSTATUS ParallelPortDriver::ServeInformation(Port& port, PIRP irp) {
    ++port.info_requests;
    if (pc_.faults().ShouldFail(FaultPoint::ParallelPortInfo)) {
        Complete(irp, STATUS_UNSUCCESSFUL);
        return STATUS_UNSUCCESSFUL;
    }
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(PARALLEL_PORT_INFORMATION) ||
        irp->AssociatedIrp.SystemBuffer == nullptr) {
        Complete(irp, STATUS_BUFFER_TOO_SMALL);
        return STATUS_BUFFER_TOO_SMALL;
    }
    auto* info = static_cast<PPARALLEL_PORT_INFORMATION>(irp->AssociatedIrp.SystemBuffer);
    *info = PARALLEL_PORT_INFORMATION{};
    info->OriginalController.QuadPart = static_cast<LONGLONG>(port.config.original_controller);
    info->Controller = reinterpret_cast<PUCHAR>(static_cast<uintptr_t>(port.config.controller));
    info->SpanOfController = port.config.span;
    if (!port.reply_without_routines) {
        info->TryAllocatePort = TryAllocatePortRoutine;
        info->FreePort = FreePortRoutine;
        info->QueryNumWaiters = QueryNumWaitersRoutine;
    }
    info->Context = &port;
    Complete(irp, STATUS_SUCCESS, sizeof(PARALLEL_PORT_INFORMATION));
    return STATUS_SUCCESS;
}

NTSTATUS ParallelPortDriver::ServeAllocate(Port& port, PIRP irp) {
    ++port.allocate_requests;
    if (port.allocate_failure != STATUS_SUCCESS) {
        port.log.push_back("kernel allocate failed");
        Complete(irp, port.allocate_failure);
        return port.allocate_failure;
    }
    if (port.holder == kKernel) {
        pc_.verifier().Report(port.Finding(
            "allocate request from the kernel client that already holds the port: it waits "
            "for its own grant"));
    }
    if (port.holder == kNobody && port.queue.empty() && Grant(port, kKernel)) {
        port.log.push_back("kernel granted by request");
        Complete(irp, STATUS_SUCCESS);
        return STATUS_SUCCESS;
    }
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    if (irp->Cancel) {
        IoReleaseCancelSpinLock(irql);
        port.log.push_back("kernel allocate cancelled");
        Complete(irp, STATUS_CANCELLED);
        return STATUS_CANCELLED;
    }
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, CancelAllocate);
    port.queue.push_back(Port::Waiter{irp, kKernel});
    IoReleaseCancelSpinLock(irql);
    port.log.push_back("kernel queued");
    return STATUS_PENDING;
}

// Called with the cancel spin lock held.
VOID NTAPI ParallelPortDriver::CancelAllocate(PDEVICE_OBJECT device, PIRP irp) {
    Port& port = PortOfDevice(device);
    auto it = std::find_if(port.queue.begin(), port.queue.end(),
                           [irp](const Port::Waiter& waiter) { return waiter.irp == irp; });
    if (it == port.queue.end()) {
        IoReleaseCancelSpinLock(irp->CancelIrql);
        return;
    }
    if (port.grant_when_cancelled) {
        // The grant is under way: the request stays in line, no longer cancellable.
        IoReleaseCancelSpinLock(irp->CancelIrql);
        port.log.push_back("kernel allocate cancelled too late");
        return;
    }
    port.queue.erase(it);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    port.log.push_back("kernel allocate cancelled");
    Complete(irp, STATUS_CANCELLED);
}

NTSTATUS ParallelPortDriver::ServeFree(Port& port, PIRP irp) {
    ++port.free_requests;
    if (port.holder != kKernel) {
        pc_.verifier().Report(port.Finding("free request while the kernel client holds no grant"));
        Complete(irp, STATUS_SUCCESS);
        return STATUS_SUCCESS;
    }
    if (port.free_delay == 0) {
        const NTSTATUS status = port.free_failure;
        if (status != STATUS_SUCCESS) {
            port.log.push_back("kernel free failed");
        } else {
            GiveBackKernelGrant(port);
        }
        Complete(irp, status);
        return status;
    }
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    if (irp->Cancel) {
        IoReleaseCancelSpinLock(irql);
        port.log.push_back("kernel free cancelled");
        Complete(irp, STATUS_CANCELLED);
        return STATUS_CANCELLED;
    }
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, CancelFree);
    const uint64_t serial = port.next_serial++;
    port.pending_frees.push_back(Port::PendingFree{irp, serial});
    IoReleaseCancelSpinLock(irql);
    port.log.push_back("kernel free delayed");
    std::weak_ptr<Port> weak = ports_[static_cast<size_t>(port.index)];
    pc_.clock().After(port.free_delay, [weak, serial] {
        if (auto locked = weak.lock()) {
            if (locked->driver->loaded_) {
                locked->driver->FinishDelayedFree(*locked, serial);
            }
        }
    });
    return STATUS_PENDING;
}

void ParallelPortDriver::FinishDelayedFree(Port& port, uint64_t serial) {
    auto it = std::find_if(port.pending_frees.begin(), port.pending_frees.end(),
                           [serial](const Port::PendingFree& p) { return p.serial == serial; });
    if (it == port.pending_frees.end()) {
        return;  // cancelled meanwhile
    }
    PIRP irp = it->irp;
    port.pending_frees.erase(it);
    ClearCancelRoutine(irp);
    NTSTATUS status = port.free_failure;
    if (port.holder != kKernel) {
        pc_.verifier().Report(port.Finding("free request while the kernel client holds no grant"));
        status = STATUS_SUCCESS;
    } else if (status != STATUS_SUCCESS) {
        port.log.push_back("kernel free failed");
    } else {
        GiveBackKernelGrant(port);
    }
    Complete(irp, status);
}

// Called with the cancel spin lock held.
VOID NTAPI ParallelPortDriver::CancelFree(PDEVICE_OBJECT device, PIRP irp) {
    Port& port = PortOfDevice(device);
    auto it = std::find_if(port.pending_frees.begin(), port.pending_frees.end(),
                           [irp](const Port::PendingFree& p) { return p.irp == irp; });
    if (it == port.pending_frees.end()) {
        IoReleaseCancelSpinLock(irp->CancelIrql);
        return;
    }
    port.pending_frees.erase(it);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    port.log.push_back("kernel free cancelled");
    Complete(irp, STATUS_CANCELLED);
}

// ---- the routines of the information reply --------------------------------

namespace {

// The port a routine's Context names; a Context that is no port's is fatal,
// as the call through it would be on a real machine.
ParallelPortDriver::Port& PortOfContext(PVOID context, const char* routine) {
    if (g_instance == nullptr || context == nullptr) {
        Pc::Current().verifier().Fatal(std::string(routine) +
                                       " without a system parallel-port driver or Context");
    }
    return *static_cast<ParallelPortDriver::Port*>(context);
}

}  // namespace

BOOLEAN NTAPI ParallelPortDriver::TryAllocatePortRoutine(PVOID context) {
    Port& port = PortOfContext(context, "TryAllocatePort");
    ParallelPortDriver& self = *port.driver;
    ++port.try_calls;
    if (!self.loaded_) {
        self.pc_.verifier().Report(
            port.Finding("TryAllocatePort after the parallel-port driver unloaded"));
        return FALSE;
    }
    if (port.holder == kKernel) {
        self.pc_.verifier().Report(
            port.Finding("TryAllocatePort by the kernel client that already holds the port"));
    } else if (port.holder == kNobody && port.queue.empty() && self.Grant(port, kKernel)) {
        port.log.push_back("kernel granted by try");
        return TRUE;
    }
    port.log.push_back("kernel refused by try");
    return FALSE;
}

VOID NTAPI ParallelPortDriver::FreePortRoutine(PVOID context) {
    Port& port = PortOfContext(context, "FreePort");
    ParallelPortDriver& self = *port.driver;
    ++port.free_calls;
    if (!self.loaded_) {
        self.pc_.verifier().Report(
            port.Finding("FreePort after the parallel-port driver unloaded"));
        return;
    }
    if (port.holder != kKernel) {
        self.pc_.verifier().Report(port.Finding("FreePort while the kernel client holds no grant"));
        return;
    }
    self.GiveBackKernelGrant(port);
}

ULONG NTAPI ParallelPortDriver::QueryNumWaitersRoutine(PVOID context) {
    Port& port = PortOfContext(context, "QueryNumWaiters");
    ++port.waiters_calls;
    return static_cast<ULONG>(port.queue.size());
}

// ---- grants ----------------------------------------------------------------

bool ParallelPortDriver::Grant(Port& port, int who) {
    if (port.holder != kNobody) {
        pc_.verifier().Report(port.Finding("grant to " + port.NameOf(who) + " refused: " +
                                           port.NameOf(port.holder) + " holds the port"));
        return false;
    }
    port.holder = who;
    return true;
}

void ParallelPortDriver::GiveBackKernelGrant(Port& port) {
    port.holder = kNobody;
    port.log.push_back("kernel freed");
    GrantNext(port);
}

void ParallelPortDriver::GrantNext(Port& port) {
    if (port.holder != kNobody || port.queue.empty()) {
        return;
    }
    const Port::Waiter next = port.queue.front();
    port.queue.pop_front();
    if (next.irp == nullptr) {
        Grant(port, next.client);
        port.log.push_back(port.NameOf(next.client) + " granted");
        std::weak_ptr<Port> weak = ports_[static_cast<size_t>(port.index)];
        const int client = next.client;
        pc_.clock().After(port.clients[static_cast<size_t>(client)].hold, [weak, client] {
            if (auto locked = weak.lock()) {
                if (locked->driver->loaded_) {
                    locked->driver->ClientFrees(*locked, client);
                }
            }
        });
        return;
    }
    ClearCancelRoutine(next.irp);
    Grant(port, kKernel);
    port.log.push_back("kernel granted by request");
    Complete(next.irp, STATUS_SUCCESS);
}

void ParallelPortDriver::ClientArrives(Port& port, int client) {
    port.queue.push_back(Port::Waiter{nullptr, client});
    if (port.holder == kNobody && port.queue.size() == 1) {
        GrantNext(port);
    } else {
        port.log.push_back(port.NameOf(client) + " queued");
    }
}

void ParallelPortDriver::ClientFrees(Port& port, int client) {
    if (port.holder != client) {
        return;
    }
    port.holder = kNobody;
    port.log.push_back(port.NameOf(client) + " freed");
    GrantNext(port);
}

// ---- the test's controls and observations -------------------------------------

ParallelPortDriver::Port& ParallelPortDriver::PortAt(int port) {
    if (port < 0 || static_cast<size_t>(port) >= ports_.size()) {
        pc_.verifier().Fatal("the system parallel-port driver has no port " + std::to_string(port));
    }
    return *ports_[static_cast<size_t>(port)];
}

const ParallelPortDriver::Port& ParallelPortDriver::PortAt(int port) const {
    return const_cast<ParallelPortDriver*>(this)->PortAt(port);
}

void ParallelPortDriver::ScheduleClient(int port, Nanoseconds at, Nanoseconds hold,
                                        std::string name) {
    Port& record = PortAt(port);
    const int client = static_cast<int>(record.clients.size());
    record.clients.push_back(Port::Client{std::move(name), hold});
    std::weak_ptr<Port> weak = ports_[static_cast<size_t>(port)];
    pc_.clock().At(at, [weak, client] {
        if (auto locked = weak.lock()) {
            if (locked->driver->loaded_) {
                locked->driver->ClientArrives(*locked, client);
            }
        }
    });
}

void ParallelPortDriver::FailAllocateRequestsWith(int port, NTSTATUS status) {
    PortAt(port).allocate_failure = status;
}

void ParallelPortDriver::DelayFreeRequests(int port, Nanoseconds delay) {
    PortAt(port).free_delay = delay;
}

void ParallelPortDriver::FailFreeRequestsWith(int port, NTSTATUS status) {
    PortAt(port).free_failure = status;
}

void ParallelPortDriver::GrantWhenCancelled(int port, bool on) {
    PortAt(port).grant_when_cancelled = on;
}

void ParallelPortDriver::ReplyWithoutRoutines(int port, bool on) {
    PortAt(port).reply_without_routines = on;
}

bool ParallelPortDriver::HeldByKernelClient(int port) const {
    return PortAt(port).holder == kKernel;
}

std::string ParallelPortDriver::Holder(int port) const {
    const Port& record = PortAt(port);
    return record.NameOf(record.holder);
}

size_t ParallelPortDriver::Waiters(int port) const {
    return PortAt(port).queue.size();
}

uint64_t ParallelPortDriver::AccessesWithoutGrant(int port) const {
    return PortAt(port).accesses_without_grant;
}

int ParallelPortDriver::TryAllocateCalls(int port) const {
    return PortAt(port).try_calls;
}
int ParallelPortDriver::FreePortCalls(int port) const {
    return PortAt(port).free_calls;
}
int ParallelPortDriver::QueryWaitersCalls(int port) const {
    return PortAt(port).waiters_calls;
}
int ParallelPortDriver::AllocateRequests(int port) const {
    return PortAt(port).allocate_requests;
}
int ParallelPortDriver::FreeRequests(int port) const {
    return PortAt(port).free_requests;
}
int ParallelPortDriver::InfoRequests(int port) const {
    return PortAt(port).info_requests;
}

std::vector<std::string> ParallelPortDriver::Log(int port) const {
    return PortAt(port).log;
}

}  // namespace simpc
