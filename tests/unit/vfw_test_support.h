// Test frames and a compression session driven through the codec messages.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/vfw/dib_convert.h"
#include "platform/vfw/vfw.h"

namespace vfwtest {

using namespace platform::vfw;

constexpr FOURCC kMsvc = mmioFOURCC('M', 'S', 'V', 'C');

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

// 0..127: a grey ramp; 128..255: a 4 x 4 x 8 colour cube.
inline std::uint32_t PaletteEntry(int k) {
    int r, g, b;
    if (k < 128) {
        r = g = b = k * 2;
    } else {
        const int j = k - 128;
        r = (j & 3) * 85;
        g = (j >> 2 & 3) * 85;
        b = (j >> 4) * 255 / 7;
    }
    return static_cast<std::uint32_t>(r << 16 | g << 8 | b);
}

// Frame i of a scene: a horizontal grey ramp above, flat colour tiles below, and a 12 x 12
// white square moving 3 pixels right and 1 down per frame, off the 4 x 4 block grid.
inline int SceneIndex(int x, int y, int width, int height, int i) {
    const int sx = 2 + 3 * i % (width - 14);
    const int sy = 1 + i % (height - 14);
    if (x >= sx && x < sx + 12 && y >= sy && y < sy + 12) return 255;
    if (y < height / 2) return x * 127 / (width - 1);
    return 128 + ((x / 8 + y / 8 * 5) & 127);
}

// A DIB: header, 256-entry colour table (always there, used at 8 bits), pixel rows.
struct Frame {
    struct Info {
        BITMAPINFOHEADER header;
        std::uint32_t colours[256];
    } info{};
    std::vector<std::uint8_t> pixels;
    std::vector<Rgb> picture;  // what the frame holds, top row first, 8-bit channels

    const BITMAPINFOHEADER* header() const { return &info.header; }
};

inline BITMAPINFOHEADER DibHeader(int width, int height, int bitCount) {
    return platform::vfw::RgbDibHeader(width, height, bitCount);
}

// A picture of colour-table indices index(x, y) (top row first) at any of the four depths, laid
// out as the screen grabber makes it.
template <typename IndexFn>
Frame PaletteFrame(int width, int height, int bitCount, IndexFn index) {
    Frame f;
    f.info.header = DibHeader(width, height, bitCount);
    for (int k = 0; k < 256; ++k) f.info.colours[k] = PaletteEntry(k);
    const auto stride = static_cast<std::size_t>(DibStride(width, bitCount));
    f.pixels.assign(stride * static_cast<std::size_t>(height), 0xEE);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = f.pixels.data() + static_cast<std::size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const int k = index(x, y);
            const std::uint32_t c = PaletteEntry(k);
            const int r = c >> 16 & 0xFF, g = c >> 8 & 0xFF, b = c & 0xFF;
            // A 16-bit DIB holds 5 bits a channel, read back widened (31 as 255).
            const auto held = [bitCount](int v) {
                return bitCount == 16 ? (v >> 3) << 3 | v >> 5 : v;
            };
            f.picture.push_back({held(r), held(g), held(b)});
            switch (bitCount) {
                case 32:
                    std::memcpy(row + x * 4, &c, 4);
                    break;
                case 24:
                    row[x * 3] = static_cast<std::uint8_t>(b);
                    row[x * 3 + 1] = static_cast<std::uint8_t>(g);
                    row[x * 3 + 2] = static_cast<std::uint8_t>(r);
                    break;
                case 16: {
                    const int v = (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
                    row[x * 2] = static_cast<std::uint8_t>(v);
                    row[x * 2 + 1] = static_cast<std::uint8_t>(v >> 8);
                    break;
                }
                default:
                    row[x] = static_cast<std::uint8_t>(k);
                    break;
            }
        }
    }
    return f;
}

// Frame i of the scene.
inline Frame SceneFrame(int width, int height, int bitCount, int i) {
    return PaletteFrame(width, height, bitCount,
                        [&](int x, int y) { return SceneIndex(x, y, width, height, i); });
}

// One ICMODE_COMPRESS session of a driver, through the IC* calls.
class Session {
public:
    struct Compressed {
        LRESULT result = ICERR_OK;
        std::vector<std::uint8_t> bytes;
        bool key = false;
    };

