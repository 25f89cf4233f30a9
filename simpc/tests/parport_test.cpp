// The system parallel-port driver of the simulated PC as a kernel client
// sees it: discovery, the routines of its information reply, allocate and
// free requests, other clients that come and go in virtual time, the
// test's knobs, its checks of client faults, and unload.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "parallel_port_driver.h"
#include "scripted_port.h"
#include "simpc/pc.h"

namespace {

using simpc::Nanoseconds;
using simpc::ParallelPortConfig;
using simpc::ParallelPortDriver;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr Nanoseconds kMillisecond = 1000 * 1000;
constexpr Nanoseconds kSecond = 1000 * kMillisecond;
constexpr LONGLONG kOneSecondRelative = -10 * 1000 * 1000;  // 100 ns units

// ---- the client driver -------------------------------------------------------------

// What the client keeps of each port it has found.
struct ClientPort {
    PFILE_OBJECT file = nullptr;
    PDEVICE_OBJECT device = nullptr;
    PARALLEL_PORT_INFORMATION info{};
};

struct ClientState {
    ClientPort ports[2];
};

ClientState* g_client = nullptr;

VOID NTAPI ClientUnload(PDRIVER_OBJECT driver) {
    (void)driver;
    for (ClientPort& port : g_client->ports) {
        if (port.file != nullptr) {
            ObDereferenceObject(port.file);
            port.file = nullptr;
        }
    }
}

NTSTATUS NTAPI ClientEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path) {
    (void)registry_path;
    driver->DriverUnload = ClientUnload;
    return STATUS_SUCCESS;
}

// One allocate or free request the client sent, from IoAllocateIrp.
struct Request {
    KEVENT event;
    PIRP irp = nullptr;
    NTSTATUS returned = 0;  // IofCallDriver's result
    bool completed = false;
    NTSTATUS status = 0;
    Nanoseconds completed_at = 0;
    bool free_in_routine = false;
};

