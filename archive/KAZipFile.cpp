#include "archive/KAZipFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/files/files.h"

namespace {

std::string Quoted(const std::filesystem::path& path) {
    return "\"" + path.string() + "\"";
}

int OpenRegular(const std::filesystem::path& path, int flags) {
    return platform::files::OpenRegularFile(path, flags | O_NOFOLLOW).Release();
}

}  // namespace

void RaiseSystemError(int error) {
    throw EKAZipError("Systemfehler.  Code: " + std::to_string(error) + ".\r\n" +
                      std::strerror(error));
}

TKAZipFile TKAZipFile::Create(const std::filesystem::path& path) {
    const int fd = OpenRegular(path, O_RDWR | O_CREAT | O_TRUNC);
    if (fd < 0) {
        const int error = errno;
        throw EKAZipError("Datei " + Quoted(path) + " kann nicht erstellt werden. " +
                          std::strerror(error));
    }
    return TKAZipFile(fd);
}

TKAZipFile TKAZipFile::Open(const std::filesystem::path& path, Access access) {
    const int fd = OpenRegular(path, access == Access::Read ? O_RDONLY : O_RDWR);
    if (fd < 0) {
        const int error = errno;
        throw EKAZipError("Datei " + path.string() + " kann nicht geöffnet werden. " +
                          std::strerror(error));
    }
    return TKAZipFile(fd);
}

TKAZipFile::TKAZipFile(TKAZipFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TKAZipFile& TKAZipFile::operator=(TKAZipFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

TKAZipFile::~TKAZipFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::uint64_t TKAZipFile::Length() const {
    struct stat info {};
    if (::fstat(fd_, &info) != 0) RaiseSystemError(errno);
    return static_cast<std::uint64_t>(info.st_size);
}

bool TKAZipFile::ReadAt(std::uint64_t offset, std::span<std::byte> bytes) const {
    while (!bytes.empty()) {
        const ssize_t done = ::pread(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        bytes = bytes.subspan(static_cast<std::size_t>(done));
        offset += static_cast<std::uint64_t>(done);
    }
    return true;
}

void TKAZipFile::WriteAt(std::uint64_t offset, std::span<const std::byte> bytes) {
    while (!bytes.empty()) {
        const ssize_t done = ::pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) continue;
        // A write that takes nothing without an error still means the room ran out.
        if (done <= 0) RaiseSystemError(done < 0 ? errno : ENOSPC);
        bytes = bytes.subspan(static_cast<std::size_t>(done));
        offset += static_cast<std::uint64_t>(done);
    }
}

void TKAZipFile::Extend(std::uint64_t length) {
    const std::uint64_t old = Length();
    if (length <= old) return;
    // posix_fallocate reserves the blocks; a mere size change would leave a sparse file that
    // runs out of room half-way through the writes.
    const int error =
        ::posix_fallocate(fd_, static_cast<off_t>(old), static_cast<off_t>(length - old));
    if (error != 0) {
        while (::ftruncate(fd_, static_cast<off_t>(old)) != 0 && errno == EINTR) {
        }
        RaiseSystemError(error);
    }
}

void TKAZipFile::Truncate(std::uint64_t length) {
    if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) RaiseSystemError(errno);
}
