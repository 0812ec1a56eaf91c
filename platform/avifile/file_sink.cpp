#include "platform/avifile/file_sink.h"

#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/files/files.h"

namespace platform::avifile {

namespace {

// Large enough that headers, empty chunks and index entries go out in few writes; frames larger
// than half of it are written straight from the caller's memory.
constexpr std::size_t kBufferCapacity = std::size_t{256} * 1024;

// Writes all of the pieces at offset, resuming after short writes; false on an error.
bool WriteAllAt(int fd, std::uint64_t offset, std::span<iovec> pieces) {
    std::size_t first = 0;
    while (first < pieces.size()) {
        if (pieces[first].iov_len == 0) {
            ++first;
            continue;
        }
        const ssize_t done = ::pwritev(fd, &pieces[first], static_cast<int>(pieces.size() - first),
                                       static_cast<off_t>(offset));
        if (done < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (done == 0) return false;
        offset += static_cast<std::uint64_t>(done);
        auto left = static_cast<std::size_t>(done);
        while (left > 0) {
            const std::size_t step = std::min(left, pieces[first].iov_len);
            pieces[first].iov_base = static_cast<char*>(pieces[first].iov_base) + step;
            pieces[first].iov_len -= step;
            left -= step;
            if (pieces[first].iov_len == 0) ++first;
        }
    }
    return true;
}

iovec Piece(std::span<const std::byte> bytes) {
    // pwritev only reads through iov_base; the cast is what its C interface demands.
    return iovec{const_cast<std::byte*>(bytes.data()), bytes.size()};
}

}  // namespace

std::unique_ptr<FileSink> FileSink::Create(const std::filesystem::path& path) {
    files::Descriptor fd = files::CreatePrivateFile(path);
    if (!fd) return nullptr;
    return std::make_unique<FileSink>(Key{}, fd.Release(), path);
}

FileSink::FileSink(Key, int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {
    buffer_.reserve(kBufferCapacity);
}

FileSink::~FileSink() {
    Close();
}

void FileSink::Append(std::span<const std::byte> bytes) {
    if (failed_) return;
    if (buffer_.size() + bytes.size() > kBufferCapacity) {
        if (bytes.size() >= kBufferCapacity / 2) {
            failed_ = !WriteOut(bytes);
            return;
        }
        if (!WriteOut({})) {
            failed_ = true;
            return;
        }
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

void FileSink::AppendZeros(std::size_t count) {
    static constexpr std::byte kZeros[512]{};
    while (count > 0) {
        const std::size_t step = std::min(count, sizeof kZeros);
        Append(std::span(kZeros, step));
        count -= step;
    }
}

bool FileSink::Patch(std::uint64_t offset, std::span<const std::byte> bytes) {
    if (fd_ < 0 || offset + bytes.size() > Position()) return false;
    if (offset < written_) {
        const auto inFile =
            static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), written_ - offset));
        iovec piece = Piece(bytes.first(inFile));
        if (!WriteAllAt(fd_, offset, std::span(&piece, 1))) return false;
        bytes = bytes.subspan(inFile);
        offset += inFile;
    }
    if (!bytes.empty()) {
        std::memcpy(buffer_.data() + (offset - written_), bytes.data(), bytes.size());
    }
    return true;
}

bool FileSink::Commit() {
    if (!failed_ && WriteOut({})) {
        committed_ = written_;
        return true;
    }
    Rollback();
    return false;
}

bool FileSink::WriteOut(std::span<const std::byte> extra) {
    if (fd_ < 0) return false;
    iovec pieces[2] = {Piece(buffer_), Piece(extra)};
    if (!WriteAllAt(fd_, written_, pieces)) return false;
    written_ += buffer_.size() + extra.size();
    buffer_.clear();
    return true;
}

void FileSink::Rollback() {
    buffer_.clear();
    failed_ = false;
    written_ = committed_;
    // A failed write may have put part of its bytes in the file. Shrinking gives blocks back, so
    // it works on a full disk as well.
    if (fd_ >= 0) {
        while (::ftruncate(fd_, static_cast<off_t>(committed_)) != 0 && errno == EINTR) {
        }
    }
}

bool FileSink::Close() {
    if (fd_ < 0) return true;
    const int fd = fd_;
    fd_ = -1;
    buffer_.clear();
    return ::close(fd) == 0;
}

void FileSink::Discard() {
    Close();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
}

}  // namespace platform::avifile
