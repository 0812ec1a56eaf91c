// DIB pictures of one size and depth turned into the frames an encoder takes, in the layout its
// entry names. YUV layouts come from one libswscale context made up front and reused for every
// picture; the others from the plain conversions of dib_convert.h. One thread at a time.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/vfw/codec_table.h"
#include "platform/vfw/dib_convert.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

struct AVFrame;
struct SwsContext;

namespace platform::vfw {

class PictureInput {
    struct Key;

public:
    // Null when the layout cannot be made from DIBs of that depth, or libswscale refuses.
    static std::unique_ptr<PictureInput> Create(EncoderInput input, std::int32_t width,
                                                std::int32_t height, std::int32_t bitCount);
    PictureInput(Key, AVPixelFormat format, AVColorRange range);  // through Create only
    ~PictureInput();
    PictureInput(const PictureInput&) = delete;
    PictureInput& operator=(const PictureInput&) = delete;

    // The frames' pixel format and the range of their samples.
    AVPixelFormat Format() const { return format_; }
    AVColorRange Range() const { return range_; }

    // Fills `frame` (writable, of Format() and the session's size) with the DIB, which must have
    // the session's size and depth; false, with the frame unspecified, when it does not.
    bool Load(const DibImage& dib, AVFrame* frame);

    // Converts only the DIB's rows in `rows` into the frame, which holds the DIB's previous
    // picture; false for layouts made by libswscale (their chroma spans
    // rows) or a DIB that does not fit.
    bool LoadRows(const DibImage& dib, AVFrame* frame, std::span<const RowSpan> rows);

private:
    struct Key {
        explicit Key() = default;
    };
    struct SwsFree {
        void operator()(SwsContext* c) const;
    };

    bool Fits(const DibImage& dib, const AVFrame* frame) const;
    // The packed layouts: the DIB's rows into out, the frame's rows from its top.
    bool Convert(const DibImage& dib, AVFrame* frame, std::span<std::uint8_t> out);
    bool Scale(const DibImage& dib, AVFrame* frame);

    AVPixelFormat format_;
    AVColorRange range_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t bitCount_ = 0;
    std::unique_ptr<SwsContext, SwsFree> scaler_;
    std::array<std::uint32_t, 256> palette_{};  // the scaler's view of an 8-bit DIB's table
    std::vector<std::uint8_t> widened_;         // a 16-bit DIB as RGB24, for the scaler
};

}  // namespace platform::vfw
