// Narration: the sound server's default input, captured through libpulse (PulseAudio, or
// PipeWire's pulse server) as 16-bit PCM at 48,000 Hz with the input's channel count (mono, or
// stereo for an input of two channels or more). libpulse runs its own thread, which fills a
// bounded buffer; the recorder takes the samples from it. Samples are counted, never timed: the
// steady-clock moment of the first sample and the count place every later one.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform::sound {

constexpr std::uint32_t kSampleRate = 48000;
constexpr std::uint16_t kBitsPerSample = 16;

enum class OpenError {
    noServer,  // no sound server answers
    noInput,   // the server has no default input, or it cannot be recorded
};

class Capture {
public:
    // Connects to the sound server and begins capturing its default input. Null, with *error
    // set, when there is no server or no input. Blocks until the capture runs or has failed.
    static std::unique_ptr<Capture> Open(OpenError* error);
    // Stops the capture and disconnects.
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    std::uint16_t Channels() const;
    // Bytes of one sample of all channels.
    std::size_t SampleSize() const { return std::size_t{Channels()} * kBitsPerSample / 8; }

    // Appends up to maxBytes of what was captured and not taken yet, whole samples in order, to
    // out, and returns the bytes appended. Samples lost to a full buffer come as silence in their
    // place. One consumer thread.
    std::size_t Take(std::vector<std::byte>& out, std::size_t maxBytes);
    // When the first captured sample was taken by the input, once any sample has come.
    std::optional<std::chrono::steady_clock::time_point> FirstSampleTime() const;
    // True once the server or the stream has gone: no more samples will come.
    bool Broken() const;

    struct Connection;

private:
    explicit Capture(std::unique_ptr<Connection> connection);
    std::unique_ptr<Connection> connection_;
};

}  // namespace platform::sound
