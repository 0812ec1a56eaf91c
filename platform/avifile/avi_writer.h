// The RIFF AVI layout of one video stream: RIFF 'AVI ' with hdrl (avih, strl with strh, strf and
// a super index placeholder, odml placeholder), movi and idx1; past the split size the file goes
// on in RIFF 'AVIX' parts, every part's movi ending in an 'ix00' standard index that the super
// index lists. Totals, sizes and flags known only later are patched in place, so that the
// headers never claim more than the file holds. While frames come in, an 'ix00' chunk for the
// frames since the last one is written every second of stream time, and the super index, the
// sizes and the counts are patched to include it: a file whose writer dies keeps every frame up
// to the last such checkpoint. Used by one thread at a time.
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
    badParameter,  // a position at or before the last one or too far ahead, a chunk too large
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

    // Writes the indexes if they fit, patches the headers to what the file holds and closes it.
    // A file whose headers were never written is removed instead. Once; later calls do nothing.
    void Finish();

private:
    struct IndexEntry {
        std::uint32_t offset;  // of the chunk, from its part's 'movi' id
        std::uint32_t size;    // with kNotKeyFrame set for chunks that are no key frames
    };
    struct Part {
        std::uint64_t riff = 0;  // offset of the part's RIFF chunk
        std::uint64_t movi = 0;  // offset of its LIST 'movi'
        std::vector<IndexEntry> index;
    };
    struct SuperIndexEntry {
        std::uint64_t offset;  // of the 'ix00' chunk
        std::uint32_t size;    // of the whole chunk
        std::uint32_t duration;
    };
    // An 'ix00' written at a checkpoint for the entries [first, first + count) of the current
    // part. Two of the same level are merged into one of the next level, so a part needs only
    // a few of them and each entry is written again only a few times.
    struct LiveIndex {
        SuperIndexEntry chunk;
        std::size_t first;
        std::size_t count;
        int level;
    };
    // What the file held at the last commit point.
    struct Mark {
        std::uint32_t next = 0;
        std::size_t entries = 0;
        std::vector<LiveIndex> live;
        std::uint32_t indexed = 0;
    };

    WriteResult AppendChunk(std::span<const std::byte> data, bool keyFrame);
    void AppendCheckpoint();
    bool PatchCheckpoint();
    WriteResult Split();
    WriteResult Fail(WriteResult result);
    std::uint64_t PartSizeWith(std::uint64_t chunkBytes) const;
    SuperIndexEntry WriteStandardIndex(std::size_t first, std::size_t count);
    void WriteLegacyIndex();
    bool PatchHeaders();
    void WriteMainHeader(FieldWriter& out) const;
    void WriteStreamHeader(FieldWriter& out) const;

    std::unique_ptr<FileSink> sink_;
    RiffWriter riff_;
    std::uint64_t splitSize_;
    VideoStreamHeader header_;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    FourCC chunkId_ = 0;
    bool begun_ = false;
    bool broken_ = false;
    bool finished_ = false;
    bool hasLegacyIndex_ = false;

    // Offsets of the chunks that are patched.
    std::uint64_t mainHeaderAt_ = 0;
    std::uint64_t streamHeaderAt_ = 0;
    std::uint64_t superIndexAt_ = 0;
    std::uint64_t odmlAt_ = 0;

    Part part_;
    std::vector<SuperIndexEntry> superIndex_;     // of the parts whose 'ix00' is in the file
    std::vector<LiveIndex> live_;                 // of the current part, at checkpoints
    std::uint32_t checkpointEvery_ = 1;           // positions: one second of stream time
    std::optional<std::uint64_t> checkpointEnd_;  // a checkpoint waiting for its commit
    std::uint32_t firstPartFrames_ = 0;
    std::uint32_t indexed_ = 0;  // positions that the indexes in the file cover
    std::uint32_t next_ = 0;
    std::uint32_t largestChunk_ = 0;
    Mark committed_;
};

}  // namespace platform::avifile
