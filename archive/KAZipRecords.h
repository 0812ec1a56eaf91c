// The fixed records of a ZIP archive as the writer lays them out, their little-endian bytes, and
// the small conversions an entry needs: MS-DOS time and date, CRC-32, stored names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <vector>

constexpr std::uint32_t kLocalFileSignature = 0x04034B50;
constexpr std::uint32_t kCentralFileSignature = 0x02014B50;
constexpr std::uint32_t kEndOfCentralDirSignature = 0x06054B50;
constexpr std::size_t kLocalFileSize = 30;
constexpr std::size_t kCentralFileSize = 46;
constexpr std::size_t kEndOfCentralDirSize = 22;

// Fields that the local header and the central record share, in the same order in both.
struct TZipFileInfo {
    std::uint16_t VersionNeededToExtract = 20;
    std::uint16_t GeneralPurposeBitFlag = 0;
    std::uint16_t CompressionMethod = 0;
    std::uint16_t LastModFileTime = 0;
    std::uint16_t LastModFileDate = 0;
    std::uint32_t Crc32 = 0;
    std::uint32_t CompressedSize = 0;
    std::uint32_t UncompressedSize = 0;
    std::uint16_t FilenameLength = 0;
    std::uint16_t ExtraFieldLength = 0;
};

// Local file header; the texts follow the fixed 30 bytes in the file.
struct TLocalFile {
    std::uint32_t LocalFileHeaderSignature = kLocalFileSignature;
    TZipFileInfo Info;
    std::string FileName;
    std::string ExtraField;
};

// Version made by: Unix, ZIP 2.0.
constexpr std::uint16_t kMadeByUnix = 3 << 8 | 20;

// Central directory file header; the texts follow the fixed 46 bytes in the file.
struct TCentralDirectoryFile {
    std::uint32_t CentralFileHeaderSignature = kCentralFileSignature;
    std::uint16_t VersionMadeBy = 20;
    TZipFileInfo Info;
    std::uint16_t FileCommentLength = 0;
    std::uint16_t DiskNumberStart = 0;
    std::uint16_t InternalFileAttributes = 0;
    std::uint32_t ExternalFileAttributes = 0;
    std::uint32_t RelativeOffsetOfLocalHeader = 0;
    std::string FileName;
    std::string ExtraField;
    std::string FileComment;
};

struct TEndOfCentralDir {
    std::uint32_t EndOfCentralDirSignature = kEndOfCentralDirSignature;
    std::uint16_t NumberOfThisDisk = 0;
    std::uint16_t NumberOfTheDiskWithTheStart = 0;
    std::uint16_t TotalNumberOfEntriesOnThisDisk = 0;
    std::uint16_t TotalNumberOfEntries = 0;
    std::uint32_t SizeOfTheCentralDirectory = 0;
    std::uint32_t OffsetOfStartOfCentralDirectory = 0;
    std::uint16_t ZipfileCommentLength = 0;
};

// Fixed fields followed by the texts, as they go into the file.
std::vector<std::byte> ToBytes(const TLocalFile& record);
std::vector<std::byte> ToBytes(const TCentralDirectoryFile& record);
std::vector<std::byte> ToBytes(const TEndOfCentralDir& record);
// Fixed fields only (the texts stay empty); fixed.size() must be the record's fixed size.
TLocalFile LocalFileFrom(std::span<const std::byte, kLocalFileSize> fixed);
TCentralDirectoryFile CentralFileFrom(std::span<const std::byte, kCentralFileSize> fixed);
TEndOfCentralDir EndOfCentralDirFrom(std::span<const std::byte, kEndOfCentralDirSize> fixed);

// MS-DOS time and date words of a moment, in local time; both 0 outside the years 1980 to 2107.
struct DosTimeDate {
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};
DosTimeDate ToDosTimeDate(std::time_t moment);
// The moment the words stand for in local time; -1 when they name no valid day.
std::time_t FromDosTimeDate(DosTimeDate stamp);

// CRC-32 as ZIP uses it: reflected polynomial 0xEDB88320, 0 for no data.
std::uint32_t Crc32(std::span<const std::byte> data);

// The name an entry is stored under: every "\" becomes "/", a drive ("x:/"), a server and share
// ("//server/share/") or the root "/" in front are dropped.
std::string ConvertToZipName(std::string name);
// The file name part of a path: what follows the last "/". A "\" is part of a file name here.
std::string BareFileName(const std::string& path);
// The name a file at path is stored under: its relative path as ConvertToZipName makes it, or
// its bare file name, kept whole with any "\" in it.
std::string StoredName(const std::string& path, bool relative);
// Names compared without regard to letter case: ASCII and the Latin-1 letters in UTF-8.
bool SameNameIgnoringCase(const std::string& a, const std::string& b);
