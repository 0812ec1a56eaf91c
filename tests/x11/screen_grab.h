// What the screen tests share: pictures to put on a test display, and grabs read back as colours.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "platform/screen/screen.h"
#include "tests/support/pattern_window.h"

namespace screen_test {

using korvex::test::PatternWindow;
using korvex::test::Rgb;
using Picture = PatternWindow::Picture;

// Colours that change with every step in x and in y, differently in each channel.
Rgb Gradient(int x, int y);
// Forty colours, few enough for an 8-bit colormap; neighbours always differ.
Rgb Tiles(int x, int y);
Rgb Black(int x, int y);
Picture ShownBy(const PatternWindow& window);

// A converted frame, read back pixel by pixel as colours at its own precision.
struct Dib {
    int width = 0, height = 0, bpp = 0;
    std::size_t stride = 0;
    std::vector<std::uint8_t> pixels;
    platform::screen::ColorTable table{};

    // (x, y) counted from the top, as on the screen. RGB555 gives five bits a channel.
    Rgb At(int x, int y) const;
};

// Captures the rectangle and converts it at the screen's own depth, expecting both to succeed.
Dib Grab(platform::screen::Screen& screen, int left, int top, int width, int height);

// The pixels of dib in the rectangle at (left, top) are expected(x - left, y - top), at the DIB's
// precision. Reports the first mismatch only.
void ExpectRegion(const Dib& dib, int left, int top, int width, int height,
                  const Picture& expected);

// Polls condition until it holds or five seconds have passed.
template <class Condition>
bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

}  // namespace screen_test
