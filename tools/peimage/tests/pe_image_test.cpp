#include "pe_image.h"
#include "test_image.h"

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace peimage {
namespace {

using testing::build_image;
using testing::BuiltImage;
using testing::ImageLayout;
using testing::put16;
using testing::put32;

std::vector<std::string> names_of(const ImportedModule& module) {
    std::vector<std::string> names;
    for (const ImportedName& routine : module.names) {
        names.push_back(routine.by_ordinal ? "#" + std::to_string(routine.hint_or_ordinal)
                                           : routine.name);
    }
    return names;
}

struct HeaderCase {
    const char* label;
    ImageLayout layout;
};
void PrintTo(const HeaderCase& c, std::ostream* out) {
    *out << c.label;
}

class HeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, ReadsWhatWasWritten) {
    const ImageLayout& layout = GetParam().layout;
    const Image image = parse_image(build_image(layout).bytes);

    EXPECT_EQ(image.machine, layout.machine);
    EXPECT_EQ(image.pe32_plus, layout.pe32_plus);
    EXPECT_EQ(image.file_characteristics, layout.characteristics);
    EXPECT_EQ(image.subsystem, layout.subsystem);
    EXPECT_EQ(image.subsystem_version, layout.subsystem_version);
    EXPECT_EQ(image.os_version, layout.os_version);
    EXPECT_EQ(image.image_base, layout.image_base);
    EXPECT_EQ(image.entry_point_rva, 0x1000u);
    EXPECT_EQ(image.stored_checksum, image.computed_checksum);
    EXPECT_NE(image.stored_checksum, 0u);

    ASSERT_EQ(image.imports.size(), layout.imports.size());
    for (std::size_t i = 0; i < layout.imports.size(); ++i) {
        EXPECT_EQ(image.imports[i].dll, layout.imports[i].first);
        EXPECT_EQ(names_of(image.imports[i]), layout.imports[i].second);
    }
    EXPECT_EQ(image.has_relocations(), !layout.relocations.empty());
}

ImageLayout gui_program_x86() {
    ImageLayout layout = testing::driver_layout_x86();
    layout.subsystem = subsystem::kWindowsGui;
    layout.subsystem_version = {5, 1};
    layout.os_version = {6, 0};
    layout.image_base = 0x400000;
    layout.imports = {{"KERNEL32.dll", {"ExitProcess", "#17"}}, {"USER32.dll", {"MessageBoxA"}}};
    return layout;
}

ImageLayout console_program_x64() {
    ImageLayout layout = testing::driver_layout_x64();
    layout.subsystem = subsystem::kWindowsCui;
    layout.imports = {{"KERNEL32.dll", {"#3", "QueryDosDeviceA", "#65535"}}};
    layout.relocations = {0xA000, 0xA008}; // DIR64
    return layout;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, HeaderTest,
    ::testing::Values(HeaderCase{"x64_driver", testing::driver_layout_x64()},
                      HeaderCase{"x86_driver", testing::driver_layout_x86()},
                      HeaderCase{"x86_program_with_ordinal", gui_program_x86()},
                      HeaderCase{"x64_program_with_ordinals", console_program_x64()}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(PeImage, ImportNamesComeFromTheAddressTableWithoutLookupTable) {
    ImageLayout layout = testing::driver_layout_x64();
    layout.import_lookup_table = false;
    const Image image = parse_image(build_image(layout).bytes);
    ASSERT_EQ(image.imports.size(), 2u);
    EXPECT_EQ(names_of(image.imports[1]),
              (std::vector<std::string>{"HalTranslateBusAddress", "KeStallExecutionProcessor"}));
}

TEST(PeImage, CountsFixupsButNotPadding) {
    ImageLayout layout = testing::driver_layout_x86();
    layout.relocations = {0x3004, 0x0000, 0x3008}; // the middle entry is padding
    const Image image = parse_image(build_image(layout).bytes);
    EXPECT_EQ(image.reloc_blocks, 1u);
    EXPECT_EQ(image.reloc_fixups, 2u);
}

TEST(PeImage, RelocationBlockOfPaddingOnlyHasNoFixups) {
    ImageLayout layout = testing::driver_layout_x86();
    layout.relocations = {0x0000, 0x0000};
    const Image image = parse_image(build_image(layout).bytes);
    EXPECT_EQ(image.reloc_blocks, 1u);
    EXPECT_FALSE(image.has_relocations());
}

TEST(PeImage, EntryPointFindsItsSection) {
    const Image image = parse_image(build_image(testing::driver_layout_x64()).bytes);
    const Section* code = image.section_at(image.entry_point_rva);
    ASSERT_NE(code, nullptr);
    EXPECT_EQ(code->name, ".text");
    EXPECT_EQ(image.section_at(0x9000), nullptr);
}

// Hand-computed sums.
TEST(Checksum, FoldsCarriesSkipsTheFieldAndAddsTheLength) {
    // 0x0001 + 0xFFFF = 0x10000, folded to 0x0001; + 0x0002 = 0x0003; + 6.
    const std::vector<std::uint8_t> carry = {0x01, 0x00, 0xFF, 0xFF, 0x02, 0x00};
    EXPECT_EQ(compute_checksum(carry.data(), carry.size(), 100), 0x0003u + 6);

    // Bytes 2..5 are the checksum field: 0x0001 + 0x0002 + 8.
    const std::vector<std::uint8_t> field = {0x01, 0x00, 0x34, 0x12, 0xFF, 0xFF, 0x02, 0x00};
    EXPECT_EQ(compute_checksum(field.data(), field.size(), 2), 0x0003u + 8);

    // An odd last byte counts as the low byte of a word: 0x0201 + 0x0003 + 3.
    const std::vector<std::uint8_t> odd = {0x01, 0x02, 0x03};
    EXPECT_EQ(compute_checksum(odd.data(), odd.size(), 100), 0x0204u + 3);
}

TEST(Checksum, ChangedByteIsSeen) {
    BuiltImage built = build_image(testing::driver_layout_x64());
    built.bytes[built.bytes.size() - 1] ^= 0x5A;
    const Image image = parse_image(built.bytes);
    EXPECT_NE(image.stored_checksum, image.computed_checksum);
}

struct DamageCase {
    const char* label;
    std::function<void(BuiltImage&)> damage;
};
void PrintTo(const DamageCase& c, std::ostream* out) {
    *out << c.label;
}

class DamagedImageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedImageTest, IsRefused) {
    BuiltImage built = build_image(testing::driver_layout_x86());
    GetParam().damage(built);
    EXPECT_THROW(parse_image(built.bytes), FormatError);
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedImageTest,
    ::testing::Values(
        DamageCase{"empty", [](BuiltImage& b) { b.bytes.clear(); }},
        DamageCase{"no_mz", [](BuiltImage& b) { b.bytes[0] = 'X'; }},
        DamageCase{"pe_offset_past_end", [](BuiltImage& b) { put32(b.bytes, 0x3C, 0x7FFFFFF0); }},
        DamageCase{"no_pe_signature", [](BuiltImage& b) { b.bytes[b.pe_header_offset] = 'N'; }},
        DamageCase{"unknown_magic",
                   [](BuiltImage& b) { put16(b.bytes, b.optional_header_offset, 0x107); }},
        DamageCase{"too_many_directories",
                   [](BuiltImage& b) { put32(b.bytes, b.optional_header_offset + 92, 64); }},
        DamageCase{"truncated_section_data", [](BuiltImage& b) { b.bytes.resize(0x500); }},
        DamageCase{"dll_name_outside_sections",
                   [](BuiltImage& b) { put32(b.bytes, b.import_descriptors_offset + 12, 0x9000); }},
        DamageCase{"import_table_unterminated",
                   [](BuiltImage& b) {
                       // Fill the whole import section with non-zero bytes.
                       for (std::size_t i = b.import_descriptors_offset;
                            i < b.import_descriptors_offset + 0x200; ++i) {
                           b.bytes[i] = 0x11;
                       }
                   }},
        // A block must at least hold its own 8-byte header; a size of 0
        // would never advance through the directory.
        DamageCase{"relocation_block_empty",
                   [](BuiltImage& b) { put32(b.bytes, b.relocations_offset + 4, 0); }},
        DamageCase{"relocation_block_past_directory",
                   [](BuiltImage& b) { put32(b.bytes, b.relocations_offset + 4, 0x1000); }}),
    [](const auto& info) { return std::string(info.param.label); });

} // namespace
} // namespace peimage
