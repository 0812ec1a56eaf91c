// TKAZip, the ZIP component: creates an archive, reads its directory and appends entries in
// place, each deflated through zlib. Main thread only; one operation at a time. Failures are
// raised as EKAZipError carrying the text for the user.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <istream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "archive/KAZipFile.h"
#include "archive/KAZipRecords.h"

enum class TZipCompressionType { ctNormal, ctMaximum, ctFast, ctSuperFast, ctNone, ctUnknown };

// One entry: its central and local records and what was derived from them.
struct TKAZipEntriesEntry {
    TCentralDirectoryFile Central;
    TLocalFile Local;
    std::time_t DateTime = -1;  // the MS-DOS stamp in local time; -1 when it names no day
    bool Encrypted = false;
    bool IsFolder = false;
    TZipCompressionType CompressionType = TZipCompressionType::ctUnknown;

    const std::string& FileName() const { return Central.FileName; }
};

class TKAZip {
public:
    TKAZip() = default;
    TKAZip(const TKAZip&) = delete;
    TKAZip& operator=(const TKAZip&) = delete;

    // Settings.
    bool StoreRelativePath = true;
    bool StoreFolders = true;
    TZipCompressionType CompressionType() const { return compressionType_; }
    // ctUnknown stores ctNormal.
    void SetCompressionType(TZipCompressionType type);
    static constexpr const char* ComponentVersion = "2.0";

    // The archive that Active opens; it survives CloseArchive.
    const std::filesystem::path& ArchiveName() const { return archiveName_; }
    void SetArchiveName(std::filesystem::path name) { archiveName_ = std::move(name); }

    // With no archive name nothing happens; true opens the named archive, false closes it.
    bool Active() const { return active_; }
    void SetActive(bool active);

    // State set by opening.
    bool ReadOnly() const { return readOnly_; }
    bool IsZipFile() const { return isZipFile_; }
    bool HasBadEntries() const { return badEntries_; }
    const std::vector<TKAZipEntriesEntry>& Entries() const { return entries_; }
    const std::string& Comment() const { return comment_; }

    // Writes a new empty archive at path, replacing a file there; the component's state is
    // left alone.
    void CreateEmptyArchive(const std::filesystem::path& path);
    // Closes any open archive, opens path and reads its directory; the archive name becomes
    // path. A file that is no ZIP archive leaves the component closed with IsZipFile() false.
    void OpenArchive(const std::filesystem::path& path);
    // Adds the file at path as a new entry stored under the converted path (the bare file name
    // unless StoreRelativePath); none when no file is there. An entry of the same name in other
    // letter case is replaced.
    const TKAZipEntriesEntry* AddFile(const std::filesystem::path& path);
    // Adds the rest of source, from its position to its end, as entry name.
    const TKAZipEntriesEntry* AddStream(const std::string& name, std::uint32_t attributes,
                                        std::istream& source, std::time_t modified);
    // Rewrites the archive without the entry at index.
    void Remove(std::size_t index);
    // Forgets the entries and releases the file.
    void CloseArchive();

private:
    bool ReadDirectory();
    void CheckLocalHeaders();
    std::optional<std::size_t> FindEntry(const std::string& name) const;
    const TKAZipEntriesEntry* Append(const std::string& name, std::uint32_t attributes,
                                     std::span<const std::byte> data, std::time_t modified);
    void WriteCentralDirectory(std::uint64_t offset);
    TKAZipFile& OpenFile();

    TZipCompressionType compressionType_ = TZipCompressionType::ctMaximum;
    std::filesystem::path archiveName_;
    bool active_ = false;
    bool readOnly_ = false;
    bool isZipFile_ = false;
    bool badEntries_ = false;
    std::optional<TKAZipFile> file_;
    TEndOfCentralDir endOfCentralDir_;
    std::uint64_t endOfCentralDirPosition_ = 0;
    std::string comment_;
    std::vector<TKAZipEntriesEntry> entries_;
};

// Packs the file at source into a new archive at archivePath, as the main window does:
// create, open, add, close. The archive name is cleared afterwards in every case. When any
// step fails, the archive is removed before the error is passed on, so no incomplete archive
// is left behind. Returns false, with an empty archive written, when source does not exist.
bool PackIntoZipArchive(TKAZip& zip, const std::filesystem::path& archivePath,
                        const std::filesystem::path& source);
