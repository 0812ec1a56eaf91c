// Our own Zip Motion Block Video encoder, made for screen content: lossless, at the DIB's own
// depth (8 bits with its palette, RGB555, or 32-bit BGR0 for 24 and 32). A delta frame moves
// each 16 x 16 block from the previous picture where that matches it exactly, else XORs it with
// the previous picture; one deflate stream runs from each key frame on. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/vfw/codec_table.h"
#include "platform/vfw/frame_encoder.h"

namespace platform::vfw {

// The deflate levels of key and delta frames.
struct ZmbvLevels {
    int key = 1;
    int delta = 1;
};
// Chosen with bench/zmbv_bench on full HD screens: a delta frame costs the same at every level
// (finding what changed outweighs deflating it) and is a third as large at 9 as at 1; a key
// frame is a quarter to a third as large at 9 for about twice the processor time (some 30 ms).
constexpr ZmbvLevels kZmbvLevels{9, 9};
// Past this many pixels a key frame at 9 takes two to three frame periods at 15 fps (3840 x 2160:
// 110 to 230 ms), at 1 about one (55 to 85 ms); so larger pictures take their key frames at 1.
constexpr std::int64_t kZmbvLargePicture = 1920 * 1200;
constexpr ZmbvLevels kZmbvLargeLevels{1, 9};

// Null for a depth other than 8, 16, 24 and 32, or when zlib cannot start. Without levels, those
// for the picture's size.
std::unique_ptr<FrameEncoder> OpenZmbvEncoder(const EncoderSettings& settings);
std::unique_ptr<FrameEncoder> OpenZmbvEncoder(const EncoderSettings& settings, ZmbvLevels levels);

extern const OwnEncoder kZmbvEncoder;

}  // namespace platform::vfw
