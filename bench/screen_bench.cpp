// Prints how long capturing a rectangle and converting it into DIB rows take on the current
// display ($DISPLAY), at the screen's own bits per pixel.
//   korvex_screen_bench [frames]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/screen/screen.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 100;
    if (frames <= 0) {
        std::fprintf(stderr, "usage: %s [frames]\n", argv[0]);
        return 2;
    }
    auto screen = platform::screen::Screen::Open();
    if (!screen) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    const int bpp = screen->BitsPerPixel();
    std::printf("display %dx%d at %d bits per pixel, %d frames per size\n", screen->VirtualWidth(),
                screen->VirtualHeight(), bpp, frames);

    const struct { int width, height; } sizes[] = {{1366, 768}, {1920, 1080}};
    for (const auto& size : sizes) {
        std::vector<std::uint8_t> pixels(platform::screen::DibStride(size.width, bpp) *
                                         static_cast<std::size_t>(size.height));
        std::vector<std::uint32_t> colorTable(256);
        Clock::duration capture{}, convert{};
        for (int i = 0; i < frames; ++i) {
            platform::screen::NativeImage image;
            const auto t0 = Clock::now();
            if (!screen->Capture(0, 0, size.width, size.height, image)) {
                std::fprintf(stderr, "capture of %dx%d failed\n", size.width, size.height);
                return 1;
            }
            const auto t1 = Clock::now();
            if (!screen->ToDib(image, bpp, pixels, colorTable)) {
                std::fprintf(stderr, "conversion of %dx%d failed\n", size.width, size.height);
                return 1;
            }
            capture += t1 - t0;
            convert += Clock::now() - t1;
        }
        const bool clipped =
            size.width > screen->VirtualWidth() || size.height > screen->VirtualHeight();
        std::printf("%4dx%-4d  capture %7.3f ms  convert %7.3f ms%s\n", size.width, size.height,
                    Milliseconds(capture) / frames, Milliseconds(convert) / frames,
                    clipped ? "  (partly off the screen)" : "");
    }
    return 0;
}
