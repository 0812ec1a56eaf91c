#include "platform/screencast/pipewire_stream.h"

#include <fcntl.h>
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform::screencast {

namespace {

// Room for the cursor's position, hot spot and a bitmap up to 64 x 64; the bitmap is not used,
// but desktops size the metadata by what the client offers.
constexpr int kCursorMetaSize =
    static_cast<int>(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap) + 64 * 64 * 4);
// Room for this many damaged regions per frame; desktops send a whole-frame region when theirs
// do not fit.
constexpr int kDamageRegions = 32;
constexpr int kRegionSize = static_cast<int>(sizeof(spa_meta_region));

spa_meta* DamageMeta(spa_buffer* buffer) {
    spa_meta* meta = spa_buffer_find_meta(buffer, SPA_META_VideoDamage);
    return meta != nullptr && meta->data != nullptr && meta->size >= sizeof(spa_meta_region)
               ? meta
               : nullptr;
}

// Fills the buffer's damage with regions and no end before it goes back, so that a desktop
// that negotiated the metadata but does not write it reads as "everything changed", never as
// "nothing changed".
void MarkDamageUnwritten(spa_buffer* buffer) {
    spa_meta* meta = DamageMeta(buffer);
    if (meta == nullptr) return;
    auto* region = static_cast<spa_meta_region*>(meta->data);
    for (std::size_t i = 0; i < meta->size / sizeof(spa_meta_region); ++i) {
        region[i].region = SPA_REGION(0, 0, 1, 1);
    }
}

std::optional<PixelOrder> OrderOf(spa_video_format format) {
    switch (format) {
        case SPA_VIDEO_FORMAT_BGRx:
            return PixelOrder::BGRx;
        case SPA_VIDEO_FORMAT_BGRA:
            return PixelOrder::BGRA;
        case SPA_VIDEO_FORMAT_RGBx:
            return PixelOrder::RGBx;
        case SPA_VIDEO_FORMAT_RGBA:
            return PixelOrder::RGBA;
        default:
            return std::nullopt;
    }
}

// The formats the stream may offer: 32-bit RGB of any size and rate, in memory.
const spa_pod* FormatParam(spa_pod_builder& b) {
    spa_rectangle defaultSize{1920, 1080}, minSize{1, 1}, maxSize{16384, 16384};
    spa_fraction defaultRate{30, 1}, minRate{0, 1}, maxRate{1000, 1};
    return static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx,
                               SPA_VIDEO_FORMAT_BGRA, SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
        SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&defaultSize, &minSize, &maxSize),
        SPA_FORMAT_VIDEO_framerate,
        SPA_POD_CHOICE_RANGE_Fraction(&defaultRate, &minRate, &maxRate)));
}

struct LoopDeleter {
    void operator()(pw_thread_loop* loop) const { pw_thread_loop_destroy(loop); }
};
struct ContextDeleter {
    void operator()(pw_context* context) const { pw_context_destroy(context); }
};
struct CoreDeleter {
    void operator()(pw_core* core) const { pw_core_disconnect(core); }
};
struct StreamDeleter {
    void operator()(pw_stream* stream) const { pw_stream_destroy(stream); }
};

}  // namespace

struct PipeWireStream::Impl {
    explicit Impl(StreamEvents e) : events(std::move(e)) {}
    ~Impl();

    void OnParamChanged(std::uint32_t id, const spa_pod* param);
    void OnProcess();
    void OnStateChanged(pw_stream_state state);
    void OnAddBuffer(pw_buffer* buffer);
    void OnRemoveBuffer(pw_buffer* buffer);
    // The buffer's damage into damage; under mutex.
    void NoteDamage(spa_buffer* buffer);
    void GiveBack(pw_buffer* buffer);
    void End();

    StreamEvents events;
    // Declared in the order they are made; the destructor takes them down under the loop's lock.
    std::unique_ptr<pw_thread_loop, LoopDeleter> loop;
    std::unique_ptr<pw_context, ContextDeleter> context;
    std::unique_ptr<pw_core, CoreDeleter> core;
    std::unique_ptr<pw_stream, StreamDeleter> stream;
    spa_hook coreListener{};
    spa_hook streamListener{};
    pw_core_events coreEvents{};
    pw_stream_events streamEvents{};

