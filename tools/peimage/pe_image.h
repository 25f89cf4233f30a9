// Reading the headers, base relocations and imports of a PE (Portable
// Executable) image, as far as checking a kernel driver image needs.
//
// Layout facts used (all fields little-endian):
//   MS-DOS header "MZ", offset of the PE header at 0x3C;
//   "PE\0\0", then the 20-byte COFF file header, then the optional header
//   (magic 0x10B = PE32, 0x20B = PE32+), its data directories, and the
//   40-byte section headers.

#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace peimage {

// The file is not a PE image, or a structure in it points outside the file.
class FormatError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

namespace machine {
constexpr std::uint16_t kI386 = 0x014C;
constexpr std::uint16_t kAmd64 = 0x8664;
} // namespace machine

namespace subsystem {
constexpr std::uint16_t kNative = 1;
constexpr std::uint16_t kWindowsGui = 2;
constexpr std::uint16_t kWindowsCui = 3;
} // namespace subsystem

// COFF file header characteristics.
namespace file_flag {
constexpr std::uint16_t kRelocsStripped = 0x0001;
constexpr std::uint16_t kExecutableImage = 0x0002;
constexpr std::uint16_t kDll = 0x2000;
} // namespace file_flag

// Section characteristics.
namespace section_flag {
constexpr std::uint32_t kCode = 0x00000020;
constexpr std::uint32_t kExecute = 0x20000000;
} // namespace section_flag

struct Version {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    friend bool operator==(Version a, Version b) {
        return a.major == b.major && a.minor == b.minor;
    }
    friend bool operator!=(Version a, Version b) { return !(a == b); }
};

struct Section {
    std::string name;
    std::uint32_t virtual_address = 0;
    std::uint32_t virtual_size = 0;
    std::uint32_t raw_offset = 0;
    std::uint32_t raw_size = 0;
    std::uint32_t characteristics = 0;
};

// One imported routine: by name (ordinal unused) or by ordinal only.
struct ImportedName {
    std::string name; // empty when imported by ordinal
    std::uint16_t hint_or_ordinal = 0;
    bool by_ordinal = false;
};

struct ImportedModule {
    std::string dll;
    std::vector<ImportedName> names;
};

struct Image {
    std::uint16_t machine = 0;
    bool pe32_plus = false;
    std::uint16_t file_characteristics = 0;
    std::uint16_t subsystem = 0;
    Version subsystem_version;
    Version os_version;
    Version image_version;
    std::uint64_t image_base = 0;
    std::uint32_t entry_point_rva = 0;
    std::uint32_t size_of_image = 0;
    std::uint16_t dll_characteristics = 0;

    std::uint32_t checksum_offset = 0; // file offset of the CheckSum field
    std::uint32_t stored_checksum = 0;
    std::uint32_t computed_checksum = 0;

    std::uint32_t reloc_directory_rva = 0;
    std::uint32_t reloc_directory_size = 0;
    std::uint32_t reloc_blocks = 0;
    std::uint32_t reloc_fixups = 0; // entries other than the padding type 0

    std::vector<Section> sections;
    std::vector<ImportedModule> imports;

    // A base relocation directory that holds at least one fixup.
    bool has_relocations() const { return reloc_fixups != 0; }
    // The section whose virtual range holds the RVA, or nullptr.
    const Section* section_at(std::uint32_t rva) const;
};

// Parses an image held in memory. Throws FormatError.
Image parse_image(const std::uint8_t* data, std::size_t size);
inline Image parse_image(const std::vector<std::uint8_t>& bytes) {
    return parse_image(bytes.data(), bytes.size());
}

// Reads a whole file. Throws std::runtime_error when it cannot be read.
std::vector<std::uint8_t> read_file(const std::string& path);

// The PE image checksum: the file summed as 16-bit little-endian words with
// the carries folded back into 16 bits, the 4-byte CheckSum field at
// checksum_offset counting as zero, plus the file length.
std::uint32_t compute_checksum(const std::uint8_t* data, std::size_t size,
                               std::size_t checksum_offset);

// Names for reports.
std::string machine_name(std::uint16_t machine);
std::string subsystem_name(std::uint16_t subsystem);

} // namespace peimage
