// Files and folders as the program sees them: the TEMP folder, finding recordings by wildcard,
// attributes, free space, and whether another process holds a file open.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform::files {

constexpr std::uint32_t FILE_ATTRIBUTE_READONLY = 0x01;
constexpr std::uint32_t FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr std::uint32_t FILE_ATTRIBUTE_ARCHIVE = 0x20;

// The environment's "TEMP", else "TMPDIR", else "/tmp"; an empty variable counts as unset.
std::string TempFolder();

// Attribute bits of a path: 0x10 folder, 0x20 file, 0x01 read-only, 0x02 hidden (a name that
// starts with "."); none when nothing exists there.
std::optional<std::uint32_t> Attributes(const std::filesystem::path& path);

bool FileExists(const std::filesystem::path& path);
bool FolderExists(const std::filesystem::path& path);
// Creates the folder with all missing parents; true when it exists afterwards.
bool CreateFolders(const std::filesystem::path& path);
// Deletes a file (never a folder); true when it was deleted.
bool DeleteFile(const std::filesystem::path& path);
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

// ASCII lower case, as case-insensitive name comparisons need it.
std::string Lower(std::string text);

}  // namespace platform::files
