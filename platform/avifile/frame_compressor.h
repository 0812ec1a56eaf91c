// One codec session of a compressed stream: negotiates the output format for the uncompressed
// input format, then compresses frame after frame, asking for key frames at the first frame and
// every keyFrameEvery frames. Used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/avifile/avifile.h"
#include "platform/vfw/output_buffer.h"
#include "platform/vfw/vfw.h"

namespace platform::avifile {

struct CompressorSettings {
    FOURCC handler = 0;
    std::uint32_t quality = 0;        // 0..10000, or the codec's default for 0xFFFFFFFF
    std::uint32_t keyFrameEvery = 0;  // 0: only the first frame is asked to be a key frame
    std::uint32_t rate = 1;           // frames per second as rate / scale
    std::uint32_t scale = 1;
};

class FrameCompressor {
public:
    // Opens the codec for compression; null when there is none by that handler or it cannot be
    // opened.
    static std::unique_ptr<FrameCompressor> Open(const CompressorSettings& settings);
    explicit FrameCompressor(vfw::CodecHandle codec, const CompressorSettings& settings);
    // Ends the codec's compression if it was begun, then closes the codec.
    ~FrameCompressor();
    FrameCompressor(const FrameCompressor&) = delete;
    FrameCompressor& operator=(const FrameCompressor&) = delete;

    // Takes the input format (a bitmap info header and its colour table) and begins the codec's
    // compression. AVIERR_BADFORMAT when the format is malformed or the codec refuses it.
    HRESULT Begin(std::span<const std::byte> inputFormat);
    const CompressorSettings& Settings() const { return settings_; }
    bool Begun() const { return begun_; }
    // The codec's output format, valid after Begin.
    std::span<const std::byte> OutputFormat() const { return outputFormat_; }

    struct Frame {
        std::span<const std::byte> data;  // valid until the next Compress
        bool keyFrame = false;
    };
    // Compresses one frame of the input format; `changed`, when given, names the rows in which
    // it can differ from the frame compressed before (told to a codec that takes it).
    // AVIERR_BADPARAM when input is shorter than the format's image, AVIERR_COMPRESSOR (or
    // _BADFORMAT, _MEMORY) when the codec fails.
    HRESULT Compress(std::span<const std::byte> input, Frame* frame,
                     const std::vector<vfw::RowSpan>* changed = nullptr);

private:
    vfw::CodecHandle codec_;
    CompressorSettings settings_;
    std::vector<std::byte> inputFormat_;
    std::vector<std::byte> outputFormat_;
    std::vector<std::byte>
        outputHeader_;  // per frame: the output format, its size set by the codec
    vfw::OutputBuffer<std::byte> output_;
    std::size_t inputImageSize_ = 0;
    bool begun_ = false;
    std::int32_t framesCompressed_ = 0;
    std::uint32_t framesSinceKey_ = 0;
};

}  // namespace platform::avifile
