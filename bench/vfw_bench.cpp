// Figures for the codec stand-in at screen sizes: DIB conversion per depth, and whole
// ICM_COMPRESS calls of every installed codec for key and delta frames, at 1366 x 768 and
// 1920 x 1080 (each aligned as the recorder aligns it for the codec); bytes and PSNR of
// Microsoft Video 1 at each quality beside ffmpeg's msvideo1 encoder.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/codec_quality.h"
#include "platform/vfw/dib_convert.h"
#include "platform/vfw/vfw.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace platform::vfw;
using Clock = std::chrono::steady_clock;

namespace {

struct Size {
    int width, height;
};
constexpr Size kScreens[] = {{1366, 768}, {1920, 1080}};

struct Dib {
    struct {
        BITMAPINFOHEADER header;
        std::uint32_t colours[256];
    } info{};
    std::vector<std::uint8_t> pixels;
};

// A desktop-like picture: flat panels with a band of fine detail, and a window that moves.
Dib Desktop(Size size, int bitCount, int frame) {
    const int kWidth = size.width, kHeight = size.height;
    Dib d;
    d.info.header = RgbDibHeader(kWidth, kHeight, bitCount);
    const auto stride = static_cast<std::size_t>(DibStride(kWidth, bitCount));
    for (std::uint32_t k = 0; k < 256; ++k) d.info.colours[k] = k * 0x010101u;
    d.pixels.resize(stride * kHeight);
    std::mt19937 random(1);
    const int wx = 100 + 8 * frame, wy = 100 + 3 * frame;
    for (int y = 0; y < kHeight; ++y) {
        std::uint8_t* row = d.pixels.data() + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < kWidth; ++x) {
            int v = (x / 200 + y / 150) % 2 ? 0xD0 : 0x40;
            if (y > 300 && y < 340) v = static_cast<int>(random() & 0xFF);  // "text"
            if (x >= wx && x < wx + 400 && y >= wy && y < wy + 300) v = 0xF0;
            const auto c = static_cast<std::uint8_t>(v);
            switch (bitCount) {
                case 32:
                    row[x * 4] = c, row[x * 4 + 1] = c, row[x * 4 + 2] = c, row[x * 4 + 3] = 0;
                    break;
                case 24:
                    row[x * 3] = c, row[x * 3 + 1] = c, row[x * 3 + 2] = c;
                    break;
                case 16: {
                    const int w = (v >> 3) * 0x421;
                    row[x * 2] = static_cast<std::uint8_t>(w),
                            row[x * 2 + 1] = static_cast<std::uint8_t>(w >> 8);
                    break;
                }
                default:
                    row[x] = c;
                    break;
            }
        }
    }
    return d;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void Conversion(Size size, int bitCount) {
    const int kWidth = size.width, kHeight = size.height;
    const Dib d = Desktop(size, bitCount, 0);
    const DibImage image{kWidth, kHeight, bitCount, d.pixels, d.info.colours};
    std::vector<std::uint8_t> out(static_cast<std::size_t>(kWidth) * 2 * kHeight);
    constexpr int kRounds = 200;
    const auto start = Clock::now();
    for (int i = 0; i < kRounds; ++i) DibToRgb555(image, out, kWidth * 2);
    const double ms = Ms(Clock::now() - start) / kRounds;
    std::printf("%d x %d  convert %2d bpp -> RGB555  %7.3f ms/frame  %7.1f Mpixel/s\n", kWidth,
                kHeight, bitCount, ms, kWidth * kHeight / ms / 1000.0);
}

LRESULT Query(HIC hic, int width, int height, int bitCount) {
    Dib probe;
    BITMAPINFOHEADER& h = probe.info.header;
    h = RgbDibHeader(width, height, bitCount);
    return ICSendMessage(hic, ICM_COMPRESS_QUERY, reinterpret_cast<std::intptr_t>(&h), 0);
}

// The size the recorder would record the screen at with this codec: its own, or aligned to 2,
// 4 or 8 (rounded down, as the screen is the limit); none when the codec takes neither.
bool RecordedSize(HIC hic, Size screen, int bitCount, Size* size) {
    for (int step = 1; step <= 8; step *= 2) {
        *size = {screen.width / step * step, screen.height / step * step};
        if (Query(hic, size->width, size->height, bitCount) == ICERR_OK) return true;
    }
    return false;
}

void Compression(const ICINFO& codec, Size screen, int bitCount, int keyRate) {
    CodecHandle hic(ICOpen(ICTYPE_VIDEO, codec.fccHandler, ICMODE_COMPRESS));
    const std::string name(reinterpret_cast<const char*>(&codec.fccHandler), 4);
    Size size{};
    if (!hic || !RecordedSize(hic.get(), screen, bitCount, &size)) {
        std::printf("%s: cannot compress %d x %d at %d bits\n", name.c_str(), screen.width,
                    screen.height, bitCount);
        return;
    }
    constexpr int kFrames = 12;
    std::vector<Dib> frames;
    for (int i = 0; i < kFrames; ++i) frames.push_back(Desktop(size, bitCount, i));
    const BITMAPINFOHEADER* in = &frames[0].info.header;
    const LRESULT formatSize =
        ICSendMessage(hic.get(), ICM_COMPRESS_GET_FORMAT, reinterpret_cast<std::intptr_t>(in), 0);
    std::vector<std::uint8_t> format(static_cast<std::size_t>(formatSize));
    auto* out = reinterpret_cast<BITMAPINFOHEADER*>(format.data());
    ICSendMessage(hic.get(), ICM_COMPRESS_GET_FORMAT, reinterpret_cast<std::intptr_t>(in),
                  reinterpret_cast<std::intptr_t>(out));
    ICCOMPRESSFRAMES info{};
    info.lQuality = 7500;
    info.lKeyRate = keyRate;
    info.dwRate = 5;
    info.dwScale = 1;
    ICSendMessage(hic.get(), ICM_COMPRESS_FRAMES_INFO, reinterpret_cast<std::intptr_t>(&info),
                  sizeof(info));
    std::vector<std::uint8_t> buffer(out->biSizeImage);
    ICSendMessage(hic.get(), ICM_COMPRESS_BEGIN, reinterpret_cast<std::intptr_t>(in),
                  reinterpret_cast<std::intptr_t>(out));
    double keyMs = 0, deltaMs = 0;
    std::uint64_t keyBytes = 0, deltaBytes = 0;
    int keys = 0;
    for (int i = 0; i < kFrames; ++i) {
        ICCOMPRESS c{};
        std::vector<std::uint8_t> result = format;
        auto* resultHeader = reinterpret_cast<BITMAPINFOHEADER*>(result.data());
        std::uint32_t flags = 0;
        c.lpbiOutput = resultHeader;
        c.lpOutput = buffer.data();
        c.lpbiInput = &frames[i].info.header;
        c.lpInput = frames[i].pixels.data();
        c.lpdwFlags = &flags;
        const auto start = Clock::now();
        if (ICSendMessage(hic.get(), ICM_COMPRESS, reinterpret_cast<std::intptr_t>(&c),
                          sizeof(c)) != ICERR_OK) {
            std::printf("%s: compression failed at frame %d\n", name.c_str(), i);
            return;
        }
        const double ms = Ms(Clock::now() - start);
        if (flags & AVIIF_KEYFRAME) {
            ++keys, keyMs += ms, keyBytes += resultHeader->biSizeImage;
        } else {
            deltaMs += ms, deltaBytes += resultHeader->biSizeImage;
        }
    }
    ICSendMessage(hic.get(), ICM_COMPRESS_END, 0, 0);
    const int deltas = kFrames - keys;
    const double raw = static_cast<double>(in->biSizeImage);
    std::printf(
        "%s %4d x %4d %2d bpp  key %7.2f ms %8llu bytes (%4.1f%%, %2d)  delta %7.2f ms %8llu "
        "bytes (%4.1f%%, %2d)\n",
        name.c_str(), size.width, size.height, bitCount, keys ? keyMs / keys : 0.0,
        static_cast<unsigned long long>(keys ? keyBytes / keys : 0),
        keys ? 100.0 * static_cast<double>(keyBytes) / keys / raw : 0.0, keys,
        deltas ? deltaMs / deltas : 0.0,
        static_cast<unsigned long long>(deltas ? deltaBytes / deltas : 0),
        deltas ? 100.0 * static_cast<double>(deltaBytes) / deltas / raw : 0.0, deltas);
}

// Our 'MSVC' at each quality and ffmpeg's msvideo1 (which has no quality control) on the same
// desktop frames, both decoded by ffmpeg.
void MsvcQualities() {
    const Size size{1364, 768};
    bench::Grabbed grabbed{size.width, size.height, 10, {}};  // one key frame each
    for (int i = 0; i < 6; ++i) grabbed.frames.push_back(Desktop(size, 32, i).pixels);
    const auto dir = std::filesystem::temp_directory_path() / "korvex-bench";
    std::filesystem::create_directories(dir);
    const bench::Quality theirs = bench::FfmpegQuality(grabbed, " -c:v msvideo1", dir);
    std::printf("ffmpeg msvideo1     %9.0f bytes/frame  PSNR %6.2f dB\n", theirs.bytesPerFrame,
                theirs.psnr);
    for (int quality : {0, 2500, 5000, 7500, 10000}) {
        const bench::Quality ours = bench::OurQuality(grabbed, "MSVC", quality, dir);
        std::printf("MSVC quality %5d  %9.0f bytes/frame  PSNR %6.2f dB\n", quality,
                    ours.bytesPerFrame, ours.psnr);
    }
}

}  // namespace

int main() {
    av_log_set_level(AV_LOG_ERROR);
    for (const Size screen : kScreens) {
        for (int depth : {32, 24, 16, 8}) Conversion(screen, depth);
    }
    // Key frames every 6 frames, at the recorder's default quality; sizes in % of the DIB.
    std::vector<ICINFO> codecs;
    ICINFO codec{};
    for (std::uint32_t i = 0; ICInfo(ICTYPE_VIDEO, i, &codec); ++i) codecs.push_back(codec);
    for (const Size screen : kScreens) {
        for (const ICINFO& c : codecs) Compression(c, screen, 32, 6);
    }
    for (const ICINFO& c : codecs) Compression(c, kScreens[0], 16, 6);
    MsvcQualities();
}
