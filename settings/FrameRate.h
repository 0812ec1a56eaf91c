// The frame period and the rates derived from it. Pure functions.
#pragma once

#include <cstdint>

namespace app::settings {

// Rounds to nearest, ties to even.
std::int64_t RoundHalfEven(double value);

// A usable frame period: the value itself when positive, else the default 200 ms.
int SaneMsPerFrame(int msPerFrame);

// Frames per second for a frame period: Round(1000 / msPerFrame). A period of 0 or below
// cannot come from the program itself; it is read as the default 200 ms.
int FramesPerSecondFor(int msPerFrame);

}  // namespace app::settings
