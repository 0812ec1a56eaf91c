// A known picture on the screen of a test display, so that captures can be compared with it.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/virtual_display.h"

namespace korvex::test {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// An override-redirect window on a connection of its own, filled with a picture through
// PutImage. The window goes when the object does.
class PatternWindow {
  public:
    using Picture = std::function<Rgb(int x, int y)>;

    // Returns once the picture is on the screen at (x, y) in root coordinates; throws
    // std::runtime_error when the window cannot be made or a colour cannot be allocated.
    PatternWindow(const std::string& display, int x, int y, int width, int height,
                  const Picture& picture);

    xcb_window_t Window() const { return window_; }
    // The colour the screen shows at (x, y) of the window, 8 bits per channel: the picture's
    // own colour on a true-colour screen (to the precision of its masks), the allocated colour
    // cell's on a colormapped one.
    Rgb Shown(int x, int y) const;

  private:
    XcbConnection connection_;
    xcb_window_t window_ = XCB_NONE;
    int width_ = 0;
    std::vector<Rgb> shown_;
};

}  // namespace korvex::test
