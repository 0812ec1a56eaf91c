// The arithmetic of the frame loop: stream positions from elapsed time, dropped positions,
// the sleep between passes and the pacing of status notices. Pure functions.
#pragma once

#include <chrono>
#include <cstdint>

namespace engine {

// Microseconds from start until now, for the per-frame costs.
std::uint64_t MicrosSince(std::chrono::steady_clock::time_point start);

// Stream position for a grab: Round(elapsed / msPerFrame).
std::int32_t FrameIndexFor(std::uint32_t elapsedMs, int msPerFrame);

// Positions between the last written one and frameIndex that got no frame.
std::int32_t SkippedPositions(std::int32_t frameIndex, std::int32_t lastWrittenIndex);

// Whether a grab at frameIndex is written: the first frame always, later ones only past the
// last written position.
bool ShouldWriteFrame(std::int32_t frameIndex, std::int32_t lastWrittenIndex,
                      std::int32_t framesWritten);

// A status notice is due once more than 500 ms have passed since the last one.
bool StatusNoticeDue(std::uint32_t elapsedMs, std::uint32_t lastStatusMs);

// The wait after a pass: what is left of its period, nothing when the pass used it all up.
std::uint32_t WaitAfterPass(std::uint32_t spentMs, int msPerFrame);

// The time a pass has used of its period: from the time of the position it filled (frameIndex
// periods after the start) to now, 0 when it began early. Counting from the position rather than
// from the pass's own start keeps the passes on the positions' timetable, so a late pass (the
// sleeps' overshoot, a busy processor) makes the next wait shorter instead of delaying every
// later pass, which would cost a frame each time the delays add up to half a period.
std::uint32_t SpentInPeriod(std::uint32_t elapsedNowMs, std::int32_t frameIndex, int msPerFrame);

}  // namespace engine
