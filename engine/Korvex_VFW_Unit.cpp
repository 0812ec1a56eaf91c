#include "engine/Korvex_VFW_Unit.h"

#include "engine/Korvex_ScrCam_Unit.h"

namespace engine {

namespace vfw = platform::vfw;

bool ICQueryAbout(vfw::HIC codec) {
    return vfw::ICSendMessage(codec, vfw::ICM_ABOUT, -1, vfw::ICMF_ABOUT_QUERY) == vfw::ICERR_OK;
}

void ICAbout(vfw::HIC codec, std::intptr_t parent) {
    vfw::ICSendMessage(codec, vfw::ICM_ABOUT, parent, 0);
}

bool ICQueryConfigure(vfw::HIC codec) {
    return vfw::ICSendMessage(codec, vfw::ICM_CONFIGURE, -1, vfw::ICMF_CONFIGURE_QUERY) ==
           vfw::ICERR_OK;
}

vfw::LRESULT ICCompressQuery(vfw::HIC codec, const vfw::BITMAPINFOHEADER* input,
                             const vfw::BITMAPINFOHEADER* output) {
    return vfw::ICSendMessage(codec, vfw::ICM_COMPRESS_QUERY,
                              reinterpret_cast<std::intptr_t>(input),
                              reinterpret_cast<std::intptr_t>(output));
}

void TScreenCam::EnumerateCodecs() {
    PFrame testFrame = GrabFrame(0, 0, 320, 200);
    CodecCount = 0;
    for (std::uint32_t i = 0; i < kMaxCodecs; ++i) {
        vfw::ICINFO& slot = Codecs[CodecCount];
        if (!vfw::ICInfo(vfw::ICTYPE_VIDEO, i, &slot)) continue;
        vfw::CodecHandle codec(vfw::ICOpen(slot.fccType, slot.fccHandler, vfw::ICMODE_QUERY));
        if (!codec) continue;
        // Without a test frame no codec can show that it takes this screen's pixels.
        if (testFrame &&
            ICCompressQuery(codec.get(), &testFrame->Header(), nullptr) == vfw::ICERR_OK) {
            vfw::ICGetInfo(codec.get(), &slot, sizeof(slot));
            ++CodecCount;
        }
    }
    FreeFrame(testFrame);
    SelectCompressor();
}

void TScreenCam::ShowCodecAbout(int index, std::intptr_t parent) {
    const auto position = static_cast<std::uint8_t>(index);
    if (position >= CodecCount) return;
    vfw::CodecHandle codec(
        vfw::ICOpen(Codecs[position].fccType, Codecs[position].fccHandler, vfw::ICMODE_QUERY));
    if (codec) ICAbout(codec.get(), parent);
}

TScreenCam::CodecDialogs TScreenCam::QueryCodecDialogs(int index) {
    CodecDialogs dialogs;
    const auto position = static_cast<std::uint8_t>(index);
    if (position >= CodecCount) return dialogs;
    vfw::CodecHandle codec(
        vfw::ICOpen(Codecs[position].fccType, Codecs[position].fccHandler, vfw::ICMODE_QUERY));
    if (codec) {
        dialogs.about = ICQueryAbout(codec.get());
        dialogs.configure = ICQueryConfigure(codec.get());
    }
    return dialogs;
}

}  // namespace engine
