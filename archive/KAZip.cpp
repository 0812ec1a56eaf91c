#include "archive/KAZip.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <limits>
#include <stdexcept>

#include "archive/KAZipDeflate.h"
#include "archive/ZipDirectory.h"
#include "platform/files/files.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kZipLimit = std::numeric_limits<std::uint32_t>::max();

int DeflateLevel(TZipCompressionType type) {
    switch (type) {
        case TZipCompressionType::ctMaximum:
            return 9;
        case TZipCompressionType::ctFast:
        case TZipCompressionType::ctSuperFast:
            return 1;
        case TZipCompressionType::ctNone:
            return 0;
        default:
            return Z_DEFAULT_COMPRESSION;
    }
}

// Compression type as the flags of a deflated entry tell it.
TZipCompressionType TypeFromFlags(std::uint16_t method, std::uint16_t flags) {
    if (method != 8 && method != 9) return TZipCompressionType::ctUnknown;
    switch (flags & 6) {
        case 0:
            return TZipCompressionType::ctNormal;
        case 2:
            return TZipCompressionType::ctMaximum;
        case 4:
            return TZipCompressionType::ctFast;
        default:
            return TZipCompressionType::ctSuperFast;
    }
}

void Derive(TKAZipEntriesEntry& entry) {
    const auto& info = entry.Central.Info;
    entry.DateTime = FromDosTimeDate({info.LastModFileTime, info.LastModFileDate});
    entry.Encrypted = (info.GeneralPurposeBitFlag & 1) != 0;
    entry.IsFolder =
        (entry.Central.ExternalFileAttributes & platform::files::FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.CompressionType = TypeFromFlags(info.CompressionMethod, info.GeneralPurposeBitFlag);
}

// Reads length bytes at offset as text; false when the file ends first.
std::vector<std::byte> ReadRest(std::istream& source) {
    const auto start = source.tellg();
    source.seekg(0, std::ios::end);
    const auto end = source.tellg();
    source.seekg(start);
    if (start < 0 || end < start || !source) RaiseSystemError(EIO);
    if (static_cast<std::uint64_t>(end - start) > kZipLimit) RaiseSystemError(EFBIG);
    std::vector<std::byte> data(static_cast<std::size_t>(end - start));
    source.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!source) RaiseSystemError(EIO);
    return data;
}

