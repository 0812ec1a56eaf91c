#include "engine/SoundTiming.h"

#include <numeric>

#include "settings/FrameRate.h"

namespace engine {

std::int64_t SoundShift(std::int64_t recordingStartUs, std::int64_t firstSampleUs,
                        std::uint32_t sampleRate) {
    const double samples =
        static_cast<double>(recordingStartUs - firstSampleUs) * sampleRate / 1'000'000.0;
    return app::settings::RoundHalfEven(samples);
}

std::uint64_t SoundSamplesFor(std::int64_t positions, int msPerFrame, std::uint32_t sampleRate) {
    if (positions <= 0) return 0;
    return static_cast<std::uint64_t>(positions) *
           static_cast<std::uint64_t>(app::settings::SaneMsPerFrame(msPerFrame)) * sampleRate /
           1000;
}

StreamRate ExactVideoRate(int msPerFrame) {
    const auto period = static_cast<std::uint32_t>(app::settings::SaneMsPerFrame(msPerFrame));
    const std::uint32_t common = std::gcd(1000u, period);
    return StreamRate{1000 / common, period / common};
}

}  // namespace engine
