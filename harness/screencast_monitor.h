// A monitor for the ScreenCast back end of the tests and benchmarks: a real PipeWire video source
// made by GStreamer, showing a fixed picture with more pixels than the test display has, as a
// scaled desktop sends them, and registered with the back end as the monitor it offers.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace korvex::test {

// The back end's control folder, from the session around the tests.
std::filesystem::path ScreenCastControl();
// Writes what the back end answers to Start: "ok", "cancel" or "refuse".
void SetScreenCastAnswer(const std::string& answer);
// The back end's calls so far, one line each.
std::string ScreenCastCalls();
// Whether PipeWire has a node of that name now.
bool PipeWireNodeExists(const std::string& name);

class MonitorSource {
public:
    // Streams the picture at scale times width x height and offers it as the monitor of that
    // logical size at (0, 0); returns once the node exists. Throws std::runtime_error when it
    // does not come.
    MonitorSource(int width, int height, int scale);
    ~MonitorSource();  // the node goes away
    MonitorSource(const MonitorSource&) = delete;
    MonitorSource& operator=(const MonitorSource&) = delete;

    // Ends the stream as a desktop does that stops sharing.
    void Stop();

    // The picture's rectangle (x, y, width, height) in logical pixels as packed RGB24, scaled
    // down by ffmpeg, not by us; empty on failure.
    std::vector<std::uint8_t> Expected(int x, int y, int width, int height) const;

private:
    int width_ = 0, height_ = 0, scale_ = 1;
    pid_t pid_ = -1;
};

}  // namespace korvex::test
