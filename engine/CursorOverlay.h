// Drawing a 32 x 32 ARGB cursor image into a DIB at its own depth: alpha-blended, clipped to
// the frame. Pure function of plain data.
#pragma once

#include <cstddef>
#include <cstdint>
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

}  // namespace engine
