// Output to the device: bytes sent bit-serially as three line bytes per bit
// (bit 7 first), or written unchanged one by one, always to the EPP data
// register and nothing else.
#include "port_fixture.h"

using ::testing::Each;
using ::testing::ElementsAreArray;
using ::testing::Field;

namespace {

const char* const kOne[] = {"W1 37C F4", "W1 37C D4", "W1 37C F4"};
const char* const kZero[] = {"W1 37C E4", "W1 37C C4", "W1 37C E4"};

// The line bytes of the bits given as '1'/'0' characters, in order.
std::vector<std::string> BitTrace(const std::string& bits) {
    std::vector<std::string> trace;
    for (char bit : bits) {
        for (const char* line : bit == '1' ? kOne : kZero) {
            trace.push_back(line);
        }
    }
    return trace;
}

class StreamOutputTest : public PortTest {
  protected:
    // Sends `bytes` as the output buffer of `code`, in a buffer of exactly their length.
    Reply Send(DWORD code, const std::vector<uint8_t>& bytes) {
        auto buffer = std::make_unique<uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), buffer.get());
        const DWORD length = static_cast<DWORD>(bytes.size());
        const Reply reply = Control(handle_, code, nullptr, 0, buffer.get(), length);
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), buffer.get())) << "buffer changed";
        return reply;
    }
};

struct SerialCase {
    const char* name;
    DWORD code;
    uint8_t byte;
    const char* bits;
};

class SerialByteTest : public StreamOutputTest, public ::testing::WithParamInterface<SerialCase> {};

TEST_P(SerialByteTest, SendsEachBitAsThreeLineBytesMostSignificantFirst) {
    const Reply reply = Send(GetParam().code, {GetParam().byte});
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_THAT(BusTrace(), ElementsAreArray(BitTrace(GetParam().bits)));
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, SerialByteTest,
    ::testing::Values(SerialCase{"ShiftOutA5", IOCTL_LOR_SHIFT_OUT, 0xA5, "10100101"},
                      SerialCase{"ShiftOut00", IOCTL_LOR_SHIFT_OUT, 0x00, "00000000"},
                      SerialCase{"ShiftOutFF", IOCTL_LOR_SHIFT_OUT, 0xFF, "11111111"},
                      SerialCase{"BlockA5", IOCTL_LOR_SHIFT_OUT_BLOCK, 0xA5, "10100101"},
                      SerialCase{"Block01", IOCTL_LOR_SHIFT_OUT_BLOCK, 0x01, "00000001"}),
    [](const ::testing::TestParamInfo<SerialCase>& info) { return std::string(info.param.name); });

TEST_F(StreamOutputTest, SendsBytesInBufferOrder) {
    ASSERT_TRUE(Send(IOCTL_LOR_SHIFT_OUT, {0x80, 0x01}).ok);
    EXPECT_THAT(BusTrace(), ElementsAreArray(BitTrace("1000000000000001")));
}

TEST_F(StreamOutputTest, WriteBytesWritesEachByteUnchanged) {
    const Reply reply = Send(IOCTL_LOR_WRITE_BYTES, {0x01, 0x02, 0x03});
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_THAT(BusTrace(), ElementsAreArray({"W1 37C 01", "W1 37C 02", "W1 37C 03"}));
}

struct LongCase {
    const char* name;
    DWORD code;
    size_t length;
    size_t bytes_sent;
};

class LongOutputTest : public StreamOutputTest, public ::testing::WithParamInterface<LongCase> {};

TEST_P(LongOutputTest, SendsWholeBytesUpToTheLimit) {
    const LongCase& c = GetParam();
    std::vector<uint8_t> bytes(c.length);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    const Reply reply = Send(c.code, bytes);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, 0u);

    const std::vector<simpc::BusEvent>& trace = pc_.bus().Trace();
    ASSERT_EQ(trace.size(), 24 * c.bytes_sent);
    EXPECT_THAT(trace, Each(Field(&simpc::BusEvent::kind, simpc::BusEvent::kWrite)));
    EXPECT_THAT(trace, Each(Field(&simpc::BusEvent::address, lpt1::kEppData)));
    // The last byte sent is whole: its eight bits end the stream.
    const uint8_t last = bytes[c.bytes_sent - 1];
    for (int bit = 0; bit < 8; ++bit) {
        const simpc::BusEvent& data = trace[trace.size() - 24 + 3 * bit];
        EXPECT_EQ(data.value, (last >> (7 - bit)) & 1 ? 0xF4u : 0xE4u) << "bit " << bit;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, LongOutputTest,
    ::testing::Values(LongCase{"Block10000", IOCTL_LOR_SHIFT_OUT_BLOCK, 10000, 6819},
                      LongCase{"Block6819", IOCTL_LOR_SHIFT_OUT_BLOCK, 6819, 6819},
                      LongCase{"Block6820", IOCTL_LOR_SHIFT_OUT_BLOCK, 6820, 6819},
                      LongCase{"Block100", IOCTL_LOR_SHIFT_OUT_BLOCK, 100, 100},
                      LongCase{"ShiftOut10000", IOCTL_LOR_SHIFT_OUT, 10000, 10000}),
    [](const ::testing::TestParamInfo<LongCase>& info) { return std::string(info.param.name); });

TEST_F(StreamOutputTest, WriteBytesSendsEveryByteOfALongBuffer) {
    std::vector<uint8_t> bytes(10000);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    ASSERT_TRUE(Send(IOCTL_LOR_WRITE_BYTES, bytes).ok);
    const std::vector<simpc::BusEvent>& trace = pc_.bus().Trace();
    ASSERT_EQ(trace.size(), bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        ASSERT_EQ(trace[i].value, bytes[i]) << "byte " << i;
    }
}

// A kernel-mode caller can send an output MDL that describes no bytes,
// which user mode cannot (the I/O manager builds no MDL for length 0).
class EmptyOutputMdlTest : public StreamOutputTest,
                           public ::testing::WithParamInterface<std::pair<DWORD, NTSTATUS>> {};

TEST_P(EmptyOutputMdlTest, OnlyTheBlockRequestAcceptsIt) {
    uint8_t page[1] = {0xA5};
    MDL mdl{};
    mdl.MdlFlags = MDL_MAPPED_TO_SYSTEM_VA;
    mdl.MappedSystemVa = page;
    mdl.StartVa = page;
    PIRP irp = pc_.io().AllocateIrp(Device()->StackSize, simpc::IrpOrigin::kUserRequest);
    PIO_STACK_LOCATION stack = IoGetNextIrpStackLocation(irp);
    stack->MajorFunction = IRP_MJ_DEVICE_CONTROL;
    stack->Parameters.DeviceIoControl.IoControlCode = GetParam().first;
    irp->MdlAddress = &mdl;
    const NTSTATUS status = pc_.io().CallDriver(Device(), irp);
    EXPECT_EQ(status, GetParam().second);
    EXPECT_EQ(irp->IoStatus.Status, GetParam().second);
    EXPECT_EQ(irp->IoStatus.Information, 0u);
    pc_.io().FreeIrp(irp);
    EXPECT_THAT(BusTrace(), ::testing::IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, EmptyOutputMdlTest,
    ::testing::Values(std::make_pair(IOCTL_LOR_SHIFT_OUT_BLOCK, STATUS_SUCCESS),
                      std::make_pair(IOCTL_LOR_SHIFT_OUT, STATUS_ACCESS_VIOLATION),
                      std::make_pair(IOCTL_LOR_WRITE_BYTES, STATUS_ACCESS_VIOLATION)));

} // namespace
