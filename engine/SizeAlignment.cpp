#include "engine/SizeAlignment.h"

namespace engine {

int AlignDimension(int d, int step, int limit) {
    const int r = d % step;
    if (r == 0) return d;
    const int up = d + step - r;
    return up > limit ? d - r : up;
}

AlignmentOutcome AlignFrameSize(int width, int height, int screenWidth, int screenHeight,
                                const std::function<bool(int, int)>& accepts) {
    AlignmentOutcome outcome{false, 1, width, height};
    while (!accepts(outcome.width, outcome.height)) {
        outcome.step *= 2;
        if (outcome.step > 8) {
            outcome.width = width;
            outcome.height = height;
            return outcome;
        }
        outcome.width = AlignDimension(width, outcome.step, screenWidth);
        outcome.height = AlignDimension(height, outcome.step, screenHeight);
    }
    outcome.accepted = true;
    return outcome;
}

}  // namespace engine
