// Builds small PE images in memory for the reader's tests: headers, a code
// section, an import section and, on request, a base relocation section.

#pragma once

#include "pe_image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace peimage::testing {

struct ImageLayout {
    std::uint16_t machine = machine::kAmd64;
    bool pe32_plus = true;
    std::uint16_t characteristics = file_flag::kExecutableImage;
    std::uint16_t subsystem = subsystem::kNative;
    Version subsystem_version{5, 2};
    Version os_version{5, 2};
    std::uint64_t image_base = 0x140000000ULL;
    // 0 puts the entry at the start of the code section.
    std::uint32_t entry_point_rva = 0;
    // DLL name and routine names; "#N" imports ordinal N.
    std::vector<std::pair<std::string, std::vector<std::string>>> imports;
    // Keep the import lookup table; without it the names are found through
    // the import address table only.
    bool import_lookup_table = true;
    // 16-bit entries (type << 12 | offset) of one relocation block for the
    // code page; no relocation section when empty.
    std::vector<std::uint16_t> relocations;
    bool write_checksum = true;
};

// Where the builder put things, for tests that damage the image.
struct BuiltImage {
    std::vector<std::uint8_t> bytes;
    std::size_t pe_header_offset = 0;
    std::size_t optional_header_offset = 0;
    std::size_t import_descriptors_offset = 0; // file offset of the first descriptor
    std::size_t relocations_offset = 0;        // file offset of the first block
    std::uint32_t code_rva = 0;
};

BuiltImage build_image(const ImageLayout& layout);

// The x86 and x64 driver shapes that the policy accepts.
ImageLayout driver_layout_x86();
ImageLayout driver_layout_x64();

void put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value);
void put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value);

} // namespace peimage::testing
