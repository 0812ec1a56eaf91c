// The pictures of a ScreenCast stream in the X screen's terms: where the shared monitor lies on
// the XWayland screen, a rectangle of that screen cut out of a stream frame, and the stream's
// cursor position taken back to the screen. Plain data in and out: no Qt, X11 or PipeWire, so
// unit tests reach every edge. Any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/screen/capture_source.h"
#include "platform/screen/dib.h"

namespace platform::screencast {

using screen::Point;

// The byte order of a stream's 32-bit pixels in memory; the fourth byte is never read.
enum class PixelOrder { BGRx, BGRA, RGBx, RGBA };

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// One frame as the stream delivered it: rows top-down, borrowed.
struct StreamFrame {
    const std::uint8_t* data = nullptr;
    std::size_t stride = 0;
    int width = 0;
    int height = 0;
    PixelOrder order = PixelOrder::BGRx;
};

// The monitor's rectangle on the XWayland screen. A frame of any pixel size covers it whole:
// scaled desktops send more pixels than the rectangle has.
struct Placement {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Placement&, const Placement&) = default;
};

// The portal's position and size of the stream when it told them, else the whole XWayland
// screen; a size without a positive width and height counts as not told.
Placement PlacementOf(std::optional<Point> position, std::optional<Size> size, Size xwayland);

// The channel masks that make a captured image of this order readable by ConvertToDib.
screen::NativeImage ImageLayout(PixelOrder order);

// Copies the screen rectangle (left, top, width, height) out of frame into out as 32-bit rows
// top-down (stride width x 4) in the frame's own byte order, picking the nearest stream pixel;
// what lies outside the frame comes out black. False when out is too small or the sizes are
// not positive.
bool CutOut(const StreamFrame& frame, const Placement& placement, int left, int top, int width,
            int height, std::span<std::uint8_t> out);

// A point of the frame in stream pixels (the cursor's position) on the screen.
Point PointOnScreen(Point streamPixel, Size frame, const Placement& placement);
// A distance in stream pixels (the cursor's hot spot) in screen pixels.
Point DistanceOnScreen(Point streamPixels, Size frame, const Placement& placement);

}  // namespace platform::screencast
