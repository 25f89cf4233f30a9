#include "fuzz_session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver_image.h"
#include "oracle.h"
#include "vexlor_ioctl.h"

namespace vexlor_fuzz {

namespace {

constexpr simpc::Nanoseconds k100us = 100 * 1000;
constexpr simpc::Nanoseconds kMillisecond = 1000 * 1000;
constexpr uint32_t kTranslationOffset = 0x1000;
constexpr uint32_t kRegisterCount = 5;
constexpr uint32_t kEcrOffset = 0x402;

const char* const kLendingTrace = "Freeing port for other for a while...\n";

// Where LPT<n> lies when no parallel-port driver answers for it.
uint32_t LegacyBase(uint32_t lpt) {
    switch (lpt) {
        case 2:
            return 0x278;
        case 3:
            return 0x3F8;
        case 4:
            return 0x2F8;
        default:
            return 0x378;
    }
}

// The port number that the driver reads: the registry value when it is a
// four-byte REG_DWORD and the driver gets the pool to ask for it, else 1.
uint32_t EffectiveLpt(const Setup& setup) {
    return setup.lpt_kind == LptKind::kDword && setup.load_fault != LoadFault::kPool ? setup.lpt
                                                                                    : 1;
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%X", value);
    return text;
}

std::string Describe(const Request& request) {
    return "request " + Hex(request.code) + " (input " + std::to_string(request.input_length) +
           ", output " + std::to_string(request.output_length) + ")";
}

// FillByte over the lengths that requests mostly have, computed once.
struct Filler {
    static const Filler& Get() {
        static const Filler filler;
        return filler;
    }
    Filler() : bytes(0x20000) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = FillByte(static_cast<uint32_t>(i));
        }
    }
    std::vector<uint8_t> bytes;
};

// A caller buffer: its own heap block of exactly `length` bytes, so that
// AddressSanitizer reports any byte read or written outside it.
struct CallerBuffer {
    CallerBuffer(uint32_t length, const std::vector<uint8_t>& head) : length(length) {
        if (length == 0) {
            return;
        }
        bytes = static_cast<uint8_t*>(std::malloc(length));
        const Filler& filler = Filler::Get();
        std::memcpy(bytes, filler.bytes.data(), length < filler.bytes.size() ? length
                                                                              : filler.bytes.size());
        for (uint32_t i = static_cast<uint32_t>(filler.bytes.size()); i < length; ++i) {
            bytes[i] = FillByte(i);
        }
        std::memcpy(bytes, head.data(), head.size());
        copy.assign(bytes, bytes + length);
    }
    ~CallerBuffer() { std::free(bytes); }
    CallerBuffer(const CallerBuffer&) = delete;
    CallerBuffer& operator=(const CallerBuffer&) = delete;

    bool Unchanged() const { return length == 0 || std::memcmp(bytes, copy.data(), length) == 0; }

    uint32_t length;
    uint8_t* bytes = nullptr;
    std::vector<uint8_t> copy;
};

}  // namespace

Session::Session(const Scenario& scenario, const std::string& system_drive,
                 const std::string& image_path)
    : scenario_(scenario), image_path_(image_path), pc_(system_drive) {}

Session::~Session() = default;

uint32_t Session::Translated(uint32_t bus_address) const {
    const Setup& setup = scenario_.setup;
    return !setup.translation_fails && setup.translation_offset ? bus_address + kTranslationOffset
                                                                : bus_address;
}

void Session::Run() {
    BuildMachine();
    LoadDriver();
    for (const Operation& op : scenario_.operations) {
        Perform(op);
    }
    Finish();
}

// ---- the machine -------------------------------------------------------------

void Session::AttachPort(uint32_t base) {
    watch_.AllowPort(base);
    pc_.bus().Attach(base, kRegisterCount, port_);
    pc_.bus().Attach(base + kEcrOffset, 1, port_);
}

