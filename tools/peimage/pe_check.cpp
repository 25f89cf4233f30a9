// pe-check: reports the headers, relocations and imports of a PE image and,
// on request, checks it as a vexlor kernel driver image.
//
//   pe-check [--driver x86|x64] [--require-relocations] FILE
//
// Exit status: 0 when the image was read (and complies, if checked), 1 when
// it breaks the driver policy, 2 when it cannot be read or on a usage error.

#include "driver_policy.h"
#include "pe_image.h"

#include <cstdio>
#include <exception>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr, "usage: pe-check [--driver x86|x64] [--require-relocations] FILE\n");
    return 2;
}

void report(const std::string& path, const peimage::Image& image) {
    std::printf("file: %s\n", path.c_str());
    std::printf("machine: %s (0x%04x)\n", peimage::machine_name(image.machine).c_str(),
                image.machine);
    std::printf("format: %s\n", image.pe32_plus ? "PE32+" : "PE32");
    std::printf("characteristics: 0x%04x\n", image.file_characteristics);
    std::printf("subsystem: %s (%u), version %u.%u\n",
                peimage::subsystem_name(image.subsystem).c_str(), image.subsystem,
                image.subsystem_version.major, image.subsystem_version.minor);
    std::printf("os version: %u.%u\n", image.os_version.major, image.os_version.minor);
    std::printf("image base: 0x%llx\n", static_cast<unsigned long long>(image.image_base));
    std::printf("entry point rva: 0x%x\n", image.entry_point_rva);
    std::printf("dll characteristics: 0x%04x\n", image.dll_characteristics);
    if (image.has_relocations()) {
        std::printf("base relocations: %u fixups in %u blocks\n", image.reloc_fixups,
                    image.reloc_blocks);
    } else {
        std::printf("base relocations: none\n");
    }
    std::printf("checksum: stored 0x%08x, computed 0x%08x\n", image.stored_checksum,
                image.computed_checksum);
    std::printf("sections:");
    for (const peimage::Section& s : image.sections) {
        std::printf(" %s", s.name.c_str());
    }
    std::printf("\nimports:\n");
    for (const peimage::ImportedModule& module : image.imports) {
        std::printf("  %s:", module.dll.c_str());
        for (const peimage::ImportedName& routine : module.names) {
            if (routine.by_ordinal) {
                std::printf(" #%u", routine.hint_or_ordinal);
            } else {
                std::printf(" %s", routine.name.c_str());
            }
        }
        std::printf("\n");
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string path;
    std::string driver;
    bool require_relocations = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--driver" && i + 1 < argc) {
            driver = argv[++i];
            if (driver != "x86" && driver != "x64") {
                return usage();
            }
        } else if (arg == "--require-relocations") {
            require_relocations = true;
        } else if (!arg.empty() && arg[0] != '-' && path.empty()) {
            path = arg;
        } else {
            return usage();
        }
    }
    if (path.empty()) {
        return usage();
    }

    peimage::Image image;
    try {
        image = peimage::parse_image(peimage::read_file(path));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "pe-check: %s: %s\n", path.c_str(), error.what());
        return 2;
    }
    report(path, image);
    if (driver.empty()) {
        return 0;
    }

    peimage::DriverPolicy policy =
        driver == "x86" ? peimage::driver_policy_x86() : peimage::driver_policy_x64();
    policy.require_relocations = policy.require_relocations || require_relocations;
    const std::vector<std::string> problems = peimage::check_driver(image, policy);
    for (const std::string& problem : problems) {
        std::printf("policy violation: %s\n", problem.c_str());
    }
    std::printf("driver policy (%s): %s\n", driver.c_str(), problems.empty() ? "OK" : "FAILED");
    return problems.empty() ? 0 : 1;
}
