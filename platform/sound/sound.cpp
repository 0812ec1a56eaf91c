#include "platform/sound/sound.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

#include "platform/sound/sample_buffer.h"
#include "platform/sound/sample_clock.h"

namespace platform::sound {

namespace {

using Clock = std::chrono::steady_clock;

// Ten seconds of stereo: room for a recorder that is held up now and then.
constexpr std::size_t kBufferBytes = std::size_t{kSampleRate} * 4 * 10;
// How long opening waits for the server's answers before it gives up, in microseconds.
constexpr pa_usec_t kOpenTimeoutUs = 5 * PA_USEC_PER_SEC;
// Count and clock part by more than this only when samples were lost (or doubled): the jitter of
// the latency reports stays below it, and a device clock that runs a little fast or slow is
// brought back in steps of it, within a frame period of the pictures.
constexpr std::int64_t kGapToleranceUs = 20'000;
// Fragments of 10 ms keep the time of arrival close to the time of capture.
constexpr std::uint32_t kFragmentMs = 10;

}  // namespace

// The libpulse objects of one capture. Every callback runs on the main loop's thread, and every
// libpulse call from another thread holds the main loop's lock; the recorder reaches only the
// buffer, the clock and the broken flag, which guard themselves.
struct Capture::Connection {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;
    std::uint16_t channels = 0;
    std::unique_ptr<SampleBuffer> buffer;
    std::atomic<bool> broken{false};
    pa_sample_spec spec{};
    mutable std::mutex timeMutex;
    SampleClock clock{kSampleRate, kGapToleranceUs};

    // Server answers the waits in Open look for: the default input's name and channels.
    std::string source;
    std::optional<std::uint8_t> sourceChannels;
    bool answered = false;
    bool timedOut = false;  // a server that takes connections but does not answer

    Connection() : loop(pa_threaded_mainloop_new()) {}
    ~Connection() {
        if (loop == nullptr) return;
        // The loop's thread must be stopped before the objects its callbacks use go.
        pa_threaded_mainloop_stop(loop);
        if (stream != nullptr) {
            pa_stream_set_read_callback(stream, nullptr, nullptr);
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
        }
        if (context != nullptr) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        pa_threaded_mainloop_free(loop);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Waits (lock held) until done says so; false when the context failed first.
    template <typename Done>
    bool WaitFor(Done done) {
        while (!done()) {
            if (timedOut || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) return false;
            pa_threaded_mainloop_wait(loop);
        }
        return true;
    }
    // Runs an operation and waits for its answer (lock held).
    bool Await(pa_operation* operation) {
        if (operation == nullptr) return false;
        answered = false;
        const bool done = WaitFor(
            [&] { return answered || pa_operation_get_state(operation) != PA_OPERATION_RUNNING; });
        pa_operation_unref(operation);
        return done;
    }

    static void OnContextState(pa_context*, void* self) {
        auto* connection = static_cast<Connection*>(self);
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(connection->context))) {
            connection->broken = true;
        }
        pa_threaded_mainloop_signal(connection->loop, 0);
    }
    static void OnStreamState(pa_stream* stream, void* self) {
        auto* connection = static_cast<Connection*>(self);
        if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) connection->broken = true;
        pa_threaded_mainloop_signal(connection->loop, 0);
    }
    static void OnSourceInfo(pa_context*, const pa_source_info* info, int eol, void* self) {
        auto* connection = static_cast<Connection*>(self);
        if (eol == 0 && info != nullptr) {
            connection->source = info->name;
            connection->sourceChannels = info->sample_spec.channels;
        } else {
            connection->answered = true;
        }
        pa_threaded_mainloop_signal(connection->loop, 0);
    }
    static void OnTimeout(pa_mainloop_api*, pa_time_event*, const timeval*, void* self) {
        auto* connection = static_cast<Connection*>(self);
        connection->timedOut = true;
        pa_threaded_mainloop_signal(connection->loop, 0);
    }
    static void OnRead(pa_stream* stream, std::size_t, void* self) {
        static_cast<Connection*>(self)->Read(stream);
    }

    void Read(pa_stream* from) {
        const std::size_t sampleSize = std::size_t{channels} * 2;
        while (pa_stream_readable_size(from) > 0) {
            // The latency is the age of the oldest sample not read yet: the one peeked next.
            // Without timing information yet, the data waiting is at least that old.
            pa_usec_t latency = 0;
            int negative = 0;
            if (pa_stream_get_latency(from, &latency, &negative) != 0 || negative != 0) {
                latency = pa_bytes_to_usec(pa_stream_readable_size(from), &spec);
            }
            const auto captured = std::chrono::duration_cast<std::chrono::microseconds>(
                                      Clock::now().time_since_epoch())
                                      .count() -
                                  static_cast<std::int64_t>(latency);
            const void* data = nullptr;
            std::size_t size = 0;
            if (pa_stream_peek(from, &data, &size) != 0) {
                broken = true;
                return;
            }
            if (size == 0) return;
            const auto samples = static_cast<std::int64_t>(size / sampleSize);
            std::int64_t shift = 0;
            {
                const std::lock_guard lock(timeMutex);
                shift = clock.Place(captured, samples);
            }
            const std::size_t skipped =
                shift < 0 ? static_cast<std::size_t>(-shift) * sampleSize : 0;
            if (shift > 0) buffer->PutSilence(static_cast<std::size_t>(shift) * sampleSize);
            if (data != nullptr) {
                buffer->Put(static_cast<const std::byte*>(data) + skipped, size - skipped);
            } else {
                buffer->PutSilence(size - skipped);  // a hole in the server's stream
            }
            pa_stream_drop(from);
        }
    }
};

