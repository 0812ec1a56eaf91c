// A desktop's screen as a ScreenCast stream, for the tests and benchmarks: a PipeWire video
// source that sends a drawn picture 30 times a second and, like mutter and KWin, tells with each
// frame which regions changed since the one before. Commands come on standard input, one a line:
//   fill X Y W H RRGGBB   paints a rectangle of stream pixels; "sent" is printed once a frame
//                         showing it has gone out
//   type X Y W H          from now on a character cell of the area changes every frame
// It ends with its input.
//   korvex_test_stream_source NODE-NAME WIDTH HEIGHT sent|absent|unwritten
// "absent" offers no damage metadata; "unwritten" offers it but never fills it in.
#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kFramesPerSecond = 30;
constexpr int kRegions = 16;
constexpr int kCellWidth = 8, kCellHeight = 16;

enum class Damage { Sent, Absent, Unwritten };

struct Source {
    int width = 0, height = 0;
    Damage damage = Damage::Sent;
    std::vector<std::uint32_t> picture;  // BGRx, rows top-down

    pw_main_loop* loop = nullptr;
    pw_stream* stream = nullptr;
    spa_hook listener{};
    spa_source* timer = nullptr;
    std::string input;

    std::vector<spa_region> changed;  // since the last frame
    bool allChanged = true;
    int unsent = 0;  // fills not yet in a frame

    bool typing = false;
    spa_region area{};
    int cell = 0;

    void Paint(const spa_region& r, std::uint32_t bgrx) {
        const int x0 = std::clamp(r.position.x, 0, width);
        const int y0 = std::clamp(r.position.y, 0, height);
        const int x1 = std::clamp(r.position.x + static_cast<int>(r.size.width), 0, width);
        const int y1 = std::clamp(r.position.y + static_cast<int>(r.size.height), 0, height);
        for (int y = y0; y < y1; ++y) {
            std::fill_n(&picture[static_cast<std::size_t>(y) * width + x0], std::max(x1 - x0, 0),
                        bgrx);
        }
        changed.push_back(r);
    }

    // The next character cell of the typing area, in a colour of its own.
    void TypeOne() {
        const int columns = std::max<int>(area.size.width / kCellWidth, 1);
        const int rows = std::max<int>(area.size.height / kCellHeight, 1);
        const int at = cell++ % (columns * rows);
        Paint(SPA_REGION(area.position.x + at % columns * kCellWidth,
                         area.position.y + at / columns * kCellHeight, kCellWidth, kCellHeight),
              0x00102030u + static_cast<std::uint32_t>(cell) * 0x00070503u);
    }

    void Command(const std::string& line) {
        std::istringstream words(line);
        std::string verb;
        int x = 0, y = 0, w = 0, h = 0;
        words >> verb >> x >> y >> w >> h;
        if (!words || w <= 0 || h <= 0) return;
        const spa_region r =
            SPA_REGION(x, y, static_cast<std::uint32_t>(w), static_cast<std::uint32_t>(h));
        if (verb == "fill") {
            std::string colour;
            words >> colour;
            Paint(r, static_cast<std::uint32_t>(std::strtoul(colour.c_str(), nullptr, 16)));
            ++unsent;
        } else if (verb == "type") {
            typing = true;
            area = r;
        }
    }

    void OnInput() {
        std::array<char, 4096> bytes{};
        const ssize_t got = read(STDIN_FILENO, bytes.data(), bytes.size());
        if (got <= 0) {
            pw_main_loop_quit(loop);
            return;
        }
        input.append(bytes.data(), static_cast<std::size_t>(got));
        for (auto end = input.find('\n'); end != std::string::npos; end = input.find('\n')) {
            Command(input.substr(0, end));
            input.erase(0, end + 1);
        }
    }

    void WriteDamage(spa_buffer* buffer) {
        spa_meta* meta = spa_buffer_find_meta(buffer, SPA_META_VideoDamage);
        if (meta == nullptr || damage != Damage::Sent) return;
        const std::size_t room = meta->size / sizeof(spa_meta_region);
        auto* regions = static_cast<spa_meta_region*>(meta->data);
        if (room == 0) return;
        // What does not fit, with its end, becomes one region of the whole frame.
        if (allChanged || changed.size() + 1 > room) {
            changed = {SPA_REGION(0, 0, static_cast<std::uint32_t>(width),
                                  static_cast<std::uint32_t>(height))};
        }
        for (std::size_t i = 0; i < changed.size(); ++i) regions[i].region = changed[i];
        if (changed.size() < room) regions[changed.size()].region = SPA_REGION(0, 0, 0, 0);
    }

    void OnProcess() {
        pw_buffer* b = pw_stream_dequeue_buffer(stream);
        if (b == nullptr) return;
        spa_buffer* buffer = b->buffer;
        spa_data& data = buffer->datas[0];
        const std::size_t bytes = picture.size() * 4;
        if (data.data == nullptr || data.maxsize < bytes) {
            pw_stream_queue_buffer(stream, b);
            return;
        }
        std::memcpy(data.data, picture.data(), bytes);
        data.chunk->offset = 0;
        data.chunk->size = static_cast<std::uint32_t>(bytes);
        data.chunk->stride = width * 4;
        data.chunk->flags = 0;
        WriteDamage(buffer);
        changed.clear();
        allChanged = false;
        pw_stream_queue_buffer(stream, b);
        for (; unsent > 0; --unsent) std::printf("sent\n");
        std::fflush(stdout);
    }