void Session::BuildMachine() {
    const Setup& setup = scenario_.setup;
    pc_.bus().SetTracing(false);
    mdls_mapped_ = setup.mdls_mapped;
    pc_.io().SetOutputMdlsMapped(mdls_mapped_);
    if (setup.translation_fails) {
        pc_.SetBusTranslator([](int, uint32_t, uint64_t, uint32_t*, uint64_t* translated) {
            *translated = 0;
            return false;
        });
    } else if (setup.translation_offset) {
        pc_.SetBusTranslator([](int interface_type, uint32_t bus_number, uint64_t bus_address,
                                uint32_t* address_space, uint64_t* translated) {
            const bool io = interface_type == Isa && bus_number == 0 && *address_space == 1;
            *translated = io ? bus_address + kTranslationOffset : 0;
            return io;
        });
    }

    const uint32_t lpt = EffectiveLpt(setup);
    AttachPort(Translated(LegacyBase(lpt)));
    if (setup.parport_present) {
        std::vector<simpc::ParallelPortConfig> ports;
        for (int i = 0; i < setup.port_count; ++i) {
            const uint32_t base = kPortBases[(setup.first_base + i) % 4];
            ports.push_back(simpc::ParallelPortConfig{base, Translated(base), 8});
        }
        parport_ = std::make_unique<simpc::ParallelPortDriver>(pc_, ports);
        for (int i = 0; i < setup.port_count; ++i) {
            parport_->ReplyWithoutRoutines(i, setup.reply_without_routines);
            parport_->GrantWhenCancelled(i, setup.grant_when_cancelled);
        }
        ApplyArbitration(static_cast<uint8_t>(static_cast<uint8_t>(setup.allocate) |
                                              (static_cast<uint8_t>(setup.free) << 2)));
        // Only the port that LPT<n> names is the driver's; the others are not.
        if (lpt >= 1 && lpt <= static_cast<uint32_t>(setup.port_count)) {
            AttachPort(ports[lpt - 1].controller);
        }
    }
    port_->SetAnswers(setup.answers);
    watch_.Watch(pc_.bus());
    WriteLptValue();
}

void Session::WriteLptValue() {
    const Setup& setup = scenario_.setup;
    const std::string key = simpc::Pc::ServiceKey("vexlor");
    const std::string parameters = key + "\\Parameters";
    pc_.registry().CreateKey(key);
    const uint32_t n = setup.lpt;
    const std::vector<uint8_t> le = {static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8),
                                     static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 24)};
    switch (setup.lpt_kind) {
        case LptKind::kDword:
            pc_.registry().SetValue(parameters, "Lpt", simpc::RegistryValue::Dword(n));
            break;
        case LptKind::kNoKey:
            break;
        case LptKind::kNoValue:
            pc_.registry().CreateKey(parameters);
            break;
        case LptKind::kString:
            pc_.registry().SetValue(parameters, "Lpt",
                                    simpc::RegistryValue::String(std::to_string(n)));
            break;
        case LptKind::kShortBinary:
            pc_.registry().SetValue(parameters, "Lpt",
                                    simpc::RegistryValue::Binary({le[0], le[1]}));
            break;
        case LptKind::kLongBinary: {
            std::vector<uint8_t> bytes = le;
            bytes.insert(bytes.end(), {0xFF, 0xFF, 0xFF, 0xFF});
            pc_.registry().SetValue(parameters, "Lpt", simpc::RegistryValue::Binary(bytes));
            break;
        }
        case LptKind::kQword: {
            std::vector<uint8_t> bytes = le;
            bytes.insert(bytes.end(), {0, 0, 0, 0});
            pc_.registry().SetValue(parameters, "Lpt",
                                    simpc::RegistryValue::Binary(bytes, 11 /* REG_QWORD */));
            break;
        }
        case LptKind::kEmptyDword:
            pc_.registry().SetValue(parameters, "Lpt",
                                    simpc::RegistryValue::Binary({}, 4 /* REG_DWORD */));
            break;
    }
}

void Session::ApplyArbitration(uint8_t byte) {
    static const NTSTATUS kAllocateStatus[4] = {STATUS_SUCCESS, STATUS_UNSUCCESSFUL,
                                                STATUS_CANCELLED, STATUS_DEVICE_BUSY};
    int free = (byte >> 2) & 3;
    if (free == static_cast<int>(FreeBehaviour::kFails) && LeftOut("failing-free")) {
        free = static_cast<int>(FreeBehaviour::kNormal);
    }
    for (int i = 0; i < static_cast<int>(parport_->PortCount()); ++i) {
        parport_->FailAllocateRequestsWith(i, kAllocateStatus[byte & 3]);
        parport_->FailFreeRequestsWith(i, free == 1 ? STATUS_UNSUCCESSFUL : STATUS_SUCCESS);
        parport_->DelayFreeRequests(i, free == 2   ? 1500 * kMillisecond
                                       : free == 3 ? 10 * kMillisecond
                                                   : 0);
    }
}

