#include "harness/sound_server.h"

#include <fcntl.h>
#include <pulse/error.h>
#include <pulse/simple.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "harness/media_probe.h"

extern char** environ;

namespace korvex::test {

namespace {

using Clock = std::chrono::steady_clock;

std::optional<std::string> Swap(const char* name, const std::optional<std::string>& value) {
    const char* old = std::getenv(name);
    std::optional<std::string> previous = old ? std::optional<std::string>(old) : std::nullopt;
    if (value) {
        setenv(name, value->c_str(), 1);
    } else {
        unsetenv(name);
    }
    return previous;
}

}  // namespace

SoundServer::SoundServer(int channels) {
    char pattern[] = "/tmp/korvex-sound-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("no folder for the sound server");
    dir_ = pattern;
    const std::string bus = "unix:path=" + (dir_ / "bus").string();
    oldRuntimeDir_ = Swap("XDG_RUNTIME_DIR", dir_.string());
    oldBus_ = Swap("DBUS_SESSION_BUS_ADDRESS", bus);
    oldPulseServer_ = Swap("PULSE_SERVER", "unix:" + (dir_ / "pulse" / "native").string());
    try {
        Start({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus},
              "dbus.log");
        for (auto start = Clock::now(); !std::filesystem::exists(dir_ / "bus");) {
            if (Clock::now() - start > std::chrono::seconds(90)) {
                throw std::runtime_error("D-Bus did not start");
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Start({"pipewire"}, "pipewire.log");
        Start({"wireplumber"}, "wireplumber.log");
        Start({"pipewire-pulse"}, "pipewire-pulse.log");
        WaitUntil("the pulse server", [&] { return Pactl("info") == 0; });
        UseNewSink("korvex_narration", channels);
    } catch (...) {
        Stop();
        throw;
    }
}

SoundServer::~SoundServer() {
    Stop();
}

void SoundServer::Stop() {
    for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
        kill(*it, SIGTERM);
        waitpid(*it, nullptr, 0);
    }
    children_.clear();
    Swap("PULSE_SERVER", oldPulseServer_);
    Swap("DBUS_SESSION_BUS_ADDRESS", oldBus_);
    Swap("XDG_RUNTIME_DIR", oldRuntimeDir_);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void SoundServer::UseNewSink(const std::string& name, int channels) {
    if (Pactl("load-module module-null-sink sink_name=" + name +
              " channels=" + std::to_string(channels)) != 0) {
        throw std::runtime_error("no null sink");
    }
    UseSink(name);
}

void SoundServer::UseSink(const std::string& name) {
    // The session manager takes a moment to see a new node before it can be the default, and
    // another before the server reports it as the default.
    WaitUntil("the default input",
              [&] { return Pactl("set-default-source " + name + ".monitor") == 0; });
    WaitUntil("the default output", [&] { return Pactl("set-default-sink " + name) == 0; });
    WaitUntil("its default input", [&] {
        return RunCommand("pactl get-default-source 2>/dev/null").output == name + ".monitor\n";
    });
}

int SoundServer::Pactl(const std::string& args) const {
    const std::string line = "pactl " + args + " >/dev/null 2>&1";
    const int status = std::system(line.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

pid_t SoundServer::Start(const std::vector<std::string>& argv, const std::string& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string logPath = (dir_ / log).string();
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) throw std::runtime_error("cannot start " + argv[0]);
    children_.push_back(pid);
    return pid;
}

void SoundServer::WaitUntil(const std::string& what, const std::function<bool()>& done) const {
    const auto start = Clock::now();
    while (!done()) {
        if (Clock::now() - start > std::chrono::seconds(90)) {
            throw std::runtime_error("the sound server did not give " + what);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

struct SoundPlayer::State {
    pa_simple* stream = nullptr;
    std::mutex mutex;
    std::deque<std::int16_t> queue;
    std::atomic<bool> running{true};
    std::atomic<std::uint64_t> latencyUs{0};
    std::thread thread;
};

namespace {

constexpr std::uint32_t kRate = 48000;
// Written in blocks of 5 ms, with 20 ms buffered ahead.
constexpr std::size_t kBlock = kRate / 200;

}  // namespace

SoundPlayer::SoundPlayer() : state_(std::make_unique<State>()) {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, kRate, 1};
    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<std::uint32_t>(-1);
    attributes.tlength = static_cast<std::uint32_t>(kBlock * 4 * sizeof(std::int16_t));
    attributes.prebuf = static_cast<std::uint32_t>(-1);
    attributes.minreq = static_cast<std::uint32_t>(-1);
    attributes.fragsize = static_cast<std::uint32_t>(-1);
    int error = 0;
    state_->stream = pa_simple_new(nullptr, "Korvex test", PA_STREAM_PLAYBACK, nullptr, "Player",
                                   &spec, nullptr, &attributes, &error);
    if (state_->stream == nullptr) throw std::runtime_error(pa_strerror(error));
    State* state = state_.get();
    state_->thread = std::thread([state] {
        std::vector<std::int16_t> block(kBlock);
        while (state->running) {
            {
                const std::lock_guard lock(state->mutex);
                for (std::int16_t& sample : block) {
                    sample = state->queue.empty() ? 0 : state->queue.front();
                    if (!state->queue.empty()) state->queue.pop_front();
                }
            }
            // Blocks while the server's buffer is full: the loop runs at the sink's pace.
            int error = 0;
            if (pa_simple_write(state->stream, block.data(), block.size() * sizeof block[0],
                                &error) < 0) {
                return;
            }
            state->latencyUs = pa_simple_get_latency(state->stream, &error);
        }
    });
}

SoundPlayer::~SoundPlayer() {
    state_->running = false;
    state_->thread.join();
    pa_simple_free(state_->stream);
}

Clock::time_point SoundPlayer::Play(const std::vector<std::int16_t>& samples) {
    return PlayAt(samples, Clock::now());
}

Clock::time_point SoundPlayer::PlayAt(const std::vector<std::int16_t>& samples,
                                      Clock::time_point when) {
    const std::lock_guard lock(state_->mutex);
    // What is queued plays after what the server holds: its latency, plus the queue, plus the
    // block being written.
    const auto ahead = std::chrono::microseconds(
        state_->latencyUs + (state_->queue.size() + kBlock / 2) * 1000000 / kRate);
    const Clock::time_point heard = Clock::now() + ahead;
    const auto early = std::chrono::duration_cast<std::chrono::microseconds>(when - heard);
    const std::size_t silence =
        early.count() > 0 ? static_cast<std::size_t>(early.count() * kRate / 1000000) : 0;
    state_->queue.insert(state_->queue.end(), silence, 0);
    state_->queue.insert(state_->queue.end(), samples.begin(), samples.end());
    return heard + std::chrono::microseconds(silence * 1000000 / kRate);
}

std::vector<std::int16_t> Tone(double frequency, std::size_t count, int amplitude) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<std::int16_t>(std::lround(
            amplitude * std::sin(2 * M_PI * frequency * static_cast<double>(i) / kRate)));
    }
    return samples;
}

}  // namespace korvex::test
