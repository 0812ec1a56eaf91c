// The reference-counted objects behind PAVIFILE and PAVISTREAM. A stream holds a reference to
// what it writes to (the file, or for a compressed stream its source stream), so the file is
// finished when the last of these references goes, whatever order they are released in.
// Used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/avifile/avi_writer.h"
#include "platform/avifile/avifile.h"
#include "platform/avifile/frame_compressor.h"

namespace platform::avifile {

class FileStream;

class AviFile {
public:
    AviFile(std::unique_ptr<FileSink> sink, std::uint64_t splitSize);
    void AddRef() { ++refs_; }
    // Drops one reference; the last one finishes the file and destroys this object.
    std::uint32_t Release();

    AviWriter& Writer() { return writer_; }
    // False when the file has had a stream of that type ('vids' or 'auds') already.
    bool ClaimStream(FOURCC type);

private:
    std::uint32_t refs_ = 1;
    AviWriter writer_;
    bool hasVideo_ = false;
    bool hasSound_ = false;
};

class AviStream {
public:
    virtual ~AviStream() = default;
    void AddRef() { ++refs_; }
    // Drops one reference; the last one destroys this object, which releases what it holds.
    std::uint32_t Release();

    virtual HRESULT SetFormat(std::span<const std::byte> format) = 0;
    // Writes samples (one frame of a video stream) at position; flags may carry
    // AVIIF_KEYFRAME. Sets the bytes that went into the file.
    virtual HRESULT Write(std::int32_t position, std::int32_t samples,
                          std::span<const std::byte> data, std::uint32_t flags,
                          std::int32_t* bytesWritten) = 0;
    // For the next Write only: the rows in which its frame can differ from the frame written
    // before it (see AVIStreamChangedRows). AVIERR_UNSUPPORTED for a stream without a codec.
    virtual HRESULT SetChangedRows(std::span<const vfw::RowSpan> rows) {
        static_cast<void>(rows);
        return AVIERR_UNSUPPORTED;
    }
    // The stream that reaches the file, or null for one that only passes frames on.
    virtual FileStream* AsFileStream() { return nullptr; }

private:
    std::uint32_t refs_ = 1;
};

// The stream of the file: frames are written as they come.
class FileStream final : public AviStream {
public:
    // Takes a reference to file.
    FileStream(AviFile& file, const AVISTREAMINFO& info);
    ~FileStream() override;

    // The caller's format becomes 'strf' as given.
    HRESULT SetFormat(std::span<const std::byte> format) override;
    // A format made by the codec handler at the given quality, which the stream header records.
    HRESULT SetEncodedFormat(std::span<const std::byte> format, FOURCC handler,
                             std::uint32_t quality);
    // AVIERR_OK when a frame can be written at position now (AVIERR_BADFORMAT before the format
    // is set), so that a compressing caller does not compress a frame that would be refused.
    HRESULT CheckWrite(std::int32_t position) const;
    HRESULT Write(std::int32_t position, std::int32_t samples, std::span<const std::byte> data,
                  std::uint32_t flags, std::int32_t* bytesWritten) override;
    FileStream* AsFileStream() override { return this; }

    const AVISTREAMINFO& Info() const { return info_; }

private:
    AviFile& file_;
    AVISTREAMINFO info_;
};

// A stream that compresses each frame before writing it to its source stream.
class CompressedStream final : public AviStream {
public:
    // Takes a reference to source and owns the codec session.
    CompressedStream(FileStream& source, std::unique_ptr<FrameCompressor> compressor);
    ~CompressedStream() override;

    // The uncompressed input format; the codec's output format goes to the source.
    HRESULT SetFormat(std::span<const std::byte> format) override;
    HRESULT Write(std::int32_t position, std::int32_t samples, std::span<const std::byte> data,
                  std::uint32_t flags, std::int32_t* bytesWritten) override;
    HRESULT SetChangedRows(std::span<const vfw::RowSpan> rows) override;

private:
    FileStream& source_;
    std::unique_ptr<FrameCompressor> compressor_;
    std::optional<std::vector<vfw::RowSpan>> changed_;  // for the next Write
};

// The PCM sound stream of the file. Its format must be set before the video's, which writes the
// headers; samples are written one after the other, each write at the position where the last
// ended, as one chunk between the frames.
class SoundStream final : public AviStream {
public:
    // Takes a reference to file.
    explicit SoundStream(AviFile& file);
    ~SoundStream() override;

    // A WAVEFORMATEX of PCM; AVIERR_BADFORMAT for another, AVIERR_UNSUPPORTED once the headers
    // are written.
    HRESULT SetFormat(std::span<const std::byte> format) override;
    HRESULT Write(std::int32_t position, std::int32_t samples, std::span<const std::byte> data,
                  std::uint32_t flags, std::int32_t* bytesWritten) override;

private:
    AviFile& file_;
};

// What a writer result means to a caller of the library.
HRESULT ToHresult(WriteResult result);

}  // namespace platform::avifile