    void OnFormat() {
        std::array<std::uint8_t, 1024> bytes{};
        spa_pod_builder b =
            SPA_POD_BUILDER_INIT(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        std::vector<const spa_pod*> params{
            static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_buffers,
                SPA_POD_CHOICE_RANGE_Int(4, 2, 8), SPA_PARAM_BUFFERS_blocks, SPA_POD_Int(1),
                SPA_PARAM_BUFFERS_size, SPA_POD_Int(width * height * 4), SPA_PARAM_BUFFERS_stride,
                SPA_POD_Int(width * 4), SPA_PARAM_BUFFERS_dataType,
                SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr)))),
            static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
                SPA_POD_Id(SPA_META_Header), SPA_PARAM_META_size,
                SPA_POD_Int(sizeof(spa_meta_header))))};
        if (damage != Damage::Absent) {
            constexpr int region = sizeof(spa_meta_region);
            params.push_back(static_cast<const spa_pod*>(spa_pod_builder_add_object(
                &b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
                SPA_POD_Id(SPA_META_VideoDamage), SPA_PARAM_META_size,
                SPA_POD_CHOICE_RANGE_Int(region * kRegions, region, region * kRegions))));
        }
        pw_stream_update_params(stream, params.data(), static_cast<std::uint32_t>(params.size()));
        allChanged = true;
    }

    void OnState(pw_stream_state state) {
        timespec interval{0, 0};
        if (state == PW_STREAM_STATE_STREAMING) interval.tv_nsec = 1'000'000'000 / kFramesPerSecond;
        pw_loop_update_timer(pw_main_loop_get_loop(loop), timer, &interval, &interval, false);
    }

    void OnTimer() {
        if (typing) TypeOne();
        pw_stream_trigger_process(stream);
    }
};

struct LoopDeleter {
    void operator()(pw_main_loop* loop) const { pw_main_loop_destroy(loop); }
};
struct StreamDeleter {
    void operator()(pw_stream* stream) const { pw_stream_destroy(stream); }
};

int Usage() {
    std::fprintf(stderr,
                 "usage: korvex_test_stream_source NODE-NAME WIDTH HEIGHT sent|absent|unwritten\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) return Usage();
    Source s;
    s.width = std::atoi(argv[2]);
    s.height = std::atoi(argv[3]);
    const std::string damage = argv[4];
    if (s.width <= 0 || s.height <= 0 || s.width > 8192 || s.height > 8192) return Usage();
    if (damage == "sent") {
        s.damage = Damage::Sent;
    } else if (damage == "absent") {
        s.damage = Damage::Absent;
    } else if (damage == "unwritten") {
        s.damage = Damage::Unwritten;
    } else {
        return Usage();
    }
    s.picture.resize(static_cast<std::size_t>(s.width) * s.height);
    // Every pixel differs from its neighbours, so that a pixel taken from the wrong place shows.
    for (int y = 0; y < s.height; ++y) {
        for (int x = 0; x < s.width; ++x) {
            s.picture[static_cast<std::size_t>(y) * s.width + x] =
                static_cast<std::uint32_t>((x * 7) & 0xFF) |
                static_cast<std::uint32_t>((y * 5) & 0xFF) << 8 |
                static_cast<std::uint32_t>(((x + y) * 3) & 0xFF) << 16;
        }
    }

    pw_init(&argc, &argv);
    std::unique_ptr<pw_main_loop, LoopDeleter> mainLoop(pw_main_loop_new(nullptr));
    if (!mainLoop) return 1;
    s.loop = mainLoop.get();
    pw_loop* loop = pw_main_loop_get_loop(s.loop);
    s.timer = pw_loop_add_timer(
        loop, [](void* data, std::uint64_t) { static_cast<Source*>(data)->OnTimer(); }, &s);
    pw_loop_add_io(
        loop, STDIN_FILENO, SPA_IO_IN | SPA_IO_HUP, false,
        [](void* data, int, std::uint32_t) { static_cast<Source*>(data)->OnInput(); }, &s);

    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.process = [](void* data) { static_cast<Source*>(data)->OnProcess(); };
    events.param_changed = [](void* data, std::uint32_t id, const spa_pod* param) {
        if (id == SPA_PARAM_Format && param != nullptr) static_cast<Source*>(data)->OnFormat();
    };
    events.state_changed = [](void* data, pw_stream_state, pw_stream_state state, const char*) {
        static_cast<Source*>(data)->OnState(state);
    };
    std::unique_ptr<pw_stream, StreamDeleter> stream(pw_stream_new_simple(
        loop, argv[1],
        pw_properties_new(PW_KEY_MEDIA_CLASS, "Video/Source", PW_KEY_NODE_NAME, argv[1], nullptr),
        &events, &s));
    s.stream = stream.get();

    std::array<std::uint8_t, 1024> bytes{};
    spa_pod_builder b =
        SPA_POD_BUILDER_INIT(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    spa_rectangle size{static_cast<std::uint32_t>(s.width), static_cast<std::uint32_t>(s.height)};
    spa_fraction rate{kFramesPerSecond, 1};
    const spa_pod* format = static_cast<const spa_pod*>(spa_pod_builder_add_object(
        &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
        SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype,
        SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
        SPA_POD_Id(SPA_VIDEO_FORMAT_BGRx), SPA_FORMAT_VIDEO_size, SPA_POD_Rectangle(&size),
        SPA_FORMAT_VIDEO_framerate, SPA_POD_Fraction(&rate)));
    if (s.stream == nullptr ||
        pw_stream_connect(
            s.stream, PW_DIRECTION_OUTPUT, PW_ID_ANY,
            static_cast<pw_stream_flags>(PW_STREAM_FLAG_DRIVER | PW_STREAM_FLAG_MAP_BUFFERS),
            &format, 1) < 0) {
        std::fprintf(stderr, "korvex_test_stream_source: no stream\n");
        return 1;
    }
    pw_main_loop_run(s.loop);
    return 0;
}
