#include "pe_image.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

namespace peimage {
namespace {

// Offsets and sizes of the PE structures.
constexpr std::size_t kDosPeOffsetField = 0x3C;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::size_t kImportDescriptorSize = 20;
constexpr std::uint16_t kMagicPe32 = 0x10B;
constexpr std::uint16_t kMagicPe32Plus = 0x20B;
constexpr std::size_t kDirectoryImport = 1;
constexpr std::size_t kDirectoryBaseReloc = 5;

// Bounds on counts taken from the file, so that a damaged image cannot keep
// the reader looping.
constexpr std::size_t kMaxImportedModules = 4096;
constexpr std::size_t kMaxNamesPerModule = 65536;
constexpr std::size_t kMaxNameLength = 4096;

std::string hex(std::uint64_t value) {
    std::ostringstream out;
    out << "0x" << std::hex << value;
    return out.str();
}

// Bounds-checked little-endian reads over the file.
class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t size() const { return size_; }

    void need(std::size_t offset, std::size_t length, const char* what) const {
        if (offset > size_ || length > size_ - offset) {
            throw FormatError(std::string(what) + " at file offset " + hex(offset) +
                              " lies beyond the end of the file (" + hex(size_) + " bytes)");
        }
    }
    std::uint8_t u8(std::size_t offset, const char* what) const {
        need(offset, 1, what);
        return data_[offset];
    }
    std::uint16_t u16(std::size_t offset, const char* what) const {
        need(offset, 2, what);
        return static_cast<std::uint16_t>(data_[offset] | (data_[offset + 1] << 8));
    }
    std::uint32_t u32(std::size_t offset, const char* what) const {
        need(offset, 4, what);
        return static_cast<std::uint32_t>(data_[offset]) |
               (static_cast<std::uint32_t>(data_[offset + 1]) << 8) |
               (static_cast<std::uint32_t>(data_[offset + 2]) << 16) |
               (static_cast<std::uint32_t>(data_[offset + 3]) << 24);
    }
    std::uint64_t u64(std::size_t offset, const char* what) const {
        return static_cast<std::uint64_t>(u32(offset, what)) |
               (static_cast<std::uint64_t>(u32(offset + 4, what)) << 32);
    }
    // A NUL-terminated string that must end inside the file.
    std::string cstring(std::size_t offset, const char* what) const {
        need(offset, 1, what);
        std::string text;
        for (std::size_t at = offset; at < size_; ++at) {
            if (data_[at] == 0) {
                return text;
            }
            if (text.size() == kMaxNameLength) {
                break;
            }
            text.push_back(static_cast<char>(data_[at]));
        }
        throw FormatError(std::string(what) + " at file offset " + hex(offset) +
                          " is not terminated");
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Maps RVAs to file offsets through the headers and the section table.
class AddressMap {
  public:
    AddressMap(const std::vector<Section>& sections, std::uint32_t size_of_headers)
        : sections_(sections), size_of_headers_(size_of_headers) {}

    // File offset of an RVA whose bytes are stored in the file.
    std::size_t offset(std::uint32_t rva, const char* what) const {
        if (rva < size_of_headers_) {
            return rva;
        }
        for (const Section& s : sections_) {
            if (rva >= s.virtual_address && rva - s.virtual_address < s.raw_size) {
                return static_cast<std::size_t>(s.raw_offset) + (rva - s.virtual_address);
            }
        }
        throw FormatError(std::string(what) + " at RVA " + hex(rva) +
                          " is not stored in any section");
    }

  private:
    const std::vector<Section>& sections_;
    std::uint32_t size_of_headers_;
};

void read_imports(const Reader& in, const AddressMap& map, std::uint32_t directory_rva,
                  bool pe32_plus, std::vector<ImportedModule>& imports) {
    const std::size_t thunk_size = pe32_plus ? 8 : 4;
    const std::uint64_t ordinal_flag = pe32_plus ? (1ULL << 63) : (1ULL << 31);

    for (std::size_t index = 0;; ++index) {
        if (index == kMaxImportedModules) {
            throw FormatError("import directory has no terminating entry");
        }
        const std::uint32_t rva =
            directory_rva + static_cast<std::uint32_t>(index * kImportDescriptorSize);
        const std::size_t at = map.offset(rva, "import descriptor");
        in.need(at, kImportDescriptorSize, "import descriptor");
        const std::uint32_t lookup_rva = in.u32(at + 0, "import lookup table RVA");
        const std::uint32_t name_rva = in.u32(at + 12, "import DLL name RVA");
        const std::uint32_t address_rva = in.u32(at + 16, "import address table RVA");
        if (lookup_rva == 0 && name_rva == 0 && address_rva == 0) {
            break;
        }

        ImportedModule module;
        module.dll = in.cstring(map.offset(name_rva, "import DLL name"), "import DLL name");
        // The lookup table keeps the names after binding; old linkers left it
        // out, and then the address table holds them.
        const std::uint32_t thunks_rva = lookup_rva != 0 ? lookup_rva : address_rva;
        for (std::size_t n = 0;; ++n) {
            if (n == kMaxNamesPerModule) {
                throw FormatError("import table of " + module.dll + " has no terminating entry");
            }
            const std::size_t thunk_at = map.offset(
                thunks_rva + static_cast<std::uint32_t>(n * thunk_size), "import lookup entry");
            const std::uint64_t thunk = pe32_plus ? in.u64(thunk_at, "import lookup entry")
                                                  : in.u32(thunk_at, "import lookup entry");
            if (thunk == 0) {
                break;
            }
            ImportedName entry;
            if ((thunk & ordinal_flag) != 0) {
                entry.by_ordinal = true;
                entry.hint_or_ordinal = static_cast<std::uint16_t>(thunk & 0xFFFF);
            } else {
                const std::uint32_t hint_name_rva = static_cast<std::uint32_t>(thunk & 0x7FFFFFFF);
                const std::size_t hint_at = map.offset(hint_name_rva, "import hint/name");
                entry.hint_or_ordinal = in.u16(hint_at, "import hint");
                entry.name = in.cstring(hint_at + 2, "import name");
            }
            module.names.push_back(std::move(entry));
        }
        imports.push_back(std::move(module));
    }
}

// Base relocation blocks: page RVA, block size (header included), then
// 16-bit entries of type (top 4 bits) and page offset.
void read_relocations(const Reader& in, const AddressMap& map, Image& image) {
    std::uint32_t done = 0;
    while (done < image.reloc_directory_size) {
        if (image.reloc_directory_size - done < 8) {
            throw FormatError("base relocation directory ends inside a block header");
        }
        const std::size_t at =
            map.offset(image.reloc_directory_rva + done, "base relocation block");
        const std::uint32_t block_size = in.u32(at + 4, "base relocation block size");
        if (block_size < 8 || block_size > image.reloc_directory_size - done) {
            throw FormatError("base relocation block of size " + hex(block_size) +
                              " does not fit its directory");
        }
        in.need(at, block_size, "base relocation block");
        for (std::uint32_t entry = 8; entry + 2 <= block_size; entry += 2) {
            if ((in.u16(at + entry, "base relocation entry") >> 12) != 0) {
                ++image.reloc_fixups;
            }
        }
        ++image.reloc_blocks;
        done += block_size;
    }
}

} // namespace

const Section* Image::section_at(std::uint32_t rva) const {
    for (const Section& s : sections) {
        const std::uint32_t span = std::max(s.virtual_size, s.raw_size);
        if (rva >= s.virtual_address && rva - s.virtual_address < span) {
            return &s;
        }
    }
    return nullptr;
}

Image parse_image(const std::uint8_t* data, std::size_t size) {
    const Reader in(data, size);
    if (size < 2 || data[0] != 'M' || data[1] != 'Z') {
        throw FormatError("no MS-DOS header (\"MZ\")");
    }
    const std::uint32_t pe_at = in.u32(kDosPeOffsetField, "PE header offset");
    in.need(pe_at, 4, "PE signature");
    if (data[pe_at] != 'P' || data[pe_at + 1] != 'E' || data[pe_at + 2] != 0 ||
        data[pe_at + 3] != 0) {
        throw FormatError("no PE signature at file offset " + hex(pe_at));
    }

    Image image;
    const std::size_t file_header = pe_at + 4;
    in.need(file_header, kFileHeaderSize, "COFF file header");
    image.machine = in.u16(file_header + 0, "machine");
    const std::uint16_t section_count = in.u16(file_header + 2, "number of sections");
    const std::uint16_t optional_size = in.u16(file_header + 16, "optional header size");
    image.file_characteristics = in.u16(file_header + 18, "characteristics");

    const std::size_t opt = file_header + kFileHeaderSize;
    in.need(opt, optional_size, "optional header");
    const std::uint16_t magic = in.u16(opt, "optional header magic");
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
        throw FormatError("optional header magic " + hex(magic) + " is neither PE32 nor PE32+");
    }
    image.pe32_plus = magic == kMagicPe32Plus;
    const std::size_t directories_at = opt + (image.pe32_plus ? 112 : 96);
    if (directories_at > opt + optional_size) {
        throw FormatError("optional header of " + hex(optional_size) + " bytes is too short");
    }

