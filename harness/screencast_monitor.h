// Monitors for the ScreenCast back end of the tests and benchmarks: real PipeWire video sources
// registered with the back end as the monitor it offers. MonitorSource is made by GStreamer and
// shows a fixed picture with more pixels than the test display has, as a scaled desktop sends
// them; DrawnMonitor shows a picture the caller draws on and tells what changed, as mutter does.
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

// How a DrawnMonitor tells what changed between its frames: in each frame's damage metadata,
// not at all, or by offering the metadata and never filling it in.
enum class DamageMeta { Sent, Absent, Unwritten };

class DrawnMonitor {
public:
    // Streams a picture of streamWidth x streamHeight pixels 30 times a second and offers it as
    // the monitor of logical size width x height at (0, 0); returns once the node exists.
    // Throws std::runtime_error when it does not come.
    DrawnMonitor(int width, int height, int streamWidth, int streamHeight, DamageMeta damage);
    ~DrawnMonitor();  // the node goes away
    DrawnMonitor(const DrawnMonitor&) = delete;
    DrawnMonitor& operator=(const DrawnMonitor&) = delete;

    // Paints a rectangle of stream pixels in one colour (0xRRGGBB); returns once a frame that
    // shows it has been sent. False when the source is gone.
    bool Fill(int x, int y, int width, int height, std::uint32_t rgb);
    // From now on one character cell of the rectangle changes in every frame, as in typing.
    bool Type(int x, int y, int width, int height);

private:
    bool Send(const std::string& line);
    void End();

    pid_t pid_ = -1;
    int commands_ = -1;  // the source's input
    int answers_ = -1;   // its output
};

}  // namespace korvex::test
