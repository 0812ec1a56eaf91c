// The arithmetic that keeps the sound in step with the frames: where the captured samples begin
// in the file, how long the sound of a number of frame positions is, and the video stream's
// rate when sound goes with it. Pure functions.
#pragma once

#include <cstdint>

namespace engine {

// Samples to leave out at the head of the capture (positive) or silence to put before it
// (negative), so that the file's sample 0 is the sound of the recording's start. Both times
// are microseconds on one clock; Round as the frame positions round.
std::int64_t SoundShift(std::int64_t recordingStartUs, std::int64_t firstSampleUs,
                        std::uint32_t sampleRate);

// Samples that last as long as positions frame periods.
std::uint64_t SoundSamplesFor(std::int64_t positions, int msPerFrame, std::uint32_t sampleRate);

// The video stream's rate as rate / scale positions per second.
struct StreamRate {
    std::uint32_t rate = 1;
    std::uint32_t scale = 1;
};
// With sound the video's rate must be the frame period's own, 1000 / msPerFrame in lowest terms:
// positions are a frame period apart in time, and the rounded frames per second would let the
// picture run ahead of the sound (0.5 % at 67 ms, three seconds in ten minutes).
StreamRate ExactVideoRate(int msPerFrame);

}  // namespace engine