    image.entry_point_rva = in.u32(opt + 16, "entry point");
    image.image_base =
        image.pe32_plus ? in.u64(opt + 24, "image base") : in.u32(opt + 28, "image base");
    image.os_version = {in.u16(opt + 40, "OS version"), in.u16(opt + 42, "OS version")};
    image.image_version = {in.u16(opt + 44, "image version"), in.u16(opt + 46, "image version")};
    image.subsystem_version = {in.u16(opt + 48, "subsystem version"),
                               in.u16(opt + 50, "subsystem version")};
    image.size_of_image = in.u32(opt + 56, "size of image");
    const std::uint32_t size_of_headers = in.u32(opt + 60, "size of headers");
    image.checksum_offset = static_cast<std::uint32_t>(opt + 64);
    image.stored_checksum = in.u32(opt + 64, "checksum");
    image.subsystem = in.u16(opt + 68, "subsystem");
    image.dll_characteristics = in.u16(opt + 70, "DLL characteristics");
    const std::uint32_t directory_count = in.u32(directories_at - 4, "number of data directories");
    if (directories_at + static_cast<std::size_t>(directory_count) * 8 > opt + optional_size) {
        throw FormatError(std::to_string(directory_count) +
                          " data directories do not fit the optional header");
    }
    auto directory = [&](std::size_t index, std::uint32_t& rva, std::uint32_t& length) {
        rva = 0;
        length = 0;
        if (index < directory_count) {
            rva = in.u32(directories_at + index * 8, "data directory");
            length = in.u32(directories_at + index * 8 + 4, "data directory");
        }
    };

