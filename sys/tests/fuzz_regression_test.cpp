// Cases that the fuzzer over the driver's request surface found, each
// reduced to the calls that provoke it.
#include "driver_fixture.h"

namespace {

class FuzzRegressionTest : public DriverTest {};

// A REG_DWORD value can be stored with no data at all; the query then has
// nothing to copy into the port number and leaves LPT1.
TEST_F(FuzzRegressionTest, LptDwordWithoutDataLeavesPortOne) {
    pc_.InstallDriver("vexlor", VEXLOR_IMAGE, -1);
    pc_.registry().SetValue(simpc::Pc::ServiceKey("vexlor") + "\\Parameters", "Lpt",
                            simpc::RegistryValue::Binary({}, REG_DWORD));
    ASSERT_EQ(pc_.LoadDriver("vexlor"), STATUS_SUCCESS);
    ASSERT_NE(Extension(), nullptr);
    EXPECT_EQ(Extension()->LptNumber, 1u);
}

}  // namespace
