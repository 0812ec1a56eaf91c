// Millisecond ticks, as the recorder's timing expects them.
#pragma once

#include <cstdint>

namespace platform::clock {

// Monotonic milliseconds as a wrapping 32-bit count (timeGetTime); any thread.
std::uint32_t TickMs();
// Wall-clock milliseconds since the epoch: the "local time" of click and key marks.
std::int64_t LocalTimeMs();

}  // namespace platform::clock
