// The recording worker's steps: check and first grab, the codec's query and the size aligned to
// it, the AVI file and its compressed stream, the frame loop, and the outcome.
#include <chrono>

#include "engine/AviOutput.h"
#include "engine/Korvex_ScrCam_Unit.h"
#include "engine/Korvex_VFW_Unit.h"
#include "engine/Narration.h"
#include "engine/RecordTiming.h"
#include "engine/SizeAlignment.h"
#include "engine/SoundTiming.h"
#include "platform/avifile/avifile.h"
#include "platform/clock/clock.h"
#include "platform/msgbox/msgbox.h"

namespace engine {

namespace mb = platform::msgbox;
namespace avi = platform::avifile;
namespace vfw = platform::vfw;

RecordOutcome TScreenCam::RecordAVI(RecordingRegion& region, const std::string& fileName) {
    CaptureRect rect = region.Region();
    FrameWidth = rect.width;
    FrameHeight = rect.height;
    bitsErrorReported_ = false;

    if ((vfw::VideoForWindowsVersion() >> 16) < 0x010A) {
        services_.Alert("Error", "Failure: Video for Windows version too old!", mb::MB_ICONERROR);
        Notify(OnError);
        return RecordOutcome::Failed;
    }
    // Watched from before the first grab, so that the frame loop can go on from its picture.
    auto damage = screen_ ? screen_->WatchDamage() : nullptr;
    // Without a first frame the grab has told the user; there is nothing to record from.
    PFrame frame = GrabPicture(rect.left, rect.top, rect.width, rect.height);
    if (frame) frame = QueryAndAlign(rect, std::move(frame));
    if (!frame) {
        Notify(OnError);
        return RecordOutcome::Failed;
    }
    rect.width = FrameWidth;
    rect.height = FrameHeight;
    return WriteAvi(fileName, rect, std::move(frame), std::move(damage), OpenNarration())
               ? RecordOutcome::Recorded
               : ReportFailure();
}

std::unique_ptr<Narration> TScreenCam::OpenNarration() {
    if (!Settings.RecordMicrophone) return nullptr;
    platform::sound::OpenError error{};
    auto capture = platform::sound::Capture::Open(&error);
    if (!capture) {
        // The recording goes on without sound; the user hears why without waiting for it.
        ReportSound(error == platform::sound::OpenError::noServer ? SoundTrouble::noServer
                                                                  : SoundTrouble::noInput);
        return nullptr;
    }
    return std::make_unique<Narration>(std::move(capture));
}

void TScreenCam::ReportSound(SoundTrouble trouble) {
    if (services_.TellSoundTrouble) services_.TellSoundTrouble(trouble);
}

PFrame TScreenCam::QueryAndAlign(const CaptureRect& rect, PFrame frame) {
    bool defaultTested = false;
    if (Settings.CompressorIndex != -1) {
        vfw::CodecHandle codec;
        if (ValidCompressorIndex()) {
            codec.reset(vfw::ICOpen(Codecs[Settings.CompressorIndex].fccType,
                                    Codecs[Settings.CompressorIndex].fccHandler,
                                    vfw::ICMODE_QUERY));
        }
        if (!codec) {
            CompressorFourCC = kDefaultCompressor;
        } else {
            const bool fits = FitFrameToCodec(codec.get(), rect, frame);
            if (!fits) CompressorFourCC = kDefaultCompressor;
            defaultTested =
                fits && Codecs[Settings.CompressorIndex].fccHandler == kDefaultCompressor;
        }
    }
    if (CompressorFourCC == vfw::mmioFOURCC('I', 'V', '5', '0')) {
        CompressorFourCC = kDefaultCompressor;
    }
    // The default codec works on blocks too: a region it cannot take as it is gets the same
    // alignment, instead of a recording that fails at its first frame.
    if (CompressorFourCC == kDefaultCompressor && !defaultTested && frame) {
        vfw::CodecHandle codec(
            vfw::ICOpen(vfw::ICTYPE_VIDEO, kDefaultCompressor, vfw::ICMODE_QUERY));
        if (codec) FitFrameToCodec(codec.get(), rect, frame);
    }
    return frame;
}

bool TScreenCam::FitFrameToCodec(vfw::HIC codec, const CaptureRect& rect, PFrame& frame) {
    const auto [left, top, width, height] = rect;
    auto accepts = [&](int w, int h) {
        const BITMAPINFOHEADER& current = frame->Header();
        if (current.biWidth != w || current.biHeight != h) {
            FreeFrame(frame);
            frame = GrabPicture(left, top, w, h);
            if (!frame) return false;
        }
        return ICCompressQuery(codec, &frame->Header(), nullptr) == vfw::ICERR_OK;
    };
    const AlignmentOutcome outcome =
        AlignFrameSize(width, height, ScreenWidth, ScreenHeight,
                       [&](int w, int h) { return frame && accepts(w, h); });
    if (outcome.accepted) {
        FrameWidth = outcome.width;
        FrameHeight = outcome.height;
        return true;
    }
    // The stream format must describe the frames that will be written: the region's own.
    if (!frame || frame->Header().biWidth != width || frame->Header().biHeight != height) {
        FreeFrame(frame);
        frame = GrabPicture(left, top, width, height);
    }
    FrameWidth = width;
    FrameHeight = height;
    return false;
}

bool TScreenCam::WriteAvi(const std::string& fileName, const CaptureRect& rect, PFrame frame,
                          std::unique_ptr<platform::screen::DamageWatcher> damage,
                          std::unique_ptr<Narration> narration) {
    avi::AVICOMPRESSOPTIONS options{};
    avi::AVICOMPRESSOPTIONS* optionList[1] = {&options};
    avi::AVIFileInit();
    bool written = false;
    {
        AviOutput output;
        output.narration = std::move(narration);
        const bool opened = OpenAvi(fileName, *frame, options, output);
        written = opened && FrameLoop(rect, output, std::move(frame), std::move(damage));
        avi::AVISaveOptionsFree(1, optionList);
    }
    avi::AVIFileExit();
    return written;
}

bool TScreenCam::OpenAvi(const std::string& fileName, FrameBlock& frame,
                         avi::AVICOMPRESSOPTIONS& options, AviOutput& output) {
    avi::PAVIFILE file = nullptr;
    const avi::HRESULT opened =
        avi::AVIFileOpen(&file, fileName.c_str(), avi::OF_CREATE | avi::OF_WRITE, nullptr);
    output.file.reset(file);
    if (opened != avi::AVIERR_OK) return false;

    avi::AVISTREAMINFO info{};
    info.fccType = vfw::streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = static_cast<std::uint32_t>(Settings.FramesPerSecond);
    if (output.narration) {
        const StreamRate exact = ExactVideoRate(Settings.MsPerFrame);
        info.dwRate = exact.rate;
        info.dwScale = exact.scale;
    }
    info.dwSuggestedBufferSize = frame.Header().biSizeImage;
    info.rcFrame = {0, 0, frame.Header().biWidth, frame.Header().biHeight};
    avi::PAVISTREAM stream = nullptr;
    const avi::HRESULT created = avi::AVIFileCreateStream(file, &stream, &info);
    output.stream.reset(stream);
    if (created != avi::AVIERR_OK) return false;

    options.fccType = vfw::streamtypeVIDEO;
    options.fccHandler = CompressorFourCC;
    options.dwKeyFrameEvery = static_cast<std::uint32_t>(Settings.KeyFrameEvery);
    options.dwQuality = static_cast<std::uint32_t>(Settings.Quality);
    options.dwFlags = avi::AVICOMPRESSF_KEYFRAMES | avi::AVICOMPRESSF_VALID;
    avi::PAVISTREAM compressed = nullptr;
    const avi::HRESULT made = avi::AVIMakeCompressedStream(&compressed, stream, &options, nullptr);
    output.compressed.reset(compressed);
    if (made != avi::AVIERR_OK) return false;
    // The sound's format goes in before the video's, which writes the headers.
    if (output.narration && !OpenSoundStream(output)) {
        output.narration.reset();
        ReportSound(SoundTrouble::inputLost);
    }
    return avi::AVIStreamSetFormat(compressed, 0, &frame.Header(),
                                   static_cast<std::int32_t>(frame.FormatSize())) == avi::AVIERR_OK;
}

bool TScreenCam::OpenSoundStream(AviOutput& output) {
    avi::AVISTREAMINFO info{};
    const avi::PcmFormat format = output.narration->Format();
    info.fccType = avi::streamtypeAUDIO;
    info.dwScale = format.BlockAlign();
    info.dwRate = format.BytesPerSecond();
    info.dwSampleSize = format.BlockAlign();
    avi::PAVISTREAM sound = nullptr;
    const avi::HRESULT created = avi::AVIFileCreateStream(output.file.get(), &sound, &info);
    output.sound.reset(sound);
    const auto wave = avi::WaveFormatBytes(format);
    return created == avi::AVIERR_OK &&
           avi::AVIStreamSetFormat(sound, 0, wave.data(), static_cast<std::int32_t>(wave.size())) ==
               avi::AVIERR_OK;
}

RecordOutcome TScreenCam::ReportFailure() {
    Notify(OnError);
    if (CompressorFourCC == kDefaultCompressor) {
        services_.Alert("Error", "Error Creating AVI file", mb::MB_ICONWARNING);
        return RecordOutcome::Failed;
    }
    const int answer = services_.Alert(
        "Notice", "Error recording AVI file using current compressor. Use default compressor? ",
        mb::MB_YESNO | mb::MB_ICONWARNING);
    if (answer == mb::IDYES) {
        CompressorFourCC = kDefaultCompressor;
        return RecordOutcome::RetryWithDefault;
    }
    return RecordOutcome::Failed;
}

}  // namespace engine
