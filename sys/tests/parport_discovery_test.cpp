// Discovery through the system parallel-port driver: the information it
// reports becomes the driver's port, each failing step falls back to raw
// access and is retried by the next open, and the lookup's reference is
// kept only while the port's device is used.
#include "parport_fixture.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class ParportDiscoveryTest : public ParportTest {};

TEST_F(ParportDiscoveryTest, ReplyBecomesThePortAndTheEppAddressIsTranslated) {
    // The HAL maps ISA I/O 0x1000 higher, as a bridge might.
    pc_.SetBusTranslator([](int, uint32_t, uint64_t address, uint32_t*, uint64_t* out) {
        *out = address + 0x1000;
        return true;
    });
    HANDLE handle = Open();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    const LorDeviceExtension* extension = Extension();
    EXPECT_TRUE(extension->ParportAccess);
    EXPECT_EQ(extension->PortInfo.OriginalController.QuadPart, 0x378);
    // Controller stays as the parallel-port driver reported it.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(extension->PortInfo.Controller), 0x378u);
    EXPECT_EQ(extension->PortInfo.SpanOfController, 8u);
    EXPECT_NE(extension->PortInfo.TryAllocatePort, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(extension->EppPort), 0x137Bu);
    EXPECT_NE(extension->PortDeviceObject, nullptr);
    EXPECT_NE(extension->PortFileObject, nullptr);
    EXPECT_EQ(parport_->InfoRequests(0), 1);
    // The port's name lived in pool only for the lookup.
    bool name_buffer_seen = false;
    for (const simpc::PoolAllocation& block : pc_.pool().History()) {
        if (block.size == 44) {
            name_buffer_seen = true;
            EXPECT_TRUE(block.freed);
            EXPECT_EQ(simpc::Pool::TagText(block.tag), "Ddk ");
        }
    }
    EXPECT_TRUE(name_buffer_seen);
}

struct FailingStep {
    const char* name;
    simpc::FaultPoint fault;
    const char* trace;  // the step's failure trace
};

class FailingDiscoveryTest : public ParportTest,
                             public ::testing::WithParamInterface<FailingStep> {};

TEST_P(FailingDiscoveryTest, FallsBackToRawAccessAndTheNextOpenRetries) {
    pc_.faults().FailNext(GetParam().fault);
    HANDLE first = Open();
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    EXPECT_THAT(pc_.DriverTraces(), Contains(GetParam().trace));
    EXPECT_THAT(pc_.DriverTraces(), Contains("Unable to open parport -> using raw access/n"));
    const LorDeviceExtension* extension = Extension();
    EXPECT_FALSE(extension->ParportAccess);
    EXPECT_EQ(extension->PortInfo.TryAllocatePort, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(extension->PortInfo.Controller), 0x378u);
    // Nothing of the failed lookup is kept.
    EXPECT_EQ(extension->PortFileObject, nullptr);
    EXPECT_EQ(pc_.io().LookupReferencesHeld(), 0u);
    EXPECT_EQ(parport_->Holder(0), "");

    pc_.ClearDriverTraces();
    HANDLE second = Open();
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(Extension()->ParportAccess);
    EXPECT_TRUE(Extension()->PortAllocated);
    EXPECT_EQ(pc_.io().LookupReferencesHeld(), 1u);
    // The raw-access open counts as no user: one close leaves the port held.
    Close(first);
    EXPECT_EQ(parport_->Holder(0), "kernel");
    Close(second);
    EXPECT_EQ(parport_->Holder(0), "");
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FailingDiscoveryTest,
    ::testing::Values(
        FailingStep{"qbNoPoolForTheName", simpc::FaultPoint::PoolAllocation, "step qb failed\n"},
        FailingStep{"qcLookupFails", simpc::FaultPoint::GetDeviceObjectPointer, "step qc failed\n"},
        FailingStep{"qcLookupWithoutFileObject", simpc::FaultPoint::LookupWithoutFileObject,
                    "step qc failed\n"},
        FailingStep{"qiNoIrp", simpc::FaultPoint::BuildDeviceIoControlRequest,
                    "step qi failed\n"},
        FailingStep{"qjInformationRequestFails", simpc::FaultPoint::ParallelPortInfo,
                    "step qj failed\n"}),
    [](const ::testing::TestParamInfo<FailingStep>& info) {
        return std::string(info.param.name);
    });

TEST_F(ParportDiscoveryTest, ReplyWithoutItsRoutinesIsNoPortToArbitrate) {
    parport_->ReplyWithoutRoutines(0, true);
    HANDLE handle = Open();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_THAT(pc_.DriverTraces(), Contains("step qs failed\n"));
    EXPECT_FALSE(Extension()->ParportAccess);
    EXPECT_EQ(pc_.io().LookupReferencesHeld(), 0u);
    // A request then calls no routine of the reply.
    EXPECT_TRUE(Nop(handle).ok);
}

TEST_F(ParportDiscoveryTest, SecondOpenSkipsDiscovery) {
    HANDLE first = Open();
    pc_.ClearDriverTraces();
    HANDLE second = Open();
    ASSERT_NE(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(pc_.DriverTraces().front(),
              "[W2000+] - Trying allocate port from Parralell driver...");
    EXPECT_EQ(parport_->InfoRequests(0), 1);
    Close(first);
    Close(second);
    // Nor does an open after every handle was closed.
    pc_.ClearDriverTraces();
    ASSERT_NE(Open(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(parport_->InfoRequests(0), 1);
}

// LPT2 to LPT5 are \Device\ParallelPort1..4 when the parallel-port driver has them.
class SeveralPortsTest : public DriverTest, public ::testing::WithParamInterface<int> {};

TEST_P(SeveralPortsTest, LptNumberSelectsTheParallelPortDevice) {
    std::vector<simpc::ParallelPortConfig> ports;
    for (uint32_t i = 0; i < 5; ++i) {
        ports.push_back({0x1000 + 0x10 * i, 0x1000 + 0x10 * i, 8});
    }
    simpc::ParallelPortDriver parport(pc_, ports);
    const int lpt = GetParam();
    Load(lpt);
    HANDLE handle = Open();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    const uint32_t base = 0x1000 + 0x10 * (lpt - 1);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Extension()->PortInfo.Controller), base);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Extension()->EppPort), base + 3);
    EXPECT_EQ(parport.Holder(lpt - 1), "kernel");
    Close(handle);
    EXPECT_EQ(pc_.UnloadDriver("vexlor"), STATUS_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(Lpt, SeveralPortsTest, ::testing::Values(1, 2, 3, 4, 5));

TEST_F(DriverTest, LptZeroLooksForPortFourBillionAndFallsBackToLpt1Raw) {
    simpc::ParallelPortDriver parport(pc_, {{0x378, 0x378, 8}});
    Load(0);
    HANDLE handle = Open();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    EXPECT_THAT(pc_.DriverTraces(), Contains("Port Name: \\Device\\ParallelPort4294967295\n"));
    EXPECT_FALSE(Extension()->ParportAccess);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Extension()->PortInfo.Controller), 0x378u);
    Close(handle);
    EXPECT_EQ(pc_.UnloadDriver("vexlor"), STATUS_SUCCESS);
}

}  // namespace
