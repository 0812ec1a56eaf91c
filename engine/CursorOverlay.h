// Drawing a 32 x 32 ARGB cursor image into a DIB at its own depth: alpha-blended, clipped to
// the frame. Pure function of plain data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace engine {

constexpr int kCursorSize = 32;

// A DIB's pixel rows (bottom-up) and, at 8 bits, its colour table (BGRX entries).
struct DibView {
    std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    int bitsPerPixel = 32;
    std::span<const std::uint32_t> colorTable;
};

// Blends the image (non-premultiplied 0xAARRGGBB, 32 x 32, top row first) with its top-left
// corner at (x, y) in top-down frame coordinates. Parts outside the frame are left out; at
// 8 bits each blended colour is mapped to the nearest colour-table entry.
void DrawCursor(const DibView& dib, int x, int y, std::span<const std::uint32_t> argb);

// Where the cursor image's top-left corner goes in a frame whose top-left corner lies at
// (left, top) on the screen: 10 pixels right of and below the corner of the pointer's own
// cursor image, whose hot spot (when known) sits at the pointer. None when the pointer position
// is unknown: then no cursor is drawn at all.
struct FramePoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const FramePoint&, const FramePoint&) = default;
};
std::optional<FramePoint> CursorImageCorner(std::optional<FramePoint> pointer,
                                            std::optional<FramePoint> hotSpot, int left, int top);

}  // namespace engine
