// Acquisition reads: a window of positions, reads that the device ends
// with a stop flag, the triggered capture of 32768 passes, and plain byte
// reads, all from the EPP data register into the caller's buffer.
#include "port_fixture.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

constexpr uint8_t kUntouched = 0xEE;

class AcquisitionTest : public PortTest {
  protected:
    // Sends `code` with an output of exactly `length` bytes, kUntouched
    // except for the leading `head` bytes.
    Reply Read(DWORD code, DWORD length, const std::vector<uint8_t>& head = {}) {
        output_ = Filled(length, kUntouched);
        std::copy(head.begin(), head.end(), output_.get());
        length_ = length;
        return Control(handle_, code, nullptr, 0, output_.get(), length);
    }
    std::vector<uint8_t> Output() const {
        return std::vector<uint8_t>(output_.get(), output_.get() + length_);
    }

    size_t Reads() { return CountOf(simpc::BusEvent::kRead, lpt1::kEppData); }
    size_t Writes() { return CountOf(simpc::BusEvent::kWrite); }

    std::unique_ptr<uint8_t[]> output_;
    DWORD length_ = 0;
};

uint8_t Counter(uint64_t n) {
    return static_cast<uint8_t>(0x10 + n);
}

TEST_F(AcquisitionTest, WindowFillsItsPositionsInBothPlanesOverTheParameters) {
    port_->Stream(lpt1::kEppData, Counter);
    // Span 10, start 0, step 3: positions 0, 3, 6, 9.
    const DWORD length = 0x8000 + 9 + 1;
    const Reply reply = Read(IOCTL_LOR_READ_WINDOW, length, {10, 0, 0, 0, 3, 0});
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(Reads(), 8u);

    std::vector<uint8_t> expected(length, kUntouched);
    // Offsets 0 and 3 are positions and take data; 1, 2, 4 and 5 keep the parameters.
    expected[1] = 0;
    expected[2] = 0;
    expected[4] = 3;
    expected[5] = 0;
    for (int i = 0; i < 4; ++i) {
        expected[3 * i] = Counter(2 * i);
        expected[0x8000 + 3 * i] = Counter(2 * i + 1);
    }
    EXPECT_EQ(Output(), expected);
}

TEST_F(AcquisitionTest, WindowAtTheTopOfThePositionRange) {
    port_->Stream(lpt1::kEppData, Counter);
    // Span 10, start 0xFFF1, step 3: positions 0xFFF1 to 0xFFFA, and the walk
    // ends at 0xFFFD, inside the 16-bit range.
    const DWORD length = 0x8000 + 0xFFFA + 1;
    const Reply reply = Read(IOCTL_LOR_READ_WINDOW, length, {10, 0, 0xF1, 0xFF, 3, 0});
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(Reads(), 8u);
    EXPECT_EQ(output_[0xFFFA], Counter(6));
    EXPECT_EQ(output_[0x8000 + 0xFFFA], Counter(7));
    EXPECT_EQ(output_[0xFFFB], kUntouched);
}

TEST_F(AcquisitionTest, EmptyWindowReadsNothingAndChangesNothing) {
    const Reply reply = Read(IOCTL_LOR_READ_WINDOW, 6, {0, 0, 0xFF, 0xFF, 0, 0});
    EXPECT_TRUE(reply.ok);
    EXPECT_THAT(Output(), ElementsAre(0, 0, 0xFF, 0xFF, 0, 0));
    EXPECT_THAT(BusTrace(), IsEmpty());
}

struct UntilStopCase {
    const char* name;
    std::vector<uint8_t> device;
    uint16_t pair_count;
    uint8_t stop_flag;
    size_t reads;
};

class UntilStopTest : public AcquisitionTest,
                      public ::testing::WithParamInterface<UntilStopCase> {};

