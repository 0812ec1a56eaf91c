#include "platform/screen/screen.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/pattern_window.h"
#include "tests/support/virtual_display.h"

namespace {

using korvex::test::DisplayOptions;
using korvex::test::PatternWindow;
using korvex::test::Rgb;
using korvex::test::VirtualDisplay;
using platform::screen::ColorTable;
using platform::screen::DibStride;
using platform::screen::NativeImage;
using platform::screen::Point;
using platform::screen::Screen;

constexpr Rgb kBlack{};

Rgb Gradient(int x, int y) {
    return {static_cast<std::uint8_t>(x * 9 + y), static_cast<std::uint8_t>(y * 5 + 3),
            static_cast<std::uint8_t>(x * y + 7)};
}

// Forty colours, few enough for an 8-bit colormap; neighbours always differ.
Rgb Tiles(int x, int y) {
    const int i = (x + 7 * y) % 40;
    return {static_cast<std::uint8_t>(i * 6), static_cast<std::uint8_t>(255 - i * 5),
            static_cast<std::uint8_t>(i * 97)};
}

// A converted frame, read back pixel by pixel as colours at its own precision.
struct Dib {
    int width = 0, height = 0, bpp = 0;
    std::size_t stride = 0;
    std::vector<std::uint8_t> pixels;
    ColorTable table{};

    // (x, y) counted from the top, as on the screen.
    Rgb At(int x, int y) const {
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
                return {static_cast<std::uint8_t>(v >> 10 & 31),
                        static_cast<std::uint8_t>(v >> 5 & 31), static_cast<std::uint8_t>(v & 31)};
            }
            default:
                return {p[2], p[1], p[0]};
        }
    }
};

// A colour as a DIB at bpp holds it: RGB555 keeps five bits a channel.
Rgb AtPrecision(Rgb c, int bpp) {
    if (bpp != 16) return c;
    return {static_cast<std::uint8_t>(c.r >> 3), static_cast<std::uint8_t>(c.g >> 3),
            static_cast<std::uint8_t>(c.b >> 3)};
}

Dib Grab(Screen& screen, int left, int top, int width, int height) {
    Dib dib{width, height, screen.BitsPerPixel(), DibStride(width, screen.BitsPerPixel()), {}, {}};
    dib.pixels.assign(dib.stride * static_cast<std::size_t>(height), 0xEE);
    NativeImage image;
    EXPECT_TRUE(screen.Capture(left, top, width, height, image));
    EXPECT_TRUE(screen.ToDib(image, dib.bpp, dib.pixels, dib.table));
    return dib;
}

using Picture = PatternWindow::Picture;

Rgb Black(int, int) {
    return kBlack;
}

// The pixels of dib in the rectangle at (left, top) are expected(x - left, y - top), at the DIB's
// precision. Reports the first mismatch only.
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

Picture ShownBy(const PatternWindow& window) {
    return [&window](int x, int y) { return window.Shown(x, y); };
}

