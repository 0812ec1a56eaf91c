// Rows of a recording's frame that changed: from the screen's damage rectangles and the cursor
// image's old and new places to the spans of frame rows (counted from the frame's top) that a
// frame must grab again and a codec must look at. Plain data; any thread.
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "engine/RecordingRegion.h"
#include "platform/vfw/vfw.h"

namespace engine {

using platform::vfw::RowSpan;

// A rectangle in screen pixels.
struct ScreenBox {
    int left = 0, top = 0, width = 0, height = 0;
};

// The frame rows of `region` that the boxes touch, ascending and apart.
std::vector<RowSpan> RowsTouched(std::span<const ScreenBox> boxes, const CaptureRect& region);

// The rows in either set, ascending and apart; spans no more than `gap` rows apart become one.
std::vector<RowSpan> UniteRows(std::span<const RowSpan> a, std::span<const RowSpan> b, int gap = 0);

// How many rows the spans hold.
int RowCount(std::span<const RowSpan> spans);

// The frame rows the cursor image covers when its top-left corner is at frame row `cornerY`
// (none: not drawn), in a frame `height` rows high.
std::vector<RowSpan> CursorRows(std::optional<int> cornerY, int imageHeight, int height);

}  // namespace engine
