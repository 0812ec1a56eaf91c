// The RIFF AVI layout of one video stream and, if asked for, one PCM sound stream: RIFF 'AVI '
// with hdrl (avih, a strl per stream with strh, strf and a super index placeholder, odml
// placeholder), movi and idx1; past the split size the file goes on in RIFF 'AVIX' parts, every
// part's movi ending in a standard index per stream ('ix00' video, 'ix01' sound) that the
// stream's super index lists. Sound chunks lie between the frames in the order they are written.
// Totals, sizes and flags known only later are patched in place, so that the headers never
// claim more than the file holds. While frames come in, standard indexes for the chunks since
// the last ones are written every second of stream time, and the super indexes, the sizes and
// the counts are patched to include them: a file whose writer dies keeps every frame and every
// sound chunk up to the last such checkpoint. Without a sound stream the file is laid out
// exactly as before sound existed. Used by one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/avifile/file_sink.h"
#include "platform/avifile/riff_writer.h"
#include "platform/avifile/wave_format.h"

namespace platform::avifile {

// The stream header fields that the writer does not count itself.
struct VideoStreamHeader {
    FourCC handler = 0;  // the codec that made the frames
    std::uint32_t flags = 0;
    std::uint16_t priority = 0;
    std::uint16_t language = 0;
    std::uint32_t initialFrames = 0;
    std::uint32_t scale = 1;  // rate / scale frames per second; both above 0
    std::uint32_t rate = 1;
    std::uint32_t start = 0;
    std::uint32_t quality = 0;
    std::array<std::int16_t, 4> frame{};  // left, top, right, bottom
};

enum class WriteResult {
    ok,
    badFormat,     // the format is no bitmap info header of a picture
    badParameter,  // a position at or before the last one or too far ahead, a chunk too large,
                   // sound that is no whole number of samples or goes to a file without sound
    fileFull,      // the file can take no more parts
    writeFailed,   // the file could not be written
    noMemory,
};

class AviWriter {
public:
    // Takes over sink. A part that would pass splitSize bytes is closed before the next chunk
    // (a part holds at least one chunk).
    AviWriter(std::unique_ptr<FileSink> sink, std::uint64_t splitSize);
    ~AviWriter();
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    void SetSplitSize(std::uint64_t bytes) { splitSize_ = bytes; }

    // Adds a sound stream with format (a PCM WAVEFORMATEX) as its 'strf'. Once, before Begin.
    WriteResult AddSound(std::span<const std::byte> format);
    bool HasSound() const { return streams_.size() > 1; }

    // Writes the headers, with format (a bitmap info header and its colour table) as 'strf'.
    // Once, before the first frame; returns when the headers are in the file.
    WriteResult Begin(const VideoStreamHeader& header, std::span<const std::byte> format);
    bool Begun() const { return begun_; }
    // False once a write has failed: the file then takes no more frames.
    bool Writable() const { return begun_ && !broken_; }
    // ok when a frame of size bytes can be written at position now.
    WriteResult CheckFrame(std::uint32_t position, std::size_t size) const;

    // Writes data as the chunk at position, each position skipped since the last one as an empty
    // chunk. Returns when all of it is in the file; on failure the file keeps what it held.
    WriteResult WriteFrame(std::uint32_t position, std::span<const std::byte> data, bool keyFrame);
    // Writes data, whole samples of the sound format, as the sound chunk after what was written
    // so far (nothing for no data). Returns when all of it is in the file.
    WriteResult WriteSound(std::span<const std::byte> data);
    // Samples of sound written so far.
    std::uint32_t SoundLength() const { return HasSound() ? streams_[kSound].length : 0; }
    // Bytes of one sample of the sound; 0 without sound.
    std::uint32_t SoundSampleSize() const { return HasSound() ? streams_[kSound].sampleSize : 0; }

