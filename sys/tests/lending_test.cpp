// Lending the port: before each device-control request the driver lets
// clients that wait for the port have it, and takes it back; a request that
// arrives meanwhile is refused.
#include "parport_fixture.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

class LendingTest : public ParportTest {
  protected:
    // A printer that asks for the port 10 ms from now and holds it for 50 ms.
    void PrinterWaits() {
        parport_->ScheduleClient(0, pc_.clock().Now() + 10 * kMillisecond, 50 * kMillisecond);
        pc_.clock().RunUntil(pc_.clock().Now() + 20 * kMillisecond);
        ASSERT_EQ(parport_->Waiters(0), 1u);
    }
};

TEST_F(LendingTest, NoWaitersCostsOneQueryAndTheRequestIsRouted) {
    HANDLE handle = Open();
    pc_.ClearDriverTraces();
    pc_.bus().ClearTrace();
    EXPECT_TRUE(Nop(handle).ok);
    EXPECT_EQ(parport_->QueryWaitersCalls(0), 1);
    EXPECT_THAT(pc_.DriverTraces(), IsEmpty());
    EXPECT_THAT(BusTrace(), IsEmpty());
}

TEST_F(LendingTest, PortHeldByTryIsLentAndTakenBack) {
    HANDLE handle = Open();
    PrinterWaits();
    pc_.ClearDriverTraces();
    pc_.bus().ClearTrace();
    const simpc::Nanoseconds before = pc_.clock().Now();

    EXPECT_TRUE(Nop(handle).ok);
    EXPECT_THAT(pc_.DriverTraces(),
                ElementsAre("Freeing port for other for a while...\n",
                            "Port is unmaped by FreePort()\n",
                            "Trying 'IOCTL_INTERNAL_PARALLEL_PORT_ALLOCATE/FREE'\n",
                            "OK port mapped by ioctl\n"));
    std::vector<std::string> expected = DetachTrace();
    for (const std::string& access : AttachTrace()) {
        expected.push_back(access);
    }
    EXPECT_THAT(BusTrace(), ElementsAreArray(expected));
    // The request waited while the printer had the port.
    // ...plus the detach and attach pulses of 10 µs each.
    EXPECT_EQ(pc_.clock().Now() - before, 50 * kMillisecond + 20 * 1000);
    EXPECT_THAT(parport_->Log(0), Contains("printer freed"));
    const LorDeviceExtension* extension = Extension();
    EXPECT_TRUE(extension->PortAllocated);
    EXPECT_FALSE(extension->AllocatedByTry);
    EXPECT_FALSE(extension->Lending);
    EXPECT_EQ(extension->UserCount, 1);
}

TEST_F(LendingTest, PortHeldByRequestIsLentThroughTheFreeRequest) {
    parport_->ScheduleClient(0, 0, 100 * kMillisecond);
    pc_.clock().RunUntil(1);
    HANDLE handle = Open();
    ASSERT_FALSE(Extension()->AllocatedByTry);
    PrinterWaits();
    const int free_requests = parport_->FreeRequests(0);
    EXPECT_TRUE(Nop(handle).ok);
    EXPECT_EQ(parport_->FreeRequests(0), free_requests + 1);
    EXPECT_TRUE(Extension()->PortAllocated);
    EXPECT_EQ(Extension()->UserCount, 1);
    EXPECT_EQ(parport_->Holder(0), "kernel");
}

TEST_F(LendingTest, EveryOpenStillHoldsThePortAfterLending) {
    HANDLE a = Open();
    HANDLE b = Open();
    HANDLE c = Open();
    ASSERT_EQ(Extension()->UserCount, 3);
    PrinterWaits();
    EXPECT_TRUE(Nop(b).ok);
    EXPECT_EQ(Extension()->UserCount, 3);

    Close(a);
    Close(c);
    EXPECT_EQ(parport_->Holder(0), "kernel");
    Close(b);
    EXPECT_EQ(parport_->Holder(0), "");
}

