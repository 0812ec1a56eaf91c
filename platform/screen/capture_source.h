// What the recorder asks of a screen: pixels of a rectangle in DIB layout, the pointer and the
// current cursor's hot spot. The X server's root window (Screen) and the desktop's ScreenCast
// stream (platform/screencast) both answer it. Implementations serialise their own operations,
// so the recording worker and the GUI thread may share one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "platform/screen/damage.h"
#include "platform/screen/dib.h"

namespace platform::screen {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

class CaptureSource {
public:
    virtual ~CaptureSource() = default;

    // BITSPIXEL: the depth every frame is grabbed at.
    virtual int BitsPerPixel() const = 0;
    // HORZRES / VERTRES: the primary monitor in the coordinates of Capture.
    virtual int Width() const = 0;
    virtual int Height() const = 0;

    // BitBlt: copies the rectangle into image; parts outside the screen come out black. The
    // pixels belong to the source and stay valid until its next Capture. False when there is
    // nothing to copy.
    virtual bool Capture(int left, int top, int width, int height, NativeImage& image) = 0;
    // GetDIBits: converts a captured image into DIB rows (bottom-up) at bitsPerPixel; at 8 bits
    // colorTable (256 entries) receives the colours. False when that is not possible.
    virtual bool ToDib(const NativeImage& image, int bitsPerPixel, std::span<std::uint8_t> pixels,
                       std::span<std::uint32_t> colorTable) = 0;

    // GetCursorPos: the pointer in the coordinates of Capture; none when unknown.
    virtual std::optional<Point> PointerPosition() = 0;
    // The hot spot of the pointer's current cursor image; none when it cannot be read.
    virtual std::optional<Point> CursorHotSpot() = 0;

    // What tells which parts of this source's picture changed; none when the source cannot
    // tell, and then every frame is grabbed whole. The watcher must not outlive the source.
    virtual std::unique_ptr<DamageWatcher> WatchDamage() { return nullptr; }
};

}  // namespace platform::screen
