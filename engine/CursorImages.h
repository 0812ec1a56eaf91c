// The program's cursor images 201..215 as plain pixel arrays for the frame overlay.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "engine/CursorOverlay.h"
#include "engine/CursorState.h"

namespace engine {

class CursorImages {
public:
    // Loads all images once from the program's resources.
    CursorImages();

    // Non-premultiplied 0xAARRGGBB, 32 x 32, top row first; all transparent for an unknown id.
    std::span<const std::uint32_t> Image(int id) const;

private:
    static constexpr int kFirst = CursorId(Cursor::HighlightA);
    static constexpr int kCount = CursorId(Cursor::F12Dissatisfied) - kFirst + 1;
    using Pixels = std::array<std::uint32_t, kCursorSize * kCursorSize>;
    std::array<Pixels, kCount> images_{};
    Pixels empty_{};
};

}  // namespace engine
