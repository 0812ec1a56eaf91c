#include "archive/SevenZipStreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files/files.h"

namespace archive {

using namespace com;

namespace {

std::uint64_t Moved(std::uint64_t from, std::int64_t offset) {
    return from + static_cast<std::uint64_t>(offset);
}

}  // namespace

TMyStreamReader::TMyStreamReader(int* errorTarget, std::uint64_t startOffset, bool archiveMode,
                                 const std::filesystem::path& fileName)
    : position_(startOffset), archiveMode_(archiveMode), errorTarget_(errorTarget) {
    // Never waits on a FIFO: only a regular file is read.
    fd_ = platform::files::OpenRegularFile(fileName, O_RDONLY).Release();
    if (fd_ < 0) {
        lastError_ = errno;
        return;
    }
    struct stat info {};
    // No further volume can follow a single file, so its length is also an archive's total: the
    // engine seeks to the end of every archive it opens.
    if (fstat(fd_, &info) == 0) length_ = static_cast<std::uint64_t>(info.st_size);
}

TMyStreamReader::~TMyStreamReader() {
    if (fd_ >= 0) close(fd_);
    if (lastError_ != 0 && errorTarget_ != nullptr) *errorTarget_ = lastError_;
}

void* TMyStreamReader::Find(const GUID& iid) {
    if (iid == IID_ISequentialInStream || iid == IID_IInStream)
        return static_cast<IInStream*>(this);
    if (iid == IID_IStreamGetSize) return static_cast<IStreamGetSize*>(this);
    return nullptr;
}

HRESULT TMyStreamReader::Read(void* data, std::uint32_t size, std::uint32_t* done) {
    if (done != nullptr) *done = 0;
    // A file that never opened fails every read, so that a packing cannot store it as empty.
    if (fd_ < 0) return kFail;
    if (archiveMode_ && position_ + size > length_) return kFalse;
    std::uint32_t total = 0;
    while (total < size) {
        const ssize_t got = pread(fd_, static_cast<char*>(data) + total, size - total,
                                  static_cast<off_t>(position_ + total));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            // The engine stops at the error: an archive of half a file is never taken as good.
            lastError_ = errno;
            return kFail;
        }
        if (got == 0) break;
        total += static_cast<std::uint32_t>(got);
    }
    position_ += total;
    if (done != nullptr) *done = total;
    return kOk;
}

HRESULT TMyStreamReader::Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* position) {
    HRESULT result = kOk;
    if (origin == kSeekSet) {
        position_ = static_cast<std::uint64_t>(offset);
    } else if (origin == kSeekCurrent) {
        position_ = Moved(position_, offset);
    } else if (origin == kSeekEnd) {
        if (length_ > 0) {
            position_ = Moved(length_, offset);
        } else {
            result = kFalse;
        }
    }
    if (position != nullptr) *position = position_;
    return result;
}

HRESULT TMyStreamReader::GetSize(std::uint64_t* size) {
    if (length_ == 0) return kFalse;
    if (size != nullptr) *size = length_;
    return kOk;
}

namespace {

std::chrono::system_clock::time_point TwoSecondPrecision(std::chrono::system_clock::time_point t) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(t).time_since_epoch().count();
    return std::chrono::system_clock::time_point(std::chrono::seconds(seconds - (seconds & 1)));
}

bool Stamp(int fd, std::chrono::system_clock::time_point time) {
    const auto seconds = std::chrono::system_clock::to_time_t(time);
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    return futimens(fd, times) == 0;
}

}  // namespace

ComPtr<TMyStreamWriter> TMyStreamWriter::Create(int* errorTarget, std::uint32_t attributes,
                                                std::chrono::system_clock::time_point dateTime,
                                                const std::filesystem::path& fileName) {
    auto fail = [errorTarget] {
        if (errorTarget != nullptr) *errorTarget = errno;
        return ComPtr<TMyStreamWriter>();
    };
    // Removing first and then creating exclusively replaces a link instead of writing through it.
    struct stat old {};
    if (lstat(fileName.c_str(), &old) == 0 && !S_ISDIR(old.st_mode)) unlink(fileName.c_str());
    const mode_t mode = (attributes & 0x01) != 0 ? 0444 : 0666;
    const int fd = open(fileName.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) return fail();
    const auto stamp = TwoSecondPrecision(dateTime);
    if (!Stamp(fd, stamp)) {
        const ComPtr<TMyStreamWriter> none = fail();
        close(fd);
        return none;
    }
    return MakeCom<TMyStreamWriter>(fd, errorTarget, stamp);
}

TMyStreamWriter::TMyStreamWriter(int fd, int* errorTarget,
                                 std::chrono::system_clock::time_point stamp)
    : fd_(fd), errorTarget_(errorTarget), stamp_(stamp) {}

TMyStreamWriter::~TMyStreamWriter() {
    if (lastError_ != 0 && errorTarget_ != nullptr) *errorTarget_ = lastError_;
    Stamp(fd_, stamp_);
    close(fd_);
}

void* TMyStreamWriter::Find(const GUID& iid) {
    if (iid == IID_ISequentialOutStream || iid == IID_IOutStream) {
        return static_cast<IOutStream*>(this);
    }
    return nullptr;
}

HRESULT TMyStreamWriter::Write(const void* data, std::uint32_t size, std::uint32_t* done) {
    std::uint32_t total = 0;
    while (total < size) {
        const ssize_t put = pwrite(fd_, static_cast<const char*>(data) + total, size - total,
                                   static_cast<off_t>(position_ + total));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            lastError_ = put < 0 ? errno : ENOSPC;
            total = 0;
            break;
        }
        total += static_cast<std::uint32_t>(put);
    }
    position_ += total;
    if (highest_ < position_) highest_ = position_;
    if (done != nullptr) *done = total;
    return lastError_ != 0 ? kFalse : kOk;
}

HRESULT TMyStreamWriter::Seek(std::int64_t offset, std::uint32_t origin, std::uint64_t* position) {
    if (origin == kSeekSet) {
        position_ = static_cast<std::uint64_t>(offset);
    } else if (origin == kSeekCurrent) {
        position_ = Moved(position_, offset);
    } else if (origin == kSeekEnd) {
        position_ = Moved(highest_, offset);
    }
    if (highest_ < position_) highest_ = position_;
    if (position != nullptr) *position = position_;
    return kOk;
}

HRESULT TMyStreamWriter::SetSize(std::uint64_t) {
    return kFalse;
}

}  // namespace archive
