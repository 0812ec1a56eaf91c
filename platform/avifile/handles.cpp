#include "platform/avifile/handles.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace platform::avifile {

namespace {

std::int16_t Edge(std::int32_t value) {
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(
        value, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

}  // namespace

HRESULT ToHresult(WriteResult result) {
    switch (result) {
        case WriteResult::ok:
            return AVIERR_OK;
        case WriteResult::badFormat:
            return AVIERR_BADFORMAT;
        case WriteResult::badParameter:
            return AVIERR_BADPARAM;
        case WriteResult::noMemory:
            return AVIERR_MEMORY;
        case WriteResult::fileFull:
        case WriteResult::writeFailed:
            break;
    }
    return AVIERR_FILEWRITE;
}

AviFile::AviFile(std::unique_ptr<FileSink> sink, std::uint64_t splitSize)
    : writer_(std::move(sink), splitSize) {}

std::uint32_t AviFile::Release() {
    const std::uint32_t left = --refs_;
    if (left == 0) {
        // The last reference owned this object; its writer finishes the file on the way out.
        std::unique_ptr<AviFile> self(this);
    }
    return left;
}

bool AviFile::ClaimStream(FOURCC type) {
    bool& has = type == vfw::streamtypeVIDEO ? hasVideo_ : hasSound_;
    if (has) return false;
    has = true;
    return true;
}

std::uint32_t AviStream::Release() {
    const std::uint32_t left = --refs_;
    if (left == 0) {
        std::unique_ptr<AviStream> self(this);
    }
    return left;
}

FileStream::FileStream(AviFile& file, const AVISTREAMINFO& info) : file_(file), info_(info) {
    file_.AddRef();
}

FileStream::~FileStream() {
    file_.Release();
}

HRESULT FileStream::SetFormat(std::span<const std::byte> format) {
    return SetEncodedFormat(format, info_.fccHandler, info_.dwQuality);
}

HRESULT FileStream::SetEncodedFormat(std::span<const std::byte> format, FOURCC handler,
                                     std::uint32_t quality) {
    AviWriter& writer = file_.Writer();
    if (writer.Begun()) return AVIERR_UNSUPPORTED;
    VideoStreamHeader header;
    header.handler = handler;
    header.flags = info_.dwFlags;
    header.priority = info_.wPriority;
    header.language = info_.wLanguage;
    header.initialFrames = info_.dwInitialFrames;
    header.scale = info_.dwScale;
    header.rate = info_.dwRate;
    header.start = info_.dwStart;
    header.quality = quality;
    header.frame = {Edge(info_.rcFrame.left), Edge(info_.rcFrame.top), Edge(info_.rcFrame.right),
                    Edge(info_.rcFrame.bottom)};
    return ToHresult(writer.Begin(header, format));
}

HRESULT FileStream::CheckWrite(std::int32_t position) const {
    const AviWriter& writer = file_.Writer();
    if (position < 0) return AVIERR_BADPARAM;
    if (!writer.Begun()) return AVIERR_BADFORMAT;
    return ToHresult(writer.CheckFrame(static_cast<std::uint32_t>(position), 0));
}

HRESULT FileStream::Write(std::int32_t position, std::int32_t samples,
                          std::span<const std::byte> data, std::uint32_t flags,
                          std::int32_t* bytesWritten) {
    if (samples != 1) return AVIERR_BADPARAM;
    if (const HRESULT check = CheckWrite(position); check != AVIERR_OK) return check;
    const WriteResult result = file_.Writer().WriteFrame(static_cast<std::uint32_t>(position), data,
                                                         (flags & AVIIF_KEYFRAME) != 0);
    if (result == WriteResult::ok) *bytesWritten = static_cast<std::int32_t>(data.size());
    return ToHresult(result);
}

CompressedStream::CompressedStream(FileStream& source, std::unique_ptr<FrameCompressor> compressor)
    : source_(source), compressor_(std::move(compressor)) {
    source_.AddRef();
}

CompressedStream::~CompressedStream() {
    // The codec's compression ends before its stream lets go of the file.
    compressor_.reset();
    source_.Release();
}

HRESULT CompressedStream::SetFormat(std::span<const std::byte> format) {
    if (compressor_->Begun()) return AVIERR_UNSUPPORTED;
    if (const HRESULT begun = compressor_->Begin(format); begun != AVIERR_OK) return begun;
    const CompressorSettings& settings = compressor_->Settings();
    return source_.SetEncodedFormat(compressor_->OutputFormat(), settings.handler,
                                    settings.quality);
}

HRESULT CompressedStream::Write(std::int32_t position, std::int32_t samples,
                                std::span<const std::byte> data, std::uint32_t,
                                std::int32_t* bytesWritten) {
    if (samples != 1) return AVIERR_BADPARAM;
    const std::optional<std::vector<vfw::RowSpan>> changed = std::exchange(changed_, std::nullopt);
    if (!compressor_->Begun()) return AVIERR_BADFORMAT;
    // A frame the file would refuse is not compressed: the codec's reference picture must stay
    // the last frame that reached the file.
    if (const HRESULT check = source_.CheckWrite(position); check != AVIERR_OK) return check;
    FrameCompressor::Frame frame;
    if (const HRESULT compressed =
            compressor_->Compress(data, &frame, changed ? &*changed : nullptr);
        compressed != AVIERR_OK) {
        return compressed;
    }
    return source_.Write(position, 1, frame.data, frame.keyFrame ? AVIIF_KEYFRAME : 0,
                         bytesWritten);
}

SoundStream::SoundStream(AviFile& file) : file_(file) {
    file_.AddRef();
}

SoundStream::~SoundStream() {
    file_.Release();
}

HRESULT SoundStream::SetFormat(std::span<const std::byte> format) {
    AviWriter& writer = file_.Writer();
    if (writer.Begun() || writer.HasSound()) return AVIERR_UNSUPPORTED;
    return ToHresult(writer.AddSound(format));
}

HRESULT SoundStream::Write(std::int32_t position, std::int32_t samples,
                           std::span<const std::byte> data, std::uint32_t,
                           std::int32_t* bytesWritten) {
    AviWriter& writer = file_.Writer();
    if (!writer.HasSound() || !writer.Begun()) return AVIERR_BADFORMAT;
    // Sound has no gaps: each write goes on where the last one ended.
    if (position < 0 || static_cast<std::uint32_t>(position) != writer.SoundLength() ||
        samples < 0 ||
        static_cast<std::uint64_t>(samples) * writer.SoundSampleSize() != data.size()) {
        return AVIERR_BADPARAM;
    }
    const WriteResult result = writer.WriteSound(data);
    if (result == WriteResult::ok) *bytesWritten = static_cast<std::int32_t>(data.size());
    return ToHresult(result);
}

HRESULT CompressedStream::SetChangedRows(std::span<const vfw::RowSpan> rows) {
    changed_.emplace(rows.begin(), rows.end());
    return AVIERR_OK;
}

}  // namespace platform::avifile
