#include "region/RegionHitTest.h"

namespace region {

HitArea RegionHitTest(int x, int y, int width, int height) {
    const bool left = x < 4;
    const bool right = x > width - 4;
    const bool top = y < 4;
    const bool bottom = y > height - 4;
    if (left && top) return HitArea::TopLeft;
    if (right && top) return HitArea::TopRight;
    if (top) return HitArea::Top;
    if (left && bottom) return HitArea::BottomLeft;
    if (right && bottom) return HitArea::BottomRight;
    if (bottom) return HitArea::Bottom;
    if (left) return HitArea::Left;
    if (right) return HitArea::Right;
    return HitArea::Caption;
}

}  // namespace region
