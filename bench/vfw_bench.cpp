// Figures for the codec stand-in at screen sizes: DIB conversion per depth, and whole
// ICM_COMPRESS calls of the 'MSVC' driver for key and delta frames.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <vector>

#include "platform/vfw/dib_convert.h"
#include "platform/vfw/vfw.h"

using namespace platform::vfw;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWidth = 1364;  // 1366 x 768 aligned to whole 4 x 4 blocks
constexpr int kHeight = 768;

struct Dib {
    struct {
        BITMAPINFOHEADER header;
        std::uint32_t colours[256];
    } info{};
    std::vector<std::uint8_t> pixels;
};

// A desktop-like picture: flat panels with a band of fine detail, and a window that moves.
Dib Desktop(int bitCount, int frame) {
    Dib d;
    BITMAPINFOHEADER& h = d.info.header;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = kWidth;
    h.biHeight = kHeight;
    h.biPlanes = 1;
    h.biBitCount = static_cast<std::uint16_t>(bitCount);
    const auto stride = static_cast<std::size_t>(DibStride(kWidth, bitCount));
    h.biSizeImage = static_cast<std::uint32_t>(stride * kHeight);
    h.biClrUsed = bitCount == 8 ? 256 : 0;
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

void Conversion(int bitCount) {
    const Dib d = Desktop(bitCount, 0);
    const DibImage image{kWidth, kHeight, bitCount, d.pixels, d.info.colours};
    std::vector<std::uint8_t> out(static_cast<std::size_t>(kWidth) * 2 * kHeight);
    constexpr int kRounds = 200;
    const auto start = Clock::now();
    for (int i = 0; i < kRounds; ++i) DibToRgb555(image, out, kWidth * 2);
    const double ms = Ms(Clock::now() - start) / kRounds;
    std::printf("convert %2d bpp -> RGB555  %7.3f ms/frame  %7.1f Mpixel/s\n", bitCount, ms,
                kWidth * kHeight / ms / 1000.0);
}

void Compression(int bitCount, int keyRate) {
    CodecHandle hic(ICOpen(ICTYPE_VIDEO, mmioFOURCC('M', 'S', 'V', 'C'), ICMODE_COMPRESS));
    if (!hic) {
        std::printf("no 'MSVC' codec\n");
        return;
    }
    constexpr int kFrames = 40;
    std::vector<Dib> frames;
    for (int i = 0; i < kFrames; ++i) frames.push_back(Desktop(bitCount, i));
    const BITMAPINFOHEADER* in = &frames[0].info.header;
    BITMAPINFOHEADER out{};
    ICSendMessage(hic.get(), ICM_COMPRESS_GET_FORMAT, reinterpret_cast<std::intptr_t>(in),
                  reinterpret_cast<std::intptr_t>(&out));
    ICCOMPRESSFRAMES info{};
    info.lQuality = 7500;
    info.lKeyRate = keyRate;
    info.dwRate = 5;
    info.dwScale = 1;
    ICSendMessage(hic.get(), ICM_COMPRESS_FRAMES_INFO, reinterpret_cast<std::intptr_t>(&info),
                  sizeof(info));
    std::vector<std::uint8_t> buffer(out.biSizeImage);
    ICSendMessage(hic.get(), ICM_COMPRESS_BEGIN, reinterpret_cast<std::intptr_t>(in),
                  reinterpret_cast<std::intptr_t>(&out));
    double keyMs = 0, deltaMs = 0;
    std::uint64_t keyBytes = 0, deltaBytes = 0;
    int keys = 0;
    for (int i = 0; i < kFrames; ++i) {
        ICCOMPRESS c{};
        BITMAPINFOHEADER result = out;
        std::uint32_t flags = 0;
        c.lpbiOutput = &result;
        c.lpOutput = buffer.data();
        c.lpbiInput = &frames[i].info.header;
        c.lpInput = frames[i].pixels.data();
        c.lpdwFlags = &flags;
        const auto start = Clock::now();
        if (ICSendMessage(hic.get(), ICM_COMPRESS, reinterpret_cast<std::intptr_t>(&c),
                          sizeof(c)) != ICERR_OK) {
            std::printf("compression failed at frame %d\n", i);
            return;
        }
        const double ms = Ms(Clock::now() - start);
        if (flags & AVIIF_KEYFRAME) {
            ++keys, keyMs += ms, keyBytes += result.biSizeImage;
        } else {
            deltaMs += ms, deltaBytes += result.biSizeImage;
        }
    }
    ICSendMessage(hic.get(), ICM_COMPRESS_END, 0, 0);
    const int deltas = kFrames - keys;
    std::printf(
        "compress %2d bpp key rate %2d  key %7.2f ms %8llu bytes (%d)  delta %7.2f ms "
        "%8llu bytes (%d)\n",
        bitCount, keyRate, keys ? keyMs / keys : 0.0,
        static_cast<unsigned long long>(keys ? keyBytes / keys : 0), keys,
        deltas ? deltaMs / deltas : 0.0,
        static_cast<unsigned long long>(deltas ? deltaBytes / deltas : 0), deltas);
}

}  // namespace

int main() {
    std::printf("%d x %d\n", kWidth, kHeight);
    for (int depth : {32, 24, 16, 8}) Conversion(depth);
    for (int depth : {32, 16}) Compression(depth, 10);
    Compression(32, 1);
}