    std::atomic<bool> ended{false};
    bool streaming = false;  // PipeWire thread only

    std::mutex mutex;  // guards everything below
    std::optional<PixelOrder> order;
    Size size;
    pw_buffer* held = nullptr;       // the newest frame's buffer, dequeued
    std::vector<std::uint8_t> kept;  // the newest frame's pixels once its buffer had to go
    StreamFrame frame;               // in held or in kept; none before the first
    bool hasFrame = false;
    std::optional<StreamCursor> cursor;
    StreamDamage damage;              // since the last TakeDamage
    bool damageTold = false;          // the newest buffer had damage metadata
    std::vector<StreamRect> regions;  // NoteDamage's copy of a buffer's regions
};

PipeWireStream::Impl::~Impl() {
    // Taken down while the thread still runs, so that the server hears of it at once.
    if (loop) pw_thread_loop_lock(loop.get());
    if (stream && held) GiveBack(held);
    stream.reset();
    core.reset();
    if (loop) {
        pw_thread_loop_unlock(loop.get());
        pw_thread_loop_stop(loop.get());
    }
    context.reset();
    loop.reset();
}

void PipeWireStream::Impl::GiveBack(pw_buffer* buffer) {
    MarkDamageUnwritten(buffer->buffer);
    pw_stream_queue_buffer(stream.get(), buffer);
}

void PipeWireStream::Impl::NoteDamage(spa_buffer* buffer) {
    const spa_meta* meta = DamageMeta(buffer);
    damageTold = meta != nullptr;
    if (meta == nullptr) {
        damage.MarkAll();
        return;
    }
    const auto* region = static_cast<const spa_meta_region*>(meta->data);
    regions.clear();
    for (std::size_t i = 0; i < meta->size / sizeof(spa_meta_region); ++i) {
        const spa_region& r = region[i].region;
        regions.push_back({r.position.x, r.position.y, r.size.width, r.size.height});
    }
    damage.Add(regions);
}

void PipeWireStream::Impl::End() {
    if (ended.exchange(true)) return;
    if (events.Ended) events.Ended();
}

void PipeWireStream::Impl::OnParamChanged(std::uint32_t id, const spa_pod* param) {
    if (param == nullptr || id != SPA_PARAM_Format) return;
    std::uint32_t mediaType = 0, mediaSubtype = 0;
    if (spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
        mediaType != SPA_MEDIA_TYPE_video || mediaSubtype != SPA_MEDIA_SUBTYPE_raw) {
        return;
    }
    spa_video_info_raw info{};
    if (spa_format_video_raw_parse(param, &info) < 0) return;
    {
        std::lock_guard lock(mutex);
        order = OrderOf(info.format);
        size = {static_cast<int>(info.size.width), static_cast<int>(info.size.height)};
        damage.MarkAll();
    }

    std::array<std::uint8_t, 1024> buffer{};
    spa_pod_builder b =
        SPA_POD_BUILDER_INIT(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
    const std::array<const spa_pod*, 4> params{
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
            SPA_POD_CHOICE_RANGE_Int(4, 2, 16), SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr)))),
        static_cast<const spa_pod*>(
            spa_pod_builder_add_object(&b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta,
                                       SPA_PARAM_META_type, SPA_POD_Id(SPA_META_Header),
                                       SPA_PARAM_META_size, SPA_POD_Int(sizeof(spa_meta_header)))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(kCursorMetaSize, static_cast<int>(sizeof(spa_meta_cursor)),
                                     kCursorMetaSize * 8))),
        static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
            SPA_POD_Id(SPA_META_VideoDamage), SPA_PARAM_META_size,
            SPA_POD_CHOICE_RANGE_Int(kRegionSize * kDamageRegions, kRegionSize,
                                     kRegionSize * kDamageRegions))),
    };
    std::array<const spa_pod*, 4> mutableParams = params;
    pw_stream_update_params(stream.get(), mutableParams.data(),
                            static_cast<std::uint32_t>(mutableParams.size()));
}

