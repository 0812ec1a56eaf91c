// A file written front to back through a buffer, with commit points: whatever was appended since
// the last commit either reaches the file as a whole at the next Commit or is cut off again, so
// the file on disk always ends at a commit point. Bytes already appended can be patched in place.
// Used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace platform::avifile {

class FileSink {
    struct Key {
        explicit Key() = default;
    };

public:
    // Creates path as a new file of this user's only (0600), replacing an existing file or link;
    // null when it cannot be created.
    static std::unique_ptr<FileSink> Create(const std::filesystem::path& path);
    FileSink(Key, int fd, std::filesystem::path path);  // for Create
    ~FileSink();
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // Offset of the next byte to be appended.
    std::uint64_t Position() const { return written_ + buffer_.size(); }
    // Offset up to which the file is known to hold what was appended.
    std::uint64_t Committed() const { return committed_; }

    // Appends bytes; small ones are gathered in the buffer, large ones go out directly. A failure
    // is held back until the next Commit.
    void Append(std::span<const std::byte> bytes);
    void AppendZeros(std::size_t count);
    // Overwrites bytes that were appended before; false when they cannot be written.
    bool Patch(std::uint64_t offset, std::span<const std::byte> bytes);
    // Brings everything appended into the file. On failure the file is cut back to the previous
    // commit point, Position() returns there, and the sink can be used on.
    bool Commit();
    // Drops what was appended since the last commit and cuts the file back to it.
    void Rollback();

    // Closes the file; false when the system reports that it could not be written.
    bool Close();
    // Closes and removes the file.
    void Discard();

private:
    bool WriteOut(std::span<const std::byte> extra);

    int fd_;
    std::filesystem::path path_;
    std::vector<std::byte> buffer_;  // bytes from written_ on, not yet in the file
    std::uint64_t written_ = 0;      // the file holds [0, written_)
    std::uint64_t committed_ = 0;
    bool failed_ = false;  // an append since the last commit did not reach the file
};

}  // namespace platform::avifile
