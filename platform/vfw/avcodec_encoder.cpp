#include "platform/vfw/avcodec_encoder.h"

#include <cerrno>
#include <climits>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

namespace platform::vfw {

namespace {

AVPixelFormat PixelFormat(EncoderInput input) {
    switch (input) {
        case EncoderInput::Rgb555:
            return AV_PIX_FMT_RGB555LE;
    }
    return AV_PIX_FMT_NONE;
}

LRESULT FromAvError(int error, LRESULT otherwise) {
    return error == AVERROR(ENOMEM) ? ICERR_MEMORY : otherwise;
}

}  // namespace

bool HasEncoder(const EncoderEntry& entry) {
    return avcodec_find_encoder_by_name(entry.encoder) != nullptr;
}

std::string_view LibraryVersion() {
    static const std::string version = [] {
        const unsigned v = avcodec_version();
        return "libavcodec " + std::to_string(AV_VERSION_MAJOR(v)) + "." +
               std::to_string(AV_VERSION_MINOR(v)) + "." + std::to_string(AV_VERSION_MICRO(v)) +
               " (FFmpeg " + av_version_info() + ")";
    }();
    return version;
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

AvEncoder::AvEncoder(Key /*key*/, const EncoderEntry& entry, Rate rate)
    : entry_(entry), rate_(rate) {}

AvEncoder::~AvEncoder() = default;

LRESULT AvEncoder::Open(const EncoderEntry& entry, std::int32_t width, std::int32_t height,
                        Rate rate, std::unique_ptr<AvEncoder>& encoder) {
    if (rate.num <= 0 || rate.den <= 0) return ICERR_BADPARAM;
    auto opened = std::make_unique<AvEncoder>(Key{}, entry, rate);
    opened->frame_.reset(av_frame_alloc());
    opened->packet_.reset(av_packet_alloc());
    if (!opened->frame_ || !opened->packet_) return ICERR_MEMORY;
    AVFrame* frame = opened->frame_.get();
    frame->format = PixelFormat(entry.input);
    frame->width = width;
    frame->height = height;
    if (int error = av_frame_get_buffer(frame, 0); error < 0) {
        return FromAvError(error, ICERR_BADFORMAT);
    }
    if (LRESULT result = opened->OpenContext(); result != ICERR_OK) return result;
    encoder = std::move(opened);
    return ICERR_OK;
}

// Every encoder begins with a key frame, and libavcodec's msvideo1 takes no per-frame request
// for one, so a key frame is asked for by starting a fresh encoder context. Its own key-frame
// schedule is pushed out of reach, which leaves the decision with the caller.
LRESULT AvEncoder::OpenContext() {
    context_.reset();
    const AVCodec* codec = avcodec_find_encoder_by_name(entry_.encoder);
    if (codec == nullptr) return ICERR_UNSUPPORTED;
    std::unique_ptr<AVCodecContext, ContextFree> context(avcodec_alloc_context3(codec));
    if (!context) return ICERR_MEMORY;
    context->width = frame_->width;
    context->height = frame_->height;
    context->pix_fmt = static_cast<AVPixelFormat>(frame_->format);
    context->time_base = AVRational{rate_.num, rate_.den};
    context->gop_size = INT_MAX;
    context->keyint_min = INT_MAX;
    if (int error = avcodec_open2(context.get(), codec, nullptr); error < 0) {
        return FromAvError(error, ICERR_BADFORMAT);
    }
    context_ = std::move(context);
    framesSinceOpen_ = 0;
    return ICERR_OK;
}

std::span<std::uint8_t> AvEncoder::Picture(std::ptrdiff_t* stride) {
    if (av_frame_make_writable(frame_.get()) < 0) return {};
    *stride = frame_->linesize[0];
    return {frame_->data[0], static_cast<std::size_t>(frame_->linesize[0]) *
                                 static_cast<std::size_t>(frame_->height)};
}

LRESULT AvEncoder::Encode(bool key, Packet* packet) {
    if (!context_ || (key && framesSinceOpen_ > 0)) {
        if (LRESULT result = OpenContext(); result != ICERR_OK) return result;
    }
    frame_->pts = framesSent_;
    if (int error = avcodec_send_frame(context_.get(), frame_.get()); error < 0) {
        return FromAvError(error, ICERR_INTERNAL);
    }
    ++framesSent_;
    ++framesSinceOpen_;
    av_packet_unref(packet_.get());
    // The encoders offered hold no frames back: each picture gives its packet at once.
    if (int error = avcodec_receive_packet(context_.get(), packet_.get()); error < 0) {
        return FromAvError(error, ICERR_INTERNAL);
    }
    packet->bytes = {packet_->data, static_cast<std::size_t>(packet_->size)};
    packet->key = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
    return ICERR_OK;
}

}  // namespace platform::vfw
