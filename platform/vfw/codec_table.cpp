#include "platform/vfw/codec_table.h"

#include <array>
#include <climits>
#include <cstdint>

#include "platform/vfw/msvc_encoder.h"
#include "platform/vfw/zmbv_encoder.h"

namespace platform::vfw {

namespace {

constexpr std::int32_t kNoDimensionLimit = INT32_MAX;
constexpr std::int64_t kNoPixelLimit = INT64_MAX;

std::uint64_t Blocks(std::int32_t width, std::int32_t height, std::int32_t size) {
    return static_cast<std::uint64_t>((width + size - 1) / size) *
           static_cast<std::uint64_t>((height + size - 1) / size);
}

// Microsoft Video 1 codes each 4 x 4 block in at most 18 bytes (a flag word and eight colours);
// a frame ends with at most one 2-byte code.
std::uint64_t MsVideo1MaxFrame(std::int32_t width, std::int32_t height, std::int32_t) {
    return static_cast<std::uint64_t>(width / 4) * static_cast<std::uint64_t>(height / 4) * 18 + 2;
}

// libavcodec's MPEG-style encoders (mjpeg, mpeg4) make their packet room for 3100 bytes per
// 16 x 16 macroblock and 10000 more, and fail rather than write past it.
std::uint64_t MpegVideoMaxFrame(std::int32_t width, std::int32_t height, std::int32_t) {
    return Blocks(width, height, 16) * 3100 + 10000;
}

// H.264 holds an 8-bit 4:2:0 macroblock to 3200 bits, and emulation-prevention bytes may add
// half as much again: 1024 bytes a macroblock is ample. 64 KiB more hold the parameter sets, the
// SEI in which x264 lists its options, and the slice headers.
std::uint64_t H264MaxFrame(std::int32_t width, std::int32_t height, std::int32_t) {
    return Blocks(width, height, 16) * 1024 + 65536;
}

// ZMBV deflates at most a 768-byte palette, a 2-byte vector for each 16 x 16 block (padded to
// whole words) and every pixel, at 1, 2 or 4 bytes. Deflate grows data it cannot shrink by 5
// bytes per 16 KiB block; a key frame adds a 7-byte header and deflates the palette and each
// row of blocks on its own, each ending on a byte boundary.
std::uint64_t ZmbvMaxFrame(std::int32_t width, std::int32_t height, std::int32_t bitCount) {
    const std::uint64_t bytesPerPixel = bitCount == 8 ? 1 : bitCount == 16 ? 2 : 4;
    const std::uint64_t raw = 768 + Blocks(width, height, 16) * 2 + 4 +
                              static_cast<std::uint64_t>(width) * height * bytesPerPixel;
    const std::uint64_t pieces = (static_cast<std::uint64_t>(height) + 15) / 16 + 1;
    return raw + raw / 1024 + 64 + 24 * pieces;
}

// Huffyuv's codes are at most 32 bits long, three of them a pixel, in 32-bit words.
std::uint64_t HuffyuvMaxFrame(std::int32_t width, std::int32_t height, std::int32_t) {
    return static_cast<std::uint64_t>(width) * height * 12 + 64;
}

// ffmpeg and ffprobe take both codes for Microsoft Video 1; 'MSVC' is the one written.
constexpr std::array<FOURCC, 1> kMsVideo1Aliases{mmioFOURCC('C', 'R', 'A', 'M')};
constexpr std::array<FOURCC, 1> kH264Aliases{mmioFOURCC('X', '2', '6', '4')};
constexpr std::array<FOURCC, 3> kMpeg4Aliases{
    mmioFOURCC('F', 'M', 'P', '4'), mmioFOURCC('D', 'I', 'V', 'X'), mmioFOURCC('D', 'X', '5', '0')};

// A preset fast enough for live capture at full-screen sizes; zero latency gives each frame its
// packet at once (no look-ahead, no B-frames, sliced threads). Key frames come only where the
// driver asks, as IDR frames, never from x264's scene-cut detection.
constexpr std::array<EncoderOption, 4> kX264Options{{
    {"preset", "veryfast"},
    {"tune", "zerolatency"},
    {"forced-idr", "1"},
    {"x264-params", "scenecut=0"},
}};
// No intra frames of the encoder's own on a change of scene.
constexpr std::array<EncoderOption, 1> kMpeg4Options{{{"sc_threshold", "1000000000"}}};
constexpr std::array<EncoderEntry, 6> kEncoders{{
    // Our own encoder, in 16 bits a pixel; it takes only whole 4 x 4 blocks.
    {
        .handler = mmioFOURCC('M', 'S', 'V', 'C'),
        .compression = mmioFOURCC('M', 'S', 'V', 'C'),
        .aliases = kMsVideo1Aliases,
        .name = u"MSVC",
        .description = u"Microsoft Video 1",
        .encoder = "msvc",
        .flags = VIDCF_QUALITY | VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC,
        .input = EncoderInput::Rgb555,
        .bitCount = 16,
        .widthMultiple = 4,
        .heightMultiple = 4,
        .maxDimension = kNoDimensionLimit,
        .maxPixels = kNoPixelLimit,
        .maxFrameBytes = MsVideo1MaxFrame,
        .own = &kMsvcEncoder,
    },
    // Every frame a JPEG picture; quality is the quantiser. 4:2:2 keeps the horizontal detail of
    // coloured text better than 4:2:0, and is what AVI's Motion JPEG has always carried. JPEG
    // and the encoder take any size up to 65500, but libswscale shifts the chroma of pictures
    // of odd width, so the width is kept even as 4:2:2 wants it.
    {
        .handler = mmioFOURCC('M', 'J', 'P', 'G'),
        .compression = mmioFOURCC('M', 'J', 'P', 'G'),
        .aliases = {},
        .name = u"MJPG",
        .description = u"Motion JPEG",
        .encoder = "mjpeg",
        .flags = VIDCF_QUALITY,
        .input = EncoderInput::Yuv422Full,
        .bitCount = 24,
        .widthMultiple = 2,
        .heightMultiple = 1,
        .maxDimension = 65500,
        .maxPixels = kNoPixelLimit,
        .maxFrameBytes = MpegVideoMaxFrame,
        .keyFrames = KeyFrameControl::EveryFrame,
        .quality = QualityControl::QScale,
    },
    // Our own encoder. Lossless: the DIB's own pixels (8-bit with palette, RGB555, BGR0), so
    // there is no quality to set.
    {
        .handler = mmioFOURCC('Z', 'M', 'B', 'V'),
        .compression = mmioFOURCC('Z', 'M', 'B', 'V'),
        .aliases = {},
        .name = u"ZMBV",
        .description = u"Zip Motion Block Video",
        .encoder = "zmbv",
        .flags = VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC,
        .input = EncoderInput::DibDepth,
        .bitCount = 0,
        .widthMultiple = 1,
        .heightMultiple = 1,
        .maxDimension = kNoDimensionLimit,
        .maxPixels = kNoPixelLimit,
        .maxFrameBytes = ZmbvMaxFrame,
        .own = &kZmbvEncoder,
    },
    // 4:2:0 needs even sizes, and x264 refuses anything wider or higher than 16384.
    {
        .handler = mmioFOURCC('H', '2', '6', '4'),
        .compression = mmioFOURCC('H', '2', '6', '4'),
        .aliases = kH264Aliases,
        .name = u"H264",
        .description = u"H.264 (x264)",
        .encoder = "libx264",
        .flags = VIDCF_QUALITY | VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC,
        .input = EncoderInput::Yuv420,
        .bitCount = 24,
        .widthMultiple = 2,
        .heightMultiple = 2,
        .maxDimension = 16384,
        .maxPixels = kNoPixelLimit,
        .maxFrameBytes = H264MaxFrame,
        .keyFrames = KeyFrameControl::PictureType,
        .quality = QualityControl::Crf,
        .options = kX264Options,
        .buildTag = "x264 - core ",
        .threads = 0,
    },
    // libavcodec's own MPEG-4 Part 2 encoder, in the Xvid code that players know. Sizes are
    // 13-bit fields of the stream header. The encoder takes odd sizes, but its pictures of odd
    // height come back with the chroma rows misplaced, so both are kept even as 4:2:0 wants.
    {
        .handler = mmioFOURCC('X', 'V', 'I', 'D'),
        .compression = mmioFOURCC('X', 'V', 'I', 'D'),
        .aliases = kMpeg4Aliases,
        .name = u"XVID",
        .description = u"MPEG-4 Part 2 (Xvid)",
        .encoder = "mpeg4",
        .flags = VIDCF_QUALITY | VIDCF_TEMPORAL | VIDCF_FASTTEMPORALC,
        .input = EncoderInput::Yuv420,
        .bitCount = 24,
        .widthMultiple = 2,
        .heightMultiple = 2,
        .maxDimension = 8191,
        .maxPixels = kNoPixelLimit,
        .maxFrameBytes = MpegVideoMaxFrame,
        .keyFrames = KeyFrameControl::PictureType,
        // libavcodec's MPEG-4 encoder puts an intra frame at least every 600 frames (as the
        // standard advises); those are reported as the key frames they are.
        .longestKeyInterval = 600,
        .quality = QualityControl::QScale,
        .options = kMpeg4Options,
    },
    // Lossless RGB, every frame a key frame; no quality to set. The decoder takes the bit count
    // from the format and its code tables from the extradata behind the header.
    {
        .handler = mmioFOURCC('H', 'F', 'Y', 'U'),
        .compression = mmioFOURCC('H', 'F', 'Y', 'U'),
        .aliases = {},
        .name = u"HFYU",
        .description = u"Huffyuv",
        .encoder = "huffyuv",
        .flags = 0,
        .input = EncoderInput::Rgb24,
        .bitCount = 24,
        .widthMultiple = 1,
        .heightMultiple = 1,
        .maxDimension = kNoDimensionLimit,
        .maxPixels = kNoPixelLimit,
        .maxFrameBytes = HuffyuvMaxFrame,
        .keyFrames = KeyFrameControl::EveryFrame,
        .codecDataInFormat = true,
    },
}};

}  // namespace

std::span<const EncoderEntry> EncoderTable() {
    return kEncoders;
}

}  // namespace platform::vfw