template <class Condition>
bool WaitFor(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

struct DepthCase {
    int depth;
    int bitsPerPixel;
};

void PrintTo(const DepthCase& c, std::ostream* out) {
    *out << "depth " << c.depth;
}

class ScreenAtDepth : public ::testing::TestWithParam<DepthCase> {
  protected:
    PatternWindow::Picture Picture() const {
        return GetParam().depth == 8 ? PatternWindow::Picture(Tiles) : Gradient;
    }

    VirtualDisplay display_{{.width = 640, .height = 480, .depth = GetParam().depth}};
    std::unique_ptr<Screen> screen_ = Screen::Open();
};

TEST_P(ScreenAtDepth, ReportsBitsPerPixelAndSizes) {
    ASSERT_TRUE(screen_);
    EXPECT_EQ(screen_->BitsPerPixel(), GetParam().bitsPerPixel);
    EXPECT_EQ(screen_->Width(), 640);
    EXPECT_EQ(screen_->Height(), 480);
    EXPECT_EQ(screen_->VirtualWidth(), 640);
    EXPECT_EQ(screen_->VirtualHeight(), 480);
}

TEST_P(ScreenAtDepth, GrabsAPatternPixelForPixel) {
    ASSERT_TRUE(screen_);
    // An odd width, so that the DIB rows carry padding at 8, 16 and 24 bits.
    const PatternWindow window(display_.Name(), 50, 40, 61, 47, Picture());
    ExpectRegion(Grab(*screen_, 50, 40, 61, 47), 0, 0, 61, 47, ShownBy(window));
    // The window inside a larger grab lands at its offset.
    ExpectRegion(Grab(*screen_, 47, 38, 67, 51), 3, 2, 61, 47, ShownBy(window));
}

TEST_P(ScreenAtDepth, PartsOffTheScreenComeOutBlack) {
    ASSERT_TRUE(screen_);
    const PatternWindow corner(display_.Name(), 610, 460, 30, 20, Picture());
    const Dib lowerRight = Grab(*screen_, 610, 460, 50, 40);
    ExpectRegion(lowerRight, 0, 0, 30, 20, ShownBy(corner));
    ExpectRegion(lowerRight, 30, 0, 20, 40, Black);
    ExpectRegion(lowerRight, 0, 20, 30, 20, Black);

    const PatternWindow origin(display_.Name(), 0, 0, 20, 15, Picture());
    const Dib upperLeft = Grab(*screen_, -10, -5, 30, 20);
    ExpectRegion(upperLeft, 10, 5, 20, 15, ShownBy(origin));
    ExpectRegion(upperLeft, 0, 0, 10, 20, Black);
    ExpectRegion(upperLeft, 10, 0, 20, 5, Black);

    ExpectRegion(Grab(*screen_, 700, 500, 9, 7), 0, 0, 9, 7, Black);
    ExpectRegion(Grab(*screen_, -40, 100, 40, 3), 0, 0, 40, 3, Black);
}

INSTANTIATE_TEST_SUITE_P(Depths, ScreenAtDepth,
                         ::testing::Values(DepthCase{24, 32}, DepthCase{16, 16}, DepthCase{15, 16},
                                           DepthCase{30, 32}, DepthCase{8, 8}),
                         [](const auto& info) {
                             return "Depth" + std::to_string(info.param.depth);
                         });

TEST(ScreenCapture, RejectsEmptyRectangles) {
    VirtualDisplay display;
    auto screen = Screen::Open();
    ASSERT_TRUE(screen);
    NativeImage image;
    EXPECT_FALSE(screen->Capture(0, 0, 0, 10, image));
    EXPECT_FALSE(screen->Capture(0, 0, 10, -1, image));
    EXPECT_FALSE(screen->Capture(10, 10, -5, -5, image));
}

TEST(ScreenCapture, RectanglesOfChangingSizeStayRight) {
    VirtualDisplay display;
    auto screen = Screen::Open();
    ASSERT_TRUE(screen);
    const PatternWindow window(display.Name(), 0, 0, 640, 480, Gradient);
    // Small, whole screen, middle, whole screen again, one pixel: the capture buffer grows and
    // is reused, and no grab may show an earlier one's pixels.
    const struct {
        int x, y, w, h;
    } grabs[] = {
        {10, 10, 8, 8}, {0, 0, 640, 480}, {100, 50, 200, 100}, {0, 0, 640, 480}, {300, 200, 1, 1}};
    for (const auto& g : grabs) {
        SCOPED_TRACE(std::to_string(g.w) + "x" + std::to_string(g.h));
        ExpectRegion(Grab(*screen, g.x, g.y, g.w, g.h), 0, 0, g.w, g.h,
                     [&](int x, int y) { return window.Shown(g.x + x, g.y + y); });
    }
}

struct Segment {
    int id = 0;
    unsigned perms = 0;
    std::size_t size = 0;
    int attached = 0;
};

// The System V segments this process created, as the kernel lists them.
std::vector<Segment> OwnSegments() {
    std::ifstream list("/proc/sysvipc/shm");
    std::string line;
    std::getline(list, line);
    std::vector<Segment> own;
    while (std::getline(list, line)) {
        std::istringstream fields(line);
        long key = 0;
        int cpid = 0, lpid = 0;
        Segment s;
        fields >> key >> s.id >> std::oct >> s.perms >> std::dec >> s.size >> cpid >> lpid >>
            s.attached;
        if (cpid == getpid()) own.push_back(s);
    }
    return own;
}

TEST(ScreenCapture, SharedSegmentIsPrivateReusedAndLeavesNothing) {
    VirtualDisplay display;
    {
        auto screen = Screen::Open();
        ASSERT_TRUE(screen);
        NativeImage image;
        ASSERT_TRUE(screen->Capture(0, 0, 100, 100, image));
        const std::vector<Segment> first = OwnSegments();
        ASSERT_EQ(first.size(), 1u);
        // Mode 0600, already marked for removal (SHM_DEST), attached here and in the server.
        EXPECT_EQ(first[0].perms, 01600u);
        EXPECT_EQ(first[0].attached, 2);
        EXPECT_GE(first[0].size, 100u * 100u * 4u);

        ASSERT_TRUE(screen->Capture(10, 10, 50, 50, image));
        const std::vector<Segment> reused = OwnSegments();
        ASSERT_EQ(reused.size(), 1u);
        EXPECT_EQ(reused[0].id, first[0].id);

        ASSERT_TRUE(screen->Capture(0, 0, 640, 480, image));
        const std::vector<Segment> grown = OwnSegments();
        ASSERT_EQ(grown.size(), 1u);
        EXPECT_GE(grown[0].size, 640u * 480u * 4u);
    }
    EXPECT_TRUE(WaitFor([] { return OwnSegments().empty(); }));
}

TEST(ScreenCapture, WorksWithoutSharedMemory) {
    VirtualDisplay display({.extraArguments = {"-extension", "MIT-SHM"}});
    auto screen = Screen::Open();
    ASSERT_TRUE(screen);
    const PatternWindow window(display.Name(), 600, 100, 40, 30, Gradient);
    ExpectRegion(Grab(*screen, 600, 100, 40, 30), 0, 0, 40, 30, ShownBy(window));
    const Dib partly = Grab(*screen, 600, 100, 60, 30);
    ExpectRegion(partly, 0, 0, 40, 30, ShownBy(window));
    ExpectRegion(partly, 40, 0, 20, 30, Black);
}

TEST(ScreenCapture, EightBitColourTableComesWithTheFrame) {
    VirtualDisplay display({.depth = 8});
    auto screen = Screen::Open();
    ASSERT_TRUE(screen);
    const PatternWindow window(display.Name(), 0, 0, 16, 16, Tiles);
    NativeImage image;
    ASSERT_TRUE(screen->Capture(0, 0, 16, 16, image));
    std::vector<std::uint8_t> pixels(DibStride(16, 8) * 16);
    std::vector<std::uint32_t> shortTable(255);
    EXPECT_FALSE(screen->ToDib(image, 8, pixels, shortTable));
    std::vector<std::uint8_t> shortPixels(pixels.size() - 1);
    ColorTable table{};
    EXPECT_FALSE(screen->ToDib(image, 8, shortPixels, table));

    // The same frame written at 32 bits takes its colours from the table.
    Dib wide{16, 16, 32, DibStride(16, 32), std::vector<std::uint8_t>(DibStride(16, 32) * 16), {}};
    ASSERT_TRUE(screen->ToDib(image, 32, wide.pixels, {}));
    ExpectRegion(wide, 0, 0, 16, 16, ShownBy(window));
}

TEST(ScreenSize, PrimaryMonitorDecidesWidthAndHeight) {
    VirtualDisplay display;
    auto screen = Screen::Open();
    ASSERT_TRUE(screen);
    ASSERT_EQ(screen->Width(), 640);
    ASSERT_EQ(std::system("xrandr --setmonitor '*left' 400/100x300/75+0+0 none"), 0);
    // The change reaches an open Screen as a RandR event.
    EXPECT_TRUE(WaitFor([&] { return screen->Width() == 400; }));
    EXPECT_EQ(screen->Height(), 300);
    EXPECT_EQ(screen->VirtualWidth(), 640);
    EXPECT_EQ(screen->VirtualHeight(), 480);

    auto fresh = Screen::Open();
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->Width(), 400);
    EXPECT_EQ(fresh->Height(), 300);
}