void PipeWireStream::Impl::OnProcess() {
    pw_stream* s = stream.get();
    // Only the newest picture counts: older ones go straight back, their damage kept.
    pw_buffer* newest = nullptr;
    while (pw_buffer* b = pw_stream_dequeue_buffer(s)) {
        {
            std::lock_guard lock(mutex);
            NoteDamage(b->buffer);
        }
        if (newest) GiveBack(newest);
        newest = b;
    }
    if (newest == nullptr) return;
    spa_buffer* buffer = newest->buffer;

    std::optional<StreamCursor> newCursor;
    bool cursorTold = false;
    if (auto* meta = static_cast<spa_meta_cursor*>(
            spa_buffer_find_meta_data(buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)))) {
        cursorTold = true;
        // Id 0: the desktop shows no cursor on this monitor now.
        if (spa_meta_cursor_is_valid(meta)) {
            newCursor = StreamCursor{{meta->position.x, meta->position.y},
                                     {meta->hotspot.x, meta->hotspot.y}};
        }
    }
    const spa_data& data = buffer->datas[0];
    // Desktops send buffers without pixels when only the cursor moved.
    const bool pixels = buffer->n_datas > 0 && data.data != nullptr && data.chunk != nullptr &&
                        data.chunk->size > 0 && (data.chunk->flags & SPA_CHUNK_FLAG_CORRUPTED) == 0;

    pw_buffer* released = newest;
    bool first = false;
    {
        std::lock_guard lock(mutex);
        if (cursorTold) cursor = newCursor;
        if (pixels && order && size.width > 0 && size.height > 0) {
            const std::size_t stride = data.chunk->stride > 0
                                           ? static_cast<std::size_t>(data.chunk->stride)
                                           : static_cast<std::size_t>(size.width) * 4;
            const std::size_t needed = stride * static_cast<std::size_t>(size.height);
            const std::size_t offset =
                data.chunk->offset % std::max<std::uint32_t>(data.maxsize, 1);
            if (offset + needed <= data.maxsize) {
                first = !hasFrame;
                hasFrame = true;
                released = held;
                held = newest;
                frame = StreamFrame{static_cast<const std::uint8_t*>(data.data) + offset, stride,
                                    size.width, size.height, *order};
            }
        }
    }
    if (released) GiveBack(released);
    if (first && events.FirstFrame) events.FirstFrame();
}

// New buffers come with a new format or a renegotiation: what they hold is unknown.
void PipeWireStream::Impl::OnAddBuffer(pw_buffer* buffer) {
    MarkDamageUnwritten(buffer->buffer);
    std::lock_guard lock(mutex);
    damage.MarkAll();
}

// A held buffer taken away (the stream ends or renegotiates) leaves a copy of its frame, so
// that the recorder always finds the newest picture.
void PipeWireStream::Impl::OnRemoveBuffer(pw_buffer* buffer) {
    std::lock_guard lock(mutex);
    damage.MarkAll();
    if (buffer != held) return;
    held = nullptr;
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * 4;
    kept.resize(rowBytes * static_cast<std::size_t>(frame.height));
    for (int y = 0; y < frame.height; ++y) {
        std::memcpy(kept.data() + static_cast<std::size_t>(y) * rowBytes,
                    frame.data + static_cast<std::size_t>(y) * frame.stride, rowBytes);
    }
    frame.data = kept.data();
    frame.stride = rowBytes;
}

void PipeWireStream::Impl::OnStateChanged(pw_stream_state state) {
    switch (state) {
        case PW_STREAM_STATE_STREAMING:
            streaming = true;
            break;
        case PW_STREAM_STATE_ERROR:
            End();
            break;
        case PW_STREAM_STATE_UNCONNECTED:
        case PW_STREAM_STATE_PAUSED:
            // The node went away under a running stream.
            if (streaming) End();
            break;
        case PW_STREAM_STATE_CONNECTING:
            break;
    }
}

