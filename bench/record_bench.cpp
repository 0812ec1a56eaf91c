// Records a scene with the real engine and prints what each frame cost, then lets ffmpeg's
// x11grab record the same region with the equivalent encoder for comparison. Then compresses a
// short run of grabbed frames with both and compares the bytes and the pictures.
//   korvex_record_bench [--size WxH] [--fps N] [--codec FOURCC] [--seconds S]
//   [--ffmpeg|--no-ffmpeg] [--scene moving|still|typing] [--still]
// Scenes: the moving pattern's bar; the same pattern standing still; a terminal in which a few
// characters are typed per frame.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "bench/codec_quality.h"
#include "engine/Korvex_ScrCam_Unit.h"
#include "engine/RecordTiming.h"
#include "harness/cpu_time.h"
#include "harness/engine_host.h"
#include "harness/media_probe.h"
#include "harness/moving_pattern.h"
#include "settings/FrameRate.h"

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

struct Options {
    int width = 1366;
    int height = 768;
    int fps = 5;
    std::string codec = "MSVC";
    double seconds = 10;
    bool ffmpeg = true;
    std::string scene = "moving";
};

constexpr int kQualityFrames = 15;

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "bench: %s\nusage: bench [--size WxH] [--fps N] [--codec FOURCC] "
                 "[--seconds S] [--ffmpeg|--no-ffmpeg] [--scene moving|still|typing] [--still]\n",
                 why);
    std::exit(2);
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Usage(("missing value for " + arg).c_str());
            return argv[++i];
        };
        if (arg == "--size") {
            if (std::sscanf(value().c_str(), "%dx%d", &o.width, &o.height) != 2 || o.width <= 0 ||
                o.height <= 0) {
                Usage("--size takes WxH");
            }
        } else if (arg == "--fps") {
            o.fps = std::atoi(value().c_str());
            if (o.fps < 1 || o.fps > 60) Usage("--fps takes 1 to 60");
        } else if (arg == "--codec") {
            o.codec = value();
            if (o.codec.size() != 4) Usage("--codec takes a four-character code");
        } else if (arg == "--seconds") {
            o.seconds = std::atof(value().c_str());
            if (o.seconds < 2) Usage("--seconds takes a number of at least 2");
        } else if (arg == "--ffmpeg") {
            o.ffmpeg = true;
        } else if (arg == "--no-ffmpeg") {
            o.ffmpeg = false;
        } else if (arg == "--scene") {
            o.scene = value();
            if (o.scene != "moving" && o.scene != "still" && o.scene != "typing") {
                Usage("--scene takes moving, still or typing");
            }
        } else if (arg == "--still") {
            o.scene = "still";
        } else {
            Usage(("unknown option " + arg).c_str());
        }
    }
    return o;
}

using korvex::bench::CpuSeconds;

std::string EncoderFor(const std::string& fourcc) {
    static const std::map<std::string, std::string> encoders = {
        {"MSVC", "msvideo1"}, {"CRAM", "msvideo1"}, {"MJPG", "mjpeg"},
        {"ZMBV", "zmbv"},     {"H264", "libx264"},  {"X264", "libx264"},
        {"XVID", "mpeg4"},    {"FMP4", "mpeg4"},    {"HFYU", "huffyuv"}};
    auto it = encoders.find(fourcc);
    return it == encoders.end() ? std::string() : it->second;
}

struct Figures {
    int frames = 0;
    int dropped = 0;
    double cpuPerSecond = 0;
    double steadyCpuPerSecond = 0;  // from the first second on: no start-up, no first key frame
};

// CPU seconds per second of a process between two readings.
struct CpuReading {
    double cpu = 0;
    steady_clock::time_point at;
};
double Rate(const CpuReading& from, const CpuReading& to) {
    const double seconds = duration<double>(to.at - from.at).count();
    return seconds > 0 ? (to.cpu - from.cpu) / seconds : 0;
}

