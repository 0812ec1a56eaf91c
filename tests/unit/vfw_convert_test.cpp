// DIB pixel rows into the encoders' picture layouts, against pixels worked out by hand, and the
// quality mappings.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/vfw/dib_convert.h"
#include "platform/vfw/quality_mapping.h"

using platform::vfw::DibImage;
using platform::vfw::DibPalette;
using platform::vfw::DibStride;
using platform::vfw::DibToBgr0;
using platform::vfw::DibToPal8;
using platform::vfw::DibToRgb24;
using platform::vfw::DibToRgb555;

namespace {

constexpr std::uint8_t kPad = 0xEE;  // row padding; must never show up as a pixel

// The same 3 x 2 picture at every depth. Top row: red, green, blue. Bottom row: white,
// (R 0x84, G 0x42, B 0x21), (7, 7, 7). In RGB555 with channels truncated to 5 bits:
const std::vector<std::uint16_t> kExpected = {0x7C00, 0x03E0, 0x001F, 0x7FFF, 0x4104, 0x0000};

std::vector<std::uint16_t> Convert(const DibImage& dib, std::ptrdiff_t stride = 6) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(stride * dib.height), 0xCD);
    EXPECT_TRUE(DibToRgb555(dib, out, stride));
    std::vector<std::uint16_t> pixels;
    for (int y = 0; y < dib.height; ++y) {
        for (int x = 0; x < dib.width; ++x) {
            const std::size_t at = static_cast<std::size_t>(y * stride + x * 2);
            pixels.push_back(static_cast<std::uint16_t>(out[at] | out[at + 1] << 8));
        }
    }
    return pixels;
}

DibImage Picture(int bitCount, const std::vector<std::uint8_t>& rows,
                 const std::vector<std::uint32_t>& colours = {}) {
    return DibImage{3, 2, bitCount, rows, colours};
}

}  // namespace

TEST(DibStride, RowsArePaddedToWholeWords) {
    EXPECT_EQ(DibStride(13, 8), 16);
    EXPECT_EQ(DibStride(1, 24), 4);
    EXPECT_EQ(DibStride(3, 16), 8);
    EXPECT_EQ(DibStride(320, 32), 1280);
    EXPECT_EQ(DibStride(1366, 24), 4100);
    EXPECT_EQ(DibStride(0, 32), 0);
    EXPECT_EQ(DibStride(5, 0), 0);
    EXPECT_EQ(DibStride(0x7FFFFFFF, 32), 0x1FFFFFFFCll);
}

TEST(DibToRgb555, ThirtyTwoBitsBgrxBottomUp) {
    const std::vector<std::uint8_t> rows = {
        0xFF, 0xFF, 0xFF, 0x55, 0x21, 0x42, 0x84, 0x55, 0x07, 0x07, 0x07, 0x55,  // bottom
        0x00, 0x00, 0xFF, 0x55, 0x00, 0xFF, 0x00, 0x55, 0xFF, 0x00, 0x00, 0x55,  // top
    };
    EXPECT_EQ(Convert(Picture(32, rows)), kExpected);
}

TEST(DibToRgb555, TwentyFourBitsSkipsRowPadding) {
    const std::vector<std::uint8_t> rows = {
        0xFF, 0xFF, 0xFF, 0x21, 0x42, 0x84, 0x07, 0x07, 0x07, kPad, kPad, kPad,  // bottom
        0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, kPad, kPad, kPad,  // top
    };
    EXPECT_EQ(Convert(Picture(24, rows)), kExpected);
}

TEST(DibToRgb555, SixteenBitsKeepsRgb555AndClearsTheTopBit) {
    // Little-endian words; the unused top bit is set on some of them.
    const std::vector<std::uint8_t> rows = {
        0xFF, 0xFF, 0x04, 0x41, 0x00, 0x80, kPad, kPad,  // bottom: 0xFFFF 0x4104 0x8000
        0x00, 0x7C, 0xE0, 0x83, 0x1F, 0x00, kPad, kPad,  // top: 0x7C00 0x83E0 0x001F
    };
    EXPECT_EQ(Convert(Picture(16, rows)), kExpected);
}

TEST(DibToRgb555, EightBitsLooksUpTheColourTable) {
    const std::vector<std::uint32_t> colours = {0x00FF0000, 0x0000FF00, 0x000000FF,
                                                0x00FFFFFF, 0x00844221, 0x00070707};
    const std::vector<std::uint8_t> rows = {
        3, 4, 5, kPad,  // bottom
        0, 1, 2, kPad,  // top
    };
    EXPECT_EQ(Convert(Picture(8, rows, colours)), kExpected);
}

