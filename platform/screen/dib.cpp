#include "platform/screen/dib.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace platform::screen {

namespace {

// One colour channel of a true-colour pixel: its 8-bit value is widen[(pixel >> shift) & bits].
struct Channel {
    int shift = 0;
    std::uint32_t bits = 0;
    std::array<std::uint8_t, 256> widen{};
};

// A mask must be one run of set bits. A channel wider than 8 bits keeps its top 8; a narrower one
// repeats its bits downwards, so that full scale stays full scale (5 bits 0x1f give 0xff).
bool MakeChannel(std::uint32_t mask, Channel& channel) {
    if (mask == 0) return false;
    const int low = std::countr_zero(mask);
    const std::uint32_t run = mask >> low;
    if ((run & (run + 1)) != 0) return false;
    const int width = std::popcount(mask);
    const int kept = std::min(width, 8);
    channel.shift = low + width - kept;
    channel.bits = (1u << kept) - 1;
    for (std::uint32_t v = 0; v <= channel.bits; ++v) {
        std::uint32_t out = 0;
        for (int pos = 8 - kept; pos > -kept; pos -= kept) out |= pos >= 0 ? v << pos : v >> -pos;
        channel.widen[v] = static_cast<std::uint8_t>(out);
    }
    return true;
}

struct Channels {
    Channel red, green, blue;

    std::uint32_t Bgrx(std::uint32_t pixel) const {
        return std::uint32_t{red.widen[(pixel >> red.shift) & red.bits]} << 16 |
               std::uint32_t{green.widen[(pixel >> green.shift) & green.bits]} << 8 |
               std::uint32_t{blue.widen[(pixel >> blue.shift) & blue.bits]};
    }
};

bool MakeChannels(const NativeImage& image, Channels& channels) {
    const std::uint64_t valid = (std::uint64_t{1} << image.bitsPerPixel) - 1;
    const std::uint32_t r = image.redMask, g = image.greenMask, b = image.blueMask;
    if ((r & g) != 0 || (r & b) != 0 || (g & b) != 0) return false;
    if (((r | g | b) & ~valid) != 0) return false;
    return MakeChannel(r, channels.red) && MakeChannel(g, channels.green) &&
           MakeChannel(b, channels.blue);
}

ColorTable TableOf(const Channels& channels) {
    ColorTable table{};
    for (std::uint32_t v = 0; v < table.size(); ++v) table[v] = channels.Bgrx(v);
    return table;
}

struct Conversion {
    Channels channels;
    ColorTable table{};
};

// Converts one row of width pixels. Chosen once per image, so the per-pixel work is inlined.
using RowConverter = void (*)(const std::uint8_t* src, std::uint8_t* dst, int width,
                              const Conversion& conversion);

template <int Bytes, bool MsbFirst>
std::uint32_t Load(const std::uint8_t* p) {
    std::uint32_t v = 0;
    if constexpr (MsbFirst) {
        for (int i = 0; i < Bytes; ++i) v = v << 8 | p[i];
    } else {
        for (int i = Bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    }
    return v;
}

// Writes a 0x00RRGGBB colour as one DIB pixel; 16 bits is RGB555, the BI_RGB meaning.
template <int Bytes>
void Store(std::uint8_t* d, std::uint32_t bgrx) {
    if constexpr (Bytes == 2) {
        const std::uint32_t v =
            ((bgrx >> 9) & 0x7c00u) | ((bgrx >> 6) & 0x03e0u) | ((bgrx >> 3) & 0x001fu);
        d[0] = static_cast<std::uint8_t>(v);
        d[1] = static_cast<std::uint8_t>(v >> 8);
    } else {
        d[0] = static_cast<std::uint8_t>(bgrx);
        d[1] = static_cast<std::uint8_t>(bgrx >> 8);
        d[2] = static_cast<std::uint8_t>(bgrx >> 16);
        if constexpr (Bytes == 4) d[3] = 0;
    }
}

template <int SrcBytes, bool MsbFirst, int DstBytes>
void MaskedRow(const std::uint8_t* src, std::uint8_t* dst, int width, const Conversion& c) {
    for (int x = 0; x < width; ++x, src += SrcBytes, dst += DstBytes)
        Store<DstBytes>(dst, c.channels.Bgrx(Load<SrcBytes, MsbFirst>(src)));
}

template <int DstBytes>
void IndexedRow(const std::uint8_t* src, std::uint8_t* dst, int width, const Conversion& c) {
    for (int x = 0; x < width; ++x, dst += DstBytes) Store<DstBytes>(dst, c.table[src[x]]);
}

template <int Bytes>
void CopyRow(const std::uint8_t* src, std::uint8_t* dst, int width, const Conversion&) {
    std::memcpy(dst, src, static_cast<std::size_t>(width) * Bytes);
}

// The fast paths below read host words directly, so they are only chosen on a little-endian host
// for a server that sends LSB first, where that is the byte order of both sides. Source (the
// server's image) and destination (a frame) never overlap; saying so lets the compiler work on
// many pixels at once.

void Bgrx32Row(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, int width,
               const Conversion&) {
    for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
        std::uint32_t v;
        std::memcpy(&v, src + 4 * x, 4);
        v &= 0x00ffffffu;
        std::memcpy(dst + 4 * x, &v, 4);
    }
}

void Rgb565Row(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, int width,
               const Conversion&) {
    for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
        std::uint16_t v;
        std::memcpy(&v, src + 2 * x, 2);
        v = static_cast<std::uint16_t>(((v >> 1) & 0x7fe0u) | (v & 0x001fu));
        std::memcpy(dst + 2 * x, &v, 2);
    }
}

