// A bounded buffer of captured sound between the capture thread (one producer) and the recorder
// (one consumer). When it is full, what comes next is not stored but counted, and handed out as
// silence once everything before it has been taken: the sound keeps its length and its place in
// time, only the lost part is quiet. Needs neither Qt nor libpulse.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace platform::sound {

class SampleBuffer {
public:
    // capacity and every amount are in bytes; sampleSize is the bytes of one sample of all
    // channels, above 0.
    SampleBuffer(std::size_t capacity, std::size_t sampleSize);

    // Producer: stores bytes (whole samples), or counts them as lost when they do not fit or an
    // earlier loss has not been handed out yet.
    void Put(const std::byte* bytes, std::size_t size);
    // Producer: size bytes of silence, for a hole in the server's stream.
    void PutSilence(std::size_t size);
    // Consumer: appends up to maxBytes (whole samples) in the order they were captured, lost
    // parts as zeros, to out; returns the bytes appended.
    std::size_t Take(std::vector<std::byte>& out, std::size_t maxBytes);
    // Bytes that Take would hand out now.
    std::size_t Available() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::byte> ring_;
    std::size_t sampleSize_;
    std::size_t head_ = 0;  // next byte to take
    std::size_t used_ = 0;
    std::size_t lost_ = 0;  // bytes lost after the stored ones
};

}  // namespace platform::sound
