#include "settings/FrameRate.h"

#include <cmath>

#include "settings/SettingsTable.h"

namespace app::settings {

std::int64_t RoundHalfEven(double value) {
    // nearbyint follows the current rounding mode; the default mode rounds ties to even.
    return static_cast<std::int64_t>(std::nearbyint(value));
}

int SaneMsPerFrame(int msPerFrame) {
    return msPerFrame > 0 ? msPerFrame : kMsPerFrame.Default();
}

int FramesPerSecondFor(int msPerFrame) {
    return static_cast<int>(RoundHalfEven(1000.0 / SaneMsPerFrame(msPerFrame)));
}

}  // namespace app::settings
