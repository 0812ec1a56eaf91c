// Our grabs beside ffmpeg's x11grab of the same screen, at the depths where x11grab hands the
// server's pixels over unchanged (at depth 8 it assumes 3-3-2 true colour, so it cannot judge).
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/screen/screen.h"
#include "tests/support/pattern_window.h"
#include "tests/support/virtual_display.h"
#include "tests/x11/screen_grab.h"

namespace {

using namespace screen_test;
using korvex::test::VirtualDisplay;
using platform::screen::Screen;

struct PipeCloser {
    void operator()(FILE* f) const { pclose(f); }
};

// One frame of the rectangle from ffmpeg, top-down, in the raw pixel format asked for.
std::vector<std::uint8_t> X11grab(const std::string& display, int x, int y, int width, int height,
                                  const std::string& pixelFormat) {
    const std::string command = "ffmpeg -v error -f x11grab -draw_mouse 0 -video_size " +
                                std::to_string(width) + "x" + std::to_string(height) + " -i " +
                                display + "+" + std::to_string(x) + "," + std::to_string(y) +
                                " -frames:v 1 -f rawvideo -pix_fmt " + pixelFormat + " -";
    std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    std::vector<std::uint8_t> frame;
    if (!pipe) return frame;
    std::uint8_t buffer[65536];
    while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get()))
        frame.insert(frame.end(), buffer, buffer + n);
    return frame;
}

// The rectangle covers a pattern window and the root window's own background around it.
constexpr int kLeft = 90, kTop = 70, kWidth = 150, kHeight = 110;

TEST(ScreenBesideFfmpeg, Depth24GivesTheSameColours) {
    VirtualDisplay display({.depth = 24});
    auto screen = Screen::Open();
    ASSERT_TRUE(screen);
    const PatternWindow window(display.Name(), 100, 80, 120, 90, Gradient);
    const Dib ours = Grab(*screen, kLeft, kTop, kWidth, kHeight);
    const auto theirs = X11grab(display.Name(), kLeft, kTop, kWidth, kHeight, "bgr0");
    ASSERT_EQ(theirs.size(), std::size_t{kWidth} * kHeight * 4);
    ExpectRegion(ours, 0, 0, kWidth, kHeight, [&](int x, int y) {
        const std::uint8_t* p = &theirs[(static_cast<std::size_t>(y) * kWidth + x) * 4];
        return Rgb{p[2], p[1], p[0]};
    });
}

TEST(ScreenBesideFfmpeg, Depth16GivesTheSamePixelsAsRgb555) {
    VirtualDisplay display({.depth = 16});
    auto screen = Screen::Open();
    ASSERT_TRUE(screen);
    const PatternWindow window(display.Name(), 100, 80, 120, 90, Gradient);
    const Dib ours = Grab(*screen, kLeft, kTop, kWidth, kHeight);
    const auto theirs = X11grab(display.Name(), kLeft, kTop, kWidth, kHeight, "rgb565le");
    ASSERT_EQ(theirs.size(), std::size_t{kWidth} * kHeight * 2);
    // ExpectRegion compares at five bits a channel; x11grab's green has six.
    ExpectRegion(ours, 0, 0, kWidth, kHeight, [&](int x, int y) {
        const std::size_t at = (static_cast<std::size_t>(y) * kWidth + x) * 2;
        const int v = theirs[at] | theirs[at + 1] << 8;
        return Rgb{static_cast<std::uint8_t>((v >> 11) << 3),
                   static_cast<std::uint8_t>(((v >> 5) & 63) << 2),
                   static_cast<std::uint8_t>((v & 31) << 3)};
    });
}

}  // namespace
