// Sharing the port with the system parallel-port driver: acquiring at the
// first open, users counted across opens, giving back at the last close,
// the one-second wait, and the failures of each step.
#include "parport_fixture.h"
#include "win32_state.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

class ArbitrationTest : public ParportTest {};

TEST_F(ArbitrationTest, FirstOpenTakesAFreePortByTryAndAttaches) {
    HANDLE handle = Open();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_THAT(pc_.DriverTraces(), ElementsAreArray(FirstOpenByTryTraces()));
    EXPECT_THAT(BusTrace(), ElementsAreArray(AttachTrace()));
    const LorDeviceExtension* extension = Extension();
    EXPECT_TRUE(extension->ParportAccess);
    EXPECT_TRUE(extension->PortAllocated);
    EXPECT_TRUE(extension->AllocatedByTry);
    EXPECT_EQ(extension->UserCount, 1);
    EXPECT_EQ(parport_->TryAllocateCalls(0), 1);
    EXPECT_EQ(parport_->AllocateRequests(0), 0);
    EXPECT_EQ(pc_.io().LiveIrpCount(), 0u);
    EXPECT_EQ(parport_->Holder(0), "kernel");
}

TEST_F(ArbitrationTest, MoreOpensAddUsersAndOnlyTheLastCloseGivesBack) {
    HANDLE first = Open();
    pc_.bus().ClearTrace();
    pc_.ClearDriverTraces();

    HANDLE second = Open();
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    // No discovery, no call of the parallel-port driver, no line control.
    EXPECT_THAT(pc_.DriverTraces(),
                ElementsAre("[W2000+] - Trying allocate port from Parralell driver...",
                            "There are still some users\n", "OK\n"));
    EXPECT_EQ(Extension()->UserCount, 2);
    EXPECT_EQ(parport_->TryAllocateCalls(0), 1);
    EXPECT_EQ(parport_->InfoRequests(0), 1);

    pc_.ClearDriverTraces();
    Close(first);
    EXPECT_THAT(pc_.DriverTraces(), ElementsAre("There are still some users\n"));
    EXPECT_EQ(Extension()->UserCount, 1);
    EXPECT_EQ(parport_->Holder(0), "kernel");
    EXPECT_THAT(BusTrace(), IsEmpty());

    pc_.ClearDriverTraces();
    Close(second);
    EXPECT_THAT(pc_.DriverTraces(),
                ElementsAre("There are no users\n", "Port is unmaped by FreePort()\n"));
    EXPECT_THAT(BusTrace(), ElementsAreArray(DetachTrace()));
    EXPECT_EQ(parport_->FreePortCalls(0), 1);
    EXPECT_EQ(parport_->Holder(0), "");
    const LorDeviceExtension* extension = Extension();
    EXPECT_FALSE(extension->PortAllocated);
    EXPECT_FALSE(extension->AllocatedByTry);
    EXPECT_EQ(extension->UserCount, 0);
    // Discovery is not undone: the next open only acquires.
    EXPECT_TRUE(extension->ParportAccess);
}

TEST_F(ArbitrationTest, BusyPortGrantedWithinASecondIsHeldByRequest) {
    parport_->ScheduleClient(0, 0, 400 * kMillisecond);
    pc_.clock().RunUntil(1);  // the printer has the port
    HANDLE handle = Open();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_THAT(pc_.DriverTraces(),
                ::testing::IsSupersetOf({"Trying 'IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE/FREE'\n",
                                         "OK port mapped by ioctl\n"}));
    // Granted when the printer was done; then the attach pulse stalled 10 µs.
    EXPECT_EQ(pc_.clock().Now(), 400 * kMillisecond + 10 * 1000);
    const LorDeviceExtension* extension = Extension();
    EXPECT_TRUE(extension->PortAllocated);
    EXPECT_FALSE(extension->AllocatedByTry);
    EXPECT_EQ(extension->UserCount, 1);
    EXPECT_THAT(BusTrace(), ElementsAreArray(AttachTrace()));

    pc_.ClearDriverTraces();
    pc_.bus().ClearTrace();
    Close(handle);
    EXPECT_THAT(pc_.DriverTraces(),
                ElementsAre("There are no users\n",
                            "Trying 'IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE/FREE'\n",
                            "OK port unmapped by ioctl\n"));
    EXPECT_THAT(BusTrace(), ElementsAreArray(DetachTrace()));
    EXPECT_EQ(parport_->FreeRequests(0), 1);
    EXPECT_EQ(parport_->Holder(0), "");
    EXPECT_FALSE(Extension()->PortAllocated);
}

