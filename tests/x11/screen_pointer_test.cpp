#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <optional>
#include <thread>
#include <vector>

#include "platform/screen/screen.h"
#include "tests/support/pattern_window.h"
#include "tests/support/virtual_display.h"
#include "tests/x11/screen_grab.h"

namespace {

using namespace screen_test;
using korvex::test::VirtualDisplay;
using platform::screen::DibStride;
using platform::screen::NativeImage;
using platform::screen::Point;
using platform::screen::Screen;

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
