#include "engine/RecordTiming.h"

#include "settings/FrameRate.h"

namespace engine {

using app::settings::RoundHalfEven;
using app::settings::SaneMsPerFrame;

std::uint64_t MicrosSince(std::chrono::steady_clock::time_point start) {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
}

std::int32_t FrameIndexFor(std::uint32_t elapsedMs, int msPerFrame) {
    return static_cast<std::int32_t>(
        RoundHalfEven(static_cast<double>(elapsedMs) / SaneMsPerFrame(msPerFrame)));
}

std::int32_t SkippedPositions(std::int32_t frameIndex, std::int32_t lastWrittenIndex) {
    const std::int64_t gap = std::int64_t{frameIndex} - lastWrittenIndex - 1;
    return gap > 0 ? static_cast<std::int32_t>(gap) : 0;
}

bool ShouldWriteFrame(std::int32_t frameIndex, std::int32_t lastWrittenIndex,
                      std::int32_t framesWritten) {
    // Position 0 is taken by the first frame only; a second grab there would overwrite it.
    if (frameIndex == 0) return framesWritten == 0;
    return frameIndex > lastWrittenIndex;
}

bool StatusNoticeDue(std::uint32_t elapsedMs, std::uint32_t lastStatusMs) {
    return std::uint64_t{elapsedMs} > std::uint64_t{lastStatusMs} + 500;
}

std::uint32_t SpentInPeriod(std::uint32_t elapsedNowMs, std::int32_t frameIndex, int msPerFrame) {
    const std::int64_t spent =
        std::int64_t{elapsedNowMs} - std::int64_t{frameIndex} * SaneMsPerFrame(msPerFrame);
    return spent > 0 ? static_cast<std::uint32_t>(spent) : 0;
}

std::uint32_t WaitAfterPass(std::uint32_t spentMs, int msPerFrame) {
    const auto period = static_cast<std::uint32_t>(SaneMsPerFrame(msPerFrame));
    return spentMs >= period ? 0 : period - spentMs;
}

}  // namespace engine
