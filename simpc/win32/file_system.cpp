#include "file_system.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "names.h"
#include "simpc/pc.h"
#include "windows.h"

namespace simpc {

namespace fs = std::filesystem;

namespace {

bool HasWildcard(const std::string& name) {
    return name.find_first_of("*?") != std::string::npos;
}

bool IsInvalidNameCharacter(char c) {
    return static_cast<unsigned char>(c) < 32 || std::string("<>:\"|").find(c) != std::string::npos;
}

// Splits an absolute path below the drive root into its names.
std::vector<std::string> SplitNames(const std::string& path) {
    std::vector<std::string> names;
    std::string name;
    for (char c : path + "\\") {
        if (c != '\\') {
            name += c;
            continue;
        }
        if (name == "..") {
            if (!names.empty()) {
                names.pop_back();
            }
        } else if (!name.empty() && name != ".") {
            names.push_back(name);
        }
        name.clear();
    }
    return names;
}

// The entry of a host directory whose name matches without regard to case.
std::optional<std::string> FindEntry(const std::string& host_dir, const std::string& name) {
    std::error_code error;
    if (fs::exists(host_dir + "/" + name, error)) {
        return name;
    }
    const std::string folded = FoldCase(name);
    for (const auto& entry : fs::directory_iterator(host_dir, error)) {
        const std::string entry_name = entry.path().filename().string();
        if (FoldCase(entry_name) == folded) {
            return entry_name;
        }
    }
    return std::nullopt;
}

} // namespace

bool MatchesWildcard(const std::string& name, const std::string& pattern) {
    const std::string text = FoldCase(name);
    const std::string glob = FoldCase(pattern);
    size_t t = 0, g = 0, star = std::string::npos, resume = 0;
    while (t < text.size()) {
        if (g < glob.size() && (glob[g] == '?' || glob[g] == text[t])) {
            ++t;
            ++g;
        } else if (g < glob.size() && glob[g] == '*') {
            star = g++;
            resume = t;
        } else if (star != std::string::npos) {
            g = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (g < glob.size() && glob[g] == '*') {
        ++g;
    }
    return g == glob.size();
}

uint32_t AttributesOfHostFile(const std::string& host_path) {
    struct stat info;
    if (stat(host_path.c_str(), &info) != 0) {
        return 0xFFFFFFFFu;
    }
    uint32_t attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((info.st_mode & S_IWUSR) == 0) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    return attributes;
}

void FileSystem::SetCurrentDirectory(const std::string& windows_path) {
    const ResolvedPath resolved = Resolve(windows_path);
    if (resolved.error != 0) {
        Pc::Current().verifier().Report("current directory off the system drive: " + windows_path);
        return;
    }
    fs::create_directories(resolved.host);
    // Kept as the drive letter and the names as they stand on the drive.
    const std::string root = Pc::Current().SystemDrive();
    std::string relative = resolved.host.substr(root.size());
    for (char& c : relative) {
        if (c == '/') {
            c = '\\';
        }
    }
    current_directory_ = "C:" + (relative.empty() ? std::string("\\") : relative);
}

ResolvedPath FileSystem::Resolve(const std::string& windows_path, bool wildcards) const {
    std::string path = windows_path;
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    if (path.empty()) {
        return {ERROR_PATH_NOT_FOUND, ""};
    }
    // "\\server\share" and "\\.\device" are no files of the drive.
    if (path.compare(0, 2, "\\\\") == 0) {
        return {ERROR_PATH_NOT_FOUND, ""};
    }
    std::string absolute;
    if (path.size() >= 2 && path[1] == ':') {
        if (path[0] != 'C' && path[0] != 'c') {
            return {ERROR_PATH_NOT_FOUND, ""}; // the machine has drive C: only
        }
        const std::string rest = path.substr(2);
        absolute =
            !rest.empty() && rest[0] == '\\' ? rest : current_directory_.substr(2) + "\\" + rest;
    } else if (path[0] == '\\') {
        absolute = path;
    } else {
        absolute = current_directory_.substr(2) + "\\" + path;
    }
    const std::vector<std::string> names = SplitNames(absolute);
    std::string host = Pc::Current().SystemDrive();
    bool exists = true;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        const bool last = i + 1 == names.size();
        for (char c : name) {
            if (IsInvalidNameCharacter(c) || ((c == '*' || c == '?') && !(wildcards && last))) {
                return {ERROR_INVALID_NAME, ""};
            }
        }
        std::optional<std::string> entry;
        if (exists && !HasWildcard(name)) {
            entry = FindEntry(host, name);
        }
        exists = exists && entry.has_value();
        host += "/" + (entry ? *entry : name);
    }
    return {0, host};
}

void FileSystem::WriteFile(const std::string& windows_path, const std::string& content) {
    const ResolvedPath resolved = Resolve(windows_path);
    fs::create_directories(fs::path(resolved.host).parent_path());
    // A new file, not the old one rewritten: a driver image may be mapped from it.
    std::error_code ignored;
    fs::remove(resolved.host, ignored);
    std::ofstream(resolved.host, std::ios::binary | std::ios::trunc) << content;
}

std::optional<std::string> FileSystem::ReadFile(const std::string& windows_path) const {
    const ResolvedPath resolved = Resolve(windows_path);
    std::ifstream in(resolved.host, std::ios::binary);
    if (resolved.error != 0 || !in || fs::is_directory(resolved.host)) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

bool FileSystem::Exists(const std::string& windows_path) const {
    const ResolvedPath resolved = Resolve(windows_path);
    return resolved.error == 0 && AttributesOfHostFile(resolved.host) != 0xFFFFFFFFu;
}

bool FileSystem::IsReadOnly(const std::string& windows_path) const {
    const ResolvedPath resolved = Resolve(windows_path);
    const uint32_t attributes = AttributesOfHostFile(resolved.host);
    return attributes != 0xFFFFFFFFu && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

void FileSystem::SetReadOnly(const std::string& windows_path, bool read_only) {
    const ResolvedPath resolved = Resolve(windows_path);
    fs::permissions(resolved.host,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    read_only ? fs::perm_options::remove : fs::perm_options::add);
    if (!read_only) {
        // Writable again for its owner only, as files here start.
        fs::permissions(resolved.host, fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
}

void* FileSystem::OpenSearch() {
    const uintptr_t search = next_search_;
    next_search_ += 4;
    searches_.insert(search);
    return reinterpret_cast<void*>(search);
}

bool FileSystem::CloseSearch(void* search) {
    return searches_.erase(reinterpret_cast<uintptr_t>(search)) == 1;
}

} // namespace simpc
