#include "platform/avifile/dib_format.h"

#include <cstring>
#include <limits>

#include "platform/vfw/dib_convert.h"

namespace platform::avifile {

namespace {

constexpr std::uint64_t kMaxFrameBytes = std::numeric_limits<std::int32_t>::max();

}  // namespace

std::optional<vfw::BITMAPINFOHEADER> PictureHeader(std::span<const std::byte> format) {
    vfw::BITMAPINFOHEADER header{};
    if (format.size() < sizeof header) return std::nullopt;
    std::memcpy(&header, format.data(), sizeof header);
    if (header.biSize < sizeof header || header.biSize > format.size() || header.biWidth <= 0 ||
        header.biHeight == 0 || header.biHeight == std::numeric_limits<std::int32_t>::min()) {
        return std::nullopt;
    }
    return header;
}

std::uint64_t FrameBytes(std::span<const std::byte> format) {
    const auto picture = PictureHeader(format);
    if (!picture) return 0;
    const vfw::BITMAPINFOHEADER& header = *picture;
    const std::uint64_t tableEntries =
        header.biClrUsed != 0 ? header.biClrUsed
                              : (header.biBitCount <= 8 ? 1ull << header.biBitCount : 0);
    if (tableEntries > 256 || header.biSize + 4 * tableEntries > format.size()) return 0;
    if (header.biCompression != vfw::BI_RGB) {
        return header.biSizeImage <= kMaxFrameBytes ? header.biSizeImage : 0;
    }
    const auto stride =
        static_cast<std::uint64_t>(vfw::DibStride(header.biWidth, header.biBitCount));
    const std::uint64_t rows = static_cast<std::uint64_t>(
        header.biHeight < 0 ? -static_cast<std::int64_t>(header.biHeight) : header.biHeight);
    const std::uint64_t size = stride * rows;
    return size <= kMaxFrameBytes ? size : 0;
}

}  // namespace platform::avifile