void Session::LoadDriver() {
    switch (scenario_.setup.load_fault) {
        case LoadFault::kNone:
            break;
        case LoadFault::kPool:
            pc_.faults().FailNext(simpc::FaultPoint::PoolAllocation);
            break;
        case LoadFault::kCreateDevice:
            pc_.faults().FailNext(simpc::FaultPoint::CreateDevice);
            break;
        case LoadFault::kCreateSymbolicLink:
            pc_.faults().FailNext(simpc::FaultPoint::CreateSymbolicLink);
            break;
    }
    const DriverImage& image = DriverImage::Get(image_path_);
    image.RestoreData();
    const NTSTATUS status = pc_.loader().LoadBuiltin("vexlor", image.Entry());
    if (status != STATUS_SUCCESS) {
        Crash("DriverEntry returned " + Hex(static_cast<uint32_t>(status)));
    }
    pc_.faults().Clear();
    CheckFindings(pc_, "at load");
}

// ---- operations --------------------------------------------------------------

void Session::Perform(const Operation& op) {
    const simpc::Nanoseconds now = pc_.clock().Now();
    switch (op.kind) {
        case Operation::kOpen:
        case Operation::kClose:
        case Operation::kRequest:
            PerformCall(op);
            break;
        case Operation::kFault:
            if (Verbose()) {
                std::fprintf(stderr, "fault %d skip %d\n", op.fault_point, op.fault_skip);
            }
            pc_.faults().FailNext(static_cast<simpc::FaultPoint>(op.fault_point), op.fault_skip);
            break;
        case Operation::kTimePasses:
            pc_.clock().RunUntil(now + op.delay_100us * k100us);
            break;
        case Operation::kClientArrives:
            if (parport_ != nullptr) {
                parport_->ScheduleClient(op.port % static_cast<int>(parport_->PortCount()),
                                         now + op.delay_100us * k100us, op.hold_100us * k100us);
            }
            break;
        case Operation::kAnswers:
            port_->SetAnswers(op.answers);
            break;
        case Operation::kDeferred: {
            const Operation call = op.deferred.front();
            pc_.clock().At(now + op.delay_100us * k100us, [this, call] {
                if (!finishing_) {
                    PerformCall(call);
                }
            });
            break;
        }
        case Operation::kParportChanges:
            if (parport_ != nullptr) {
                ApplyArbitration(op.parport_byte);
            }
            if (op.parport_byte & 0x10) {
                mdls_mapped_ = !mdls_mapped_;
                pc_.io().SetOutputMdlsMapped(mdls_mapped_);
            }
            break;
    }
    CheckFindings(pc_, "after an operation");
}

void Session::PerformCall(const Operation& op) {
    switch (op.kind) {
        case Operation::kOpen:
            Open(op.access);
            break;
        case Operation::kClose:
            Close(op.handle);
            break;
        default:
            SendRequest(op.request);
            break;
    }
}

int Session::PickHandle(uint8_t index) const {
    std::vector<int> free;
    for (size_t i = 0; i < handles_.size(); ++i) {
        if (std::find(busy_.begin(), busy_.end(), handles_[i]) == busy_.end()) {
            free.push_back(static_cast<int>(i));
        }
    }
    return free.empty() ? -1 : free[index % free.size()];
}

