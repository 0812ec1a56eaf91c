#include "archive/KAZipRecords.h"

#include <zlib.h>

#include <algorithm>

#include "platform/files/files.h"

namespace {

class Writer {
public:
    explicit Writer(std::size_t reserve) { bytes_.reserve(reserve); }
    Writer& U16(std::uint16_t v) {
        Put(v, 2);
        return *this;
    }
    Writer& U32(std::uint32_t v) {
        Put(v, 4);
        return *this;
    }
    Writer& Info(const TZipFileInfo& i) {
        U16(i.VersionNeededToExtract).U16(i.GeneralPurposeBitFlag).U16(i.CompressionMethod);
        U16(i.LastModFileTime).U16(i.LastModFileDate).U32(i.Crc32).U32(i.CompressedSize);
        return U32(i.UncompressedSize).U16(i.FilenameLength).U16(i.ExtraFieldLength);
    }
    Writer& Text(const std::string& text) {
        for (char c : text) bytes_.push_back(static_cast<std::byte>(c));
        return *this;
    }
    std::vector<std::byte> Take() { return std::move(bytes_); }

private:
    void Put(std::uint32_t v, int size) {
        for (int i = 0; i < size; ++i) bytes_.push_back(static_cast<std::byte>(v >> (8 * i)));
    }
    std::vector<std::byte> bytes_;
};

class Reader {
public:
    explicit Reader(std::span<const std::byte> bytes) : bytes_(bytes) {}
    std::uint16_t U16() { return static_cast<std::uint16_t>(Get(2)); }
    std::uint32_t U32() { return Get(4); }
    TZipFileInfo Info() {
        TZipFileInfo i;
        i.VersionNeededToExtract = U16();
        i.GeneralPurposeBitFlag = U16();
        i.CompressionMethod = U16();
        i.LastModFileTime = U16();
        i.LastModFileDate = U16();
        i.Crc32 = U32();
        i.CompressedSize = U32();
        i.UncompressedSize = U32();
        i.FilenameLength = U16();
        i.ExtraFieldLength = U16();
        return i;
    }

private:
    std::uint32_t Get(int size) {
        std::uint32_t v = 0;
        for (int i = 0; i < size; ++i)
            v |= std::to_integer<std::uint32_t>(bytes_[pos_ + i]) << (8 * i);
        pos_ += size;
        return v;
    }
    std::span<const std::byte> bytes_;
    std::size_t pos_ = 0;
};

// Removes everything up to and including the first occurrence of mark; false when absent.
bool DropThrough(std::string& name, const std::string& mark) {
    const auto at = name.find(mark);
    if (at == std::string::npos) return false;
    name.erase(0, at + mark.size());
    return true;
}

}  // namespace

std::vector<std::byte> ToBytes(const TLocalFile& r) {
    Writer w(kLocalFileSize + r.FileName.size() + r.ExtraField.size());
    w.U32(r.LocalFileHeaderSignature).Info(r.Info).Text(r.FileName).Text(r.ExtraField);
    return w.Take();
}

std::vector<std::byte> ToBytes(const TCentralDirectoryFile& r) {
    Writer w(kCentralFileSize + r.FileName.size() + r.ExtraField.size() + r.FileComment.size());
    w.U32(r.CentralFileHeaderSignature).U16(r.VersionMadeBy).Info(r.Info);
    w.U16(r.FileCommentLength).U16(r.DiskNumberStart).U16(r.InternalFileAttributes);
    w.U32(r.ExternalFileAttributes).U32(r.RelativeOffsetOfLocalHeader);
    w.Text(r.FileName).Text(r.ExtraField).Text(r.FileComment);
    return w.Take();
}

std::vector<std::byte> ToBytes(const TEndOfCentralDir& r) {
    Writer w(kEndOfCentralDirSize);
    w.U32(r.EndOfCentralDirSignature).U16(r.NumberOfThisDisk).U16(r.NumberOfTheDiskWithTheStart);
    w.U16(r.TotalNumberOfEntriesOnThisDisk).U16(r.TotalNumberOfEntries);
    w.U32(r.SizeOfTheCentralDirectory).U32(r.OffsetOfStartOfCentralDirectory);
    w.U16(r.ZipfileCommentLength);
    return w.Take();
}