    const std::size_t sections_at = opt + optional_size;
    in.need(sections_at, section_count * kSectionHeaderSize, "section table");
    for (std::size_t i = 0; i < section_count; ++i) {
        const std::size_t at = sections_at + i * kSectionHeaderSize;
        Section s;
        const char* raw_name = reinterpret_cast<const char*>(data + at);
        s.name.assign(raw_name, std::find(raw_name, raw_name + 8, '\0'));
        s.virtual_size = in.u32(at + 8, "section virtual size");
        s.virtual_address = in.u32(at + 12, "section address");
        s.raw_size = in.u32(at + 16, "section raw size");
        s.raw_offset = in.u32(at + 20, "section raw offset");
        s.characteristics = in.u32(at + 36, "section characteristics");
        in.need(s.raw_offset, s.raw_size, ("raw data of section " + s.name).c_str());
        image.sections.push_back(std::move(s));
    }
    const AddressMap map(image.sections, size_of_headers);

    std::uint32_t import_rva = 0;
    std::uint32_t import_size = 0;
    directory(kDirectoryImport, import_rva, import_size);
    if (import_rva != 0 && import_size != 0) {
        read_imports(in, map, import_rva, image.pe32_plus, image.imports);
    }

    directory(kDirectoryBaseReloc, image.reloc_directory_rva, image.reloc_directory_size);
    if (image.reloc_directory_rva != 0 && image.reloc_directory_size != 0) {
        read_relocations(in, map, image);
    }

    image.computed_checksum = compute_checksum(data, size, image.checksum_offset);
    return image;
}

std::uint32_t compute_checksum(const std::uint8_t* data, std::size_t size,
                               std::size_t checksum_offset) {
    // The CheckSum field counts as zero.
    auto byte = [&](std::size_t at) -> std::uint32_t {
        if (at >= size || (at >= checksum_offset && at - checksum_offset < 4)) {
            return 0;
        }
        return data[at];
    };
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < size; at += 2) {
        sum += byte(at) | (byte(at + 1) << 8);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return sum + static_cast<std::uint32_t>(size);
}

std::vector<std::uint8_t> read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot open " + path);
    }
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
    if (file.bad()) {
        throw std::runtime_error("cannot read " + path);
    }
    return bytes;
}

std::string machine_name(std::uint16_t value) {
    switch (value) {
        case machine::kI386:
            return "x86";
        case machine::kAmd64:
            return "x64";
        default:
            return "unknown";
    }
}

std::string subsystem_name(std::uint16_t value) {
    switch (value) {
        case subsystem::kNative:
            return "native";
        case subsystem::kWindowsGui:
            return "Windows GUI";
        case subsystem::kWindowsCui:
            return "Windows console";
        default:
            return "other";
    }
}

} // namespace peimage