    // Writes the indexes if they fit, patches the headers to what the file holds and closes it.
    // A file whose headers were never written is removed instead. Once; later calls do nothing.
    void Finish();

private:
    struct IndexEntry {
        std::uint32_t offset;  // of the chunk, from its part's 'movi' id
        std::uint32_t size;    // with kNotKeyFrame set for chunks that are no key frames
    };
    struct SuperIndexEntry {
        std::uint64_t offset;  // of the standard index chunk
        std::uint32_t size;    // of the whole chunk
        std::uint32_t duration;
    };
    // A standard index written at a checkpoint for the entries [first, first + count) of the
    // current part. Two of the same level are merged into one of the next level, so a part needs
    // only a few of them and each entry is written again only a few times.
    struct LiveIndex {
        SuperIndexEntry chunk;
        std::size_t first;
        std::size_t count;
        int level;
    };
    // One stream's chunks and indexes. Its length counts stream ticks: a frame position of the
    // video, a sample of the sound.
    struct Stream {
        FourCC chunkId = 0;
        FourCC indexId = 0;
        std::uint32_t sampleSize = 0;  // bytes per tick of sound; 0 for the video
        std::vector<std::byte> format;
        std::uint64_t headerAt = 0;               // its 'strh'
        std::uint64_t superIndexAt = 0;           // its super index placeholder
        std::vector<IndexEntry> index;            // of the current part
        std::vector<SuperIndexEntry> superIndex;  // of the parts whose index is in the file
        std::vector<LiveIndex> live;              // of the current part, at checkpoints
        std::uint32_t length = 0;
        std::uint32_t indexed = 0;  // ticks that the indexes in the file cover
        std::uint32_t largestChunk = 0;
    };
    // What a stream held at the last commit point.
    struct StreamMark {
        std::uint32_t length = 0;
        std::size_t entries = 0;
        std::vector<LiveIndex> live;
        std::uint32_t indexed = 0;
    };
    static constexpr std::size_t kVideo = 0;
    static constexpr std::size_t kSound = 1;

    WriteResult AppendChunk(Stream& stream, std::span<const std::byte> data, bool keyFrame,
                            std::uint32_t ticks);
    WriteResult CommitChunk(Stream& stream, std::size_t size);
    void AppendCheckpoint();
    bool PatchCheckpoint();
    WriteResult Split();
    WriteResult Fail(WriteResult result);
    std::vector<StreamMark> Marks() const;
    std::uint64_t PartSizeWith(std::uint64_t chunkBytes) const;
    std::size_t PartEntries() const;
    std::uint32_t Ticks(const Stream& stream, std::size_t first, std::size_t count) const;
    SuperIndexEntry WriteStandardIndex(const Stream& stream, std::size_t first, std::size_t count);
    void WriteLegacyIndex();
    bool PatchHeaders();
    void WriteMainHeader(FieldWriter& out) const;
    void WriteStreamHeader(FieldWriter& out) const;
    void WriteSoundHeader(FieldWriter& out) const;

    std::unique_ptr<FileSink> sink_;
    RiffWriter riff_;
    std::uint64_t splitSize_;
    VideoStreamHeader header_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    bool begun_ = false;
    bool broken_ = false;
    bool finished_ = false;
    bool split_ = false;
    bool hasLegacyIndex_ = false;

    // Offsets of the chunks that are patched.
    std::uint64_t mainHeaderAt_ = 0;
    std::uint64_t odmlAt_ = 0;

    std::uint64_t partRiff_ = 0;  // offset of the current part's RIFF chunk
    std::uint64_t partMovi_ = 0;  // offset of its LIST 'movi'
    std::vector<Stream> streams_ = std::vector<Stream>(1);  // the video first
    std::uint32_t checkpointEvery_ = 1;                     // positions: one second of stream time
    std::optional<std::uint64_t> checkpointEnd_;            // a checkpoint waiting for its commit
    std::uint32_t firstPartFrames_ = 0;
    std::vector<StreamMark> committed_ = std::vector<StreamMark>(1);
};

}  // namespace platform::avifile
