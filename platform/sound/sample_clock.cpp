#include "platform/sound/sample_clock.h"

#include <algorithm>

namespace platform::sound {

SampleClock::SampleClock(std::uint32_t rate, std::int64_t toleranceUs)
    : rate_(rate), toleranceUs_(toleranceUs) {}

std::int64_t SampleClock::Place(std::int64_t timeUs, std::int64_t samples) {
    if (!firstUs_) {
        firstUs_ = timeUs;
        placed_ = samples;
        return 0;
    }
    const std::int64_t due = (timeUs - *firstUs_) * rate_ / 1'000'000;
    const std::int64_t tolerance = toleranceUs_ * rate_ / 1'000'000;
    std::int64_t shift = 0;
    if (due - placed_ > tolerance) {
        shift = due - placed_;
    } else if (placed_ - due > tolerance) {
        shift = -std::min(placed_ - due, samples);
    }
    placed_ += samples + shift;
    return shift;
}

}  // namespace platform::sound
