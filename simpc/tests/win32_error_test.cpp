// The Win32 error that a failed call reports for each NT status.
#include <gtest/gtest.h>

#include "win32_state.h"

namespace {

struct Mapping {
    NTSTATUS status;
    uint32_t error;
};

class Win32ErrorTest : public ::testing::TestWithParam<Mapping> {};

TEST_P(Win32ErrorTest, MapsAsKernel32Does) {
    EXPECT_EQ(simpc::Win32ErrorFromStatus(GetParam().status), GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, Win32ErrorTest,
    ::testing::Values(Mapping{STATUS_NOT_IMPLEMENTED, 1}, Mapping{STATUS_ACCESS_VIOLATION, 998},
                      Mapping{STATUS_INVALID_PARAMETER, 87}, Mapping{STATUS_ACCESS_DENIED, 5},
                      Mapping{STATUS_INSUFFICIENT_RESOURCES, 1450},
                      Mapping{STATUS_BUFFER_TOO_SMALL, 122},
                      Mapping{STATUS_INVALID_DEVICE_REQUEST, 1},
                      Mapping{STATUS_OBJECT_NAME_NOT_FOUND, 2}));

}  // namespace
