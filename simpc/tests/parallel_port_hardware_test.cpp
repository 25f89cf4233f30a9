// The parallel-port hardware as kernel code meets it through the HAL: the
// ECR mode gating EPP cycles, the virtual time the cycles take, wide
// accesses split into byte cycles, the control and status lines, the data
// direction and the EPP time-out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hal_port_access.h"
#include "parallel_port_hardware.h"
#include "simpc/pc.h"

using hal_port::In;
using hal_port::In8;
using hal_port::Out;
using hal_port::Out8;
using simpc::Nanoseconds;
using simpc::ParallelPortHardware;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

// Answers every cycle and notes it: "A<4D" address write, "D<12" data
// write, "D>5A" data read, "A>3C" address read.
class RecordingPeripheral : public simpc::EppPeripheral {
  public:
    std::vector<std::string> cycles;

    void WriteAddress(uint8_t value) override { Note("A<", value); }
    void WriteData(uint8_t value) override { Note("D<", value); }
    uint8_t ReadData() override { return Note("D>", 0x5A); }
    uint8_t ReadAddress() override { return Note("A>", 0x3C); }

  private:
    uint8_t Note(const char* kind, uint8_t value) {
        char text[8];
        std::snprintf(text, sizeof(text), "%s%02X", kind, value);
        cycles.push_back(text);
        return value;
    }
};

class PortFixture {
  protected:
    void Build(const ParallelPortHardware::Config& config, bool connected = true) {
        base = config.base;
        port = ParallelPortHardware::AttachTo(pc.bus(), config, &pc.clock());
        if (connected) {
            port->Connect(peripheral);
        }
    }
    void Build(uint32_t at = 0x378, bool ecp = true) {
        ParallelPortHardware::Config config;
        config.base = at;
        config.ecp = ecp;
        Build(config);
    }
    void SetMode(uint8_t ecr) { Out8(base + ParallelPortHardware::kEcr, ecr); }

    simpc::Pc pc;
    std::shared_ptr<RecordingPeripheral> peripheral = std::make_shared<RecordingPeripheral>();
    std::shared_ptr<ParallelPortHardware> port;
    uint32_t base = 0;
};

// --- ECR gating ---

struct GatingCase {
    const char* name;
    uint32_t base;
    bool ecp;
    uint8_t ecr;
    bool cycles;
};

class EcrGating : public PortFixture, public ::testing::TestWithParam<GatingCase> {};

