// One libavcodec encoder session for DIB pictures of one size and depth: it converts each
// picture into the encoder's layout and gives back one packet per picture, at once. Owned and
// used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/vfw/codec_table.h"
#include "platform/vfw/dib_convert.h"
#include "platform/vfw/frame_encoder.h"
#include "platform/vfw/vfw.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace platform::vfw {

class PictureInput;

// True for an entry with an encoder of our own, else when the libavcodec in use at run time has
// the entry's encoder.
bool HasEncoder(const EncoderEntry& entry);

// The libraries behind the entry's encoder, for people to read: "libavcodec 59.37.100 (FFmpeg
// 5.1...)", then libswscale where it converts the pictures, then the encoder's own library where
// it names itself (entry.buildTag). Opens a small encoder session for the last; any thread.
// For an encoder of our own: "Korvex", and the libraries it uses.
std::string EncoderLibraries(const EncoderEntry& entry);

class AvEncoder final : public FrameEncoder {
    struct Key;

public:
    using Rate = EncoderRate;
    using Settings = EncoderSettings;

    // Opens the encoder for the given pictures; ICERR_OK or the ICERR_ of the failure.
    static LRESULT Open(const EncoderEntry& entry, const Settings& settings,
                        std::unique_ptr<AvEncoder>& encoder);
    AvEncoder(Key, const EncoderEntry& entry, const Settings& settings);  // through Open only
    ~AvEncoder() override;
    AvEncoder(const AvEncoder&) = delete;
    AvEncoder& operator=(const AvEncoder&) = delete;

    std::span<const std::uint8_t> CodecData() const override;
    // ICERR_MEMORY also when the frame cannot be made writable.
    LRESULT Load(const DibImage& image) override;
    // No change keeps the loaded picture; an encoder of key frames only then gives the same
    // packet again. A change converts the changed rows where the layout is packed, else the
    // whole picture.
    LRESULT LoadChanged(const DibImage& image, std::span<const RowSpan> changed) override;
    LRESULT Encode(bool key, Packet* packet) override;

private:
    struct Key {
        explicit Key() = default;
    };
    struct ContextFree {
        void operator()(AVCodecContext* c) const;
    };
    struct FrameFree {
        void operator()(AVFrame* f) const;
    };
    struct PacketFree {
        void operator()(AVPacket* p) const;
    };

    LRESULT OpenContext();

    EncoderEntry entry_;
    Settings settings_;
    std::unique_ptr<PictureInput> input_;
    std::unique_ptr<AVCodecContext, ContextFree> context_;
    std::unique_ptr<AVFrame, FrameFree> frame_;
    std::unique_ptr<AVPacket, PacketFree> packet_;
    std::int64_t framesSent_ = 0;
    std::int64_t framesSinceOpen_ = 0;
    bool loaded_ = false;  // the frame holds a picture
    bool same_ = false;    // and it is the one last encoded, into packet_
};

}  // namespace platform::vfw
