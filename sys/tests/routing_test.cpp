// Routing of device-control requests: which codes and sub-functions the
// driver serves, what everything else ends with, and that a refused
// request touches no register.
#include "driver_fixture.h"

using ::testing::IsEmpty;

namespace {

class RoutingTest : public DriverTest {
  protected:
    void SetUp() override {
        Load(1);
        handle_ = Open();
        ASSERT_NE(handle_, INVALID_HANDLE_VALUE);
        pc_.bus().ClearTrace();
        pc_.ClearDriverTraces();
    }
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

struct UnservedCode {
    const char* name;
    DWORD code;
};

class UnservedCodeTest : public RoutingTest, public ::testing::WithParamInterface<UnservedCode> {};

TEST_P(UnservedCodeTest, EndsNotImplementedWithNothingTouched) {
    uint8_t input[16] = {0x00, 0x08};  // would read as sub-function 0x800
    uint8_t output[16] = {0x5A};
    const Reply reply = Control(handle_, GetParam().code, input, sizeof(input), output,
                                sizeof(output));
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(output[0], 0x5A);
    EXPECT_THAT(BusTrace(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    NextToTheTable, UnservedCodeTest,
    ::testing::Values(UnservedCode{"Acquisition90F", LOR_ACQ_CODE(0x90F, 2)},
                      UnservedCode{"Acquisition91C", LOR_ACQ_CODE(0x91C, 2)},
                      UnservedCode{"Port903", LOR_PORT_CODE(0x903, 2)},
                      // The port request's function with the acquisition type, and back.
                      UnservedCode{"PortFunctionAcquisitionType", LOR_ACQ_CODE(0x900, 0)},
                      UnservedCode{"AcquisitionFunctionPortType", LOR_PORT_CODE(0x915, 2)},
                      // A served code with another transfer method is another code.
                      UnservedCode{"NopBuffered", LOR_ACQ_CODE(0x915, 0)}),
    [](const ::testing::TestParamInfo<UnservedCode>& info) {
        return std::string(info.param.name);
    });

class UnservedSubFunctionTest : public RoutingTest,
                                public ::testing::WithParamInterface<uint32_t> {};

TEST_P(UnservedSubFunctionTest, EndsNotImplementedWithNothingTouched) {
    LorPortRequest request = {GetParam(), 0, {0}};
    const Reply reply =
        Control(handle_, IOCTL_LOR_PORT_REQUEST, &request, sizeof(request), &request, 4);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_THAT(BusTrace(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(OutsideTheTable, UnservedSubFunctionTest,
                         ::testing::Values(0x0u, 0x7FFu, 0x803u, 0x81Fu, 0x822u, 0x8FFu, 0x903u,
                                           0x91Fu, 0x922u, 0x94Fu, 0x951u, 0xFFFFFFFFu));

TEST_F(RoutingTest, PortRequestShorterThanItsSubFunctionCodeIsRefused) {
    uint8_t buffer[8] = {0x00, 0x08, 0x00, 0x00};
    for (DWORD length = 0; length < 4; ++length) {
        const Reply reply = Control(handle_, IOCTL_LOR_PORT_REQUEST, length ? buffer : nullptr,
                                    length, buffer, sizeof(buffer));
        EXPECT_FALSE(reply.ok) << "input length " << length;
        EXPECT_EQ(reply.error, static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
        EXPECT_EQ(reply.bytes, 0u);
    }
    EXPECT_THAT(BusTrace(), IsEmpty());
}

TEST_F(RoutingTest, NopSucceedsWithAndWithoutBuffersAndTouchesNothing) {
    uint8_t buffer[4] = {1, 2, 3, 4};
    for (DWORD length : {0u, 4u}) {
        const Reply reply = Control(handle_, IOCTL_LOR_NOP, length ? buffer : nullptr, length,
                                    length ? buffer : nullptr, length);
        EXPECT_TRUE(reply.ok);
        EXPECT_EQ(reply.bytes, 0u);
    }
    EXPECT_EQ(buffer[0], 1);
    EXPECT_THAT(BusTrace(), IsEmpty());
}

TEST_F(RoutingTest, ReadOnlyHandleIsRefusedBeforeTheDriverSeesTheRequest) {
    HANDLE read_only = Open(GENERIC_READ);
    ASSERT_NE(read_only, INVALID_HANDLE_VALUE);
    HANDLE write_only = Open(GENERIC_WRITE);
    ASSERT_NE(write_only, INVALID_HANDLE_VALUE);
    pc_.ClearDriverTraces();
    uint8_t version[2] = {0, 0};
    for (HANDLE handle : {read_only, write_only}) {
        const Reply reply =
            Control(handle, IOCTL_LOR_GET_VERSION, nullptr, 0, version, sizeof(version));
        EXPECT_FALSE(reply.ok);
        EXPECT_EQ(reply.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
    EXPECT_EQ(version[0], 0);
    EXPECT_THAT(pc_.DriverTraces(), IsEmpty());
}

}  // namespace
