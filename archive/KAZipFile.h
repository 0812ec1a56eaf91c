// The archive file the ZIP component holds open, with every read and write checked, and the
// error the component raises.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>

// What the ZIP component raises; what() is the text shown to the user.
class EKAZipError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "Systemfehler.  Code: N." CR LF and the system's text for the error number.
[[noreturn]] void RaiseSystemError(int error);

class TKAZipFile {
public:
    enum class Access { Read, ReadWrite };

    // Creates path anew, replacing a file of that name but never following a link there.
    // Raises the "kann nicht erstellt werden" error.
    static TKAZipFile Create(const std::filesystem::path& path);
    // Opens an existing file, never through a link; raises the "kann nicht geöffnet werden" error.
    static TKAZipFile Open(const std::filesystem::path& path, Access access);

    TKAZipFile(TKAZipFile&& other) noexcept;
    TKAZipFile& operator=(TKAZipFile&& other) noexcept;
    ~TKAZipFile();

    std::uint64_t Length() const;
    // Fills bytes from offset; false when the file ends or cannot be read before that.
    bool ReadAt(std::uint64_t offset, std::span<std::byte> bytes) const;
    // Writes all of bytes at offset; raises the system error when any of it is not written.
    void WriteAt(std::uint64_t offset, std::span<const std::byte> bytes);
    // Gives the file its new length with the space reserved, so that a later write cannot run
    // out of room; on failure raises the system error with the file as it was.
    void Extend(std::uint64_t length);
    // Cuts the file to length; raises the system error on failure.
    void Truncate(std::uint64_t length);

private:
    explicit TKAZipFile(int fd) : fd_(fd) {}
    int fd_ = -1;
};
