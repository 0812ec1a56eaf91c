// Our own Zip Motion Block Video encoder, made for screen content: lossless, at the DIB's own
// depth (8 bits with its palette, RGB555, or 32-bit BGR0 for 24 and 32). A delta frame moves
// each 16 x 16 block from the previous picture where that matches it exactly, else XORs it with
// the previous picture; one deflate stream runs from each key frame on. A key frame deflates
// each row of blocks on its own and keeps the bytes, so that the next one deflates only the rows
// that changed in between. One thread at a time.
#pragma once

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
// frame made whole is a quarter to a third as large at 9 for about three times the processor
// time (some 25 ms), and a key frame after typing deflates only a few rows.
constexpr ZmbvLevels kZmbvLevels{9, 9};

// Null for a depth other than 8, 16, 24 and 32, or when zlib cannot start.
std::unique_ptr<FrameEncoder> OpenZmbvEncoder(const EncoderSettings& settings,
                                              ZmbvLevels levels = kZmbvLevels);

extern const OwnEncoder kZmbvEncoder;

}  // namespace platform::vfw
