// The kernel pieces that a driver sharing a port with another driver relies
// on: IRPs sent down with completion routines, cancellation, waits in
// virtual time, built device-control requests and device lookups.  A tiny
// built-in target driver answers as each test scripts it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "simpc/pc.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr ULONG kTargetCode =
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr simpc::Nanoseconds kMillisecond = 1000 * 1000;
constexpr simpc::Nanoseconds kSecond = 1000 * kMillisecond;

// ---- the target driver -------------------------------------------------------

struct TargetScript {
    // How device-control requests are answered.
    bool pend = false;         // leave the request pending
    bool cancellable = false;  // a pending request gets a cancel routine
    bool cancel_releases_lock = true;
    NTSTATUS status = STATUS_SUCCESS;
    std::vector<UCHAR> reply;  // copied into the system buffer
    NTSTATUS create_status = STATUS_SUCCESS;

    // What the target saw.
    std::vector<UCHAR> majors;
    std::vector<UCHAR> input;  // system buffer contents on arrival (input length)
    ULONG code = 0;
    ULONG output_length = 0;
    PIRP pending = nullptr;
    int cancel_calls = 0;
    bool lock_held_in_cancel = false;
    BOOLEAN cancel_flag_in_cancel = FALSE;
    KIRQL cancel_irql = 0xFF;
};

TargetScript* g_target = nullptr;

void CompleteWith(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
}

VOID NTAPI TargetCancel(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    TargetScript& target = *g_target;
    ++target.cancel_calls;
    target.lock_held_in_cancel = simpc::Pc::Current().io().CancelLockHeld();
    target.cancel_flag_in_cancel = irp->Cancel;
    target.cancel_irql = irp->CancelIrql;
    target.pending = nullptr;
    if (target.cancel_releases_lock) {
        IoReleaseCancelSpinLock(irp->CancelIrql);
    }
    CompleteWith(irp, STATUS_CANCELLED, 0);
}

NTSTATUS NTAPI TargetDispatch(PDEVICE_OBJECT device, PIRP irp) {
    (void)device;
    TargetScript& target = *g_target;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    target.majors.push_back(stack->MajorFunction);
    if (stack->MajorFunction == IRP_MJ_CREATE) {
        CompleteWith(irp, target.create_status, 0);
        return target.create_status;
    }
    if (stack->MajorFunction != IRP_MJ_DEVICE_CONTROL &&
        stack->MajorFunction != IRP_MJ_INTERNAL_DEVICE_CONTROL) {
        CompleteWith(irp, STATUS_SUCCESS, 0);
        return STATUS_SUCCESS;
    }
    target.code = stack->Parameters.DeviceIoControl.IoControlCode;
    target.output_length = stack->Parameters.DeviceIoControl.OutputBufferLength;
    const auto* system = static_cast<const UCHAR*>(irp->AssociatedIrp.SystemBuffer);
    if (system != nullptr) {
        target.input.assign(system, system + stack->Parameters.DeviceIoControl.InputBufferLength);
    }
    if (target.pend) {
        IoMarkIrpPending(irp);
        if (target.cancellable) {
            IoSetCancelRoutine(irp, TargetCancel);
        }
        target.pending = irp;
        return STATUS_PENDING;
    }
    if (!target.reply.empty()) {
        std::memcpy(irp->AssociatedIrp.SystemBuffer, target.reply.data(), target.reply.size());
    }
    CompleteWith(irp, target.status, target.reply.size());
    return target.status;
}

// The target completes the request it left pending.
void CompletePending(NTSTATUS status) {
    PIRP irp = g_target->pending;
    g_target->pending = nullptr;
    IoSetCancelRoutine(irp, nullptr);
    CompleteWith(irp, status, 0);
}

VOID NTAPI TargetUnload(PDRIVER_OBJECT driver) {
    while (driver->DeviceObject != nullptr) {
        IoDeleteDevice(driver->DeviceObject);
    }
}

