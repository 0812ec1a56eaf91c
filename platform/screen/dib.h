// Conversion of the X server's image formats into DIB rows. Plain data in, plain data out: no X
// and no Qt here, so the conversions run and are tested without a display. Every function may be
// called from any thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/multimedia/multimedia.h"

namespace platform::screen {

// A captured rectangle in the server's own pixel format (the "device-dependent bitmap"), rows
// top-down. The pixels are borrowed: whoever made the image says how long they stay valid.
struct NativeImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;    // of the server's pixmap format: 32, 24, 16 or 8
    std::size_t stride = 0;  // bytes per row
    const std::uint8_t* data = nullptr;
    // Channel masks of a true-colour visual. All zero for a colormapped visual, whose 8-bit
    // pixels index a colour table.
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;
    bool msbFirst = false;  // the server's image byte order
};

// A DIB colour table: entries 0x00RRGGBB, that is the bytes B, G, R, 0 in memory.
using ColorTable = std::array<std::uint32_t, 256>;

using multimedia::DibStride;

// True when the image's pixels index a colour table rather than carry their colour.
constexpr bool IsIndexed(const NativeImage& image) {
    return image.redMask == 0 && image.greenMask == 0 && image.blueMask == 0;
}

// The colour of every pixel value of an 8-bit true-colour image (3-3-2 and the like), so that it
// can be written as indices with a table. All zero when the masks are not usable.
ColorTable ColorTableFromMasks(const NativeImage& image);

// Writes the image as DIB rows (bottom-up, DIB stride, padding bytes zero) at bitsPerPixel 32
// (BGRX, X = 0), 24 (BGR), 16 (RGB555) or 8 (the image's own 8-bit pixels as indices). An indexed
// image takes its colours from colorTable (256 entries) when written at 16 to 32 bits. False, with
// pixels untouched, when the formats cannot be converted or pixels is too small.
bool ConvertToDib(const NativeImage& image, int bitsPerPixel,
                  std::span<const std::uint32_t> colorTable, std::span<std::uint8_t> pixels);

}  // namespace platform::screen
