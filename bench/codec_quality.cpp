#include "bench/codec_quality.h"

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "harness/media_probe.h"
#include "platform/avifile/avifile.h"
#include "platform/screen/screen.h"

namespace avi = platform::avifile;
namespace vfw = platform::vfw;
namespace fs = std::filesystem;
using korvex::test::Quote;
using korvex::test::RunCommand;

namespace bench {

namespace {

vfw::BITMAPINFOHEADER Header(const Grabbed& g) {
    return vfw::RgbDibHeader(g.width, g.height, 32);
}

// The frames as raw top-down BGR0, ffmpeg's reference input.
fs::path WriteReference(const Grabbed& g, const fs::path& dir) {
    const fs::path path = dir / "reference.bgr0";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::size_t row = std::size_t{4} * g.width;
    for (const auto& frame : g.frames) {
        for (int y = g.height - 1; y >= 0; --y) {
            out.write(reinterpret_cast<const char*>(frame.data() + row * y),
                      static_cast<std::streamsize>(row));
        }
    }
    return path;
}

std::string RawInput(const Grabbed& g, const fs::path& raw) {
    return " -f rawvideo -pix_fmt bgr0 -s " + std::to_string(g.width) + "x" +
           std::to_string(g.height) + " -r " + std::to_string(g.fps) + " -i " + Quote(raw.string());
}

// ffmpeg decodes the AVI and compares it with the reference; ffprobe counts its bytes.
Quality Measure(const Grabbed& g, const fs::path& avi, const fs::path& raw) {
    Quality q;
    const auto psnr =
        RunCommand("ffmpeg -nostdin -hide_banner -i " + Quote(avi.string()) + RawInput(g, raw) +
                       " -lavfi \"[0:v]format=rgb24[a];[1:v]format=rgb24[b];"
                       "[a][b]psnr\" -f null -",
                   true);
    std::smatch match;
    if (!std::regex_search(psnr.output, match, std::regex("average:(inf|[0-9.]+)"))) return q;
    q.psnr = match[1] == "inf" ? INFINITY : std::atof(match[1].str().c_str());
    const auto sizes = RunCommand(
        "ffprobe -v error -select_streams v:0 -show_entries "
        "packet=size -of csv=p=0 " +
        Quote(avi.string()));
    std::istringstream lines(sizes.output);
    double total = 0;
    int packets = 0;
    for (std::string line; std::getline(lines, line);) {
        total += std::atof(line.c_str());
        ++packets;
    }
    q.bytesPerFrame = packets > 0 ? total / packets : 0;
    q.measured = packets > 0;
    return q;
}

// Writes the frames through the codec driver as the recorder does.
bool WriteWithDriver(const Grabbed& g, vfw::FOURCC handler, int quality, const fs::path& path) {
    avi::AVIFileInit();
    avi::PAVIFILE file = nullptr;
    avi::PAVISTREAM stream = nullptr, compressed = nullptr;
    bool ok = avi::AVIFileOpen(&file, path.c_str(), avi::OF_CREATE | avi::OF_WRITE, nullptr) ==
              avi::AVIERR_OK;
    const vfw::BITMAPINFOHEADER header = Header(g);
    if (ok) {
        avi::AVISTREAMINFO info{};
        info.fccType = vfw::streamtypeVIDEO;
        info.dwScale = 1;
        info.dwRate = static_cast<std::uint32_t>(g.fps);
        info.dwSuggestedBufferSize = header.biSizeImage;
        info.rcFrame = {0, 0, g.width, g.height};
        ok = avi::AVIFileCreateStream(file, &stream, &info) == avi::AVIERR_OK;
    }
    if (ok) {
        avi::AVICOMPRESSOPTIONS options{};
        options.fccType = vfw::streamtypeVIDEO;
        options.fccHandler = handler;
        options.dwKeyFrameEvery = static_cast<std::uint32_t>(g.fps);
        options.dwQuality = static_cast<std::uint32_t>(quality);
        options.dwFlags = avi::AVICOMPRESSF_KEYFRAMES | avi::AVICOMPRESSF_VALID;
        ok = avi::AVIMakeCompressedStream(&compressed, stream, &options, nullptr) ==
                 avi::AVIERR_OK &&
             avi::AVIStreamSetFormat(compressed, 0, &header, sizeof header) == avi::AVIERR_OK;
    }
    for (std::size_t i = 0; ok && i < g.frames.size(); ++i) {
        ok = avi::AVIStreamWrite(compressed, static_cast<std::int32_t>(i), 1, g.frames[i].data(),
                                 static_cast<std::int32_t>(header.biSizeImage), 0, nullptr,
                                 nullptr) == avi::AVIERR_OK;
    }
    if (file) avi::AVIFileRelease(file);
    if (stream) avi::AVIStreamRelease(stream);
    if (compressed) avi::AVIStreamRelease(compressed);
    avi::AVIFileExit();
    return ok;
}

}  // namespace

Grabbed GrabFrames(int width, int height, int fps, int count) {
    Grabbed g{width, height, fps, {}};
    auto screen = platform::screen::Screen::Open();
    if (!screen) return g;
    platform::screen::ColorTable colours{};
    for (int i = 0; i < count; ++i) {
        platform::screen::NativeImage image;
        std::vector<std::uint8_t> dib(std::size_t{4} * width * height);
        if (!screen->Capture(0, 0, width, height, image) ||
            !screen->ToDib(image, 32, dib, colours)) {
            return {width, height, fps, {}};
        }
        g.frames.push_back(std::move(dib));
        std::this_thread::sleep_for(std::chrono::milliseconds(1000 / fps));
    }
    return g;
}

Quality OurQuality(const Grabbed& g, const std::string& fourcc, int quality, const fs::path& dir) {
    const fs::path path = dir / ("quality-" + fourcc + ".avi");
    const auto handler = vfw::mmioFOURCC(fourcc[0], fourcc[1], fourcc[2], fourcc[3]);
    if (g.frames.empty() || !WriteWithDriver(g, handler, quality, path)) return {};
    return Measure(g, path, WriteReference(g, dir));
}

Quality FfmpegQuality(const Grabbed& g, const std::string& encoderOptions, const fs::path& dir) {
    const fs::path path = dir / "quality-ffmpeg.avi";
    const fs::path raw = WriteReference(g, dir);
    const auto encoded =
        RunCommand("ffmpeg -nostdin -v error -y" + RawInput(g, raw) + " -g " +
                   std::to_string(g.fps) + " " + encoderOptions + " " + Quote(path.string()));
    if (g.frames.empty() || encoded.exitCode != 0) return {};
    return Measure(g, path, raw);
}

}  // namespace bench
