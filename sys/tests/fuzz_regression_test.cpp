// Cases that the fuzzer over the driver's request surface found, each
// reduced to the calls that provoke it.
//
#include "parport_fixture.h"
#include "port_fixture.h"

using ::testing::IsEmpty;

namespace {

class FuzzRegressionTest : public DriverTest {};

// A REG_DWORD value can be stored with no data at all; the query then has
// nothing to copy into the port number and leaves LPT1.
TEST_F(FuzzRegressionTest, LptDwordWithoutDataLeavesPortOne) {
    pc_.InstallDriver("vexlor", VEXLOR_IMAGE, -1);
    pc_.registry().SetValue(simpc::Pc::ServiceKey("vexlor") + "\\Parameters", "Lpt",
                            simpc::RegistryValue::Binary({}, REG_DWORD));
    ASSERT_EQ(pc_.LoadDriver("vexlor"), STATUS_SUCCESS);
    ASSERT_NE(Extension(), nullptr);
    EXPECT_EQ(Extension()->LptNumber, 1u);
}

class PairCountTest : public PortTest {};

// With Stride 0 every pair lands on the same two bytes, so the output's
// length bounds neither the reads nor the count that the request reports
// as bytes returned.  More pairs than the output has bytes are refused
// before the first port read.
TEST_F(PairCountTest, MorePairsThanOutputBytesAreRefused) {
    LorReadPairsRequest request{0, 0, 0, 0x8002};
    auto output = Filled(0x8001, 0xEE);
    const Reply reply = Control(handle_, IOCTL_LOR_PORT_READ_PAIRS, &request, sizeof(request),
                                output.get(), 0x8001);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_THAT(BusTrace(), IsEmpty());
}

class FailedLendingTest : public ParportTest {};

// A lending step that cannot take the port back (no IRP for its allocate
// request) leaves the port with the client it was lent to, and the opens
// that held it hold nothing any more.  Their closes must not give back the
// port that a later open acquires.
TEST_F(FailedLendingTest, OpensThatLostThePortGiveNothingBack) {
    HANDLE first = Open();  // by try
    HANDLE second = Open();
    parport_->ScheduleClient(0, pc_.clock().Now() + 10 * kMillisecond, 50 * kMillisecond);
    pc_.clock().RunUntil(pc_.clock().Now() + 20 * kMillisecond);  // the printer waits
    pc_.faults().FailNext(simpc::FaultPoint::IrpAllocation);
    EXPECT_TRUE(Nop(first).ok);
    EXPECT_EQ(parport_->Holder(0), "printer");

    HANDLE third = Open();  // granted by request once the printer is done
    ASSERT_NE(third, INVALID_HANDLE_VALUE);
    EXPECT_EQ(parport_->Holder(0), "kernel");
    Close(first);
    Close(second);
    EXPECT_EQ(parport_->Holder(0), "kernel");
    EXPECT_EQ(Extension()->UserCount, 1);
    Close(third);
    EXPECT_EQ(parport_->Holder(0), "");
}

}  // namespace
