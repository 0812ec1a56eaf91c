// Our own Microsoft Video 1 encoder, 16-bit form, made for screen content: each 4 x 4 block is
// skipped (unchanged since the previous picture), one colour, two colours, or two colours for
// each of its four 2 x 2 quarters. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/vfw/codec_table.h"
#include "platform/vfw/frame_encoder.h"

namespace platform::vfw {

// What a byte of the frame is worth at that quality (0..10000), in squared error of a block
// (over its pixels and three channels, in steps of 5 bits): each block gets the code whose error
// plus this weight times its bytes is least. 1000 at quality 0, falling with the square of the
// distance to 10000, where it is 0 and only the error counts.
std::int64_t MsvcByteWeight(std::int32_t quality);

// Null for a size that is not whole blocks or a depth other than 8, 16, 24 and 32.
std::unique_ptr<FrameEncoder> OpenMsvcEncoder(const EncoderSettings& settings);

extern const OwnEncoder kMsvcEncoder;

}  // namespace platform::vfw
