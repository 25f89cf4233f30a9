// Requests whose buffers or parameters do not fit what they would read or
// write.  Each is refused before the first port access and leaves the
// caller's buffers, the port and the driver's state as they were.  Every
// buffer is exactly as long as the request says, so that a read or write
// past it fails under AddressSanitizer.
#include "port_fixture.h"

using ::testing::IsEmpty;

namespace {

constexpr uint8_t kUntouched = 0xEE;

std::vector<uint8_t> PortBytes(uint32_t function, uint32_t register_, uint32_t value,
                               size_t length) {
    LorPortRequest request{function, register_, {0}};
    request.Value.Ulong = value;
    const auto* bytes = reinterpret_cast<const uint8_t*>(&request);
    return std::vector<uint8_t>(bytes, bytes + length);
}

std::vector<uint8_t> PairsBytes(uint32_t first, uint32_t stride, uint32_t count,
                                size_t length = sizeof(LorReadPairsRequest)) {
    LorReadPairsRequest request{0, first, stride, count};
    const auto* bytes = reinterpret_cast<const uint8_t*>(&request);
    return std::vector<uint8_t>(bytes, bytes + length);
}

std::vector<uint8_t> Window(uint16_t span, uint16_t start, uint16_t step) {
    return {static_cast<uint8_t>(span),  static_cast<uint8_t>(span >> 8),
            static_cast<uint8_t>(start), static_cast<uint8_t>(start >> 8),
            static_cast<uint8_t>(step),  static_cast<uint8_t>(step >> 8)};
}

struct BadInput {
    const char* name;
    DWORD code;
    std::vector<uint8_t> input;       // the whole input, exactly
    DWORD output_length;              // 0: no output buffer
    std::vector<uint8_t> output_head; // the output's first bytes; kUntouched after them
    DWORD error;
};

class BadInputTest : public PortTest, public ::testing::WithParamInterface<BadInput> {};

TEST_P(BadInputTest, IsRefusedWithNothingTouched) {
    const BadInput& c = GetParam();
    const DWORD input_length = static_cast<DWORD>(c.input.size());
    auto input = std::make_unique<uint8_t[]>(input_length);
    std::copy(c.input.begin(), c.input.end(), input.get());
    auto output = Filled(c.output_length, kUntouched);
    std::copy(c.output_head.begin(), c.output_head.end(), output.get());
    std::vector<uint8_t> output_before(output.get(), output.get() + c.output_length);
    port_->Stream(lpt1::kEppData, [](uint64_t) { return uint8_t{0x81}; });
    const std::vector<uint8_t> extension = ExtensionBytes();

    const Reply reply = Control(handle_, c.code, input_length ? input.get() : nullptr, input_length,
                                c.output_length ? output.get() : nullptr, c.output_length);

    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, c.error);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_TRUE(std::equal(c.input.begin(), c.input.end(), input.get()));
    EXPECT_EQ(std::vector<uint8_t>(output.get(), output.get() + c.output_length), output_before);
    EXPECT_THAT(BusTrace(), IsEmpty());
    EXPECT_EQ(ExtensionBytes(), extension);
}

constexpr DWORD kTooSmall = ERROR_INSUFFICIENT_BUFFER;
constexpr DWORD kInvalid = ERROR_INVALID_PARAMETER;
constexpr DWORD kNoAccess = ERROR_NOACCESS;

