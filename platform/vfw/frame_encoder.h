// One encoder session for DIB pictures of one size and depth: it takes each picture and gives
// back one packet for it, at once. Owned and used by one thread at a time.
#pragma once

#include <cstdint>
#include <span>

#include "platform/vfw/dib_convert.h"
#include "platform/vfw/vfw.h"

namespace platform::vfw {

struct EncoderRate {
    int num = 1;  // seconds per frame as num / den
    int den = 25;
};

struct EncoderSettings {
    std::int32_t width = 0;  // the DIB pictures
    std::int32_t height = 0;
    std::int32_t bitCount = 0;
    EncoderRate rate;
    std::int32_t quality = 0;  // 0..10000
};

class FrameEncoder {
public:
    struct Packet {
        std::span<const std::uint8_t> bytes;  // valid until the next Encode or destruction
        bool key = false;
    };

    virtual ~FrameEncoder() = default;

    // What the decoder needs besides the packets (the encoder's extradata); often empty.
    virtual std::span<const std::uint8_t> CodecData() const { return {}; }

    // Takes the picture the next Encode compresses. ICERR_BADFORMAT when it has not the
    // session's size and depth.
    virtual LRESULT Load(const DibImage& image) = 0;

    // Takes a picture that differs from the one loaded before only within `changed` (ascending,
    // apart, inside the picture; none: the same picture). The encoder reads and compares only
    // those rows; a key frame still holds the whole picture. By default the whole picture.
    virtual LRESULT LoadChanged(const DibImage& image, std::span<const RowSpan> changed) {
        static_cast<void>(changed);
        return Load(image);
    }

    // Compresses the loaded picture; `key` asks for a key frame. Reports what the encoder made.
    virtual LRESULT Encode(bool key, Packet* packet) = 0;
};

}  // namespace platform::vfw
