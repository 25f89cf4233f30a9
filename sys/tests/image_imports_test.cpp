// The driver image imports nothing but kernel and HAL routines: read the
// image's dynamic symbol table and compare its undefined symbols with the
// routines a kernel exports.
#include <elf.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

#ifdef VEXLOR_SANITIZED
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

std::vector<std::string> UndefinedSymbols(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> names;
    if (image.size() < sizeof(Elf64_Ehdr)) {
        ADD_FAILURE() << path << " is not an ELF image";
        return names;
    }
    const auto* header = reinterpret_cast<const Elf64_Ehdr*>(image.data());
    const auto* sections = reinterpret_cast<const Elf64_Shdr*>(image.data() + header->e_shoff);
    for (int i = 0; i < header->e_shnum; ++i) {
        if (sections[i].sh_type != SHT_DYNSYM) {
            continue;
        }
        const Elf64_Shdr& strings = sections[sections[i].sh_link];
        const auto* symbols = reinterpret_cast<const Elf64_Sym*>(image.data() + sections[i].sh_offset);
        const size_t count = sections[i].sh_size / sizeof(Elf64_Sym);
        for (size_t s = 1; s < count; ++s) {
            if (symbols[s].st_shndx == SHN_UNDEF) {
                names.emplace_back(image.data() + strings.sh_offset + symbols[s].st_name);
            }
        }
    }
    return names;
}

bool IsSanitizerRuntime(const std::string& name) {
    return name.rfind("__asan", 0) == 0 || name.rfind("__ubsan", 0) == 0 ||
           name.rfind("__sanitizer", 0) == 0 || name.rfind("__lsan", 0) == 0;
}

TEST(DriverImage, ImportsOnlyKernelAndHalRoutines) {
    // What ntoskrnl.exe and HAL.dll export (and this driver may use).
    const std::set<std::string> kernel_exports = {
        "ExAllocatePoolWithTag", "ExFreePool", "HalTranslateBusAddress",
        "IoAllocateIrp", "IoBuildDeviceIoControlRequest", "IoCancelIrp",
        "IoCreateDevice", "IoCreateSymbolicLink", "IoDeleteDevice", "IoDeleteSymbolicLink",
        "IoFreeIrp", "IoGetDeviceObjectPointer", "IoReportResourceUsage", "IofCallDriver",
        "IofCompleteRequest", "KeInitializeEvent", "KeSetEvent", "KeStallExecutionProcessor",
        "KeWaitForSingleObject", "MmMapLockedPages", "ObfDereferenceObject",
        "READ_PORT_UCHAR", "READ_PORT_ULONG", "READ_PORT_USHORT",
        "RtlAppendUnicodeStringToString", "RtlInitUnicodeString", "RtlIntegerToUnicodeString",
        "RtlQueryRegistryValues", "WRITE_PORT_UCHAR", "WRITE_PORT_ULONG", "WRITE_PORT_USHORT",
        "memcpy", "memmove", "memset",
        // The simulated kernel's trace sink.
        "SimDriverTrace"};

    const std::vector<std::string> imports = UndefinedSymbols(VEXLOR_IMAGE);
    std::vector<std::string> kernel_imports;
    for (const std::string& name : imports) {
        if (kSanitized && IsSanitizerRuntime(name)) {
            continue;
        }
        kernel_imports.push_back(name);
        EXPECT_TRUE(kernel_exports.count(name) != 0) << "the driver imports " << name;
    }
    // The routines the driver's load, unload and routing cannot do without.
    for (const char* required : {"IoCreateDevice", "IoCreateSymbolicLink", "IoDeleteDevice",
                                 "IoDeleteSymbolicLink", "IofCompleteRequest",
                                 "RtlQueryRegistryValues", "READ_PORT_UCHAR"}) {
        EXPECT_THAT(kernel_imports, ::testing::Contains(std::string(required)));
    }
    std::string list;
    for (const std::string& name : kernel_imports) {
        list += name + " ";
    }
    RecordProperty("imports", list);
    std::printf("driver image imports: %s\n", list.c_str());
}

}  // namespace
