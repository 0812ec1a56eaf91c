// libavcodec's own decoders, to read back what a driver wrote, and how far a decoded picture is
// from the one shown. Decoded pictures are turned into RGB here by hand (BT.601 for YUV), not by
// libswscale, so that the drivers' own conversions are checked against something else.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "tests/unit/vfw_test_support.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/mem.h>
}

namespace vfwtest {

// The decoder libavcodec has for a compression code, as ffmpeg's AVI reader picks it.
inline AVCodecID DecoderFor(FOURCC compression) {
    constexpr std::pair<FOURCC, AVCodecID> kCodes[] = {
        {mmioFOURCC('M', 'S', 'V', 'C'), AV_CODEC_ID_MSVIDEO1},
        {mmioFOURCC('M', 'J', 'P', 'G'), AV_CODEC_ID_MJPEG},
        {mmioFOURCC('Z', 'M', 'B', 'V'), AV_CODEC_ID_ZMBV},
        {mmioFOURCC('H', '2', '6', '4'), AV_CODEC_ID_H264},
        {mmioFOURCC('X', 'V', 'I', 'D'), AV_CODEC_ID_MPEG4},
        {mmioFOURCC('H', 'F', 'Y', 'U'), AV_CODEC_ID_HUFFYUV},
    };
    for (auto [code, id] : kCodes) {
        if (code == compression) return id;
    }
    return AV_CODEC_ID_NONE;
}

inline std::uint8_t Clip(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// A decoded picture as 8-bit RGB, top row first; empty for a layout this does not know.
inline std::vector<Rgb> ToRgb(const AVFrame& f) {
    std::vector<Rgb> out;
    const auto at = [&f](int plane, int x, int y) {
        return f.data[plane][static_cast<std::ptrdiff_t>(y) * f.linesize[plane] + x];
    };
    const auto format = static_cast<AVPixelFormat>(f.format);
    const bool yuv420 = format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P;
    const bool yuv422 = format == AV_PIX_FMT_YUV422P || format == AV_PIX_FMT_YUVJ422P;
    const bool full = format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
                      f.color_range == AVCOL_RANGE_JPEG;
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < f.width; ++x) {
            if (yuv420 || yuv422) {
                const int cy = yuv420 ? y / 2 : y;
                const double l = full ? at(0, x, y) : (at(0, x, y) - 16) * 255.0 / 219.0;
                const double cb = (at(1, x / 2, cy) - 128) * (full ? 1.0 : 255.0 / 224.0);
                const double cr = (at(2, x / 2, cy) - 128) * (full ? 1.0 : 255.0 / 224.0);
                out.push_back({Clip(l + 1.402 * cr), Clip(l - 0.344136 * cb - 0.714136 * cr),
                               Clip(l + 1.772 * cb)});
                continue;
            }
            switch (format) {
                case AV_PIX_FMT_RGB24:
                    out.push_back({at(0, 3 * x, y), at(0, 3 * x + 1, y), at(0, 3 * x + 2, y)});
                    break;
                case AV_PIX_FMT_BGR0:
                case AV_PIX_FMT_BGRA:
                    out.push_back({at(0, 4 * x + 2, y), at(0, 4 * x + 1, y), at(0, 4 * x, y)});
                    break;
                case AV_PIX_FMT_RGB555LE: {
                    const int v = at(0, 2 * x, y) | at(0, 2 * x + 1, y) << 8;
                    const auto widen = [](int c) { return c << 3 | c >> 2; };
                    out.push_back({widen(v >> 10 & 31), widen(v >> 5 & 31), widen(v & 31)});
                    break;
                }
                case AV_PIX_FMT_PAL8: {
                    std::uint32_t c;
                    std::memcpy(&c, f.data[1] + 4 * at(0, x, y), 4);
                    out.push_back({static_cast<int>(c >> 16 & 0xFF),
                                   static_cast<int>(c >> 8 & 0xFF), static_cast<int>(c & 0xFF)});
                    break;
                }
                default:
                    return {};
            }
        }
    }
    return out;
}

