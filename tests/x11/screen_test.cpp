#include "platform/screen/screen.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/pattern_window.h"
#include "tests/support/virtual_display.h"
#include "tests/x11/screen_grab.h"

namespace {

using namespace screen_test;
using korvex::test::VirtualDisplay;
using platform::screen::ColorTable;
using platform::screen::DibStride;
using platform::screen::NativeImage;
using platform::screen::Screen;

struct DepthCase {
    int depth;
    int bitsPerPixel;
};

void PrintTo(const DepthCase& c, std::ostream* out) {
    *out << "depth " << c.depth;
}

class ScreenAtDepth : public ::testing::TestWithParam<DepthCase> {
  protected:
    screen_test::Picture Pattern() const {
        return GetParam().depth == 8 ? screen_test::Picture(Tiles) : Gradient;
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
    const PatternWindow window(display_.Name(), 50, 40, 61, 47, Pattern());
    ExpectRegion(Grab(*screen_, 50, 40, 61, 47), 0, 0, 61, 47, ShownBy(window));
    // The window inside a larger grab lands at its offset.
    ExpectRegion(Grab(*screen_, 47, 38, 67, 51), 3, 2, 61, 47, ShownBy(window));
}

TEST_P(ScreenAtDepth, PartsOffTheScreenComeOutBlack) {
    ASSERT_TRUE(screen_);
    const PatternWindow corner(display_.Name(), 610, 460, 30, 20, Pattern());
    const Dib lowerRight = Grab(*screen_, 610, 460, 50, 40);
    ExpectRegion(lowerRight, 0, 0, 30, 20, ShownBy(corner));
    ExpectRegion(lowerRight, 30, 0, 20, 40, Black);
    ExpectRegion(lowerRight, 0, 20, 30, 20, Black);

    const PatternWindow origin(display_.Name(), 0, 0, 20, 15, Pattern());
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

TEST(ScreenCapture, ColourTableFollowsTheColormap) {
    VirtualDisplay display({.depth = 8});
    auto screen = Screen::Open();
    ASSERT_TRUE(screen);
    auto c = korvex::test::ConnectTo(display.Name());
    xcb_connection_t* conn = c.get();
    const xcb_screen_t* root = korvex::test::DefaultScreen(conn);

    // A writable colour cell, shown as a window's background.
    std::unique_ptr<xcb_alloc_color_cells_reply_t, decltype(&std::free)> cells(
        xcb_alloc_color_cells_reply(
            conn, xcb_alloc_color_cells(conn, 0, root->default_colormap, 1, 0), nullptr),
        &std::free);
    ASSERT_TRUE(cells);
    const std::uint32_t cell = xcb_alloc_color_cells_pixels(cells.get())[0];
    const auto store = [&](std::uint16_t r, std::uint16_t g, std::uint16_t b) {
        const xcb_coloritem_t item{
            cell, r, g, b, XCB_COLOR_FLAG_RED | XCB_COLOR_FLAG_GREEN | XCB_COLOR_FLAG_BLUE, 0};
        xcb_store_colors(conn, root->default_colormap, 1, &item);
        korvex::test::Sync(conn);
    };
    store(0x1200, 0x3400, 0x5600);
    const xcb_window_t window = xcb_generate_id(conn);
    const std::uint32_t values[] = {cell, 1};
    xcb_create_window(conn, XCB_COPY_FROM_PARENT, window, root->root, 10, 10, 8, 8, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, root->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(conn, window);
    korvex::test::Sync(conn);

    EXPECT_EQ(Grab(*screen, 10, 10, 4, 4).At(1, 1), (Rgb{0x12, 0x34, 0x56}));
    // Same pixels, new colour: only the table tells.
    store(0xab00, 0xcd00, 0xef00);
    EXPECT_EQ(Grab(*screen, 10, 10, 4, 4).At(1, 1), (Rgb{0xab, 0xcd, 0xef}));
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

}  // namespace
