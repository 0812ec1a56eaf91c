#include "archive/ZipExtract.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <random>
#include <utility>

#include "archive/KAZipFile.h"
#include "archive/KAZipRecords.h"
#include "archive/RecordingName.h"
#include "archive/ZipDirectory.h"
#include "platform/files/files.h"

namespace fs = std::filesystem;
namespace files = platform::files;

namespace {

constexpr std::size_t kChunk = std::size_t{256} * 1024;

struct Entry {
    TCentralDirectoryFile central;
    bool wanted = false;
};

bool IsLink(const TCentralDirectoryFile& c) {
    constexpr int kUnix = 3;
    return (c.VersionMadeBy >> 8) == kUnix && S_ISLNK(c.ExternalFileAttributes >> 16);
}

std::vector<Entry> ReadEntries(const TKAZipFile& zip) {
    std::optional<TZipDirectory> directory = ReadZipDirectory(zip);
    if (!directory) return {};
    std::vector<Entry> entries;
    for (TCentralDirectoryFile& central : directory->Entries) {
        const bool wanted = archive::IsTopLevelRecording(central.FileName);
        entries.push_back({std::move(central), wanted});
    }
    return entries;
}

// Where the entry's data begins, from its local header; none when the header is not there.
std::optional<std::uint64_t> DataOffset(const TKAZipFile& zip, const TCentralDirectoryFile& c) {
    std::array<std::byte, kLocalFileSize> fixed;
    if (!zip.ReadAt(c.RelativeOffsetOfLocalHeader, fixed)) return std::nullopt;
    const TLocalFile local = LocalFileFrom(fixed);
    if (local.LocalFileHeaderSignature != kLocalFileSignature) return std::nullopt;
    return std::uint64_t{c.RelativeOffsetOfLocalHeader} + kLocalFileSize +
           local.Info.FilenameLength + local.Info.ExtraFieldLength;
}

// Copies or inflates the entry's data into out; true when it is complete and its size and
// CRC-32 are the ones the directory gives.
class EntryWriter {
public:
    EntryWriter(const TKAZipFile& zip, const TZipFileInfo& info, int out)
        : zip_(zip), info_(info), out_(out) {}

    bool Run(std::uint64_t offset) {
        if (info_.CompressionMethod == 0) {
            return Copy(offset) && written_ == info_.UncompressedSize && crc_ == info_.Crc32;
        }
        return Inflate(offset) && written_ == info_.UncompressedSize && crc_ == info_.Crc32;
    }

private:
    bool Emit(std::span<const std::byte> bytes) {
        written_ += bytes.size();
        if (written_ > info_.UncompressedSize) return false;
        crc_ = static_cast<std::uint32_t>(::crc32(
            crc_, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
        return files::WriteAll(out_, bytes.data(), bytes.size());
    }

    bool Copy(std::uint64_t offset) {
        std::vector<std::byte> buffer(kChunk);
        for (std::uint64_t done = 0; done < info_.CompressedSize;) {
            const auto piece = std::span(buffer).first(
                std::min<std::uint64_t>(kChunk, info_.CompressedSize - done));
            if (!zip_.ReadAt(offset + done, piece) || !Emit(piece)) return false;
            done += piece.size();
        }
        return true;
    }

    bool Inflate(std::uint64_t offset);

    const TKAZipFile& zip_;
    const TZipFileInfo& info_;
    int out_;
    std::uint64_t written_ = 0;
    std::uint32_t crc_ = 0;
};

bool EntryWriter::Inflate(std::uint64_t offset) {
    z_stream stream{};
    if (::inflateInit2(&stream, -15) != Z_OK) return false;
    std::vector<std::byte> in(kChunk), out(kChunk);
    std::uint64_t read = 0;
    int result = Z_OK;
    while (result == Z_OK) {
        if (stream.avail_in == 0) {
            const auto piece =
                std::span(in).first(std::min<std::uint64_t>(kChunk, info_.CompressedSize - read));
            if (piece.empty() || !zip_.ReadAt(offset + read, piece)) break;
            read += piece.size();
            stream.next_in = reinterpret_cast<Bytef*>(piece.data());
            stream.avail_in = static_cast<uInt>(piece.size());
        }
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        result = ::inflate(&stream, Z_NO_FLUSH);
        const std::size_t produced = out.size() - stream.avail_out;
        if ((result == Z_OK || result == Z_STREAM_END) && !Emit(std::span(out).first(produced))) {
            result = Z_DATA_ERROR;
        }
    }
    ::inflateEnd(&stream);
    return result == Z_STREAM_END;
}

// A new file in the folder that no one else can have opened: 0600, exclusive, never a link.
std::optional<std::pair<files::Descriptor, std::string>> CreateTemporary(int folder) {
    std::random_device seed;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = ".korvex-unpack-" + std::to_string(seed());
        const int fd = ::openat(folder, name.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0) return std::pair{files::Descriptor(fd), name};
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

bool ExtractEntry(const TKAZipFile& zip, const TCentralDirectoryFile& c, int folder) {
    if (IsLink(c) || (c.Info.GeneralPurposeBitFlag & 1) != 0) return false;
    if (c.Info.CompressionMethod != 0 && c.Info.CompressionMethod != 8) return false;
    const auto offset = DataOffset(zip, c);
    if (!offset) return false;
    auto temporary = CreateTemporary(folder);
    if (!temporary) return false;
    auto& [out, name] = *temporary;
    // The finished file replaces whatever has the entry's name; rename never follows a link.
    const bool done = EntryWriter(zip, c.Info, out.Get()).Run(*offset) && out.Close() &&
                      ::renameat(folder, name.c_str(), folder, c.FileName.c_str()) == 0;
    if (!done) ::unlinkat(folder, name.c_str(), 0);
    return done;
}

}  // namespace

bool RoomFor(const fs::path& folder, std::uint64_t size) {
    const std::optional<std::uint64_t> free = platform::files::FreeBytes(folder);
    return free && size < *free;
}

std::vector<ExtractedVideo> ExtractTopLevelVideos(const fs::path& zipPath, const fs::path& folder) {
    // The chosen archive may be reached through a link; only reading goes through it.
    std::error_code error;
    const fs::path real = fs::canonical(zipPath, error);
    std::optional<TKAZipFile> zip;
    try {
        if (!error) zip = TKAZipFile::Open(real, TKAZipFile::Access::Read);
    } catch (const EKAZipError&) {
    }
    if (!zip) return {};
    const files::Descriptor directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::vector<ExtractedVideo> videos;
    for (const auto& entry : ReadEntries(*zip)) {
        if (!entry.wanted) continue;
        // The declared size is checked before writing; the writer never goes past it.
        if (!RoomFor(folder, entry.central.Info.UncompressedSize)) {
            videos.push_back({folder / entry.central.FileName, false, true});
            continue;
        }
        const bool extracted =
            directory.Get() >= 0 && ExtractEntry(*zip, entry.central, directory.Get());
        videos.push_back({folder / entry.central.FileName, extracted});
    }
    return videos;
}
