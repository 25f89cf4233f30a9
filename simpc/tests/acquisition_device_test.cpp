// The acquisition device behind its port's EPP registers: register
// selection by the address byte, the bit-serial input, the sample
// source's streams and the switch to two-byte frames after a trigger step,
// and the demo's signal generator.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "acquisition_bench.h"
#include "hal_port_access.h"
#include "periodic_signal_generator.h"

using simpc::AcquisitionDevice;
using simpc::Sample;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

class DeviceFixture {
  protected:
    DeviceFixture() { hal_port::Out8(0x77A, 0x80); }  // EPP mode

    std::vector<uint8_t> ReadBytes(int count) const {
        std::vector<uint8_t> bytes;
        for (int i = 0; i < count; ++i) {
            bytes.push_back(host.Read());
        }
        return bytes;
    }
    void WriteBytes(const std::vector<uint8_t>& bytes) const {
        for (uint8_t byte : bytes) {
            host.Write(byte);
        }
    }
    AcquisitionDevice& device() { return *bench.device; }

    simpc::Pc pc;
    simpc::AcquisitionBench bench = simpc::AttachAcquisitionDevice(pc);
    hal_port::EppHost host{0x378};
};

class AcquisitionDeviceTest : public DeviceFixture, public ::testing::Test {};

// --- registers ---

TEST_F(AcquisitionDeviceTest, AddressByteSelectsARegisterByItsLowNibbleAndKeepsTheHighOne) {
    EXPECT_EQ(device().SelectedIndex(), 0);
    EXPECT_EQ(device().RegisterAt(AcquisitionDevice::kRegisterCapture).value, 0x80);

    host.Select(0xA7);
    host.Write(0x12);
    host.Write(0x34);
    EXPECT_EQ(device().AddressByte(), 0xA7);
    EXPECT_EQ(hal_port::In8(0x37B), 0xA7);  // an address read cycle
    host.Select(0x07);                      // another qualifier, the same register
    EXPECT_EQ(host.Read(), 0x34);

    const AcquisitionDevice::Register& reg = device().RegisterAt(7);
    EXPECT_EQ(reg.value, 0x34);
    EXPECT_EQ(reg.writes, 2u);
    EXPECT_EQ(reg.reads, 1u);
    EXPECT_EQ(device().RegisterAt(6).writes, 0u);
}

// --- bit-serial input ---

TEST_F(AcquisitionDeviceTest, SerialInputTakesBitFourAtEachRisingEdgeOfBitFiveMsbFirst) {
    host.Select(AcquisitionDevice::kRegisterSerialInput);
    // 0xA5: bits 1 0 1 0 0 1 0 1, each a high-low-high clock with the data.
    WriteBytes({0xF4, 0xD4, 0xF4, 0xE4, 0xC4, 0xE4, 0xF4, 0xD4, 0xF4, 0xE4, 0xC4, 0xE4,
                0xE4, 0xC4, 0xE4, 0xF4, 0xD4, 0xF4, 0xE4, 0xC4, 0xE4, 0xF4, 0xD4, 0xF4});
    EXPECT_THAT(device().serial_input().Bytes(), ElementsAre(0xA5));
    EXPECT_EQ(device().serial_input().BitsReceived(), 8u);

    WriteBytes({0xD4, 0xF4, 0xC4, 0xE4, 0xD4, 0xF4});  // three more bits: 1 0 1
    EXPECT_THAT(device().serial_input().Bytes(), ElementsAre(0xA5));
    EXPECT_EQ(device().serial_input().BitsReceived(), 11u);
    EXPECT_EQ(device().serial_input().PendingBits(), 0x5);
    EXPECT_EQ(device().serial_input().PendingBitCount(), 3);
}

TEST_F(AcquisitionDeviceTest, SerialInputHearsOnlyItsOwnRegister) {
    host.Select(AcquisitionDevice::kRegisterEeprom);
    WriteBytes({0xF4, 0xD4, 0xF4, 0xE4, 0xC4, 0xE4});
    host.Select(0x0C);
    WriteBytes({0xF4, 0xD4, 0xF4});
    EXPECT_EQ(device().serial_input().BitsReceived(), 0u);
    // The EEPROM saw clocks but never a start bit (DI, bit 0, stays low).
    host.Select(AcquisitionDevice::kRegisterEeprom);
    EXPECT_EQ(host.Read(), AcquisitionDevice::kEepromDo);
}

// --- sample source: flagged pairs and plain bytes ---

struct StreamCase {
    const char* name;
    std::vector<Sample> pairs;
    uint8_t end_flag;
    std::vector<uint8_t> expected;
};

class FlaggedPairs : public DeviceFixture, public ::testing::TestWithParam<StreamCase> {};

