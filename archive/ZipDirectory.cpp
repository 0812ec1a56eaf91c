#include "archive/ZipDirectory.h"

#include <algorithm>
#include <array>
#include <span>

namespace {

// The end record is searched for in ever larger windows before the last place it fits: first
// 256 bytes, then 1 KiB, then 64 KiB, the longest comment a ZIP file can carry. Each larger
// window starts where the one before it ended.
constexpr std::int64_t kFirstWindow = 256;
constexpr std::int64_t kSecondWindow = 1024;
constexpr std::int64_t kLastWindow = 65536;
constexpr auto kEndSize = static_cast<std::int64_t>(kEndOfCentralDirSize);
constexpr std::int64_t kSecondStart = kEndSize + kFirstWindow;     // 278 bytes before the end
constexpr std::int64_t kLastStart = kSecondStart + kSecondWindow;  // 1046 bytes before the end
// A signature byte that is followed by the wrong three is skipped with them.
constexpr std::int64_t kSignatureSize = 4;

std::optional<std::uint64_t> FindEndOfCentralDir(const TKAZipFile& file) {
    const auto length = static_cast<std::int64_t>(file.Length());
    if (length < kEndSize) return std::nullopt;
    std::int64_t window = std::min(kFirstWindow, length);
    std::int64_t pos = length - kEndSize;
    std::int64_t remaining = window;
    while (window <= length && pos >= 0) {
        std::byte head[kSignatureSize];
        if (!file.ReadAt(static_cast<std::uint64_t>(pos), head)) return std::nullopt;
        if (head[0] != std::byte{0x50}) {
            pos -= 1;
            remaining -= 1;
        } else if (head[1] == std::byte{0x4B} && head[2] == std::byte{0x05} &&
                   head[3] == std::byte{0x06}) {
            return static_cast<std::uint64_t>(pos);
        } else {
            pos -= kSignatureSize;
            remaining -= kSignatureSize;
        }
        if (remaining < 0) {
            if (window == kFirstWindow) {
                window = kSecondWindow;
                pos = length - kSecondStart;
            } else if (window == kSecondWindow) {
                window = kLastWindow;
                pos = length - kLastStart;
            } else {
                return std::nullopt;
            }
            remaining = window;
        }
    }
    return std::nullopt;
}

}  // namespace

bool ReadText(const TKAZipFile& file, std::uint64_t offset, std::size_t length, std::string& text) {
    text.assign(length, '\0');
    return file.ReadAt(offset, std::as_writable_bytes(std::span(text)));
}

std::optional<TZipDirectory> ReadZipDirectory(const TKAZipFile& file) {
    const std::optional<std::uint64_t> endPosition = FindEndOfCentralDir(file);
    if (!endPosition) return std::nullopt;
    TZipDirectory directory;
    directory.EndPosition = *endPosition;
    std::array<std::byte, kEndOfCentralDirSize> record;
    if (!file.ReadAt(*endPosition, record)) return std::nullopt;
    directory.End = EndOfCentralDirFrom(record);
    if (!ReadText(file, *endPosition + kEndOfCentralDirSize, directory.End.ZipfileCommentLength,
                  directory.Comment)) {
        directory.Comment.clear();
    }
    std::uint64_t pos = directory.End.OffsetOfStartOfCentralDirectory;
    for (int i = 0; i < directory.End.TotalNumberOfEntries; ++i) {
        std::array<std::byte, kCentralFileSize> fixed;
        if (!file.ReadAt(pos, fixed)) return std::nullopt;
        TCentralDirectoryFile c = CentralFileFrom(fixed);
        pos += kCentralFileSize;
        const auto& info = c.Info;
        if (!ReadText(file, pos, info.FilenameLength, c.FileName) ||
            !ReadText(file, pos + info.FilenameLength, info.ExtraFieldLength, c.ExtraField) ||
            !ReadText(file, pos + info.FilenameLength + info.ExtraFieldLength, c.FileCommentLength,
                      c.FileComment)) {
            return std::nullopt;
        }
        pos += info.FilenameLength + info.ExtraFieldLength + c.FileCommentLength;
        directory.Entries.push_back(std::move(c));
    }
    return directory;
}
