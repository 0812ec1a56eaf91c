#include "harness/moving_pattern.h"

#include <sys/prctl.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace korvex::test {

namespace {

constexpr std::uint32_t kQuadrants[4] = {0xC03030, 0x30C030, 0x3030C0, 0xE0E040};
constexpr std::uint32_t kTerminal = 0x202020;
constexpr std::uint32_t kInk = 0xD0D0D0;
constexpr int kCellWidth = 8, kCellHeight = 16, kColumns = 80, kLines = 24;

struct Free {
    void operator()(void* p) const { std::free(p); }
};

std::uint32_t PixelFor(xcb_connection_t* c, xcb_colormap_t map, std::uint32_t rgb) {
    auto channel = [](std::uint32_t v) { return static_cast<std::uint16_t>(v * 257); };
    std::unique_ptr<xcb_alloc_color_reply_t, Free> reply(
        xcb_alloc_color_reply(c,
                              xcb_alloc_color(c, map, channel((rgb >> 16) & 0xFF),
                                              channel((rgb >> 8) & 0xFF), channel(rgb & 0xFF)),
                              nullptr));
    return reply ? reply->pixel : 0;
}

}  // namespace

std::uint32_t MovingPattern::QuadrantColor(int px, int py, int width, int height) {
    const int column = px < width / 2 ? 0 : 1;
    const int row = py < height / 2 ? 0 : 1;
    return kQuadrants[row * 2 + column];
}

MovingPattern::MovingPattern(int x, int y, int width, int height, Scene scene)
    : x_(x), y_(y), width_(width), height_(height), scene_(scene) {
    thread_ = std::thread([this] { Animate(); });
    while (!shown_ && running_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (!shown_) {
        thread_.join();
        throw std::runtime_error("no display for the moving pattern");
    }
}

MovingPattern::~MovingPattern() {
    running_ = false;
    if (thread_.joinable()) thread_.join();
}

void MovingPattern::Animate() {
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> c(xcb_connect(nullptr, nullptr),
                                                                   &xcb_disconnect);
    if (xcb_connection_has_error(c.get())) {
        running_ = false;
        return;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data;
    const xcb_window_t window = xcb_generate_id(c.get());
    const std::uint32_t values[] = {screen->black_pixel, 1, XCB_EVENT_MASK_EXPOSURE};
    xcb_create_window(c.get(), XCB_COPY_FROM_PARENT, window, screen->root,
                      static_cast<std::int16_t>(x_), static_cast<std::int16_t>(y_),
                      static_cast<std::uint16_t>(width_), static_cast<std::uint16_t>(height_), 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK, values);
    xcb_map_window(c.get(), window);
    const xcb_gcontext_t gc = xcb_generate_id(c.get());
    xcb_create_gc(c.get(), gc, window, 0, nullptr);

    std::uint32_t quadrant[4];
    for (int i = 0; i < 4; ++i)
        quadrant[i] = PixelFor(c.get(), screen->default_colormap, kQuadrants[i]);
    const std::uint32_t bar = PixelFor(c.get(), screen->default_colormap, kBarColor);
    const std::uint32_t black = screen->black_pixel;
    const std::uint32_t terminal = PixelFor(c.get(), screen->default_colormap, kTerminal);
    const std::uint32_t ink = PixelFor(c.get(), screen->default_colormap, kInk);

    auto fill = [&](std::uint32_t pixel, int x, int y, int w, int h) {
        xcb_change_gc(c.get(), gc, XCB_GC_FOREGROUND, &pixel);
        const xcb_rectangle_t r{static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                                static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h)};
        xcb_poly_fill_rectangle(c.get(), window, gc, 1, &r);
    };
    const int halfW = width_ / 2, halfH = height_ / 2;
    const int bandTop = height_ * 4 / 10, bandHeight = height_ * 2 / 10;
    const int barWidth = std::max(4, width_ / 10);
    const int termLeft = width_ / 8, termTop = height_ / 8;
    const int columns = std::clamp((width_ - termLeft) / kCellWidth, 0, kColumns);
    const int lines = std::clamp((height_ - termTop) / kCellHeight, 0, kLines);
    auto cell = [&](long n, int* x, int* y) {
        *x = termLeft + static_cast<int>(n % columns) * kCellWidth;
        *y = termTop + static_cast<int>(n / columns % lines) * kCellHeight;
    };
    auto drawStill = [&] {
        fill(quadrant[0], 0, 0, halfW, halfH);
        fill(quadrant[1], halfW, 0, width_ - halfW, halfH);
        fill(quadrant[2], 0, halfH, halfW, height_ - halfH);
        fill(quadrant[3], halfW, halfH, width_ - halfW, height_ - halfH);
        if (scene_ == Scene::Moving) fill(black, 0, bandTop, width_, bandHeight);
        if (scene_ == Scene::Typing) {
            fill(terminal, termLeft, termTop, columns * kCellWidth, lines * kCellHeight);
        }
    };

    const auto start = std::chrono::steady_clock::now();
    int rounds = 0;
    int lastBarX = -barWidth;
    long typed = 0;
    while (running_) {
        bool exposed = false;
        while (std::unique_ptr<xcb_generic_event_t, Free> event{xcb_poll_for_event(c.get())}) {
            exposed = exposed || (event->response_type & 0x7F) == XCB_EXPOSE;
        }
        if (exposed || rounds == 0) drawStill();
        if (scene_ == Scene::Moving) {
            const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - start)
                                .count();
            const int barX = static_cast<int>((ms % 2000) * (width_ + barWidth) / 2000) - barWidth;
            fill(black, lastBarX, bandTop, barWidth, bandHeight);
            fill(bar, barX, bandTop, barWidth, bandHeight);
            lastBarX = barX;
        } else if (columns > 0 && lines > 0) {
            // A made-up glyph of two strokes in the cell, and the text cursor after it.
            int cx = 0, cy = 0;
            cell(typed, &cx, &cy);
            const auto h = static_cast<std::uint32_t>(typed) * 2654435761u;
            fill(terminal, cx, cy, kCellWidth, kCellHeight);
            fill(ink, cx + 1 + static_cast<int>(h >> 28 & 3), cy + 3, 2, 10);
            fill(ink, cx + 1, cy + 3 + static_cast<int>((h >> 24 & 15) % 10), 6, 2);
            cell(++typed, &cx, &cy);
            fill(bar, cx, cy, kCellWidth, kCellHeight);
        }
        std::unique_ptr<xcb_get_input_focus_reply_t, Free> sync(
            xcb_get_input_focus_reply(c.get(), xcb_get_input_focus(c.get()), nullptr));
        // The first round may race the map; after the second the pattern is on the screen.
        if (++rounds == 2) shown_ = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

pid_t StartPatternProcess(int x, int y, int width, int height, MovingPattern::Scene scene) {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        // Ends with the caller, however the caller ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(ready[0]);
        MovingPattern pattern(x, y, width, height, scene);
        const char ok = 1;
        if (write(ready[1], &ok, 1) != 1) _exit(1);
        close(ready[1]);
        pause();
        _exit(0);
    }
    close(ready[1]);
    char ok = 0;
    if (read(ready[0], &ok, 1) != 1) ok = 0;
    close(ready[0]);
    return ok ? pid : -1;
}

}  // namespace korvex::test
