#include "platform/vfw/avcodec_encoder.h"

#include <algorithm>
#include <cerrno>
#include <vector>

#include "platform/vfw/picture_input.h"
#include "platform/vfw/quality_mapping.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace platform::vfw {

namespace {

LRESULT FromAvError(int error, LRESULT otherwise) {
    return error == AVERROR(ENOMEM) ? ICERR_MEMORY : otherwise;
}

std::string VersionText(unsigned v) {
    return std::to_string(AV_VERSION_MAJOR(v)) + "." + std::to_string(AV_VERSION_MINOR(v)) + "." +
           std::to_string(AV_VERSION_MICRO(v));
}

bool ConvertsWithSwscale(EncoderInput input) {
    return input == EncoderInput::Yuv420 || input == EncoderInput::Yuv422Full;
}

// The encoder's own options, and the quality where the encoder takes it as one. Values go in
// as numbers or plain words, never through the locale's decimal point.
LRESULT SetOptions(const EncoderEntry& entry, std::int32_t quality, AVCodecContext* context) {
    for (const EncoderOption& option : entry.options) {
        // An option the encoder does not know means it is not the encoder the entry describes.
        if (av_opt_set(context, option.key, option.value, AV_OPT_SEARCH_CHILDREN) < 0) {
            return ICERR_UNSUPPORTED;
        }
    }
    if (entry.quality == QualityControl::Crf &&
        av_opt_set_double(context, "crf", CrfFor(quality), AV_OPT_SEARCH_CHILDREN) < 0) {
        return ICERR_UNSUPPORTED;
    }
    return ICERR_OK;
}

// The text of the encoder's self-description that starts with `tag`, up to the next " - ".
std::string BuildIn(std::span<const std::uint8_t> bytes, std::string_view tag) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::size_t at = text.find(tag);
    if (at == std::string_view::npos) return {};
    const std::size_t end = text.find(" - ", at + tag.size());
    const std::string_view build = text.substr(at, end == std::string_view::npos ? 0 : end - at);
    const bool printable = std::ranges::all_of(build, [](char c) { return c >= 32 && c < 127; });
    return printable ? std::string(build) : std::string();
}

// Compresses one small black picture and looks for the encoder's own name in what comes out.
std::string EncoderBuild(const EncoderEntry& entry) {
    constexpr std::int32_t kSize = 16;
    std::unique_ptr<AvEncoder> encoder;
    if (AvEncoder::Open(entry, {kSize, kSize, 32, {1, 25}, kDefaultQuality}, encoder) != ICERR_OK) {
        return {};
    }
    const std::vector<std::uint8_t> black(kSize * kSize * 4, 0);
    AvEncoder::Packet packet;
    if (encoder->Load({kSize, kSize, 32, black, {}}) != ICERR_OK ||
        encoder->Encode(true, &packet) != ICERR_OK) {
        return {};
    }
    return BuildIn(packet.bytes, entry.buildTag);
}

}  // namespace

bool HasEncoder(const EncoderEntry& entry) {
    return entry.own != nullptr || avcodec_find_encoder_by_name(entry.encoder) != nullptr;
}

std::string EncoderLibraries(const EncoderEntry& entry) {
    if (entry.own != nullptr) {
        const std::string libraries = entry.own->libraries();
        return libraries.empty() ? "Korvex" : "Korvex, with " + libraries;
    }
    std::string text =
        "libavcodec " + VersionText(avcodec_version()) + " (FFmpeg " + av_version_info() + ")";
    if (ConvertsWithSwscale(entry.input)) text += ", libswscale " + VersionText(swscale_version());
    if (entry.buildTag != nullptr) {
        if (const std::string build = EncoderBuild(entry); !build.empty()) text += ", " + build;
    }
    return text;
}

void AvEncoder::ContextFree::operator()(AVCodecContext* c) const {
    avcodec_free_context(&c);
}
void AvEncoder::FrameFree::operator()(AVFrame* f) const {
    av_frame_free(&f);
}
void AvEncoder::PacketFree::operator()(AVPacket* p) const {
    av_packet_free(&p);
}

AvEncoder::AvEncoder(Key /*key*/, const EncoderEntry& entry, const Settings& settings)
    : entry_(entry), settings_(settings) {}

AvEncoder::~AvEncoder() = default;

LRESULT AvEncoder::Open(const EncoderEntry& entry, const Settings& settings,
                        std::unique_ptr<AvEncoder>& encoder) {
    if (settings.rate.num <= 0 || settings.rate.den <= 0) return ICERR_BADPARAM;
    auto opened = std::make_unique<AvEncoder>(Key{}, entry, settings);
    opened->input_ =
        PictureInput::Create(entry.input, settings.width, settings.height, settings.bitCount);
    if (!opened->input_) return ICERR_BADFORMAT;
    opened->frame_.reset(av_frame_alloc());
    opened->packet_.reset(av_packet_alloc());
    if (!opened->frame_ || !opened->packet_) return ICERR_MEMORY;
    AVFrame* frame = opened->frame_.get();
    frame->format = opened->input_->Format();
    frame->width = settings.width;
    frame->height = settings.height;
    frame->color_range = opened->input_->Range();
    if (int error = av_frame_get_buffer(frame, 0); error < 0) {
        return FromAvError(error, ICERR_BADFORMAT);
    }
    if (LRESULT result = opened->OpenContext(); result != ICERR_OK) return result;
    encoder = std::move(opened);
    return ICERR_OK;
}

