#include "platform/vfw/avcodec_driver.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/vfw/about_box.h"
#include "platform/vfw/avcodec_encoder.h"
#include "platform/vfw/changed_rows.h"
#include "platform/vfw/codec_formats.h"
#include "platform/vfw/dib_convert.h"
#include "platform/vfw/quality_mapping.h"

namespace platform::vfw {

namespace {

template <std::size_t N>
void CopyText(char16_t (&field)[N], std::u16string_view text) {
    const std::size_t n = std::min(text.size(), N - 1);
    std::copy_n(text.begin(), n, field);
    std::fill(field + n, field + N, u'\0');
}

template <typename T>
T* Pointer(std::intptr_t p) {
    return reinterpret_cast<T*>(p);
}

// A session of the entry's own encoder, else of libavcodec's.
LRESULT OpenEncoder(const EncoderEntry& entry, const EncoderSettings& settings,
                    std::unique_ptr<FrameEncoder>& encoder) {
    if (entry.own != nullptr) {
        encoder = entry.own->open(settings);
        return encoder ? ICERR_OK : ICERR_BADFORMAT;
    }
    std::unique_ptr<AvEncoder> opened;
    const LRESULT result = AvEncoder::Open(entry, settings, opened);
    encoder = std::move(opened);
    return result;
}

// One open codec. Compression runs between ICM_COMPRESS_BEGIN and ICM_COMPRESS_END.
//
// Key frames: the first frame after ICM_COMPRESS_BEGIN, every frame with ICCOMPRESS_KEYFRAME,
// and, with a key rate of n from ICM_COMPRESS_FRAMES_INFO, any frame n frames after the last key
// frame; a key rate of 0 leaves them to the caller. A frame the encoder makes a key frame by
// itself (an intra-only codec) is reported as one and restarts the count.
//
// Quality: the stream's quality comes with ICM_COMPRESS_FRAMES_INFO (0..10000, ICQUALITY_DEFAULT
// for kDefaultQuality) and holds from the next ICM_COMPRESS_BEGIN; an ICCOMPRESS dwQuality is
// not read, since x264 cannot change its rate factor from one frame to the next. For a codec
// without a quality control (no VIDCF_QUALITY) the quality is checked for range only.
class AvCodecInstance final : public CodecInstance {
public:
    AvCodecInstance(const EncoderEntry& entry, const ICINFO& info, bool compress)
        : entry_(entry), info_(info), compress_(compress) {}

    LRESULT Message(std::uint32_t msg, std::intptr_t p1, std::intptr_t p2) override {
        switch (msg) {
            case ICM_GETINFO:
                return GetInfo(Pointer<ICINFO>(p1), p2);
            case ICM_ABOUT:
                return About(p1, p2);
            case ICM_CONFIGURE:
                return ICERR_UNSUPPORTED;
            case ICM_COMPRESS_QUERY:
                return Query(Pointer<const BITMAPINFOHEADER>(p1),
                             Pointer<const BITMAPINFOHEADER>(p2));
            case ICM_COMPRESS_GET_FORMAT:
                return GetFormat(Pointer<const BITMAPINFOHEADER>(p1),
                                 Pointer<BITMAPINFOHEADER>(p2));
            case ICM_COMPRESS_GET_SIZE:
                return GetSize(Pointer<const BITMAPINFOHEADER>(p1));
            case ICM_COMPRESS_FRAMES_INFO:
                return FramesInfo(Pointer<const ICCOMPRESSFRAMES>(p1));
            case ICM_COMPRESS_BEGIN:
                return Begin(Pointer<const BITMAPINFOHEADER>(p1),
                             Pointer<const BITMAPINFOHEADER>(p2));
            case ICM_KORVEX_CHANGED_ROWS:
                return ChangedRows(Pointer<const ICCHANGEDROWS>(p1));
            case ICM_COMPRESS:
                return Compress(Pointer<ICCOMPRESS>(p1));
            case ICM_COMPRESS_END:
                encoder_.reset();
                return ICERR_OK;
            default:
                return ICERR_UNSUPPORTED;
        }
    }

private:
    // Copies up to `size` bytes of the description; returns how many.
    LRESULT GetInfo(ICINFO* out, std::intptr_t size) const {
        if (out == nullptr || size <= 0) return 0;
        const auto n = std::min<std::size_t>(static_cast<std::size_t>(size), sizeof(ICINFO));
        std::memcpy(out, &info_, n);
        return static_cast<LRESULT>(n);
    }

