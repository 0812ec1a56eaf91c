// The screen of a Wayland session: frames from the desktop's ScreenCast stream once one has been
// attached, the XWayland screen (where the program's own windows live) before. Coordinates
// are the XWayland screen's throughout, so the region frame's rectangle is what is recorded
// wherever the shared monitor lies and however it is scaled.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/screen/capture_source.h"
#include "platform/screen/screen.h"
#include "platform/screencast/pipewire_stream.h"
#include "platform/screencast/stream_image.h"

namespace platform::screencast {

// Where the portal says the stream lies; either may be missing.
struct StreamPlace {
    std::optional<Point> position;
    std::optional<Size> size;
};

class PortalScreen : public screen::CaptureSource {
public:
    // xwayland: the X screen the windows run on; may be null (no pointer, no fall-back frames).
    explicit PortalScreen(std::unique_ptr<screen::Screen> xwayland);
    ~PortalScreen() override;
    PortalScreen(const PortalScreen&) = delete;
    PortalScreen& operator=(const PortalScreen&) = delete;

    // Frames come from stream from now on. Any thread.
    void Attach(std::unique_ptr<PipeWireStream> stream, const StreamPlace& place);
    // The stream is handed back for the caller to end. Its last frame stays the picture until
    // the next Attach, so that a recording being finished never shows anything else. Any thread.
    std::unique_ptr<PipeWireStream> Detach();

    int BitsPerPixel() const override;
    int Width() const override;
    int Height() const override;
    bool Capture(int left, int top, int width, int height, screen::NativeImage& image) override;
    bool ToDib(const screen::NativeImage& image, int bitsPerPixel, std::span<std::uint8_t> pixels,
               std::span<std::uint32_t> colorTable) override;
    std::optional<Point> PointerPosition() override;
    std::optional<Point> CursorHotSpot() override;
    // The attached stream's damage on the screen, when its desktop sends it; none before a
    // stream is attached or when it sends none. The watcher answers "everything" once that
    // stream is no longer the one attached.
    std::unique_ptr<screen::DamageWatcher> WatchDamage() override;

private:
    class Damage;

    // The damage of the stream attached as number attachment, on the screen.
    std::optional<std::vector<screen::DamageRect>> TakeDamage(std::uint64_t attachment);
    Placement PlacementNow() const;
    // Cuts the rectangle out of frame into image.
    bool CutInto(const StreamFrame& frame, int left, int top, int width, int height,
                 screen::NativeImage& image);
    // The stream's cursor on the screen: its position, or its hot spot when hotSpot is set.
    std::optional<Point> StreamCursorPoint(bool hotSpot);

    std::unique_ptr<screen::Screen> xwayland_;
    mutable std::mutex mutex_;  // guards everything below
    std::unique_ptr<PipeWireStream> stream_;
    std::uint64_t attachment_ = 0;  // counts Attach and Detach
    StreamPlace place_;
    std::vector<std::uint8_t> still_;  // the last stream's last frame, after Detach
    StreamFrame stillFrame_;
    std::vector<std::uint8_t> cut_;  // the latest Capture's pixels from the stream
    bool lastFromStream_ = false;
};

}  // namespace platform::screencast
