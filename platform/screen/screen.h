// The screen stand-in: the X display's root window as the screen device context. Captures a
// rectangle (MIT-SHM, plain GetImage as fall-back) and converts it into DIB layout at the
// screen's own bits per pixel, and tells the pointer position and the current cursor's hot spot.
// A Screen holds its own X connection; its operations are serialised, so the recording worker
// and the GUI thread may share one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "platform/screen/capture_source.h"
#include "platform/screen/dib.h"

namespace platform::screen {

class Screen : public CaptureSource {
    struct Impl;
    struct Key {};

public:
    // Connects to $DISPLAY; null when there is no display. Any thread.
    static std::unique_ptr<Screen> Open();
    // Only through Open.
    Screen(Key, std::unique_ptr<Impl> impl);
    ~Screen() override;
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    // The root window's damage, on a connection of its own.
    std::unique_ptr<DamageWatcher> WatchDamage() override { return RootDamageWatcher::Open(); }

    // BITSPIXEL: bits per pixel of the root depth's pixmap format (32 at depth 24, 16 at 16,
    // 8 at 8).
    int BitsPerPixel() const override;
    // HORZRES / VERTRES: the primary monitor (RandR), else the first active CRTC, else the root
    // window. Follows changes of the monitor layout.
    int Width() const override;
    int Height() const override;
    // The virtual desktop: the root window, as it is now.
    int VirtualWidth() const;
    int VirtualHeight() const;

    // BitBlt: copies the rectangle of the root window into image; parts outside the root window
    // come out black. The pixels belong to this Screen and stay valid until its next Capture.
    // False for an empty rectangle or when the server refused the copy.
    bool Capture(int left, int top, int width, int height, NativeImage& image) override;

    // GetDIBits: converts a captured image into DIB rows (bottom-up, DIB stride) at
    // bitsPerPixel 32 (BGRX), 24 (BGR), 16 (RGB555) or 8 (indices). At 8 bits colorTable (256
    // BGRX entries) receives the root colormap as it was at the image's Capture. False when the
    // destination is too small or the conversion is not possible.
    bool ToDib(const NativeImage& image, int bitsPerPixel, std::span<std::uint8_t> pixels,
               std::span<std::uint32_t> colorTable) override;

    // GetCursorPos: the pointer in root coordinates; none when it is on another screen.
    std::optional<Point> PointerPosition() override;
    // The hot spot of the pointer's current cursor image (XFixes); none when it cannot be read.
    std::optional<Point> CursorHotSpot() override;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::screen
