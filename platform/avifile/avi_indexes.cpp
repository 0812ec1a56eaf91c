// The writer's headers and indexes: avih, strh, the super indexes and dmlh patched in place, the
// standard indexes of the parts and of the checkpoints, and idx1.
#include <algorithm>
#include <optional>

#include "platform/avifile/avi_layout.h"
#include "platform/avifile/avi_writer.h"
#include "platform/avifile/wave_format.h"
#include "platform/vfw/vfw.h"

namespace platform::avifile {

using namespace layout;

void AviWriter::AppendCheckpoint() {
    struct Plan {
        LiveIndex added;
        std::size_t kept;
    };
    std::vector<std::optional<Plan>> plans(streams_.size());
    std::uint64_t indexBytes = 0;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        const Stream& stream = streams_[i];
        const std::size_t covered =
            stream.live.empty() ? 0 : stream.live.back().first + stream.live.back().count;
        if (covered == stream.index.size()) continue;
        LiveIndex added{{}, covered, stream.index.size() - covered, 0};
        std::size_t kept = stream.live.size();
        while (kept > 0 && stream.live[kept - 1].level == added.level) {
            --kept;
            added = LiveIndex{{},
                              stream.live[kept].first,
                              stream.live[kept].count + added.count,
                              added.level + 1};
        }
        // The super index must keep room for the parts to come.
        if (stream.superIndex.size() + kept + 2 > kSuperIndexEntries) {
            added = LiveIndex{{}, 0, stream.index.size(), added.level + 1};
            kept = 0;
        }
        indexBytes += kStandardIndexHeader + 8 * added.count;
        plans[i] = Plan{added, kept};
    }
    if (indexBytes == 0) return;
    // A part too full for them is about to be closed, with indexes of all of its chunks.
    if (PartSizeWith(indexBytes) > splitSize_) return;
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        Stream& stream = streams_[i];
        if (plans[i]) {
            Plan& plan = *plans[i];
            stream.live.resize(plan.kept);
            plan.added.chunk = WriteStandardIndex(stream, plan.added.first, plan.added.count);
            stream.live.push_back(plan.added);
        }
        stream.indexed = stream.length;
    }
    checkpointEnd_ = sink_->Position();
}

std::uint32_t AviWriter::Ticks(const Stream& stream, std::size_t first, std::size_t count) const {
    if (stream.sampleSize == 0) return static_cast<std::uint32_t>(count);
    std::uint64_t bytes = 0;
    for (const IndexEntry& entry : std::span(stream.index).subspan(first, count)) {
        bytes += entry.size & ~kNotKeyFrame;
    }
    return static_cast<std::uint32_t>(bytes / stream.sampleSize);
}

AviWriter::SuperIndexEntry AviWriter::WriteStandardIndex(const Stream& stream, std::size_t first,
                                                         std::size_t count) {
    const auto entries = static_cast<std::uint32_t>(count);
    const std::uint64_t at = riff_.StartTag(stream.indexId);
    FieldBlock<24> header;
    header.fields.U16(2)
        .U8(0)
        .U8(AVI_INDEX_OF_CHUNKS)
        .U32(entries)
        .U32(stream.chunkId)
        .U64(partMovi_ + 8)
        .U32(0);
    riff_.Write(header.fields);
    for (const IndexEntry& entry : std::span(stream.index).subspan(first, count)) {
        // Offsets point at the chunk's data, counted from the 'movi' id.
        FieldBlock<8> record;
        record.fields.U32(entry.offset + 8).U32(entry.size);
        riff_.Write(record.fields);
    }
    riff_.EndTag(at);
    return SuperIndexEntry{
        at, static_cast<std::uint32_t>(kStandardIndexHeader + std::size_t{8} * entries),
        Ticks(stream, first, count)};
}

void AviWriter::WriteLegacyIndex() {
    // One list in file order over all streams, as readers of 'idx1' expect.
    struct Entry {
        IndexEntry chunk;
        FourCC id;
    };
    std::vector<Entry> entries;
    entries.reserve(PartEntries());
    for (const Stream& stream : streams_) {
        for (const IndexEntry& entry : stream.index) entries.push_back({entry, stream.chunkId});
    }
    if (HasSound()) {
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return a.chunk.offset < b.chunk.offset; });
    }
    const std::uint64_t at = riff_.StartTag(mmioFOURCC("idx1"));
    for (const Entry& entry : entries) {
        const bool key = (entry.chunk.size & kNotKeyFrame) == 0;
        FieldBlock<kLegacyIndexEntry> record;
        record.fields.U32(entry.id)
            .U32(key ? AVIIF_KEYFRAME : 0)
            .U32(entry.chunk.offset)
            .U32(entry.chunk.size & ~kNotKeyFrame);
        riff_.Write(record.fields);
    }
    riff_.EndTag(at);
}