bool IsValidUtf8(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80                   ? 1
                                   : lead >= 0xC2 && lead < 0xE0 ? 2
                                   : lead >= 0xE0 && lead < 0xF0 ? 3
                                   : lead >= 0xF0 && lead < 0xF5 ? 4
                                                                 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

// Names are the file system's bytes, UTF-8 on this desktop. Bit 11 tells other readers so; an
// ASCII name reads the same either way and keeps the flag clear.
std::uint16_t NameFlags(const std::string& name) {
    const bool ascii = std::all_of(name.begin(), name.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    return ascii || !IsValidUtf8(name) ? 0 : 0x0800;
}

TKAZipEntriesEntry MakeEntry(const std::string& name, std::uint32_t attributes, std::uint32_t crc,
                             std::uint64_t size, std::uint64_t stored, std::time_t modified) {
    const DosTimeDate stamp = ToDosTimeDate(modified);
    TZipFileInfo info;
    info.GeneralPurposeBitFlag = NameFlags(name);
    info.CompressionMethod = size > 0 ? 8 : 0;
    info.LastModFileTime = stamp.time;
    info.LastModFileDate = stamp.date;
    info.Crc32 = crc;
    info.CompressedSize = static_cast<std::uint32_t>(stored);
    info.UncompressedSize = static_cast<std::uint32_t>(size);
    info.FilenameLength = static_cast<std::uint16_t>(name.size());
    TKAZipEntriesEntry entry;
    entry.Local.Info = info;
    entry.Local.FileName = name;
    entry.Central.Info = info;
    // Made on Unix: readers take a "\" in a name as a letter, not as a folder mark, and give
    // the file the mode in the upper half of the attributes.
    namespace files = platform::files;
    entry.Central.VersionMadeBy = kMadeByUnix;
    const std::uint32_t mode = (attributes & files::FILE_ATTRIBUTE_DIRECTORY) != 0  ? 040755
                               : (attributes & files::FILE_ATTRIBUTE_READONLY) != 0 ? 0100444
                                                                                    : 0100644;
    entry.Central.ExternalFileAttributes = mode << 16 | (attributes & 0xFFFF);
    entry.Central.FileName = name;
    return entry;
}

}  // namespace

void TKAZip::SetCompressionType(TZipCompressionType type) {
    compressionType_ =
        type == TZipCompressionType::ctUnknown ? TZipCompressionType::ctNormal : type;
}

void TKAZip::SetActive(bool active) {
    if (archiveName_.empty()) return;
    if (active) {
        OpenArchive(archiveName_);
    } else {
        CloseArchive();
    }
    active_ = active;
}

void TKAZip::CreateEmptyArchive(const fs::path& path) {
    TKAZipFile::Create(path).WriteAt(0, ToBytes(TEndOfCentralDir{}));
}

void TKAZip::OpenArchive(const fs::path& path) {
    CloseArchive();
    const auto attributes = platform::files::Attributes(path);
    if (!attributes) throw EKAZipError("File \"" + path.string() + "\" not found!");
    readOnly_ = (*attributes & platform::files::FILE_ATTRIBUTE_READONLY) != 0;
    file_ = TKAZipFile::Open(path,
                             readOnly_ ? TKAZipFile::Access::Read : TKAZipFile::Access::ReadWrite);
    isZipFile_ = ReadDirectory();
    if (!isZipFile_) CloseArchive();
    archiveName_ = path;
}

void TKAZip::CloseArchive() {
    entries_.clear();
    file_.reset();
    isZipFile_ = false;
    readOnly_ = false;
    comment_.clear();
    endOfCentralDir_ = {};
}

bool TKAZip::ReadDirectory() {
    entries_.clear();
    badEntries_ = false;
    std::optional<TZipDirectory> directory = ReadZipDirectory(*file_);
    if (!directory) return false;
    endOfCentralDir_ = directory->End;
    endOfCentralDirPosition_ = directory->EndPosition;
    comment_ = std::move(directory->Comment);
    for (TCentralDirectoryFile& central : directory->Entries) {
        TKAZipEntriesEntry entry;
        entry.Central = std::move(central);
        Derive(entry);
        entries_.push_back(std::move(entry));
    }
    CheckLocalHeaders();
    return true;
}

void TKAZip::CheckLocalHeaders() {
    for (auto& entry : entries_) {
        const std::uint64_t pos = entry.Central.RelativeOffsetOfLocalHeader;
        std::array<std::byte, kLocalFileSize> fixed;
        auto& l = entry.Local;
        const bool read = file_->ReadAt(pos, fixed);
        if (read) {
            l = LocalFileFrom(fixed);
            ReadText(*file_, pos + kLocalFileSize, l.Info.FilenameLength, l.FileName);
            ReadText(*file_, pos + kLocalFileSize + l.Info.FilenameLength, l.Info.ExtraFieldLength,
                     l.ExtraField);
        }
        if (!read || l.LocalFileHeaderSignature != kLocalFileSignature) badEntries_ = true;
    }
}

std::optional<std::size_t> TKAZip::FindEntry(const std::string& name) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (SameNameIgnoringCase(entries_[i].FileName(), name)) return i;
    }
    return std::nullopt;
}

TKAZipFile& TKAZip::OpenFile() {
    if (!file_) throw std::logic_error("TKAZip: no archive is open");
    return *file_;
}

const TKAZipEntriesEntry* TKAZip::AddFile(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return nullptr;
    const std::uint32_t attributes = platform::files::Attributes(path).value_or(0);
    const auto source = TKAZipFile::Open(path, TKAZipFile::Access::Read);
    const std::uint64_t size = source.Length();
    if (size > kZipLimit) RaiseSystemError(EFBIG);
    std::vector<std::byte> data(static_cast<std::size_t>(size));
    if (!source.ReadAt(0, data)) RaiseSystemError(EIO);
    return Append(path.string(), attributes, data, info.st_mtime);
}

const TKAZipEntriesEntry* TKAZip::AddStream(const std::string& name, std::uint32_t attributes,
                                            std::istream& source, std::time_t modified) {
    const std::vector<std::byte> data = ReadRest(source);
    return Append(name, attributes, data, modified);
}

