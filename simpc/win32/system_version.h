// The version of Windows that the simulated PC reports to programs
// (GetVersionExA), and its Windows directory (GetWindowsDirectoryA).
#pragma once

#include <cstdint>
#include <string>

namespace simpc {

enum class WindowsSystem {
    Windows95,   // platform 1 (the Windows 95 family), 4.0.950
    Windows98,   // platform 1, 4.10.1998
    WindowsNt4,  // platform 2 (NT), 4.0.1381, Service Pack 6
    Windows2000, // platform 2, 5.0.2195
    WindowsXp,   // platform 2, 5.1.2600
    Windows7,    // platform 2, 6.1.7601
};

struct SystemVersion {
    uint32_t platform_id;
    uint32_t major;
    uint32_t minor;
    uint32_t build;
    const char* service_pack;
};

SystemVersion VersionOf(WindowsSystem system);

class SystemInfo {
  public:
    void SetSystem(WindowsSystem system) { system_ = system; }
    WindowsSystem system() const { return system_; }

    // The Windows directory, C:\WINDOWS, as programs see it.
    static std::string WindowsDirectory() { return "C:\\WINDOWS"; }
    // The next GetWindowsDirectoryA fails (answers 0).
    void FailNextWindowsDirectory() { fail_windows_directory_ = true; }
    bool TakeWindowsDirectoryFault();

  private:
    WindowsSystem system_ = WindowsSystem::Windows2000;
    bool fail_windows_directory_ = false;
};

} // namespace simpc
