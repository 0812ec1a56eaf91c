// What changed in a ScreenCast stream's pictures, from the damage its buffers carry: the regions
// of every buffer gathered until the recorder asks, and taken back to the screen's coordinates.
// Plain data in and out: no Qt, X11 or PipeWire. Any thread; a StreamDamage wants one at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/screen/damage.h"
#include "platform/screencast/stream_image.h"

namespace platform::screencast {

// One region of a buffer's damage, in stream pixels, as the stream sends it.
struct StreamRect {
    std::int32_t x = 0, y = 0;
    std::uint32_t width = 0, height = 0;
    friend bool operator==(const StreamRect&, const StreamRect&) = default;
};

class StreamDamage {
public:
    // Everything changed: the first frame, a buffer that tells no damage, a new format or
    // new buffers.
    void MarkAll();
    // One buffer's damage as its metadata holds it: an array that ends at the first empty
    // region. An array without one had more regions than room, so everything changed.
    void Add(std::span<const StreamRect> regions);
    // What changed since the previous call (the first: everything), and forgets it; none for
    // everything.
    std::optional<std::vector<StreamRect>> Take();

private:
    bool all_ = true;
    std::vector<StreamRect> rects_;
};

// The screen rectangles that show the stream rectangles of a frame of that size: each screen
// pixel whose area overlaps a damaged stream pixel, so that no change is missed however the
// frame is scaled. Parts outside the frame are dropped. None when a size is not positive: then
// nothing can be told.
std::optional<std::vector<screen::DamageRect>> DamageOnScreen(std::span<const StreamRect> rects,
                                                              Size frame,
                                                              const Placement& placement);

}  // namespace platform::screencast
