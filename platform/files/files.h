// Files and folders as the program sees them: the TEMP folder, finding recordings by wildcard,
// attributes, free space, and whether another process holds a file open. Everything the program
// creates is private to the user: folders 0700, files 0600, never through a link.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::files {

constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
constexpr std::uint32_t FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr std::uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;

// The environment's "TEMP"; else this user's own folder "korvex-<uid>" under "TMPDIR", else
// under "/tmp". An empty variable counts as unset.
std::string TempFolder();
// Makes this user's own folder when TempFolder() is one (mode 0700), then tells whether folder
// is safe to use: a real folder, not a link, owned by this user and writable by nobody else.
bool PrepareTempFolder(const std::filesystem::path& folder);
bool IsPrivateFolder(const std::filesystem::path& folder);

// An open file descriptor, closed with the object.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor();
    Descriptor(Descriptor&& other) noexcept : fd_(other.Release()) {}
    Descriptor& operator=(Descriptor&& other) noexcept;
    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes now; false when the system reports that the last writes did not reach the file.
    bool Close();

private:
    int fd_;
};

// Creates a new file at path for writing, readable and writable by this user only (0600). A file
// or link already at path is removed first, never followed; anything else there (a folder, a
// FIFO) makes it fail. Invalid descriptor on failure.
Descriptor CreatePrivateFile(const std::filesystem::path& path);
// Opens the file at path for reading when it is a regular file, not a link, owned by this user
// (or by root) and writable by nobody else: a file that may be loaded as code.
Descriptor OpenTrustedFile(const std::filesystem::path& path);
// Opens path with flags (O_RDONLY or O_RDWR, with O_CREAT, O_TRUNC or O_NOFOLLOW as the caller
// needs) when it is a regular file. Anything else there, a FIFO or a device, is refused with
// errno EINVAL at once, without waiting for a writer to come. New files get mode.
Descriptor OpenRegularFile(const std::filesystem::path& path, int flags, unsigned mode = 0600);

// Attribute bits of a path: 0x10 folder, 0x20 file, 0x01 read-only, 0x02 hidden (a name that
// starts with "."); none when nothing exists there.
std::optional<std::uint32_t> Attributes(const std::filesystem::path& path);

bool FileExists(const std::filesystem::path& path);
bool FolderExists(const std::filesystem::path& path);
// Creates the folder with all missing parents (mode 0700); true when it exists afterwards.
bool CreateFolders(const std::filesystem::path& path);
// Deletes a file (never a folder); true when it was deleted.
bool DeleteFile(const std::filesystem::path& path);
// Writes all size bytes of data to fd, going on after interruptions and partial writes; false
// on an error.
bool WriteAll(int fd, const void* data, std::size_t size);
// Writes data as the whole new content of the file; true when all of it was written.
bool WriteWholeFile(const std::filesystem::path& path, const void* data, std::size_t size);

// Names of the ordinary files (not hidden, not folders) in folder whose extension equals
// extension (".avi") without regard to case, in directory order.
std::vector<std::string> FindFiles(const std::filesystem::path& folder,
                                   const std::string& extension);

// Bytes available to the calling user on the file system that holds path.
std::optional<std::uint64_t> FreeBytes(const std::filesystem::path& path);
// Mount point of the file system that holds path: the "drive" shown in messages.
std::string MountPoint(const std::filesystem::path& path);

// True when the file exists and some process, this one included, holds it open: what an
// exclusive open would be refused for.
bool IsOpenByAnyProcess(const std::filesystem::path& path);

// ASCII lower case, as case-insensitive name comparisons need it: other bytes, UTF-8 ones
// included, stay as they are.
constexpr char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string AsciiLower(std::string text);
// True when a and b are equal but for ASCII letter case.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace platform::files