    LRESULT About(std::intptr_t parent, std::intptr_t flags) const {
        if (parent == -1) return flags == ICMF_ABOUT_QUERY ? ICERR_OK : ICERR_BADPARAM;
        const std::string details = std::string("Compresses with the ") + entry_.encoder +
                                    " encoder of " + EncoderLibraries(entry_) + ".";
        return ShowAboutBox(parent, entry_.description, details) ? ICERR_OK : ICERR_ERROR;
    }

    LRESULT Query(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) const {
        if (LRESULT result = QueryInput(entry_, in); result != ICERR_OK) return result;
        return out != nullptr ? QueryOutput(entry_, *in, *out) : ICERR_OK;
    }

    // Without an output buffer, tells how many bytes the output format takes: the header, and
    // the codec data behind it for an entry whose decoder needs that.
    LRESULT GetFormat(const BITMAPINFOHEADER* in, BITMAPINFOHEADER* out) const {
        if (LRESULT result = QueryInput(entry_, in); result != ICERR_OK) return result;
        std::vector<std::uint8_t> codecData;
        if (entry_.codecDataInFormat) {
            std::unique_ptr<FrameEncoder> encoder;
            if (LRESULT result = OpenEncoder(entry_, SettingsFor(*in), encoder);
                result != ICERR_OK) {
                return result;
            }
            const auto data = encoder->CodecData();
            codecData.assign(data.begin(), data.end());
        }
        const std::size_t size = sizeof(BITMAPINFOHEADER) + codecData.size();
        if (out == nullptr) return static_cast<LRESULT>(size);
        *out = CompressedFormat(entry_, *in);
        out->biSize = static_cast<std::uint32_t>(size);
        if (!codecData.empty()) {
            std::memcpy(reinterpret_cast<std::uint8_t*>(out) + sizeof(BITMAPINFOHEADER),
                        codecData.data(), codecData.size());
        }
        return ICERR_OK;
    }

    LRESULT GetSize(const BITMAPINFOHEADER* in) const {
        if (LRESULT result = QueryInput(entry_, in); result != ICERR_OK) return result;
        return static_cast<LRESULT>(MaxFrameBytes(entry_, *in));
    }

    EncoderSettings SettingsFor(const BITMAPINFOHEADER& in) const {
        return {in.biWidth, in.biHeight, in.biBitCount, rate_, quality_};
    }

    LRESULT FramesInfo(const ICCOMPRESSFRAMES* frames) {
        if (frames == nullptr) return ICERR_BADPARAM;
        if (frames->lQuality != ICQUALITY_DEFAULT &&
            (frames->lQuality < 0 || frames->lQuality > ICQUALITY_HIGH)) {
            return ICERR_BADPARAM;
        }
        if (frames->lKeyRate < 0) return ICERR_BADPARAM;
        keyRate_ = frames->lKeyRate;
        quality_ = frames->lQuality == ICQUALITY_DEFAULT ? kDefaultQuality : frames->lQuality;
        // The rate reaches the encoder at the next ICM_COMPRESS_BEGIN.
        if (frames->dwRate > 0 && frames->dwScale > 0 && frames->dwRate <= INT_MAX &&
            frames->dwScale <= INT_MAX) {
            rate_ = {static_cast<int>(frames->dwScale), static_cast<int>(frames->dwRate)};
        }
        return ICERR_OK;
    }

    LRESULT Begin(const BITMAPINFOHEADER* in, const BITMAPINFOHEADER* out) {
        if (!compress_) return ICERR_UNSUPPORTED;
        if (LRESULT result = QueryInput(entry_, in); result != ICERR_OK) return result;
        if (out == nullptr) return ICERR_BADPARAM;
        if (LRESULT result = QueryOutput(entry_, *in, *out); result != ICERR_OK) return result;
        encoder_.reset();
        std::unique_ptr<FrameEncoder> encoder;
        if (LRESULT result = OpenEncoder(entry_, SettingsFor(*in), encoder); result != ICERR_OK) {
            return result;
        }
        encoder_ = std::move(encoder);
        input_ = *in;
        keyDue_ = true;
        sinceKey_ = 0;
        return ICERR_OK;
    }

    LRESULT ChangedRows(const ICCHANGEDROWS* rows) {
        if (!encoder_) return ICERR_ERROR;
        if (rows == nullptr || (rows->count > 0 && rows->spans == nullptr)) return ICERR_BADPARAM;
        const std::span<const RowSpan> spans(rows->spans, rows->count);
        if (!ValidRowSpans(spans, input_.biHeight)) return ICERR_BADPARAM;
        changed_.assign(spans.begin(), spans.end());
        changedGiven_ = true;
        return ICERR_OK;
    }