const TKAZipEntriesEntry* TKAZip::Append(const std::string& name, std::uint32_t attributes,
                                         std::span<const std::byte> data, std::time_t modified) {
    TKAZipFile& file = OpenFile();
    const std::string stored = StoredName(name, StoreRelativePath);
    if (StoreFolders && StoreRelativePath) {
        for (auto slash = stored.find('/'); slash != std::string::npos && slash + 1 < stored.size();
             slash = stored.find('/', slash + 1)) {
            const std::string folder = stored.substr(0, slash + 1);
            if (!FindEntry(folder)) {
                Append(folder, platform::files::FILE_ATTRIBUTE_DIRECTORY, {}, std::time(nullptr));
            }
        }
    }
    if (const auto existing = FindEntry(stored)) Remove(*existing);

    const DeflatedData deflated =
        data.empty() ? DeflatedData{} : DeflateRaw(data, DeflateLevel(compressionType_));
    const std::uint64_t offset = endOfCentralDir_.OffsetOfStartOfCentralDirectory;
    // The directory's 32-bit offsets must reach past the new entry.
    if (offset + kLocalFileSize + stored.size() + deflated.size > kZipLimit)
        RaiseSystemError(EFBIG);
    TKAZipEntriesEntry entry =
        MakeEntry(stored, attributes, Crc32(data), data.size(), deflated.size, modified);
    entry.Central.RelativeOffsetOfLocalHeader = static_cast<std::uint32_t>(offset);

    // Reserving the final length first makes a lack of space show before anything is written:
    // the local header and the central record are added, each with the name.
    file.Extend(file.Length() + deflated.size + kLocalFileSize + kCentralFileSize +
                2 * stored.size());
    const auto header = ToBytes(entry.Local);
    file.WriteAt(offset, header);
    std::uint64_t pos = offset + header.size();
    for (const auto& piece : deflated.pieces) {
        file.WriteAt(pos, piece);
        pos += piece.size();
    }
    Derive(entry);
    entries_.push_back(std::move(entry));
    try {
        WriteCentralDirectory(pos);
    } catch (...) {
        entries_.pop_back();
        throw;
    }
    return &entries_.back();
}

void TKAZip::WriteCentralDirectory(std::uint64_t offset) {
    std::vector<std::byte> directory;
    for (const auto& entry : entries_) {
        const auto record = ToBytes(entry.Central);
        directory.insert(directory.end(), record.begin(), record.end());
    }
    TEndOfCentralDir end = endOfCentralDir_;
    end.TotalNumberOfEntriesOnThisDisk = static_cast<std::uint16_t>(entries_.size());
    end.TotalNumberOfEntries = end.TotalNumberOfEntriesOnThisDisk;
    end.SizeOfTheCentralDirectory = static_cast<std::uint32_t>(directory.size());
    end.OffsetOfStartOfCentralDirectory = static_cast<std::uint32_t>(offset);
    end.ZipfileCommentLength = static_cast<std::uint16_t>(comment_.size());
    const auto record = ToBytes(end);
    directory.insert(directory.end(), record.begin(), record.end());
    const auto comment = std::as_bytes(std::span(comment_));
    directory.insert(directory.end(), comment.begin(), comment.end());
    OpenFile().WriteAt(offset, directory);
    endOfCentralDir_ = end;
    endOfCentralDirPosition_ = offset + directory.size() - record.size() - comment.size();
}

void TKAZip::Remove(std::size_t index) {
    TKAZipFile& file = OpenFile();
    const std::uint64_t start = entries_.at(index).Central.RelativeOffsetOfLocalHeader;
    const std::uint64_t directory = endOfCentralDir_.OffsetOfStartOfCentralDirectory;
    // The entry's bytes reach up to the next local header, or to the central directory.
    std::uint64_t end = directory;
    for (const auto& other : entries_) {
        const std::uint64_t at = other.Central.RelativeOffsetOfLocalHeader;
        if (at > start && at < end) end = at;
    }
    std::vector<std::byte> buffer(std::min<std::uint64_t>(directory - end, 1 << 20));
    for (std::uint64_t from = end; from < directory; from += buffer.size()) {
        const auto chunk =
            std::span(buffer).first(std::min<std::uint64_t>(buffer.size(), directory - from));
        if (!file.ReadAt(from, chunk)) RaiseSystemError(EIO);
        file.WriteAt(from - (end - start), chunk);
    }
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    for (auto& entry : entries_) {
        auto& at = entry.Central.RelativeOffsetOfLocalHeader;
        if (at > start) at -= static_cast<std::uint32_t>(end - start);
    }
    WriteCentralDirectory(directory - (end - start));
    file.Truncate(endOfCentralDirPosition_ + kEndOfCentralDirSize + comment_.size());
}

bool PackIntoZipArchive(TKAZip& zip, const fs::path& archivePath, const fs::path& source) {
    bool added = false;
    try {
        zip.SetActive(true);
        zip.CreateEmptyArchive(archivePath);
        zip.OpenArchive(archivePath);
        added = zip.AddFile(source) != nullptr;
        zip.CloseArchive();
        zip.SetActive(false);
    } catch (...) {
        zip.CloseArchive();
        zip.SetArchiveName({});
        std::error_code ignored;
        if (fs::is_regular_file(fs::symlink_status(archivePath, ignored))) {
            fs::remove(archivePath, ignored);
        }
        throw;
    }
    zip.SetArchiveName({});
    return added;
}