TEST_F(ArbitrationTest, PortBusyForMoreThanASecondOpensWithoutIt) {
    parport_->ScheduleClient(0, 0, 5 * kSecond);
    pc_.clock().RunUntil(1);
    HANDLE handle = Open();
    // STATUS_TIMEOUT is a success: the handle exists, the port is not held.
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_EQ(pc_.clock().Now(), 1 + kSecond);
    EXPECT_THAT(pc_.DriverTraces(),
                ::testing::IsSupersetOf({"ioctl call timeout\n"}));
    EXPECT_EQ(pc_.DriverTraces().back(), "OK\n");
    // The request was cancelled and its IRP freed after its completion routine ran.
    EXPECT_THAT(parport_->Log(0), ::testing::Contains("kernel allocate cancelled"));
    EXPECT_EQ(pc_.io().LiveIrpCount(), 0u);
    EXPECT_FALSE(Extension()->PortAllocated);
    EXPECT_EQ(Extension()->UserCount, 0);
    EXPECT_THAT(BusTrace(), IsEmpty());

    pc_.ClearDriverTraces();
    Close(handle);
    EXPECT_THAT(pc_.DriverTraces(), ElementsAre("Port not mapped, nothing to close\n"));
    EXPECT_EQ(parport_->Holder(0), "printer");
}

TEST_F(ArbitrationTest, CloseOfATimedOutOpenDoesNotTakeThePortFromOthers) {
    parport_->ScheduleClient(0, 0, 2 * kSecond);
    pc_.clock().RunUntil(1);
    HANDLE without_port = Open();  // times out
    ASSERT_NE(without_port, INVALID_HANDLE_VALUE);
    pc_.clock().RunUntil(3 * kSecond);  // the printer is done
    HANDLE with_port = Open();
    ASSERT_NE(with_port, INVALID_HANDLE_VALUE);
    ASSERT_EQ(Extension()->UserCount, 1);

    Close(without_port);
    EXPECT_TRUE(Extension()->PortAllocated);
    EXPECT_EQ(Extension()->UserCount, 1);
    EXPECT_EQ(parport_->Holder(0), "kernel");
    Close(with_port);
    EXPECT_EQ(parport_->Holder(0), "");
}

TEST_F(ArbitrationTest, AllocateCompletingWithAnErrorFailsTheOpen) {
    parport_->ScheduleClient(0, 0, 100 * kMillisecond);
    parport_->FailAllocateRequestsWith(0, STATUS_INVALID_DEVICE_STATE);
    pc_.clock().RunUntil(1);
    pc_.bus().ClearTrace();
    EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), simpc::Win32ErrorFromStatus(STATUS_INVALID_DEVICE_STATE));
    EXPECT_EQ(pc_.DriverTraces().back(), "ERROR\n");
    EXPECT_FALSE(Extension()->PortAllocated);
    EXPECT_EQ(Extension()->UserCount, 0);
    // No line control without the port.
    EXPECT_THAT(BusTrace(), IsEmpty());
}

TEST_F(ArbitrationTest, NoIrpForTheAllocateRequestFailsTheOpen) {
    parport_->ScheduleClient(0, 0, 100 * kMillisecond);
    pc_.clock().RunUntil(1);
    pc_.faults().FailNext(simpc::FaultPoint::IrpAllocation);
    EXPECT_EQ(Open(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES));
    EXPECT_FALSE(Extension()->PortAllocated);
    EXPECT_EQ(parport_->AllocateRequests(0), 0);
}

TEST_F(ArbitrationTest, AllocateGrantedWhileBeingCancelledIsRecordedAndGivenBackLater) {
    parport_->ScheduleClient(0, 0, 3 * kSecond);
    parport_->GrantWhenCancelled(0, true);
    pc_.clock().RunUntil(1);
    HANDLE handle = Open();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    // The grant came when the printer was done, after the timeout.
    EXPECT_THAT(parport_->Log(0), ::testing::Contains("kernel allocate cancelled too late"));
    EXPECT_EQ(parport_->Holder(0), "kernel");
    EXPECT_TRUE(Extension()->PortAllocated);
    EXPECT_EQ(Extension()->UserCount, 1);
    Close(handle);
    EXPECT_EQ(parport_->Holder(0), "");
    EXPECT_FALSE(Extension()->PortAllocated);
}