TEST_P(FlaggedPairs, AnnounceEachPairWithBitSevenThenRepeatTheEndFlag) {
    const StreamCase& c = GetParam();
    device().samples().PlayFlaggedPairs(c.pairs, c.end_flag);
    host.Select(AcquisitionDevice::kRegisterSamples);
    EXPECT_THAT(ReadBytes(static_cast<int>(c.expected.size())), ElementsAreArray(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Streams, FlaggedPairs,
    ::testing::Values(
        StreamCase{"TwoPairsThenStop",
                   {{0x11, 0x22, 0}, {0x33, 0x44, 0}},
                   0x40,
                   {0x80, 0x11, 0x22, 0x80, 0x33, 0x44, 0x40, 0x40}},
        StreamCase{"EndWithoutStopBit", {{0x11, 0x22, 0}}, 0x00, {0x80, 0x11, 0x22, 0x00, 0x00}},
        StreamCase{"StopAtOnce", {}, 0x40, {0x40, 0x40}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AcquisitionDeviceTest, PlainBytesComeAsScriptedThenIdle) {
    host.Select(AcquisitionDevice::kRegisterSamples);
    EXPECT_THAT(ReadBytes(1), ElementsAre(simpc::SampleSource::kIdleByte));
    device().samples().PlayBytes({0x01, 0x02, 0x03});
    EXPECT_THAT(ReadBytes(4), ElementsAre(0x01, 0x02, 0x03, 0x00));
    EXPECT_EQ(device().RegisterAt(AcquisitionDevice::kRegisterSamples).reads, 5u);
}

// --- sample source: frames and the trigger step ---

const std::vector<Sample> kFrames = {
    {0x10, 0x20, 0x00}, {0x11, 0x21, 0x01}, {0x12, 0x22, 0x00}, {0x13, 0x23, 0x00}};

class TriggerStep : public DeviceFixture, public ::testing::TestWithParam<uint8_t> {
  protected:
    // Select register 4, read it, write it back with bit 7 clear, select 0xD.
    void Run(uint8_t high_bits) const {
        host.Select(high_bits | 0x04);
        const uint8_t control = host.Read();
        host.Write(control & 0x7F);
        host.Select(high_bits | 0x0D);
    }
};

TEST_P(TriggerStep, SwitchesFromThreeByteToTwoByteFrames) {
    const uint8_t high_bits = GetParam();
    device().samples().PlayFrames(kFrames);
    host.Select(high_bits | AcquisitionDevice::kRegisterSamples);
    EXPECT_THAT(ReadBytes(6), ElementsAre(0x10, 0x20, 0x00, 0x11, 0x21, 0x01));
    Run(high_bits);
    EXPECT_THAT(ReadBytes(5), ElementsAre(0x12, 0x22, 0x13, 0x23, 0x00));
    EXPECT_EQ(device().RegisterAt(AcquisitionDevice::kRegisterCapture).value, 0x00);
    EXPECT_EQ(device().AddressByte(), high_bits | 0x0D);
}

INSTANTIATE_TEST_SUITE_P(HighBits, TriggerStep, ::testing::Values(0x00, 0xA0, 0xF0));

TEST_F(AcquisitionDeviceTest, TwoByteFramesNeedBothStepsAndEndWhenTheTriggerIsArmedAgain) {
    device().samples().PlayFrames(kFrames);
    host.Select(AcquisitionDevice::kRegisterSamples);
    EXPECT_THAT(ReadBytes(3), ElementsAre(0x10, 0x20, 0x00));
    host.Select(0x04);
    host.Write(0x00);  // bit 7 clear, but 0xD not selected yet: frames stay
    host.Select(0x03);
    host.Select(0x0D);
    EXPECT_THAT(ReadBytes(2), ElementsAre(0x11, 0x21));

    host.Select(0x04);
    host.Write(0x80);  // armed again
    host.Select(0x0D);
    EXPECT_THAT(ReadBytes(3), ElementsAre(0x12, 0x22, 0x00));
}

TEST_F(AcquisitionDeviceTest, SelectingTheSampleRegisterWhileArmedKeepsTriggerBytes) {
    device().samples().PlayFrames(kFrames);
    host.Select(0x04);
    host.Write(0x80);
    host.Select(0x0D);
    EXPECT_THAT(ReadBytes(6), ElementsAre(0x10, 0x20, 0x00, 0x11, 0x21, 0x01));
}

// --- the demo's signal ---

TEST(PeriodicSignalGenerator, GivesASineAndATriangleAndTriggersOnceAPeriodOnTheRise) {
    simpc::PeriodicSignalGenerator generator({100, 0x80});
    EXPECT_EQ(generator.At(25).first, 255);
    EXPECT_EQ(generator.At(75).first, 0);
    EXPECT_EQ(generator.At(0).second, 0);
    EXPECT_EQ(generator.At(25).second, 127);
    EXPECT_EQ(generator.At(50).second, 255);
    std::vector<int> triggers;
    for (int i = 0; i < 300; ++i) {
        if (generator.Next().trigger != 0) {
            triggers.push_back(i);
        }
    }
    EXPECT_THAT(triggers, ElementsAre(0, 100, 200));
}

TEST_F(AcquisitionDeviceTest, GeneratedFramesGoOnWithTheNextSampleAfterTheTriggerStep) {
    const simpc::PeriodicSignalGenerator reference({64, 0x80});
    device().samples().PlayFrames(std::make_shared<simpc::PeriodicSignalGenerator>(
        simpc::PeriodicSignalGenerator::Config{64, 0x80}));
    host.Select(AcquisitionDevice::kRegisterSamples);
    ReadBytes(3 * 10);  // samples 0..9, the trigger of sample 0 among them
    int frame = 10;
    while (ReadBytes(3)[2] == 0) {
        ++frame;
    }
    EXPECT_EQ(frame, 64);
    host.Select(0x04);
    host.Write(host.Read() & 0x7F);
    host.Select(0x0D);
    const Sample next = reference.At(65);
    EXPECT_THAT(ReadBytes(2), ElementsAre(next.first, next.second));
}

}  // namespace
