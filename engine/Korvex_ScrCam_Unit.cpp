#include "engine/Korvex_ScrCam_Unit.h"

#include <algorithm>
#include <chrono>

#include "engine/CursorOverlay.h"
#include "engine/Korvex_VFW_Unit.h"
#include "engine/RecordTiming.h"
#include "engine/SizeAlignment.h"
#include "platform/avifile/avifile.h"
#include "platform/clock/clock.h"
#include "platform/msgbox/msgbox.h"

namespace engine {

namespace mb = platform::msgbox;
namespace avi = platform::avifile;
namespace vfw = platform::vfw;
using platform::screen::NativeImage;

namespace {

std::uint64_t MicrosSince(std::chrono::steady_clock::time_point start) {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
}

}  // namespace

TRecordAVIThread::TRecordAVIThread(TScreenCam& cam, std::string fileName, RecordingRegion& region)
    : cam_(cam), fileName_(std::move(fileName)), region_(region), thread_([this] { Run(); }) {}

TRecordAVIThread::~TRecordAVIThread() {
    if (thread_.joinable()) thread_.join();
}

void TRecordAVIThread::Run() {
    while (cam_.RecordAVI(region_, fileName_) == -1) {
    }
    // Copies first: once finished_ is set the engine may free this object at any moment.
    TScreenCam* cam = &cam_;
    TRecordAVIThread* self = this;
    std::weak_ptr<int> alive = cam_.alive_;
    auto post = cam_.services_.PostToMain;
    finished_ = true;
    // The engine may be gone by the time the GUI thread gets to this.
    post([cam, self, alive] {
        if (alive.lock()) cam->RecordingThreadDone(self);
    });
}

TScreenCam::TScreenCam(EngineServices services)
    : services_(std::move(services)), screen_(platform::screen::Screen::Open()) {
    if (!services_.LocalTimeMs) services_.LocalTimeMs = platform::clock::LocalTimeMs;
    if (screen_) {
        BitsPerPixel = screen_->BitsPerPixel();
        ScreenWidth = screen_->Width();
        ScreenHeight = screen_->Height();
    }
    FramesPerSecond = FramesPerSecondFor(MsPerFrame);
    KeyFrameEvery = 10 * FramesPerSecond;
}

TScreenCam::~TScreenCam() {
    Recording = false;
    workers_.clear();
}

void TScreenCam::StartRecording(RecordingRegion& region, const std::string& fileName) {
    if (Recording) return;
    Recording = true;
    workers_.push_back(std::make_unique<TRecordAVIThread>(*this, fileName, region));
    Thread = workers_.back().get();
}

void TScreenCam::StopRecording() {
    Recording = false;
}

void TScreenCam::RecordingThreadDone(TRecordAVIThread* worker) {
    // Only the current worker's end says the engine is idle: an older one may finish while
    // a newer recording runs.
    if (worker == Thread) {
        Recording = false;
        Thread = nullptr;
    }
    auto it = std::find_if(workers_.begin(), workers_.end(),
                           [worker](const auto& w) { return w.get() == worker; });
    if (it != workers_.end()) workers_.erase(it);
}

bool TScreenCam::WorkersFinished() const {
    return std::all_of(workers_.begin(), workers_.end(),
                       [](const auto& w) { return w->Finished(); });
}

void TScreenCam::UpdateCursor() {
    engine::UpdateCursor(Cursor);
}

void TScreenCam::TriggerEventCursor(int kind) {
    engine::TriggerEventCursor(Cursor, kind, services_.LocalTimeMs());
}

PFrame TScreenCam::BitmapToDib(const NativeImage* image, int width, int height, int bpp) {
    PFrame frame = FrameBlock::Allocate(width, height, bpp);
    if (!frame) return nullptr;
    const auto start = std::chrono::steady_clock::now();
    const bool converted = image != nullptr && screen_ &&
                           screen_->ToDib(*image, bpp, frame->Pixels(), frame->ColorTable());
    Costs.convertUs += MicrosSince(start);
    if (!converted) {
        frame->ClearPixels();
        if (!bitsErrorReported_.exchange(true)) {
            services_.Alert("Error", "Error retrieving bitmap bits", mb::MB_OK);
        }
    }
    // The conversion may not leave the colour count alone.
    frame->Header().biClrUsed = ColorsUsed(bpp);
    return frame;
}

PFrame TScreenCam::GrabFrame(int left, int top, int width, int height) {
    const auto start = std::chrono::steady_clock::now();
    NativeImage image;
    const bool captured = screen_ && screen_->Capture(left, top, width, height, image);
    Costs.grabUs += MicrosSince(start);
    Costs.grabs += 1;

    PFrame frame = BitmapToDib(captured ? &image : nullptr, width, height, BitsPerPixel);
    if (!frame) {
        services_.Alert("Error", "Error capturing a frame!", mb::MB_ICONWARNING);
        return nullptr;
    }

    // The image goes 10 pixels right of and below the top-left corner of the pointer's own
    // cursor image, whose hot spot sits at the pointer position.
    int x = 0, y = 0;
    if (screen_) {
        if (auto pointer = screen_->PointerPosition()) {
            x = pointer->x - left;
            y = pointer->y - top;
        }
        if (auto hot = screen_->CursorHotSpot()) {
            x -= hot->x;
            y -= hot->y;
        }
    }
    const int id = ChooseCursorImage(Cursor, services_.LocalTimeMs());
    BITMAPINFOHEADER& h = frame->Header();
    DibView view{frame->Pixels().data(), h.biWidth,    h.biHeight,
                 frame->Stride(),        h.biBitCount, frame->ColorTable()};
    DrawCursor(view, x + 10, y + 10, cursorImages_.Image(id));
    return frame;
}

void TScreenCam::SelectCompressor() {
    CompressorFourCC =
        ValidCompressorIndex() ? Codecs[CompressorIndex].fccHandler : kDefaultCompressor;
}

bool TScreenCam::FitFrameToCodec(vfw::HIC codec, int left, int top, int width, int height,
                                 PFrame& frame) {
    auto accepts = [&](int w, int h) {
        const BITMAPINFOHEADER& current = frame->Header();
        if (current.biWidth != w || current.biHeight != h) {
            FreeFrame(frame);
            frame = GrabFrame(left, top, w, h);
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
        frame = GrabFrame(left, top, width, height);
    }
    FrameWidth = width;
    FrameHeight = height;
    return false;
}

int TScreenCam::RecordAVI(RecordingRegion& region, const std::string& fileName) {
    const int left = region.RegionLeft();
    const int top = region.RegionTop();
    const int width = region.RegionWidth();
    const int height = region.RegionHeight();
    FrameWidth = width;
    FrameHeight = height;
    bitsErrorReported_ = false;

    if ((vfw::VideoForWindowsVersion() >> 16) < 0x010A) {
        services_.Alert("Error", "Failure: Video for Windows version too old!", mb::MB_ICONERROR);
        Notify(OnError);
        return 0;
    }

    PFrame frame = GrabFrame(left, top, width, height);
    if (!frame) {
        // The grab has told the user; there is nothing to record from.
        Notify(OnError);
        return 0;
    }

    // The chosen codec is tested against the frame and the size aligned to what it takes.
    bool defaultTested = false;
    if (CompressorIndex != -1) {
        vfw::CodecHandle codec;
        if (ValidCompressorIndex()) {
            codec.reset(vfw::ICOpen(Codecs[CompressorIndex].fccType,
                                    Codecs[CompressorIndex].fccHandler, vfw::ICMODE_QUERY));
        }
        if (!codec) {
            CompressorFourCC = kDefaultCompressor;
        } else {
            const bool fits = FitFrameToCodec(codec.get(), left, top, width, height, frame);
            if (!fits) CompressorFourCC = kDefaultCompressor;
            defaultTested = fits && Codecs[CompressorIndex].fccHandler == kDefaultCompressor;
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
        if (codec) FitFrameToCodec(codec.get(), left, top, width, height, frame);
    }
    if (!frame) {
        Notify(OnError);
        return 0;
    }
    const int recordWidth = FrameWidth;
    const int recordHeight = FrameHeight;

    bool failed = false;
    avi::PAVIFILE file = nullptr;
    avi::PAVISTREAM stream = nullptr;
    avi::PAVISTREAM compressed = nullptr;
    avi::AVICOMPRESSOPTIONS options{};
    avi::AVICOMPRESSOPTIONS* optionList[1] = {&options};

    avi::AVIFileInit();
    if (avi::AVIFileOpen(&file, fileName.c_str(), avi::OF_CREATE | avi::OF_WRITE, nullptr) !=
        avi::AVIERR_OK) {
        failed = true;
    }
    if (!failed) {
        avi::AVISTREAMINFO info{};
        info.fccType = vfw::streamtypeVIDEO;
        info.dwScale = 1;
        info.dwRate = static_cast<std::uint32_t>(FramesPerSecond);
        info.dwSuggestedBufferSize = frame->Header().biSizeImage;
        info.rcFrame = {0, 0, frame->Header().biWidth, frame->Header().biHeight};
        failed = avi::AVIFileCreateStream(file, &stream, &info) != avi::AVIERR_OK;
    }
    if (!failed) {
        options.fccType = vfw::streamtypeVIDEO;
        options.fccHandler = CompressorFourCC;
        options.dwKeyFrameEvery = static_cast<std::uint32_t>(KeyFrameEvery);
        options.dwQuality = static_cast<std::uint32_t>(Quality);
        options.dwFlags = avi::AVICOMPRESSF_KEYFRAMES | avi::AVICOMPRESSF_VALID;
        failed =
            avi::AVIMakeCompressedStream(&compressed, stream, &options, nullptr) != avi::AVIERR_OK;
    }
    if (!failed) {
        failed = avi::AVIStreamSetFormat(compressed, 0, &frame->Header(),
                                         static_cast<std::int32_t>(frame->FormatSize())) !=
                 avi::AVIERR_OK;
    }
    FreeFrame(frame);

    if (!failed) {
        const std::uint32_t slice = SleepSlice(MsPerFrame);
        Notify(OnStart);
        std::uint32_t lastWrite = 0;
        std::uint32_t lastStatus = 0;
        std::int32_t lastIndex = 0;
        FramesWritten = 0;
        LastFrameInterval = 0;
        DroppedFrames = 0;
        StartTick = platform::clock::TickMs();

        while (Recording) {
            // Unsigned difference: the tick's wrap-around does no harm.
            const std::uint32_t elapsed = platform::clock::TickMs() - StartTick;
            PFrame current = GrabFrame(left, top, recordWidth, recordHeight);
            if (!current) break;
            FrameIndex = FrameIndexFor(elapsed, MsPerFrame);
            DroppedFrames += SkippedPositions(FrameIndex, lastIndex);
            if (ShouldWriteFrame(FrameIndex, lastIndex, FramesWritten)) {
                const auto start = std::chrono::steady_clock::now();
                const auto pixels = current->Pixels();
                const avi::HRESULT written = avi::AVIStreamWrite(
                    compressed, FrameIndex, 1, pixels.data(),
                    static_cast<std::int32_t>(current->Header().biSizeImage), 0, nullptr, nullptr);
                Costs.writeUs += MicrosSince(start);
                if (written != avi::AVIERR_OK) {
                    failed = true;
                    break;
                }
                FramesWritten += 1;
                LastFrameInterval = static_cast<double>(elapsed - lastWrite);
                lastWrite = elapsed;
                lastIndex = FrameIndex;
            }
            FreeFrame(current);

            if (StatusNoticeDue(elapsed, lastStatus)) {
                lastStatus = elapsed;
                Notify(OnStatus);
            }

            const std::uint32_t spent =
                SpentInPeriod(platform::clock::TickMs() - StartTick, FrameIndex, MsPerFrame);
            const SleepPlan plan = PlanSleep(spent, MsPerFrame);
            for (std::uint32_t i = 0; i < plan.slices && Recording; ++i) {
                platform::clock::SleepMs(slice);
            }
            if (Recording && plan.rest > 0) platform::clock::SleepMs(plan.rest);
        }
        Notify(OnStop);
    }

    avi::AVISaveOptionsFree(1, optionList);
    if (file) avi::AVIFileRelease(file);
    if (stream) avi::AVIStreamRelease(stream);
    if (compressed) avi::AVIStreamRelease(compressed);
    avi::AVIFileExit();

    if (!failed) return 1;
    Notify(OnError);
    if (CompressorFourCC == kDefaultCompressor) {
        services_.Alert("Error", "Error Creating AVI file", mb::MB_ICONWARNING);
        return 0;
    }
    const int answer = services_.Alert(
        "Notice", "Error recording AVI file using current compressor. Use default compressor? ",
        mb::MB_YESNO | mb::MB_ICONWARNING);
    if (answer == mb::IDYES) {
        CompressorFourCC = kDefaultCompressor;
        return -1;
    }
    return 0;
}

}  // namespace engine
