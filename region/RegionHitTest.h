// Which part of the region frame a point falls on: the grip bands that size it, and the face
// that moves it. Pure function of plain numbers.
#pragma once

namespace region {

// The window-manager hit-test codes the answers stand for.
enum class HitArea : int {
    Caption = 2,
    Left = 10,
    Right = 11,
    Top = 12,
    TopLeft = 13,
    TopRight = 14,
    Bottom = 15,
    BottomLeft = 16,
    BottomRight = 17,
};

// x, y relative to the window's top-left corner; width, height the window's size. The left
// and top bands are 4 pixels wide, the right and bottom ones 3, and the corners win over the
// edges.
HitArea RegionHitTest(int x, int y, int width, int height);

}  // namespace region
