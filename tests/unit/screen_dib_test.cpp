#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/screen/dib.h"

namespace {

using platform::screen::ColorTable;
using platform::screen::ColorTableFromMasks;
using platform::screen::ConvertToDib;
using platform::screen::DibStride;
using platform::screen::NativeImage;
using Bytes = std::vector<std::uint8_t>;

struct Masks {
    std::uint32_t r = 0, g = 0, b = 0;
};
constexpr Masks kBgrx{0xff0000, 0x00ff00, 0x0000ff};
constexpr Masks kRgb565{0xf800, 0x07e0, 0x001f};
constexpr Masks kRgb555{0x7c00, 0x03e0, 0x001f};
constexpr Masks kIndexed{};

NativeImage Image(const Bytes& data, int width, int height, int bpp, std::size_t stride,
                  Masks masks, bool msbFirst = false) {
    return NativeImage{.width = width,
                       .height = height,
                       .bitsPerPixel = bpp,
                       .stride = stride,
                       .data = data.data(),
                       .redMask = masks.r,
                       .greenMask = masks.g,
                       .blueMask = masks.b,
                       .msbFirst = msbFirst};
}

// Converts into a buffer prefilled with 0xEE, so that untouched padding shows.
Bytes Convert(const NativeImage& image, int bpp, std::span<const std::uint32_t> table = {}) {
    Bytes out(DibStride(image.width, bpp) * static_cast<std::size_t>(image.height), 0xEE);
    EXPECT_TRUE(ConvertToDib(image, bpp, table, out));
    return out;
}

Bytes Words16(std::initializer_list<std::uint16_t> words, bool msbFirst = false) {
    Bytes out;
    for (auto w : words) {
        const auto lo = static_cast<std::uint8_t>(w), hi = static_cast<std::uint8_t>(w >> 8);
        out.push_back(msbFirst ? hi : lo);
        out.push_back(msbFirst ? lo : hi);
    }
    return out;
}

TEST(DibStride, RoundsRowsUpToFourBytes) {
    EXPECT_EQ(DibStride(1, 24), 4u);
    EXPECT_EQ(DibStride(13, 8), 16u);
    EXPECT_EQ(DibStride(3, 16), 8u);
    EXPECT_EQ(DibStride(320, 32), 1280u);
    EXPECT_EQ(DibStride(1'000'000'000, 32), 4'000'000'000u);
}

TEST(ConvertFrom32, WritesBgrxBottomUpWithXCleared) {
    // Two rows of two pixels, each row padded with four bytes of garbage.
    const Bytes src = {0x11, 0x22, 0x33, 0xAB, 0x44, 0x55, 0x66, 0xCD, 0xFF, 0xFF, 0xFF, 0xFF,
                       0x77, 0x88, 0x99, 0xEF, 0x01, 0x02, 0x03, 0x04, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(Convert(Image(src, 2, 2, 32, 12, kBgrx), 32),
              (Bytes{0x77, 0x88, 0x99, 0, 0x01, 0x02, 0x03, 0, 0x11, 0x22, 0x33, 0, 0x44, 0x55,
                     0x66, 0}));
}

TEST(ConvertFrom32, FollowsTheMasksAndByteOrder) {
    // Red in the low byte (a BGR visual).
    const Bytes bgr = {0x11, 0x22, 0x33, 0x00};
    EXPECT_EQ(Convert(Image(bgr, 1, 1, 32, 4, {0x0000ff, 0x00ff00, 0xff0000}), 32),
              (Bytes{0x33, 0x22, 0x11, 0}));
    // An MSB-first server sends 0x00RRGGBB as 00 RR GG BB.
    const Bytes msb = {0x00, 0x33, 0x22, 0x11};
    EXPECT_EQ(Convert(Image(msb, 1, 1, 32, 4, kBgrx, true), 32), (Bytes{0x11, 0x22, 0x33, 0}));
    // Depth 30: ten bits per channel keep their top eight. r 0x3ff, g 0x200, b 0x001.
    const Bytes deep = {0x01, 0x00, 0xF8, 0x3F};
    EXPECT_EQ(Convert(Image(deep, 1, 1, 32, 4, {0x3ff00000, 0x000ffc00, 0x000003ff}), 32),
              (Bytes{0x00, 0x80, 0xFF, 0}));
}

TEST(ConvertFrom32, NarrowsTo24And16WithPaddedRows) {
    const Bytes src = {0x11, 0x22, 0x33, 0x99, 0x08, 0x80, 0xFF, 0x99};
    // Width 1 at 24 bits still takes four bytes a row.
    EXPECT_EQ(Convert(Image(src, 1, 2, 32, 4, kBgrx), 24),
              (Bytes{0x08, 0x80, 0xFF, 0, 0x11, 0x22, 0x33, 0}));
    // In RGB555 r ff g 80 b 08 is 0x7e01, r 33 g 22 b 11 is 0x1882.
    EXPECT_EQ(Convert(Image(src, 1, 2, 32, 4, kBgrx), 16),
              (Bytes{0x01, 0x7E, 0, 0, 0x82, 0x18, 0, 0}));
}

TEST(ConvertFrom24, CopiesOrWidensPackedPixels) {
    const Bytes src = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xFF, 0xFF};
    EXPECT_EQ(Convert(Image(src, 2, 1, 24, 8, kBgrx), 24),
              (Bytes{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0, 0}));
    EXPECT_EQ(Convert(Image(src, 2, 1, 24, 8, kBgrx), 32),
              (Bytes{0x11, 0x22, 0x33, 0, 0x44, 0x55, 0x66, 0}));
    const Bytes msb = {0x33, 0x22, 0x11};
    EXPECT_EQ(Convert(Image(msb, 1, 1, 24, 4, kBgrx, true), 24), (Bytes{0x11, 0x22, 0x33, 0}));
}

TEST(ConvertFrom16, Rgb565BecomesRgb555) {
    const std::initializer_list<std::uint16_t> in = {0xffff, 0xf800, 0x07e0, 0x001f,
                                                     0x0020, 0x0040, 0x8410};
    const Bytes expected = {0xFF, 0x7F, 0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00,
                            0x00, 0x00, 0x20, 0x00, 0x10, 0x42, 0x00, 0x00};
    // The fast path (LSB first) and the general one (MSB first) must agree.
    const Bytes lsb = Words16(in), msb = Words16(in, true);
    EXPECT_EQ(Convert(Image(lsb, 7, 1, 16, 14, kRgb565), 16), expected);
    EXPECT_EQ(Convert(Image(msb, 7, 1, 16, 14, kRgb565, true), 16), expected);
}

TEST(ConvertFrom16, WidensFiveAndSixBitChannelsToFullScale) {
    const Bytes src = Words16({0xf800, 0x8410, 0x0821});
    EXPECT_EQ(Convert(Image(src, 3, 1, 16, 6, kRgb565), 32),
              (Bytes{0x00, 0x00, 0xFF, 0, 0x84, 0x82, 0x84, 0, 0x08, 0x04, 0x08, 0}));
    const Bytes src555 = Words16({0x7c00, 0x4210});
    EXPECT_EQ(Convert(Image(src555, 2, 1, 16, 4, kRgb555), 24),
              (Bytes{0x00, 0x00, 0xFF, 0x84, 0x84, 0x84, 0, 0}));
}

TEST(ConvertFrom16, Rgb555ClearsTheUnusedBit) {
    const Bytes src = Words16({0xffff, 0x1234});
    EXPECT_EQ(Convert(Image(src, 2, 1, 16, 4, kRgb555), 16), (Bytes{0xFF, 0x7F, 0x34, 0x12}));
}

TEST(ConvertFrom8, CopiesIndicesBottomUpWithPaddedRows) {
    // Width 13: DIB rows of 16 bytes. The source rows carry garbage in their padding.
    Bytes src(32, 0xEE);
    for (int x = 0; x < 13; ++x) {
        src[x] = static_cast<std::uint8_t>(x);
        src[16 + x] = static_cast<std::uint8_t>(100 + x);
    }
    const Bytes out = Convert(Image(src, 13, 2, 8, 16, kIndexed), 8);
    for (int x = 0; x < 13; ++x) {
        EXPECT_EQ(out[x], 100 + x);
        EXPECT_EQ(out[16 + x], x);
    }
    for (int x = 13; x < 16; ++x) {
        EXPECT_EQ(out[x], 0);
        EXPECT_EQ(out[16 + x], 0);
    }
}

TEST(ConvertFrom8, LooksIndicesUpInTheColourTable) {
    ColorTable table{};
    table[5] = 0xAB112233;  // the X byte of an entry never reaches the pixels
    const Bytes src = {5};
    EXPECT_EQ(Convert(Image(src, 1, 1, 8, 4, kIndexed), 32, table), (Bytes{0x33, 0x22, 0x11, 0}));
    EXPECT_EQ(Convert(Image(src, 1, 1, 8, 4, kIndexed), 24, table), (Bytes{0x33, 0x22, 0x11, 0}));
    // r 0x11 g 0x22 b 0x33 in RGB555: 2 << 10 | 4 << 5 | 6 = 0x0886.
    EXPECT_EQ(Convert(Image(src, 1, 1, 8, 4, kIndexed), 16, table), (Bytes{0x86, 0x08, 0, 0}));
}

TEST(ConvertFrom8, TrueColourPixelsGetATableFromTheirMasks) {
    const Bytes src = {0x80};
    const NativeImage rgb332 = Image(src, 1, 1, 8, 4, {0xe0, 0x1c, 0x03});
    const ColorTable table = ColorTableFromMasks(rgb332);
    EXPECT_EQ(table[0x00], 0x000000u);
    EXPECT_EQ(table[0xff], 0xffffffu);
    EXPECT_EQ(table[0xe0], 0xff0000u);
    EXPECT_EQ(table[0x1c], 0x00ff00u);
    EXPECT_EQ(table[0x03], 0x0000ffu);
    EXPECT_EQ(table[0x80], 0x920000u);  // red 100 repeats to 1001 0010
    EXPECT_EQ(table[0x01], 0x000055u);
    EXPECT_EQ(table[0x02], 0x0000aau);
    EXPECT_EQ(Convert(rgb332, 32), (Bytes{0x00, 0x00, 0x92, 0}));
    EXPECT_EQ(Convert(rgb332, 8), (Bytes{0x80, 0, 0, 0}));

    const Bytes wide = {0, 0};
    EXPECT_EQ(ColorTableFromMasks(Image(wide, 1, 1, 16, 2, kRgb565)), ColorTable{});
}

TEST(ConvertToDib, RefusesWhatItCannotConvertAndLeavesPixelsAlone) {
    const Bytes src(64, 0x5A);
    const ColorTable table{};
    struct Case {
        const char* what;
        NativeImage image;
        int bpp;
        std::span<const std::uint32_t> table;
    };
    const Case cases[] = {
        {"4-bit source", Image(src, 2, 2, 4, 4, kIndexed), 32, table},
        {"12-bit target", Image(src, 2, 2, 32, 8, kBgrx), 12, {}},
        {"true colour as indices", Image(src, 2, 2, 32, 8, kBgrx), 8, {}},
        {"indexed without a table", Image(src, 2, 2, 8, 4, kIndexed), 32, {}},
        {"indexed 32-bit source", Image(src, 2, 2, 32, 8, kIndexed), 32, table},
        {"zero width", Image(src, 0, 2, 32, 8, kBgrx), 32, {}},
        {"negative height", Image(src, 2, -1, 32, 8, kBgrx), 32, {}},
        {"stride shorter than a row", Image(src, 2, 2, 32, 7, kBgrx), 32, {}},
        {"overlapping masks", Image(src, 2, 2, 32, 8, {0xff0000, 0x01ff00, 0xff}), 32, {}},
        {"split mask", Image(src, 2, 2, 32, 8, {0xf0f000, 0x0f00, 0xff}), 32, {}},
        {"mask beyond the pixel", Image(src, 2, 2, 16, 4, {0x1f000, 0x07e0, 0x1f}), 16, {}},
        {"no pixels",
         NativeImage{.width = 2,
                     .height = 2,
                     .bitsPerPixel = 32,
                     .stride = 8,
                     .redMask = 0xff0000,
                     .greenMask = 0xff00,
                     .blueMask = 0xff},
         32,
         {}},
    };
    for (const Case& c : cases) {
        Bytes out(64, 0xEE);
        EXPECT_FALSE(ConvertToDib(c.image, c.bpp, c.table, out)) << c.what;
        EXPECT_EQ(out, Bytes(64, 0xEE)) << c.what;
    }

    // One byte short of the DIB size.
    Bytes small(DibStride(2, 24) * 2 - 1, 0xEE);
    EXPECT_FALSE(ConvertToDib(Image(src, 2, 2, 32, 8, kBgrx), 24, {}, small));
    EXPECT_EQ(small, Bytes(small.size(), 0xEE));
}

}  // namespace
