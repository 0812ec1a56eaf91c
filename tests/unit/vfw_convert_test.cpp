// DIB pixel rows into the encoders' picture layouts, against pixels worked out by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/vfw/dib_convert.h"

using platform::vfw::DibImage;
using platform::vfw::DibStride;
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