    LRESULT Compress(ICCOMPRESS* c) {
        // What ICM_KORVEX_CHANGED_ROWS said holds for this frame only.
        const bool part = std::exchange(changedGiven_, false);
        if (c == nullptr) return ICERR_BADPARAM;
        if (!encoder_) return ICERR_ERROR;
        if (c->lpbiInput == nullptr || c->lpInput == nullptr || c->lpbiOutput == nullptr ||
            c->lpOutput == nullptr) {
            return ICERR_BADPARAM;
        }
        const BITMAPINFOHEADER& in = *c->lpbiInput;
        if (LRESULT result = QueryInput(entry_, &in); result != ICERR_OK) return result;
        if (in.biWidth != input_.biWidth || in.biHeight != input_.biHeight ||
            in.biBitCount != input_.biBitCount) {
            return ICERR_BADFORMAT;
        }

        const DibImage image = InputImage(in, c->lpInput);
        if (LRESULT result = part ? encoder_->LoadChanged(image, changed_) : encoder_->Load(image);
            result != ICERR_OK) {
            return result;
        }

        const bool key = keyDue_ || (c->dwFlags & ICCOMPRESS_KEYFRAME) != 0 ||
                         (keyRate_ > 0 && sinceKey_ + 1 >= keyRate_);
        FrameEncoder::Packet packet;
        if (LRESULT result = encoder_->Encode(key, &packet); result != ICERR_OK) return result;
        // The caller's buffer holds what ICM_COMPRESS_GET_SIZE promised, never more.
        if (packet.bytes.size() > MaxFrameBytes(entry_, in)) {
            return ICERR_INTERNAL;
        }
        std::memcpy(c->lpOutput, packet.bytes.data(), packet.bytes.size());
        c->lpbiOutput->biSizeImage = static_cast<std::uint32_t>(packet.bytes.size());
        if (c->lpdwFlags != nullptr) *c->lpdwFlags = packet.key ? AVIIF_KEYFRAME : 0;
        if (packet.key) {
            keyDue_ = false;
            sinceKey_ = 0;
        } else {
            ++sinceKey_;
        }
        return ICERR_OK;
    }

    EncoderEntry entry_;
    ICINFO info_;
    bool compress_;
    std::int32_t keyRate_ = 0;
    std::int32_t quality_ = kDefaultQuality;
    EncoderRate rate_;
    std::unique_ptr<FrameEncoder> encoder_;
    BITMAPINFOHEADER input_{};
    std::vector<RowSpan> changed_;  // for the next frame, when changedGiven_
    bool changedGiven_ = false;
    bool keyDue_ = true;
    std::int64_t sinceKey_ = 0;  // frames compressed since the last key frame
};

}  // namespace

AvCodecDriver::AvCodecDriver(const EncoderEntry& entry) : entry_(entry) {}

ICINFO AvCodecDriver::Info() const {
    ICINFO info{};
    info.dwSize = sizeof(ICINFO);
    info.fccType = ICTYPE_VIDEO;
    info.fccHandler = entry_.handler;
    info.dwFlags = entry_.flags;
    info.dwVersion = 1;
    info.dwVersionICM = ICVERSION;
    CopyText(info.szName, entry_.name);
    CopyText(info.szDescription, entry_.description);
    std::u16string driver = entry_.own != nullptr ? u"Korvex " : u"libavcodec ";
    for (const char* c = entry_.encoder; *c != '\0'; ++c) driver += static_cast<char16_t>(*c);
    CopyText(info.szDriver, driver);
    return info;
}

std::unique_ptr<CodecInstance> AvCodecDriver::Open(std::uint32_t mode) {
    if (mode != ICMODE_COMPRESS && mode != ICMODE_QUERY) return nullptr;
    if (!HasEncoder(entry_)) return nullptr;
    return std::make_unique<AvCodecInstance>(entry_, Info(), mode == ICMODE_COMPRESS);
}

std::vector<std::shared_ptr<CodecDriver>> DriversFor(std::span<const EncoderEntry> entries) {
    std::vector<std::shared_ptr<CodecDriver>> drivers;
    for (const EncoderEntry& entry : entries) {
        if (HasEncoder(entry)) drivers.push_back(std::make_shared<AvCodecDriver>(entry));
    }
    return drivers;
}

}  // namespace platform::vfw