TEST_F(ArbitrationTest, FreeRequestNotCompletingWithinASecondLeavesThePortHeld) {
    parport_->ScheduleClient(0, 0, 100 * kMillisecond);
    pc_.clock().RunUntil(1);
    HANDLE handle = Open();  // held by request
    ASSERT_TRUE(Extension()->PortAllocated);
    parport_->DelayFreeRequests(0, 5 * kSecond);
    pc_.ClearDriverTraces();
    pc_.bus().ClearTrace();
    Close(handle);
    EXPECT_THAT(pc_.DriverTraces(), ::testing::Contains("ioctl call timeout\n"));
    EXPECT_THAT(BusTrace(), ElementsAreArray(DetachTrace()));
    EXPECT_TRUE(Extension()->PortAllocated);
    EXPECT_EQ(Extension()->UserCount, 0);
    EXPECT_EQ(parport_->Holder(0), "kernel");
    EXPECT_EQ(pc_.io().LiveIrpCount(), 0u);

    // The next open counts one user again; its close tries the give-back again.
    parport_->DelayFreeRequests(0, 0);
    handle = Open();
    EXPECT_EQ(Extension()->UserCount, 1);
    Close(handle);
    EXPECT_FALSE(Extension()->PortAllocated);
    EXPECT_EQ(parport_->Holder(0), "");
}

TEST_F(ArbitrationTest, FreeRequestCompletingWithAnErrorKeepsTheGrantRecorded) {
    parport_->ScheduleClient(0, 0, 100 * kMillisecond);
    pc_.clock().RunUntil(1);
    HANDLE handle = Open();
    parport_->FailFreeRequestsWith(0, STATUS_UNSUCCESSFUL);
    pc_.ClearDriverTraces();
    Close(handle);
    EXPECT_THAT(pc_.DriverTraces(), ::testing::Not(::testing::Contains("OK port unmapped by ioctl\n")));
    // The parallel-port driver kept its grant, and so does the driver's record.
    EXPECT_EQ(parport_->Holder(0), "kernel");
    EXPECT_TRUE(Extension()->PortAllocated);
    EXPECT_EQ(Extension()->UserCount, 0);

    // The next open does not ask for a port it holds; its close gives it back.
    parport_->FailFreeRequestsWith(0, STATUS_SUCCESS);
    handle = Open();
    EXPECT_EQ(Extension()->UserCount, 1);
    Close(handle);
    EXPECT_EQ(parport_->Holder(0), "");
    EXPECT_FALSE(Extension()->PortAllocated);
}

TEST_F(ArbitrationTest, NoIrpForTheFreeRequestKeepsThePortUntilUnload) {
    parport_->ScheduleClient(0, 0, 100 * kMillisecond);
    pc_.clock().RunUntil(1);
    HANDLE handle = Open();
    pc_.faults().FailNext(simpc::FaultPoint::IrpAllocation);
    pc_.bus().ClearTrace();
    Close(handle);
    // The detach happened before the request could be built.
    EXPECT_THAT(BusTrace(), ElementsAreArray(DetachTrace()));
    EXPECT_TRUE(Extension()->PortAllocated);
    EXPECT_EQ(Extension()->UserCount, 0);

    pc_.ClearDriverTraces();
    ASSERT_EQ(pc_.UnloadDriver("vexlor"), STATUS_SUCCESS);
    EXPECT_THAT(pc_.DriverTraces(),
                ElementsAre("[Unload] - Start\n",
                            "[Unload] - Mali sme mapovany port - uvolnili sme ho\n",
                            "[Unload] - End\n"));
    EXPECT_EQ(parport_->Holder(0), "");
    EXPECT_EQ(pc_.io().LookupReferencesHeld(), 0u);
}

TEST_F(ArbitrationTest, UnloadGivesBackThePortAndTheLookupsReference) {
    HANDLE handle = Open();
    EXPECT_EQ(pc_.io().LookupReferencesHeld(), 1u);
    Close(handle);
    ASSERT_EQ(pc_.UnloadDriver("vexlor"), STATUS_SUCCESS);
    EXPECT_EQ(pc_.io().LookupReferencesHeld(), 0u);
}

}  // namespace
