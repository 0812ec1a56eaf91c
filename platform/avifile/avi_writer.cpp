#include "platform/avifile/avi_writer.h"

#include <algorithm>
#include <new>
#include <optional>

#include "platform/avifile/dib_format.h"
#include "platform/avifile/wave_format.h"
#include "platform/vfw/vfw.h"

namespace platform::avifile {

namespace {

constexpr FourCC kRiff = mmioFOURCC("RIFF");
constexpr FourCC kList = mmioFOURCC("LIST");
constexpr FourCC kJunk = mmioFOURCC("JUNK");

constexpr std::uint32_t AVIF_HASINDEX = 0x10;
constexpr std::uint32_t AVIF_ISINTERLEAVED = 0x100;
using multimedia::AVIIF_KEYFRAME;
constexpr std::uint8_t AVI_INDEX_OF_INDEXES = 0;
constexpr std::uint8_t AVI_INDEX_OF_CHUNKS = 1;
// In a standard index entry the top bit of the size marks a chunk that is no key frame.
constexpr std::uint32_t kNotKeyFrame = 0x80000000u;
constexpr std::uint32_t kMaxChunkSize = 0x7FFFFFF0u;

constexpr std::size_t kMainHeaderSize = 56;
constexpr std::size_t kStreamHeaderSize = 56;
// Room for this many parts per stream; at the default split size that is 256 GiB of video.
constexpr std::size_t kSuperIndexEntries = 256;
constexpr std::size_t kSuperIndexSize = 24 + 16 * kSuperIndexEntries;
constexpr std::size_t kDmlhSize = 248;
constexpr std::size_t kOdmlSize = 4 + 8 + kDmlhSize;
constexpr std::size_t kStandardIndexHeader = 8 + 24;
constexpr std::size_t kLegacyIndexEntry = 16;
// A RIFF size field is 32 bits wide.
constexpr std::uint64_t kMaxPartSize = 0xFFFFFFFFu;
// Every skipped position costs an empty chunk and index entries; a jump further than this
// (about 19 hours at 15 frames per second) is taken for a wrong position, not for a pause.
constexpr std::uint32_t kMaxSkippedPositions = 1u << 20;

std::uint32_t Saturate(std::uint64_t value) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
}

}  // namespace

AviWriter::AviWriter(std::unique_ptr<FileSink> sink, std::uint64_t splitSize)
    : sink_(std::move(sink)), riff_(*sink_), splitSize_(splitSize) {}

AviWriter::~AviWriter() {
    Finish();
}

WriteResult AviWriter::AddSound(std::span<const std::byte> format) {
    if (begun_ || broken_ || HasSound()) return WriteResult::badParameter;
    const auto pcm = PcmHeader(format);
    if (!pcm) return WriteResult::badFormat;
    Stream sound;
    sound.chunkId = mmioFOURCC("01wb");
    sound.indexId = mmioFOURCC("ix01");
    sound.sampleSize = pcm->BlockAlign();
    sound.format.assign(format.begin(), format.end());
    streams_.push_back(std::move(sound));
    committed_.resize(streams_.size());
    return WriteResult::ok;
}

