#include "engine/Korvex_ScrCam_Unit.h"

#include <algorithm>
#include <chrono>

#include "engine/CursorOverlay.h"
#include "engine/RecordTiming.h"
#include "platform/clock/clock.h"
#include "platform/msgbox/msgbox.h"

namespace engine {

namespace mb = platform::msgbox;
namespace avi = platform::avifile;
namespace vfw = platform::vfw;
using platform::screen::NativeImage;

TRecordAVIThread::TRecordAVIThread(TScreenCam& cam, std::string fileName, RecordingRegion& region)
    : cam_(cam), fileName_(std::move(fileName)), region_(region), thread_([this] { Run(); }) {}

TRecordAVIThread::~TRecordAVIThread() {
    if (thread_.joinable()) thread_.join();
}

void TRecordAVIThread::Run() {
    while (cam_.RecordAVI(region_, fileName_) == RecordOutcome::RetryWithDefault) {
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
    : services_(std::move(services)), screen_(services_.Screen) {
    if (!screen_) screen_ = platform::screen::Screen::Open();
    if (!services_.LocalTimeMs) services_.LocalTimeMs = platform::clock::LocalTimeMs;
    if (screen_) {
        BitsPerPixel = screen_->BitsPerPixel();
        ScreenWidth = screen_->Width();
        ScreenHeight = screen_->Height();
    }
}

TScreenCam::~TScreenCam() {
    EndRecording();
    workers_.clear();
}

void TScreenCam::StartRecording(RecordingRegion& region, const std::string& fileName) {
    if (Recording) return;
    Recording = true;
    workers_.push_back(std::make_unique<TRecordAVIThread>(*this, fileName, region));
    Thread = workers_.back().get();
}

void TScreenCam::StopRecording() {
    EndRecording();
}

void TScreenCam::EndRecording() {
    {
        // Under the lock, so that a worker between its look at the flag and its wait still
        // gets the wake-up.
        const std::lock_guard lock(stopMutex_);
        Recording = false;
    }
    stopWake_.notify_all();
}

void TScreenCam::WaitUnlessStopped(std::uint32_t ms) {
    std::unique_lock lock(stopMutex_);
    stopWake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !Recording; });
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

void TScreenCam::AdoptSettings(const app::EngineSettings& settings) {
    Settings = settings;
    Cursor.HighlightCursor = settings.HighlightCursor;
    UpdateCursor();
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
        ReportUnreadable();
    }
    // The conversion may not leave the colour count alone.
    frame->Header().biClrUsed = ColorsUsed(bpp);
    return frame;
}

void TScreenCam::ReportUnreadable() {
    if (!bitsErrorReported_.exchange(true)) {
        services_.Alert("Error", "Error retrieving bitmap bits", mb::MB_OK);
    }
}

std::optional<FramePoint> TScreenCam::CursorCorner(int left, int top) {
    if (!screen_) return std::nullopt;
    auto toFrame = [](std::optional<platform::screen::Point> p) -> std::optional<FramePoint> {
        if (!p) return std::nullopt;
        return FramePoint{p->x, p->y};
    };
    return CursorImageCorner(toFrame(screen_->PointerPosition()), toFrame(screen_->CursorHotSpot()),
                             left, top);
}

PFrame TScreenCam::GrabFrame(int left, int top, int width, int height) {
    PFrame frame = GrabPicture(left, top, width, height);
    if (!frame) return nullptr;
    const auto corner = CursorCorner(left, top);
    if (!corner) return frame;
    const int id = ChooseCursorImage(Cursor, services_.LocalTimeMs());
    BITMAPINFOHEADER& h = frame->Header();
    DibView view{frame->Pixels().data(), h.biWidth,    h.biHeight,
                 frame->Stride(),        h.biBitCount, frame->ColorTable()};
    DrawCursor(view, corner->x, corner->y, cursorImages_.Image(id));
    return frame;
}

PFrame TScreenCam::GrabPicture(int left, int top, int width, int height) {
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
    return frame;
}

void TScreenCam::SelectCompressor() {
    CompressorFourCC =
        ValidCompressorIndex() ? Codecs[Settings.CompressorIndex].fccHandler : kDefaultCompressor;
}

}  // namespace engine
