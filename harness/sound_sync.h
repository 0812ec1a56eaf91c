// Measuring whether sound and picture are in step in a recording: a window that flashes white
// over the recorded region while the player clicks, and where ffmpeg finds the flashes and the
// clicks in the file.
#pragma once

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "harness/sound_server.h"

namespace korvex::test {

// A black override-redirect window at (x, y, width, height) on $DISPLAY, on a connection of its
// own. Throws std::runtime_error without a display.
class FlashWindow {
public:
    FlashWindow(int x, int y, int width, int height);
    ~FlashWindow();
    FlashWindow(const FlashWindow&) = delete;
    FlashWindow& operator=(const FlashWindow&) = delete;
    // Returns once the server shows the window white (or black again).
    void Show(bool white);

private:
    xcb_connection_t* c_ = nullptr;
    xcb_window_t window_ = 0;
    std::uint32_t black_ = 0, white_ = 0;
};

// Plays a short loud click to be heard at when and flashes the window white at that moment.
// Returns how many seconds after the click the flash was on the screen: the staging's own
// error, which a measurement takes off.
double FlashAndClick(SoundPlayer& player, FlashWindow& window,
                     std::chrono::steady_clock::time_point when);

// The moment of a recording's frame position: start (the engine's StartTick, a TickMs value)
// plus positions frame periods plus extra.
std::chrono::steady_clock::time_point PositionTime(std::uint32_t startTick, int positions,
                                                   int msPerFrame, std::chrono::milliseconds extra);

// The pitch of a tone: the median period between rising zero crossings over the middle half of
// the sound, as a frequency at 48,000 Hz. The median passes over gaps in the sound.
double Pitch(const std::vector<std::int16_t>& sound);

// Seconds from the file's start at which the flash window (width x height at the picture's top
// left) turns bright, by frame position (msPerFrame apart), and at which a click begins in the
// sound.
struct SyncMarks {
    std::vector<double> flashes;
    std::vector<double> clicks;
};
SyncMarks FindSyncMarks(const std::string& path, int msPerFrame, int width, int height);

}  // namespace korvex::test