WriteResult AviWriter::Begin(const VideoStreamHeader& header, std::span<const std::byte> format) {
    if (begun_ || broken_) return WriteResult::writeFailed;
    const auto picture = PictureHeader(format);
    if (!picture || format.size() > kMaxChunkSize || header.rate == 0 || header.scale == 0) {
        return WriteResult::badFormat;
    }
    const vfw::BITMAPINFOHEADER& bitmap = *picture;
    header_ = header;
    checkpointEvery_ = std::max<std::uint32_t>(1, header.rate / header.scale);
    width_ = static_cast<std::uint32_t>(bitmap.biWidth);
    height_ = static_cast<std::uint32_t>(bitmap.biHeight < 0 ? -bitmap.biHeight : bitmap.biHeight);
    Stream& video = streams_[kVideo];
    video.chunkId = bitmap.biCompression == vfw::BI_RGB ? mmioFOURCC("00db") : mmioFOURCC("00dc");
    video.indexId = mmioFOURCC("ix00");
    video.format.assign(format.begin(), format.end());

    partRiff_ = riff_.StartList(kRiff, mmioFOURCC("AVI "));
    const std::uint64_t hdrl = riff_.StartList(kList, mmioFOURCC("hdrl"));
    {
        mainHeaderAt_ = riff_.StartTag(mmioFOURCC("avih"));
        FieldBlock<kMainHeaderSize> block;
        WriteMainHeader(block.fields);
        riff_.Write(block.fields);
        riff_.EndTag(mainHeaderAt_);
    }
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        Stream& stream = streams_[i];
        const std::uint64_t strl = riff_.StartList(kList, mmioFOURCC("strl"));
        stream.headerAt = riff_.StartTag(mmioFOURCC("strh"));
        FieldBlock<kStreamHeaderSize> block;
        if (i == kVideo) {
            WriteStreamHeader(block.fields);
        } else {
            WriteSoundHeader(block.fields);
        }
        riff_.Write(block.fields);
        riff_.EndTag(stream.headerAt);
        const std::uint64_t strf = riff_.StartTag(mmioFOURCC("strf"));
        riff_.Write(stream.format);
        riff_.EndTag(strf);
        // The OpenDML super index and frame count stay JUNK, which readers skip, unless the
        // file grows past its first part or reaches its first checkpoint.
        stream.superIndexAt = riff_.StartTag(kJunk);
        riff_.WriteZeros(kSuperIndexSize);
        riff_.EndTag(stream.superIndexAt);
        riff_.EndTag(strl);
    }
    odmlAt_ = riff_.StartTag(kJunk);
    riff_.WriteZeros(kOdmlSize);
    riff_.EndTag(odmlAt_);
    riff_.EndTag(hdrl);
    partMovi_ = riff_.StartList(kList, mmioFOURCC("movi"));
    // From here on the file is a valid AVI, empty at first.
    checkpointEnd_ = sink_->Position();
    if (!sink_->Commit() || !PatchCheckpoint()) {
        broken_ = true;
        return WriteResult::writeFailed;
    }
    begun_ = true;
    return WriteResult::ok;
}

WriteResult AviWriter::CheckFrame(std::uint32_t position, std::size_t size) const {
    if (!Writable()) return WriteResult::writeFailed;
    const std::uint32_t next = streams_[kVideo].length;
    if (position < next || position - next > kMaxSkippedPositions || size > kMaxChunkSize) {
        return WriteResult::badParameter;
    }
    return WriteResult::ok;
}

WriteResult AviWriter::WriteFrame(std::uint32_t position, std::span<const std::byte> data,
                                  bool keyFrame) {
    if (const auto check = CheckFrame(position, data.size()); check != WriteResult::ok) {
        return check;
    }
    Stream& video = streams_[kVideo];
    try {
        if (video.length - video.indexed >= checkpointEvery_) AppendCheckpoint();
        while (video.length < position) {
            if (const auto result = AppendChunk(video, {}, false, 1); result != WriteResult::ok) {
                return Fail(result);
            }
        }
        if (const auto result = AppendChunk(video, data, keyFrame, 1); result != WriteResult::ok) {
            return Fail(result);
        }
    } catch (const std::bad_alloc&) {
        return Fail(WriteResult::noMemory);
    }
    return CommitChunk(video, data.size());
}

