// The recording engine: TScreenCam holds the recording settings, the codec catalogue and the
// cursor state, and records a screen rectangle into an AVI file on a worker thread
// (TRecordAVIThread). The GUI thread owns the engine and calls everything but RecordAVI.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/CursorImages.h"
#include "engine/CursorOverlay.h"
#include "engine/CursorState.h"
#include "engine/FrameBlock.h"
#include "engine/FrameQueue.h"
#include "engine/RecordingRegion.h"
#include "platform/avifile/avifile.h"
#include "platform/screen/screen.h"
#include "platform/vfw/vfw.h"
#include "settings/Settings.h"

namespace engine {

using platform::vfw::FOURCC;

constexpr FOURCC kDefaultCompressor = platform::vfw::mmioFOURCC('M', 'S', 'V', 'C');
constexpr int kMaxCodecs = 32;

// Why a recording that should have had sound goes on without it (or without more of it).
enum class SoundTrouble { noServer, noInput, inputLost };

// What the engine needs from the program around it.
struct EngineServices {
    // Shows a message box with no owner window and waits for the answer (an IDOK.. value).
    // Called from the recording worker.
    std::function<int(const std::string& caption, const std::string& text, unsigned style)> Alert;
    // Runs fn later on the GUI thread. Called from the recording worker.
    std::function<void(std::function<void()> fn)> PostToMain;
    // Local time in milliseconds, for the age of click and key marks.
    std::function<std::int64_t()> LocalTimeMs;
    // Where frames come from; the X display's root window when none is given.
    std::shared_ptr<platform::screen::CaptureSource> Screen;
    // Tells the user, without waiting for an answer, that the recording goes on without sound.
    // Called from the recording worker.
    std::function<void(SoundTrouble trouble)> TellSoundTrouble;
};

// Per-frame costs of the latest recording, for benchmarks.
struct FrameCosts {
    std::atomic<std::uint64_t> grabUs{0};
    std::atomic<std::uint64_t> convertUs{0};
    std::atomic<std::uint64_t> writeUs{0};  // compression and writing
    std::atomic<std::uint32_t> grabs{0};
};

class TScreenCam;
class Narration;

// How a recording attempt ended. RetryWithDefault: it failed and the user chose the default
// compressor, so the worker records again.
enum class RecordOutcome { Recorded, Failed, RetryWithDefault };

class TRecordAVIThread {
public:
    // Starts the worker at once; it runs RecordAVI until that stops asking for another go.
    TRecordAVIThread(TScreenCam& cam, std::string fileName, RecordingRegion& region);
    ~TRecordAVIThread();  // joins
    TRecordAVIThread(const TRecordAVIThread&) = delete;
    TRecordAVIThread& operator=(const TRecordAVIThread&) = delete;

    bool Finished() const { return finished_; }

private:
    void Run();

    TScreenCam& cam_;
    std::string fileName_;
    RecordingRegion& region_;
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

class TScreenCam {
public:
    using Notification = std::function<void(TScreenCam& sender)>;

    // Reads the screen's depth and size and loads the cursor images.
    explicit TScreenCam(EngineServices services);
    // Stops and joins every worker. Callers on the GUI thread first let running workers finish
    // (WorkersFinished) while serving events, since a worker may wait for a message box.
    ~TScreenCam();
    TScreenCam(const TScreenCam&) = delete;
    TScreenCam& operator=(const TScreenCam&) = delete;

    int BitsPerPixel = 0;
    std::atomic<FOURCC> CompressorFourCC{kDefaultCompressor};
    std::atomic<bool> Recording{false};
    int ScreenWidth = 0;
    int ScreenHeight = 0;
    std::atomic<std::uint32_t> StartTick{0};
    std::atomic<double> LastFrameInterval{0};
    std::atomic<std::int32_t> DroppedFrames{0};
    std::atomic<std::int32_t> FrameIndex{0};
    std::atomic<std::int32_t> FramesWritten{0};
    std::atomic<std::int32_t> FrameWidth{0};
    std::atomic<std::int32_t> FrameHeight{0};
    // Called on the recording worker.
    Notification OnStatus, OnStart, OnStop, OnError;
    // The worker of the current recording; null when idle.
    TRecordAVIThread* Thread = nullptr;
    // Read by the recording worker; changed through AdoptSettings while no recording runs.
    app::EngineSettings Settings;
    int CodecCount = 0;
    std::array<platform::vfw::ICINFO, kMaxCodecs> Codecs{};
    CursorState Cursor;
    FrameCosts Costs;

    // Begins a recording of region into fileName (a full path) unless one runs. GUI thread.
    void StartRecording(RecordingRegion& region, const std::string& fileName);
    // Asks the worker to stop and returns at once. GUI thread.
    void StopRecording();
    // The end of a worker, on the GUI thread: joins it; the current worker's end returns the
    // engine to idle, an older worker's end changes nothing else.
    void RecordingThreadDone(TRecordAVIThread* worker);
    // True when no worker is alive any more.
    bool WorkersFinished() const;

