// The Windows multimedia basics that the screen, codec and AVI stand-ins share: four-character
// codes, the DIB row stride and the AVI index's key-frame flag. Needs neither Qt nor X11.
#pragma once

#include <cstdint>

namespace platform::multimedia {

using FOURCC = std::uint32_t;

// c0 in the lowest byte: mmioFOURCC('M', 'S', 'V', 'C') is 0x4356534D.
constexpr FOURCC mmioFOURCC(char c0, char c1, char c2, char c3) {
    return static_cast<FOURCC>(static_cast<std::uint8_t>(c0)) |
           static_cast<FOURCC>(static_cast<std::uint8_t>(c1)) << 8 |
           static_cast<FOURCC>(static_cast<std::uint8_t>(c2)) << 16 |
           static_cast<FOURCC>(static_cast<std::uint8_t>(c3)) << 24;
}

// The same from a four-letter literal: mmioFOURCC("RIFF").
constexpr FOURCC mmioFOURCC(const char (&text)[5]) {
    return mmioFOURCC(text[0], text[1], text[2], text[3]);
}

// Each of the four bytes with its ASCII letter in upper case, for comparisons that ignore case.
constexpr FOURCC UpperCaseFourCC(FOURCC code) {
    FOURCC result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        auto c = static_cast<std::uint8_t>(code >> shift);
        if (c >= 'a' && c <= 'z') c = static_cast<std::uint8_t>(c - 'a' + 'A');
        result |= static_cast<FOURCC>(c) << shift;
    }
    return result;
}

// Bytes per DIB row: ((width x bits + 31) / 32) x 4, in 64 bits; 0 for a width or depth of 0 or
// below.
constexpr std::int64_t DibStride(std::int64_t width, std::int64_t bitsPerPixel) {
    if (width <= 0 || bitsPerPixel <= 0) return 0;
    return (width * bitsPerPixel + 31) / 32 * 4;
}

// The AVI index flag of a key frame; codecs report it through ICCompress's lpdwFlags.
constexpr std::uint32_t AVIIF_KEYFRAME = 0x00000010;

}  // namespace platform::multimedia
