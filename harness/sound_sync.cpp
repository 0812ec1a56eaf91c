#include "harness/sound_sync.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <thread>

#include "harness/media_probe.h"

namespace korvex::test {

namespace {

constexpr int kProbeWidth = 16, kProbeHeight = 12;
constexpr int kClickLoudness = 8000;

}  // namespace

FlashWindow::FlashWindow(int x, int y, int width, int height) {
    const char* display = std::getenv("DISPLAY");
    c_ = xcb_connect(display, nullptr);
    if (display == nullptr || xcb_connection_has_error(c_)) {
        xcb_disconnect(c_);
        throw std::runtime_error("no display for the flash window");
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
    black_ = screen->black_pixel;
    white_ = screen->white_pixel;
    window_ = xcb_generate_id(c_);
    const std::uint32_t values[] = {black_, 1};
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, window_, screen->root, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(c_, window_);
    Show(false);
}

FlashWindow::~FlashWindow() {
    xcb_disconnect(c_);
}

void FlashWindow::Show(bool white) {
    const std::uint32_t pixel = white ? white_ : black_;
    xcb_change_window_attributes(c_, window_, XCB_CW_BACK_PIXEL, &pixel);
    xcb_clear_area(c_, 0, window_, 0, 0, 0, 0);
    // A round trip: the server has drawn it when the answer comes.
    std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
}

double FlashAndClick(SoundPlayer& player, FlashWindow& window,
                     std::chrono::steady_clock::time_point when) {
    const auto heard = player.PlayAt(Tone(2000, 960, 30000), when);
    std::this_thread::sleep_until(heard);
    const auto asked = std::chrono::steady_clock::now();
    window.Show(true);
    // Drawn between the request and the answer to the round trip after it.
    const auto shown = asked + (std::chrono::steady_clock::now() - asked) / 2;
    return std::chrono::duration<double>(shown - heard).count();
}

std::chrono::steady_clock::time_point PositionTime(std::uint32_t startTick, int positions,
                                                   int msPerFrame,
                                                   std::chrono::milliseconds extra) {
    using namespace std::chrono;
    const auto now = steady_clock::now();
    const auto tick =
        static_cast<std::uint32_t>(duration_cast<milliseconds>(now.time_since_epoch()).count());
    const steady_clock::time_point start = now - milliseconds(tick - startTick);
    return start + milliseconds(std::int64_t{positions} * msPerFrame) + extra;
}

double Pitch(const std::vector<std::int16_t>& sound) {
    std::vector<double> crossings;
    for (std::size_t i = sound.size() / 4 + 1; i < sound.size() * 3 / 4; ++i) {
        if (sound[i - 1] < 0 && sound[i] >= 0) {
            crossings.push_back(static_cast<double>(i - 1) +
                                -sound[i - 1] / static_cast<double>(sound[i] - sound[i - 1]));
        }
    }
    if (crossings.size() < 3) return 0;
    std::vector<double> periods;
    for (std::size_t i = 1; i < crossings.size(); ++i) {
        periods.push_back(crossings[i] - crossings[i - 1]);
    }
    std::nth_element(periods.begin(), periods.begin() + periods.size() / 2, periods.end());
    return 48000.0 / periods[periods.size() / 2];
}

SyncMarks FindSyncMarks(const std::string& path, int msPerFrame, int width, int height) {
    SyncMarks marks;
    const std::size_t frameBytes = kProbeWidth * kProbeHeight;
    // Constant frame rate output: the n-th picture is position n, gaps filled.
    const CommandResult pictures = RunCommand(
        "ffmpeg -nostdin -v error -i " + Quote(path) + " -map 0:v:0 -vsync cfr -vf " +
        Quote("crop=" + std::to_string(width) + ":" + std::to_string(height) +
              ":0:0,scale=" + std::to_string(kProbeWidth) + ":" + std::to_string(kProbeHeight)) +
        " -f rawvideo -pix_fmt gray -");
    bool bright = false;
    for (std::size_t at = 0, n = 0; at + frameBytes <= pictures.output.size();
         at += frameBytes, ++n) {
        double sum = 0;
        for (std::size_t i = at; i < at + frameBytes; ++i) {
            sum += static_cast<unsigned char>(pictures.output[i]);
        }
        const bool now = sum / static_cast<double>(frameBytes) >= 128;
        if (now && !bright) marks.flashes.push_back(static_cast<double>(n) * msPerFrame / 1000.0);
        bright = now;
    }
    const std::vector<std::int16_t> sound = DecodeSound(path);
    for (std::size_t i = 0; i < sound.size(); ++i) {
        if (std::abs(sound[i]) < kClickLoudness) continue;
        marks.clicks.push_back(static_cast<double>(i) / 48000.0);
        i += 48000 / 4;  // a click lasts 20 ms; the next comes later than a quarter second
    }
    return marks;
}

}  // namespace korvex::test
