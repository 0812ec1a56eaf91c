// How the driver's quality, 0 (smallest frames) to 10000 (best pictures), becomes each encoder's
// own quality setting. Plain functions of numbers, safe on any thread.
#pragma once

#include <cstdint>

namespace platform::vfw {

// What ICQUALITY_DEFAULT stands for: the recorder's own default quality.
constexpr std::int32_t kDefaultQuality = 7500;

// The fixed quantiser of the MPEG-style encoders (MJPEG, MPEG-4): 1 + 30 x (1 - quality/10000)^2,
// rounded, so 31 at quality 0, 18 at 2500, 3 at 7500 and 1 at 10000. The square spends the
// upper half of the scale on the fine quantisers where screen text stays legible. Quality
// outside 0..10000 counts as the nearer end.
int QScaleFor(std::int32_t quality);

// x264's constant rate factor: 51 at quality 0 down to 10 at 10000 in even steps, so 7500 gives
// 20.25. Below 10 the frames grow fast for no visible gain, and 0 would switch x264 to lossless
// coding in a profile few players take.
double CrfFor(std::int32_t quality);

}  // namespace platform::vfw