TEST(ScreenSize, WithoutRandrTheRootWindowDecides) {
    VirtualDisplay display(
        {.width = 800, .height = 600, .extraArguments = {"-extension", "RANDR"}});
    auto screen = Screen::Open();
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->Width(), 800);
    EXPECT_EQ(screen->Height(), 600);
}

TEST(ScreenOpen, NoDisplayGivesNoScreen) {
    VirtualDisplay display;
    unsetenv("DISPLAY");  // the display restores it
    EXPECT_EQ(Screen::Open(), nullptr);
}

TEST(ScreenPointer, PositionFollowsAWarp) {
    VirtualDisplay display;
    auto screen = Screen::Open();
    ASSERT_TRUE(screen);
    auto c = korvex::test::ConnectTo(display.Name());
    const xcb_window_t root = korvex::test::DefaultScreen(c.get())->root;
    for (const Point to : {Point{123, 45}, Point{0, 0}, Point{639, 479}}) {
        xcb_warp_pointer(c.get(), XCB_NONE, root, 0, 0, 0, 0, static_cast<std::int16_t>(to.x),
                         static_cast<std::int16_t>(to.y));
        korvex::test::Sync(c.get());
        EXPECT_EQ(screen->PointerPosition(), std::optional<Point>(to));
    }
}

