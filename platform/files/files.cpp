#include "platform/files/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace platform::files {

namespace fs = std::filesystem;

namespace {

// Write permission for group or others.
constexpr mode_t kWritableByOthers = S_IWGRP | S_IWOTH;

bool TempIsSet() {
    const char* temp = std::getenv("TEMP");
    return temp != nullptr && *temp != '\0';
}

}  // namespace

std::string TempFolder() {
    // An empty TEMP counts as unset: paths must never start at the file system's root.
    if (TempIsSet()) return std::getenv("TEMP");
    // A shared folder such as /tmp is writable by every user: the program keeps to a folder of
    // its own inside it, as other programs do.
    std::string base = "/tmp";
    if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir && *tmpdir) base = tmpdir;
    if (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/korvex-" + std::to_string(::geteuid());
}

bool PrepareTempFolder(const fs::path& folder) {
    // An existing folder is never changed; IsPrivateFolder decides whether it can be used.
    if (!TempIsSet()) ::mkdir(folder.c_str(), 0700);
    return IsPrivateFolder(folder);
}

bool IsPrivateFolder(const fs::path& folder) {
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & kWritableByOthers) == 0;
}

Descriptor::~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
}

Descriptor& Descriptor::operator=(Descriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

bool Descriptor::Close() {
    return ::close(Release()) == 0;
}

Descriptor CreatePrivateFile(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return Descriptor();
        // Unlinking removes a link itself, never what it points to.
        if (::unlink(path.c_str()) != 0) return Descriptor();
    }
    // O_EXCL with O_NOFOLLOW: the file is new and ours, even if something was put at path again
    // since the unlink.
    return Descriptor(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
}

Descriptor OpenTrustedFile(const fs::path& path) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (!fd || ::fstat(fd.Get(), &st) != 0) return Descriptor();
    const bool owner = st.st_uid == ::geteuid() || st.st_uid == 0;
    if (!S_ISREG(st.st_mode) || !owner || (st.st_mode & kWritableByOthers) != 0) {
        return Descriptor();
    }
    return fd;
}

Descriptor OpenRegularFile(const fs::path& path, int flags, unsigned mode) {
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    Descriptor fd(::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, static_cast<mode_t>(mode)));
    struct stat st {};
    if (!fd || ::fstat(fd.Get(), &st) != 0) return Descriptor();
    if (!S_ISREG(st.st_mode)) {
        errno = EINVAL;
        return Descriptor();
    }
    ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
    return fd;
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
    fs::path partial;
    for (const fs::path& part : path) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) break;
    }
    return FolderExists(path);
}

bool DeleteFile(const fs::path& path) {
    if (!FileExists(path)) return false;
    std::error_code ec;
    return fs::remove(path, ec);
}

bool WriteWholeFile(const fs::path& path, const void* data, std::size_t size) {
    Descriptor fd = CreatePrivateFile(path);
    if (!fd) return false;
    if (!WriteAll(fd.Get(), data, size) || !fd.Close()) {
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

bool WriteAll(int fd, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t done = ::write(fd, bytes, size);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        bytes += done;
        size -= static_cast<std::size_t>(done);
    }
    return true;
}

std::string AsciiLower(std::string text) {
    for (char& c : text) c = AsciiLower(c);
    return text;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::vector<std::string> FindFiles(const fs::path& folder, const std::string& extension) {
    std::vector<std::string> names;
    std::error_code ec;
    const std::string wanted = AsciiLower(extension);
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        std::error_code entryError;
        if (!entry.is_regular_file(entryError)) continue;
        const std::string name = entry.path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        if (name.size() < wanted.size()) continue;
        if (AsciiLower(name.substr(name.size() - wanted.size())) != wanted) continue;
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
