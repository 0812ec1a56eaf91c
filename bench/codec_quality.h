// The picture quality side of the recording benchmark: a short run of grabbed screen frames,
// compressed by our codec driver and by ffmpeg's encoder, each decoded by ffmpeg and compared
// with the frames that were grabbed.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// Frames grabbed from the screen as 32-bit bottom-up DIB rows.
struct Grabbed {
    int width = 0, height = 0, fps = 0;
    std::vector<std::vector<std::uint8_t>> frames;
};

// Grabs `count` frames of (0, 0, width, height) at the frame rate; none without a screen.
Grabbed GrabFrames(int width, int height, int fps, int count);

struct Quality {
    double bytesPerFrame = 0;
    double psnr = 0;  // dB over the three channels, all frames; infinite when lossless
    bool measured = false;
};

// Compresses the frames through the codec driver `fourcc` (key frames every `fps` frames, the
// quality given) into an AVI in `dir`, and measures it.
Quality OurQuality(const Grabbed& grabbed, const std::string& fourcc, int quality,
                   const std::filesystem::path& dir);

// Compresses the frames with ffmpeg's `encoder` (its options as on the command line) and
// measures that.
Quality FfmpegQuality(const Grabbed& grabbed, const std::string& encoderOptions,
                      const std::filesystem::path& dir);

}  // namespace bench
