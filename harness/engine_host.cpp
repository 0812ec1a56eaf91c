#include "harness/engine_host.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "harness/media_probe.h"

namespace korvex::test {

engine::EngineServices EngineHost::Services() {
    engine::EngineServices s;
    s.Alert = [this](const std::string& caption, const std::string& text, unsigned style) {
        std::lock_guard lock(mutex_);
        alerts_.push_back({caption, text, style});
        return answer_.load();
    };
    s.PostToMain = [this](std::function<void()> fn) {
        std::lock_guard lock(mutex_);
        posted_.push_back(std::move(fn));
    };
    return s;
}

std::vector<Alert> EngineHost::Alerts() {
    std::lock_guard lock(mutex_);
    return alerts_;
}

bool EngineHost::Drain() {
    std::vector<std::function<void()>> run;
    {
        std::lock_guard lock(mutex_);
        run.swap(posted_);
    }
    for (auto& fn : run) fn();
    return !run.empty();
}

bool EngineHost::WaitFor(const std::function<bool()>& cond, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!cond()) {
        Drain();
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::vector<std::uint8_t> FrameRgb(const engine::FrameBlock& frame) {
    const auto& h = frame.Header();
    std::vector<std::uint8_t> rgb;
    rgb.reserve(static_cast<std::size_t>(h.biWidth) * h.biHeight * 3);
    for (int y = h.biHeight - 1; y >= 0; --y) {
        const std::uint8_t* row = frame.Pixels().data() + frame.Stride() * y;
        for (int x = 0; x < h.biWidth; ++x) {
            rgb.insert(rgb.end(), {row[4 * x + 2], row[4 * x + 1], row[4 * x]});
        }
    }
    return rgb;
}

void WarpPointer(int x, int y) {
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> c(xcb_connect(nullptr, nullptr),
                                                                   &xcb_disconnect);
    if (xcb_connection_has_error(c.get())) return;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data;
    xcb_warp_pointer(c.get(), XCB_NONE, screen->root, 0, 0, 0, 0, static_cast<std::int16_t>(x),
                     static_cast<std::int16_t>(y));
    std::free(xcb_get_input_focus_reply(c.get(), xcb_get_input_focus(c.get()), nullptr));
}

bool WholeGrabs::After() {
    const int written = cam_.FramesWritten;
    if (!host_.WaitFor([&] { return cam_.FramesWritten >= written + 3; })) return false;
    engine::PFrame whole = cam_.GrabFrame(rect_.left, rect_.top, rect_.width, rect_.height);
    if (!whole) return false;
    grabs_.push_back(FrameRgb(*whole));
    return true;
}

WholeGrabs::Found WholeGrabs::In(const std::string& path) const {
    Found found;
    found.decodeErrors = DecodeErrors(path);
    if (grabs_.empty()) return found;
    const auto frames = DecodeFramesRgb(path, grabs_.front().size());
    for (std::size_t i = 0; i < grabs_.size(); ++i) {
        if (std::find(frames.begin(), frames.end(), grabs_[i]) == frames.end()) {
            found.notShown.push_back(i);
        }
    }
    found.endsOnLast = !frames.empty() && frames.back() == grabs_.back();
    return found;
}

}  // namespace korvex::test
