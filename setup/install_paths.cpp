#include "install_paths.h"

#include <windows.h>

#include <cstdlib>

#include "joined_text.h"

namespace {

char* g_windows_dir = nullptr;

} // namespace

void FillWindowsDir() {
    ClearWindowsDir();
    // The size query answers the length including the terminator.
    const UINT size = GetWindowsDirectoryA(NULL, 0);
    if (size == 0) {
        return;
    }
    char* dir = static_cast<char*>(std::malloc(size));
    if (dir == nullptr) {
        return;
    }
    // A successful copy answers its length without the terminator.
    const UINT length = GetWindowsDirectoryA(dir, size);
    if (length == 0 || length >= size) {
        std::free(dir);
        return;
    }
    g_windows_dir = dir;
}

void ClearWindowsDir() {
    std::free(g_windows_dir);
    g_windows_dir = nullptr;
}

const char* WindowsDir() {
    return g_windows_dir;
}

char* DriverTargetPath() {
    if (g_windows_dir == nullptr) {
        return nullptr;
    }
    return JoinText(g_windows_dir, "\\system32\\drivers\\", DRIVER_FILE_NAME);
}

char* InfFilePath() {
    char dir[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(MAX_PATH, dir);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    // A drive's root comes with its backslash ("C:\"), any other directory without.
    const char* separator = dir[length - 1] == '\\' ? "" : "\\";
    return JoinText(dir, separator, INF_FILE_NAME);
}

bool FileExists(const char* name) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(name, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