void Rgb555Row(const std::uint8_t* __restrict src, std::uint8_t* __restrict dst, int width,
               const Conversion&) {
    for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
        std::uint16_t v;
        std::memcpy(&v, src + 2 * x, 2);
        v &= 0x7fffu;
        std::memcpy(dst + 2 * x, &v, 2);
    }
}

template <int SrcBytes, bool MsbFirst>
RowConverter MaskedFor(int dstBytes) {
    switch (dstBytes) {
        case 2:
            return &MaskedRow<SrcBytes, MsbFirst, 2>;
        case 3:
            return &MaskedRow<SrcBytes, MsbFirst, 3>;
        case 4:
            return &MaskedRow<SrcBytes, MsbFirst, 4>;
        default:
            return nullptr;
    }
}

template <int SrcBytes>
RowConverter MaskedFor(bool msbFirst, int dstBytes) {
    return msbFirst ? MaskedFor<SrcBytes, true>(dstBytes) : MaskedFor<SrcBytes, false>(dstBytes);
}

RowConverter IndexedFor(int dstBytes) {
    switch (dstBytes) {
        case 1:
            return &CopyRow<1>;
        case 2:
            return &IndexedRow<2>;
        case 3:
            return &IndexedRow<3>;
        case 4:
            return &IndexedRow<4>;
        default:
            return nullptr;
    }
}

bool HasMasks(const NativeImage& image, std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return image.redMask == r && image.greenMask == g && image.blueMask == b;
}

RowConverter TrueColorFor(const NativeImage& image, int dstBytes) {
    const int srcBytes = image.bitsPerPixel / 8;
    if (std::endian::native == std::endian::little && !image.msbFirst) {
        if (srcBytes == 4 && dstBytes == 4 && HasMasks(image, 0xff0000, 0x00ff00, 0x0000ff))
            return &Bgrx32Row;
        if (srcBytes == 3 && dstBytes == 3 && HasMasks(image, 0xff0000, 0x00ff00, 0x0000ff))
            return &CopyRow<3>;
        if (srcBytes == 2 && dstBytes == 2 && HasMasks(image, 0xf800, 0x07e0, 0x001f))
            return &Rgb565Row;
        if (srcBytes == 2 && dstBytes == 2 && HasMasks(image, 0x7c00, 0x03e0, 0x001f))
            return &Rgb555Row;
    }
    switch (srcBytes) {
        case 2:
            return MaskedFor<2>(image.msbFirst, dstBytes);
        case 3:
            return MaskedFor<3>(image.msbFirst, dstBytes);
        case 4:
            return MaskedFor<4>(image.msbFirst, dstBytes);
        default:
            return nullptr;
    }
}

// Picks the row converter and fills in what it needs; null when the formats do not convert.
RowConverter Choose(const NativeImage& image, int dstBytes,
                    std::span<const std::uint32_t> colorTable, Conversion& conversion) {
    if (image.bitsPerPixel == 8) {
        if (dstBytes == 1) return IndexedFor(dstBytes);
        if (IsIndexed(image)) {
            if (colorTable.size() < conversion.table.size()) return nullptr;
            std::copy_n(colorTable.begin(), conversion.table.size(), conversion.table.begin());
        } else {
            if (!MakeChannels(image, conversion.channels)) return nullptr;
            conversion.table = TableOf(conversion.channels);
        }
        return IndexedFor(dstBytes);
    }
    // Only 8-bit pixels index a table; writing true colour as indices would need a palette.
    if (IsIndexed(image) || dstBytes == 1) return nullptr;
    if (!MakeChannels(image, conversion.channels)) return nullptr;
    return TrueColorFor(image, dstBytes);
}

bool IsPixelSize(int bitsPerPixel) {
    return bitsPerPixel == 8 || bitsPerPixel == 16 || bitsPerPixel == 24 || bitsPerPixel == 32;
}

}  // namespace

ColorTable ColorTableFromMasks(const NativeImage& image) {
    Channels channels;
    if (image.bitsPerPixel != 8 || !MakeChannels(image, channels)) return ColorTable{};
    return TableOf(channels);
}

bool ConvertToDib(const NativeImage& image, int bitsPerPixel,
                  std::span<const std::uint32_t> colorTable, std::span<std::uint8_t> pixels) {
    if (image.width <= 0 || image.height <= 0 || image.data == nullptr) return false;
    if (!IsPixelSize(image.bitsPerPixel) || !IsPixelSize(bitsPerPixel)) return false;
    const auto width = static_cast<std::size_t>(image.width);
    const auto height = static_cast<std::size_t>(image.height);
    if (image.stride < width * static_cast<std::size_t>(image.bitsPerPixel / 8)) return false;
    const std::size_t dstStride = DibStride(image.width, bitsPerPixel);
    if (pixels.size() / dstStride < height) return false;

    Conversion conversion;
    const RowConverter row = Choose(image, bitsPerPixel / 8, colorTable, conversion);
    if (row == nullptr) return false;

    const std::size_t used = width * static_cast<std::size_t>(bitsPerPixel / 8);
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* dst = pixels.data() + (height - 1 - y) * dstStride;
        row(image.data + y * image.stride, dst, image.width, conversion);
        std::memset(dst + used, 0, dstStride - used);
    }
    return true;
}

}  // namespace platform::screen
