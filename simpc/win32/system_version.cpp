// kernel32's GetVersionExA and GetWindowsDirectoryA.
#include "system_version.h"

#include <cstring>

#include "simpc/pc.h"
#include "win32_state.h"
#include "windows.h"

namespace simpc {

SystemVersion VersionOf(WindowsSystem system) {
    switch (system) {
        case WindowsSystem::Windows95:
            return {VER_PLATFORM_WIN32_WINDOWS, 4, 0, 950, ""};
        case WindowsSystem::Windows98:
            return {VER_PLATFORM_WIN32_WINDOWS, 4, 10, 1998, ""};
        case WindowsSystem::WindowsNt4:
            return {VER_PLATFORM_WIN32_NT, 4, 0, 1381, "Service Pack 6"};
        case WindowsSystem::Windows2000:
            return {VER_PLATFORM_WIN32_NT, 5, 0, 2195, "Service Pack 4"};
        case WindowsSystem::WindowsXp:
            return {VER_PLATFORM_WIN32_NT, 5, 1, 2600, "Service Pack 3"};
        case WindowsSystem::Windows7:
            return {VER_PLATFORM_WIN32_NT, 6, 1, 7601, "Service Pack 1"};
    }
    return {VER_PLATFORM_WIN32_NT, 5, 0, 2195, ""};
}

bool SystemInfo::TakeWindowsDirectoryFault() {
    const bool fail = fail_windows_directory_;
    fail_windows_directory_ = false;
    return fail;
}

} // namespace simpc

using simpc::Pc;

extern "C" {

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    Pc& pc = Pc::Current();
    // The record is OSVERSIONINFOA (148 bytes) or its extended form (156).
    if (lpVersionInformation == nullptr || (lpVersionInformation->dwOSVersionInfoSize != 148 &&
                                            lpVersionInformation->dwOSVersionInfoSize != 156)) {
        pc.win32().last_error = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    const simpc::SystemVersion version = simpc::VersionOf(pc.win32().system_info().system());
    lpVersionInformation->dwMajorVersion = version.major;
    lpVersionInformation->dwMinorVersion = version.minor;
    // The Windows 95 family keeps the version in the build number's high word.
    lpVersionInformation->dwBuildNumber =
        version.platform_id == VER_PLATFORM_WIN32_WINDOWS
            ? (version.major << 24 | version.minor << 16 | version.build)
            : version.build;
    lpVersionInformation->dwPlatformId = version.platform_id;
    std::memset(lpVersionInformation->szCSDVersion, 0, sizeof lpVersionInformation->szCSDVersion);
    std::strcpy(lpVersionInformation->szCSDVersion, version.service_pack);
    return TRUE;
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
    Pc& pc = Pc::Current();
    if (pc.win32().system_info().TakeWindowsDirectoryFault()) {
        pc.win32().last_error = ERROR_GEN_FAILURE;
        return 0;
    }
    const std::string dir = simpc::SystemInfo::WindowsDirectory();
    // Too small (the size query passes no buffer and 0): the size it needs,
    // terminator included.  Else the copy and its length without it.
    if (lpBuffer == nullptr || uSize <= dir.size()) {
        return static_cast<UINT>(dir.size() + 1);
    }
    std::memcpy(lpBuffer, dir.c_str(), dir.size() + 1);
    return static_cast<UINT>(dir.size());
}

} // extern "C"
