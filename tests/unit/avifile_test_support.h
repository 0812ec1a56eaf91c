// Helpers for the AVI writer tests: codec drivers of our own, frames, a RIFF reader for golden
// checks, temporary folders and the independent tools (ffprobe, ffmpeg) run as child processes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/avifile/avifile.h"
#include "platform/avifile/wave_format.h"
#include "platform/vfw/vfw.h"

namespace avitest {

namespace vfw = platform::vfw;
namespace avi = platform::avifile;

// What a test codec was asked.
struct CodecLog {
    std::vector<std::uint32_t> messages;
    std::vector<bool> keyRequests;  // per ICM_COMPRESS: was a key frame asked for
    vfw::ICCOMPRESSFRAMES framesInfo{};
    std::uint32_t lastQuality = 0;
    int ends = 0;
    int Count(std::uint32_t message) const;
};

enum class KeyFrames { always, whenAsked };

// A codec whose output is its input (BI_RGB at 8, 16, 24 or 32 bits), so that a player decodes
// exactly the pixels written.
struct PassThroughOptions {
    vfw::FOURCC handler = vfw::mmioFOURCC('K', 'R', 'A', 'W');
    bool openable = true;
    bool acceptsInput = true;
    KeyFrames keyFrames = KeyFrames::always;
};

std::shared_ptr<vfw::CodecDriver> PassThroughDriver(PassThroughOptions options,
                                                    std::shared_ptr<CodecLog> log = nullptr);

// A frame in DIB layout: header, colour table, bottom-up rows padded to 32 bits.
struct Frame {
    vfw::BITMAPINFOHEADER header{};
    std::vector<std::uint32_t> colours;
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint8_t> Format() const;  // header followed by the colour table
    std::size_t Stride() const;
};
// A picture that differs from pixel to pixel and from frame to frame (seed).
Frame MakeFrame(int width, int height, int bitCount, int seed);

// The stream information and compression options that the recorder gives.
avi::AVISTREAMINFO StreamInfo(const Frame& frame, std::uint32_t rate);
avi::AVICOMPRESSOPTIONS CompressOptions(vfw::FOURCC handler, std::uint32_t keyFrameEvery,
                                        std::uint32_t quality = 7500);

// A file with one compressed stream, and a sound stream of 16-bit PCM at 48,000 Hz when
// soundChannels is above 0, released in the recorder's order when it goes.
class AviRecording {
public:
    AviRecording(const std::filesystem::path& path, const Frame& format, std::uint32_t rate,
                 const avi::AVICOMPRESSOPTIONS& options, std::uint64_t splitSize = 0,
                 std::uint16_t soundChannels = 0);
    ~AviRecording();
    avi::HRESULT Write(std::int32_t position, const Frame& frame);
    // Writes interleaved samples after those written before.
    avi::HRESULT WriteSound(const std::vector<std::int16_t>& samples);
    void Release();
    avi::HRESULT setupResult = avi::AVIERR_OK;  // of the first set-up call that failed

private:
    avi::PAVIFILE file_ = nullptr;
    avi::PAVISTREAM stream_ = nullptr;
    avi::PAVISTREAM compressed_ = nullptr;
    avi::PAVISTREAM sound_ = nullptr;
    avi::AVICOMPRESSOPTIONS options_{};
    std::uint16_t channels_ = 0;
    std::int32_t soundWritten_ = 0;
};

// Sound that differs from sample to sample: sample n of channel c.
std::int16_t SoundSample(std::int64_t n, int c);
// Samples [first, first + count) of every channel of that sound, interleaved.
std::vector<std::int16_t> SoundSamples(std::int64_t first, std::int64_t count, int channels);

// Bytes of a file, read as little-endian fields.
class FileBytes {
public:
    explicit FileBytes(const std::filesystem::path& path);
    std::uint32_t U32(std::uint64_t offset) const;
    std::uint16_t U16(std::uint64_t offset) const;
    std::uint64_t U64(std::uint64_t offset) const;
    std::string FourCC(std::uint64_t offset) const;
    std::size_t size() const { return bytes_.size(); }

private:
    std::vector<std::uint8_t> bytes_;
};

// One chunk of a RIFF file: its id, list type (for RIFF and LIST), offset and size field.
struct Chunk {
    std::string id;
    std::string type;
    std::uint64_t offset = 0;
    std::uint32_t size = 0;
    std::vector<Chunk> children;
    const Chunk* Find(const std::string& idOrType) const;  // first child with that id or type
};
// The top-level chunks, lists opened; nullopt when the file is not well-formed RIFF.
std::optional<std::vector<Chunk>> ReadChunks(const FileBytes& bytes);

// A folder under TMPDIR (else /tmp), removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};
ToolResult RunTool(const std::vector<std::string>& args);

// ffprobe's key=value stream entries of the first video stream (with -count_frames).
std::map<std::string, std::string> ProbeVideo(const std::filesystem::path& file);
// ffprobe's presentation times of the packets of the first video stream, in stream ticks.
std::vector<std::string> PacketTimes(const std::filesystem::path& file);
// ffmpeg's decoding of the frames stored in the file (none repeated to fill gaps) as raw
// pictures in pixFmt; err holds its complaints.
ToolResult DecodeRaw(const std::filesystem::path& file, const std::string& pixFmt);
// ffmpeg's decoding of the file's sound as interleaved 16-bit samples, channels as stored.
ToolResult DecodeSound(const std::filesystem::path& file);
// ffprobe's key=value entries of the first audio stream (nb_frames: its length in samples);
// empty without one.
std::map<std::string, std::string> ProbeSound(const std::filesystem::path& file);
// The frame's pixels as top-down packed rows of 3 bytes (B, G, R), as ffmpeg's bgr24 gives them.
std::string TopDownBgr(const Frame& frame);

}  // namespace avitest