TEST_P(UntilStopTest, StoresPairsFromPositionTwoUntilAFlagEndsTheRead) {
    const UntilStopCase& c = GetParam();
    port_->QueueAll(lpt1::kEppData, c.device);
    const Reply reply = Read(IOCTL_LOR_READ_UNTIL_STOP, LOR_SAMPLE_BUFFER_SIZE);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(Reads(), c.reads);
    EXPECT_THAT(BusTrace(), ::testing::SizeIs(c.reads));

    std::vector<uint8_t> expected(LOR_SAMPLE_BUFFER_SIZE, kUntouched);
    expected[0] = static_cast<uint8_t>(c.pair_count);
    expected[1] = static_cast<uint8_t>(c.pair_count >> 8);
    expected[0x8000] = c.stop_flag;
    for (int k = 0; k < c.pair_count; ++k) {
        expected[2 + k] = c.device[3 * k + 1];
        expected[0x8002 + k] = c.device[3 * k + 2];
    }
    EXPECT_EQ(Output(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Flags, UntilStopTest,
    ::testing::Values(
        UntilStopCase{"StopAtOnce", {0x40}, 0, 1, 1},
        // Bit 6 is tested before bit 7.
        UntilStopCase{"StopWithPairBit", {0xC0}, 0, 1, 1},
        UntilStopCase{"NoPairAtOnce", {0x00}, 0, 0, 1},
        // Flag bits other than 6 and 7 play no part; flags are not stored.
        UntilStopCase{"TwoPairsThenStop", {0x80, 0x21, 0x22, 0xBF, 0x31, 0x32, 0x40}, 2, 1, 7},
        UntilStopCase{"TwoPairsThenNoPair", {0x80, 0x21, 0x22, 0x80, 0x31, 0x32, 0x3F}, 2, 0, 7}),
    [](const ::testing::TestParamInfo<UntilStopCase>& info) {
        return std::string(info.param.name);
    });

TEST_F(AcquisitionTest, UntilStopEndsAfterTheLastPairThatFits) {
    // A device that announces pairs forever.
    port_->Stream(lpt1::kEppData, [](uint64_t) { return uint8_t{0x80}; });
    ASSERT_TRUE(Read(IOCTL_LOR_READ_UNTIL_STOP, LOR_SAMPLE_BUFFER_SIZE).ok);
    EXPECT_EQ(Reads(), 95994u);
    // Positions 2 to 31999 in both planes; the highest offset written, 0xFCFF,
    // is the buffer's last byte.
    std::vector<uint8_t> expected(LOR_SAMPLE_BUFFER_SIZE, kUntouched);
    expected[0] = 31998 & 0xFF;
    expected[1] = 31998 >> 8;
    expected[0x8000] = 0;
    for (uint32_t position = 2; position <= 31999; ++position) {
        expected[position] = 0x80;
        expected[0x8000 + position] = 0x80;
    }
    EXPECT_EQ(Output(), expected);
}

// Passes 0 to 768 are discarded, so the first pass that can trigger is 769.
class CaptureTest : public AcquisitionTest, public ::testing::WithParamInterface<uint32_t> {
  protected:
    void SetUp() override {
        AcquisitionTest::SetUp();
        WriteRegister(LOR_REGISTER_EPP_ADDRESS, 0xA7); // AddressHighBits 0xA0
    }
};

TEST_P(CaptureTest, StoresZerosUntilTheTriggerAndPairsAfterIt) {
    const uint32_t r = GetParam();
    // Three reads per pass up to the trigger pass, then the trigger step's read.
    const uint64_t trigger_byte = 3ull * r + 2;
    const uint64_t step_read = trigger_byte + 1;
    port_->Stream(lpt1::kEppData, [=](uint64_t n) {
        const uint8_t value = static_cast<uint8_t>(0x10 + n * 2); // bit 0 clear
        return n == trigger_byte || n == step_read ? static_cast<uint8_t>(value | 0x81) : value;
    });
    ASSERT_TRUE(Read(IOCTL_LOR_CAPTURE_TRIGGERED, LOR_SAMPLE_BUFFER_SIZE).ok);

    EXPECT_EQ(Reads(), r + 65538u);
    // Three writes in all: the trigger step, right after the trigger byte.
    EXPECT_EQ(Writes(), 3u);
    const std::vector<std::string> trace = BusTrace();
    ASSERT_GT(trace.size(), step_read + 3);
    const uint8_t device_register = static_cast<uint8_t>(0x10 + step_read * 2) | 0x81;
    char read[16];
    std::snprintf(read, sizeof(read), "R1 37C %02X", device_register);
    char written[16];
    std::snprintf(written, sizeof(written), "W1 37C %02X", device_register & 0x7F);
    // Register 4 gets bit 7 cleared, then register 0x0D stays selected; both with the high bits.
    EXPECT_THAT(std::vector<std::string>(trace.begin() + step_read, trace.begin() + step_read + 4),
                ElementsAre("W1 37B A4", read, written, "W1 37B AD"));

    std::vector<uint8_t> expected(LOR_SAMPLE_BUFFER_SIZE, kUntouched);
    for (uint32_t position = 1; position <= 31999; ++position) {
        const uint32_t pass = position + 768;
        if (pass <= r) {
            expected[position] = 0;
            expected[0x8000 + position] = 0;
        } else {
            const uint64_t first = step_read + 1 + 2ull * (pass - r - 1);
            expected[position] = static_cast<uint8_t>(0x10 + first * 2);
            expected[0x8000 + position] = static_cast<uint8_t>(0x10 + (first + 1) * 2);
        }
    }
    EXPECT_EQ(Output(), expected);
}

INSTANTIATE_TEST_SUITE_P(TriggerPasses, CaptureTest, ::testing::Values(769u, 5000u, 32767u));

TEST_F(AcquisitionTest, CaptureWithoutTriggerIsAllZerosAndWritesNothing) {
    // The trigger bit is set only in the discarded passes.
    port_->Stream(lpt1::kEppData,
                  [](uint64_t n) { return n < 3 * 769 ? uint8_t{0xFF} : uint8_t{0xFE}; });
    ASSERT_TRUE(Read(IOCTL_LOR_CAPTURE_TRIGGERED, LOR_SAMPLE_BUFFER_SIZE).ok);
    EXPECT_EQ(Reads(), 98304u);
    EXPECT_EQ(Writes(), 0u);
    // Zeros at positions 1 to 31999; position 0 and those past 31999 are never written.
    std::vector<uint8_t> expected(LOR_SAMPLE_BUFFER_SIZE, kUntouched);
    for (uint32_t position = 1; position <= 31999; ++position) {
        expected[position] = 0;
        expected[0x8000 + position] = 0;
    }
    EXPECT_EQ(Output(), expected);
}

TEST_F(AcquisitionTest, ReadBytesReadsAsManyAsTheInputIsLong) {
    port_->Stream(lpt1::kEppData, Counter);
    auto input = Filled(16, 0x00);
    auto output = Filled(16, kUntouched);
    const Reply reply = Control(handle_, IOCTL_LOR_READ_BYTES, input.get(), 16, output.get(), 16);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, 16u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(output[i], Counter(i));
    }
    EXPECT_EQ(Reads(), 16u);
    EXPECT_EQ(pc_.bus().Trace().size(), 16u);
}

TEST_F(AcquisitionTest, ReadBytesWithoutInputReadsNothing) {
    const Reply reply = Read(IOCTL_LOR_READ_BYTES, 4);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_THAT(Output(), ::testing::Each(kUntouched));
    EXPECT_THAT(BusTrace(), IsEmpty());
}

} // namespace
