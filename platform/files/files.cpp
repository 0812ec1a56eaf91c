#include "platform/files/files.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace platform::files {

namespace fs = std::filesystem;

std::string TempFolder() {
    // An empty TEMP counts as unset: paths must never start at the file system's root.
    if (const char* temp = std::getenv("TEMP"); temp && *temp) return temp;
    if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir && *tmpdir) return tmpdir;
    return "/tmp";
}

std::optional<std::uint32_t> Attributes(const fs::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    std::uint32_t bits = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (::access(path.c_str(), W_OK) != 0) bits |= FILE_ATTRIBUTE_READONLY;
    const std::string name = path.filename().string();
    if (!name.empty() && name[0] == '.' && name != "." && name != "..") {
        bits |= FILE_ATTRIBUTE_HIDDEN;
    }
    return bits;
}

bool FileExists(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool FolderExists(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool CreateFolders(const fs::path& path) {
    std::error_code ec;
    fs::create_directories(path, ec);
    return FolderExists(path);
}

bool DeleteFile(const fs::path& path) {
    if (!FileExists(path)) return false;
    std::error_code ec;
    return fs::remove(path, ec);
}

bool WriteWholeFile(const fs::path& path, const void* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        std::error_code ec;
        fs::remove(path, ec);
        return false;
    }
    return true;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return text;
}

std::vector<std::string> FindFiles(const fs::path& folder, const std::string& extension) {
    std::vector<std::string> names;
    std::error_code ec;
    const std::string wanted = Lower(extension);
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::error_code entryError;
        if (!entry.is_regular_file(entryError)) continue;
        const std::string name = entry.path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        if (name.size() < wanted.size()) continue;
        if (Lower(name.substr(name.size() - wanted.size())) != wanted) continue;
        names.push_back(name);
    }
    return names;
}

std::optional<std::uint64_t> FreeBytes(const fs::path& path) {
    struct statvfs vfs {};
    if (::statvfs(path.c_str(), &vfs) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize;
}

std::string MountPoint(const fs::path& path) {
    std::error_code ec;
    fs::path current = fs::weakly_canonical(path, ec);
    if (ec) current = path;
    struct stat st {};
    if (::stat(current.c_str(), &st) != 0) return current.string();
    const dev_t device = st.st_dev;
    // Walk up until the parent lies on another device: that step is the mount point.
    while (current.has_parent_path() && current != current.root_path()) {
        struct stat parent {};
        if (::stat(current.parent_path().c_str(), &parent) != 0 || parent.st_dev != device) break;
        current = current.parent_path();
    }
    return current.string();
}

bool IsOpenByAnyProcess(const fs::path& path) {
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0 || !S_ISREG(target.st_mode)) return false;
    std::error_code ec;
    for (const auto& process : fs::directory_iterator("/proc", ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit)) continue;
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            struct stat st {};
            if (::stat(fd.path().c_str(), &st) == 0 && st.st_dev == target.st_dev &&
                st.st_ino == target.st_ino) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace platform::files
