#include "tests/x11/screen_grab.h"

#include <gtest/gtest.h>

namespace screen_test {

using platform::screen::DibStride;
using platform::screen::NativeImage;

namespace {

// A colour as a DIB at bpp holds it.
Rgb AtPrecision(Rgb c, int bpp) {
    if (bpp != 16) return c;
    return {static_cast<std::uint8_t>(c.r >> 3), static_cast<std::uint8_t>(c.g >> 3),
            static_cast<std::uint8_t>(c.b >> 3)};
}

}  // namespace

Rgb Gradient(int x, int y) {
    return {static_cast<std::uint8_t>(x * 9 + y), static_cast<std::uint8_t>(y * 5 + 3),
            static_cast<std::uint8_t>(x * y + 7)};
}

Rgb Tiles(int x, int y) {
    const int i = (x + 7 * y) % 40;
    return {static_cast<std::uint8_t>(i * 6), static_cast<std::uint8_t>(255 - i * 5),
            static_cast<std::uint8_t>(i * 97)};
}

Rgb Black(int, int) {
    return Rgb{};
}

Picture ShownBy(const PatternWindow& window) {
    return [&window](int x, int y) { return window.Shown(x, y); };
}

Rgb Dib::At(int x, int y) const {
    const std::uint8_t* p = pixels.data() + static_cast<std::size_t>(height - 1 - y) * stride +
                            static_cast<std::size_t>(x) * (bpp / 8);
    switch (bpp) {
        case 8: {
            const std::uint32_t c = table[*p];
            return {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                    static_cast<std::uint8_t>(c)};
        }
        case 16: {
            const int v = p[0] | p[1] << 8;
            return {static_cast<std::uint8_t>(v >> 10 & 31), static_cast<std::uint8_t>(v >> 5 & 31),
                    static_cast<std::uint8_t>(v & 31)};
        }
        default:
            return {p[2], p[1], p[0]};
    }
}

Dib Grab(platform::screen::Screen& screen, int left, int top, int width, int height) {
    Dib dib{width,
            height,
            screen.BitsPerPixel(),
            static_cast<std::size_t>(DibStride(width, screen.BitsPerPixel())),
            {},
            {}};
    dib.pixels.assign(dib.stride * static_cast<std::size_t>(height), 0xEE);
    NativeImage image;
    EXPECT_TRUE(screen.Capture(left, top, width, height, image));
    EXPECT_TRUE(screen.ToDib(image, dib.bpp, dib.pixels, dib.table));
    return dib;
}

void ExpectRegion(const Dib& dib, int left, int top, int width, int height,
                  const Picture& expected) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Rgb want = AtPrecision(expected(x, y), dib.bpp);
            const Rgb got = dib.At(left + x, top + y);
            if (got == want) continue;
            ADD_FAILURE() << "pixel (" << left + x << ", " << top + y << ") is " << int{got.r}
                          << "," << int{got.g} << "," << int{got.b} << " instead of " << int{want.r}
                          << "," << int{want.g} << "," << int{want.b};
            return;
        }
    }
}

}  // namespace screen_test
