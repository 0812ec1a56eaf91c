// Fitting a frame size to what a codec takes: the region's own size first, then its width and
// height aligned to multiples of 2, 4 and 8, rounding down at the screen's edge.
#pragma once

#include <functional>

namespace engine {

// d aligned up to a multiple of step, or down when that would pass limit.
int AlignDimension(int d, int step, int limit);

struct AlignmentOutcome {
    bool accepted = false;  // some size was accepted
    int step = 1;           // 1 for the region's own size; 2, 4 or 8 after alignment; 16 refused
    int width = 0;
    int height = 0;
};

// Asks accepts(width, height) about the region's own size and then the aligned sizes, in
// order, until one is accepted. At most four questions.
AlignmentOutcome AlignFrameSize(int width, int height, int screenWidth, int screenHeight,
                                const std::function<bool(int width, int height)>& accepts);

}  // namespace engine