// The driver decides every key frame, so the encoder's own schedule is pushed as far out as the
// encoder lets it (an intra-only encoder has none). Nothing may hold frames back: no B-frames,
// and one thread, since libavcodec's frame threads each keep a picture in flight, unless the
// entry's encoder splits each picture among its threads.
LRESULT AvEncoder::OpenContext() {
    context_.reset();
    const AVCodec* codec = avcodec_find_encoder_by_name(entry_.encoder);
    if (codec == nullptr) return ICERR_UNSUPPORTED;
    std::unique_ptr<AVCodecContext, ContextFree> context(avcodec_alloc_context3(codec));
    if (!context) return ICERR_MEMORY;
    context->width = frame_->width;
    context->height = frame_->height;
    context->pix_fmt = static_cast<AVPixelFormat>(frame_->format);
    context->time_base = AVRational{settings_.rate.num, settings_.rate.den};
    context->framerate = AVRational{settings_.rate.den, settings_.rate.num};
    if (entry_.keyFrames != KeyFrameControl::EveryFrame) {
        context->gop_size = entry_.longestKeyInterval;
        context->keyint_min = entry_.longestKeyInterval;
    }
    context->max_b_frames = 0;
    context->thread_count = entry_.threads;
    if (ConvertsWithSwscale(entry_.input)) {
        context->color_range = input_->Range();
        context->colorspace = AVCOL_SPC_SMPTE170M;
    }
    if (entry_.quality == QualityControl::QScale) {
        context->flags |= AV_CODEC_FLAG_QSCALE;
        context->global_quality = QScaleFor(settings_.quality) * FF_QP2LAMBDA;
        context->qmin = 1;
        context->qmax = 31;
    }
    if (LRESULT result = SetOptions(entry_, settings_.quality, context.get()); result != ICERR_OK) {
        return result;
    }
    if (int error = avcodec_open2(context.get(), codec, nullptr); error < 0) {
        return FromAvError(error, ICERR_BADFORMAT);
    }
    context_ = std::move(context);
    framesSinceOpen_ = 0;
    return ICERR_OK;
}

std::span<const std::uint8_t> AvEncoder::CodecData() const {
    if (!context_ || context_->extradata == nullptr || context_->extradata_size <= 0) return {};
    return {context_->extradata, static_cast<std::size_t>(context_->extradata_size)};
}

LRESULT AvEncoder::Load(const DibImage& image) {
    same_ = false;
    loaded_ = false;
    if (av_frame_make_writable(frame_.get()) < 0) return ICERR_MEMORY;
    loaded_ = input_->Load(image, frame_.get());
    return loaded_ ? ICERR_OK : ICERR_BADFORMAT;
}

LRESULT AvEncoder::LoadChanged(const DibImage& image, std::span<const RowSpan> changed) {
    if (!loaded_) return Load(image);
    if (image.width != settings_.width || image.height != settings_.height ||
        image.bitCount != settings_.bitCount) {
        return ICERR_BADFORMAT;
    }
    if (changed.empty()) return ICERR_OK;
    // Making the frame writable keeps its picture, which the changed rows then update.
    if (av_frame_make_writable(frame_.get()) < 0) return ICERR_MEMORY;
    same_ = false;
    if (input_->LoadRows(image, frame_.get(), changed)) return ICERR_OK;
    return Load(image);
}

LRESULT AvEncoder::Encode(bool key, Packet* packet) {
    // Every packet of such an encoder is a whole picture: the same picture, the same packet.
    if (same_ && entry_.keyFrames == KeyFrameControl::EveryFrame && packet_->size > 0) {
        packet->bytes = {packet_->data, static_cast<std::size_t>(packet_->size)};
        packet->key = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
        return ICERR_OK;
    }
    const bool restart =
        key && entry_.keyFrames == KeyFrameControl::Restart && framesSinceOpen_ > 0;
    if (!context_ || restart) {
        if (LRESULT result = OpenContext(); result != ICERR_OK) return result;
    }
    frame_->pts = framesSent_;
    frame_->pict_type = key && entry_.keyFrames == KeyFrameControl::PictureType
                            ? AV_PICTURE_TYPE_I
                            : AV_PICTURE_TYPE_NONE;
    switch (entry_.quality) {
        case QualityControl::QScale:
            frame_->quality = context_->global_quality;
            break;
        default:
            break;
    }
    if (int error = avcodec_send_frame(context_.get(), frame_.get()); error < 0) {
        return FromAvError(error, ICERR_INTERNAL);
    }
    ++framesSent_;
    ++framesSinceOpen_;
    av_packet_unref(packet_.get());
    // Every encoder is set up to hold nothing back: each picture gives its packet at once.
    if (int error = avcodec_receive_packet(context_.get(), packet_.get()); error < 0) {
        return FromAvError(error, ICERR_INTERNAL);
    }
    packet->bytes = {packet_->data, static_cast<std::size_t>(packet_->size)};
    packet->key = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
    same_ = true;
    return ICERR_OK;
}

}  // namespace platform::vfw
