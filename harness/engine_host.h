// The program around a recording engine under test: message boxes are recorded and answered,
// completions are queued until the test thread (standing in for the GUI thread) runs them.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Korvex_ScrCam_Unit.h"

namespace korvex::test {

struct Alert {
    std::string caption, text;
    unsigned style = 0;
};

class EngineHost {
public:
    engine::EngineServices Services();
    // The button every later box is answered with (an ID* value); No unless told.
    void Answer(int answer) { answer_ = answer; }
    std::vector<Alert> Alerts();
    // Runs what the workers posted; true when something ran.
    bool Drain();
    // Serves posted calls until cond holds; false after the timeout.
    bool WaitFor(const std::function<bool()>& cond, int timeoutMs = 30000);

private:
    std::mutex mutex_;
    std::vector<Alert> alerts_;
    std::vector<std::function<void()>> posted_;
    std::atomic<int> answer_{7};
};

// A frame's picture as packed RGB24, top row first, as ffmpeg decodes it; 32-bit frames only.
std::vector<std::uint8_t> FrameRgb(const engine::FrameBlock& frame);

// Moves the pointer (and the cursor image drawn beside it) to a root position.
void WarpPointer(int x, int y);

}  // namespace korvex::test