TEST_P(EcrGating, EppCyclesHappenOnlyInEppModeOrWithoutAnEcr) {
    const GatingCase& c = GetParam();
    Build(c.base, c.ecp);
    int unclaimed = 0;
    pc.bus().SetUnclaimedAccessHook([&](const simpc::BusEvent&) { ++unclaimed; });

    SetMode(c.ecr);
    const Nanoseconds start = pc.clock().Now();
    Out8(base + 3, 0x4D);
    Out8(base + 4, 0x12);
    const uint8_t data = In8(base + 4);
    const uint8_t address = In8(base + 3);

    if (c.cycles) {
        EXPECT_THAT(peripheral->cycles, ElementsAre("A<4D", "D<12", "D>5A", "A>3C"));
        EXPECT_EQ(data, 0x5A);
        EXPECT_EQ(address, 0x3C);
    } else {
        EXPECT_THAT(peripheral->cycles, IsEmpty());
        EXPECT_EQ(data, ParallelPortHardware::kFloatingByte);
        EXPECT_EQ(address, ParallelPortHardware::kFloatingByte);
    }
    EXPECT_EQ(port->EppCycles(), c.cycles ? 4u : 0u);
    // 1 us per cycle by default; nothing for the accesses that make none.
    EXPECT_EQ(pc.clock().Now() - start, c.cycles ? 4000u : 0u);

    const uint8_t ecr = In8(base + ParallelPortHardware::kEcr);
    if (c.ecp) {
        EXPECT_EQ(ecr, (c.ecr & 0xFC) | 0x01);
        EXPECT_EQ(unclaimed, 0);
    } else {
        // No ECR: the address is the floating bus, the write went nowhere.
        EXPECT_EQ(ecr, 0xFF);
        EXPECT_EQ(unclaimed, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, EcrGating,
                         ::testing::Values(GatingCase{"Standard", 0x378, true, 0x00, false},
                                           GatingCase{"Ps2", 0x278, true, 0x20, false},
                                           GatingCase{"Fifo", 0x3BC, true, 0x40, false},
                                           GatingCase{"Ecp", 0x378, true, 0x60, false},
                                           GatingCase{"Epp", 0x378, true, 0x80, true},
                                           GatingCase{"EppWithLowBitsSet", 0xE000, true, 0x9F,
                                                      true},
                                           GatingCase{"Reserved", 0x378, true, 0xA0, false},
                                           GatingCase{"Test", 0x378, true, 0xC0, false},
                                           GatingCase{"Configuration", 0x378, true, 0xE0, false},
                                           GatingCase{"NoEcrLegacy", 0x278, false, 0x00, true},
                                           GatingCase{"NoEcrPciCard", 0xD010, false, 0x20, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- time per access ---

struct TimingCase {
    const char* name;
    bool write;
    int width;
    uint32_t offset;
    uint8_t ecr;
    Nanoseconds expected;
};

class CycleTime : public PortFixture, public ::testing::TestWithParam<TimingCase> {};

TEST_P(CycleTime, EachEppCycleCostsTheCycleTimeAndEveryOtherByteTheRegisterTime) {
    const TimingCase& c = GetParam();
    ParallelPortHardware::Config config;
    config.epp_cycle_time = 2500;
    config.register_access_time = 10;
    Build(config);
    SetMode(c.ecr);

    const Nanoseconds start = pc.clock().Now();
    if (c.write) {
        Out(base + c.offset, c.width, 0);
    } else {
        In(base + c.offset, c.width);
    }
    EXPECT_EQ(pc.clock().Now() - start, c.expected);
    EXPECT_EQ(pc.bus().Trace().back().time, start);
}

INSTANTIATE_TEST_SUITE_P(
    Accesses, CycleTime,
    ::testing::Values(TimingCase{"Data", true, 1, 0, 0x80, 10},
                      TimingCase{"EppAddress", true, 1, 3, 0x80, 2500},
                      TimingCase{"EppData", false, 1, 4, 0x80, 2500},
                      TimingCase{"LongFromStatus", false, 4, 1, 0x80, 10 + 10 + 2500 + 2500},
                      TimingCase{"WordToEppAddress", true, 2, 3, 0x80, 5000},
                      TimingCase{"LongToEppData", true, 4, 4, 0x80, 10000},
                      TimingCase{"WordFromData", false, 2, 0, 0x80, 20},
                      TimingCase{"Ecr", false, 1, 0x402, 0x80, 10},
                      TimingCase{"EppDataOutsideEppMode", false, 1, 4, 0x20, 10}),
    [](const auto& info) { return std::string(info.param.name); });

// --- wide accesses ---

struct WideCase {
    const char* name;
    bool write;
    int width;
    uint32_t offset;
    uint32_t value;  // written, or expected from the read
    std::vector<std::string> cycles;
    uint8_t data_latch;
    uint8_t control;
};

class WideAccess : public PortFixture, public ::testing::TestWithParam<WideCase> {};

TEST_P(WideAccess, IsByteAccessesInAddressOrderLowestByteFirst) {
    const WideCase& c = GetParam();
    Build();
    SetMode(0x80);
    if (c.write) {
        Out(base + c.offset, c.width, c.value);
    } else {
        EXPECT_EQ(In(base + c.offset, c.width), c.value);
    }
    EXPECT_THAT(peripheral->cycles, ElementsAreArray(c.cycles));
    EXPECT_EQ(port->DataLatch(), c.data_latch);
    EXPECT_EQ(port->ControlRegister(), c.control);
}

// Open connector: status 0x7E; power-up control 0x0C reads 0xCC.
INSTANTIATE_TEST_SUITE_P(
    Widths, WideAccess,
    ::testing::Values(
        WideCase{"LongReadFromStatus", false, 4, 1, 0x5A3CCC7E, {"A>3C", "D>5A"}, 0x00, 0x0C},
        WideCase{"WordReadFromEppAddress", false, 2, 3, 0x5A3C, {"A>3C", "D>5A"}, 0x00, 0x0C},
        WideCase{
            "LongReadPastThePort", false, 4, 5, 0xFF5A5A5A, {"D>5A", "D>5A", "D>5A"}, 0x00, 0x0C},
        WideCase{"WordWriteToEppAddress", true, 2, 3, 0xBBAA, {"A<AA", "D<BB"}, 0x00, 0x0C},
        WideCase{"LongWriteToEppData",
                 true,
                 4,
                 4,
                 0x44332211,
                 {"D<11", "D<22", "D<33", "D<44"},
                 0x00,
                 0x0C},
        WideCase{"LongWriteFromData", true, 4, 0, 0x40332211, {"A<40"}, 0x11, 0x33}),
    [](const auto& info) { return std::string(info.param.name); });

// --- control lines ---

struct ControlCase {
    uint8_t value;
    bool n_strobe;
    bool n_auto_fd;
    bool n_init;
    bool n_select_in;
    uint8_t read_back;
};

class ControlLines : public PortFixture, public ::testing::TestWithParam<ControlCase> {};

TEST_P(ControlLines, BitsDriveTheLinesWithTheStandardInversions) {
    const ControlCase& c = GetParam();
    Build();
    Out8(base + 2, c.value);
    const ParallelPortHardware::Lines lines = port->CurrentLines();
    EXPECT_EQ(lines.n_strobe, c.n_strobe);
    EXPECT_EQ(lines.n_auto_fd, c.n_auto_fd);
    EXPECT_EQ(lines.n_init, c.n_init);
    EXPECT_EQ(lines.n_select_in, c.n_select_in);
    EXPECT_EQ(In8(base + 2), c.read_back);
}

INSTANTIATE_TEST_SUITE_P(Values, ControlLines,
                         ::testing::Values(ControlCase{0x00, true, true, false, true, 0xC0},
                                           ControlCase{0x04, true, true, true, true, 0xC4},
                                           ControlCase{0x0E, true, false, true, false, 0xCE},
                                           ControlCase{0x0F, false, false, true, false, 0xCF},
                                           ControlCase{0x0B, false, false, false, false, 0xCB},
                                           ControlCase{0x1F, false, false, true, false, 0xDF}));

TEST(LineHistory, KeepsEachChangeWithItsTimeSoAPulseCanBeMeasured) {
    simpc::Pc pc;
    auto port =
        ParallelPortHardware::AttachTo(pc.bus(), ParallelPortHardware::Config(), &pc.clock());
    Out8(0x37A, 0x0E);
    Out8(0x378, 0x7F);
    Out8(0x37A, 0x0F);
    KeStallExecutionProcessor(10);
    Out8(0x37A, 0x0E);
    Out8(0x37A, 0x0E);  // no change, no entry
    Out8(0x37A, 0x04);

    const auto& history = port->LineHistory();
    ASSERT_EQ(history.size(), 6u);  // power-up levels and five changes
    EXPECT_FALSE(history[3].n_strobe);
    EXPECT_EQ(history[3].data, 0x7F);
    EXPECT_TRUE(history[4].n_strobe);
    EXPECT_EQ(history[4].time - history[3].time, 10000u);
    EXPECT_TRUE(history[5].n_select_in);
}

// --- data direction ---

struct DirectionCase {
    const char* name;
    bool ecp;
    uint8_t ecr;
    bool reversed;
};

class DataDirection : public PortFixture, public ::testing::TestWithParam<DirectionCase> {};

TEST_P(DataDirection, BitFiveTurnsTheDataLinesAroundWhereTheModeAllows) {
    const DirectionCase& c = GetParam();
    Build(0x378, c.ecp);
    SetMode(c.ecr);
    port->SetDataInputs(0x3C);
    Out8(base, 0x96);

    Out8(base + 2, 0x24);
    EXPECT_EQ(In8(base), c.reversed ? 0x3C : 0x96);
    EXPECT_EQ(port->CurrentLines().data_driven, !c.reversed);
    Out8(base + 2, 0x04);
    EXPECT_EQ(In8(base), 0x96);
    EXPECT_TRUE(port->CurrentLines().data_driven);
}

INSTANTIATE_TEST_SUITE_P(Modes, DataDirection,
                         ::testing::Values(DirectionCase{"StandardModeOnlyDrives", true, 0x00,
                                                         false},
                                           DirectionCase{"FifoModeOnlyDrives", true, 0x40, false},
                                           DirectionCase{"Ps2Mode", true, 0x20, true},
                                           DirectionCase{"EppMode", true, 0x80, true},
                                           DirectionCase{"PortWithoutEcr", false, 0x00, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- status ---

struct StatusCase {
    const char* name;
    ParallelPortHardware::StatusLines lines;
    uint8_t expected;
};

class StatusRegister : public PortFixture, public ::testing::TestWithParam<StatusCase> {};

TEST_P(StatusRegister, ReflectsTheInputLinesWithBusyInverted) {
    Build();
    port->SetStatusLines(GetParam().lines);
    EXPECT_EQ(In8(base + 1), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, StatusRegister,
    ::testing::Values(StatusCase{"OpenConnector", {true, true, true, true, true}, 0x7E},
                      StatusCase{"IdleDevice", {true, false, false, true, true}, 0xDE},
                      StatusCase{"AckLow", {false, true, true, true, true}, 0x3E},
                      StatusCase{"PaperEndOnly", {false, true, true, false, false}, 0x26},
                      StatusCase{"AllLow", {false, false, false, false, false}, 0x86}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(EppTimeout, ACycleNobodyAnswersSetsBitZeroUntilAOneIsWrittenThere) {
    simpc::Pc pc;
    auto port = ParallelPortHardware::AttachTo(pc.bus(), ParallelPortHardware::Config());
    Out8(0x77A, 0x80);  // EPP mode; nothing is plugged in
    EXPECT_EQ(In8(0x379) & 0x01, 0);

    const Nanoseconds start = pc.clock().Now();
    EXPECT_EQ(In8(0x37C), 0xFF);
    EXPECT_EQ(pc.clock().Now() - start, 10000u);  // the time-out, not a cycle
    EXPECT_EQ(In8(0x379) & 0x01, 0x01);

    Out8(0x379, 0xFE);
    EXPECT_TRUE(port->EppTimeout());
    Out8(0x379, 0xFF);
    EXPECT_FALSE(port->EppTimeout());
    EXPECT_EQ(In8(0x379) & 0x01, 0);

    port->Connect(std::make_shared<RecordingPeripheral>());
    Out8(0x37B, 0x01);
    EXPECT_FALSE(port->EppTimeout());
}

TEST(ExtendedControlRegister, KeepsModeAndControlBitsReportsAnEmptyFifoAndShowsConfiguration) {
    simpc::Pc pc;
    ParallelPortHardware::Config config;
    config.base = 0x278;
    ParallelPortHardware::AttachTo(pc.bus(), config);
    EXPECT_EQ(In8(0x67A), 0x35);  // power-up: PS/2 mode
    Out8(0x67A, 0x94);
    EXPECT_EQ(In8(0x67A), 0x95);
    Out8(0x67A, 0x36);  // bits 1..0 are the FIFO's, not writable
    EXPECT_EQ(In8(0x67A), 0x35);

    EXPECT_EQ(In8(0x678), 0xFF);  // cnfgA only in configuration mode
    Out8(0x67A, 0xE0);
    Out8(0x678, 0x00);
    EXPECT_EQ(In8(0x678), 0x10);
    EXPECT_EQ(In8(0x679), 0x00);
}

}  // namespace