NTSTATUS NTAPI RequestCompleted(PDEVICE_OBJECT device, PIRP irp, PVOID context) {
    (void)device;
    auto* request = static_cast<Request*>(context);
    request->completed = true;
    request->status = irp->IoStatus.Status;
    request->completed_at = simpc::Pc::Current().clock().Now();
    if (request->free_in_routine) {
        IoFreeIrp(irp);
        request->irp = nullptr;
    }
    KeSetEvent(&request->event, IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

const std::vector<ParallelPortConfig> kTwoPorts = {{0x378, 0x378, 8}, {0x278, 0x278, 8}};

class ParportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_client = &client_;
        Boot(kTwoPorts);
        ASSERT_EQ(pc_.loader().LoadBuiltin("ParportClient", ClientEntry), STATUS_SUCCESS);
    }
    void TearDown() override {
        EXPECT_EQ(pc_.loader().Unload("ParportClient"), STATUS_SUCCESS);
        parport_.reset();
        EXPECT_THAT(pc_.verifier().Findings(), IsEmpty());
        g_client = nullptr;
    }

    void Boot(std::vector<ParallelPortConfig> ports) {
        parport_.reset();
        parport_ = std::make_unique<ParallelPortDriver>(pc_, std::move(ports));
    }

    // --- discovery ---
    NTSTATUS Attach(int port) {
        std::u16string text =
            u"\\Device\\ParallelPort" + std::u16string(1, static_cast<char16_t>(u'0' + port));
        UNICODE_STRING name;
        name.Buffer = reinterpret_cast<PWSTR>(text.data());
        name.Length = static_cast<USHORT>(text.size() * sizeof(WCHAR));
        name.MaximumLength = name.Length;
        ClientPort& p = client_.ports[port];
        return IoGetDeviceObjectPointer(&name, STANDARD_RIGHTS_ALL, &p.file, &p.device);
    }
    void Detach(int port) {
        ClientPort& p = client_.ports[port];
        ObDereferenceObject(p.file);
        p.file = nullptr;
    }
    // The information request, as a kernel client sends it.
    IO_STATUS_BLOCK QueryInfo(int port, void* output, ULONG length) {
        KEVENT event;
        KeInitializeEvent(&event, NotificationEvent, FALSE);
        IO_STATUS_BLOCK iosb{};
        PIRP irp = IoBuildDeviceIoControlRequest(IOCTL_INTERNAL_GET_PARALLEL_PORT_INFO,
                                                 client_.ports[port].device, nullptr, 0, output,
                                                 length, TRUE, &event, &iosb);
        EXPECT_NE(irp, nullptr);
        if (NT_SUCCESS(IofCallDriver(client_.ports[port].device, irp))) {
            KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
        }
        return iosb;
    }
    void Connect(int port) {
        ASSERT_EQ(Attach(port), STATUS_SUCCESS);
        ClientPort& p = client_.ports[port];
        ASSERT_EQ(QueryInfo(port, &p.info, sizeof(p.info)).Status, STATUS_SUCCESS);
    }

    // --- the routines ---
    BOOLEAN Try(int port = 0) {
        const PARALLEL_PORT_INFORMATION& info = client_.ports[port].info;
        return info.TryAllocatePort(info.Context);
    }
    void FreePort(int port = 0) {
        const PARALLEL_PORT_INFORMATION& info = client_.ports[port].info;
        info.FreePort(info.Context);
    }
    ULONG QueryWaiters(int port = 0) {
        const PARALLEL_PORT_INFORMATION& info = client_.ports[port].info;
        return info.QueryNumWaiters(info.Context);
    }

    // --- requests ---
    std::unique_ptr<Request> Send(ULONG code, int port = 0,
                                  UCHAR major = IRP_MJ_INTERNAL_DEVICE_CONTROL) {
        auto request = std::make_unique<Request>();
        KeInitializeEvent(&request->event, NotificationEvent, FALSE);
        PDEVICE_OBJECT device = client_.ports[port].device;
        request->irp = IoAllocateIrp(static_cast<CCHAR>(device->StackSize + 1), FALSE);
        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(request->irp);
        next->MajorFunction = major;
        next->Parameters.DeviceIoControl.IoControlCode = code;
        IoSetCompletionRoutine(request->irp, RequestCompleted, request.get(), TRUE, TRUE, TRUE);
        request->returned = IofCallDriver(device, request->irp);
        return request;
    }
    NTSTATUS Wait(Request& request, bool one_second = false) {
        LARGE_INTEGER timeout;
        timeout.QuadPart = kOneSecondRelative;
        return KeWaitForSingleObject(&request.event, Executive, KernelMode, FALSE,
                                     one_second ? &timeout : nullptr);
    }
    void Release(Request& request) {
        ASSERT_TRUE(request.completed);
        IoFreeIrp(request.irp);
        request.irp = nullptr;
    }
    // Sends a request, waits for it without limit, frees it; its status.
    NTSTATUS Call(ULONG code, int port = 0) {
        std::unique_ptr<Request> request = Send(code, port);
        Wait(*request);
        Release(*request);
        return request->status;
    }
    // The client waits on something that does not come: time passes and the
    // scheduled events run.
    void Idle(Nanoseconds duration) {
        KEVENT never;
        KeInitializeEvent(&never, NotificationEvent, FALSE);
        LARGE_INTEGER timeout;
        timeout.QuadPart = -static_cast<LONGLONG>(duration / 100);
        EXPECT_EQ(KeWaitForSingleObject(&never, Executive, KernelMode, FALSE, &timeout),
                  STATUS_TIMEOUT);
    }

    std::vector<std::string> Log(int port = 0) { return parport_->Log(port); }

    simpc::Pc pc_;
    ClientState client_;
    std::unique_ptr<ParallelPortDriver> parport_;
};

// ---- devices and the information reply -------------------------------------------

TEST_F(ParportTest, OneDevicePerPortWhileLoaded) {
    EXPECT_TRUE(pc_.objects().DeviceExists("\\Device\\ParallelPort0"));
    EXPECT_TRUE(pc_.objects().DeviceExists("\\Device\\ParallelPort1"));
    EXPECT_FALSE(pc_.objects().DeviceExists("\\Device\\ParallelPort2"));
    Connect(0);
    Connect(1);
    EXPECT_NE(client_.ports[0].info.Context, client_.ports[1].info.Context);
    Detach(0);
    Detach(1);

    parport_.reset();
    EXPECT_FALSE(pc_.objects().DeviceExists("\\Device\\ParallelPort0"));
    EXPECT_FALSE(pc_.objects().DeviceExists("\\Device\\ParallelPort1"));

    // A machine whose parallel driver has no port: nothing to find.
    Boot({});
    EXPECT_FALSE(pc_.objects().DeviceExists("\\Device\\ParallelPort0"));
    EXPECT_EQ(Attach(0), STATUS_OBJECT_NAME_NOT_FOUND);
}

