#include "simpc/pc.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "win32_state.h"

namespace simpc {

namespace {
Pc* g_current = nullptr;
}  // namespace

Pc::Pc(const std::string& system_drive)
    : system_drive_(system_drive), win32_(std::make_unique<Win32State>()) {
    if (g_current != nullptr) {
        std::fprintf(stderr, "simulated PC: a second machine while one exists\n");
        std::abort();
    }
    g_current = this;
    if (system_drive_.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "simpc-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("simulated PC: cannot create its system drive");
            std::abort();
        }
        system_drive_ = pattern;
        owns_system_drive_ = true;
    }
    std::filesystem::create_directories(SystemRootHostPath() + "/system32/drivers");
    registry_.CreateKey(Registry::kServicesPath);
}

Pc::~Pc() {
    win32_->CloseAll();
    loader_.UnloadAll();
    if (owns_system_drive_) {
        std::error_code ignored;
        std::filesystem::remove_all(system_drive_, ignored);
    }
    g_current = nullptr;
}

Pc& Pc::Current() {
    if (g_current == nullptr) {
        std::fprintf(stderr, "simulated PC: a kernel or Win32 call without a machine\n");
        std::abort();
    }
    return *g_current;
}

bool Pc::Exists() { return g_current != nullptr; }

std::string Pc::ServiceKey(const std::string& service) {
    return std::string(Registry::kServicesPath) + "\\" + service;
}

void Pc::InstallDriver(const std::string& service, const std::string& image_host_path, int lpt) {
    const std::string target = SystemRootHostPath() + "/system32/drivers/" + service + ".sys";
    std::filesystem::copy_file(image_host_path, target,
                               std::filesystem::copy_options::overwrite_existing);
    const std::string key = ServiceKey(service);
    registry_.SetValue(key, "Type", RegistryValue::Dword(1));
    registry_.SetValue(key, "Start", RegistryValue::Dword(3));
    registry_.SetValue(key, "ErrorControl", RegistryValue::Dword(1));
    registry_.SetValue(key, "ImagePath",
                       RegistryValue::String("\\SystemRoot\\system32\\drivers\\" + service + ".sys",
                                             2 /* REG_EXPAND_SZ */));
    if (lpt >= 0) {
        registry_.SetValue(key + "\\Parameters", "Lpt",
                           RegistryValue::Dword(static_cast<uint32_t>(lpt)));
    }
}

std::string Pc::DriverTraceText() const {
    std::string text;
    for (const std::string& trace : traces_) {
        text += trace;
    }
    return text;
}

}  // namespace simpc
