#include "driver_policy.h"
#include "test_image.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace peimage {
namespace {

using testing::build_image;
using testing::ImageLayout;

std::vector<std::string> check(const ImageLayout& layout, const DriverPolicy& policy) {
    return check_driver(parse_image(build_image(layout).bytes), policy);
}

TEST(DriverPolicy, DriverShapesComply) {
    EXPECT_EQ(check(testing::driver_layout_x86(), driver_policy_x86()), std::vector<std::string>{});
    EXPECT_EQ(check(testing::driver_layout_x64(), driver_policy_x64()), std::vector<std::string>{});
}

TEST(DriverPolicy, ModuleNamesMatchInAnyCase) {
    ImageLayout layout = testing::driver_layout_x64();
    layout.imports = {{"NTOSKRNL.EXE", {"IoCreateDevice"}},
                    {"hal.DLL", {"KeStallExecutionProcessor"}}};
    EXPECT_EQ(check(layout, driver_policy_x64()), std::vector<std::string>{});
}

TEST(DriverPolicy, RoutineNamesMatchExactly) {
    EXPECT_TRUE(is_allowed_kernel_import("ntoskrnl.exe", "ExFreePool"));
    EXPECT_FALSE(is_allowed_kernel_import("ntoskrnl.exe", "exfreepool"));
    // Right routine, wrong module.
    EXPECT_FALSE(is_allowed_kernel_import("HAL.dll", "ExFreePool"));
    EXPECT_FALSE(is_allowed_kernel_import("ntoskrnl.exe", "KeStallExecutionProcessor"));
}

struct ViolationCase {
    const char* label;
    std::function<void(ImageLayout&)> change;
    const char* expected; // a part of the one expected message
};
void PrintTo(const ViolationCase& c, std::ostream* out) {
    *out << c.label;
}

class ViolationTest : public ::testing::TestWithParam<ViolationCase> {};

void add_import(ImageLayout& layout, const std::string& dll, const std::string& routine) {
    layout.imports.push_back({dll, {routine}});
}

TEST_P(ViolationTest, IsReportedAlone) {
    ImageLayout layout = testing::driver_layout_x86();
    GetParam().change(layout);
    const std::vector<std::string> problems = check(layout, driver_policy_x86());
    ASSERT_EQ(problems.size(), 1u) << ::testing::PrintToString(problems);
    EXPECT_NE(problems[0].find(GetParam().expected), std::string::npos) << problems[0];
}

INSTANTIATE_TEST_SUITE_P(
    Violations, ViolationTest,
    ::testing::Values(
        ViolationCase{"c_runtime", [](ImageLayout& s) { add_import(s, "msvcrt.dll", "memcpy"); },
                      "imports from msvcrt.dll"},
        ViolationCase{
            "universal_c_runtime",
            [](ImageLayout& s) { add_import(s, "api-ms-win-crt-string-l1-1-0.dll", "strlen"); },
            "imports from api-ms-win-crt-string-l1-1-0.dll"},
        ViolationCase{"win32", [](ImageLayout& s) { add_import(s, "KERNEL32.dll", "Sleep"); },
                      "imports from KERNEL32.dll"},
        ViolationCase{"free_pool_with_tag",
                      [](ImageLayout& s) { add_import(s, "ntoskrnl.exe", "ExFreePoolWithTag"); },
                      "imports ExFreePoolWithTag from ntoskrnl.exe"},
        ViolationCase{
            "safe_mdl_mapping",
            [](ImageLayout& s) { add_import(s, "ntoskrnl.exe", "MmMapLockedPagesSpecifyCache"); },
            "imports MmMapLockedPagesSpecifyCache"},
        ViolationCase{"secure_device",
                      [](ImageLayout& s) { add_import(s, "ntoskrnl.exe", "IoCreateDeviceSecure"); },
                      "imports IoCreateDeviceSecure"},
        ViolationCase{"by_ordinal", [](ImageLayout& s) { add_import(s, "HAL.dll", "#12"); },
                      "imports ordinal 12 from HAL.dll"},
        ViolationCase{"machine", [](ImageLayout& s) { s.machine = machine::kAmd64; },
                      "machine is x64"},
        ViolationCase{"format",
                      [](ImageLayout& s) {
                          s.pe32_plus = true;
                          s.relocations = {0xA004}; // DIR64
                      },
                      "format is PE32+"},
        ViolationCase{"subsystem", [](ImageLayout& s) { s.subsystem = subsystem::kWindowsCui; },
                      "subsystem is Windows console (3)"},
        ViolationCase{"subsystem_version",
                      [](ImageLayout& s) {
                          s.subsystem_version = {5, 1};
                      },
                      "subsystem version is 5.1, expected 4.0"},
        ViolationCase{"os_version",
                      [](ImageLayout& s) {
                          s.os_version = {6, 0};
                      },
                      "OS version is 6.0, expected 4.0"},
        ViolationCase{"not_executable", [](ImageLayout& s) { s.characteristics = 0; },
                      "not marked as an executable image"},
        ViolationCase{"relocs_stripped",
                      [](ImageLayout& s) { s.characteristics |= file_flag::kRelocsStripped; },
                      "relocations are stripped"},
        ViolationCase{"no_relocations", [](ImageLayout& s) { s.relocations.clear(); },
                      "no base relocations"},
        ViolationCase{"entry_outside_sections", [](ImageLayout& s) { s.entry_point_rva = 0x9000; },
                      "entry point RVA 0x9000 is not inside a section"},
        ViolationCase{"entry_in_data", [](ImageLayout& s) { s.entry_point_rva = 0x2000; },
                      "entry point lies in section .idata"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DriverPolicy, EveryViolationIsReported) {
    ImageLayout layout = testing::driver_layout_x86();
    add_import(layout, "msvcrt.dll", "malloc");
    add_import(layout, "ntoskrnl.exe", "ExFreePoolWithTag");
    layout.subsystem_version = {5, 0};
    EXPECT_EQ(check(layout, driver_policy_x86()).size(), 3u);
}

TEST(DriverPolicy, X64MayGoWithoutRelocationsUnlessRequired) {
    const ImageLayout layout = testing::driver_layout_x64(); // no relocation section
    DriverPolicy policy = driver_policy_x64();
    EXPECT_TRUE(check(layout, policy).empty());
    policy.require_relocations = true;
    EXPECT_EQ(check(layout, policy), std::vector<std::string>{"no base relocations"});
}

TEST(DriverPolicy, WrongStoredChecksumIsReported) {
    testing::BuiltImage built = build_image(testing::driver_layout_x64());
    built.bytes[built.bytes.size() - 1] ^= 1;
    const std::vector<std::string> problems =
        check_driver(parse_image(built.bytes), driver_policy_x64());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("stored checksum"), std::string::npos);
}

TEST(DriverPolicy, ZeroChecksumIsAccepted) {
    ImageLayout layout = testing::driver_layout_x64();
    layout.write_checksum = false;
    EXPECT_TRUE(check(layout, driver_policy_x64()).empty());
}

} // namespace
} // namespace peimage
