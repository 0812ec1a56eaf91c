// A window that shows the same animation every run: four still quadrants of known colours and,
// as its scene, either a white bar that sweeps across the middle band or a terminal in which
// characters are typed. Tests and benchmarks record it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <thread>

namespace korvex::test {

class MovingPattern {
public:
    enum class Scene {
        Moving,  // the bar crosses the window once every two seconds
        Typing,  // one character every 20 ms in an 80 x 24 terminal of 8 x 16 cells
    };

    // Opens an override-redirect window at (x, y, width, height) on $DISPLAY and animates it
    // from its own thread until destroyed. Each round draws only what the scene changes; the
    // whole window is drawn again when the server asks for it (Expose). Throws
    // std::runtime_error without a display.
    MovingPattern(int x, int y, int width, int height, Scene scene = Scene::Moving);
    ~MovingPattern();
    MovingPattern(const MovingPattern&) = delete;
    MovingPattern& operator=(const MovingPattern&) = delete;

    // Colour (0xRRGGBB) of the still quadrant that holds window point (px, py); the middle
    // band from 40 % to 60 % of the height is where the bar moves, and the terminal of the
    // typing scene covers the window from (width / 8, height / 8) on.
    static std::uint32_t QuadrantColor(int px, int py, int width, int height);
    static constexpr std::uint32_t kBarColor = 0xFFFFFF;

private:
    void Animate();

    int x_, y_, width_, height_;
    Scene scene_;
    std::atomic<bool> running_{true};
    std::atomic<bool> shown_{false};
    std::thread thread_;
};

// The pattern at (x, y, width, height) in a process of its own, so that its work is not counted
// as the caller's; returns once it is shown, with the process id (-1 on failure).
pid_t StartPatternProcess(int x, int y, int width, int height,
                          MovingPattern::Scene scene = MovingPattern::Scene::Moving);

}  // namespace korvex::test