    // Records region into fileName until Recording is cleared, then closes the file. Recording
    // worker.
    RecordOutcome RecordAVI(RecordingRegion& region, const std::string& fileName);

    // A frame of the rectangle with the cursor drawn in; null on failure (reported).
    PFrame GrabFrame(int left, int top, int width, int height);

    // Takes over settings, the cursor highlight included. GUI thread.
    void AdoptSettings(const app::EngineSettings& settings);
    void UpdateCursor();
    void TriggerEventCursor(int kind);

    // Derives CompressorFourCC from Settings.CompressorIndex: the chosen entry's handler, or 'MSVC'
    // when none is chosen or the index is no catalogue position.
    void SelectCompressor();
    // Rebuilds the catalogue from the installed codecs that take a real test frame.
    void EnumerateCodecs();
    // The about box of the codec at index, owned by parent (a QWidget* as an integer).
    void ShowCodecAbout(int index, std::intptr_t parent);
    struct CodecDialogs {
        bool about = false;
        bool configure = false;
    };
    CodecDialogs QueryCodecDialogs(int index);

private:
    friend class TRecordAVIThread;

    // A frame block at bpp holding the captured image's pixels; a black one (reported) when
    // there is no image or it cannot be converted; null when the memory cannot be had.
    PFrame BitmapToDib(const platform::screen::NativeImage* image, int width, int height, int bpp);
    // GrabFrame without the cursor; null (reported) on failure.
    PFrame GrabPicture(int left, int top, int width, int height);
    // Where the cursor image goes in a frame at (left, top); none when the pointer is unknown.
    std::optional<FramePoint> CursorCorner(int left, int top);
    // Sleeps ms, or less when the recording is stopped meanwhile. Recording worker.
    void WaitUnlessStopped(std::uint32_t ms);
    // Clears Recording and wakes the worker from its wait.
    void EndRecording();
    void Notify(const Notification& n) {
        if (n) n(*this);
    }
    bool ValidCompressorIndex() const {
        return Settings.CompressorIndex >= 0 && Settings.CompressorIndex < CodecCount;
    }
    // The steps of RecordAVI. Each owns what it opens.
    struct AviOutput;
    struct Block;
    struct QueuedFrame;
    struct CursorMark;
    // Chooses the codec for the first frame and aligns FrameWidth and FrameHeight to what it
    // takes; the frame at that size, or null when a regrab failed.
    PFrame QueryAndAlign(const CaptureRect& rect, PFrame frame);
    // Tests the codec against the current frame and aligns the size; false when refused at
    // every size, with frame regrabbed at the region's own size.
    bool FitFrameToCodec(platform::vfw::HIC codec, const CaptureRect& rect, PFrame& frame);
    // Opens the file, starts its stream with frame's format and runs the frame loop from frame's
    // picture and the damage watched since it was grabbed; the file is finished on return. True
    // when every frame was written.
    bool WriteAvi(const std::string& fileName, const CaptureRect& rect, PFrame frame,
                  std::unique_ptr<platform::screen::DamageWatcher> damage,
                  std::unique_ptr<Narration> narration);
    bool OpenAvi(const std::string& fileName, FrameBlock& frame,
                 platform::avifile::AVICOMPRESSOPTIONS& options, AviOutput& output);
    // The capture of the microphone when it is to be recorded; null (reported) when it cannot
    // be had.
    std::unique_ptr<Narration> OpenNarration();
    void ReportSound(SoundTrouble trouble);
    // Adds the sound stream with the narration's format; false when the file refused it.
    bool OpenSoundStream(AviOutput& output);
    // Grabs on this thread and compresses and writes on a second one, a few frames apart;
    // true when every frame (and the sound) was written.
    bool FrameLoop(const CaptureRect& rect, AviOutput& output, PFrame first,
                   std::unique_ptr<platform::screen::DamageWatcher> damage);
    // The second thread: writes the queued frames in order, each after the sound captured so
    // far, until the queue closes; false, with the queue closed, at the first write that fails.
    bool WriteFrames(AviOutput& output, FrameQueue<QueuedFrame>& queue, FrameQueue<Block>& spare);
    // The cursor image's place and picture for a frame at (left, top) now.
    CursorMark CursorNow(int left, int top);
    // "Error retrieving bitmap bits", once per recording.
    void ReportUnreadable();
    // Tells the user and asks about the default compressor.
    RecordOutcome ReportFailure();

    EngineServices services_;
    std::shared_ptr<platform::screen::CaptureSource> screen_;
    CursorImages cursorImages_;
    std::vector<std::unique_ptr<TRecordAVIThread>> workers_;
    // The worker's wait between passes, cut short by EndRecording.
    std::mutex stopMutex_;
    std::condition_variable stopWake_;
    // "Error retrieving bitmap bits" comes once per recording, not with every frame.
    std::atomic<bool> bitsErrorReported_{false};
    // Lets completions posted by workers find out whether the engine still exists.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace engine
