// The files that user-mode programs see on the simulated PC: drive C: is
// the machine's system drive, a real directory on the host (Pc::SystemDrive),
// with C:\WINDOWS its system root.  Windows paths are resolved the way
// Windows resolves them: backslashes (or slashes) between names, the drive
// letter C:, paths relative to the current directory or to the drive's root,
// "." and "..", and names that match whatever their case.  The read-only
// attribute of a file is its host owner-write bit, cleared.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

namespace simpc {

// A Windows path resolved to the host: `host` when error is 0, else the
// Win32 error that a call on that path reports.
struct ResolvedPath {
    uint32_t error = 0;
    std::string host;
};

class FileSystem {
  public:
    // The current directory, an absolute Windows path ("C:\" at first).
    const std::string& CurrentDirectory() const { return current_directory_; }
    // Changes it; the directory is created on the drive when it is missing.
    void SetCurrentDirectory(const std::string& windows_path);

    // Resolves a Windows path.  Wildcards (* and ?) are accepted in the
    // last name only when `wildcards` is set; they are then left in `host`.
    ResolvedPath Resolve(const std::string& windows_path, bool wildcards = false) const;

    // For tests: files at Windows paths, on the host drive.
    void WriteFile(const std::string& windows_path, const std::string& content);
    std::optional<std::string> ReadFile(const std::string& windows_path) const;
    bool Exists(const std::string& windows_path) const;
    bool IsReadOnly(const std::string& windows_path) const;
    void SetReadOnly(const std::string& windows_path, bool read_only);

    // Faults: the next CopyFileA or SetFileAttributesA fails with `error`
    // and changes nothing.
    void FailNextCopy(uint32_t error = 5 /* ERROR_ACCESS_DENIED */) { copy_fault_ = error; }
    void FailNextSetAttributes(uint32_t error = 5 /* ERROR_ACCESS_DENIED */) {
        attributes_fault_ = error;
    }
    std::optional<uint32_t> TakeCopyFault() { return Take(copy_fault_); }
    std::optional<uint32_t> TakeAttributesFault() { return Take(attributes_fault_); }

    // Open FindFirstFileA searches, until FindClose.
    void* OpenSearch();
    bool CloseSearch(void* search);
    size_t OpenSearches() const { return searches_.size(); }

  private:
    static std::optional<uint32_t> Take(std::optional<uint32_t>& fault) {
        std::optional<uint32_t> taken = fault;
        fault.reset();
        return taken;
    }

    std::string current_directory_ = "C:\\";
    std::optional<uint32_t> copy_fault_;
    std::optional<uint32_t> attributes_fault_;
    std::set<uintptr_t> searches_;
    uintptr_t next_search_ = 0x10000;
};

// Windows file attributes of a host file or directory; 0xFFFFFFFF when it
// does not exist.
uint32_t AttributesOfHostFile(const std::string& host_path);
// Whether a name matches a pattern with * and ?, ignoring case.
bool MatchesWildcard(const std::string& name, const std::string& pattern);

} // namespace simpc
