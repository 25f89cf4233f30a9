// Direct register access: the port's five registers at 8, 16 and 32 bits,
// the device registers behind the EPP address register, the direction
// mode, and the pair reads into the two-plane sample buffer.
#include <cstdio>

#include "port_fixture.h"

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

std::string Access(char kind, int width, uint32_t address, uint32_t value) {
    char text[32];
    std::snprintf(text, sizeof(text), "%c%d %X %0*X", kind, width, address, width * 2, value);
    return text;
}

struct RegisterCase {
    const char* name;
    uint32_t function;
    uint32_t register_;
    uint32_t address; // 0: out of range, refused
};

int WidthOf(uint32_t function) {
    return 1 << (function & 3);
}
bool IsRead(uint32_t function) {
    return function < LOR_PORT_WRITE_UCHAR;
}

class RegisterAccessTest : public PortTest, public ::testing::WithParamInterface<RegisterCase> {};

TEST_P(RegisterAccessTest, ReachesTheRegisterAtItsWidthOrIsRefused) {
    const RegisterCase& c = GetParam();
    const int width = WidthOf(c.function);
    const uint32_t value = 0x9A785634u & (width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1);
    port_->Hold(c.address, value);
    const std::vector<uint8_t> extension = ExtensionBytes();

    uint32_t result = 0;
    const Reply reply = PortRequest(c.function, c.register_, value, 12, 4, &result);

    if (c.address == 0) {
        EXPECT_FALSE(reply.ok);
        EXPECT_EQ(reply.error, static_cast<DWORD>(ERROR_NOACCESS));
        EXPECT_EQ(reply.bytes, 0u);
        EXPECT_THAT(BusTrace(), IsEmpty());
        EXPECT_EQ(ExtensionBytes(), extension);
    } else if (IsRead(c.function)) {
        ASSERT_TRUE(reply.ok);
        EXPECT_EQ(reply.bytes, static_cast<DWORD>(width));
        EXPECT_EQ(result, value);
        EXPECT_THAT(BusTrace(), ElementsAre(Access('R', width, c.address, value)));
    } else {
        ASSERT_TRUE(reply.ok);
        EXPECT_EQ(reply.bytes, 0u);
        EXPECT_THAT(BusTrace(), ElementsAre(Access('W', width, c.address, value)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    WidthsAndOffsets, RegisterAccessTest,
    ::testing::Values(
        RegisterCase{"ReadUcharData", LOR_PORT_READ_UCHAR, 0, lpt1::kData},
        RegisterCase{"ReadUcharControl", LOR_PORT_READ_UCHAR, 2, lpt1::kControl},
        RegisterCase{"ReadUcharEppAddress", LOR_PORT_READ_UCHAR, 3, lpt1::kEppAddress},
        RegisterCase{"ReadUcharEppData", LOR_PORT_READ_UCHAR, 4, lpt1::kEppData},
        RegisterCase{"ReadUcharPastEppData", LOR_PORT_READ_UCHAR, 5, 0},
        RegisterCase{"ReadUshortEppAddress", LOR_PORT_READ_USHORT, 3, lpt1::kEppAddress},
        RegisterCase{"ReadUshortEppData", LOR_PORT_READ_USHORT, 4, 0},
        // Status, control, EPP address and EPP data in one access.
        RegisterCase{"ReadUlongStatus", LOR_PORT_READ_ULONG, 1, lpt1::kStatus},
        RegisterCase{"ReadUlongData", LOR_PORT_READ_ULONG, 0, lpt1::kData},
        RegisterCase{"ReadUlongControl", LOR_PORT_READ_ULONG, 2, 0},
        RegisterCase{"WriteUcharControl", LOR_PORT_WRITE_UCHAR, 2, lpt1::kControl},
        RegisterCase{"WriteUcharEppData", LOR_PORT_WRITE_UCHAR, 4, lpt1::kEppData},
        RegisterCase{"WriteUcharPastEppData", LOR_PORT_WRITE_UCHAR, 5, 0},
        RegisterCase{"WriteUshortEppAddress", LOR_PORT_WRITE_USHORT, 3, lpt1::kEppAddress},
        RegisterCase{"WriteUshortEppData", LOR_PORT_WRITE_USHORT, 4, 0},
        RegisterCase{"WriteUlongStatus", LOR_PORT_WRITE_ULONG, 1, lpt1::kStatus},
        RegisterCase{"WriteUlongControl", LOR_PORT_WRITE_ULONG, 2, 0},
        // Offsets that pass a 32-bit "offset + width <= 5" by wrapping round.
        RegisterCase{"ReadUcharAllOnes", LOR_PORT_READ_UCHAR, 0xFFFFFFFFu, 0},
        RegisterCase{"ReadUshortAllOnes", LOR_PORT_READ_USHORT, 0xFFFFFFFFu, 0},
        RegisterCase{"ReadUlongAllOnes", LOR_PORT_READ_ULONG, 0xFFFFFFFFu, 0},
        RegisterCase{"ReadUshortWrapsToZero", LOR_PORT_READ_USHORT, 0xFFFFFFFEu, 0},
        RegisterCase{"ReadUlongWrapsToZero", LOR_PORT_READ_ULONG, 0xFFFFFFFCu, 0},
        RegisterCase{"WriteUcharAllOnes", LOR_PORT_WRITE_UCHAR, 0xFFFFFFFFu, 0},
        RegisterCase{"WriteUshortAllOnes", LOR_PORT_WRITE_USHORT, 0xFFFFFFFFu, 0},
        RegisterCase{"WriteUlongAllOnes", LOR_PORT_WRITE_ULONG, 0xFFFFFFFFu, 0},
        RegisterCase{"WriteUlongWrapsToZero", LOR_PORT_WRITE_ULONG, 0xFFFFFFFCu, 0}),
    [](const ::testing::TestParamInfo<RegisterCase>& info) {
        return std::string(info.param.name);
    });

struct HighBitsCase {
    const char* name;
    uint32_t function;
    uint32_t register_;
    uint32_t value;
    uint8_t high_bits; // AddressHighBits afterwards; it was 0x50 before
};

class AddressHighBitsTest : public PortTest, public ::testing::WithParamInterface<HighBitsCase> {};

TEST_P(AddressHighBitsTest, ComeOnlyFromAnEightBitWriteToTheEppAddressRegister) {
    WriteRegister(LOR_REGISTER_EPP_ADDRESS, 0x5F);
    ASSERT_EQ(Extension()->AddressHighBits, 0x50);
    const HighBitsCase& c = GetParam();
    ASSERT_TRUE(PortRequest(c.function, c.register_, c.value, 12, 0).ok);
    EXPECT_EQ(Extension()->AddressHighBits, c.high_bits);
}

INSTANTIATE_TEST_SUITE_P(
    Writes, AddressHighBitsTest,
    ::testing::Values(
        HighBitsCase{"UcharToEppAddress", LOR_PORT_WRITE_UCHAR, 3, 0xA7, 0xA0},
        HighBitsCase{"UcharLowNibbleOnly", LOR_PORT_WRITE_UCHAR, 3, 0x0F, 0x00},
        HighBitsCase{"UcharToEppData", LOR_PORT_WRITE_UCHAR, 4, 0xA7, 0x50},
        HighBitsCase{"UcharToControl", LOR_PORT_WRITE_UCHAR, 2, 0xA7, 0x50},
        HighBitsCase{"UshortOnEppAddress", LOR_PORT_WRITE_USHORT, 3, 0xA7A7, 0x50},
        HighBitsCase{"UlongCoveringEppAddress", LOR_PORT_WRITE_ULONG, 1, 0xA7A7A7A7u, 0x50},
        HighBitsCase{"IndexedUchar", LOR_PORT_WRITE_INDEXED_UCHAR, 3, 0xA7, 0x50},
        HighBitsCase{"IndexedUshort", LOR_PORT_WRITE_INDEXED_USHORT, 0xA3, 0xA7A7, 0x50}),
    [](const ::testing::TestParamInfo<HighBitsCase>& info) {
        return std::string(info.param.name);
    });

struct IndexedCase {
    const char* name;
    uint32_t function;
    uint32_t register_;
    uint32_t value;              // written, or expected as the result of a read
    std::vector<uint8_t> device; // what the EPP data register answers
    std::vector<std::string> trace;
};

class IndexedAccessTest : public PortTest, public ::testing::WithParamInterface<IndexedCase> {};

TEST_P(IndexedAccessTest, SelectsTheDeviceRegisterThenMovesTheBytes) {
    const IndexedCase& c = GetParam();
    port_->QueueAll(lpt1::kEppData, c.device);
    const bool read = IsRead(c.function);
    uint32_t result = 0;
    const Reply reply =
        PortRequest(c.function, c.register_, read ? 0 : c.value, 12, read ? 4 : 0, &result);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, read ? static_cast<DWORD>(WidthOf(c.function)) : 0u);
    if (read) {
        EXPECT_EQ(result, c.value);
    }
    // Direction mode 2 (from load) leaves the control register alone.
    EXPECT_THAT(BusTrace(), ElementsAreArray(c.trace));
}

INSTANTIATE_TEST_SUITE_P(
    ByteOrders, IndexedAccessTest,
    ::testing::Values(
        // Index bits above bit 3 are dropped; bit 6 marks a two-byte access.
        IndexedCase{"ReadUshortLowByteFirst",
                    LOR_PORT_READ_INDEXED_USHORT,
                    0x1F,
                    0x1234,
                    {0x34, 0x12},
                    {"W1 37B 4F", "R1 37C 34", "R1 37C 12"}},
        IndexedCase{"ReadUchar",
                    LOR_PORT_READ_INDEXED_UCHAR,
                    0x35,
                    0x77,
                    {0x77},
                    {"W1 37B 05", "R1 37C 77"}},
        IndexedCase{
            "WriteUchar", LOR_PORT_WRITE_INDEXED_UCHAR, 0x35, 0xA9, {}, {"W1 37B 05", "W1 37C A9"}},
        IndexedCase{"WriteUshortHighByteFirst",
                    LOR_PORT_WRITE_INDEXED_USHORT,
                    0xFFFFFFF2u,
                    0x1234,
                    {},
                    {"W1 37B 42", "W1 37C 12", "W1 37C 34"}}),
    [](const ::testing::TestParamInfo<IndexedCase>& info) { return std::string(info.param.name); });

TEST_F(PortTest, DirectionModeOneTurnsTheLinesAroundForAnIndexedRead) {
    ASSERT_TRUE(PortRequest(LOR_PORT_SET_DIRECTION_MODE, 1, 0, 8, 0).ok);
    for (uint8_t control : {0x0C, 0x2F}) {
        pc_.bus().ClearTrace();
        port_->Hold(lpt1::kControl, control);
        port_->QueueAll(lpt1::kEppData, std::vector<uint8_t>{0x34, 0x12});
        uint32_t result = 0;
        ASSERT_TRUE(PortRequest(LOR_PORT_READ_INDEXED_USHORT, 0x1F, 0, 8, 2, &result).ok);
        EXPECT_EQ(result, 0x1234u);
        EXPECT_THAT(BusTrace(),
                    ElementsAre("W1 37B 4F", Access('R', 1, lpt1::kControl, control),
                                Access('W', 1, lpt1::kControl, control | 0x20), "R1 37C 34",
                                "R1 37C 12", Access('W', 1, lpt1::kControl, control)));
    }
}

TEST_F(PortTest, DirectionModeIsOneOnlyForSelectorOne) {
    for (uint32_t selector : {0u, 2u, 0x101u, 0xFFFFFFFFu}) {
        ASSERT_TRUE(PortRequest(LOR_PORT_SET_DIRECTION_MODE, 1, 0, 8, 0).ok);
        ASSERT_EQ(Extension()->DirectionMode, 1);
        const Reply reply = PortRequest(LOR_PORT_SET_DIRECTION_MODE, selector, 0, 8, 8);
        EXPECT_TRUE(reply.ok);
        EXPECT_EQ(reply.bytes, 0u);
        EXPECT_EQ(Extension()->DirectionMode, 2) << "selector " << selector;
    }
    EXPECT_THAT(BusTrace(), IsEmpty());
}

TEST_F(PortTest, PortNopSucceedsWithAndWithoutBuffersAndTouchesNothing) {
    uint8_t buffer[4] = {1, 2, 3, 4};
    for (DWORD length : {0u, 4u}) {
        const Reply reply = Control(handle_, IOCTL_LOR_PORT_NOP, length ? buffer : nullptr, length,
                                    length ? buffer : nullptr, length);
        EXPECT_TRUE(reply.ok);
        EXPECT_EQ(reply.bytes, 0u);
    }
    EXPECT_EQ(buffer[0], 1);
    EXPECT_THAT(BusTrace(), IsEmpty());
}

class ReadPairsTest : public PortTest {
  protected:
    // Sends the request into an output of exactly output_length bytes, all 0xEE before.
    Reply ReadPairs(uint32_t first, uint32_t stride, uint32_t count, DWORD output_length) {
        LorReadPairsRequest request{0xFFFFFFFFu, first, stride, count};
        output_ = Filled(output_length, 0xEE);
        return Control(handle_, IOCTL_LOR_PORT_READ_PAIRS, &request, sizeof(request), output_.get(),
                       output_length);
    }
    std::unique_ptr<uint8_t[]> output_;
};

TEST_F(ReadPairsTest, StoresEachPairInBothPlanesAtItsPosition) {
    port_->Stream(lpt1::kEppData, [](uint64_t n) { return static_cast<uint8_t>(0x10 + n); });
    // The last pair's upper byte is the output's last byte.
    const DWORD length = 0x8000 + 8 + 1;
    const Reply reply = ReadPairs(2, 3, 3, length);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, 3u);
    std::vector<uint8_t> expected(length, 0xEE);
    for (int i = 0; i < 3; ++i) {
        expected[2 + 3 * i] = static_cast<uint8_t>(0x10 + 2 * i);
        expected[0x8002 + 3 * i] = static_cast<uint8_t>(0x11 + 2 * i);
    }
    EXPECT_EQ(std::vector<uint8_t>(output_.get(), output_.get() + length), expected);
    // No EPP address byte, no control register: six data reads only.
    EXPECT_EQ(CountOf(simpc::BusEvent::kRead, lpt1::kEppData), 6u);
    EXPECT_EQ(pc_.bus().Trace().size(), 6u);
}

TEST_F(ReadPairsTest, StrideZeroLeavesTheLastPairAtTheOnePosition) {
    port_->Stream(lpt1::kEppData, [](uint64_t n) { return static_cast<uint8_t>(0x10 + n); });
    ASSERT_TRUE(ReadPairs(7, 0, 4, 0x8008).ok);
    EXPECT_EQ(output_[7], 0x16);
    EXPECT_EQ(output_[0x8007], 0x17);
    EXPECT_EQ(output_[6], 0xEE);
    EXPECT_EQ(CountOf(simpc::BusEvent::kRead, lpt1::kEppData), 8u);
}

TEST_F(ReadPairsTest, NoPairsReadsNothingWhateverTheOffset) {
    const Reply reply = ReadPairs(0xFFFFFFFFu, 0xFFFFFFFFu, 0, 1);
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(output_[0], 0xEE);
    EXPECT_THAT(BusTrace(), IsEmpty());
}

} // namespace
