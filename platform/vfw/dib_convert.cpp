#include "platform/vfw/dib_convert.h"

#include <array>

namespace platform::vfw {

namespace {

constexpr std::uint16_t Rgb555(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return static_cast<std::uint16_t>((r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
}

void Store(std::uint8_t* out, std::uint16_t v) {
    out[0] = static_cast<std::uint8_t>(v);
    out[1] = static_cast<std::uint8_t>(v >> 8);
}

// One row each: `in` is a DIB row, `out` a row of RGB555 words.
void RowFrom32(const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x, in += 4, out += 2) {
        Store(out, Rgb555(in[2], in[1], in[0]));
    }
}

void RowFrom24(const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x, in += 3, out += 2) {
        Store(out, Rgb555(in[2], in[1], in[0]));
    }
}

void RowFrom16(const std::uint8_t* in, std::uint8_t* out, std::int32_t width) {
    for (std::int32_t x = 0; x < width; ++x, in += 2, out += 2) {
        out[0] = in[0];
        out[1] = in[1] & 0x7F;
    }
}

void RowFrom8(const std::uint8_t* in, std::uint8_t* out, std::int32_t width,
              const std::array<std::uint16_t, 256>& lookup) {
    for (std::int32_t x = 0; x < width; ++x, out += 2) Store(out, lookup[in[x]]);
}

}  // namespace

std::int64_t DibStride(std::int32_t width, std::int32_t bitCount) {
    if (width <= 0 || bitCount <= 0) return 0;
    return (static_cast<std::int64_t>(width) * bitCount + 31) / 32 * 4;
}

bool DibToRgb555(const DibImage& dib, std::span<std::uint8_t> out, std::ptrdiff_t outStride) {
    const int depth = dib.bitCount;
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return false;
    if (dib.width <= 0 || dib.height <= 0) return false;
    const std::int64_t inStride = DibStride(dib.width, depth);
    const std::int64_t outRow = std::int64_t{dib.width} * 2;
    if (outStride < outRow) return false;
    if (static_cast<std::uint64_t>(inStride * dib.height) > dib.pixels.size()) return false;
    if (static_cast<std::uint64_t>(outStride * (dib.height - 1) + outRow) > out.size()) {
        return false;
    }

    // The table is converted once per picture, so each 8-bit pixel costs one lookup.
    std::array<std::uint16_t, 256> lookup{};
    if (depth == 8) {
        for (std::size_t i = 0; i < lookup.size() && i < dib.colours.size(); ++i) {
            const std::uint32_t c = dib.colours[i];
            lookup[i] = Rgb555(c >> 16 & 0xFF, c >> 8 & 0xFF, c & 0xFF);
        }
    }

    for (std::int32_t y = 0; y < dib.height; ++y) {
        const std::uint8_t* in = dib.pixels.data() + (dib.height - 1 - y) * inStride;
        std::uint8_t* row = out.data() + y * outStride;
        switch (depth) {
            case 32:
                RowFrom32(in, row, dib.width);
                break;
            case 24:
                RowFrom24(in, row, dib.width);
                break;
            case 16:
                RowFrom16(in, row, dib.width);
                break;
            default:
                RowFrom8(in, row, dib.width, lookup);
                break;
        }
    }
    return true;
}

}  // namespace platform::vfw