std::unique_ptr<PipeWireStream> PipeWireStream::Open(int remoteFd, std::uint32_t node,
                                                     StreamEvents events) {
    pw_init(nullptr, nullptr);
    auto impl = std::make_unique<Impl>(std::move(events));
    Impl& s = *impl;
    s.loop.reset(pw_thread_loop_new("korvex-screencast", nullptr));
    if (!s.loop) {
        ::close(remoteFd);
        return nullptr;
    }
    s.context.reset(pw_context_new(pw_thread_loop_get_loop(s.loop.get()), nullptr, 0));
    if (!s.context || pw_thread_loop_start(s.loop.get()) < 0) {
        ::close(remoteFd);
        return nullptr;
    }

    pw_thread_loop_lock(s.loop.get());
    // From here on the events wait for the lock, so none comes before Open returns.
    s.core.reset(pw_context_connect_fd(s.context.get(), remoteFd, nullptr, 0));
    bool made = false;
    if (s.core) {
        s.coreEvents.version = PW_VERSION_CORE_EVENTS;
        s.coreEvents.error = [](void* data, std::uint32_t id, int, int, const char*) {
            // An error of the connection itself: PipeWire is gone.
            if (id == PW_ID_CORE) static_cast<Impl*>(data)->End();
        };
        pw_core_add_listener(s.core.get(), &s.coreListener, &s.coreEvents, &s);

        s.stream.reset(
            pw_stream_new(s.core.get(), "Korvex",
                          pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                            "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr)));
    }
    if (s.stream) {
        s.streamEvents.version = PW_VERSION_STREAM_EVENTS;
        s.streamEvents.state_changed = [](void* data, pw_stream_state, pw_stream_state state,
                                          const char*) {
            static_cast<Impl*>(data)->OnStateChanged(state);
        };
        s.streamEvents.param_changed = [](void* data, std::uint32_t id, const spa_pod* param) {
            static_cast<Impl*>(data)->OnParamChanged(id, param);
        };
        s.streamEvents.process = [](void* data) { static_cast<Impl*>(data)->OnProcess(); };
        s.streamEvents.add_buffer = [](void* data, pw_buffer* buffer) {
            static_cast<Impl*>(data)->OnAddBuffer(buffer);
        };
        s.streamEvents.remove_buffer = [](void* data, pw_buffer* buffer) {
            static_cast<Impl*>(data)->OnRemoveBuffer(buffer);
        };
        pw_stream_add_listener(s.stream.get(), &s.streamListener, &s.streamEvents, &s);

        std::array<std::uint8_t, 1024> buffer{};
        spa_pod_builder b =
            SPA_POD_BUILDER_INIT(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
        const spa_pod* params[] = {FormatParam(b)};
        made = pw_stream_connect(s.stream.get(), PW_DIRECTION_INPUT, node,
                                 static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT |
                                                              PW_STREAM_FLAG_MAP_BUFFERS),
                                 params, 1) == 0;
    }
    pw_thread_loop_unlock(s.loop.get());
    if (!made) return nullptr;
    return std::unique_ptr<PipeWireStream>(new PipeWireStream(std::move(impl)));
}

PipeWireStream::PipeWireStream(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

PipeWireStream::~PipeWireStream() = default;

bool PipeWireStream::WithNewestFrame(
    const std::function<void(const StreamFrame&, const std::optional<StreamCursor>&)>& read) {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->hasFrame) return false;
    read(impl_->frame, impl_->cursor);
    return true;
}

bool PipeWireStream::SendsDamage() {
    std::lock_guard lock(impl_->mutex);
    return impl_->damageTold;
}

std::optional<FrameDamage> PipeWireStream::TakeDamage() {
    std::lock_guard lock(impl_->mutex);
    auto rects = impl_->damage.Take();
    if (!rects) return std::nullopt;
    return FrameDamage{impl_->size, std::move(*rects)};
}

}  // namespace platform::screencast