std::unique_ptr<Capture> Capture::Open(OpenError* error) {
    auto connection = std::make_unique<Connection>();
    *error = OpenError::noServer;
    Connection& c = *connection;
    if (c.loop == nullptr) return nullptr;
    c.context = pa_context_new(pa_threaded_mainloop_get_api(c.loop), "Korvex");
    if (c.context == nullptr) return nullptr;
    pa_context_set_state_callback(c.context, &Connection::OnContextState, &c);
    if (pa_context_connect(c.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(c.loop) < 0) {
        return nullptr;
    }
    pa_threaded_mainloop_lock(c.loop);
    pa_time_event* deadline = pa_context_rttime_new(c.context, pa_rtclock_now() + kOpenTimeoutUs,
                                                    &Connection::OnTimeout, &c);
    const bool opened = [&] {
        if (!c.WaitFor([&] { return pa_context_get_state(c.context) == PA_CONTEXT_READY; })) {
            return false;
        }
        *error = OpenError::noInput;
        // The server resolves the default's name itself, and the stream then records exactly
        // the input whose channels were asked.
        if (!c.Await(pa_context_get_source_info_by_name(c.context, "@DEFAULT_SOURCE@",
                                                        &Connection::OnSourceInfo, &c)) ||
            !c.sourceChannels || *c.sourceChannels == 0 || c.source.empty()) {
            return false;
        }
        c.channels = std::min<std::uint16_t>(*c.sourceChannels, 2);
        c.spec =
            pa_sample_spec{PA_SAMPLE_S16LE, kSampleRate, static_cast<std::uint8_t>(c.channels)};
        const pa_sample_spec& spec = c.spec;
        c.buffer = std::make_unique<SampleBuffer>(kBufferBytes, std::size_t{c.channels} * 2);
        c.stream = pa_stream_new(c.context, "Narration", &spec, nullptr);
        if (c.stream == nullptr) return false;
        pa_stream_set_state_callback(c.stream, &Connection::OnStreamState, &c);
        pa_stream_set_read_callback(c.stream, &Connection::OnRead, &c);
        pa_buffer_attr attributes{};
        attributes.maxlength = static_cast<std::uint32_t>(-1);
        attributes.fragsize =
            static_cast<std::uint32_t>(pa_usec_to_bytes(std::uint64_t{kFragmentMs} * 1000, &spec));
        const auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING);
        if (pa_stream_connect_record(c.stream, c.source.c_str(), &attributes, flags) < 0) {
            return false;
        }
        return c.WaitFor([&] {
            const pa_stream_state_t state = pa_stream_get_state(c.stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        }) && pa_stream_get_state(c.stream) == PA_STREAM_READY;
    }();
    if (deadline != nullptr) pa_threaded_mainloop_get_api(c.loop)->time_free(deadline);
    pa_threaded_mainloop_unlock(c.loop);
    if (!opened) return nullptr;
    return std::unique_ptr<Capture>(new Capture(std::move(connection)));
}

Capture::Capture(std::unique_ptr<Connection> connection) : connection_(std::move(connection)) {}

Capture::~Capture() = default;

std::uint16_t Capture::Channels() const {
    return connection_->channels;
}

std::size_t Capture::Take(std::vector<std::byte>& out, std::size_t maxBytes) {
    return connection_->buffer->Take(out, maxBytes);
}

std::optional<std::chrono::steady_clock::time_point> Capture::FirstSampleTime() const {
    const std::lock_guard lock(connection_->timeMutex);
    const auto first = connection_->clock.FirstUs();
    if (!first) return std::nullopt;
    return std::chrono::steady_clock::time_point(std::chrono::microseconds(*first));
}

bool Capture::Broken() const {
    return connection_->broken;
}

}  // namespace platform::sound
