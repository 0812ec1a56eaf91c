#include "platform/vfw/quality_mapping.h"

#include <algorithm>
#include <cmath>

namespace platform::vfw {

namespace {

std::int32_t Clamped(std::int32_t quality) {
    return std::clamp(quality, 0, 10000);
}

}  // namespace

int QScaleFor(std::int32_t quality) {
    const double coarse = (10000 - Clamped(quality)) / 10000.0;
    return static_cast<int>(std::lround(1.0 + 30.0 * coarse * coarse));
}

double CrfFor(std::int32_t quality) {
    return 51.0 - 41.0 * Clamped(quality) / 10000.0;
}

}  // namespace platform::vfw
