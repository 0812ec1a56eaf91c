// The encoders offered as codec drivers, libavcodec's and our own: one entry per codec, in the
// order the drivers are enumerated. Entries are constant data, safe to read from any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/vfw/frame_encoder.h"
#include "platform/vfw/vfw.h"

namespace platform::vfw {

// The pixel layout an encoder takes its pictures in.
enum class EncoderInput {
    Rgb555,      // RGB555 words, whatever the depth of the DIB
    DibDepth,    // close to the DIB: 8-bit indices with their palette, RGB555, or BGR0 (24, 32)
    Rgb24,       // packed R, G, B bytes
    Yuv420,      // planar 4:2:0, limited range, BT.601
    Yuv422Full,  // planar 4:2:2, full range, BT.601 (JPEG)
};

// How the driver gets a key frame out of the encoder where it wants one.
enum class KeyFrameControl {
    Restart,      // a fresh encoder context: it begins with a key frame and takes no request
    PictureType,  // the picture is handed over marked as an intra picture
    EveryFrame,   // an intra-only codec: every frame is a key frame
};

// What the driver's quality (0..10000) sets in the encoder; see quality_mapping.h.
enum class QualityControl {
    None,    // the codec has no quality control (or is lossless)
    QScale,  // a fixed quantiser for every picture
    Crf,     // x264's constant rate factor
};

// A private option of the encoder (av_opt name and value).
struct EncoderOption {
    const char* key;
    const char* value;
};

// An encoder of our own in place of libavcodec's.
struct OwnEncoder {
    // A session for pictures of the settings' size and depth; null for a depth it does not take.
    std::unique_ptr<FrameEncoder> (*open)(const EncoderSettings& settings);
    // The libraries it uses, for people to read ("zlib 1.2.13"); empty for none.
    std::string (*libraries)();
};

struct EncoderEntry {
    FOURCC handler;                   // the driver's fccHandler
    FOURCC compression;               // biCompression of the compressed frames
    std::span<const FOURCC> aliases;  // other biCompression codes readers take for the codec
    std::u16string_view name;         // ICINFO szName, at most 15 characters
    std::u16string_view description;  // ICINFO szDescription, the name a user recognises
    const char* encoder;              // libavcodec encoder name, or our own encoder's name
    std::uint32_t flags;              // ICINFO dwFlags (VIDCF_)
    EncoderInput input;
    std::uint16_t bitCount;       // biBitCount of the compressed frames; 0: by the input depth
    std::int32_t widthMultiple;   // the width must be a multiple of this
    std::int32_t heightMultiple;  // the height must be a multiple of this
    std::int32_t maxDimension;    // largest width and largest height the encoder takes
    std::int64_t maxPixels;       // largest width x height the encoder handles
    // Upper bound of one compressed frame of this size and input depth, in bytes.
    std::uint64_t (*maxFrameBytes)(std::int32_t width, std::int32_t height, std::int32_t bitCount);
    KeyFrameControl keyFrames = KeyFrameControl::Restart;
    // The longest distance between key frames the encoder takes; it makes one itself after that.
    std::int32_t longestKeyInterval = INT32_MAX;
    QualityControl quality = QualityControl::None;
    std::span<const EncoderOption> options = {};
    // The decoder needs the encoder's extradata: it follows the output header in the format.
    bool codecDataInFormat = false;
    // Where the encoder names its own library in its first packet ("x264 - core 164 ..."), the
    // text that starts that name; null for none.
    const char* buildTag = nullptr;
    // Threads the encoder may use, 0 for as many as it likes; only for an encoder whose
    // threads share each picture (slices), so that none holds a frame back.
    int threads = 1;
    // Set for a codec we encode ourselves; libavcodec's `encoder` is not used then.
    const OwnEncoder* own = nullptr;
};

// Every entry, in enumeration order; whether libavcodec has each encoder is checked later.
std::span<const EncoderEntry> EncoderTable();

}  // namespace platform::vfw
