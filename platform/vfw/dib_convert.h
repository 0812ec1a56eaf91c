// Geometry of packed DIB pixel rows and their conversion into the packed pixel layouts the
// encoders take. Plain data in, plain data out: no Qt, no X11, no libav. Safe on any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/multimedia/multimedia.h"
#include "platform/vfw/vfw.h"

namespace platform::vfw {

using multimedia::DibStride;

// An uncompressed (BI_RGB) bottom-up DIB: 32 bits BGRX, 24 bits BGR, 16 bits RGB555 in
// little-endian words (bit 15 unused), 8 bits indices into a BGRX colour table.
struct DibImage {
    std::int32_t width = 0;
    std::int32_t height = 0;  // positive; the first row in memory is the bottom of the picture
    std::int32_t bitCount = 0;
    std::span<const std::uint8_t> pixels;    // height rows of DibStride(width, bitCount) bytes
    std::span<const std::uint32_t> colours;  // the colour table, used at 8 bits only
};

// The rows of the picture in `rows` (counted from its top, inside the picture) as a picture of
// their own.
DibImage DibRows(const DibImage& dib, RowSpan rows);

// Each conversion writes the picture top row first, outStride bytes from one row to the next,
// and leaves the bytes past a row alone. An 8-bit index past the colour table gives black.
// False, with nothing written, for a depth other than 8/16/24/32, a conversion the function
// does not offer, or buffers too small for the picture.

// Little-endian RGB555 words (bit 15 clear); channels are truncated to 5 bits.
bool DibToRgb555(const DibImage& dib, std::span<std::uint8_t> out, std::ptrdiff_t outStride);

// R, G, B bytes; 5-bit channels are widened by repeating their top bits (31 becomes 255).
bool DibToRgb24(const DibImage& dib, std::span<std::uint8_t> out, std::ptrdiff_t outStride);

// B, G, R, 0 bytes from a 24- or 32-bit DIB (the unused fourth byte is cleared).
bool DibToBgr0(const DibImage& dib, std::span<std::uint8_t> out, std::ptrdiff_t outStride);

// The colour table as 256 words 0xFFRRGGBB (libavcodec's palette layout), black past its end.
void DibPalette(const DibImage& dib, std::span<std::uint32_t, 256> palette);

// The indices of an 8-bit DIB, and its DibPalette.
bool DibToPal8(const DibImage& dib, std::span<std::uint8_t> out, std::ptrdiff_t outStride,
               std::span<std::uint32_t, 256> palette);

}  // namespace platform::vfw