NTSTATUS NTAPI TargetEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
    (void)registry_path;
    for (UCHAR major : {IRP_MJ_CREATE, IRP_MJ_CLEANUP, IRP_MJ_CLOSE, IRP_MJ_DEVICE_CONTROL,
                        IRP_MJ_INTERNAL_DEVICE_CONTROL}) {
        driver->MajorFunction[major] = TargetDispatch;
    }
    driver->DriverUnload = TargetUnload;
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, L"\\Device\\IoTarget");
    PDEVICE_OBJECT device = nullptr;
    return IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
}

// ---- the sender's side ---------------------------------------------------------

// One IRP from IoAllocateIrp, sent to the target with a completion routine.
struct Sent {
    KEVENT event;
    PIRP irp = nullptr;
    NTSTATUS returned = 0;  // what IofCallDriver returned
    int calls = 0;
    NTSTATUS seen_status = 0;
    BOOLEAN seen_cancel = FALSE;
    PDEVICE_OBJECT seen_device = reinterpret_cast<PDEVICE_OBJECT>(1);
    NTSTATUS routine_result = STATUS_MORE_PROCESSING_REQUIRED;
    bool free_in_routine = false;
};

NTSTATUS NTAPI RecordCompletion(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
    auto* sent = static_cast<Sent*>(context);
    ++sent->calls;
    sent->seen_status = irp->IoStatus.Status;
    sent->seen_cancel = irp->Cancel;
    sent->seen_device = device;
    KeSetEvent(&sent->event, IO_NO_INCREMENT, FALSE);
    if (sent->free_in_routine) {
        IoFreeIrp(irp);
        sent->irp = nullptr;
    }
    return sent->routine_result;
}

struct InvokeOn {
    bool success;
    bool error;
    bool cancel;
};

class IoManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_target = &target_;
        ASSERT_EQ(pc_.loader().LoadBuiltin("IoTarget", TargetEntry), STATUS_SUCCESS);
        device_ = pc_.objects().ResolveDevice("\\Device\\IoTarget");
        ASSERT_NE(device_, nullptr);
    }
    void TearDown() override {
        if (pc_.loader().IsLoaded("IoTarget")) {
            EXPECT_EQ(pc_.loader().Unload("IoTarget"), STATUS_SUCCESS);
        }
        EXPECT_THAT(pc_.verifier().Findings(), IsEmpty());
        g_target = nullptr;
    }

    void Send(Sent& sent, InvokeOn on = {true, true, true}) {
        KeInitializeEvent(&sent.event, NotificationEvent, FALSE);
        sent.irp = IoAllocateIrp(static_cast<CCHAR>(device_->StackSize + 1), FALSE);
        ASSERT_NE(sent.irp, nullptr);
        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(sent.irp);
        next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
        next->Parameters.DeviceIoControl.IoControlCode = kTargetCode;
        IoSetCompletionRoutine(sent.irp, RecordCompletion, &sent, on.success, on.error, on.cancel);
        sent.returned = IofCallDriver(device_, sent.irp);
    }

    simpc::Pc pc_;
    TargetScript target_;
    PDEVICE_OBJECT device_ = nullptr;
};

const char kCompletedPastOwner[] =
    "an IRP from IoAllocateIrp completed past its owner: no completion routine returned "
    "STATUS_MORE_PROCESSING_REQUIRED";

// ---- completion routines -----------------------------------------------------------

enum class Outcome { kSuccess, kError, kCancelled };

struct InvokeCase {
    const char* name;
    Outcome outcome;
    InvokeOn on;
    bool invoked;
};

class CompletionInvokeTest : public IoManagerTest,
                             public ::testing::WithParamInterface<InvokeCase> {};

