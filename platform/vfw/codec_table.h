// The libavcodec encoders offered as codec drivers: one entry per codec, in the order the
// drivers are enumerated. Entries are constant data, safe to read from any thread.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/vfw/vfw.h"

namespace platform::vfw {

// The pixel layout an encoder takes its pictures in.
enum class EncoderInput { Rgb555 };

struct EncoderEntry {
    FOURCC handler;                   // the driver's fccHandler
    FOURCC compression;               // biCompression of the compressed frames
    std::span<const FOURCC> aliases;  // other biCompression codes readers take for the codec
    std::u16string_view name;         // ICINFO szName, at most 15 characters
    std::u16string_view description;  // ICINFO szDescription, the name a user recognises
    const char* encoder;              // libavcodec encoder name
    std::uint32_t flags;              // ICINFO dwFlags (VIDCF_)
    EncoderInput input;
    std::uint16_t bitCount;     // biBitCount of the compressed frames
    std::int32_t sizeMultiple;  // width and height must be multiples of this
    std::int64_t maxPixels;     // largest width x height the encoder handles
    // Upper bound of one compressed frame of this size, in bytes.
    std::uint32_t (*maxFrameBytes)(std::int32_t width, std::int32_t height);
};

// Every entry, in enumeration order; whether libavcodec has each encoder is checked later.
std::span<const EncoderEntry> EncoderTable();

}  // namespace platform::vfw
