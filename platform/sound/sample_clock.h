// Where captured samples belong in time. The samples are counted: sample n of a capture is
// n / rate after the first one, whatever the wall clock says. Only when the count and the
// moments the chunks were captured part by more than a tolerance has the input lost samples
// (an overrun of the device or of the server) or sent some twice; the gap is then filled with
// silence, or the surplus left out, so that the sound after it keeps its place. Needs neither Qt
// nor libpulse.
#pragma once

#include <cstdint>
#include <optional>

namespace platform::sound {

class SampleClock {
public:
    // rate above 0; toleranceUs: how far count and clock may part before a gap is assumed.
    SampleClock(std::uint32_t rate, std::int64_t toleranceUs);

    // For a chunk of samples whose first sample was captured at timeUs: the samples of silence
    // to put before it (above 0) or of its head to leave out (below 0). The first chunk sets
    // where the count begins. Counts the chunk as placed.
    std::int64_t Place(std::int64_t timeUs, std::int64_t samples);
    // When the first sample was captured, once a chunk has come.
    std::optional<std::int64_t> FirstUs() const { return firstUs_; }

private:
    std::uint32_t rate_;
    std::int64_t toleranceUs_;
    std::optional<std::int64_t> firstUs_;
    std::int64_t placed_ = 0;  // samples from the first one on, silence included
};

}  // namespace platform::sound