void Session::Open(uint8_t access) {
    if (handles_.size() >= kMaxHandles) {
        return;
    }
    static const DWORD kAccess[4] = {GENERIC_READ | GENERIC_WRITE, GENERIC_READ, GENERIC_WRITE,
                                     0};
    SetLastError(0);
    HANDLE handle = CreateFileA(LOR_WIN32_DEVICE_PATH, kAccess[access & 3],
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    const DWORD error = GetLastError();
    if (Verbose()) {
        std::fprintf(stderr, "open access %d: %s (error %u)\n", access,
                     handle == INVALID_HANDLE_VALUE ? "failed" : "opened", error);
    }
    CheckFindings(pc_, "after an open");
    if (handle == INVALID_HANDLE_VALUE) {
        if (error == 0) {
            Crash("an open failed without an error");
        }
        return;
    }
    handles_.push_back(handle);
}

void Session::Close(uint8_t index) {
    const int picked = PickHandle(index);
    if (picked < 0) {
        return;
    }
    HANDLE handle = handles_[static_cast<size_t>(picked)];
    // Gone from the list before the close: calls that run while it waits
    // must not pick it.
    handles_.erase(handles_.begin() + picked);
    if (Verbose()) {
        std::fprintf(stderr, "close\n");
    }
    if (!CloseHandle(handle)) {
        Crash("CloseHandle of an open handle failed");
    }
    CheckFindings(pc_, "after a close");
}

void Session::SendRequest(const Request& request) {
    const int picked = PickHandle(request.handle);
    if (picked < 0) {
        return;
    }
    HANDLE handle = handles_[static_cast<size_t>(picked)];
    CallerBuffer input(request.input_length, request.input_head);
    CallerBuffer output(request.output_length, request.output_head);
    const size_t traces_before = pc_.DriverTraces().size();
    const uint64_t accesses_before = watch_.Accesses();
    const simpc::Nanoseconds time_before = pc_.clock().Now();

    busy_.push_back(handle);
    DWORD bytes = 0xDEADBEEF;
    SetLastError(0);
    const BOOL ok = DeviceIoControl(handle, request.code, input.bytes, request.input_length,
                                    output.bytes, request.output_length, &bytes, nullptr);
    const DWORD error = ok ? 0 : GetLastError();
    busy_.erase(std::find(busy_.begin(), busy_.end(), handle));

    const std::string what = Describe(request);
    if (Verbose()) {
        std::fprintf(stderr, "%s: %s, error %u, %u bytes\n", what.c_str(), ok ? "ok" : "refused",
                     error, bytes);
    }
    CheckFindings(pc_, "after " + what);

    // The request lent the port to other clients first (its own waits may
    // have let other calls run): the bus and the clock moved for that.
    const std::vector<std::string>& traces = pc_.DriverTraces();
    const bool lent = std::find(traces.begin() + static_cast<std::ptrdiff_t>(traces_before),
                                traces.end(), kLendingTrace) != traces.end();

    if (!ok && error == 0) {
        Crash(what + " failed without an error");
    }
    if (ok && bytes > request.output_length) {
        Crash(what + " returned " + std::to_string(bytes) + " bytes, above its output length");
    }
    if (!input.Unchanged()) {
        Crash(what + " changed the caller's input buffer");
    }
    if (!ok) {
        const std::string refused = what + " refused with error " + std::to_string(error);
        if (bytes != 0) {
            Crash(refused + " but returned " + std::to_string(bytes) + " bytes");
        }
        if (!output.Unchanged()) {
            Crash(refused + " but changed the caller's output buffer");
        }
        if (!lent && watch_.Accesses() != accesses_before) {
            Crash(refused + " after " + std::to_string(watch_.Accesses() - accesses_before) +
                  " port access(es)");
        }
        if (!lent && pc_.clock().Now() != time_before) {
            Crash(refused + " after the clock moved (a stall or a wait)");
        }
    }
}

void Session::Finish() {
    finishing_ = true;
    while (!handles_.empty()) {
        HANDLE handle = handles_.back();
        handles_.pop_back();
        if (!CloseHandle(handle)) {
            Crash("CloseHandle of an open handle failed at the end");
        }
        CheckFindings(pc_, "after a close at the end");
    }
    const NTSTATUS status = pc_.UnloadDriver("vexlor");
    if (status != STATUS_SUCCESS) {
        Crash("the driver does not unload: " + Hex(static_cast<uint32_t>(status)));
    }
    CheckFindings(pc_, "at unload");
    if (parport_ != nullptr) {
        for (int i = 0; i < static_cast<int>(parport_->PortCount()); ++i) {
            if (parport_->HeldByKernelClient(i)) {
                Crash("the driver unloaded still holding parallel port " + std::to_string(i));
            }
        }
        parport_.reset();
        CheckFindings(pc_, "when the parallel-port driver unloads");
    }
}

}  // namespace vexlor_fuzz
