// The codec stand-in: a registry of video compressor drivers with the semantics of the Video for
// Windows codec calls (ICInfo, ICOpen, ICSendMessage, ICGetInfo, ICClose) and their published
// message numbers. Drivers are backed by libavcodec encoders or our own screen encoders; tests may
// install their own.
// Every function here may be called from any thread; one open codec is used by one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/multimedia/multimedia.h"

namespace platform::vfw {

using multimedia::AVIIF_KEYFRAME;
using multimedia::FOURCC;
using multimedia::mmioFOURCC;
using LRESULT = std::intptr_t;

constexpr FOURCC ICTYPE_VIDEO = mmioFOURCC('v', 'i', 'd', 'c');
constexpr FOURCC streamtypeVIDEO = mmioFOURCC('v', 'i', 'd', 's');
constexpr std::uint32_t BI_RGB = 0;

// Laid out exactly as in a DIB or an AVI 'strf' chunk (40 bytes, little-endian host).
struct BITMAPINFOHEADER {
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);

// The header of an uncompressed bottom-up DIB: BI_RGB pixels, 2^bitCount colour table entries
// at 8 bits or fewer, the image size from the rows padded to four bytes.
inline BITMAPINFOHEADER RgbDibHeader(int width, int height, int bitCount) {
    BITMAPINFOHEADER h{};
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = static_cast<std::uint16_t>(bitCount);
    h.biCompression = BI_RGB;
    h.biSizeImage =
        static_cast<std::uint32_t>(multimedia::DibStride(width, bitCount) * std::int64_t{height});
    h.biClrUsed = bitCount > 0 && bitCount <= 8 ? 1u << bitCount : 0u;
    return h;
}

// A header followed by its colour table (BGRX entries), as the codec messages take it.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    std::uint32_t bmiColors[1];
};

struct ICINFO {
    std::uint32_t dwSize;
    std::uint32_t fccType;
    std::uint32_t fccHandler;
    std::uint32_t dwFlags;
    std::uint32_t dwVersion;
    std::uint32_t dwVersionICM;
    char16_t szName[16];
    char16_t szDescription[128];
    char16_t szDriver[128];
};
static_assert(sizeof(ICINFO) == 568);

// ICM_COMPRESS parameter block.
struct ICCOMPRESS {
    std::uint32_t dwFlags;  // ICCOMPRESS_KEYFRAME asks for a key frame
    BITMAPINFOHEADER* lpbiOutput;
    void* lpOutput;
    const BITMAPINFOHEADER* lpbiInput;  // followed by its colour table at 8 bits or fewer
    const void* lpInput;
    std::uint32_t* lpckid;
    std::uint32_t* lpdwFlags;  // receives AVIIF_KEYFRAME for a key frame
    std::int32_t lFrameNum;
    std::uint32_t dwFrameSize;
    std::uint32_t dwQuality;
    const BITMAPINFOHEADER* lpbiPrev;
    const void* lpPrev;
};

// Rows of a picture, counted from its top: top included, bottom not.
struct RowSpan {
    std::int32_t top = 0;
    std::int32_t bottom = 0;
    friend bool operator==(const RowSpan&, const RowSpan&) = default;
};

// ICM_KORVEX_CHANGED_ROWS parameter block: the rows in which the next ICM_COMPRESS's picture
// can differ from the previous one's, ascending and apart; none: it is the same picture again.
struct ICCHANGEDROWS {
    std::uint32_t count;
    const RowSpan* spans;
};

// ICM_COMPRESS_FRAMES_INFO parameter block: what the stream will ask for before it begins.
struct ICCOMPRESSFRAMES {
    std::uint32_t dwFlags;
    const BITMAPINFOHEADER* lpbiOutput;
    const BITMAPINFOHEADER* lpbiInput;
    std::int32_t lStartFrame;
    std::int32_t lFrameCount;
    std::int32_t lQuality;  // 0..10000
    std::int32_t lDataRate;
    std::int32_t lKeyRate;  // a key frame every lKeyRate frames; 0 for key frames only when asked
    std::uint32_t dwRate;
    std::uint32_t dwScale;
};

constexpr std::uint32_t ICMODE_COMPRESS = 1;
constexpr std::uint32_t ICMODE_DECOMPRESS = 2;
constexpr std::uint32_t ICMODE_QUERY = 4;

