// Our own Microsoft Video 1 encoder, 16-bit form, made for screen content: each 4 x 4 block is
// skipped (unchanged since the previous picture), one colour, two colours, or two colours for
// each of its four 2 x 2 quarters. One thread at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/vfw/codec_table.h"
#include "platform/vfw/frame_encoder.h"

namespace platform::vfw {

// The largest squared error a block may carry as one or two colours at that quality (0..10000),
// summed over its 16 pixels and three channels in steps of 5 bits; 0 at 10000. A block that no
// one- or two-colour fit brings within it gets eight colours.
std::int64_t MsvcBlockErrorLimit(std::int32_t quality);

// Null for a size that is not whole blocks or a depth other than 8, 16, 24 and 32.
std::unique_ptr<FrameEncoder> OpenMsvcEncoder(const EncoderSettings& settings);

extern const OwnEncoder kMsvcEncoder;

}  // namespace platform::vfw