class InformationTest : public ParportTest,
                        public ::testing::WithParamInterface<ParallelPortConfig> {};

TEST_P(InformationTest, ReplyDescribesThePort) {
    Boot({GetParam()});
    ASSERT_EQ(Attach(0), STATUS_SUCCESS);
    PARALLEL_PORT_INFORMATION info{};
    const IO_STATUS_BLOCK iosb = QueryInfo(0, &info, sizeof(info));
    EXPECT_EQ(iosb.Status, STATUS_SUCCESS);
    EXPECT_EQ(iosb.Information, sizeof(info));
    EXPECT_EQ(static_cast<uint64_t>(info.OriginalController.QuadPart),
              GetParam().original_controller);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(info.Controller), GetParam().controller);
    EXPECT_EQ(info.SpanOfController, GetParam().span);
    EXPECT_NE(info.TryAllocatePort, nullptr);
    EXPECT_NE(info.FreePort, nullptr);
    EXPECT_NE(info.QueryNumWaiters, nullptr);
    EXPECT_NE(info.Context, nullptr);
    EXPECT_EQ(parport_->InfoRequests(0), 1);
    Detach(0);
}

INSTANTIATE_TEST_SUITE_P(Configs, InformationTest,
                         ::testing::Values(ParallelPortConfig{0x378, 0x378, 8},
                                           ParallelPortConfig{0x3BC, 0x3BC, 4},
                                           // a port whose bus address the HAL maps elsewhere
                                           ParallelPortConfig{0x100000278ull, 0xE278, 8}));

enum class InfoTrouble { kFault, kShortOutput, kNoOutput, kWithoutRoutines };

struct InfoTroubleCase {
    const char* name;
    InfoTrouble trouble;
    NTSTATUS status;
};

class InformationTroubleTest : public ParportTest,
                               public ::testing::WithParamInterface<InfoTroubleCase> {};

TEST_P(InformationTroubleTest, AnswersAsScriptedAndRecoversAfterwards) {
    const InfoTroubleCase& c = GetParam();
    ASSERT_EQ(Attach(0), STATUS_SUCCESS);
    if (c.trouble == InfoTrouble::kFault) {
        pc_.faults().FailNext(simpc::FaultPoint::ParallelPortInfo);
    }
    parport_->ReplyWithoutRoutines(0, c.trouble == InfoTrouble::kWithoutRoutines);
    PARALLEL_PORT_INFORMATION info{};
    const ULONG length = c.trouble == InfoTrouble::kShortOutput ? sizeof(info) - 1
                         : c.trouble == InfoTrouble::kNoOutput  ? 0
                                                                : sizeof(info);
    const IO_STATUS_BLOCK iosb =
        QueryInfo(0, c.trouble == InfoTrouble::kNoOutput ? nullptr : &info, length);
    EXPECT_EQ(iosb.Status, c.status);
    if (c.trouble == InfoTrouble::kWithoutRoutines) {
        EXPECT_EQ(info.TryAllocatePort, nullptr);
        EXPECT_EQ(info.FreePort, nullptr);
        EXPECT_EQ(info.QueryNumWaiters, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(info.Controller), 0x378u);
        EXPECT_NE(info.Context, nullptr);
    } else {
        EXPECT_EQ(iosb.Information, 0u);
        EXPECT_EQ(info.TryAllocatePort, nullptr);  // nothing was copied back
    }

    parport_->ReplyWithoutRoutines(0, false);
    EXPECT_EQ(QueryInfo(0, &info, sizeof(info)).Status, STATUS_SUCCESS);
    EXPECT_NE(info.TryAllocatePort, nullptr);
    EXPECT_EQ(parport_->InfoRequests(0), 2);
    Detach(0);
}

INSTANTIATE_TEST_SUITE_P(
    Troubles, InformationTroubleTest,
    ::testing::Values(
        InfoTroubleCase{"InjectedFault", InfoTrouble::kFault, STATUS_UNSUCCESSFUL},
        InfoTroubleCase{"ShortOutput", InfoTrouble::kShortOutput, STATUS_BUFFER_TOO_SMALL},
        InfoTroubleCase{"NoOutput", InfoTrouble::kNoOutput, STATUS_BUFFER_TOO_SMALL},
        InfoTroubleCase{"WithoutRoutines", InfoTrouble::kWithoutRoutines, STATUS_SUCCESS}),
    [](const ::testing::TestParamInfo<InfoTroubleCase>& info) { return info.param.name; });

