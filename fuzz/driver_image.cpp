#include "driver_image.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "oracle.h"

namespace vexlor_fuzz {

namespace {

// The image's variables: its sections named .data or .bss (and .data.*,
// .bss.*), as offsets from the load address.  Left out are the sections
// that only the instrumentation writes (the fuzzer's and the profile's
// counters), which must keep counting across loads, and what the dynamic
// loader made read-only after relocation (.data.rel.ro).
std::vector<std::pair<uintptr_t, uintptr_t>> VariableSections(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
    ElfW(Ehdr) header;
    if (bytes.size() < sizeof(header)) {
        Crash("driver image " + path + " is not an ELF file");
    }
    std::memcpy(&header, bytes.data(), sizeof(header));
    const size_t table_end = header.e_shoff + size_t{header.e_shnum} * sizeof(ElfW(Shdr));
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || table_end > bytes.size() ||
        header.e_shstrndx >= header.e_shnum) {
        Crash("driver image " + path + " has no readable section table");
    }
    std::vector<ElfW(Shdr)> sections(header.e_shnum);
    std::memcpy(sections.data(), bytes.data() + header.e_shoff,
                sections.size() * sizeof(ElfW(Shdr)));
    const ElfW(Shdr)& names = sections[header.e_shstrndx];
    std::vector<std::pair<uintptr_t, uintptr_t>> ranges;
    for (const ElfW(Shdr) & section : sections) {
        if (section.sh_name >= names.sh_size || names.sh_offset + names.sh_size > bytes.size() ||
            (section.sh_flags & (SHF_ALLOC | SHF_WRITE)) != (SHF_ALLOC | SHF_WRITE)) {
            continue;
        }
        const std::string name(bytes.data() + names.sh_offset + section.sh_name,
                               strnlen(bytes.data() + names.sh_offset + section.sh_name,
                                       names.sh_size - section.sh_name));
        const bool data = name == ".data" || name.rfind(".data.", 0) == 0;
        const bool bss = name == ".bss" || name.rfind(".bss.", 0) == 0;
        if ((data || bss) && name.rfind(".data.rel.ro", 0) != 0 && section.sh_size != 0) {
            ranges.emplace_back(section.sh_addr, section.sh_addr + section.sh_size);
        }
    }
    return ranges;
}

// Copies that neither AddressSanitizer checks (the range holds the
// redzones between the image's globals) nor the fuzzer's coverage sees.
__attribute__((no_sanitize("address", "coverage", "alignment"))) void
CopyUnchecked(uint8_t* to, const uint8_t* from, size_t count) {
    volatile uint8_t* target = to;
    const volatile uint8_t* source = from;
    size_t i = 0;
    for (; i + sizeof(uint64_t) <= count; i += sizeof(uint64_t)) {
        *reinterpret_cast<volatile uint64_t*>(target + i) =
            *reinterpret_cast<const volatile uint64_t*>(source + i);
    }
    for (; i < count; ++i) {
        target[i] = source[i];
    }
}

}  // namespace

DriverImage& DriverImage::Get(const std::string& host_path) {
    static DriverImage* image = new DriverImage(host_path);
    return *image;
}

DriverImage::DriverImage(const std::string& host_path) {
    void* handle = dlopen(host_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        Crash("driver image " + host_path + " cannot be mapped: " + dlerror());
    }
    entry_ = reinterpret_cast<PDRIVER_INITIALIZE>(dlsym(handle, "DriverEntry"));
    link_map* map = nullptr;
    if (entry_ == nullptr || dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
        Crash("driver image " + host_path + " has no DriverEntry or no link map");
    }
    for (const auto& section : VariableSections(host_path)) {
        const uintptr_t start = map->l_addr + section.first;
        Range saved{start, std::vector<uint8_t>(section.second - section.first)};
        CopyUnchecked(saved.initial.data(), reinterpret_cast<const uint8_t*>(start),
                      saved.initial.size());
        writable_.push_back(std::move(saved));
    }
}

void DriverImage::RestoreData() const {
    for (const Range& range : writable_) {
        CopyUnchecked(reinterpret_cast<uint8_t*>(range.start), range.initial.data(),
                      range.initial.size());
    }
}

}  // namespace vexlor_fuzz