INSTANTIATE_TEST_SUITE_P(
    PortRequest, BadInputTest,
    ::testing::Values(
        // Input shorter than Function, Register and, for a write, Value.
        BadInput{
            "ReadUcharInput7", IOCTL_LOR_PORT_REQUEST, PortBytes(0x800, 0, 0, 7), 4, {}, kTooSmall},
        BadInput{
            "ReadUlongInput4", IOCTL_LOR_PORT_REQUEST, PortBytes(0x802, 0, 0, 4), 4, {}, kTooSmall},
        BadInput{"IndexedReadInput7",
                 IOCTL_LOR_PORT_REQUEST,
                 PortBytes(0x821, 1, 0, 7),
                 2,
                 {},
                 kTooSmall},
        BadInput{"DirectionModeInput7",
                 IOCTL_LOR_PORT_REQUEST,
                 PortBytes(0x950, 1, 0, 7),
                 0,
                 {},
                 kTooSmall},
        BadInput{"WriteUcharInput8",
                 IOCTL_LOR_PORT_REQUEST,
                 PortBytes(0x900, 3, 0xA7, 8),
                 0,
                 {},
                 kTooSmall},
        BadInput{"WriteUshortInput9",
                 IOCTL_LOR_PORT_REQUEST,
                 PortBytes(0x901, 0, 0xA7A7, 9),
                 0,
                 {},
                 kTooSmall},
        BadInput{"WriteUlongInput11",
                 IOCTL_LOR_PORT_REQUEST,
                 PortBytes(0x902, 0, 1, 11),
                 0,
                 {},
                 kTooSmall},
        BadInput{"IndexedWriteUcharInput8",
                 IOCTL_LOR_PORT_REQUEST,
                 PortBytes(0x920, 1, 1, 8),
                 0,
                 {},
                 kTooSmall},
        BadInput{"IndexedWriteUshortInput9",
                 IOCTL_LOR_PORT_REQUEST,
                 PortBytes(0x921, 1, 0x1234, 9),
                 0,
                 {},
                 kTooSmall},
        // A read's output shorter than its value, checked before the register's range.
        BadInput{
            "ReadUcharOutput0", IOCTL_LOR_PORT_REQUEST, PortBytes(0x800, 0, 0, 8), 0, {}, kInvalid},
        BadInput{"ReadUshortOutput1",
                 IOCTL_LOR_PORT_REQUEST,
                 PortBytes(0x801, 0, 0, 8),
                 1,
                 {},
                 kInvalid},
        BadInput{"ReadUlongOutput3OutOfRange",
                 IOCTL_LOR_PORT_REQUEST,
                 PortBytes(0x802, 0xFFFFFFFFu, 0, 8),
                 3,
                 {},
                 kInvalid},
        BadInput{"IndexedReadUshortOutput1",
                 IOCTL_LOR_PORT_REQUEST,
                 PortBytes(0x821, 1, 0, 8),
                 1,
                 {},
                 kInvalid},
        // A register access that would leave the five registers.
        BadInput{"ReadUcharRegister5",
                 IOCTL_LOR_PORT_REQUEST,
                 PortBytes(0x800, 5, 0, 8),
                 1,
                 {},
                 kNoAccess},
        BadInput{"WriteUlongRegister2",
                 IOCTL_LOR_PORT_REQUEST,
                 PortBytes(0x902, 2, 0, 12),
                 0,
                 {},
                 kNoAccess}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    ReadPairs, BadInputTest,
    ::testing::Values(
        BadInput{
            "Input15", IOCTL_LOR_PORT_READ_PAIRS, PairsBytes(0, 1, 1, 15), 0x8001, {}, kTooSmall},
        BadInput{"NoInput", IOCTL_LOR_PORT_READ_PAIRS, {}, 0x8001, {}, kTooSmall},
        // The last pair's upper byte at the output's end, and one pair further.
        BadInput{"UpperByteAtEnd",
                 IOCTL_LOR_PORT_READ_PAIRS,
                 PairsBytes(1, 1, 1),
                 0x8001,
                 {},
                 kTooSmall},
        BadInput{"OnePairTooMany",
                 IOCTL_LOR_PORT_READ_PAIRS,
                 PairsBytes(0, 1, 2),
                 0x8001,
                 {},
                 kTooSmall},
        // Requests that would fit if the last byte's offset wrapped at 32 bits.
        BadInput{"StrideWraps",
                 IOCTL_LOR_PORT_READ_PAIRS,
                 PairsBytes(0, 0x80000000u, 3),
                 0x8001,
                 {},
                 kTooSmall},
        BadInput{"StrideTimesCountWraps",
                 IOCTL_LOR_PORT_READ_PAIRS,
                 PairsBytes(0, 0x10000u, 0x10001u),
                 0x8001,
                 {},
                 kTooSmall},
        BadInput{"FirstOffsetWraps",
                 IOCTL_LOR_PORT_READ_PAIRS,
                 PairsBytes(0xFFFF8000u, 0, 1),
                 0x8001,
                 {},
                 kTooSmall},
        BadInput{"NoOutput", IOCTL_LOR_PORT_READ_PAIRS, PairsBytes(0, 0, 1), 0, {}, kNoAccess}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Acquisition, BadInputTest,
    ::testing::Values(
        BadInput{"UntilStopOneShort", IOCTL_LOR_READ_UNTIL_STOP, {}, 0xFCFF, {}, kTooSmall},
        BadInput{"UntilStopNoOutput", IOCTL_LOR_READ_UNTIL_STOP, {}, 0, {}, kNoAccess},
        BadInput{"CaptureOneShort", IOCTL_LOR_CAPTURE_TRIGGERED, {}, 0xFCFF, {}, kTooSmall},
        BadInput{"CaptureOneByte", IOCTL_LOR_CAPTURE_TRIGGERED, {}, 1, {}, kTooSmall},
        BadInput{"CaptureNoOutput", IOCTL_LOR_CAPTURE_TRIGGERED, {1}, 0, {}, kNoAccess},
        BadInput{"ReadBytesOutputShorter",
                 IOCTL_LOR_READ_BYTES,
                 std::vector<uint8_t>(17),
                 16,
                 {},
                 kTooSmall},
        BadInput{"ReadBytesNoOutput", IOCTL_LOR_READ_BYTES, {1}, 0, {}, kNoAccess},
        BadInput{"WindowUnderSixBytes", IOCTL_LOR_READ_WINDOW, {}, 5, {0, 0, 0, 0, 0}, kTooSmall},
        BadInput{"WindowNoOutput", IOCTL_LOR_READ_WINDOW, {}, 0, {}, kNoAccess},
        BadInput{"WindowZeroStep", IOCTL_LOR_READ_WINDOW, {}, 0x10000, Window(1, 0, 0), kInvalid},
        // The walk's first position past the window would be 0xFFFA + 4 * 3.
        BadInput{"WindowWalksPast65535",
                 IOCTL_LOR_READ_WINDOW,
                 {},
                 0x18000,
                 Window(10, 0xFFFA, 3),
                 kInvalid},
        BadInput{"WindowEndsPast65535",
                 IOCTL_LOR_READ_WINDOW,
                 {},
                 0x18000,
                 Window(1, 0xFFFF, 1),
                 kInvalid},
        // The last position's upper byte at the buffer's end.
        BadInput{
            "WindowPastTheBuffer", IOCTL_LOR_READ_WINDOW, {}, 0x8000, Window(1, 0, 1), kTooSmall},
        BadInput{"WindowLastPositionPastTheBuffer",
                 IOCTL_LOR_READ_WINDOW,
                 {},
                 0x8009,
                 Window(10, 0, 3),
                 kTooSmall}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    EepromAndOutput, BadInputTest,
    ::testing::Values(
        BadInput{"EepromInput1", IOCTL_LOR_READ_EEPROM, {5}, 2, {}, kTooSmall},
        BadInput{"EepromNoInput", IOCTL_LOR_READ_EEPROM, {}, 2, {}, kTooSmall},
        BadInput{"EepromOutput1", IOCTL_LOR_READ_EEPROM, {5, 0}, 1, {}, kTooSmall},
        BadInput{"EepromNoOutput", IOCTL_LOR_READ_EEPROM, {5, 0}, 0, {}, kTooSmall},
        BadInput{"ShiftOutNoOutput", IOCTL_LOR_SHIFT_OUT, {0xA5}, 0, {}, kNoAccess},
        BadInput{"ShiftOutBlockNoOutput", IOCTL_LOR_SHIFT_OUT_BLOCK, {0xA5}, 0, {}, kNoAccess},
        BadInput{"WriteBytesNoOutput", IOCTL_LOR_WRITE_BYTES, {0xA5}, 0, {}, kNoAccess}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

} // namespace