TEST(ScreenPointer, HotSpotIsTheCurrentCursors) {
    VirtualDisplay display;
    auto screen = Screen::Open();
    ASSERT_TRUE(screen);
    EXPECT_TRUE(screen->CursorHotSpot().has_value());

    auto c = korvex::test::ConnectTo(display.Name());
    xcb_connection_t* conn = c.get();
    const xcb_window_t root = korvex::test::DefaultScreen(conn)->root;
    const xcb_pixmap_t shape = xcb_generate_id(conn);
    xcb_create_pixmap(conn, 1, shape, root, 16, 16);
    const xcb_gcontext_t gc = xcb_generate_id(conn);
    const std::uint32_t one = 1;
    xcb_create_gc(conn, gc, shape, XCB_GC_FOREGROUND, &one);
    const xcb_rectangle_t all{0, 0, 16, 16};
    xcb_poly_fill_rectangle(conn, shape, gc, 1, &all);
    const xcb_cursor_t cursor = xcb_generate_id(conn);
    xcb_create_cursor(conn, cursor, shape, shape, 0, 0, 0, 0xffff, 0xffff, 0xffff, 5, 3);

    const PatternWindow window(display.Name(), 200, 200, 50, 50, Gradient);
    xcb_change_window_attributes(conn, window.Window(), XCB_CW_CURSOR, &cursor);
    xcb_warp_pointer(conn, XCB_NONE, root, 0, 0, 0, 0, 220, 220);
    korvex::test::Sync(conn);
    EXPECT_TRUE(WaitFor([&] { return screen->CursorHotSpot() == std::optional(Point{5, 3}); }));
}

TEST(ScreenPointer, NoHotSpotWithoutXfixes) {
    VirtualDisplay display({.extraArguments = {"-extension", "XFIXES"}});
    auto screen = Screen::Open();
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->CursorHotSpot(), std::nullopt);
    EXPECT_TRUE(screen->PointerPosition().has_value());
}

TEST(ScreenThreads, WorkerAndGuiThreadShareOneScreen) {
    VirtualDisplay display;
    auto screen = Screen::Open();
    ASSERT_TRUE(screen);
    const PatternWindow window(display.Name(), 0, 0, 64, 64, Gradient);
    // The worker owns its frames; the other thread only asks questions, as the GUI does.
    bool framesRight = true;
    std::thread worker([&] {
        for (int i = 0; i < 30; ++i) {
            NativeImage image;
            std::vector<std::uint8_t> pixels(DibStride(64, 32) * 64);
            framesRight = framesRight && screen->Capture(0, 0, 64, 64, image) &&
                          screen->ToDib(image, 32, pixels, {}) &&
                          pixels[DibStride(64, 32) * 63 + 2] == window.Shown(0, 0).r;
        }
    });
    int answers = 0;
    for (int i = 0; i < 100; ++i) {
        answers += screen->PointerPosition().has_value() && screen->CursorHotSpot().has_value() &&
                   screen->Width() == 640;
    }
    worker.join();
    EXPECT_TRUE(framesRight);
    EXPECT_EQ(answers, 100);
}

}  // namespace
