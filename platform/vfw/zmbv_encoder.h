// Our own Zip Motion Block Video encoder, made for screen content: lossless, at the DIB's own
// depth (8 bits with its palette, RGB555, or 32-bit BGR0 for 24 and 32). A delta frame moves
// each 16 x 16 block from the previous picture where that matches it exactly, else XORs it with
// the previous picture; one deflate stream runs from each key frame on. One thread at a time.
#pragma once

#include <memory>

#include "platform/vfw/codec_table.h"
#include "platform/vfw/frame_encoder.h"

namespace platform::vfw {

// The deflate level: the fastest, so that a full-screen key frame stays well inside a frame
// period. On a full HD desktop level 4 makes key frames about a third as large for twice the
// deflate time (and the whole recording about half as large for 1.5 times the processor).
constexpr int kZmbvDeflateLevel = 1;

// Null for a depth other than 8, 16, 24 and 32, or when zlib cannot start.
std::unique_ptr<FrameEncoder> OpenZmbvEncoder(const EncoderSettings& settings);

extern const OwnEncoder kZmbvEncoder;

}  // namespace platform::vfw
