// The sound track of one recording: the capture of the default input and the sound stream of
// the AVI file it goes into. The file's sample 0 is the sound of the moment the frame loop
// begins; from there the samples are counted, so the sound's length never comes from the wall
// clock and dropped frames do not move it. Recording worker only.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/avifile/avifile.h"
#include "platform/avifile/wave_format.h"
#include "platform/sound/sound.h"

namespace engine {

class Narration {
public:
    // Takes over a running capture.
    explicit Narration(std::unique_ptr<platform::sound::Capture> capture);

    platform::avifile::PcmFormat Format() const;
    // The moment that the file's sample 0 stands for.
    void Begin(std::chrono::steady_clock::time_point start);
    // Writes what has been captured since the last call to stream; false when the file refused
    // it. Nothing is written before the first sample has come.
    bool WriteCaptured(platform::avifile::PAVISTREAM stream);
    // Ends the sound at exactly samples samples: what the input still delivers of them within a
    // moment, then silence; what goes beyond is left out. False when the file refused it.
    bool WriteEnd(platform::avifile::PAVISTREAM stream, std::uint64_t samples);
    // True once the input has gone during the recording; reported once by the caller.
    bool Lost() const { return capture_->Broken(); }

private:
    // Places the capture on the file's time line once the first sample's time is known: false
    // before that.
    bool Align();
    // Appends what the capture holds to pending_, less what lies before the recording's start.
    void TakeCaptured();
    bool Write(platform::avifile::PAVISTREAM stream, std::span<const std::byte> bytes);

    std::unique_ptr<platform::sound::Capture> capture_;
    std::chrono::steady_clock::time_point start_;
    bool aligned_ = false;
    std::uint64_t skip_ = 0;     // captured bytes still to leave out at the head
    std::uint64_t written_ = 0;  // samples in the file
    std::vector<std::byte>
        pending_;  // for the file, beginning with silence if the capture began late
};

}  // namespace engine
