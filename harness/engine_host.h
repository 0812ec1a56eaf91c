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

// Whole grabs of a recording's rectangle, each taken once a few frames were written after a
// change, to set beside the frames the recording decodes to (32-bit screens, lossless codec).
class WholeGrabs {
public:
    WholeGrabs(engine::TScreenCam& cam, EngineHost& host, engine::CaptureRect rect)
        : cam_(cam), host_(host), rect_(rect) {}
    // False when three more frames were not written in time or the grab failed.
    bool After();
    std::size_t Count() const { return grabs_.size(); }
    const std::vector<std::uint8_t>& Grab(std::size_t i) const { return grabs_[i]; }

    struct Found {
        std::string decodeErrors;           // ffmpeg's complaints
        std::vector<std::size_t> notShown;  // the grabs no frame of the file shows
        bool endsOnLast = false;            // the file's last frame shows the last grab
    };
    Found In(const std::string& path) const;

private:
    engine::TScreenCam& cam_;
    EngineHost& host_;
    engine::CaptureRect rect_;
    std::vector<std::vector<std::uint8_t>> grabs_;
};

// Moves the pointer (and the cursor image drawn beside it) to a root position.
void WarpPointer(int x, int y);

}  // namespace korvex::test
