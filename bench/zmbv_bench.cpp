// Figures for choosing the deflate levels of 'ZMBV': bytes and milliseconds of key and delta
// frames at every level, on pictures like the benchmark's scenes (the moving pattern at 15 fps,
// the typing terminal, a desktop with a window dragged across it), beside ffmpeg's zmbv on the
// same pictures. Milliseconds are processor time.
//   korvex_zmbv_bench [WxH]
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "bench/codec_quality.h"
#include "platform/vfw/zmbv_encoder.h"

using namespace platform::vfw;

namespace {

constexpr int kFrames = 15;  // one key frame, then deltas, as a second at 15 fps

using Painter = std::function<std::uint32_t(int x, int y, int frame)>;

// Bottom-up 32-bit DIB rows of the picture the painter gives (0xRRGGBB, top row y = 0).
std::vector<std::uint8_t> Paint(int width, int height, int frame, const Painter& paint) {
    std::vector<std::uint8_t> dib(std::size_t{4} * width * height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = dib.data() + std::size_t{4} * width * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = paint(x, y, frame);
            row[4 * x] = static_cast<std::uint8_t>(c);
            row[4 * x + 1] = static_cast<std::uint8_t>(c >> 8);
            row[4 * x + 2] = static_cast<std::uint8_t>(c >> 16);
        }
    }
    return dib;
}

std::uint32_t Quadrant(int x, int y, int width, int height) {
    constexpr std::uint32_t colours[4] = {0xC03030, 0x30C030, 0x3030C0, 0xE0E040};
    return colours[(y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1)];
}

struct Scene {
    const char* name;
    Painter paint;
};

std::vector<Scene> Scenes(int w, int h) {
    // The bar crosses the width (and its own) in 2 s: at 15 fps it moves that / 30 per frame.
    const int bar = std::max(4, w / 10);
    const Painter moving = [=](int x, int y, int frame) {
        if (y < h * 4 / 10 || y >= h * 4 / 10 + h * 2 / 10) return Quadrant(x, y, w, h);
        const int barX = frame * (w + bar) / 30 - bar;
        return x >= barX && x < barX + bar ? 0xFFFFFFu : 0u;
    };
    // Three characters a frame: two-stroke glyphs in 8 x 16 cells.
    const Painter typing = [=](int x, int y, int frame) {
        const int cx = (x - w / 8) / 8, cy = (y - h / 8) / 16;
        if (x < w / 8 || y < h / 8 || cx >= 80 || cy >= 24) return Quadrant(x, y, w, h);
        const int n = cy * 80 + cx;
        if (n > 3 * frame + 40) return 0x202020u;
        const auto g = static_cast<std::uint32_t>(n) * 2654435761u;
        const int gx = x % 8, gy = y % 16;
        const bool ink = (gx >= 1 + static_cast<int>(g >> 28 & 3) &&
                          gx < 3 + static_cast<int>(g >> 28 & 3) && gy >= 3 && gy < 13) ||
                         (gx >= 1 && gx < 7 && gy == 3 + static_cast<int>((g >> 24 & 15) % 10));
        return ink ? 0xD0D0D0u : 0x202020u;
    };
    // A light window with a title bar and text lines, dragged 7 right and 5 down a frame.
    const Painter dragged = [=](int x, int y, int frame) {
        const int wx = 200 + 7 * frame, wy = 150 + 5 * frame;
        if (x < wx || x >= wx + 640 || y < wy || y >= wy + 400) {
            return (x / 64 + y / 64) % 2 ? 0x3A6EA5u : 0x2F5F90u;
        }
        const int lx = x - wx, ly = y - wy;
        if (ly < 24) return lx % 97 < 60 ? 0x404050u : 0x505060u;
        return (ly % 18 > 4 && ly % 18 < 13 && (lx * 7 + ly) % 11 < 6) ? 0x101010u : 0xF4F4F4u;
    };
    return {{"moving", moving}, {"typing", typing}, {"dragged window", dragged}};
}

// Processor time of this thread: the machine may be busy with other work.
double CpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Cost {
    double keyBytes = 0, keyMs = 0, deltaBytes = 0, deltaMs = 0;
};

Cost Encode(const bench::Grabbed& g, ZmbvLevels levels) {
    auto encoder = OpenZmbvEncoder({g.width, g.height, 32, {1, g.fps}, 7500}, levels);
    Cost cost;
    for (std::size_t i = 0; encoder && i < g.frames.size(); ++i) {
        FrameEncoder::Packet packet;
        const double start = CpuMs();
        encoder->Load({g.width, g.height, 32, g.frames[i], {}});
        if (encoder->Encode(i == 0, &packet) != ICERR_OK) return {};
        const double ms = CpuMs() - start;
        (i == 0 ? cost.keyBytes : cost.deltaBytes) += static_cast<double>(packet.bytes.size());
        (i == 0 ? cost.keyMs : cost.deltaMs) += ms;
    }
    const double deltas = static_cast<double>(g.frames.size() - 1);
    cost.deltaBytes /= deltas;
    cost.deltaMs /= deltas;
    return cost;
}

}  // namespace

int main(int argc, char** argv) {
    int width = 1920, height = 1080;
    if (argc > 1 && std::sscanf(argv[1], "%dx%d", &width, &height) != 2) {
        std::fprintf(stderr, "usage: korvex_zmbv_bench [WxH]\n");
        return 2;
    }
    const auto dir = std::filesystem::temp_directory_path() / "korvex-bench";
    std::filesystem::create_directories(dir);
    for (const Scene& scene : Scenes(width, height)) {
        bench::Grabbed g{width, height, kFrames, {}};
        for (int i = 0; i < kFrames; ++i) g.frames.push_back(Paint(width, height, i, scene.paint));
        const bench::Quality theirs = bench::FfmpegQuality(g, " -c:v zmbv", dir);
        std::printf("%s %dx%d: ffmpeg zmbv %.0f bytes/frame\n", scene.name, width, height,
                    theirs.bytesPerFrame);
        std::printf("level  key bytes  key ms  delta bytes  delta ms  bytes/frame\n");
        for (int level = 1; level <= 9; ++level) {
            const Cost c = Encode(g, {level, level});
            std::printf("%5d %10.0f %7.2f %12.0f %9.2f %12.0f\n", level, c.keyBytes, c.keyMs,
                        c.deltaBytes, c.deltaMs,
                        (c.keyBytes + c.deltaBytes * (kFrames - 1)) / kFrames);
        }
    }
}
