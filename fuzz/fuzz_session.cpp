#include "fuzz_session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "caller_buffer.h"
#include "oracle.h"
#include "vexlor_ioctl.h"

namespace vexlor_fuzz {

namespace {

constexpr simpc::Nanoseconds k100us = 100 * 1000;

const char* const kLendingTrace = "Freeing port for other for a while...\n";

std::string Describe(const Request& request) {
    return "request " + Hex(request.code) + " (input " + std::to_string(request.input_length) +
           ", output " + std::to_string(request.output_length) + ")";
}

}  // namespace

Session::Session(const Scenario& scenario, const std::string& system_drive,
                 const std::string& image_path)
    : scenario_(scenario), image_path_(image_path), pc_(system_drive) {}

Session::~Session() = default;

void Session::Run() {
    BuildMachine();
    LoadDriver();
    for (const Operation& op : scenario_.operations) {
        Perform(op);
    }
    Finish();
}

void Session::Perform(const Operation& op) {
    const simpc::Nanoseconds now = pc_.clock().Now();
    if (Verbose() && op.kind != Operation::kOpen && op.kind != Operation::kClose &&
        op.kind != Operation::kRequest) {
        static const char* const kNames[] = {"open",    "close",         "request",
                                             "fault",   "time passes",   "client arrives",
                                             "answers", "deferred call", "parport changes"};
        std::fprintf(stderr, "at %llu us: %s (point %d, delay %u, hold %u, byte 0x%X)\n",
                     static_cast<unsigned long long>(now / 1000), kNames[op.kind], op.fault_point,
                     op.delay_100us, op.hold_100us, op.parport_byte);
    }
    switch (op.kind) {
        case Operation::kOpen:
        case Operation::kClose:
        case Operation::kRequest:
            PerformCall(op);
            break;
        case Operation::kFault:
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
    static const DWORD kAccess[4] = {GENERIC_READ | GENERIC_WRITE, GENERIC_READ, GENERIC_WRITE, 0};
    SetLastError(0);
    HANDLE handle =
        CreateFileA(LOR_WIN32_DEVICE_PATH, kAccess[access & 3], FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
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