WriteResult AviWriter::WriteSound(std::span<const std::byte> data) {
    if (!Writable()) return WriteResult::writeFailed;
    if (!HasSound()) return WriteResult::badParameter;
    Stream& sound = streams_[kSound];
    if (data.size() % sound.sampleSize != 0 || data.size() > kMaxChunkSize) {
        return WriteResult::badParameter;
    }
    const auto ticks = static_cast<std::uint32_t>(data.size() / sound.sampleSize);
    if (ticks == 0) return WriteResult::ok;
    if (ticks > 0xFFFFFFFFu - sound.length) return WriteResult::fileFull;
    try {
        if (const auto result = AppendChunk(sound, data, true, ticks); result != WriteResult::ok) {
            return Fail(result);
        }
    } catch (const std::bad_alloc&) {
        return Fail(WriteResult::noMemory);
    }
    return CommitChunk(sound, data.size());
}

WriteResult AviWriter::CommitChunk(Stream& stream, std::size_t size) {
    if (!sink_->Commit()) return Fail(WriteResult::writeFailed);
    committed_ = Marks();
    stream.largestChunk = std::max(stream.largestChunk, static_cast<std::uint32_t>(size));
    if (checkpointEnd_ && !PatchCheckpoint()) {
        broken_ = true;
        return WriteResult::writeFailed;
    }
    return WriteResult::ok;
}

std::vector<AviWriter::StreamMark> AviWriter::Marks() const {
    std::vector<StreamMark> marks;
    marks.reserve(streams_.size());
    for (const Stream& stream : streams_) {
        marks.push_back(
            StreamMark{stream.length, stream.index.size(), stream.live, stream.indexed});
    }
    return marks;
}

WriteResult AviWriter::Fail(WriteResult result) {
    sink_->Rollback();
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        Stream& stream = streams_[i];
        stream.length = committed_[i].length;
        stream.index.resize(committed_[i].entries);
        stream.live = committed_[i].live;
        stream.indexed = committed_[i].indexed;
    }
    checkpointEnd_.reset();
    broken_ = true;
    return result;
}

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

bool AviWriter::PatchCheckpoint() {
    // Sizes first, then what points into them: a reader of the file between the two finds the
    // index of the checkpoint before. The chunks after the checkpoint lie past the lists' ends
    // until the next one takes them in.
    const std::uint64_t end = *checkpointEnd_;
    checkpointEnd_.reset();
    return riff_.PatchU32(partMovi_ + 4, static_cast<std::uint32_t>(end - partMovi_ - 8)) &&
           riff_.PatchU32(partRiff_ + 4, static_cast<std::uint32_t>(end - partRiff_ - 8)) &&
           PatchHeaders();
}

std::size_t AviWriter::PartEntries() const {
    std::size_t entries = 0;
    for (const Stream& stream : streams_) entries += stream.index.size();
    return entries;
}

std::uint64_t AviWriter::PartSizeWith(std::uint64_t chunkBytes) const {
    // The part must still hold its indexes once the chunk is in.
    const std::uint64_t entries = PartEntries() + 1;
    std::uint64_t size = sink_->Position() + chunkBytes - partRiff_;
    size += kStandardIndexHeader * streams_.size() + 8 * entries;
    if (!split_) size += 8 + kLegacyIndexEntry * entries;
    return size;
}

WriteResult AviWriter::AppendChunk(Stream& stream, std::span<const std::byte> data, bool keyFrame,
                                   std::uint32_t ticks) {
    const std::uint64_t chunkBytes = 8 + data.size() + data.size() % 2;
    if (PartEntries() > 0 && PartSizeWith(chunkBytes) > splitSize_) {
        if (const auto result = Split(); result != WriteResult::ok) return result;
    }
    if (PartSizeWith(chunkBytes) - 8 > kMaxPartSize) return WriteResult::fileFull;

    const auto size = static_cast<std::uint32_t>(data.size());
    const std::uint64_t at = sink_->Position();
    stream.index.push_back(IndexEntry{static_cast<std::uint32_t>(at - (partMovi_ + 8)),
                                      keyFrame ? size : size | kNotKeyFrame});
    FieldBlock<8> chunkHeader;
    chunkHeader.fields.U32(stream.chunkId).U32(size);
    riff_.Write(chunkHeader.fields);
    riff_.Write(data);
    if (size % 2 != 0) riff_.WriteZeros(1);
    stream.length += ticks;
    return WriteResult::ok;
}

