// The acquisition device's serial EEPROM, worked edge by edge through the
// EPP data register of its port: the READ instruction, the dummy bit, the
// sixteen data bits, CS ending an instruction, and the instructions that
// have no effect.
#include <gtest/gtest.h>

#include <cstdint>

#include "acquisition_bench.h"
#include "hal_port_access.h"

using simpc::AcquisitionDevice;

namespace {

constexpr uint8_t kCs = AcquisitionDevice::kEepromCs;
constexpr uint8_t kSk = AcquisitionDevice::kEepromSk;
constexpr uint8_t kDi = AcquisitionDevice::kEepromDi;
constexpr uint32_t kReadInstruction = 0x180;  // start bit, opcode 10

uint16_t Contents(int address) {
    return static_cast<uint16_t>(0xA55A ^ (address * 0x0397));
}

class SerialEeprom : public ::testing::Test {
  protected:
    SerialEeprom() {
        hal_port::Out8(0x77A, 0x80);  // EPP mode
        host.Select(AcquisitionDevice::kRegisterEeprom);
        for (int address = 0; address < simpc::MicrowireEeprom::kWords; ++address) {
            bench.device->eeprom().SetWord(address, Contents(address));
        }
    }

    // One SK pulse with CS high and DI at `di`: DI is stable while SK is high.
    void SendBit(bool di) const {
        const uint8_t lines = static_cast<uint8_t>(kCs | (di ? kDi : 0));
        host.Write(lines);
        host.Write(lines | kSk);
        host.Write(lines);
    }
    void SendBits(uint32_t bits, int count) const {
        for (int i = count - 1; i >= 0; --i) {
            SendBit(((bits >> i) & 1) != 0);
        }
    }
    void Select() const { host.Write(kCs | kDi); }
    void Deselect() const { host.Write(0x00); }
    bool DataOut() const { return (host.Read() & AcquisitionDevice::kEepromDo) != 0; }
    // One SK pulse with DI low, then DO as it stands after the rising edge.
    bool ClockOut() const {
        host.Write(kCs | kSk);
        host.Write(kCs);
        return DataOut();
    }
    uint16_t ClockOutWord() const {
        uint16_t word = 0;
        for (int i = 0; i < 16; ++i) {
            word = static_cast<uint16_t>((word << 1) | (ClockOut() ? 1 : 0));
        }
        return word;
    }
    uint16_t ReadWord(int address) const {
        Select();
        SendBits(kReadInstruction | address, 9);
        const uint16_t word = ClockOutWord();
        Deselect();
        return word;
    }

    simpc::Pc pc;
    simpc::AcquisitionBench bench = simpc::AttachAcquisitionDevice(pc);
    hal_port::EppHost host{0x378};
};

class SerialEepromRead : public SerialEeprom, public ::testing::WithParamInterface<int> {};

TEST_P(SerialEepromRead, GivesADummyZeroThenTheWordMsbFirstOneBitPerRisingEdge) {
    const int address = GetParam();
    const uint16_t expected = Contents(address);
    Select();
    SendBits((kReadInstruction | address) >> 1, 8);  // all but A0
    EXPECT_TRUE(DataOut()) << "DO is not driven while the instruction comes in";
    SendBit((address & 1) != 0);  // A0
    EXPECT_FALSE(DataOut()) << "the dummy bit";
    for (int bit = 15; bit >= 0; --bit) {
        EXPECT_EQ(ClockOut(), ((expected >> bit) & 1) != 0) << "data bit " << bit;
    }
    Deselect();
    EXPECT_TRUE(DataOut());
}

INSTANTIATE_TEST_SUITE_P(Addresses, SerialEepromRead, ::testing::Values(0, 5, 0x2A, 63));

TEST_F(SerialEeprom, ChipSelectLowInTheMiddleOfAnInstructionStartsOver) {
    Select();
    SendBits(0x35, 6);  // start, READ, and A5..A3 of 0x2A
    Deselect();
    EXPECT_EQ(ReadWord(5), Contents(5));
}

TEST_F(SerialEeprom, ClocksBeforeTheStartBitAreIgnored) {
    Select();
    SendBits(0x0, 3);
    SendBits(kReadInstruction | 5, 9);
    EXPECT_EQ(ClockOutWord(), Contents(5));
}

TEST_F(SerialEeprom, FurtherClocksReadOnIntoTheNextWordWrappingAtTheEnd) {
    Select();
    SendBits(kReadInstruction | 63, 9);
    EXPECT_EQ(ClockOutWord(), Contents(63));
    EXPECT_EQ(ClockOutWord(), Contents(0));
}

TEST_F(SerialEeprom, InstructionsOtherThanReadChangeNothingAndLeaveDoUndriven) {
    struct Instruction {
        uint32_t bits;
        int count;
    };
    const Instruction others[] = {
        {0x130, 9},         // EWEN: 1 00 11xxxx
        {0x145 << 16, 25},  // WRITE word 5 with 0x0000: 1 01 000101 + data
        {0x1C5, 9},         // ERASE word 5: 1 11 000101
        {0x120, 9},         // ERAL: 1 00 10xxxx
    };
    for (const Instruction& instruction : others) {
        Select();
        SendBits(instruction.bits, instruction.count);
        EXPECT_TRUE(DataOut());
        EXPECT_TRUE(ClockOut());
        Deselect();
    }
    EXPECT_EQ(bench.device->eeprom().Word(5), Contents(5));
    EXPECT_EQ(ReadWord(5), Contents(5));
}

TEST_F(SerialEeprom, LinesWrittenToAnotherDeviceRegisterDoNotReachIt) {
    host.Select(0x03);
    Select();
    SendBits(kReadInstruction | 5, 9);
    EXPECT_EQ(host.Read(), 0x05) << "register 3 just stores the lines";
    host.Select(AcquisitionDevice::kRegisterEeprom);
    EXPECT_TRUE(DataOut());
    EXPECT_EQ(ReadWord(6), Contents(6));
}

}  // namespace
