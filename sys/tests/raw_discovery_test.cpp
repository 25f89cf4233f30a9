// Opening the device without a parallel-port driver: the name the driver
// looks for, the legacy base it falls back to, and the address translation.
#include "driver_fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

struct RawCase {
    int lpt;
    const char* port_name;
    uintptr_t base;
};

class RawDiscoveryTest : public DriverTest, public ::testing::WithParamInterface<RawCase> {};

TEST_P(RawDiscoveryTest, FallsBackToTheLegacyBase) {
    Load(GetParam().lpt);
    pc_.ClearDriverTraces();
    HANDLE handle = Open();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);

    char lpt_line[40];
    std::snprintf(lpt_line, sizeof(lpt_line), "LPT = %u\n",
                  static_cast<unsigned>(GetParam().lpt - 1));
    EXPECT_THAT(pc_.DriverTraces(),
                ElementsAre("[W2000+] LORDispatchOpenCreate - QueryParallelDriver ...", lpt_line,
                            std::string("Port Name: ") + GetParam().port_name + "\n",
                            "step qc failed\n", "ERROR\n",
                            "Unable to open parport -> using raw access/n"));
    const LorDeviceExtension* extension = Extension();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(extension->PortInfo.Controller), GetParam().base);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(extension->EppPort), GetParam().base + 3);
    EXPECT_FALSE(extension->ParportAccess);
    EXPECT_FALSE(extension->PortAllocated);
    EXPECT_EQ(extension->PortFileObject, nullptr);
    // Discovery and the fallback touch no port register.
    EXPECT_THAT(BusTrace(), IsEmpty());

    pc_.ClearDriverTraces();
    Close(handle);
    EXPECT_THAT(pc_.DriverTraces(), ElementsAre("Port not mapped, nothing to close\n"));
}

INSTANTIATE_TEST_SUITE_P(
    LptNumbers, RawDiscoveryTest,
    ::testing::Values(RawCase{0, "\\Device\\ParallelPort4294967295", 0x378},
                      RawCase{1, "\\Device\\ParallelPort0", 0x378},
                      RawCase{2, "\\Device\\ParallelPort1", 0x278},
                      RawCase{3, "\\Device\\ParallelPort2", 0x3F8},
                      RawCase{4, "\\Device\\ParallelPort3", 0x2F8},
                      RawCase{5, "\\Device\\ParallelPort4", 0x378}),
    [](const ::testing::TestParamInfo<RawCase>& info) {
        return "Lpt" + std::to_string(info.param.lpt);
    });

TEST_F(DriverTest, EveryOpenRetriesDiscoveryWhileItFails) {
    Load(1);
    for (int i = 0; i < 3; ++i) {
        pc_.ClearDriverTraces();
        HANDLE handle = Open();
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
        EXPECT_EQ(pc_.DriverTraces().front(),
                  "[W2000+] LORDispatchOpenCreate - QueryParallelDriver ...");
    }
}

TEST_F(DriverTest, RawAddressesAreTheHalsTranslation) {
    pc_.SetBusTranslator([](int type, uint32_t bus, uint64_t address, uint32_t* space,
                            uint64_t* translated) {
        *translated = address + 0xC000;
        return type == Isa && bus == 0 && *space == 1;
    });
    Load(2);
    ASSERT_NE(Open(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Extension()->PortInfo.Controller), 0xC278u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Extension()->EppPort), 0xC27Bu);
}

TEST_F(DriverTest, UntranslatableAddressKeepsTheBusAddressInsteadOfZero) {
    // A HAL that fails the translation and leaves the address 0.
    pc_.SetBusTranslator([](int, uint32_t, uint64_t, uint32_t*, uint64_t* translated) {
        *translated = 0;
        return false;
    });
    Load(1);
    ASSERT_NE(Open(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Extension()->PortInfo.Controller), 0x378u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Extension()->EppPort), 0x37Bu);
}

}  // namespace