constexpr std::uint32_t ICM_USER = 0x4000;
constexpr std::uint32_t ICM_RESERVED = 0x5000;
constexpr std::uint32_t ICM_GETINFO = ICM_RESERVED + 2;
constexpr std::uint32_t ICM_CONFIGURE = ICM_RESERVED + 10;
constexpr std::uint32_t ICM_ABOUT = ICM_RESERVED + 11;
constexpr std::uint32_t ICM_COMPRESS_GET_FORMAT = ICM_USER + 4;
constexpr std::uint32_t ICM_COMPRESS_GET_SIZE = ICM_USER + 5;
constexpr std::uint32_t ICM_COMPRESS_QUERY = ICM_USER + 6;
constexpr std::uint32_t ICM_COMPRESS_BEGIN = ICM_USER + 7;
constexpr std::uint32_t ICM_COMPRESS = ICM_USER + 8;
constexpr std::uint32_t ICM_COMPRESS_END = ICM_USER + 9;
constexpr std::uint32_t ICM_COMPRESS_FRAMES_INFO = ICM_USER + 70;
// Our drivers' own message (p1: ICCHANGEDROWS*), for the next ICM_COMPRESS only: the picture
// need only be read, and compared with the previous one, in those rows. A driver that does not
// take it answers ICERR_UNSUPPORTED and reads whole pictures, as it always may.
constexpr std::uint32_t ICM_KORVEX_CHANGED_ROWS = ICM_USER + 0x200;

constexpr std::intptr_t ICMF_ABOUT_QUERY = 1;
constexpr std::intptr_t ICMF_CONFIGURE_QUERY = 1;

constexpr LRESULT ICERR_OK = 0;
constexpr LRESULT ICERR_UNSUPPORTED = -1;
constexpr LRESULT ICERR_BADFORMAT = -2;
constexpr LRESULT ICERR_MEMORY = -3;
constexpr LRESULT ICERR_INTERNAL = -4;
constexpr LRESULT ICERR_BADPARAM = -6;
constexpr LRESULT ICERR_BADSIZE = -7;
constexpr LRESULT ICERR_BADHANDLE = -8;
constexpr LRESULT ICERR_ERROR = -100;
constexpr LRESULT ICERR_BADBITDEPTH = -200;
constexpr LRESULT ICERR_BADIMAGESIZE = -201;

// ICINFO dwFlags: what a compressor can do.
constexpr std::uint32_t VIDCF_QUALITY = 0x0001;        // honours the quality setting
constexpr std::uint32_t VIDCF_TEMPORAL = 0x0004;       // makes delta frames between key frames
constexpr std::uint32_t VIDCF_FASTTEMPORALC = 0x0020;  // keeps its own previous frame
constexpr std::uint32_t ICVERSION = 0x0104;            // ICINFO dwVersionICM

constexpr std::int32_t ICQUALITY_DEFAULT = -1;
constexpr std::int32_t ICQUALITY_HIGH = 10000;

constexpr std::uint32_t ICCOMPRESS_KEYFRAME = 0x00000001;

// One open codec, driven by messages. Implementations answer the ICM_ messages above with the
// published parameter meanings (p1/p2 carry pointers cast to intptr_t).
class CodecInstance {
public:
    virtual ~CodecInstance() = default;
    virtual LRESULT Message(std::uint32_t msg, std::intptr_t p1, std::intptr_t p2) = 0;
};

// One installed codec.
class CodecDriver {
public:
    virtual ~CodecDriver() = default;
    // The codec's description; fccType is ICTYPE_VIDEO.
    virtual ICINFO Info() const = 0;
    // Opens an instance in the given ICMODE_; null when the codec cannot be opened (for example
    // its encoder library is missing at run time).
    virtual std::unique_ptr<CodecInstance> Open(std::uint32_t mode) = 0;
};

// The installed drivers, in their fixed enumeration order. The built-in drivers are installed
// on first use; tests replace the list for their lifetime with ScopedDrivers.
std::vector<std::shared_ptr<CodecDriver>> InstalledDrivers();

class ScopedDrivers {
public:
    explicit ScopedDrivers(std::vector<std::shared_ptr<CodecDriver>> drivers);
    ~ScopedDrivers();
    ScopedDrivers(const ScopedDrivers&) = delete;
    ScopedDrivers& operator=(const ScopedDrivers&) = delete;

private:
    std::vector<std::shared_ptr<CodecDriver>> previous_;
};

struct Codec;  // an open codec
using HIC = Codec*;

// Version of the codec interface: high 16 bits major.minor as 0x010A for 1.10.
std::uint32_t VideoForWindowsVersion();
// Describes the index-th installed codec of the given type; false when there is none.
bool ICInfo(FOURCC fccType, std::uint32_t index, ICINFO* info);
// Opens the codec whose type and handler match (handler compared without regard to case);
// null when there is none or it cannot be opened. Release with ICClose.
HIC ICOpen(FOURCC fccType, FOURCC fccHandler, std::uint32_t mode);
LRESULT ICSendMessage(HIC hic, std::uint32_t msg, std::intptr_t p1, std::intptr_t p2);
// Copies up to cb bytes of the codec's ICINFO; returns the bytes copied.
LRESULT ICGetInfo(HIC hic, ICINFO* info, std::uint32_t cb);
LRESULT ICClose(HIC hic);

// Owns an open codec.
struct CodecCloser {
    void operator()(Codec* c) const { ICClose(c); }
};
using CodecHandle = std::unique_ptr<Codec, CodecCloser>;

}  // namespace platform::vfw