// Runs the command line (its last command exec'd by the shell) and reads its CPU time a
// second after the start and for the last time before it ends. The exit code, or -1.
int RunSampled(const std::string& command, double* steadyCpuPerSecond) {
    const std::string line = "exec " + command;
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (pid < 0) return -1;
    const auto start = steady_clock::now();
    std::optional<CpuReading> first, last;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (const auto cpu = korvex::bench::ProcessCpuSeconds(pid)) {
            const CpuReading now{*cpu, steady_clock::now()};
            if (!first && now.at - start >= std::chrono::seconds(1)) first = now;
            last = now;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (first && last) *steadyCpuPerSecond = Rate(*first, *last);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ffmpeg's encoder options for the codec, in the pixel format our driver gives the same
// encoder (Motion JPEG: full-range 4:2:2); empty when it has none.
std::string FfmpegEncoder(const std::string& fourcc) {
    const std::string encoder = EncoderFor(fourcc);
    if (encoder.empty()) return {};
    const bool rgb = encoder == "msvideo1" || encoder == "huffyuv" || encoder == "zmbv";
    if (rgb) return " -c:v " + encoder;
    return " -c:v " + encoder + (encoder == "mjpeg" ? " -pix_fmt yuvj422p" : " -pix_fmt yuv420p");
}

Figures RecordWithFfmpeg(const Options& o, int width, int height, const fs::path& path) {
    const std::string encoder = FfmpegEncoder(o.codec);
    Figures f;
    if (encoder.empty()) {
        std::printf("ffmpeg: no equivalent encoder known for %s\n", o.codec.c_str());
        return f;
    }
    const char* display = std::getenv("DISPLAY");
    // Encoders have size rules of their own; ffmpeg gets the size the engine aligned to.
    const std::string command =
        "ffmpeg -nostdin -v error -y -f x11grab -draw_mouse 1 -framerate " + std::to_string(o.fps) +
        " -video_size " + std::to_string(width) + "x" + std::to_string(height) + " -i " +
        korvex::test::Quote(std::string(display) + "+0,0") + " -t " + std::to_string(o.seconds) +
        encoder + " " + korvex::test::Quote(path.string());
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    const int exitCode = RunSampled(command, &f.steadyCpuPerSecond);
    const double cpu = CpuSeconds(RUSAGE_CHILDREN) - before;
    if (exitCode != 0) {
        std::printf("ffmpeg failed with exit code %d\n", exitCode);
        return f;
    }
    auto probe = korvex::test::ProbeVideo(path.string());
    f.frames = std::atoi(probe["nb_read_frames"].c_str());
    f.dropped = std::max(0, static_cast<int>(o.seconds * o.fps + 0.5) - f.frames);
    f.cpuPerSecond = cpu / o.seconds;
    return f;
}

// Bytes per frame and PSNR of a short run of grabbed frames, ours beside ffmpeg's encoder.
void PrintQuality(const Options& o, const engine::TScreenCam& cam, const fs::path& dir,
                  bool ffmpeg) {
    const bench::Grabbed grabbed =
        bench::GrabFrames(cam.FrameWidth, cam.FrameHeight, o.fps, kQualityFrames);
    const bench::Quality ours = bench::OurQuality(grabbed, o.codec, cam.Settings.Quality, dir);
    const bench::Quality theirs =
        ffmpeg ? bench::FfmpegQuality(grabbed, FfmpegEncoder(o.codec), dir) : bench::Quality{};
    std::printf("%d grabbed frames, quality %d:\n", kQualityFrames, cam.Settings.Quality);
    const auto cell = [](double v, bool have) {
        char text[32];
        if (have) {
            std::snprintf(text, sizeof text, "%10.2f", v);
        } else {
            std::snprintf(text, sizeof text, "%10s", "-");
        }
        return std::string(text);
    };
    const auto row = [&](const char* name, double a, bool haveA, double b, bool haveB) {
        std::printf("%-28s %s %s\n", name, cell(a, haveA).c_str(), cell(b, haveB).c_str());
    };
    row("bytes per frame", ours.bytesPerFrame, ours.measured, theirs.bytesPerFrame,
        theirs.measured);
    row("PSNR dB", ours.psnr, ours.measured, theirs.psnr, theirs.measured);
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    if (!std::getenv("DISPLAY")) Usage("no display ($DISPLAY is not set)");

    using Scene = korvex::test::MovingPattern::Scene;
    const pid_t pattern = korvex::test::StartPatternProcess(
        0, 0, o.width, o.height, o.scene == "typing" ? Scene::Typing : Scene::Moving);
    if (pattern < 0) Usage("could not put the moving pattern on the display");
    if (o.scene == "still") kill(pattern, SIGSTOP);

    korvex::test::EngineHost host;
    engine::TScreenCam cam(host.Services());
    cam.Settings.MsPerFrame = static_cast<int>(app::settings::RoundHalfEven(1000.0 / o.fps));
    cam.Settings.FramesPerSecond = app::settings::FramesPerSecondFor(cam.Settings.MsPerFrame);
    cam.Settings.KeyFrameEvery = cam.Settings.FramesPerSecond;
    cam.EnumerateCodecs();
    const auto wanted = platform::vfw::mmioFOURCC(o.codec[0], o.codec[1], o.codec[2], o.codec[3]);
    for (int i = 0; i < cam.CodecCount; ++i) {
        if (cam.Codecs[i].fccHandler == wanted) cam.Settings.CompressorIndex = i;
    }
    if (cam.Settings.CompressorIndex < 0 && wanted != engine::kDefaultCompressor) {
        kill(pattern, SIGTERM);
        Usage(("codec " + o.codec + " is not in the catalogue").c_str());
    }
    cam.SelectCompressor();

    const fs::path dir = fs::temp_directory_path() / "korvex-bench";
    fs::create_directories(dir);
    const std::string stem = o.codec + "-" + o.scene + "-" + std::to_string(o.width) + "x" +
                             std::to_string(o.height) + "-" + std::to_string(o.fps) + "fps";
    const fs::path ours = dir / (stem + ".avi");
    const fs::path theirs = dir / (stem + "-ffmpeg.avi");

    engine::FixedRegion region(0, 0, o.width, o.height);
    const double cpuBefore = CpuSeconds(RUSAGE_SELF);
    const auto start = steady_clock::now();
    cam.StartRecording(region, ours.string());
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const CpuReading afterFirstSecond{CpuSeconds(RUSAGE_SELF), steady_clock::now()};
    std::this_thread::sleep_for(duration<double>(o.seconds - 1));
    // The frame loop starts after the codec is set up: let it reach the last position of the
    // period, as ffmpeg's -t does.
    const int lastPosition = static_cast<int>(o.seconds * o.fps + 0.5) - 1;
    host.WaitFor([&] { return cam.FrameIndex >= lastPosition || cam.Thread == nullptr; }, 2000);
    const double ourSteadyCpu =
        Rate(afterFirstSecond, CpuReading{CpuSeconds(RUSAGE_SELF), steady_clock::now()});
    cam.StopRecording();
    host.WaitFor([&] { return cam.Thread == nullptr; });
    const double recorded = duration<double>(steady_clock::now() - start).count();
    const double cpu = CpuSeconds(RUSAGE_SELF) - cpuBefore;

    const double grabs = std::max<std::uint32_t>(1, cam.Costs.grabs);
    const double written = std::max(1, static_cast<int>(cam.FramesWritten));
    const double grabMs = cam.Costs.grabUs / grabs / 1000.0;
    const double convertMs = cam.Costs.convertUs / grabs / 1000.0;
    const double writeMs = cam.Costs.writeUs / written / 1000.0;
    const double ourCpu = cpu / recorded;

    for (const auto& alert : host.Alerts()) {
        std::printf("message box \"%s\": %s\n", alert.caption.c_str(), alert.text.c_str());
    }
    std::printf("%s scene, region %dx%d at %d fps, codec %s (frames %dx%d), %.1f s\n",
                o.scene.c_str(), o.width, o.height, o.fps, o.codec.c_str(),
                static_cast<int>(cam.FrameWidth), static_cast<int>(cam.FrameHeight), recorded);
    std::printf("%-28s %10s %10s\n", "", "korvex", "ffmpeg");
    std::printf("%-28s %10.2f %10s\n", "grab ms/frame", grabMs, "-");
    std::printf("%-28s %10.2f %10s\n", "conversion ms/frame", convertMs, "-");
    std::printf("%-28s %10.2f %10s\n", "compression+write ms/frame", writeMs, "-");

    Figures ff;
    if (o.ffmpeg) ff = RecordWithFfmpeg(o, cam.FrameWidth, cam.FrameHeight, theirs);
    auto column = [&](double v, bool have, int decimals = 2) {
        char text[32];
        if (have) {
            std::snprintf(text, sizeof text, "%10.*f", decimals, v);
        } else {
            std::snprintf(text, sizeof text, "%10s", "-");
        }
        return std::string(text);
    };
    const bool haveFfmpeg = o.ffmpeg && ff.frames > 0;
    std::printf("%-28s %10d %s\n", "frames written", static_cast<int>(cam.FramesWritten),
                column(ff.frames, haveFfmpeg, 0).c_str());
    std::printf("%-28s %10d %s\n", "dropped frames", static_cast<int>(cam.DroppedFrames),
                column(ff.dropped, haveFfmpeg, 0).c_str());
    std::printf("%-28s %10.3f %s\n", "CPU s per recorded s", ourCpu,
                column(ff.cpuPerSecond, haveFfmpeg, 3).c_str());
    std::printf("%-28s %10.3f %s\n", "  from the 1st s on", ourSteadyCpu,
                column(ff.steadyCpuPerSecond, haveFfmpeg, 3).c_str());
    if (haveFfmpeg && ff.cpuPerSecond > 0) {
        std::printf("%-28s %10.2f\n", "CPU ratio korvex/ffmpeg", ourCpu / ff.cpuPerSecond);
    }
    PrintQuality(o, cam, dir, haveFfmpeg);
    kill(pattern, SIGCONT);
    kill(pattern, SIGTERM);
    waitpid(pattern, nullptr, 0);
    std::printf("avi: %s\n", ours.c_str());
    return 0;
}
