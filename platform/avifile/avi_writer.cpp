#include "platform/avifile/avi_writer.h"

#include <algorithm>
#include <new>
#include <optional>

#include "platform/avifile/dib_format.h"
#include "platform/vfw/vfw.h"

namespace platform::avifile {

namespace {

constexpr FourCC kRiff = mmioFOURCC("RIFF");
constexpr FourCC kList = mmioFOURCC("LIST");
constexpr FourCC kJunk = mmioFOURCC("JUNK");

constexpr std::uint32_t AVIF_HASINDEX = 0x10;
using multimedia::AVIIF_KEYFRAME;
constexpr std::uint8_t AVI_INDEX_OF_INDEXES = 0;
constexpr std::uint8_t AVI_INDEX_OF_CHUNKS = 1;
// In a standard index entry the top bit of the size marks a chunk that is no key frame.
constexpr std::uint32_t kNotKeyFrame = 0x80000000u;
constexpr std::uint32_t kMaxChunkSize = 0x7FFFFFF0u;

constexpr std::size_t kMainHeaderSize = 56;
constexpr std::size_t kStreamHeaderSize = 56;
// Room for this many parts; at the default split size that is 256 GiB of video.
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
    chunkId_ = bitmap.biCompression == vfw::BI_RGB ? mmioFOURCC("00db") : mmioFOURCC("00dc");