TEST(DibToRgb555, EightBitsIndexPastTheTableIsBlack) {
    const std::vector<std::uint32_t> colours = {0x00FFFFFF, 0x00FF0000};
    const std::vector<std::uint8_t> rows = {1, 2, 255, kPad, 0, 1, 7, kPad};
    const std::vector<std::uint16_t> expected = {0x7FFF, 0x7C00, 0x0000, 0x7C00, 0x0000, 0x0000};
    EXPECT_EQ(Convert(Picture(8, rows, colours)), expected);
}

TEST(DibToRgb555, LeavesTheOutputRowPaddingAlone) {
    const std::vector<std::uint8_t> rows = {
        0xFF, 0xFF, 0xFF, 0x21, 0x42, 0x84, 0x07, 0x07, 0x07, kPad, kPad, kPad,
        0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, kPad, kPad, kPad,
    };
    const DibImage dib = Picture(24, rows);
    std::vector<std::uint8_t> out(2 * 16, 0xCD);
    ASSERT_TRUE(DibToRgb555(dib, out, 16));
    for (std::size_t i : {6u, 7u, 15u, 22u, 31u}) EXPECT_EQ(out[i], 0xCD) << "byte " << i;
    EXPECT_EQ(Convert(dib, 16), kExpected);
}

TEST(DibToRgb555, RefusesWhatItCannotConvertAndWritesNothing) {
    const std::vector<std::uint8_t> rows(2 * 12, 0x11);
    std::vector<std::uint8_t> out(12, 0xCD);
    const std::vector<std::uint8_t> untouched = out;

    EXPECT_FALSE(DibToRgb555(Picture(15, rows), out, 6));
    EXPECT_FALSE(DibToRgb555(Picture(4, rows), out, 6));
    EXPECT_FALSE(DibToRgb555(DibImage{0, 2, 24, rows, {}}, out, 6));
    EXPECT_FALSE(DibToRgb555(DibImage{3, -2, 24, rows, {}}, out, 6));
    // One byte short of two 24-bit rows of 12 bytes.
    EXPECT_FALSE(DibToRgb555(Picture(24, std::vector<std::uint8_t>(23)), out, 6));
    // Output rows narrower than the picture, and an output one byte short.
    EXPECT_FALSE(DibToRgb555(Picture(24, rows), out, 5));
    EXPECT_FALSE(DibToRgb555(Picture(24, rows), std::span(out).first(11), 6));
    EXPECT_EQ(out, untouched);
}

namespace {

// The 3 x 2 picture at 32 and at 16 bits, bottom row first as DIBs store it.
const std::vector<std::uint8_t> kRows32 = {
    0xFF, 0xFF, 0xFF, 0x55, 0x21, 0x42, 0x84, 0x55, 0x07, 0x07, 0x07, 0x55,  // bottom
    0x00, 0x00, 0xFF, 0x55, 0x00, 0xFF, 0x00, 0x55, 0xFF, 0x00, 0x00, 0x55,  // top
};
const std::vector<std::uint8_t> kRows16 = {
    0xFF, 0xFF, 0x04, 0x41, 0x00, 0x80, kPad, kPad,  // bottom: 0xFFFF 0x4104 0x8000
    0x00, 0x7C, 0xE0, 0x83, 0x1F, 0x00, kPad, kPad,  // top: 0x7C00 0x83E0 0x001F
};

std::vector<std::uint8_t> Packed(const DibImage& dib, int bytesPerPixel,
                                 bool (*convert)(const DibImage&, std::span<std::uint8_t>,
                                                 std::ptrdiff_t)) {
    const std::ptrdiff_t stride = dib.width * bytesPerPixel + 1;  // one byte of row padding
    std::vector<std::uint8_t> out(static_cast<std::size_t>(stride * dib.height), 0xCD);
    EXPECT_TRUE(convert(dib, out, stride));
    for (int y = 0; y < dib.height; ++y) EXPECT_EQ(out[(y + 1) * stride - 1], 0xCD) << y;
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < dib.height; ++y) {
        pixels.insert(pixels.end(), out.begin() + y * stride,
                      out.begin() + y * stride + dib.width * bytesPerPixel);
    }
    return pixels;
}

}  // namespace

