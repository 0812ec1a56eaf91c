// One libavcodec encoder session for DIB pictures of one size and depth: it converts each
// picture into the encoder's layout and gives back one packet per picture, at once. Owned and
// used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/vfw/codec_table.h"
#include "platform/vfw/dib_convert.h"
#include "platform/vfw/vfw.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace platform::vfw {

class PictureInput;

// True when the libavcodec in use at run time has the entry's encoder.
bool HasEncoder(const EncoderEntry& entry);

// The libraries behind the entry's encoder, for people to read: "libavcodec 59.37.100 (FFmpeg
// 5.1...)", then libswscale where it converts the pictures, then the encoder's own library where
// it names itself (entry.buildTag). Opens a small encoder session for the last; any thread.
std::string EncoderLibraries(const EncoderEntry& entry);

class AvEncoder {
    struct Key;

public:
    struct Rate {
        int num = 1;  // seconds per frame as num / den
        int den = 25;
    };
    struct Settings {
        std::int32_t width = 0;  // the DIB pictures
        std::int32_t height = 0;
        std::int32_t bitCount = 0;
        Rate rate;
        std::int32_t quality = 0;  // 0..10000
    };
    struct Packet {
        std::span<const std::uint8_t> bytes;  // valid until the next Encode or destruction
        bool key = false;
    };

    // Opens the encoder for the given pictures; ICERR_OK or the ICERR_ of the failure.
    static LRESULT Open(const EncoderEntry& entry, const Settings& settings,
                        std::unique_ptr<AvEncoder>& encoder);
    AvEncoder(Key, const EncoderEntry& entry, const Settings& settings);  // through Open only
    ~AvEncoder();
    AvEncoder(const AvEncoder&) = delete;
    AvEncoder& operator=(const AvEncoder&) = delete;

    // What the decoder needs besides the packets (the encoder's extradata); often empty.
    std::span<const std::uint8_t> CodecData() const;

    // Takes the picture the next Encode compresses. ICERR_BADFORMAT when it has not the
    // session's size and depth, ICERR_MEMORY when the frame cannot be made writable.
    LRESULT Load(const DibImage& image);

    // Compresses the loaded picture; `key` asks for a key frame. Reports what the encoder made.
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
    Settings settings_;
    std::unique_ptr<PictureInput> input_;
    std::unique_ptr<AVCodecContext, ContextFree> context_;
    std::unique_ptr<AVFrame, FrameFree> frame_;
    std::unique_ptr<AVPacket, PacketFree> packet_;
    std::int64_t framesSent_ = 0;
    std::int64_t framesSinceOpen_ = 0;
};

}  // namespace platform::vfw
