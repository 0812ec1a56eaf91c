#include "platform/vfw/codec_formats.h"

#include <algorithm>
#include <cstdint>
#include <limits>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace platform::vfw {

namespace {

constexpr std::uint32_t kHeaderSize = sizeof(BITMAPINFOHEADER);

bool IsCompressionOf(const EncoderEntry& entry, FOURCC code) {
    const FOURCC upper = multimedia::UpperCaseFourCC(code);
    return upper == multimedia::UpperCaseFourCC(entry.compression) ||
           std::ranges::any_of(entry.aliases, [upper](FOURCC a) {
               return upper == multimedia::UpperCaseFourCC(a);
           });
}

std::uint32_t ColourCount(const BITMAPINFOHEADER& in) {
    if (in.biBitCount > 8) return 0;
    return in.biClrUsed != 0 ? in.biClrUsed : 1u << in.biBitCount;
}

}  // namespace

LRESULT QueryInput(const EncoderEntry& entry, const BITMAPINFOHEADER* in) {
    if (in == nullptr) return ICERR_BADFORMAT;
    // Longer headers (V4, V5) keep the colour table word-aligned behind them.
    if (in->biSize < kHeaderSize || in->biSize % 4 != 0) return ICERR_BADFORMAT;
    if (in->biCompression != BI_RGB || in->biPlanes != 1) return ICERR_BADFORMAT;
    const int depth = in->biBitCount;
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return ICERR_BADBITDEPTH;
    if (depth == 8 && in->biClrUsed > 256) return ICERR_BADFORMAT;

    // Top-down pictures (negative height) are refused: frames come bottom-up.
    const std::int32_t w = in->biWidth;
    const std::int32_t h = in->biHeight;
    if (w <= 0 || h <= 0) return ICERR_BADIMAGESIZE;
    if (w % entry.widthMultiple != 0 || h % entry.heightMultiple != 0) return ICERR_BADIMAGESIZE;
    if (w > entry.maxDimension || h > entry.maxDimension) return ICERR_BADIMAGESIZE;
    if (std::int64_t{w} * h > entry.maxPixels) return ICERR_BADIMAGESIZE;
    if (av_image_check_size(static_cast<unsigned>(w), static_cast<unsigned>(h), 0, nullptr) < 0) {
        return ICERR_BADIMAGESIZE;
    }
    const std::int64_t bytes = DibStride(w, depth) * h;
    if (bytes > std::numeric_limits<std::uint32_t>::max()) return ICERR_BADIMAGESIZE;
    // Compressed frames travel in buffers and AVI chunks of at most 2 GiB.
    if (entry.maxFrameBytes(w, h, depth) > std::numeric_limits<std::int32_t>::max()) {
        return ICERR_BADIMAGESIZE;
    }
    // A BI_RGB header may leave biSizeImage 0; a stated size must hold every row.
    if (in->biSizeImage != 0 && in->biSizeImage < bytes) return ICERR_BADFORMAT;
    return ICERR_OK;
}

LRESULT QueryOutput(const EncoderEntry& entry, const BITMAPINFOHEADER& in,
                    const BITMAPINFOHEADER& out) {
    if (out.biSize < kHeaderSize || !IsCompressionOf(entry, out.biCompression)) {
        return ICERR_BADFORMAT;
    }
    if (out.biBitCount != OutputBitCount(entry, in.biBitCount) || out.biPlanes != 1) {
        return ICERR_BADFORMAT;
    }
    if (out.biWidth != in.biWidth || out.biHeight != in.biHeight) return ICERR_BADFORMAT;
    return ICERR_OK;
}

BITMAPINFOHEADER CompressedFormat(const EncoderEntry& entry, const BITMAPINFOHEADER& in) {
    BITMAPINFOHEADER out{};
    out.biSize = kHeaderSize;
    out.biWidth = in.biWidth;
    out.biHeight = in.biHeight;
    out.biPlanes = 1;
    out.biBitCount = OutputBitCount(entry, in.biBitCount);
    out.biCompression = entry.compression;
    out.biSizeImage = static_cast<std::uint32_t>(MaxFrameBytes(entry, in));
    return out;
}

std::uint16_t OutputBitCount(const EncoderEntry& entry, std::int32_t inputBitCount) {
    if (entry.bitCount != 0) return entry.bitCount;
    // The encoder keeps the depth of the DIB, with 24-bit pixels widened to 32.
    return static_cast<std::uint16_t>(inputBitCount == 24 ? 32 : inputBitCount);
}

std::uint64_t MaxFrameBytes(const EncoderEntry& entry, const BITMAPINFOHEADER& in) {
    return entry.maxFrameBytes(in.biWidth, in.biHeight, in.biBitCount);
}

DibImage InputImage(const BITMAPINFOHEADER& in, const void* pixels) {
    DibImage image;
    image.width = in.biWidth;
    image.height = in.biHeight;
    image.bitCount = in.biBitCount;
    const auto bytes = static_cast<std::size_t>(DibStride(in.biWidth, in.biBitCount) * in.biHeight);
    image.pixels = {static_cast<const std::uint8_t*>(pixels), bytes};
    const auto* table = reinterpret_cast<const std::uint32_t*>(
        reinterpret_cast<const std::uint8_t*>(&in) + in.biSize);
    image.colours = {table, ColourCount(in)};
    return image;
}

}  // namespace platform::vfw