TLocalFile LocalFileFrom(std::span<const std::byte, kLocalFileSize> fixed) {
    Reader r(fixed);
    TLocalFile l;
    l.LocalFileHeaderSignature = r.U32();
    l.Info = r.Info();
    return l;
}

TCentralDirectoryFile CentralFileFrom(std::span<const std::byte, kCentralFileSize> fixed) {
    Reader r(fixed);
    TCentralDirectoryFile c;
    c.CentralFileHeaderSignature = r.U32();
    c.VersionMadeBy = r.U16();
    c.Info = r.Info();
    c.FileCommentLength = r.U16();
    c.DiskNumberStart = r.U16();
    c.InternalFileAttributes = r.U16();
    c.ExternalFileAttributes = r.U32();
    c.RelativeOffsetOfLocalHeader = r.U32();
    return c;
}

TEndOfCentralDir EndOfCentralDirFrom(std::span<const std::byte, kEndOfCentralDirSize> fixed) {
    Reader r(fixed);
    TEndOfCentralDir e;
    e.EndOfCentralDirSignature = r.U32();
    e.NumberOfThisDisk = r.U16();
    e.NumberOfTheDiskWithTheStart = r.U16();
    e.TotalNumberOfEntriesOnThisDisk = r.U16();
    e.TotalNumberOfEntries = r.U16();
    e.SizeOfTheCentralDirectory = r.U32();
    e.OffsetOfStartOfCentralDirectory = r.U32();
    e.ZipfileCommentLength = r.U16();
    return e;
}

DosTimeDate ToDosTimeDate(std::time_t moment) {
    std::tm local{};
    if (!::localtime_r(&moment, &local)) return {};
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) return {};
    return {
        static_cast<std::uint16_t>(local.tm_hour * 2048 + local.tm_min * 32 + local.tm_sec / 2),
        static_cast<std::uint16_t>((year - 1980) * 512 + (local.tm_mon + 1) * 32 + local.tm_mday)};
}

std::time_t FromDosTimeDate(DosTimeDate stamp) {
    std::tm local{};
    local.tm_year = (stamp.date >> 9) + 80;
    local.tm_mon = ((stamp.date >> 5) & 15) - 1;
    local.tm_mday = stamp.date & 31;
    local.tm_hour = stamp.time >> 11;
    local.tm_min = (stamp.time >> 5) & 63;
    local.tm_sec = (stamp.time & 31) * 2;
    local.tm_isdst = -1;
    if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday == 0) return -1;
    return std::mktime(&local);
}

std::uint32_t Crc32(std::span<const std::byte> data) {
    // zlib's crc32 is the same table-driven CRC, taken in pieces its 32-bit length can hold.
    uLong crc = ::crc32(0L, Z_NULL, 0);
    while (!data.empty()) {
        const std::size_t step = std::min<std::size_t>(data.size(), 1u << 30);
        crc = ::crc32(crc, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(step));
        data = data.subspan(step);
    }
    return static_cast<std::uint32_t>(crc);
}

std::string ConvertToZipName(std::string name) {
    std::replace(name.begin(), name.end(), '\\', '/');
    DropThrough(name, ":/");
    if (DropThrough(name, "//")) {
        DropThrough(name, "/");
        DropThrough(name, "/");
    }
    // A path from the root stores relative to it, as a drive's path does.
    const auto first = name.find_first_not_of('/');
    name.erase(0, first == std::string::npos ? name.size() : first);
    return name;
}

std::string BareFileName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string StoredName(const std::string& path, bool relative) {
    return relative ? ConvertToZipName(path) : BareFileName(path);
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = platform::files::AsciiLower(a[i]);
        char y = platform::files::AsciiLower(b[i]);
        // Capital Latin-1 letters in UTF-8 are C3 80..9E (without the multiplication sign).
        if (i > 0 && static_cast<unsigned char>(a[i - 1]) == 0xC3 && a[i - 1] == b[i - 1]) {
            const auto upper = [](char c) {
                const auto u = static_cast<unsigned char>(c);
                return u >= 0x80 && u <= 0x9E && u != 0x97;
            };
            if (upper(x)) x = static_cast<char>(x + 0x20);
            if (upper(y)) y = static_cast<char>(y + 0x20);
        }
        if (x != y) return false;
    }
    return true;
}
