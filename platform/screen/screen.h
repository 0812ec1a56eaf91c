// The screen stand-in: the X display's root window as the screen device context. Captures a
// rectangle (MIT-SHM, plain GetImage as fall-back) and converts it into DIB layout at the
// screen's own bits per pixel, and tells the pointer position and the current cursor's hot spot.
// A Screen holds its own X connection; its operations are serialised, so the recording worker
// and the GUI thread may share one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace platform::screen {

struct Point {
    int x = 0;
    int y = 0;
};

// A captured rectangle in the server's own pixel format (the "device-dependent bitmap").
// Valid until the next Capture on the same Screen, or until the Screen is gone.
struct NativeImage {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;   // of the server's pixmap format: 32, 24, 16 or 8
    std::size_t stride = 0; // bytes per row, top-down
    const std::uint8_t* data = nullptr;
    std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;  // of the root visual (true colour)
};

class Screen {
public:
    // Connects to $DISPLAY; null when there is no display.
    static std::unique_ptr<Screen> Open();
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    // BITSPIXEL: bits per pixel of the root depth's pixmap format (32 at depth 24, 16 at 16,
    // 8 at 8).
    int BitsPerPixel() const;
    // HORZRES / VERTRES: the primary monitor (RandR), else the root window.
    int Width() const;
    int Height() const;
    // The virtual desktop: the root window.
    int VirtualWidth() const;
    int VirtualHeight() const;

    // BitBlt: copies the rectangle of the root window; parts outside it come out black.
    // False when the server refused the copy.
    bool Capture(int left, int top, int width, int height, NativeImage& image);

    // GetDIBits: converts a captured image into DIB rows (bottom-up, DIB stride) at
    // bitsPerPixel 32 (BGRX), 24 (BGR), 16 (RGB555) or 8 (indices). At 8 bits the colour table
    // (256 BGRX entries) is read from the root colormap into colorTable. False when the
    // destination is too small or the conversion is not possible.
    bool ToDib(const NativeImage& image, int bitsPerPixel, std::span<std::uint8_t> pixels,
               std::span<std::uint32_t> colorTable);

    // GetCursorPos.
    std::optional<Point> PointerPosition();
    // The hot spot of the pointer's current cursor image (XFixes); none when it cannot be read.
    std::optional<Point> CursorHotSpot();

private:
    struct Impl;
    explicit Screen(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// DIB stride in bytes for a width at bits per pixel: ((w * bpp + 31) / 32) * 4, 64-bit safe.
constexpr std::size_t DibStride(std::int64_t width, int bitsPerPixel) {
    return static_cast<std::size_t>(((width * bitsPerPixel + 31) / 32) * 4);
}

}  // namespace platform::screen
