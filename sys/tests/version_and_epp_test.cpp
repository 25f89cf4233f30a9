// The two requests that the dispatch routine answers with the port: the
// version query and the switch of an ECP port into EPP mode.
#include <memory>

#include "driver_fixture.h"
#include "scripted_port.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class VersionTest : public DriverTest, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        pc_.io().SetOutputMdlsMapped(GetParam());
        Load(1);
        handle_ = Open();
        ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
    }
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

TEST_P(VersionTest, ReportsTwoPointFourInTheBufferWithZeroBytes) {
    // Exactly two bytes, so that a write past them is an overflow.
    auto version = std::make_unique<uint8_t[]>(2);
    const Reply reply = Control(handle_, IOCTL_LOR_GET_VERSION, nullptr, 0, version.get(), 2);
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(version[0], 2);
    EXPECT_EQ(version[1], 4);
    // A buffer mapped into system space needs no mapping by the driver.
    EXPECT_EQ(pc_.io().MapLockedPagesCalls(), GetParam() ? 0 : 1);
}

TEST_P(VersionTest, WithoutOutputBufferIsAnAccessViolation) {
    uint8_t input[2] = {7, 7};
    const Reply reply = Control(handle_, IOCTL_LOR_GET_VERSION, input, sizeof(input), nullptr, 0);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, static_cast<DWORD>(ERROR_NOACCESS));
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(input[0], 7);
}

TEST_P(VersionTest, OneByteOutputIsRefusedUntouched) {
    auto version = std::make_unique<uint8_t[]>(1);
    version[0] = 0x77;
    const Reply reply = Control(handle_, IOCTL_LOR_GET_VERSION, nullptr, 0, version.get(), 1);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(version[0], 0x77);
}

INSTANTIATE_TEST_SUITE_P(OutputMdl, VersionTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("MappedToSystemVa")
                                               : std::string("LockedOnly");
                         });

TEST_F(DriverTest, UnmappableOutputBufferFailsTheVersionQuery) {
    Load(1);
    HANDLE handle = Open();
    uint8_t version[2] = {0, 0};
    pc_.faults().FailNext(simpc::FaultPoint::MapLockedPages);
    const Reply reply = Control(handle, IOCTL_LOR_GET_VERSION, nullptr, 0, version, 2);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, static_cast<DWORD>(ERROR_NO_SYSTEM_RESOURCES));
    EXPECT_EQ(version[0], 0);
}

struct EcrCase {
    uint8_t before;
    uint8_t after;
};

class EppModeTest : public DriverTest, public ::testing::WithParamInterface<EcrCase> {};

TEST_P(EppModeTest, RewritesOnlyTheEcrModeField) {
    Load(1);
    HANDLE handle = Open();
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    // Where the open puts the EPP address register of LPT1 at 0x378.
    Extension()->EppPort = reinterpret_cast<PUCHAR>(0x37B);
    auto port = std::make_shared<simpc::ScriptedPort>();
    port->Queue(0x77A, GetParam().before);
    pc_.bus().Attach(0x378, 0x403, port);
    pc_.bus().ClearTrace();

    uint8_t unused[3] = {0, 0, 0};
    const Reply with_buffers =
        Control(handle, IOCTL_LOR_SET_EPP_MODE, unused, sizeof(unused), unused, sizeof(unused));
    EXPECT_TRUE(with_buffers.ok);
    EXPECT_EQ(with_buffers.bytes, 0u);
    char written[16];
    std::snprintf(written, sizeof(written), "W1 77A %02X", GetParam().after);
    char read[16];
    std::snprintf(read, sizeof(read), "R1 77A %02X", GetParam().before);
    EXPECT_THAT(BusTrace(), ElementsAre(read, written));

    pc_.bus().ClearTrace();
    EXPECT_TRUE(Control(handle, IOCTL_LOR_SET_EPP_MODE, nullptr, 0, nullptr, 0).ok);
    EXPECT_EQ(BusTrace().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(EcrValues, EppModeTest,
                         ::testing::Values(EcrCase{0x35, 0x95}, EcrCase{0xFF, 0x9F},
                                           EcrCase{0x00, 0x80}, EcrCase{0x80, 0x80},
                                           EcrCase{0x7F, 0x9F}));

}  // namespace