// A decoder for the frames of one output format (header, then any codec data), set up the way
// ffmpeg's AVI reader sets it up from the 'strf' chunk.
class Decoder {
public:
    explicit Decoder(const std::vector<std::uint8_t>& format) {
        BITMAPINFOHEADER h;
        std::memcpy(&h, format.data(), sizeof h);
        width_ = h.biWidth;
        height_ = h.biHeight;
        const AVCodec* codec = avcodec_find_decoder(DecoderFor(h.biCompression));
        if (codec == nullptr) return;
        context_.reset(avcodec_alloc_context3(codec));
        context_->width = h.biWidth;
        context_->height = h.biHeight;
        context_->bits_per_coded_sample = h.biBitCount;
        context_->codec_tag = h.biCompression;
        const std::size_t extra = format.size() - sizeof h;
        if (extra > 0) {
            context_->extradata =
                static_cast<std::uint8_t*>(av_mallocz(extra + AV_INPUT_BUFFER_PADDING_SIZE));
            std::memcpy(context_->extradata, format.data() + sizeof h, extra);
            context_->extradata_size = static_cast<int>(extra);
        }
        opened_ = avcodec_open2(context_.get(), codec, nullptr) == 0;
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
    }

    // False when the decoder refuses the frame or gives a picture of another size.
    bool Decode(const std::vector<std::uint8_t>& bytes, std::vector<Rgb>* picture) {
        if (!opened_ || av_new_packet(packet_.get(), static_cast<int>(bytes.size())) < 0) {
            return false;
        }
        std::memcpy(packet_->data, bytes.data(), bytes.size());
        const bool sent = avcodec_send_packet(context_.get(), packet_.get()) == 0;
        av_packet_unref(packet_.get());
        if (!sent || avcodec_receive_frame(context_.get(), frame_.get()) != 0) return false;
        if (frame_->width != width_ || frame_->height != height_) return false;
        *picture = ToRgb(*frame_);
        return !picture->empty();
    }

private:
    struct ContextFree {
        void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
    };
    struct FrameFree {
        void operator()(AVFrame* f) const { av_frame_free(&f); }
    };
    struct PacketFree {
        void operator()(AVPacket* p) const { av_packet_free(&p); }
    };
    int width_ = 0, height_ = 0;
    bool opened_ = false;
    std::unique_ptr<AVCodecContext, ContextFree> context_;
    std::unique_ptr<AVFrame, FrameFree> frame_;
    std::unique_ptr<AVPacket, PacketFree> packet_;
};

struct Difference {
    double mean = 0;  // mean absolute difference per channel, in steps of the compared bits
    double far = 0;   // share of pixels off by more than `farSteps` in some channel
};

// How far a decoded picture is from what the frame showed, after both are cut to `bits` bits
// a channel (5 for what a 16-bit DIB can hold).
inline Difference Compare(const std::vector<Rgb>& shown, const std::vector<Rgb>& decoded,
                          int bits = 5, int farSteps = 3) {
    Difference d;
    if (shown.size() != decoded.size() || shown.empty()) return {1e9, 1};
    const int shift = 8 - bits;
    long total = 0;
    std::size_t far = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        int worst = 0;
        for (auto [a, b] :
             {std::pair{shown[i].r, decoded[i].r}, std::pair{shown[i].g, decoded[i].g},
              std::pair{shown[i].b, decoded[i].b}}) {
            const int diff = std::abs((a >> shift) - (b >> shift));
            total += diff;
            worst = std::max(worst, diff);
        }
        if (worst > farSteps) ++far;
    }
    d.far = static_cast<double>(far) / static_cast<double>(shown.size());
    d.mean = static_cast<double>(total) / (3.0 * static_cast<double>(shown.size()));
    return d;
}

}  // namespace vfwtest
