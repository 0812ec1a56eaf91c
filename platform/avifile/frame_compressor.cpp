#include "platform/avifile/frame_compressor.h"

#include <cstring>
#include <limits>

#include "platform/avifile/dib_format.h"

namespace platform::avifile {

namespace {

using vfw::BITMAPINFOHEADER;

// Output formats carry a header and perhaps a colour table or codec data, never more than this.
constexpr vfw::LRESULT kMaxFormatSize = vfw::LRESULT{64} * 1024;
constexpr std::uint64_t kMaxBufferSize = std::numeric_limits<std::int32_t>::max();

std::intptr_t Param(const void* pointer) {
    return reinterpret_cast<std::intptr_t>(pointer);
}

HRESULT FromCodecError(vfw::LRESULT error) {
    switch (error) {
        case vfw::ICERR_BADFORMAT:
        case vfw::ICERR_BADBITDEPTH:
        case vfw::ICERR_BADIMAGESIZE:
        case vfw::ICERR_BADSIZE:
            return AVIERR_BADFORMAT;
        case vfw::ICERR_MEMORY:
            return AVIERR_MEMORY;
        default:
            return AVIERR_COMPRESSOR;
    }
}

}  // namespace

std::unique_ptr<FrameCompressor> FrameCompressor::Open(const CompressorSettings& settings) {
    vfw::CodecHandle codec(vfw::ICOpen(vfw::ICTYPE_VIDEO, settings.handler, vfw::ICMODE_COMPRESS));
    if (!codec) return nullptr;
    return std::make_unique<FrameCompressor>(std::move(codec), settings);
}

FrameCompressor::FrameCompressor(vfw::CodecHandle codec, const CompressorSettings& settings)
    : codec_(std::move(codec)), settings_(settings) {}

FrameCompressor::~FrameCompressor() {
    if (begun_) vfw::ICSendMessage(codec_.get(), vfw::ICM_COMPRESS_END, 0, 0);
}

HRESULT FrameCompressor::Begin(std::span<const std::byte> inputFormat) {
    if (begun_) return AVIERR_UNSUPPORTED;
    const std::uint64_t imageSize = FrameBytes(inputFormat);
    if (imageSize == 0) return AVIERR_BADFORMAT;
    inputFormat_.assign(inputFormat.begin(), inputFormat.end());
    const void* input = inputFormat_.data();
    vfw::HIC hic = codec_.get();

    if (vfw::ICSendMessage(hic, vfw::ICM_COMPRESS_QUERY, Param(input), 0) != vfw::ICERR_OK) {
        return AVIERR_BADFORMAT;
    }
    const vfw::LRESULT formatSize =
        vfw::ICSendMessage(hic, vfw::ICM_COMPRESS_GET_FORMAT, Param(input), 0);
    if (formatSize < static_cast<vfw::LRESULT>(sizeof(BITMAPINFOHEADER)) ||
        formatSize > kMaxFormatSize) {
        return AVIERR_BADFORMAT;
    }
    outputFormat_.assign(static_cast<std::size_t>(formatSize), std::byte{0});
    if (vfw::ICSendMessage(hic, vfw::ICM_COMPRESS_GET_FORMAT, Param(input),
                           Param(outputFormat_.data())) < 0 ||
        !PictureHeader(outputFormat_)) {
        return AVIERR_BADFORMAT;
    }
    const void* output = outputFormat_.data();

    vfw::ICCOMPRESSFRAMES frames{};
    frames.lpbiOutput = static_cast<const BITMAPINFOHEADER*>(output);
    frames.lpbiInput = static_cast<const BITMAPINFOHEADER*>(input);
    frames.lQuality = static_cast<std::int32_t>(settings_.quality);
    frames.lKeyRate = static_cast<std::int32_t>(settings_.keyFrameEvery);
    frames.dwRate = settings_.rate;
    frames.dwScale = settings_.scale;
    // Advice only: a codec that does not take it compresses all the same.
    vfw::ICSendMessage(hic, vfw::ICM_COMPRESS_FRAMES_INFO, Param(&frames), sizeof frames);

    const vfw::LRESULT bufferSize =
        vfw::ICSendMessage(hic, vfw::ICM_COMPRESS_GET_SIZE, Param(input), Param(output));
    if (bufferSize <= 0 || static_cast<std::uint64_t>(bufferSize) > kMaxBufferSize) {
        return AVIERR_COMPRESSOR;
    }
    output_ = vfw::OutputBuffer<std::byte>(static_cast<std::size_t>(bufferSize));
    outputHeader_ = outputFormat_;
    const vfw::LRESULT begun =
        vfw::ICSendMessage(hic, vfw::ICM_COMPRESS_BEGIN, Param(input), Param(output));
    if (begun != vfw::ICERR_OK) return FromCodecError(begun);
    inputImageSize_ = static_cast<std::size_t>(imageSize);
    begun_ = true;
    return AVIERR_OK;
}

HRESULT FrameCompressor::Compress(std::span<const std::byte> input, Frame* frame,
                                  const std::vector<vfw::RowSpan>* changed) {
    if (!begun_) return AVIERR_BADFORMAT;
    if (input.size() < inputImageSize_) return AVIERR_BADPARAM;
    if (changed != nullptr) {
        // Advice only: a codec that does not take it reads the whole frame.
        const vfw::ICCHANGEDROWS rows{static_cast<std::uint32_t>(changed->size()), changed->data()};
        vfw::ICSendMessage(codec_.get(), vfw::ICM_KORVEX_CHANGED_ROWS, Param(&rows), 0);
    }
    const bool wantKey = framesCompressed_ == 0 || (settings_.keyFrameEvery > 0 &&
                                                    framesSinceKey_ >= settings_.keyFrameEvery);

    // The codec sets the output size in its copy of the header.
    std::memcpy(outputHeader_.data(), outputFormat_.data(), outputFormat_.size());
    auto* outputHeader = reinterpret_cast<BITMAPINFOHEADER*>(outputHeader_.data());
    std::uint32_t chunkId = 0;
    std::uint32_t flags = 0;
    vfw::ICCOMPRESS request{};
    request.dwFlags = wantKey ? vfw::ICCOMPRESS_KEYFRAME : 0;
    request.lpbiOutput = outputHeader;
    request.lpOutput = output_.data();
    request.lpbiInput = reinterpret_cast<const BITMAPINFOHEADER*>(inputFormat_.data());
    request.lpInput = input.data();
    request.lpckid = &chunkId;
    request.lpdwFlags = &flags;
    request.lFrameNum = framesCompressed_;
    request.dwQuality = settings_.quality;
    // No previous frame is handed over: the drivers keep their own reference picture.
    const vfw::LRESULT result =
        vfw::ICSendMessage(codec_.get(), vfw::ICM_COMPRESS, Param(&request), sizeof request);
    if (result != vfw::ICERR_OK) return FromCodecError(result);
    if (outputHeader->biSizeImage > output_.size()) return AVIERR_COMPRESSOR;

    ++framesCompressed_;
    const bool key = (flags & vfw::AVIIF_KEYFRAME) != 0;
    framesSinceKey_ = key ? 1 : framesSinceKey_ + 1;
    frame->data = std::span<const std::byte>(output_.data(), outputHeader->biSizeImage);
    frame->keyFrame = key;
    return AVIERR_OK;
}

}  // namespace platform::avifile
