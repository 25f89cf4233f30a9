// kernel32's file calls over the simulated PC's drive: attributes, copies,
// searches and the current directory.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "file_system.h"
#include "simpc/pc.h"
#include "win32_state.h"
#include "windows.h"

using simpc::Pc;

namespace fs = std::filesystem;

namespace {

constexpr uint32_t kNoFile = 0xFFFFFFFFu;

simpc::FileSystem& Files() {
    return Pc::Current().win32().files();
}

BOOL Fail(uint32_t error) {
    Pc::Current().win32().last_error = error;
    return FALSE;
}

// The error for a path that names nothing: its directory exists or not.
uint32_t MissingError(const std::string& host_path) {
    const uint32_t parent = simpc::AttributesOfHostFile(fs::path(host_path).parent_path().string());
    return parent != kNoFile && (parent & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ERROR_FILE_NOT_FOUND
                                                                         : ERROR_PATH_NOT_FOUND;
}

void SetHostReadOnly(const std::string& host_path, bool read_only) {
    fs::permissions(host_path, fs::perms::owner_write,
                    read_only ? fs::perm_options::remove : fs::perm_options::add);
}

} // namespace

extern "C" {

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    if (lpFileName == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const simpc::ResolvedPath path = Files().Resolve(lpFileName);
    if (path.error != 0) {
        return Fail(path.error);
    }
    if (simpc::AttributesOfHostFile(path.host) == kNoFile) {
        return Fail(MissingError(path.host));
    }
    if (auto fault = Files().TakeAttributesFault()) {
        return Fail(*fault);
    }
    // Of the attributes only read-only is kept; NORMAL clears it.
    SetHostReadOnly(path.host, (dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0);
    return TRUE;
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    if (lpExistingFileName == nullptr || lpNewFileName == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    const simpc::ResolvedPath source = Files().Resolve(lpExistingFileName);
    const simpc::ResolvedPath target = Files().Resolve(lpNewFileName);
    if (source.error != 0 || target.error != 0) {
        return Fail(source.error != 0 ? source.error : target.error);
    }
    const uint32_t source_attributes = simpc::AttributesOfHostFile(source.host);
    if (source_attributes == kNoFile) {
        return Fail(MissingError(source.host));
    }
    if ((source_attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    const uint32_t target_attributes = simpc::AttributesOfHostFile(target.host);
    if (target_attributes == kNoFile) {
        const uint32_t error = MissingError(target.host);
        if (error == ERROR_PATH_NOT_FOUND) {
            return Fail(error);
        }
    } else {
        if (bFailIfExists) {
            return Fail(ERROR_FILE_EXISTS);
        }
        // A directory or a read-only file is not overwritten.
        if ((target_attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
            return Fail(ERROR_ACCESS_DENIED);
        }
        if (fs::equivalent(source.host, target.host)) {
            return Fail(ERROR_SHARING_VIOLATION); // the source is open for reading
        }
    }
    if (auto fault = Files().TakeCopyFault()) {
        return Fail(*fault);
    }
    // The new content goes in beside the target and then takes its name, so
    // that a program or driver image still mapped from the old file keeps it.
    const std::string staged = target.host + ".copy-in-progress";
    std::error_code error;
    fs::copy_file(source.host, staged, fs::copy_options::overwrite_existing, error);
    if (!error) {
        fs::rename(staged, target.host, error);
    }
    if (error) {
        fs::remove(staged, error);
        return Fail(ERROR_ACCESS_DENIED);
    }
    // The copy takes the source's attributes.
    SetHostReadOnly(target.host, (source_attributes & FILE_ATTRIBUTE_READONLY) != 0);
    return TRUE;
}

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    if (lpFileName == nullptr || lpFindFileData == nullptr) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const simpc::ResolvedPath path = Files().Resolve(lpFileName, /*wildcards=*/true);
    if (path.error != 0) {
        Fail(path.error);
        return INVALID_HANDLE_VALUE;
    }
    const fs::path pattern(path.host);
    const std::string dir = pattern.parent_path().string();
    const uint32_t dir_attributes = simpc::AttributesOfHostFile(dir);
    if (dir_attributes == kNoFile || (dir_attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        Fail(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    // The first match in name order.
    std::vector<std::string> matches;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
        const std::string name = entry.path().filename().string();
        if (simpc::MatchesWildcard(name, pattern.filename().string())) {
            matches.push_back(name);
        }
    }
    if (matches.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::sort(matches.begin(), matches.end());
    const std::string host = dir + "/" + matches.front();
    std::memset(lpFindFileData, 0, sizeof *lpFindFileData);
    lpFindFileData->dwFileAttributes = simpc::AttributesOfHostFile(host);
    if ((lpFindFileData->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        const uintmax_t size = fs::file_size(host, error);
        lpFindFileData->nFileSizeLow = static_cast<DWORD>(size);
        lpFindFileData->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    }
    std::strncpy(lpFindFileData->cFileName, matches.front().c_str(), MAX_PATH - 1);
    Pc::Current().win32().last_error = 0;
    return Files().OpenSearch();
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    return Files().CloseSearch(hFindFile) ? TRUE : Fail(ERROR_INVALID_HANDLE);
}

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    const std::string& dir = Files().CurrentDirectory();
    // Too small: the size it needs, terminator included.  Else the copy
    // and its length without it.
    if (lpBuffer == nullptr || nBufferLength <= dir.size()) {
        return static_cast<DWORD>(dir.size() + 1);
    }
    std::memcpy(lpBuffer, dir.c_str(), dir.size() + 1);
    return static_cast<DWORD>(dir.size());
}

} // extern "C"
