// One libavcodec encoder session for pictures of one size: the picture buffer it reads, and the
// packets it gives back. Owned and used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "platform/vfw/codec_table.h"
#include "platform/vfw/vfw.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace platform::vfw {

// True when the libavcodec in use at run time has the entry's encoder.
bool HasEncoder(const EncoderEntry& entry);

// The libavcodec library behind the encoders, for people to read ("libavcodec 59.37.100 ...").
std::string_view LibraryVersion();

class AvEncoder {
    struct Key;

  public:
    struct Rate {
        int num = 1;  // seconds per frame as num / den
        int den = 25;
    };
    struct Packet {
        std::span<const std::uint8_t> bytes;  // valid until the next Encode or destruction
        bool key = false;
    };

    // Opens the encoder for width x height pictures; ICERR_OK or the ICERR_ of the failure.
    static LRESULT Open(const EncoderEntry& entry, std::int32_t width, std::int32_t height,
                        Rate rate, std::unique_ptr<AvEncoder>& encoder);
    AvEncoder(Key, const EncoderEntry& entry, Rate rate);  // through Open only
    ~AvEncoder();
    AvEncoder(const AvEncoder&) = delete;
    AvEncoder& operator=(const AvEncoder&) = delete;

    // The picture the next Encode compresses, in the entry's input layout, top row first, rows
    // *stride bytes apart. Empty when it cannot be made writable (out of memory).
    std::span<std::uint8_t> Picture(std::ptrdiff_t* stride);

    // Compresses the picture; `key` asks for a key frame. Reports what the encoder made of it.
    LRESULT Encode(bool key, Packet* packet);

  private:
    struct Key {
        explicit Key() = default;
    };
    struct ContextFree {
        void operator()(AVCodecContext* c) const;
    };
    struct FrameFree {
        void operator()(AVFrame* f) const;
    };
    struct PacketFree {
        void operator()(AVPacket* p) const;
    };

    LRESULT OpenContext();

    EncoderEntry entry_;
    Rate rate_;
    std::unique_ptr<AVCodecContext, ContextFree> context_;
    std::unique_ptr<AVFrame, FrameFree> frame_;
    std::unique_ptr<AVPacket, PacketFree> packet_;
    std::int64_t framesSent_ = 0;
    std::int64_t framesSinceOpen_ = 0;
};

}  // namespace platform::vfw
