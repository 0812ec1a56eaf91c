#include "engine/Narration.h"

#include <algorithm>
#include <limits>
#include <thread>

#include "engine/SoundTiming.h"

namespace engine {

namespace avi = platform::avifile;
namespace sound = platform::sound;

namespace {

using Clock = std::chrono::steady_clock;

// How long the end waits for samples captured before the stop that are still on their way.
constexpr auto kTailWait = std::chrono::milliseconds(300);
constexpr auto kTailPoll = std::chrono::milliseconds(5);

std::int64_t Microseconds(Clock::time_point time) {
    return std::chrono::duration_cast<std::chrono::microseconds>(time.time_since_epoch()).count();
}

}  // namespace

Narration::Narration(std::unique_ptr<sound::Capture> capture) : capture_(std::move(capture)) {}

avi::PcmFormat Narration::Format() const {
    return avi::PcmFormat{sound::kSampleRate, capture_->Channels(), sound::kBitsPerSample};
}

void Narration::Begin(Clock::time_point start) {
    start_ = start;
}

bool Narration::Align() {
    if (aligned_) return true;
    const auto first = capture_->FirstSampleTime();
    if (!first) return false;
    const std::int64_t shift =
        SoundShift(Microseconds(start_), Microseconds(*first), sound::kSampleRate);
    const std::size_t sampleSize = capture_->SampleSize();
    if (shift > 0) {
        skip_ = static_cast<std::uint64_t>(shift) * sampleSize;
    } else {
        pending_.assign(static_cast<std::size_t>(-shift) * sampleSize, std::byte{0});
    }
    aligned_ = true;
    return true;
}

void Narration::TakeCaptured() {
    if (!Align()) return;
    const std::size_t before = pending_.size();
    capture_->Take(pending_, std::numeric_limits<std::size_t>::max());
    const auto skipped =
        static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(skip_, pending_.size() - before));
    pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(before),
                   pending_.begin() + static_cast<std::ptrdiff_t>(before) + skipped);
    skip_ -= static_cast<std::uint64_t>(skipped);
}

bool Narration::WriteCaptured(avi::PAVISTREAM stream) {
    TakeCaptured();
    const bool written = Write(stream, pending_);
    pending_.clear();
    return written;
}

bool Narration::WriteEnd(avi::PAVISTREAM stream, std::uint64_t samples) {
    const std::size_t needed =
        samples > written_ ? static_cast<std::size_t>(samples - written_) * capture_->SampleSize()
                           : 0;
    const Clock::time_point deadline = Clock::now() + kTailWait;
    for (;;) {
        TakeCaptured();
        if (pending_.size() >= needed || capture_->Broken() || Clock::now() >= deadline) break;
        std::this_thread::sleep_for(kTailPoll);
    }
    pending_.resize(needed, std::byte{0});
    const bool written = Write(stream, pending_);
    pending_.clear();
    return written;
}

bool Narration::Write(avi::PAVISTREAM stream, std::span<const std::byte> bytes) {
    const std::size_t sampleSize = capture_->SampleSize();
    const std::size_t samples = bytes.size() / sampleSize;
    if (samples == 0) return true;
    const avi::HRESULT result = avi::AVIStreamWrite(
        stream, static_cast<std::int32_t>(written_), static_cast<std::int32_t>(samples),
        bytes.data(), static_cast<std::int32_t>(samples * sampleSize), avi::AVIIF_KEYFRAME, nullptr,
        nullptr);
    if (result != avi::AVIERR_OK) return false;
    written_ += samples;
    return true;
}

}  // namespace engine
