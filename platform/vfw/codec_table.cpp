#include "platform/vfw/codec_table.h"

#include <array>
#include <climits>

namespace platform::vfw {

namespace {

// Microsoft Video 1 codes each 4 x 4 block in at most 18 bytes (a flag word and eight colours);
// a frame ends with at most one 2-byte code.
std::uint32_t MsVideo1MaxFrame(std::int32_t width, std::int32_t height) {
    const auto blocks =
        static_cast<std::uint64_t>(width / 4) * static_cast<std::uint64_t>(height / 4);
    return static_cast<std::uint32_t>(blocks * 18 + 2);
}

// ffmpeg and ffprobe take both codes for Microsoft Video 1; 'MSVC' is the one written.
constexpr std::array<FOURCC, 1> kMsVideo1Aliases{mmioFOURCC('C', 'R', 'A', 'M')};

// libavcodec's msvideo1 encoder has no quality control, so the driver does not claim one. It
// takes only whole 4 x 4 blocks, and it sizes its packet buffer at 9 bytes a pixel in int
// arithmetic, which bounds the picture.
constexpr std::array<EncoderEntry, 1> kEncoders{{
    {
        .handler = mmioFOURCC('M', 'S', 'V', 'C'),
        .compression = mmioFOURCC('M', 'S', 'V', 'C'),
        .aliases = kMsVideo1Aliases,
        .name = u"MSVC",
        .description = u"Microsoft Video 1",
        .encoder = "msvideo1",
        .flags = VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC,
        .input = EncoderInput::Rgb555,
        .bitCount = 16,
        .sizeMultiple = 4,
        .maxPixels = (INT_MAX - 16384) / 9,
        .maxFrameBytes = MsVideo1MaxFrame,
    },
}};

}  // namespace

std::span<const EncoderEntry> EncoderTable() {
    return kEncoders;
}

}  // namespace platform::vfw