WriteResult AviWriter::Split() {
    // The part being closed and the one begun both need an entry in each super index.
    for (const Stream& stream : streams_) {
        if (stream.superIndex.size() + 2 > kSuperIndexEntries) return WriteResult::fileFull;
    }
    const bool first = !split_;
    std::vector<std::optional<SuperIndexEntry>> closed(streams_.size());
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        if (!streams_[i].index.empty()) {
            closed[i] = WriteStandardIndex(streams_[i], 0, streams_[i].index.size());
        }
    }
    bool sized = riff_.EndTag(partMovi_);
    if (first) WriteLegacyIndex();
    sized = riff_.EndTag(partRiff_) && sized;

    const std::uint64_t riff = riff_.StartList(kRiff, mmioFOURCC("AVIX"));
    const std::uint64_t movi = riff_.StartList(kList, mmioFOURCC("movi"));
    // Sizes patched above before a failed commit are set right again by Finish.
    if (!sized || !sink_->Commit()) return WriteResult::writeFailed;

    for (std::size_t i = 0; i < streams_.size(); ++i) {
        Stream& stream = streams_[i];
        if (closed[i]) stream.superIndex.push_back(*closed[i]);
        stream.live.clear();
        stream.indexed = stream.length;
        stream.index.clear();  // keeps its capacity for the new part
    }
    checkpointEnd_.reset();
    if (first) {
        firstPartFrames_ = streams_[kVideo].length;
        hasLegacyIndex_ = true;
    }
    split_ = true;
    partRiff_ = riff;
    partMovi_ = movi;
    committed_ = Marks();
    return PatchHeaders() ? WriteResult::ok : WriteResult::writeFailed;
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

void AviWriter::Finish() {
    if (finished_) return;
    finished_ = true;
    if (!begun_) {
        sink_->Discard();
        return;
    }
    const bool split = split_;
    const bool live = std::any_of(streams_.begin(), streams_.end(),
                                  [](const Stream& stream) { return !stream.live.empty(); });
    // The tail, after the last chunk: this part's indexes and the end of its lists. What does
    // not fit is cut off again, and the sizes are set to what the file then holds, with the
    // indexes of the last checkpoint.
    std::vector<std::optional<SuperIndexEntry>> lastIndex(streams_.size());
    for (std::size_t i = 0; i < streams_.size(); ++i) {
        if ((split || live) && !streams_[i].index.empty()) {
            lastIndex[i] = WriteStandardIndex(streams_[i], 0, streams_[i].index.size());
        }
    }
    riff_.EndTag(partMovi_);
    if (!split) WriteLegacyIndex();
    riff_.EndTag(partRiff_);
    if (sink_->Commit()) {
        for (std::size_t i = 0; i < streams_.size(); ++i) {
            if (lastIndex[i]) {
                streams_[i].superIndex.push_back(*lastIndex[i]);
                streams_[i].live.clear();
            }
            streams_[i].indexed = streams_[i].length;
        }
        if (!split) hasLegacyIndex_ = true;
    } else {
        // At least the chunks since the last checkpoint get an index, when that little fits.
        const bool unindexed = std::any_of(streams_.begin(), streams_.end(),
                                           [](const Stream& s) { return s.length > s.indexed; });
        if (unindexed) {
            AppendCheckpoint();
            if (!sink_->Commit()) {
                for (std::size_t i = 0; i < streams_.size(); ++i) {
                    streams_[i].live = committed_[i].live;
                    streams_[i].indexed = committed_[i].indexed;
                }
            }
            checkpointEnd_.reset();
        }
        riff_.EndTag(partMovi_);
        riff_.EndTag(partRiff_);
        sink_->Commit();
    }
    PatchHeaders();
    sink_->Close();
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