    explicit Session(FOURCC handler = kMsvc)
        : hic_(ICOpen(ICTYPE_VIDEO, handler, ICMODE_COMPRESS)) {}

    HIC hic() const { return hic_.get(); }

    // Negotiates the output format as a recorder does (its size first), then begins.
    LRESULT Begin(const BITMAPINFOHEADER& in, std::int32_t keyRate, std::int32_t quality = 7500) {
        if (!hic_) return ICERR_BADHANDLE;
        const LRESULT formatSize = ICSendMessage(hic(), ICM_COMPRESS_GET_FORMAT, Ptr(&in), 0);
        if (formatSize < static_cast<LRESULT>(sizeof(BITMAPINFOHEADER))) return formatSize;
        format_.assign(static_cast<std::size_t>(formatSize), 0);
        LRESULT r = ICSendMessage(hic(), ICM_COMPRESS_GET_FORMAT, Ptr(&in), Ptr(format_.data()));
        if (r != ICERR_OK) return r;
        ICCOMPRESSFRAMES frames{};
        frames.lpbiInput = &in;
        frames.lpbiOutput = &output();
        frames.lQuality = quality;
        frames.lKeyRate = keyRate;
        frames.dwRate = 5;
        frames.dwScale = 1;
        r = ICSendMessage(hic(), ICM_COMPRESS_FRAMES_INFO, Ptr(&frames), sizeof(frames));
        if (r != ICERR_OK) return r;
        const LRESULT size = ICSendMessage(hic(), ICM_COMPRESS_GET_SIZE, Ptr(&in), Ptr(&output()));
        if (size <= 0) return size;
        buffer_.assign(static_cast<std::size_t>(size), 0);
        return ICSendMessage(hic(), ICM_COMPRESS_BEGIN, Ptr(&in), Ptr(format_.data()));
    }

    Compressed Compress(const BITMAPINFOHEADER* in, const void* pixels, bool forceKey) {
        ICCOMPRESS c{};
        std::vector<std::uint8_t> out = format_;
        auto* outHeader = reinterpret_cast<BITMAPINFOHEADER*>(out.data());
        std::uint32_t ckid = 0;
        std::uint32_t flags = 0xFFFF;
        c.dwFlags = forceKey ? ICCOMPRESS_KEYFRAME : 0;
        c.lpbiOutput = outHeader;
        c.lpOutput = buffer_.data();
        c.lpbiInput = in;
        c.lpInput = pixels;
        c.lpckid = &ckid;
        c.lpdwFlags = &flags;
        c.dwQuality = static_cast<std::uint32_t>(ICQUALITY_DEFAULT);
        Compressed f;
        f.result = ICSendMessage(hic(), ICM_COMPRESS, Ptr(&c), sizeof(c));
        if (f.result == ICERR_OK) {
            EXPECT_LE(outHeader->biSizeImage, buffer_.size());
            f.bytes.assign(buffer_.begin(), buffer_.begin() + outHeader->biSizeImage);
            EXPECT_TRUE(flags == AVIIF_KEYFRAME || flags == 0) << flags;
            f.key = flags == AVIIF_KEYFRAME;
        }
        return f;
    }

    Compressed Compress(const vfwtest::Frame& frame, bool forceKey = false) {
        return Compress(frame.header(), frame.pixels.data(), forceKey);
    }

    LRESULT End() { return ICSendMessage(hic(), ICM_COMPRESS_END, 0, 0); }

    // The output format: its header, and all of it with any codec data behind the header.
    const BITMAPINFOHEADER& output() const {
        return *reinterpret_cast<const BITMAPINFOHEADER*>(format_.data());
    }
    const std::vector<std::uint8_t>& format() const { return format_; }
    std::size_t bufferSize() const { return buffer_.size(); }

    template <typename T>
    static std::intptr_t Ptr(T* p) {
        return reinterpret_cast<std::intptr_t>(p);
    }

private:
    CodecHandle hic_;
    std::vector<std::uint8_t> format_ = std::vector<std::uint8_t>(sizeof(BITMAPINFOHEADER), 0);
    std::vector<std::uint8_t> buffer_;
};

}  // namespace vfwtest
