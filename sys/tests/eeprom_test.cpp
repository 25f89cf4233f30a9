// Reading a word of the device's serial EEPROM: the READ instruction
// clocked out line by line on the EPP data register, sixteen data bits
// sampled back, the word returned low byte first.
#include "port_fixture.h"

using ::testing::ElementsAreArray;

namespace {

class EepromTest : public PortTest {
  protected:
    // Sends IOCTL_LOR_READ_EEPROM for `address`; the word read in *word.
    Reply ReadEeprom(uint16_t address, uint16_t* word) {
        auto input = std::make_unique<uint8_t[]>(2);
        input[0] = static_cast<uint8_t>(address);
        input[1] = static_cast<uint8_t>(address >> 8);
        auto output = Filled(2, 0xEE);
        const Reply reply =
            Control(handle_, IOCTL_LOR_READ_EEPROM, input.get(), 2, output.get(), 2);
        *word = static_cast<uint16_t>(output[0] | (output[1] << 8));
        return reply;
    }

    // DO (bit 1 of a read) carries `word`, most significant bit first; the
    // other bits of each byte read are the opposite of DO.
    void DeviceHolds(uint16_t word) {
        for (int bit = 15; bit >= 0; --bit) {
            port_->Queue(lpt1::kEppData, (word >> bit) & 1 ? 0x02 : 0xFD);
        }
    }
};

// The lines of one instruction bit: DI set up with SK low, one SK pulse.
void AppendInstructionBit(char bit, std::vector<std::string>* trace) {
    const bool one = bit == '1';
    for (const char* line : {one ? "W1 37C 05" : "W1 37C 04", one ? "W1 37C 25" : "W1 37C 24",
                             one ? "W1 37C 05" : "W1 37C 04"}) {
        trace->push_back(line);
        trace->push_back("STALL 2");
    }
}

// Chip select with DI high, then the nine instruction bits as sent.
std::vector<std::string> InstructionTrace(const std::string& bits) {
    std::vector<std::string> trace = {"W1 37C 05", "STALL 20"};
    for (char bit : bits) {
        AppendInstructionBit(bit, &trace);
    }
    return trace;
}

struct InstructionCase {
    uint16_t address;
    const char* bits; // start bit, opcode 10, A5..A0
};

class EepromInstructionTest : public EepromTest,
                              public ::testing::WithParamInterface<InstructionCase> {};

TEST_P(EepromInstructionTest, SendsStartBitReadOpcodeAndSixAddressBits) {
    uint16_t word;
    ASSERT_TRUE(ReadEeprom(GetParam().address, &word).ok);
    const std::vector<std::string> trace = BusTrace();
    ASSERT_GE(trace.size(), 56u);
    const std::vector<std::string> sent(trace.begin(), trace.begin() + 56);
    EXPECT_THAT(sent, ElementsAreArray(InstructionTrace(GetParam().bits)));
}

INSTANTIATE_TEST_SUITE_P(Addresses, EepromInstructionTest,
                         ::testing::Values(InstructionCase{5, "110000101"},
                                           InstructionCase{0x45, "110000101"},
                                           InstructionCase{0xFFC5, "110000101"},
                                           InstructionCase{0xFFFF, "110111111"},
                                           InstructionCase{0, "110000000"}));

TEST_F(EepromTest, ClocksSixteenDataBitsAndDeselects) {
    DeviceHolds(0xB1C3);
    uint16_t word;
    ASSERT_TRUE(ReadEeprom(5, &word).ok);
    const std::vector<std::string> trace = BusTrace();
    ASSERT_EQ(trace.size(), 56u + 16 * 5 + 2);
    // Each data bit: SK up, SK down, then DO is sampled; nothing is read earlier.
    for (int bit = 0; bit < 16; ++bit) {
        const auto first = trace.begin() + 56 + 5 * bit;
        const char* sample = (0xB1C3 >> (15 - bit)) & 1 ? "R1 37C 02" : "R1 37C FD";
        EXPECT_THAT(std::vector<std::string>(first, first + 5),
                    ElementsAreArray({"W1 37C 24", "STALL 2", "W1 37C 04", "STALL 2", sample}))
            << "data bit " << bit;
    }
    EXPECT_EQ(trace[trace.size() - 2], "W1 37C 00");
    EXPECT_EQ(trace.back(), "STALL 2");

    uint64_t stalled = 0;
    for (const simpc::BusEvent& event : pc_.bus().Trace()) {
        stalled += event.kind == simpc::BusEvent::kStall ? event.value : 0;
        EXPECT_TRUE(event.kind == simpc::BusEvent::kStall || event.address == lpt1::kEppData);
    }
    EXPECT_EQ(CountOf(simpc::BusEvent::kWrite), 61u);
    EXPECT_EQ(CountOf(simpc::BusEvent::kRead), 16u);
    EXPECT_EQ(stalled, 140u);
}

class EepromWordTest : public EepromTest, public ::testing::WithParamInterface<uint16_t> {};

TEST_P(EepromWordTest, ReturnsTheSampledWordLowByteFirstInTwoBytes) {
    DeviceHolds(GetParam());
    uint16_t word = 0;
    const Reply reply = ReadEeprom(5, &word);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, 2u);
    EXPECT_EQ(word, GetParam());
}

// DO high at every sample, low at every sample, and a word whose halves differ.
INSTANTIATE_TEST_SUITE_P(Words, EepromWordTest,
                         ::testing::Values(uint16_t{0xFFFF}, uint16_t{0x0000}, uint16_t{0xB1C3},
                                           uint16_t{0x0001}, uint16_t{0x8000}));

} // namespace
