#include "platform/avifile/avi_writer.h"

#include <algorithm>
#include <new>
#include <optional>

#include "platform/avifile/avi_layout.h"
#include "platform/avifile/dib_format.h"
#include "platform/avifile/wave_format.h"
#include "platform/vfw/vfw.h"

namespace platform::avifile {

using namespace layout;

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

}  // namespace platform::avifile
