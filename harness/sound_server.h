// A sound server of its own for tests and benchmarks: pipewire, wireplumber and pipewire-pulse on
// a private D-Bus session under a private XDG_RUNTIME_DIR, with a null sink whose monitor is the
// default input, so that what is played into the sink is what a recorder hears. While the object
// lives, PULSE_SERVER points libpulse (of this process and its children) at it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvex::test {

class SoundServer {
public:
    // Returns once the server takes connections and the null sink (channels 1 or 2) is the
    // default; throws std::runtime_error when it does not come up.
    explicit SoundServer(int channels = 2);
    // Stops the processes it started and restores the environment.
    ~SoundServer();
    // The same, at once: the server goes away under its clients.
    void Stop();
    SoundServer(const SoundServer&) = delete;
    SoundServer& operator=(const SoundServer&) = delete;

    // Adds another null sink and makes it the default output, its monitor the default input.
    void UseNewSink(const std::string& name, int channels);
    // Makes a sink added before the default again.
    void UseSink(const std::string& name);
    // Runs pactl with args against this server; its exit code.
    int Pactl(const std::string& args) const;

private:
    pid_t Start(const std::vector<std::string>& argv, const std::string& log);
    void WaitUntil(const std::string& what, const std::function<bool()>& done) const;

    std::filesystem::path dir_;
    std::vector<pid_t> children_;
    std::optional<std::string> oldPulseServer_;
    std::optional<std::string> oldRuntimeDir_;
    std::optional<std::string> oldBus_;
};

// A playback stream into the default sink with little buffering: it plays silence until told
// to play a sound. Mono, 16 bits, 48,000 Hz. Runs a thread of its own.
class SoundPlayer {
public:
    SoundPlayer();  // throws std::runtime_error without a server
    ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Queues samples after what is queued; returns the steady-clock moment at which their first
    // sample reaches the sink (the stream's latency from now, measured by the server).
    std::chrono::steady_clock::time_point Play(const std::vector<std::int16_t>& samples);
    // Queues samples to be heard at when, after silence, or as soon as it can be when that is
    // too soon; returns the moment they will be heard.
    std::chrono::steady_clock::time_point PlayAt(const std::vector<std::int16_t>& samples,
                                                 std::chrono::steady_clock::time_point when);

    struct State;

private:
    std::unique_ptr<State> state_;
};

// count samples of a sine of frequency Hz at 48,000 Hz, amplitude 0..32767.
std::vector<std::int16_t> Tone(double frequency, std::size_t count, int amplitude);

}  // namespace korvex::test
