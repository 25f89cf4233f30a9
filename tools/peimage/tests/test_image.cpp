#include "test_image.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace peimage::testing {
namespace {

constexpr std::uint32_t kFileAlignment = 0x200;
constexpr std::uint32_t kSectionAlignment = 0x1000;
constexpr std::uint32_t kHeadersSize = 0x400;
constexpr std::size_t kPeOffset = 0x80;
constexpr std::uint32_t kCodeRva = 0x1000;
constexpr std::uint32_t kImportRva = 0x2000;
constexpr std::uint32_t kRelocRva = 0x3000;

constexpr std::uint32_t kCodeFlags = 0x60000020;  // code, execute, read
constexpr std::uint32_t kDataFlags = 0xC0000040;  // initialized data, read, write
constexpr std::uint32_t kRelocFlags = 0x42000040; // initialized data, discardable, read

std::uint32_t align(std::uint32_t value, std::uint32_t to) {
    return (value + to - 1) / to * to;
}

void put64(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value) {
    put32(bytes, at, static_cast<std::uint32_t>(value));
    put32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

void put_thunk(std::vector<std::uint8_t>& bytes, std::size_t at, bool pe32_plus,
               std::uint64_t value) {
    if (pe32_plus) {
        put64(bytes, at, value);
    } else {
        put32(bytes, at, static_cast<std::uint32_t>(value));
    }
}

// The import section: descriptors, then per DLL its lookup table, its
// address table, its name and its hint/name entries.
std::vector<std::uint8_t> import_section(const ImageLayout& layout) {
    const std::size_t thunk = layout.pe32_plus ? 8 : 4;
    const std::uint64_t ordinal_flag = layout.pe32_plus ? (1ULL << 63) : (1ULL << 31);
    std::vector<std::uint8_t> s((layout.imports.size() + 1) * 20, 0);
    for (std::size_t d = 0; d < layout.imports.size(); ++d) {
        const auto& [dll, names] = layout.imports[d];
        const std::size_t lookup = s.size();
        const std::size_t address = lookup + (names.size() + 1) * thunk;
        s.resize(address + (names.size() + 1) * thunk, 0);
        const std::size_t dll_name = s.size();
        s.insert(s.end(), dll.begin(), dll.end());
        s.push_back(0);
        for (std::size_t n = 0; n < names.size(); ++n) {
            std::uint64_t value = 0;
            if (!names[n].empty() && names[n][0] == '#') {
                value = ordinal_flag | std::strtoul(names[n].c_str() + 1, nullptr, 10);
            } else {
                if (s.size() % 2 != 0) {
                    s.push_back(0);
                }
                value = kImportRva + s.size();
                s.push_back(static_cast<std::uint8_t>(n)); // hint
                s.push_back(0);
                s.insert(s.end(), names[n].begin(), names[n].end());
                s.push_back(0);
            }
            put_thunk(s, lookup + n * thunk, layout.pe32_plus, value);
            put_thunk(s, address + n * thunk, layout.pe32_plus, value);
        }
        const std::size_t descriptor = d * 20;
        put32(s, descriptor + 0,
              layout.import_lookup_table ? static_cast<std::uint32_t>(kImportRva + lookup) : 0);
        put32(s, descriptor + 12, static_cast<std::uint32_t>(kImportRva + dll_name));
        put32(s, descriptor + 16, static_cast<std::uint32_t>(kImportRva + address));
    }
    return s;
}

std::vector<std::uint8_t> reloc_section(const ImageLayout& layout) {
    std::vector<std::uint16_t> entries = layout.relocations;
    if (entries.size() % 2 != 0) {
        entries.push_back(0); // blocks end on a 32-bit boundary
    }
    std::vector<std::uint8_t> s(8 + entries.size() * 2, 0);
    put32(s, 0, kCodeRva);
    put32(s, 4, static_cast<std::uint32_t>(s.size()));
    for (std::size_t i = 0; i < entries.size(); ++i) {
        put16(s, 8 + i * 2, entries[i]);
    }
    return s;
}

} // namespace

void put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes.at(at) = static_cast<std::uint8_t>(value);
    bytes.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

BuiltImage build_image(const ImageLayout& layout) {
    struct Part {
        const char* name;
        std::uint32_t rva;
        std::uint32_t flags;
        std::vector<std::uint8_t> data;
    };
    std::vector<Part> parts;
    parts.push_back({".text", kCodeRva, kCodeFlags, std::vector<std::uint8_t>(16, 0xC3)});
    if (!layout.imports.empty()) {
        parts.push_back({".idata", kImportRva, kDataFlags, import_section(layout)});
    }
    if (!layout.relocations.empty()) {
        parts.push_back({".reloc", kRelocRva, kRelocFlags, reloc_section(layout)});
    }

    BuiltImage out;
    out.code_rva = kCodeRva;
    std::vector<std::uint8_t>& b = out.bytes;
    b.assign(kHeadersSize, 0);
    b[0] = 'M';
    b[1] = 'Z';
    put32(b, 0x3C, kPeOffset);
    out.pe_header_offset = kPeOffset;
    b[kPeOffset] = 'P';
    b[kPeOffset + 1] = 'E';

    const std::size_t file = kPeOffset + 4;
    const std::uint16_t optional_size = layout.pe32_plus ? 240 : 224;
    put16(b, file + 0, layout.machine);
    put16(b, file + 2, static_cast<std::uint16_t>(parts.size()));
    put16(b, file + 16, optional_size);
    put16(b, file + 18, layout.characteristics);

    const std::size_t opt = file + 20;
    out.optional_header_offset = opt;
    put16(b, opt + 0, layout.pe32_plus ? 0x20B : 0x10B);
    put32(b, opt + 16, layout.entry_point_rva != 0 ? layout.entry_point_rva : kCodeRva);
    put32(b, opt + 20, kCodeRva);
    if (layout.pe32_plus) {
        put64(b, opt + 24, layout.image_base);
    } else {
        put32(b, opt + 28, static_cast<std::uint32_t>(layout.image_base));
    }
    put32(b, opt + 32, kSectionAlignment);
    put32(b, opt + 36, kFileAlignment);
    put16(b, opt + 40, layout.os_version.major);
    put16(b, opt + 42, layout.os_version.minor);
    put16(b, opt + 48, layout.subsystem_version.major);
    put16(b, opt + 50, layout.subsystem_version.minor);
    put32(b, opt + 56, parts.back().rva + kSectionAlignment);
    put32(b, opt + 60, kHeadersSize);
    put16(b, opt + 68, layout.subsystem);
    const std::size_t directories = opt + (layout.pe32_plus ? 112 : 96);
    put32(b, directories - 4, 16);

    std::size_t section_header = opt + optional_size;
    for (const Part& part : parts) {
        const std::uint32_t raw_offset = static_cast<std::uint32_t>(b.size());
        const std::uint32_t raw_size =
            align(static_cast<std::uint32_t>(part.data.size()), kFileAlignment);
        std::copy(part.name, part.name + std::char_traits<char>::length(part.name),
                  b.begin() + static_cast<std::ptrdiff_t>(section_header));
        put32(b, section_header + 8, static_cast<std::uint32_t>(part.data.size()));
        put32(b, section_header + 12, part.rva);
        put32(b, section_header + 16, raw_size);
        put32(b, section_header + 20, raw_offset);
        put32(b, section_header + 36, part.flags);
        section_header += 40;

        b.insert(b.end(), part.data.begin(), part.data.end());
        b.resize(raw_offset + raw_size, 0);
        const auto size = static_cast<std::uint32_t>(part.data.size());
        if (part.rva == kImportRva) {
            put32(b, directories + 1 * 8, part.rva);
            put32(b, directories + 1 * 8 + 4, size);
            out.import_descriptors_offset = raw_offset;
        } else if (part.rva == kRelocRva) {
            put32(b, directories + 5 * 8, part.rva);
            put32(b, directories + 5 * 8 + 4, size);
            out.relocations_offset = raw_offset;
        }
    }

    if (layout.write_checksum) {
        put32(b, opt + 64, compute_checksum(b.data(), b.size(), opt + 64));
    }
    return out;
}

ImageLayout driver_layout_x86() {
    ImageLayout layout;
    layout.machine = machine::kI386;
    layout.pe32_plus = false;
    layout.subsystem_version = {4, 0};
    layout.os_version = {4, 0};
    layout.image_base = 0x10000;
    layout.imports = {
        {"ntoskrnl.exe", {"IoCreateDevice", "IoCreateSymbolicLink", "ExFreePool", "memset"}},
        {"HAL.dll", {"READ_PORT_UCHAR", "KeStallExecutionProcessor"}},
    };
    layout.relocations = {0x3004, 0x3010}; // two HIGHLOW fixups
    return layout;
}

ImageLayout driver_layout_x64() {
    ImageLayout layout;
    layout.imports = {
        {"ntoskrnl.exe", {"IoCreateDevice", "IofCompleteRequest", "MmMapLockedPages"}},
        {"HAL.dll", {"HalTranslateBusAddress", "KeStallExecutionProcessor"}},
    };
    return layout;
}

} // namespace peimage::testing