bool AviWriter::PatchHeaders() {
    bool patched = true;
    {
        FieldBlock<kMainHeaderSize> block;
        WriteMainHeader(block.fields);
        patched = riff_.Patch(mainHeaderAt_ + 8, block.fields) && patched;
    }
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        FieldBlock<kStreamHeaderSize> block;
        if (i == kVideo) {
            WriteStreamHeader(block.fields);
        } else {
            WriteSoundHeader(block.fields);
        }
        patched = riff_.Patch(streams_[i].headerAt + 8, block.fields) && patched;
    }
    const bool indexed = std::any_of(streams_.begin(), streams_.end(), [](const Stream& s) {
        return !s.superIndex.empty() || !s.live.empty();
    });
    if (!indexed) return patched;
    for (const Stream& stream : streams_) {
        FieldBlock<8 + kSuperIndexSize> block;
        block.fields.U32(mmioFOURCC("indx"))
            .U32(kSuperIndexSize)
            .U16(4)
            .U8(0)
            .U8(AVI_INDEX_OF_INDEXES)
            .U32(static_cast<std::uint32_t>(stream.superIndex.size() + stream.live.size()))
            .U32(stream.chunkId)
            .Zeros(12);
        for (const SuperIndexEntry& entry : stream.superIndex) {
            block.fields.U64(entry.offset).U32(entry.size).U32(entry.duration);
        }
        for (const LiveIndex& live : stream.live) {
            block.fields.U64(live.chunk.offset).U32(live.chunk.size).U32(live.chunk.duration);
        }
        patched = riff_.Patch(stream.superIndexAt, block.fields) && patched;
    }
    FieldBlock<24> odml;
    odml.fields.U32(kList)
        .U32(kOdmlSize)
        .U32(mmioFOURCC("odml"))
        .U32(mmioFOURCC("dmlh"))
        .U32(kDmlhSize)
        .U32(streams_[kVideo].indexed);
    return riff_.Patch(odmlAt_, odml.fields) && patched;
}

void AviWriter::WriteMainHeader(FieldWriter& out) const {
    const Stream& video = streams_[kVideo];
    const std::uint64_t microSecPerFrame =
        (1000000ull * header_.scale + header_.rate / 2) / header_.rate;
    std::uint64_t maxBytesPerSec =
        static_cast<std::uint64_t>(video.largestChunk) * header_.rate / header_.scale;
    std::uint32_t largestChunk = video.largestChunk;
    std::uint32_t flags = hasLegacyIndex_ ? AVIF_HASINDEX : 0;
    if (HasSound()) {
        const Stream& sound = streams_[kSound];
        maxBytesPerSec += PcmHeader(sound.format)->BytesPerSecond();
        largestChunk = std::max(largestChunk, sound.largestChunk);
        flags |= AVIF_ISINTERLEAVED;
    }
    // With OpenDML parts this counts the first part only; dmlh holds the total.
    const std::uint32_t totalFrames = split_ ? firstPartFrames_ : video.indexed;
    out.U32(Saturate(microSecPerFrame))
        .U32(Saturate(maxBytesPerSec))
        .U32(0)
        .U32(flags)
        .U32(totalFrames)
        .U32(0)
        .U32(static_cast<std::uint32_t>(streams_.size()))
        .U32(largestChunk)
        .U32(width_)
        .U32(height_)
        .Zeros(16);
}

void AviWriter::WriteStreamHeader(FieldWriter& out) const {
    const Stream& video = streams_[kVideo];
    out.U32(vfw::streamtypeVIDEO)
        .U32(header_.handler)
        .U32(header_.flags)
        .U16(header_.priority)
        .U16(header_.language)
        .U32(header_.initialFrames)
        .U32(header_.scale)
        .U32(header_.rate)
        .U32(header_.start)
        .U32(video.indexed)
        .U32(video.largestChunk)
        .U32(header_.quality)
        .U32(0);
    for (const std::int16_t edge : header_.frame) out.U16(static_cast<std::uint16_t>(edge));
}

void AviWriter::WriteSoundHeader(FieldWriter& out) const {
    // PCM counts in samples: a tick of blockAlign bytes at the byte rate.
    const Stream& sound = streams_[kSound];
    const PcmFormat pcm = *PcmHeader(sound.format);
    out.U32(mmioFOURCC("auds"))
        .U32(0)
        .U32(0)
        .U16(0)
        .U16(0)
        .U32(0)
        .U32(pcm.BlockAlign())
        .U32(pcm.BytesPerSecond())
        .U32(0)
        .U32(sound.indexed)
        .U32(sound.largestChunk)
        .U32(0xFFFFFFFFu)
        .U32(sound.sampleSize)
        .Zeros(8);
}

}  // namespace platform::avifile
