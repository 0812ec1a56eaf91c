#include "platform/avifile/avifile.h"

#include <cstddef>
#include <memory>
#include <new>
#include <span>

#include "platform/avifile/file_sink.h"
#include "platform/avifile/handles.h"

namespace platform::avifile {

namespace {

constexpr std::uint64_t kDefaultSplitSize = 1ull << 30;
constexpr std::uint64_t kMaxSplitSize = 2ull << 30;

std::span<const std::byte> Bytes(const void* data, std::int32_t size) {
    return {static_cast<const std::byte*>(data), static_cast<std::size_t>(size)};
}

}  // namespace

void AVIFileInit() {}
void AVIFileExit() {}

HRESULT AVIFileOpen(PAVIFILE* file, const char* path, unsigned mode, const void*) {
    if (file == nullptr || path == nullptr) return AVIERR_BADPARAM;
    *file = nullptr;
    if ((mode & (OF_CREATE | OF_WRITE)) != (OF_CREATE | OF_WRITE)) return AVIERR_UNSUPPORTED;
    try {
        auto sink = FileSink::Create(path);
        if (!sink) return AVIERR_FILEOPEN;
        *file = std::make_unique<AviFile>(std::move(sink), kDefaultSplitSize).release();
    } catch (const std::bad_alloc&) {
        return AVIERR_MEMORY;
    }
    return AVIERR_OK;
}

HRESULT SetRiffSplitSize(PAVIFILE file, std::uint64_t bytes) {
    if (file == nullptr || bytes > kMaxSplitSize) return AVIERR_BADPARAM;
    file->Writer().SetSplitSize(bytes);
    return AVIERR_OK;
}

HRESULT AVIFileCreateStream(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFO* info) {
    if (stream == nullptr) return AVIERR_BADPARAM;
    *stream = nullptr;
    if (file == nullptr || info == nullptr || info->dwRate == 0 || info->dwScale == 0) {
        return AVIERR_BADPARAM;
    }
    if (info->fccType != vfw::streamtypeVIDEO && info->fccType != streamtypeAUDIO) {
        return AVIERR_UNSUPPORTED;
    }
    if (!file->ClaimStream(info->fccType)) return AVIERR_UNSUPPORTED;
    if (info->fccType == streamtypeAUDIO) {
        *stream = std::make_unique<SoundStream>(*file).release();
    } else {
        *stream = std::make_unique<FileStream>(*file, *info).release();
    }
    return AVIERR_OK;
}

HRESULT AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source,
                                const AVICOMPRESSOPTIONS* options, const void*) {
    if (compressed == nullptr) return AVIERR_BADPARAM;
    *compressed = nullptr;
    if (source == nullptr || options == nullptr) return AVIERR_BADPARAM;
    FileStream* target = source->AsFileStream();
    if (target == nullptr) return AVIERR_UNSUPPORTED;
    if (options->fccType != 0 && options->fccType != vfw::streamtypeVIDEO) {
        return AVIERR_UNSUPPORTED;
    }
    CompressorSettings settings;
    settings.handler = options->fccHandler;
    settings.quality = options->dwQuality;
    settings.keyFrameEvery =
        (options->dwFlags & AVICOMPRESSF_KEYFRAMES) != 0 ? options->dwKeyFrameEvery : 0;
    settings.rate = target->Info().dwRate;
    settings.scale = target->Info().dwScale;
    try {
        auto compressor = FrameCompressor::Open(settings);
        if (!compressor) return AVIERR_NOCOMPRESSOR;
        *compressed = std::make_unique<CompressedStream>(*target, std::move(compressor)).release();
    } catch (const std::bad_alloc&) {
        return AVIERR_MEMORY;
    }
    return AVIERR_OK;
}

HRESULT AVIStreamSetFormat(PAVISTREAM stream, std::int32_t pos, const void* format,
                           std::int32_t size) {
    if (stream == nullptr || format == nullptr || size <= 0 || pos != 0) return AVIERR_BADPARAM;
    try {
        return stream->SetFormat(Bytes(format, size));
    } catch (const std::bad_alloc&) {
        return AVIERR_MEMORY;
    }
}

HRESULT AVIStreamWrite(PAVISTREAM stream, std::int32_t start, std::int32_t samples,
                       const void* buffer, std::int32_t size, std::uint32_t flags,
                       std::int32_t* samplesWritten, std::int32_t* bytesWritten) {
    if (samplesWritten != nullptr) *samplesWritten = 0;
    if (bytesWritten != nullptr) *bytesWritten = 0;
    if (stream == nullptr || samples < 0 || size < 0 || (buffer == nullptr && size > 0)) {
        return AVIERR_BADPARAM;
    }
    std::int32_t written = 0;
    const HRESULT result =
        stream->Write(start, samples, size > 0 ? Bytes(buffer, size) : std::span<const std::byte>{},
                      flags, &written);
    if (result != AVIERR_OK) return result;
    if (samplesWritten != nullptr) *samplesWritten = samples;
    if (bytesWritten != nullptr) *bytesWritten = written;
    return AVIERR_OK;
}

HRESULT AVIStreamChangedRows(PAVISTREAM stream, std::span<const vfw::RowSpan> rows) {
    if (stream == nullptr) return AVIERR_BADPARAM;
    return stream->SetChangedRows(rows);
}

std::uint32_t AVIStreamRelease(PAVISTREAM stream) {
    return stream != nullptr ? stream->Release() : 0;
}

std::uint32_t AVIFileRelease(PAVIFILE file) {
    return file != nullptr ? file->Release() : 0;
}

HRESULT AVISaveOptionsFree(int count, AVICOMPRESSOPTIONS** options) {
    if (count < 0 || (count > 0 && options == nullptr)) return AVIERR_BADPARAM;
    for (AVICOMPRESSOPTIONS* record : std::span(options, static_cast<std::size_t>(count))) {
        if (record == nullptr) continue;
        record->lpFormat = nullptr;
        record->cbFormat = 0;
        record->lpParms = nullptr;
        record->cbParms = 0;
    }
    return AVIERR_OK;
}

}  // namespace platform::avifile
