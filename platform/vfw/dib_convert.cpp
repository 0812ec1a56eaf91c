#include "platform/vfw/dib_convert.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace platform::vfw {

namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

constexpr std::uint16_t Rgb555(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
}

// 5-bit channel values widened to 8 bits by repeating their top bits (31 becomes 255).
constexpr std::array<std::uint8_t, 32> kWiden5 = [] {
    std::array<std::uint8_t, 32> widened{};
    for (std::uint32_t v = 0; v < 32; ++v) widened[v] = static_cast<std::uint8_t>(v << 3 | v >> 2);
    return widened;
}();

void Store16(std::uint8_t* out, std::uint16_t v) {
    out[0] = static_cast<std::uint8_t>(v);
    out[1] = static_cast<std::uint8_t>(v >> 8);
}

bool KnownDepth(int depth) {
    return depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

// Checks the buffers for a picture written at outBytesPerPixel, then hands each DIB row with
// its output row to convertRow, top row first.
template <typename RowFn>
bool ForEachRow(const DibImage& dib, std::span<std::uint8_t> out, std::ptrdiff_t outStride,
                int outBytesPerPixel, RowFn convertRow) {
    if (!KnownDepth(dib.bitCount) || dib.width <= 0 || dib.height <= 0) return false;
    const std::int64_t inStride = DibStride(dib.width, dib.bitCount);
    const std::int64_t outRow = std::int64_t{dib.width} * outBytesPerPixel;
    if (outStride < outRow) return false;
    if (static_cast<std::uint64_t>(inStride * dib.height) > dib.pixels.size()) return false;
    if (static_cast<std::uint64_t>(outStride * (dib.height - 1) + outRow) > out.size()) {
        return false;
    }
    for (std::int32_t y = 0; y < dib.height; ++y) {
        convertRow(dib.pixels.data() + (dib.height - 1 - y) * inStride, out.data() + y * outStride);
    }
    return true;
}

// The colour table, one entry per possible index; indices past its end are black.
std::array<Rgb, 256> ColourLookup(const DibImage& dib) {
    std::array<Rgb, 256> lookup{};
    const std::size_t n = std::min(lookup.size(), dib.colours.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t c = dib.colours[i];
        lookup[i] = {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                     static_cast<std::uint8_t>(c)};
    }
    return lookup;
}

// Hands store(x, pixel) every pixel of a DIB row of that depth, as 8-bit channels; 16-bit
// pixels come widened from 5 bits.
template <int Depth, typename StoreFn>
void EachPixelAt(const std::uint8_t* row, std::int32_t width, const std::array<Rgb, 256>& lookup,
                 StoreFn store) {
    for (std::int32_t x = 0; x < width; ++x) {
        if constexpr (Depth == 32) {
            store(x, Rgb{row[x * 4 + 2], row[x * 4 + 1], row[x * 4]});
        } else if constexpr (Depth == 24) {
            store(x, Rgb{row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
        } else if constexpr (Depth == 16) {
            const std::uint32_t v = row[x * 2] | row[x * 2 + 1] << 8;
            store(x, Rgb{kWiden5[v >> 10 & 31], kWiden5[v >> 5 & 31], kWiden5[v & 31]});
        } else {
            store(x, lookup[row[x]]);
        }
    }
}

// Hands store(x, pixel) every pixel of a DIB row; the depth is chosen once per row.
template <typename StoreFn>
void ForEachPixel(const std::uint8_t* row, const DibImage& dib, const std::array<Rgb, 256>& lookup,
                  StoreFn store) {
    switch (dib.bitCount) {
        case 32:
            EachPixelAt<32>(row, dib.width, lookup, store);
            break;
        case 24:
            EachPixelAt<24>(row, dib.width, lookup, store);
            break;
        case 16:
            EachPixelAt<16>(row, dib.width, lookup, store);
            break;
        default:
            EachPixelAt<8>(row, dib.width, lookup, store);
            break;
    }
}

// R, G, B from a 32-bit row; in and out never overlap, which lets the compiler vectorise.
void Bgrx32ToRgb24(const std::uint8_t* __restrict in, std::uint8_t* __restrict out,
                   std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x) {
        out[x * 3] = in[x * 4 + 2];
        out[x * 3 + 1] = in[x * 4 + 1];
        out[x * 3 + 2] = in[x * 4];
    }
}

// B, G, R, 0 from a 32-bit row, word by word: the mask keeps the first three bytes in memory.
void Bgrx32ToBgr0(const std::uint8_t* __restrict in, std::uint8_t* __restrict out,
                  std::int32_t width) {
    constexpr std::uint32_t kKeep =
        std::endian::native == std::endian::little ? 0x00FFFFFFu : 0xFFFFFF00u;
    for (std::int32_t x = 0; x < width; ++x) {
        std::uint32_t v;
        std::memcpy(&v, in + 4 * x, 4);
        v &= kKeep;
        std::memcpy(out + 4 * x, &v, 4);
    }
}

}  // namespace

DibImage DibRows(const DibImage& dib, RowSpan rows) {
    const auto stride = static_cast<std::size_t>(DibStride(dib.width, dib.bitCount));
    // Bottom-up: the span's lowest row comes first in memory.
    const auto first = static_cast<std::size_t>(dib.height - rows.bottom) * stride;
    const auto count = static_cast<std::size_t>(rows.bottom - rows.top);
    return {dib.width, rows.bottom - rows.top, dib.bitCount,
            dib.pixels.subspan(
                std::min(first, dib.pixels.size()),
                std::min(count * stride, dib.pixels.size() - std::min(first, dib.pixels.size()))),
            dib.colours};
}

bool DibToRgb555(const DibImage& dib, std::span<std::uint8_t> out, std::ptrdiff_t outStride) {
    const auto lookup = ColourLookup(dib);
    return ForEachRow(dib, out, outStride, 2, [&](const std::uint8_t* in, std::uint8_t* row) {
        ForEachPixel(in, dib, lookup,
                     [row](std::int32_t x, Rgb p) { Store16(row + x * 2, Rgb555(p.r, p.g, p.b)); });
    });
}

bool DibToRgb24(const DibImage& dib, std::span<std::uint8_t> out, std::ptrdiff_t outStride) {
    if (dib.bitCount == 32) {
        return ForEachRow(dib, out, outStride, 3, [&](const std::uint8_t* in, std::uint8_t* row) {
            Bgrx32ToRgb24(in, row, dib.width);
        });
    }
    const auto lookup = ColourLookup(dib);
    return ForEachRow(dib, out, outStride, 3, [&](const std::uint8_t* in, std::uint8_t* row) {
        ForEachPixel(in, dib, lookup, [row](std::int32_t x, Rgb p) {
            row[x * 3] = p.r;
            row[x * 3 + 1] = p.g;
            row[x * 3 + 2] = p.b;
        });
    });
}

bool DibToBgr0(const DibImage& dib, std::span<std::uint8_t> out, std::ptrdiff_t outStride) {
    if (dib.bitCount != 24 && dib.bitCount != 32) return false;
    if (dib.bitCount == 32) {
        return ForEachRow(dib, out, outStride, 4, [&](const std::uint8_t* in, std::uint8_t* row) {
            Bgrx32ToBgr0(in, row, dib.width);
        });
    }
    const int inBytes = dib.bitCount / 8;
    return ForEachRow(dib, out, outStride, 4, [&](const std::uint8_t* in, std::uint8_t* row) {
        for (std::int32_t x = 0; x < dib.width; ++x, in += inBytes, row += 4) {
            row[0] = in[0];
            row[1] = in[1];
            row[2] = in[2];
            row[3] = 0;
        }
    });
}

void DibPalette(const DibImage& dib, std::span<std::uint32_t, 256> palette) {
    const auto lookup = ColourLookup(dib);
    for (std::size_t i = 0; i < palette.size(); ++i) {
        palette[i] = 0xFF000000u | std::uint32_t{lookup[i].r} << 16 |
                     std::uint32_t{lookup[i].g} << 8 | lookup[i].b;
    }
}

bool DibToPal8(const DibImage& dib, std::span<std::uint8_t> out, std::ptrdiff_t outStride,
               std::span<std::uint32_t, 256> palette) {
    if (dib.bitCount != 8) return false;
    const bool converted =
        ForEachRow(dib, out, outStride, 1, [&](const std::uint8_t* in, std::uint8_t* row) {
            std::memcpy(row, in, static_cast<std::size_t>(dib.width));
        });
    if (!converted) return false;
    DibPalette(dib, palette);
    return true;
}

}  // namespace platform::vfw
