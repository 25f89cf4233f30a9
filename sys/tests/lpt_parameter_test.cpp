// The registry value Lpt under the service key's Parameters: what each
// form of it gives the driver, and that a value of the wrong type cannot
// make the query write past the ULONG it fills.
#include "driver_fixture.h"

namespace {

const std::string kParameters =
    "\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vexlor\\Parameters";

struct LptCase {
    const char* name;
    bool parameters_key;
    bool has_value;
    simpc::RegistryValue value;
    ULONG expected;
};

class LptParameterTest : public DriverTest, public ::testing::WithParamInterface<LptCase> {};

TEST_P(LptParameterTest, GivesTheExpectedPortNumber) {
    const LptCase& c = GetParam();
    pc_.InstallDriver("vexlor", VEXLOR_IMAGE, -1);
    if (c.parameters_key) {
        pc_.registry().CreateKey(kParameters);
    }
    if (c.has_value) {
        pc_.registry().SetValue(kParameters, "Lpt", c.value);
    }
    ASSERT_EQ(pc_.LoadDriver("vexlor"), STATUS_SUCCESS);
    ASSERT_NE(Extension(), nullptr);
    EXPECT_EQ(Extension()->LptNumber, c.expected);
    char trace[80];
    std::snprintf(trace, sizeof(trace),
                  "[W2000+] DriverEntry < 1 > Reading LPT from Registry -: %x\n",
                  static_cast<unsigned>(c.expected));
    EXPECT_EQ(pc_.DriverTraces().front(), trace);
}

using simpc::RegistryValue;

INSTANTIATE_TEST_SUITE_P(
    Values, LptParameterTest,
    ::testing::Values(
        LptCase{"NoParametersKey", false, false, {}, 1},
        LptCase{"KeyWithoutValue", true, false, {}, 1},
        LptCase{"Three", true, true, RegistryValue::Dword(3), 3},
        LptCase{"ZeroKeptAsIs", true, true, RegistryValue::Dword(0), 0},
        LptCase{"NineKeptAsIs", true, true, RegistryValue::Dword(9), 9},
        LptCase{"HighValueKeptAsIs", true, true, RegistryValue::Dword(0xFFFFFFFF), 0xFFFFFFFF},
        // A direct query would treat the ULONG as a UNICODE_STRING.
        LptCase{"StringIsRefused", true, true, RegistryValue::String("3"), 1},
        LptCase{"ExpandStringIsRefused", true, true, RegistryValue::String("3", REG_EXPAND_SZ), 1},
        // ...and store short binary data straight into it, long data after a size.
        LptCase{"ShortBinaryIsRefused", true, true, RegistryValue::Binary({3, 0}), 1},
        LptCase{"LongBinaryIsRefused", true, true,
                RegistryValue::Binary({3, 0, 0, 0, 0, 0, 0, 0, 9, 9, 9, 9, 9, 9, 9, 9}), 1}),
    [](const ::testing::TestParamInfo<LptCase>& info) { return std::string(info.param.name); });

class LptWithoutPoolTest : public DriverTest {};

TEST_F(LptWithoutPoolTest, NoPoolForTheKeyPathGivesPortOneWithoutAQuery) {
    pc_.InstallDriver("vexlor", VEXLOR_IMAGE, 4);
    pc_.faults().FailNext(simpc::FaultPoint::PoolAllocation);
    ASSERT_EQ(pc_.LoadDriver("vexlor"), STATUS_SUCCESS);
    EXPECT_EQ(Extension()->LptNumber, 1u);
}

}  // namespace
