// The AVIFile stand-in: the calls a recorder makes to write one compressed video stream into a
// RIFF AVI file (avih, one strl, movi, idx1; OpenDML RIFF-AVIX parts with their indexes once the
// file passes the split size). Handles are reference counted as in the original library: the
// file is finished (headers patched, indexes written, descriptor closed) when the file and all of
// its streams have been released, whatever order the releases come in.
// One file and its streams are used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/vfw/vfw.h"

namespace platform::avifile {

using HRESULT = std::int32_t;
using platform::vfw::FOURCC;

constexpr HRESULT AVIERR_OK = 0;
// Failures carry the AVIERR_ values of the original library.
constexpr HRESULT AVIERR_UNSUPPORTED = static_cast<HRESULT>(0x80044065);
constexpr HRESULT AVIERR_BADFORMAT = static_cast<HRESULT>(0x80044066);
constexpr HRESULT AVIERR_MEMORY = static_cast<HRESULT>(0x80044067);
constexpr HRESULT AVIERR_INTERNAL = static_cast<HRESULT>(0x80044068);
constexpr HRESULT AVIERR_BADFLAGS = static_cast<HRESULT>(0x80044069);
constexpr HRESULT AVIERR_BADPARAM = static_cast<HRESULT>(0x8004406A);
constexpr HRESULT AVIERR_FILEWRITE = static_cast<HRESULT>(0x8004406D);
constexpr HRESULT AVIERR_FILEOPEN = static_cast<HRESULT>(0x8004406E);
constexpr HRESULT AVIERR_COMPRESSOR = static_cast<HRESULT>(0x80044070);
constexpr HRESULT AVIERR_NOCOMPRESSOR = static_cast<HRESULT>(0x80044071);
constexpr HRESULT AVIERR_ERROR = static_cast<HRESULT>(0x800440C7);

constexpr unsigned OF_WRITE = 0x0001;
constexpr unsigned OF_CREATE = 0x1000;

constexpr std::uint32_t AVICOMPRESSF_INTERLEAVE = 0x01;
constexpr std::uint32_t AVICOMPRESSF_DATARATE = 0x02;
constexpr std::uint32_t AVICOMPRESSF_KEYFRAMES = 0x04;
constexpr std::uint32_t AVICOMPRESSF_VALID = 0x08;

using multimedia::AVIIF_KEYFRAME;

constexpr FOURCC streamtypeAUDIO = multimedia::mmioFOURCC('a', 'u', 'd', 's');

struct RECT {
    std::int32_t left, top, right, bottom;
};

struct AVISTREAMINFO {
    FOURCC fccType;
    FOURCC fccHandler;
    std::uint32_t dwFlags;
    std::uint32_t dwCaps;
    std::uint16_t wPriority;
    std::uint16_t wLanguage;
    std::uint32_t dwScale;
    std::uint32_t dwRate;
    std::uint32_t dwStart;
    std::uint32_t dwLength;
    std::uint32_t dwInitialFrames;
    std::uint32_t dwSuggestedBufferSize;
    std::uint32_t dwQuality;
    std::uint32_t dwSampleSize;
    RECT rcFrame;
    std::uint32_t dwEditCount;
    std::uint32_t dwFormatChangeCount;
    char szName[64];
};

struct AVICOMPRESSOPTIONS {
    FOURCC fccType;
    FOURCC fccHandler;
    std::uint32_t dwKeyFrameEvery;
    std::uint32_t dwQuality;
    std::uint32_t dwBytesPerSecond;
    std::uint32_t dwFlags;
    void* lpFormat;
    std::uint32_t cbFormat;
    void* lpParms;
    std::uint32_t cbParms;
    std::uint32_t dwInterleaveEvery;
};

class AviFile;
class AviStream;
using PAVIFILE = AviFile*;
using PAVISTREAM = AviStream*;

// Nothing to set up or tear down; kept for the recorder's call order.
void AVIFileInit();
void AVIFileExit();
// Creates (OF_CREATE | OF_WRITE) the file at path, replacing an existing one; AVIERR_FILEOPEN,
// with nothing created, when that is not possible. handler is not used.
HRESULT AVIFileOpen(PAVIFILE* file, const char* path, unsigned mode, const void* handler);
// Size of one RIFF part of this file: a part that would grow past it is closed and the file goes
// on in a RIFF 'AVIX' part. 1 GiB unless a test asks for less; at most 2 GiB.
HRESULT SetRiffSplitSize(PAVIFILE file, std::uint64_t bytes);
// Adds the video stream ('vids') or the sound stream ('auds'), one of each, dwRate and dwScale
// above 0; the stream holds a reference to the file until it is released. A sound stream takes
// its rate and sizes from its format (PCM), which must be set before the video's format.
HRESULT AVIFileCreateStream(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFO* info);
// A stream that compresses every frame written to it through the codec options->fccHandler
// (platform::vfw) before writing it to source, with key frames every dwKeyFrameEvery frames
// when AVICOMPRESSF_KEYFRAMES is set and the given quality; it holds a reference to source.
// AVIERR_NOCOMPRESSOR when the codec cannot be opened. lpFormat, lpParms and handler are not
// used; source is a stream made by AVIFileCreateStream.
HRESULT AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source,
                                const AVICOMPRESSOPTIONS* options, const void* handler);