TEST_P(CompletionInvokeTest, RoutineRunsOnlyWhenItsFlagMatchesTheOutcome) {
    const InvokeCase& c = GetParam();
    target_.pend = c.outcome == Outcome::kCancelled;
    target_.cancellable = true;
    target_.status = c.outcome == Outcome::kError ? STATUS_INVALID_PARAMETER : STATUS_SUCCESS;
    Sent sent;
    Send(sent, c.on);
    if (c.outcome == Outcome::kCancelled) {
        EXPECT_EQ(sent.returned, STATUS_PENDING);
        EXPECT_TRUE(IoCancelIrp(sent.irp));
    }
    const NTSTATUS expected = c.outcome == Outcome::kSuccess ? STATUS_SUCCESS
                              : c.outcome == Outcome::kError ? STATUS_INVALID_PARAMETER
                                                             : STATUS_CANCELLED;
    EXPECT_EQ(sent.irp->IoStatus.Status, expected);
    if (c.invoked) {
        EXPECT_EQ(sent.calls, 1);
        EXPECT_EQ(sent.seen_status, expected);
        EXPECT_EQ(sent.seen_cancel, c.outcome == Outcome::kCancelled);
        // The sender set no stack location of its own: no device of its.
        EXPECT_EQ(sent.seen_device, nullptr);
        EXPECT_THAT(pc_.verifier().Findings(), IsEmpty());
    } else {
        EXPECT_EQ(sent.calls, 0);
        EXPECT_THAT(pc_.verifier().TakeFindings(), ElementsAre(kCompletedPastOwner));
    }
    // Either way the IRP is back with its owner, who frees it.
    EXPECT_EQ(pc_.io().LiveIrpCount(), 1u);
    IoFreeIrp(sent.irp);
    EXPECT_EQ(pc_.io().LiveIrpCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, CompletionInvokeTest,
    ::testing::Values(
        InvokeCase{"SuccessOnSuccess", Outcome::kSuccess, {true, false, false}, true},
        InvokeCase{"SuccessOnErrorAndCancel", Outcome::kSuccess, {false, true, true}, false},
        InvokeCase{"ErrorOnError", Outcome::kError, {false, true, false}, true},
        InvokeCase{"ErrorOnSuccessAndCancel", Outcome::kError, {true, false, true}, false},
        InvokeCase{"CancelledOnCancel", Outcome::kCancelled, {false, false, true}, true},
        // STATUS_CANCELLED is an error status.
        InvokeCase{"CancelledOnError", Outcome::kCancelled, {false, true, false}, true},
        InvokeCase{"CancelledOnSuccess", Outcome::kCancelled, {true, false, false}, false}),
    [](const ::testing::TestParamInfo<InvokeCase>& info) { return info.param.name; });

struct ResultCase {
    const char* name;
    NTSTATUS routine_result;
    bool free_in_routine;
    const char* finding;  // nullptr: none
};

class CompletionResultTest : public IoManagerTest,
                             public ::testing::WithParamInterface<ResultCase> {};

TEST_P(CompletionResultTest, OnlyMoreProcessingRequiredGivesTheIrpBack) {
    const ResultCase& c = GetParam();
    Sent sent;
    sent.routine_result = c.routine_result;
    sent.free_in_routine = c.free_in_routine;
    Send(sent);
    EXPECT_EQ(sent.calls, 1);
    if (c.finding == nullptr) {
        EXPECT_THAT(pc_.verifier().Findings(), IsEmpty());
    } else {
        EXPECT_THAT(pc_.verifier().TakeFindings(), ElementsAre(c.finding));
    }
    if (sent.irp != nullptr) {
        IoFreeIrp(sent.irp);
    }
    EXPECT_EQ(pc_.io().LiveIrpCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Results, CompletionResultTest,
    ::testing::Values(
        ResultCase{"MoreProcessingKeepsIt", STATUS_MORE_PROCESSING_REQUIRED, false, nullptr},
        ResultCase{"FreedInRoutineWithMoreProcessing", STATUS_MORE_PROCESSING_REQUIRED, true,
                   nullptr},
        ResultCase{"SuccessLetsItPassItsOwner", STATUS_SUCCESS, false, kCompletedPastOwner},
        ResultCase{"FreedInRoutineWithSuccess", STATUS_SUCCESS, true,
                   "completion routine freed the IRP without returning "
                   "STATUS_MORE_PROCESSING_REQUIRED"}),
    [](const ::testing::TestParamInfo<ResultCase>& info) { return info.param.name; });

// ---- cancellation --------------------------------------------------------------------

TEST_F(IoManagerTest, CancelCallsTheCancelRoutineUnderTheCancelLock) {
    target_.pend = true;
    target_.cancellable = true;
    Sent sent;
    Send(sent);
    ASSERT_EQ(sent.returned, STATUS_PENDING);
    EXPECT_EQ(sent.calls, 0);

    EXPECT_TRUE(IoCancelIrp(sent.irp));
    EXPECT_EQ(target_.cancel_calls, 1);
    EXPECT_TRUE(target_.lock_held_in_cancel);
    EXPECT_TRUE(target_.cancel_flag_in_cancel);
    // The IRQL to go back to when the routine releases the lock: the
    // canceller's, PASSIVE_LEVEL here.
    EXPECT_EQ(target_.cancel_irql, PASSIVE_LEVEL);
    EXPECT_FALSE(pc_.io().CancelLockHeld());
    EXPECT_EQ(sent.irp->CancelRoutine, nullptr);
    EXPECT_EQ(sent.calls, 1);
    EXPECT_EQ(sent.seen_status, STATUS_CANCELLED);
    EXPECT_EQ(KeWaitForSingleObject(&sent.event, Executive, KernelMode, FALSE, nullptr),
              STATUS_SUCCESS);
    IoFreeIrp(sent.irp);
}

TEST_F(IoManagerTest, CancelWithoutCancelRoutineOnlyMarksTheIrp) {
    target_.pend = true;
    Sent sent;
    Send(sent);
    ASSERT_EQ(sent.returned, STATUS_PENDING);

    EXPECT_FALSE(IoCancelIrp(sent.irp));
    EXPECT_TRUE(sent.irp->Cancel);
    EXPECT_EQ(sent.calls, 0);
    EXPECT_FALSE(pc_.io().CancelLockHeld());

    // The target finishes the request its own way; the sender sees the mark.
    CompletePending(STATUS_SUCCESS);
    EXPECT_EQ(sent.calls, 1);
    EXPECT_EQ(sent.seen_status, STATUS_SUCCESS);
    EXPECT_TRUE(sent.seen_cancel);
    IoFreeIrp(sent.irp);
}

TEST_F(IoManagerTest, CancelOfACompletedIrpCallsNothing) {
    Sent sent;
    Send(sent);
    ASSERT_EQ(sent.calls, 1);
    EXPECT_FALSE(IoCancelIrp(sent.irp));
    EXPECT_EQ(sent.calls, 1);
    EXPECT_EQ(target_.cancel_calls, 0);
    IoFreeIrp(sent.irp);
}

TEST_F(IoManagerTest, CancelRoutineThatKeepsTheLockIsReported) {
    target_.pend = true;
    target_.cancellable = true;
    target_.cancel_releases_lock = false;
    Sent sent;
    Send(sent);
    EXPECT_TRUE(IoCancelIrp(sent.irp));
    EXPECT_THAT(pc_.verifier().TakeFindings(),
                ElementsAre("a cancel routine returned without releasing the cancel spin lock"));
    EXPECT_FALSE(pc_.io().CancelLockHeld());
    IoFreeIrp(sent.irp);
}

// ---- IRP ownership -------------------------------------------------------------------

TEST_F(IoManagerTest, FreeingAnIrpThatTheTargetStillOwnsIsReportedAndKeepsIt) {
    target_.pend = true;
    Sent sent;
    Send(sent);
    ASSERT_EQ(sent.returned, STATUS_PENDING);

    IoFreeIrp(sent.irp);
    EXPECT_THAT(pc_.verifier().TakeFindings(),
                ElementsAre("IoFreeIrp of an IRP that a driver still owns: its completion "
                            "routine has not run"));
    EXPECT_EQ(pc_.io().LiveIrpCount(), 1u);

    // The target can still complete it, and then its owner frees it.
    CompletePending(STATUS_SUCCESS);
    EXPECT_EQ(sent.calls, 1);
    IoFreeIrp(sent.irp);
    EXPECT_EQ(pc_.io().LiveIrpCount(), 0u);
}

// ---- waits in virtual time -------------------------------------------------------

struct WaitCase {
    const char* name;
    bool with_timeout;
    simpc::Nanoseconds timeout;  // relative
    bool set_by_event;
    simpc::Nanoseconds set_at;  // relative to the start of the wait
    bool signalled_before;
    NTSTATUS status;
    simpc::Nanoseconds returns_after;
    std::vector<simpc::Nanoseconds> ran;  // scheduled events that ran, by time
};

constexpr simpc::Nanoseconds kMarker = 100 * kMillisecond;  // an event due early in every wait

class WaitTest : public IoManagerTest, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(WaitTest, ReturnsWhenSignalledOrAtTheDeadline) {
    const WaitCase& c = GetParam();
    pc_.clock().Spend(7 * kMillisecond);  // a start that is not time 0
    const simpc::Nanoseconds start = pc_.clock().Now();
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, c.signalled_before ? TRUE : FALSE);
    std::vector<simpc::Nanoseconds> ran;
    auto note = [&] { ran.push_back(pc_.clock().Now() - start); };
    pc_.clock().At(start + kMarker, note);
    if (c.set_by_event) {
        pc_.clock().At(start + c.set_at, [&] {
            note();
            KeSetEvent(&event, IO_NO_INCREMENT, FALSE);
        });
    }
    pc_.clock().At(start + 10 * kSecond, note);

    LARGE_INTEGER timeout;
    timeout.QuadPart = -static_cast<LONGLONG>(c.timeout / 100);
    const NTSTATUS status = KeWaitForSingleObject(&event, Executive, KernelMode, FALSE,
                                                  c.with_timeout ? &timeout : nullptr);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(pc_.clock().Now() - start, c.returns_after);
    EXPECT_EQ(ran, c.ran);
    pc_.clock().Clear();
}

INSTANTIATE_TEST_SUITE_P(
    Waits, WaitTest,
    ::testing::Values(
        WaitCase{"TimeoutAtExactlyTheDeadline",
                 true,
                 kSecond,
                 false,
                 0,
                 false,
                 STATUS_TIMEOUT,
                 kSecond,
                 {kMarker}},
        WaitCase{"SetBeforeTheDeadline",
                 true,
                 kSecond,
                 true,
                 500 * kMillisecond,
                 false,
                 STATUS_SUCCESS,
                 500 * kMillisecond,
                 {kMarker, 500 * kMillisecond}},
        WaitCase{"SetAtTheDeadlineStillCounts",
                 true,
                 kSecond,
                 true,
                 kSecond,
                 false,
                 STATUS_SUCCESS,
                 kSecond,
                 {kMarker, kSecond}},
        WaitCase{"SetAfterTheDeadline",
                 true,
                 kSecond,
                 true,
                 2 * kSecond,
                 false,
                 STATUS_TIMEOUT,
                 kSecond,
                 {kMarker}},
        WaitCase{"NoTimeoutUntilSet",
                 false,
                 0,
                 true,
                 3 * kSecond,
                 false,
                 STATUS_SUCCESS,
                 3 * kSecond,
                 {kMarker, 3 * kSecond}},
        WaitCase{"AlreadySignalled", true, kSecond, false, 0, true, STATUS_SUCCESS, 0, {}}),
    [](const ::testing::TestParamInfo<WaitCase>& info) { return info.param.name; });

// ---- built device-control requests ---------------------------------------------------

struct BuiltCase {
    const char* name;
    bool internal;
    bool pend;
    NTSTATUS status;
};

class BuiltRequestTest : public IoManagerTest, public ::testing::WithParamInterface<BuiltCase> {};

TEST_P(BuiltRequestTest, CompletionFillsTheStatusBlockSetsTheEventAndFreesTheIrp) {
    const BuiltCase& c = GetParam();
    target_.pend = c.pend;
    target_.status = c.status;
    target_.reply = {0xA1, 0xA2, 0xA3};
    UCHAR input[2] = {0x11, 0x22};
    UCHAR output[8];
    std::memset(output, 0xEE, sizeof(output));
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    IO_STATUS_BLOCK iosb;
    iosb.Status = 0x12345678;
    iosb.Information = 99;

    PIRP irp =
        IoBuildDeviceIoControlRequest(kTargetCode, device_, input, sizeof(input), output,
                                      sizeof(output), c.internal ? TRUE : FALSE, &event, &iosb);
    ASSERT_NE(irp, nullptr);
    const NTSTATUS returned = IofCallDriver(device_, irp);
    EXPECT_THAT(target_.majors,
                ElementsAre(c.internal ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL));
    EXPECT_EQ(target_.code, kTargetCode);
    EXPECT_EQ(target_.output_length, sizeof(output));
    EXPECT_THAT(target_.input, ElementsAre(0x11, 0x22));
    if (c.pend) {
        EXPECT_EQ(returned, STATUS_PENDING);
        EXPECT_EQ(event.Header.SignalState, 0);
        pc_.clock().After(kMillisecond, [&] {
            std::memcpy(target_.pending->AssociatedIrp.SystemBuffer, target_.reply.data(), 3);
            PIRP pending = target_.pending;
            target_.pending = nullptr;
            CompleteWith(pending, c.status, 3);
        });
    } else {
        EXPECT_EQ(returned, c.status);
    }
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(pc_.clock().Now(), c.pend ? kMillisecond : 0);
    EXPECT_EQ(iosb.Status, c.status);
    EXPECT_EQ(iosb.Information, 3u);
    if (NT_ERROR(c.status)) {
        EXPECT_THAT(output, ::testing::Each(0xEE));
    } else {
        EXPECT_THAT(output, ElementsAre(0xA1, 0xA2, 0xA3, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE));
    }
    EXPECT_EQ(pc_.io().LiveIrpCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, BuiltRequestTest,
    ::testing::Values(BuiltCase{"InternalAtOnce", true, false, STATUS_SUCCESS},
                      BuiltCase{"ExternalAtOnce", false, false, STATUS_SUCCESS},
                      BuiltCase{"InternalPending", true, true, STATUS_SUCCESS},
                      BuiltCase{"InternalError", true, false, STATUS_INVALID_PARAMETER},
                      BuiltCase{"InternalPendingError", true, true, STATUS_UNSUCCESSFUL}),
    [](const ::testing::TestParamInfo<BuiltCase>& info) { return info.param.name; });

TEST_F(IoManagerTest, BuildingARequestCanBeMadeToFail) {
    pc_.faults().FailNext(simpc::FaultPoint::BuildDeviceIoControlRequest);
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    IO_STATUS_BLOCK iosb;
    EXPECT_EQ(IoBuildDeviceIoControlRequest(kTargetCode, device_, nullptr, 0, nullptr, 0, TRUE,
                                            &event, &iosb),
              nullptr);
    EXPECT_THAT(target_.majors, IsEmpty());
    EXPECT_EQ(pc_.io().LiveIrpCount(), 0u);
}

// ---- device lookup and references ------------------------------------------------------

class LookupTest : public IoManagerTest {
  protected:
    NTSTATUS Lookup(const wchar_t* text, PFILE_OBJECT* file, PDEVICE_OBJECT* device) {
        UNICODE_STRING name;
        RtlInitUnicodeString(&name, text);
        return IoGetDeviceObjectPointer(&name, STANDARD_RIGHTS_ALL, file, device);
    }
};

TEST_F(LookupTest, ReferenceKeepsTheDeviceOpenUntilDereferenced) {
    PFILE_OBJECT file = nullptr;
    PDEVICE_OBJECT device = nullptr;
    ASSERT_EQ(Lookup(L"\\Device\\IoTarget", &file, &device), STATUS_SUCCESS);
    EXPECT_EQ(device, device_);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->DeviceObject, device_);
    // The lookup's own handle is opened and closed again; the reference stays.
    EXPECT_THAT(target_.majors, ElementsAre(IRP_MJ_CREATE, IRP_MJ_CLEANUP));
    EXPECT_EQ(pc_.io().LookupReferencesHeld(), 1u);
    EXPECT_EQ(device_->ReferenceCount, 1);
    // A driver whose device is referenced cannot unload.
    EXPECT_EQ(pc_.loader().Unload("IoTarget"), STATUS_DEVICE_BUSY);

    EXPECT_EQ(ObDereferenceObject(file), 0);
    EXPECT_THAT(target_.majors, ElementsAre(IRP_MJ_CREATE, IRP_MJ_CLEANUP, IRP_MJ_CLOSE));
    EXPECT_EQ(pc_.io().LookupReferencesHeld(), 0u);
    EXPECT_EQ(device_->ReferenceCount, 0);
    EXPECT_EQ(pc_.loader().Unload("IoTarget"), STATUS_SUCCESS);
}

TEST_F(LookupTest, EachLookupHoldsItsOwnReference) {
    PFILE_OBJECT first = nullptr;
    PFILE_OBJECT second = nullptr;
    PDEVICE_OBJECT device = nullptr;
    ASSERT_EQ(Lookup(L"\\Device\\IoTarget", &first, &device), STATUS_SUCCESS);
    ASSERT_EQ(Lookup(L"\\Device\\IoTarget", &second, &device), STATUS_SUCCESS);
    EXPECT_NE(first, second);
    EXPECT_EQ(pc_.io().LookupReferencesHeld(), 2u);
    EXPECT_EQ(device_->ReferenceCount, 2);

    ObDereferenceObject(first);
    EXPECT_EQ(pc_.io().LookupReferencesHeld(), 1u);
    EXPECT_EQ(device_->ReferenceCount, 1);
    ObDereferenceObject(second);
    EXPECT_EQ(device_->ReferenceCount, 0);
    EXPECT_EQ(std::count(target_.majors.begin(), target_.majors.end(), IRP_MJ_CLOSE), 2);
}

struct LookupFailure {
    const char* name;
    const wchar_t* device;
    NTSTATUS create_status;
    bool fault;
    NTSTATUS status;
    std::vector<UCHAR> seen;
};

class LookupFailureTest : public LookupTest, public ::testing::WithParamInterface<LookupFailure> {};

TEST_P(LookupFailureTest, FailsWithoutLeavingAReference) {
    const LookupFailure& c = GetParam();
    target_.create_status = c.create_status;
    if (c.fault) {
        pc_.faults().FailNext(simpc::FaultPoint::GetDeviceObjectPointer);
    }
    PFILE_OBJECT file = nullptr;
    PDEVICE_OBJECT device = nullptr;
    EXPECT_EQ(Lookup(c.device, &file, &device), c.status);
    EXPECT_EQ(target_.majors, c.seen);
    EXPECT_EQ(pc_.io().LookupReferencesHeld(), 0u);
    EXPECT_EQ(device_->ReferenceCount, 0);
}

INSTANTIATE_TEST_SUITE_P(Failures, LookupFailureTest,
                         ::testing::Values(LookupFailure{"NoSuchDevice",
                                                         L"\\Device\\IoTarget7",
                                                         STATUS_SUCCESS,
                                                         false,
                                                         STATUS_OBJECT_NAME_NOT_FOUND,
                                                         {}},
                                           LookupFailure{"CreateRefused",
                                                         L"\\Device\\IoTarget",
                                                         STATUS_ACCESS_DENIED,
                                                         false,
                                                         STATUS_ACCESS_DENIED,
                                                         {IRP_MJ_CREATE}},
                                           LookupFailure{"Injected",
                                                         L"\\Device\\IoTarget",
                                                         STATUS_SUCCESS,
                                                         true,
                                                         STATUS_INSUFFICIENT_RESOURCES,
                                                         {}}),
                         [](const ::testing::TestParamInfo<LookupFailure>& info) {
                             return info.param.name;
                         });

}  // namespace
