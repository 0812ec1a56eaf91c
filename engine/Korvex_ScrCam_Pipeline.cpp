// The frame loop on two threads. This worker keeps the region's picture up to date from the
// screen's damage, draws the cursor into a copy, works out the stream position and queues the
// frame; a second thread compresses and writes the queued frames in their order. The queue
// holds two frames, so that one slow frame does not cost the next position; when it is full the
// grab waits, and the positions that passes in the meantime are counted as dropped.
#include <algorithm>
#include <chrono>
#include <deque>
#include <thread>

#include "engine/AviOutput.h"
#include "engine/DamageRows.h"
#include "engine/Korvex_ScrCam_Unit.h"
#include "engine/LivePicture.h"
#include "engine/RecordTiming.h"
#include "engine/SoundTiming.h"
#include "platform/avifile/avifile.h"
#include "platform/clock/clock.h"
#include "platform/msgbox/msgbox.h"

namespace engine {

namespace avi = platform::avifile;

namespace {

constexpr std::size_t kQueuedFrames = 2;
// Blocks in use at once: the queued ones, the one written last and the one being filled.
constexpr std::size_t kFrameBlocks = kQueuedFrames + 2;
// Frames back to which a block is brought up to date by the rows changed since; an older block
// is copied whole.
constexpr std::size_t kHistory = 64;
// How long it takes to read the whole picture afresh, band by band, to heal what the damage may
// have missed.
constexpr int kHealMs = 5000;

}  // namespace

// A frame block and the number of the queued frame whose picture it holds (-1: none).
struct TScreenCam::Block {
    PFrame frame;
    std::int32_t picture = -1;
};

// One frame on its way to the file.
struct TScreenCam::QueuedFrame {
    std::int32_t index = 0;
    std::uint32_t elapsed = 0;
    Block block;                   // no frame: the frame written before, again
    bool first = false;            // the first frame: nothing to compare it with
    std::vector<RowSpan> changed;  // else the rows that differ from the frame queued before
};

struct TScreenCam::CursorMark {
    std::optional<FramePoint> corner;  // none: no cursor drawn
    int image = 0;
    bool operator==(const CursorMark&) const = default;
};

TScreenCam::CursorMark TScreenCam::CursorNow(int left, int top) {
    CursorMark mark{CursorCorner(left, top), 0};
    if (mark.corner) mark.image = ChooseCursorImage(Cursor, services_.LocalTimeMs());
    return mark;
}

bool TScreenCam::FrameLoop(const CaptureRect& rect, AviOutput& output, PFrame first,
                           std::unique_ptr<platform::screen::DamageWatcher> damage) {
    Narration* narration = output.narration.get();
    const int msPerFrame = Settings.MsPerFrame;
    Notify(OnStart);
    LivePicture picture(*screen_, std::move(damage), rect, BitsPerPixel,
                        std::max(1, kHealMs / msPerFrame), std::move(first),
                        [this] { ReportUnreadable(); });
    if (!picture.Valid()) {
        // As a failed grab: told, and the recording ends with what it has.
        services_.Alert("Error", "Error capturing a frame!", platform::msgbox::MB_ICONWARNING);
        Notify(OnStop);
        return true;
    }
    FramesWritten = 0;
    LastFrameInterval = 0;
    DroppedFrames = 0;
    FrameQueue<QueuedFrame> queue(kQueuedFrames);
    FrameQueue<Block> spare(kFrameBlocks);
    std::deque<std::vector<RowSpan>> history;  // each queued frame's changed rows, latest last
    bool written = true;
    std::thread writer([&] { written = WriteFrames(output, queue, spare); });

    StartTick = platform::clock::TickMs();
    if (narration) narration->Begin(std::chrono::steady_clock::now());
    std::uint32_t lastStatus = 0;
    std::int32_t lastIndex = 0;
    std::int32_t queued = 0;
    CursorMark lastCursor;
    const auto rowsOf = [&](const CursorMark& m) {
        return CursorRows(m.corner ? std::optional(m.corner->y) : std::nullopt, kCursorSize,
                          rect.height);
    };
    while (Recording && !queue.Closed()) {
        // Unsigned difference: the tick's wrap-around does no harm.
        const std::uint32_t elapsed = platform::clock::TickMs() - StartTick;
        const LivePicture::Cost cost = picture.Update();
        Costs.grabUs += cost.grabUs;
        Costs.convertUs += cost.convertUs;
        Costs.grabs += 1;
        const CursorMark cursor = CursorNow(rect.left, rect.top);
        FrameIndex = FrameIndexFor(elapsed, msPerFrame);
        DroppedFrames += SkippedPositions(FrameIndex, lastIndex);
        if (ShouldWriteFrame(FrameIndex, lastIndex, queued)) {
            QueuedFrame next{FrameIndex, elapsed, {}, queued == 0, picture.TakeChanged()};
            // The cursor is drawn into each frame: where it was and where it is now changed.
            if (cursor != lastCursor) {
                next.changed =
                    UniteRows(next.changed, UniteRows(rowsOf(lastCursor), rowsOf(cursor)));
            }
            history.push_back(next.changed);
            if (history.size() > kHistory) history.pop_front();
            if (next.first || !next.changed.empty()) {
                std::optional<Block> reused = spare.TryPop();
                next.block =
                    reused ? std::move(*reused)
                           : Block{FrameBlock::Allocate(rect.width, rect.height, BitsPerPixel), -1};
                if (!next.block.frame) {
                    services_.Alert("Error", "Error capturing a frame!",
                                    platform::msgbox::MB_ICONWARNING);
                    break;
                }
                // The rows that changed since the block's picture, and where the cursor goes:
                // it is drawn afresh over rows taken from the picture.
                const std::int32_t behind = queued - next.block.picture;
                std::vector<RowSpan> stale{{0, rect.height}};
                if (next.block.picture >= 0 &&
                    behind <= static_cast<std::int32_t>(history.size())) {
                    stale.clear();
                    for (auto it = history.end() - behind; it != history.end(); ++it) {
                        stale = UniteRows(stale, *it);
                    }
                    stale = UniteRows(stale, rowsOf(cursor));
                }
                FrameBlock& frame = *next.block.frame;
                frame.CopyRows(picture.Picture(), stale);
                if (cursor.corner) {
                    BITMAPINFOHEADER& h = frame.Header();
                    DrawCursor({frame.Pixels().data(), h.biWidth, h.biHeight, frame.Stride(),
                                h.biBitCount, frame.ColorTable()},
                               cursor.corner->x, cursor.corner->y,
                               cursorImages_.Image(cursor.image));
                }
                next.block.picture = queued;
            }
            if (!queue.Push(std::move(next))) break;
            lastIndex = FrameIndex;
            lastCursor = cursor;
            ++queued;
        }
        if (StatusNoticeDue(elapsed, lastStatus)) {
            lastStatus = elapsed;
            Notify(OnStatus);
        }
        const std::uint32_t spent =
            SpentInPeriod(platform::clock::TickMs() - StartTick, FrameIndex, msPerFrame);
        WaitUnlessStopped(WaitAfterPass(spent, msPerFrame));
    }
    queue.Close();
    writer.join();
    // The sound lasts as long as the frames: up to the end of the last position's period.
    if (narration && written) {
        const std::int64_t positions = queued > 0 ? lastIndex + 1 : 0;
        written = narration->WriteEnd(
            output.sound.get(),
            SoundSamplesFor(positions, msPerFrame, narration->Format().samplesPerSec));
    }
    Notify(OnStop);
    return written;
}

bool TScreenCam::WriteFrames(AviOutput& output, FrameQueue<QueuedFrame>& queue,
                             FrameQueue<Block>& spare) {
    avi::PAVISTREAM compressed = output.compressed.get();
    Narration* narration = output.narration.get();
    Block shown;  // the frame written last
    std::uint32_t lastWrite = 0;
    bool lostReported = false;
    while (std::optional<QueuedFrame> next = queue.Pop()) {
        // The sound so far goes before the frame, so that the frame's checkpoint covers it.
        if (narration) {
            if (!narration->WriteCaptured(output.sound.get())) {
                queue.Close();
                return false;
            }
            if (narration->Lost() && !lostReported) {
                lostReported = true;
                ReportSound(SoundTrouble::inputLost);
            }
        }
        if (next->block.frame) {
            if (shown.frame) spare.Push(std::move(shown));
            shown = std::move(next->block);
        }
        const auto start = std::chrono::steady_clock::now();
        if (!next->first) avi::AVIStreamChangedRows(compressed, next->changed);
        const auto pixels = shown.frame->Pixels();
        const avi::HRESULT result = avi::AVIStreamWrite(
            compressed, next->index, 1, pixels.data(),
            static_cast<std::int32_t>(shown.frame->Header().biSizeImage), 0, nullptr, nullptr);
        Costs.writeUs += MicrosSince(start);
        if (result != avi::AVIERR_OK) {
            queue.Close();
            return false;
        }
        FramesWritten += 1;
        LastFrameInterval = static_cast<double>(next->elapsed - lastWrite);
        lastWrite = next->elapsed;
    }
    return true;
}

}  // namespace engine