TEST_F(LendingTest, RequestArrivingWhileAnotherLendsIsRefused) {
    HANDLE lender = Open();
    HANDLE other = Open();
    PrinterWaits();
    Reply during{};
    std::vector<std::string> traces_during;
    pc_.clock().After(20 * kMillisecond, [&] {
        pc_.ClearDriverTraces();
        during = Nop(other);
        traces_during = pc_.DriverTraces();
    });
    const int queries = parport_->QueryWaitersCalls(0);

    EXPECT_TRUE(Nop(lender).ok);
    EXPECT_FALSE(during.ok);
    EXPECT_EQ(during.error, static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    EXPECT_EQ(during.bytes, 0u);
    EXPECT_THAT(traces_during, ElementsAre("[Dispatch] - Driver Enter occured !... Why?\n"));
    // Only the lender asked for waiters.
    EXPECT_EQ(parport_->QueryWaitersCalls(0), queries + 1);
}

TEST_F(LendingTest, CloseArrivingWhileAnotherLendsGivesItsUserBackAfterwards) {
    HANDLE lender = Open();
    HANDLE leaving = Open();
    PrinterWaits();
    pc_.clock().After(20 * kMillisecond, [&] { Close(leaving); });
    EXPECT_TRUE(Nop(lender).ok);
    EXPECT_EQ(Extension()->UserCount, 1);
    Close(lender);
    EXPECT_EQ(parport_->Holder(0), "");
    EXPECT_FALSE(Extension()->PortAllocated);
}

TEST_F(LendingTest, OpenArrivingWhileAnotherLendsIsBusy) {
    HANDLE lender = Open();
    PrinterWaits();
    HANDLE late = nullptr;
    DWORD error = 0;
    pc_.clock().After(20 * kMillisecond, [&] {
        late = Open();
        error = GetLastError();
    });
    EXPECT_TRUE(Nop(lender).ok);
    EXPECT_EQ(late, INVALID_HANDLE_VALUE);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_BUSY));
    EXPECT_EQ(Extension()->UserCount, 1);
}

TEST_F(LendingTest, ForcedReleaseWithoutIrpDoesNotWaitForItsOwnGrant) {
    parport_->ScheduleClient(0, 0, 100 * kMillisecond);
    pc_.clock().RunUntil(1);
    HANDLE handle = Open();  // held by request: giving back needs an IRP
    PrinterWaits();
    pc_.faults().FailNext(simpc::FaultPoint::IrpAllocation);
    pc_.bus().ClearTrace();
    EXPECT_TRUE(Nop(handle).ok);
    // The port was never given away: the device is attached again for the request.
    std::vector<std::string> expected = DetachTrace();
    for (const std::string& access : AttachTrace()) {
        expected.push_back(access);
    }
    EXPECT_THAT(BusTrace(), ElementsAreArray(expected));
    EXPECT_TRUE(Extension()->PortAllocated);
    EXPECT_EQ(Extension()->UserCount, 1);
    EXPECT_FALSE(Extension()->Lending);
    EXPECT_EQ(parport_->Holder(0), "kernel");
}

TEST_F(LendingTest, NothingIsLentWhileThePortIsNotHeld) {
    // An open that timed out leaves the port with the printer.
    parport_->ScheduleClient(0, 0, 5 * kSecond);
    pc_.clock().RunUntil(1);
    HANDLE handle = Open();
    parport_->ScheduleClient(0, pc_.clock().Now(), kMillisecond, "scanner");
    pc_.clock().RunUntil(pc_.clock().Now() + 1);
    ASSERT_EQ(parport_->Waiters(0), 1u);
    pc_.ClearDriverTraces();
    EXPECT_TRUE(Nop(handle).ok);
    EXPECT_THAT(pc_.DriverTraces(), IsEmpty());
    EXPECT_EQ(parport_->Holder(0), "printer");
}

TEST_F(DriverTest, RawAccessDoesNoArbitrationAtAll) {
    Load(1);
    HANDLE handle = Open();
    pc_.ClearDriverTraces();
    EXPECT_TRUE(Control(handle, IOCTL_LOR_NOP, nullptr, 0, nullptr, 0).ok);
    EXPECT_THAT(pc_.DriverTraces(), IsEmpty());
}

}  // namespace