TEST(DibToRgb24, ChannelsInRgbOrderTopRowFirst) {
    const std::vector<std::uint8_t> expected = {0xFF, 0,    0,    0,    0xFF, 0,    0, 0, 0xFF,
                                                0xFF, 0xFF, 0xFF, 0x84, 0x42, 0x21, 7, 7, 7};
    EXPECT_EQ(Packed(Picture(32, kRows32), 3, DibToRgb24), expected);
    const std::vector<std::uint32_t> colours = {0x00FF0000, 0x0000FF00, 0x000000FF,
                                                0x00FFFFFF, 0x00844221, 0x00070707};
    const std::vector<std::uint8_t> indices = {3, 4, 5, kPad, 0, 1, 2, kPad};
    EXPECT_EQ(Packed(Picture(8, indices, colours), 3, DibToRgb24), expected);
}

TEST(DibToRgb24, FiveBitChannelsAreWidenedToTheFullRange) {
    // 0x4104 is 16, 8, 4 in 5 bits: 0x84, 0x42, 0x21 widened; 31 becomes 255.
    const std::vector<std::uint8_t> expected = {0xFF, 0,    0,    0,    0xFF, 0,    0, 0, 0xFF,
                                                0xFF, 0xFF, 0xFF, 0x84, 0x42, 0x21, 0, 0, 0};
    EXPECT_EQ(Packed(Picture(16, kRows16), 3, DibToRgb24), expected);
}

TEST(DibToBgr0, KeepsBgrOrderAndClearsTheFourthByte) {
    const std::vector<std::uint8_t> expected = {0,    0,    0xFF, 0, 0,    0xFF, 0,    0,
                                                0xFF, 0,    0,    0, 0xFF, 0xFF, 0xFF, 0,
                                                0x21, 0x42, 0x84, 0, 7,    7,    7,    0};
    EXPECT_EQ(Packed(Picture(32, kRows32), 4, DibToBgr0), expected);
    const std::vector<std::uint8_t> rows24 = {
        0xFF, 0xFF, 0xFF, 0x21, 0x42, 0x84, 0x07, 0x07, 0x07, kPad, kPad, kPad,
        0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, kPad, kPad, kPad,
    };
    EXPECT_EQ(Packed(Picture(24, rows24), 4, DibToBgr0), expected);
    std::vector<std::uint8_t> out(32);
    EXPECT_FALSE(DibToBgr0(Picture(16, kRows16), out, 12));
}

TEST(DibToPal8, IndicesTopRowFirstAndTheTableAsOpaqueWords) {
    const std::vector<std::uint32_t> colours = {0x00FF0000, 0x12345678};
    const std::vector<std::uint8_t> indices = {1, 0, 9, kPad, 0, 1, 255, kPad};
    std::vector<std::uint8_t> out(6, 0xCD);
    std::array<std::uint32_t, 256> palette{};
    ASSERT_TRUE(DibToPal8(Picture(8, indices, colours), out, 3, palette));
    EXPECT_EQ(out, (std::vector<std::uint8_t>{0, 1, 255, 1, 0, 9}));
    EXPECT_EQ(palette[0], 0xFFFF0000u);
    EXPECT_EQ(palette[1], 0xFF345678u);  // the table's unused top byte is dropped
    EXPECT_EQ(palette[2], 0xFF000000u);  // past the table: black
    EXPECT_EQ(palette[255], 0xFF000000u);
    std::array<std::uint32_t, 256> fromTable{};
    DibPalette(Picture(8, indices, colours), fromTable);
    EXPECT_EQ(fromTable, palette);
    EXPECT_FALSE(DibToPal8(Picture(32, kRows32), out, 3, palette));
}

TEST(QualityMapping, RunsFromTheCoarsestToTheFinestSetting) {
    using namespace platform::vfw;
    EXPECT_EQ(QScaleFor(0), 31);
    EXPECT_EQ(QScaleFor(2500), 18);
    EXPECT_EQ(QScaleFor(kDefaultQuality), 3);
    EXPECT_EQ(QScaleFor(10000), 1);
    EXPECT_DOUBLE_EQ(CrfFor(0), 51);
    EXPECT_DOUBLE_EQ(CrfFor(7500), 20.25);
    EXPECT_DOUBLE_EQ(CrfFor(10000), 10);
    // Better quality never gives a coarser setting; out of range counts as the nearer end.
    for (int q = 0; q < 10000; q += 125) {
        EXPECT_GE(QScaleFor(q), QScaleFor(q + 125)) << q;
        EXPECT_GT(CrfFor(q), CrfFor(q + 125)) << q;
    }
    EXPECT_EQ(QScaleFor(-5), 31);
}
