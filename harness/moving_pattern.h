// A window that shows the same animation every run: four still quadrants of known colours and
// a white bar that sweeps across the middle band. Tests and benchmarks record it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <thread>

namespace korvex::test {

class MovingPattern {
public:
    // Opens an override-redirect window at (x, y, width, height) on $DISPLAY and animates it
    // from its own thread until destroyed. Throws std::runtime_error without a display.
    MovingPattern(int x, int y, int width, int height);
    ~MovingPattern();
    MovingPattern(const MovingPattern&) = delete;
    MovingPattern& operator=(const MovingPattern&) = delete;

    // Colour (0xRRGGBB) of the still quadrant that holds window point (px, py); the middle
    // band from 40 % to 60 % of the height is where the bar moves.
    static std::uint32_t QuadrantColor(int px, int py, int width, int height);
    static constexpr std::uint32_t kBarColor = 0xFFFFFF;

private:
    void Animate();

    int x_, y_, width_, height_;
    std::atomic<bool> running_{true};
    std::atomic<bool> shown_{false};
    std::thread thread_;
};

// The pattern at (x, y, width, height) in a process of its own, so that its work is not counted
// as the caller's; returns once it is shown, with the process id (-1 on failure).
pid_t StartPatternProcess(int x, int y, int width, int height);

}  // namespace korvex::test