// For a compressed stream: the format of the uncompressed frames (a BITMAPINFOHEADER and its
// colour table); the codec is asked for its output format, which becomes the stream's 'strf'.
// AVIERR_BADFORMAT when the codec refuses the format. For the file's own stream the format is
// the 'strf' as given. Once per stream, at position 0; the headers are in the file on return.
HRESULT AVIStreamSetFormat(PAVISTREAM stream, std::int32_t pos, const void* format,
                           std::int32_t size);
// Writes one frame (samples 1) at stream position start; positions skipped since the last write
// are kept as empty chunks, so that players keep the timeline. To a sound stream: samples whole
// samples (size bytes) at start, which must be where the last write ended. A position at or before
// the last one written is refused with AVIERR_BADPARAM. The frame is in the file on return; when
// the file cannot be written (a full disk) the result is AVIERR_FILEWRITE, the file keeps the
// frames written before and takes no more.
HRESULT AVIStreamWrite(PAVISTREAM stream, std::int32_t start, std::int32_t samples,
                       const void* buffer, std::int32_t size, std::uint32_t flags,
                       std::int32_t* samplesWritten, std::int32_t* bytesWritten);
// Our own addition: for the next AVIStreamWrite to this compressed stream only, the rows
// (counted from the picture's top, ascending and apart) in which its frame can differ from the
// frame written before it; none: the same picture again. Its codec then reads and compares only
// those rows where it can. AVIERR_UNSUPPORTED for a stream that compresses nothing.
HRESULT AVIStreamChangedRows(PAVISTREAM stream, std::span<const vfw::RowSpan> rows);

// Drop one reference and return the references left. When the last reference to the file has
// gone, the file is finished: indexes written where they fit, headers patched to the frames it
// holds, descriptor closed. A file whose stream never got a format holds no video and is removed.
std::uint32_t AVIStreamRelease(PAVISTREAM stream);
std::uint32_t AVIFileRelease(PAVIFILE file);
// Owners that release their reference when they go.
struct FileReleaser {
    void operator()(PAVIFILE file) const { AVIFileRelease(file); }
};
using FileHandle = std::unique_ptr<AviFile, FileReleaser>;
struct StreamReleaser {
    void operator()(PAVISTREAM stream) const { AVIStreamRelease(stream); }
};
using StreamHandle = std::unique_ptr<AviStream, StreamReleaser>;

// Clears lpFormat, lpParms and their sizes in each record. Nothing of this library allocates
// them, so what they pointed to stays the caller's, as do the records themselves.
HRESULT AVISaveOptionsFree(int count, AVICOMPRESSOPTIONS** options);

}  // namespace platform::avifile