struct OtherRequestCase {
    const char* name;
    UCHAR major;
    ULONG code;
};

class OtherRequestTest : public ParportTest,
                         public ::testing::WithParamInterface<OtherRequestCase> {};

TEST_P(OtherRequestTest, IsAnInvalidDeviceRequest) {
    Connect(0);
    std::unique_ptr<Request> request = Send(GetParam().code, 0, GetParam().major);
    EXPECT_EQ(request->returned, STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(request->status, STATUS_INVALID_DEVICE_REQUEST);
    Release(*request);
    EXPECT_EQ(parport_->Holder(0), "");
    EXPECT_EQ(parport_->AllocateRequests(0), 0);
    Detach(0);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, OtherRequestTest,
    ::testing::Values(
        // The allocation protocol is internal: not served to user-mode callers.
        OtherRequestCase{"AllocateAsDeviceControl", IRP_MJ_DEVICE_CONTROL,
                         IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE},
        OtherRequestCase{"UnknownInternalCode", IRP_MJ_INTERNAL_DEVICE_CONTROL,
                         CTL_CODE(FILE_DEVICE_PARALLEL_PORT, 99, METHOD_BUFFERED, FILE_ANY_ACCESS)},
        OtherRequestCase{"Read", IRP_MJ_READ, 0}),
    [](const ::testing::TestParamInfo<OtherRequestCase>& info) { return info.param.name; });

// ---- the routines ----------------------------------------------------------------

TEST_F(ParportTest, TryGrantsAFreePortAndFreePortGivesItBack) {
    Connect(0);
    Connect(1);
    EXPECT_TRUE(Try());
    EXPECT_TRUE(parport_->HeldByKernelClient(0));
    EXPECT_EQ(parport_->Holder(0), "kernel");
    EXPECT_EQ(parport_->Holder(1), "");
    EXPECT_EQ(QueryWaiters(), 0u);
    FreePort();
    EXPECT_EQ(parport_->Holder(0), "");
    EXPECT_THAT(Log(), ElementsAre("kernel granted by try", "kernel freed"));
    EXPECT_THAT(Log(1), IsEmpty());
    EXPECT_EQ(parport_->TryAllocateCalls(0), 1);
    EXPECT_EQ(parport_->FreePortCalls(0), 1);
    EXPECT_EQ(parport_->QueryWaitersCalls(0), 1);
    EXPECT_EQ(parport_->AllocateRequests(0) + parport_->FreeRequests(0), 0);
}

TEST_F(ParportTest, TryNeverWaitsAndNeverQueues) {
    Connect(0);
    parport_->ScheduleClient(0, 0, 5 * kMillisecond);
    Idle(kMillisecond);
    ASSERT_EQ(parport_->Holder(0), "printer");
    const Nanoseconds before = pc_.clock().Now();
    EXPECT_FALSE(Try());
    EXPECT_EQ(pc_.clock().Now(), before);
    EXPECT_EQ(parport_->Waiters(0), 0u);
    Idle(5 * kMillisecond);
    EXPECT_EQ(parport_->Holder(0), "");
    EXPECT_THAT(Log(), ElementsAre("printer granted", "kernel refused by try", "printer freed"));
}

// ---- allocate and free requests, waiters in virtual time -------------------------

TEST_F(ParportTest, AllocateOnAFreePortIsGrantedAtOnce) {
    Connect(0);
    std::unique_ptr<Request> request = Send(IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE);
    EXPECT_EQ(request->returned, STATUS_SUCCESS);
    EXPECT_TRUE(request->completed);
    Release(*request);
    EXPECT_TRUE(parport_->HeldByKernelClient(0));
    EXPECT_EQ(Call(IOCTL_INTERNAL_PARALLEL_PORT_FREE), STATUS_SUCCESS);
    EXPECT_EQ(parport_->Holder(0), "");
    EXPECT_THAT(Log(), ElementsAre("kernel granted by request", "kernel freed"));
    EXPECT_EQ(parport_->AllocateRequests(0), 1);
    EXPECT_EQ(parport_->FreeRequests(0), 1);
}

TEST_F(ParportTest, AllocateWaitsInVirtualTimeUntilTheHolderFrees) {
    Connect(0);
    parport_->ScheduleClient(0, 0, 3 * kMillisecond);
    Idle(kMillisecond);
    std::unique_ptr<Request> request = Send(IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE);
    EXPECT_EQ(request->returned, STATUS_PENDING);
    EXPECT_EQ(QueryWaiters(), 1u);
    EXPECT_EQ(parport_->Waiters(0), 1u);

    EXPECT_EQ(Wait(*request), STATUS_SUCCESS);
    EXPECT_EQ(request->status, STATUS_SUCCESS);
    EXPECT_EQ(request->completed_at, 3 * kMillisecond);
    EXPECT_EQ(pc_.clock().Now(), 3 * kMillisecond);
    Release(*request);
    EXPECT_TRUE(parport_->HeldByKernelClient(0));
    EXPECT_EQ(QueryWaiters(), 0u);
    EXPECT_THAT(Log(), ElementsAre("printer granted", "kernel queued", "printer freed",
                                   "kernel granted by request"));
    FreePort();
}

TEST_F(ParportTest, WaitersAreGrantedFirstInFirstOut) {
    Connect(0);
    ASSERT_TRUE(Try());
    parport_->ScheduleClient(0, 1 * kMillisecond, 2 * kMillisecond, "printer");
    parport_->ScheduleClient(0, 2 * kMillisecond, 1 * kMillisecond, "scanner");
    Idle(3 * kMillisecond);
    EXPECT_EQ(QueryWaiters(), 2u);
    EXPECT_EQ(parport_->Holder(0), "kernel");

    FreePort();  // at 3 ms
    EXPECT_EQ(parport_->Holder(0), "printer");
    std::unique_ptr<Request> request = Send(IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE);
    EXPECT_EQ(request->returned, STATUS_PENDING);
    EXPECT_EQ(QueryWaiters(), 2u);  // the scanner, then this request
    Wait(*request);
    // Printer frees at 5 ms, the scanner holds until 6 ms.
    EXPECT_EQ(request->completed_at, 6 * kMillisecond);
    Release(*request);

    // A waiter behind a grant by request gets the port from the free request.
    parport_->ScheduleClient(0, 7 * kMillisecond, kMillisecond, "plotter");
    Idle(2 * kMillisecond);
    EXPECT_EQ(Call(IOCTL_INTERNAL_PARALLEL_PORT_FREE), STATUS_SUCCESS);
    EXPECT_EQ(parport_->Holder(0), "plotter");
    EXPECT_THAT(Log(),
                ElementsAre("kernel granted by try", "printer queued", "scanner queued",
                            "kernel freed", "printer granted", "kernel queued", "printer freed",
                            "scanner granted", "scanner freed", "kernel granted by request",
                            "plotter queued", "kernel freed", "plotter granted"));
}

TEST_F(ParportTest, TimedOutAllocateIsCancelledAndLeavesTheQueue) {
    Connect(0);
    parport_->ScheduleClient(0, 0, 5 * kSecond);
    Idle(kMillisecond);
    std::unique_ptr<Request> request = Send(IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE);
    EXPECT_EQ(Wait(*request, true), STATUS_TIMEOUT);
    EXPECT_EQ(pc_.clock().Now(), kSecond + kMillisecond);
    EXPECT_FALSE(request->completed);

    EXPECT_TRUE(IoCancelIrp(request->irp));
    EXPECT_TRUE(request->completed);
    EXPECT_EQ(request->status, STATUS_CANCELLED);
    EXPECT_FALSE(pc_.io().CancelLockHeld());
    EXPECT_EQ(QueryWaiters(), 0u);
    Release(*request);

    Idle(5 * kSecond);
    EXPECT_EQ(parport_->Holder(0), "");  // the cancelled request got nothing
    EXPECT_THAT(Log(), ElementsAre("printer granted", "kernel queued", "kernel allocate cancelled",
                                   "printer freed"));
}

// ---- the knobs -------------------------------------------------------------------

TEST_F(ParportTest, FailedAllocateCompletesAtOnceWithoutAGrant) {
    Connect(0);
    parport_->FailAllocateRequestsWith(0, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(Call(IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(parport_->Holder(0), "");
    // Also when the port is busy: no waiting.
    parport_->ScheduleClient(0, 0, kSecond);
    Idle(kMillisecond);
    std::unique_ptr<Request> request = Send(IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE);
    EXPECT_EQ(request->returned, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(request->completed);
    Release(*request);
    EXPECT_EQ(parport_->Waiters(0), 0u);

    parport_->FailAllocateRequestsWith(0, STATUS_SUCCESS);
    EXPECT_EQ(Call(IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE), STATUS_SUCCESS);
    EXPECT_EQ(pc_.clock().Now(), kSecond);
    EXPECT_TRUE(parport_->HeldByKernelClient(0));
    FreePort();
}

TEST_F(ParportTest, FailedFreeLeavesTheGrantWithTheClient) {
    Connect(0);
    ASSERT_EQ(Call(IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE), STATUS_SUCCESS);
    parport_->ScheduleClient(0, 0, kMillisecond);
    Idle(kMillisecond);
    parport_->FailFreeRequestsWith(0, STATUS_UNSUCCESSFUL);
    EXPECT_EQ(Call(IOCTL_INTERNAL_PARALLEL_PORT_FREE), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(parport_->HeldByKernelClient(0));
    EXPECT_EQ(parport_->Waiters(0), 1u);

    parport_->FailFreeRequestsWith(0, STATUS_SUCCESS);
    EXPECT_EQ(Call(IOCTL_INTERNAL_PARALLEL_PORT_FREE), STATUS_SUCCESS);
    EXPECT_EQ(parport_->Holder(0), "printer");
    EXPECT_THAT(Log(), ElementsAre("kernel granted by request", "printer queued",
                                   "kernel free failed", "kernel freed", "printer granted"));
}

TEST_F(ParportTest, DelayedFreeGivesTheGrantBackWhenItCompletes) {
    Connect(0);
    ASSERT_TRUE(Try());
    parport_->ScheduleClient(0, 0, kMillisecond);
    parport_->DelayFreeRequests(0, 2 * kSecond);
    Idle(kMillisecond);
    std::unique_ptr<Request> request = Send(IOCTL_INTERNAL_PARALLEL_PORT_FREE);
    EXPECT_EQ(request->returned, STATUS_PENDING);
    EXPECT_EQ(Wait(*request, true), STATUS_TIMEOUT);
    EXPECT_TRUE(parport_->HeldByKernelClient(0));  // still until the free completes
    EXPECT_EQ(Wait(*request), STATUS_SUCCESS);
    EXPECT_EQ(request->completed_at, 2 * kSecond + kMillisecond);
    EXPECT_EQ(request->status, STATUS_SUCCESS);
    Release(*request);
    EXPECT_EQ(parport_->Holder(0), "printer");
    EXPECT_THAT(Log(), ElementsAre("kernel granted by try", "printer queued", "kernel free delayed",
                                   "kernel freed", "printer granted"));
}

TEST_F(ParportTest, CancelledDelayedFreeGivesNothingBack) {
    Connect(0);
    ASSERT_TRUE(Try());
    parport_->DelayFreeRequests(0, 2 * kSecond);
    std::unique_ptr<Request> request = Send(IOCTL_INTERNAL_PARALLEL_PORT_FREE);
    EXPECT_EQ(Wait(*request, true), STATUS_TIMEOUT);
    EXPECT_TRUE(IoCancelIrp(request->irp));
    EXPECT_EQ(request->status, STATUS_CANCELLED);
    Release(*request);
    Idle(2 * kSecond);  // the delay passes: nothing more happens
    EXPECT_TRUE(parport_->HeldByKernelClient(0));
    EXPECT_THAT(Log(), ElementsAre("kernel granted by try", "kernel free delayed",
                                   "kernel free cancelled"));
    FreePort();
}

TEST_F(ParportTest, GrantThatRacesTheCancelCompletesWithSuccessInItsTurn) {
    Connect(0);
    parport_->GrantWhenCancelled(0, true);
    parport_->ScheduleClient(0, 0, 3 * kSecond);
    Idle(kMillisecond);
    std::unique_ptr<Request> request = Send(IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE);
    EXPECT_EQ(Wait(*request, true), STATUS_TIMEOUT);
    EXPECT_TRUE(IoCancelIrp(request->irp));
    EXPECT_FALSE(request->completed);
    EXPECT_FALSE(pc_.io().CancelLockHeld());
    EXPECT_EQ(QueryWaiters(), 1u);

    EXPECT_EQ(Wait(*request), STATUS_SUCCESS);
    EXPECT_EQ(request->status, STATUS_SUCCESS);
    EXPECT_EQ(request->completed_at, 3 * kSecond);
    Release(*request);
    EXPECT_TRUE(parport_->HeldByKernelClient(0));
    EXPECT_THAT(Log(), ElementsAre("printer granted", "kernel queued",
                                   "kernel allocate cancelled too late", "printer freed",
                                   "kernel granted by request"));
    FreePort();
}

// ---- client faults: one grant at a time ----------------------------------------------

TEST_F(ParportTest, TryWhileHoldingIsRefusedAndReported) {
    Connect(0);
    ASSERT_TRUE(Try());
    EXPECT_FALSE(Try());
    EXPECT_THAT(pc_.verifier().TakeFindings(),
                ElementsAre("parallel port 0: TryAllocatePort by the kernel client that already "
                            "holds the port"));
    EXPECT_EQ(parport_->Holder(0), "kernel");
    FreePort();
    EXPECT_EQ(parport_->Holder(0), "");
}

TEST_F(ParportTest, AllocateWhileHoldingWaitsForTheClientsOwnGrantAndIsReported) {
    Connect(0);
    ASSERT_TRUE(Try());
    std::unique_ptr<Request> request = Send(IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE);
    EXPECT_EQ(request->returned, STATUS_PENDING);
    EXPECT_THAT(pc_.verifier().TakeFindings(),
                ElementsAre("parallel port 0: allocate request from the kernel client that "
                            "already holds the port: it waits for its own grant"));
    EXPECT_EQ(QueryWaiters(), 1u);
    FreePort();
    EXPECT_TRUE(request->completed);
    EXPECT_EQ(request->status, STATUS_SUCCESS);
    Release(*request);
    EXPECT_TRUE(parport_->HeldByKernelClient(0));
    FreePort();
}

TEST_F(ParportTest, ScriptedClientArrivingWhileTheKernelHoldsIsQueued) {
    Connect(0);
    ASSERT_TRUE(Try());
    parport_->ScheduleClient(0, kMillisecond, kMillisecond);
    Idle(10 * kMillisecond);
    EXPECT_EQ(parport_->Holder(0), "kernel");
    EXPECT_EQ(QueryWaiters(), 1u);
    FreePort();
    EXPECT_EQ(parport_->Holder(0), "printer");
}

struct FreeWithoutGrantCase {
    const char* name;
    bool by_request;
    const char* finding;
};

class FreeWithoutGrantTest : public ParportTest,
                             public ::testing::WithParamInterface<FreeWithoutGrantCase> {};

TEST_P(FreeWithoutGrantTest, IsReportedAndTakesNothingFromTheHolder) {
    Connect(0);
    parport_->ScheduleClient(0, 0, kSecond);
    Idle(kMillisecond);
    if (GetParam().by_request) {
        EXPECT_EQ(Call(IOCTL_INTERNAL_PARALLEL_PORT_FREE), STATUS_SUCCESS);
    } else {
        FreePort();
    }
    EXPECT_THAT(pc_.verifier().TakeFindings(), ElementsAre(GetParam().finding));
    EXPECT_EQ(parport_->Holder(0), "printer");
    EXPECT_THAT(Log(), ElementsAre("printer granted"));
}

INSTANTIATE_TEST_SUITE_P(
    Ways, FreeWithoutGrantTest,
    ::testing::Values(
        FreeWithoutGrantCase{"FreePort", false,
                             "parallel port 0: FreePort while the kernel client holds no grant"},
        FreeWithoutGrantCase{"FreeRequest", true,
                             "parallel port 0: free request while the kernel client holds no "
                             "grant"}),
    [](const ::testing::TestParamInfo<FreeWithoutGrantCase>& info) { return info.param.name; });

// ---- port accesses without a grant ---------------------------------------------------

struct AccessCase {
    const char* name;
    int32_t offset;  // from the data register
    int width;
    bool write;
    bool counted;
};

class AccessWithoutGrantTest
    : public ParportTest,
      public ::testing::WithParamInterface<std::tuple<AccessCase, bool /* claimed */>> {
  protected:
    void Access(const AccessCase& c) {
        const uint32_t address = static_cast<uint32_t>(0x378 + c.offset);
        if (c.write) {
            pc_.bus().Write(address, c.width, 0);
        } else {
            pc_.bus().Read(address, c.width);
        }
    }
};

TEST_P(AccessWithoutGrantTest, CountsOnlyWhileNoKernelClientHoldsThePort) {
    const AccessCase& c = std::get<0>(GetParam());
    if (std::get<1>(GetParam())) {
        // A port device answering there changes nothing about the count.
        auto hardware = std::make_shared<simpc::ScriptedPort>();
        pc_.bus().Attach(0x378, 8, hardware);
        pc_.bus().Attach(0x778, 3, hardware);
    }
    Connect(0);
    const uint64_t counted = c.counted ? 1 : 0;
    Access(c);  // free
    EXPECT_EQ(parport_->AccessesWithoutGrant(0), counted);
    ASSERT_TRUE(Try());
    Access(c);  // held by the kernel client
    EXPECT_EQ(parport_->AccessesWithoutGrant(0), counted);
    FreePort();
    parport_->ScheduleClient(0, pc_.clock().Now(), kSecond);
    Idle(kMillisecond);
    Access(c);  // held by another client
    EXPECT_EQ(parport_->AccessesWithoutGrant(0), 2 * counted);
    EXPECT_EQ(parport_->AccessesWithoutGrant(1), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Accesses, AccessWithoutGrantTest,
    ::testing::Combine(::testing::Values(AccessCase{"DataWrite", 0, 1, true, true},
                                         AccessCase{"LastRegisterRead", 7, 1, false, true},
                                         AccessCase{"WordRead", 4, 2, false, true},
                                         AccessCase{"LongWrite", 4, 4, true, true},
                                         AccessCase{"LongOverlappingFromBelow", -2, 4, false, true},
                                         AccessCase{"JustBelow", -1, 1, false, false},
                                         AccessCase{"JustAbove", 8, 1, true, false},
                                         AccessCase{"EcpFirst", 0x400, 1, false, true},
                                         AccessCase{"EcrWrite", 0x402, 1, true, true},
                                         AccessCase{"AboveEcr", 0x403, 1, false, false}),
                       ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<AccessCase, bool>>& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) ? "Claimed" : "Unclaimed");
    });

// ---- unload ------------------------------------------------------------------------

TEST_F(ParportTest, UnloadIsRefusedWhileAClientHoldsADeviceOpen) {
    Connect(0);
    EXPECT_EQ(pc_.UnloadDriver("Parport"), STATUS_DEVICE_BUSY);
    EXPECT_TRUE(parport_->Loaded());
    Detach(0);
}

TEST_F(ParportTest, UnloadCancelsPendingRequestsAndDeletesTheDevices) {
    Connect(0);
    Connect(1);
    // Port 0: an allocate waits behind a printer.  Port 1: a delayed free.
    parport_->ScheduleClient(0, 0, kSecond);
    Idle(kMillisecond);
    std::unique_ptr<Request> allocate = Send(IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE, 0);
    allocate->free_in_routine = true;
    ASSERT_TRUE(Try(1));
    parport_->DelayFreeRequests(1, kSecond);
    std::unique_ptr<Request> free = Send(IOCTL_INTERNAL_PARALLEL_PORT_FREE, 1);
    free->free_in_routine = true;
    ASSERT_EQ(allocate->returned, STATUS_PENDING);
    ASSERT_EQ(free->returned, STATUS_PENDING);
    // The client lets go of the devices; its requests stay where they are.
    Detach(0);
    Detach(1);

    EXPECT_EQ(pc_.UnloadDriver("Parport"), STATUS_SUCCESS);
    EXPECT_FALSE(parport_->Loaded());
    EXPECT_TRUE(allocate->completed);
    EXPECT_EQ(allocate->status, STATUS_CANCELLED);
    EXPECT_TRUE(free->completed);
    EXPECT_EQ(free->status, STATUS_CANCELLED);
    EXPECT_EQ(pc_.io().LiveIrpCount(), 0u);
    EXPECT_FALSE(pc_.objects().DeviceExists("\\Device\\ParallelPort0"));
    EXPECT_FALSE(pc_.objects().DeviceExists("\\Device\\ParallelPort1"));
    EXPECT_EQ(parport_->Waiters(0), 0u);

    // Scheduled work of the unloaded driver does nothing, then or after it is gone.
    pc_.clock().RunAll();
    EXPECT_THAT(Log(0), ElementsAre("printer granted", "kernel queued",
                                    "kernel allocate cancelled at unload"));
    EXPECT_THAT(Log(1), ElementsAre("kernel granted by try", "kernel free delayed",
                                    "kernel free cancelled at unload"));
    parport_->ScheduleClient(0, pc_.clock().Now() + kMillisecond, kMillisecond);
    parport_.reset();
    pc_.clock().RunAll();
}

}  // namespace