    part_.riff = riff_.StartList(kRiff, mmioFOURCC("AVI "));
    const std::uint64_t hdrl = riff_.StartList(kList, mmioFOURCC("hdrl"));
    {
        mainHeaderAt_ = riff_.StartTag(mmioFOURCC("avih"));
        FieldBlock<kMainHeaderSize> block;
        WriteMainHeader(block.fields);
        riff_.Write(block.fields);
        riff_.EndTag(mainHeaderAt_);
    }
    const std::uint64_t strl = riff_.StartList(kList, mmioFOURCC("strl"));
    {
        streamHeaderAt_ = riff_.StartTag(mmioFOURCC("strh"));
        FieldBlock<kStreamHeaderSize> block;
        WriteStreamHeader(block.fields);
        riff_.Write(block.fields);
        riff_.EndTag(streamHeaderAt_);
    }
    const std::uint64_t strf = riff_.StartTag(mmioFOURCC("strf"));
    riff_.Write(format);
    riff_.EndTag(strf);
    // The OpenDML super index and frame count stay JUNK, which readers skip, unless the file
    // grows past its first part.
    superIndexAt_ = riff_.StartTag(kJunk);
    riff_.WriteZeros(kSuperIndexSize);
    riff_.EndTag(superIndexAt_);
    riff_.EndTag(strl);
    odmlAt_ = riff_.StartTag(kJunk);
    riff_.WriteZeros(kOdmlSize);
    riff_.EndTag(odmlAt_);
    riff_.EndTag(hdrl);
    part_.movi = riff_.StartList(kList, mmioFOURCC("movi"));
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
    if (position < next_ || position - next_ > kMaxSkippedPositions || size > kMaxChunkSize) {
        return WriteResult::badParameter;
    }
    return WriteResult::ok;
}

WriteResult AviWriter::WriteFrame(std::uint32_t position, std::span<const std::byte> data,
                                  bool keyFrame) {
    if (const auto check = CheckFrame(position, data.size()); check != WriteResult::ok) {
        return check;
    }
    try {
        if (next_ - indexed_ >= checkpointEvery_) AppendCheckpoint();
        while (next_ < position) {
            if (const auto result = AppendChunk({}, false); result != WriteResult::ok) {
                return Fail(result);
            }
        }
        if (const auto result = AppendChunk(data, keyFrame); result != WriteResult::ok) {
            return Fail(result);
        }
    } catch (const std::bad_alloc&) {
        return Fail(WriteResult::noMemory);
    }
    if (!sink_->Commit()) return Fail(WriteResult::writeFailed);
    committed_ = Mark{next_, part_.index.size(), live_, indexed_};
    largestChunk_ = std::max(largestChunk_, static_cast<std::uint32_t>(data.size()));
    if (checkpointEnd_ && !PatchCheckpoint()) {
        broken_ = true;
        return WriteResult::writeFailed;
    }
    return WriteResult::ok;
}

WriteResult AviWriter::Fail(WriteResult result) {
    sink_->Rollback();
    next_ = committed_.next;
    part_.index.resize(committed_.entries);
    live_ = committed_.live;
    indexed_ = committed_.indexed;
    checkpointEnd_.reset();
    broken_ = true;
    return result;
}

void AviWriter::AppendCheckpoint() {
    const std::size_t covered = live_.empty() ? 0 : live_.back().first + live_.back().count;
    if (covered == part_.index.size()) return;
    LiveIndex added{{}, covered, part_.index.size() - covered, 0};
    std::size_t kept = live_.size();
    while (kept > 0 && live_[kept - 1].level == added.level) {
        --kept;
        added = LiveIndex{{}, live_[kept].first, live_[kept].count + added.count, added.level + 1};
    }
    // The super index must keep room for the parts to come.
    if (superIndex_.size() + kept + 2 > kSuperIndexEntries) {
        added = LiveIndex{{}, 0, part_.index.size(), added.level + 1};
        kept = 0;
    }
    // A part too full for it is about to be closed, with an index of all of its frames.
    if (PartSizeWith(kStandardIndexHeader + 8 * added.count) > splitSize_) return;
    live_.resize(kept);
    added.chunk = WriteStandardIndex(added.first, added.count);
    live_.push_back(added);
    indexed_ = next_;
    checkpointEnd_ = sink_->Position();
}

bool AviWriter::PatchCheckpoint() {
    // Sizes first, then what points into them: a reader of the file between the two finds the
    // index of the checkpoint before. The frames after the checkpoint lie past the lists' ends
    // until the next one takes them in.
    const std::uint64_t end = *checkpointEnd_;
    checkpointEnd_.reset();
    return riff_.PatchU32(part_.movi + 4, static_cast<std::uint32_t>(end - part_.movi - 8)) &&
           riff_.PatchU32(part_.riff + 4, static_cast<std::uint32_t>(end - part_.riff - 8)) &&
           PatchHeaders();
}

std::uint64_t AviWriter::PartSizeWith(std::uint64_t chunkBytes) const {
    // The part must still hold its indexes once the chunk is in.
    const std::uint64_t entries = part_.index.size() + 1;
    std::uint64_t size = sink_->Position() + chunkBytes - part_.riff;
    size += kStandardIndexHeader + 8 * entries;
    if (superIndex_.empty()) size += 8 + kLegacyIndexEntry * entries;
    return size;
}

WriteResult AviWriter::AppendChunk(std::span<const std::byte> data, bool keyFrame) {
    const std::uint64_t chunkBytes = 8 + data.size() + data.size() % 2;
    if (!part_.index.empty() && PartSizeWith(chunkBytes) > splitSize_) {
        if (const auto result = Split(); result != WriteResult::ok) return result;
    }
    if (PartSizeWith(chunkBytes) - 8 > kMaxPartSize) return WriteResult::fileFull;

    const auto size = static_cast<std::uint32_t>(data.size());
    const std::uint64_t at = sink_->Position();
    part_.index.push_back(IndexEntry{static_cast<std::uint32_t>(at - (part_.movi + 8)),
                                     keyFrame ? size : size | kNotKeyFrame});
    FieldBlock<8> chunkHeader;
    chunkHeader.fields.U32(chunkId_).U32(size);
    riff_.Write(chunkHeader.fields);
    riff_.Write(data);
    if (size % 2 != 0) riff_.WriteZeros(1);
    ++next_;
    return WriteResult::ok;
}

WriteResult AviWriter::Split() {
    // The part being closed and the one begun both need an entry in the super index.
    if (superIndex_.size() + 2 > kSuperIndexEntries) return WriteResult::fileFull;
    const bool first = superIndex_.empty();
    const SuperIndexEntry closed = WriteStandardIndex(0, part_.index.size());
    bool sized = riff_.EndTag(part_.movi);
    if (first) WriteLegacyIndex();
    sized = riff_.EndTag(part_.riff) && sized;

    Part next;
    next.riff = riff_.StartList(kRiff, mmioFOURCC("AVIX"));
    next.movi = riff_.StartList(kList, mmioFOURCC("movi"));
    // Sizes patched above before a failed commit are set right again by Finish.
    if (!sized || !sink_->Commit()) return WriteResult::writeFailed;

    superIndex_.push_back(closed);
    live_.clear();
    checkpointEnd_.reset();
    indexed_ = next_;
    if (first) {
        firstPartFrames_ = next_;
        hasLegacyIndex_ = true;
    }
    next.index = std::move(part_.index);
    next.index.clear();  // keeps its capacity for the new part
    part_ = std::move(next);
    committed_ = Mark{next_, 0, {}, indexed_};
    return PatchHeaders() ? WriteResult::ok : WriteResult::writeFailed;
}

AviWriter::SuperIndexEntry AviWriter::WriteStandardIndex(std::size_t first, std::size_t count) {
    const auto entries = static_cast<std::uint32_t>(count);
    const std::uint64_t at = riff_.StartTag(mmioFOURCC("ix00"));
    FieldBlock<24> header;
    header.fields.U16(2)
        .U8(0)
        .U8(AVI_INDEX_OF_CHUNKS)
        .U32(entries)
        .U32(chunkId_)
        .U64(part_.movi + 8)
        .U32(0);
    riff_.Write(header.fields);
    for (const IndexEntry& entry : std::span(part_.index).subspan(first, count)) {
        // Offsets point at the chunk's data, counted from the 'movi' id.
        FieldBlock<8> record;
        record.fields.U32(entry.offset + 8).U32(entry.size);
        riff_.Write(record.fields);
    }
    riff_.EndTag(at);
    return SuperIndexEntry{
        at, static_cast<std::uint32_t>(kStandardIndexHeader + std::size_t{8} * entries), entries};
}

void AviWriter::WriteLegacyIndex() {
    const std::uint64_t at = riff_.StartTag(mmioFOURCC("idx1"));
    for (const IndexEntry& entry : part_.index) {
        const bool key = (entry.size & kNotKeyFrame) == 0;
        FieldBlock<kLegacyIndexEntry> record;
        record.fields.U32(chunkId_)
            .U32(key ? AVIIF_KEYFRAME : 0)
            .U32(entry.offset)
            .U32(entry.size & ~kNotKeyFrame);
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
    const bool split = !superIndex_.empty();
    // The tail, after the last frame: this part's indexes and the end of its lists. What does
    // not fit is cut off again, and the sizes are set to what the file then holds, with the
    // indexes of the last checkpoint.
    std::optional<SuperIndexEntry> lastIndex;
    if ((split || !live_.empty()) && !part_.index.empty()) {
        lastIndex = WriteStandardIndex(0, part_.index.size());
    }
    riff_.EndTag(part_.movi);
    if (!split) WriteLegacyIndex();
    riff_.EndTag(part_.riff);
    if (sink_->Commit()) {
        if (lastIndex) {
            superIndex_.push_back(*lastIndex);
            live_.clear();
        }
        if (!split) hasLegacyIndex_ = true;
        indexed_ = next_;
    } else {
        // At least the frames since the last checkpoint get an index, when that little fits.
        if (next_ > indexed_) {
            AppendCheckpoint();
            if (!sink_->Commit()) {
                live_ = committed_.live;
                indexed_ = committed_.indexed;
            }
            checkpointEnd_.reset();
        }
        riff_.EndTag(part_.movi);
        riff_.EndTag(part_.riff);
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
    {
        FieldBlock<kStreamHeaderSize> block;
        WriteStreamHeader(block.fields);
        patched = riff_.Patch(streamHeaderAt_ + 8, block.fields) && patched;
    }
    if (!superIndex_.empty() || !live_.empty()) {
        FieldBlock<8 + kSuperIndexSize> block;
        block.fields.U32(mmioFOURCC("indx"))
            .U32(kSuperIndexSize)
            .U16(4)
            .U8(0)
            .U8(AVI_INDEX_OF_INDEXES)
            .U32(static_cast<std::uint32_t>(superIndex_.size() + live_.size()))
            .U32(chunkId_)
            .Zeros(12);
        for (const SuperIndexEntry& entry : superIndex_) {
            block.fields.U64(entry.offset).U32(entry.size).U32(entry.duration);
        }
        for (const LiveIndex& live : live_) {
            block.fields.U64(live.chunk.offset).U32(live.chunk.size).U32(live.chunk.duration);
        }
        patched = riff_.Patch(superIndexAt_, block.fields) && patched;

        FieldBlock<24> odml;
        odml.fields.U32(kList)
            .U32(kOdmlSize)
            .U32(mmioFOURCC("odml"))
            .U32(mmioFOURCC("dmlh"))
            .U32(kDmlhSize)
            .U32(indexed_);
        patched = riff_.Patch(odmlAt_, odml.fields) && patched;
    }
    return patched;
}

void AviWriter::WriteMainHeader(FieldWriter& out) const {
    const std::uint64_t microSecPerFrame =
        (1000000ull * header_.scale + header_.rate / 2) / header_.rate;
    const std::uint64_t maxBytesPerSec =
        static_cast<std::uint64_t>(largestChunk_) * header_.rate / header_.scale;
    // With OpenDML parts this counts the first part only; dmlh holds the total.
    const std::uint32_t totalFrames = superIndex_.empty() ? indexed_ : firstPartFrames_;
    out.U32(Saturate(microSecPerFrame))
        .U32(Saturate(maxBytesPerSec))
        .U32(0)
        .U32(hasLegacyIndex_ ? AVIF_HASINDEX : 0)
        .U32(totalFrames)
        .U32(0)
        .U32(1)
        .U32(largestChunk_)
        .U32(width_)
        .U32(height_)
        .Zeros(16);
}

void AviWriter::WriteStreamHeader(FieldWriter& out) const {
    out.U32(vfw::streamtypeVIDEO)
        .U32(header_.handler)
        .U32(header_.flags)
        .U16(header_.priority)
        .U16(header_.language)
        .U32(header_.initialFrames)
        .U32(header_.scale)
        .U32(header_.rate)
        .U32(header_.start)
        .U32(indexed_)
        .U32(largestChunk_)
        .U32(header_.quality)
        .U32(0);
    for (const std::int16_t edge : header_.frame) out.U16(static_cast<std::uint16_t>(edge));
}

}  // namespace platform::avifile
