// What narration costs and how well it keeps in step: records a moving region with a flash and
// a click every two seconds, once without and once with the microphone (a private sound server
// whose default input hears the clicks), and prints the CPU seconds per recorded second of each
// and, for the recording with sound, the offset of every click from its flash.
//   korvex_sound_bench [--seconds S] [--fps N] [--sound-only]
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/Korvex_ScrCam_Unit.h"
#include "harness/cpu_time.h"
#include "harness/engine_host.h"
#include "harness/moving_pattern.h"
#include "harness/sound_server.h"
#include "harness/sound_sync.h"
#include "settings/FrameRate.h"

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kFlashWidth = 160, kFlashHeight = 120;
constexpr int kEventSeconds = 2;

struct Options {
    double seconds = 30;
    int fps = 15;
    bool soundOnly = false;
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr, "bench: %s\nusage: bench [--seconds S] [--fps N] [--sound-only]\n", why);
    std::exit(2);
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            o.seconds = std::atof(argv[++i]);
            if (o.seconds < 2 * kEventSeconds) Usage("--seconds takes 4 or more");
        } else if (arg == "--fps" && i + 1 < argc) {
            o.fps = std::atoi(argv[++i]);
            if (o.fps < 3 || o.fps > 15) Usage("--fps takes 3 to 15");
        } else if (arg == "--sound-only") {
            o.soundOnly = true;
        } else {
            Usage(("unknown option " + arg).c_str());
        }
    }
    return o;
}

using korvex::bench::CpuSeconds;

struct Run {
    double cpuPerSecond = 0;
    std::vector<double> staged;  // per event: the flash's delay after its click
    fs::path file;
};

// Records o.seconds with a flash and a click every kEventSeconds, each half a frame period after
// a position, so that the next frame is the first to show it.
Run Record(const Options& o, bool sound, korvex::test::SoundPlayer& player,
           korvex::test::FlashWindow& window) {
    korvex::test::EngineHost host;
    engine::TScreenCam cam(host.Services());
    cam.Settings.MsPerFrame = static_cast<int>(app::settings::RoundHalfEven(1000.0 / o.fps));
    cam.Settings.FramesPerSecond = app::settings::FramesPerSecondFor(cam.Settings.MsPerFrame);
    cam.Settings.KeyFrameEvery = cam.Settings.FramesPerSecond;
    cam.Settings.RecordMicrophone = sound;
    engine::FixedRegion region(0, 0, kWidth, kHeight);
    Run run;
    run.file = fs::temp_directory_path() /
               (sound ? "korvex-sound-bench-on.avi" : "korvex-sound-bench-off.avi");
    const double cpuBefore = CpuSeconds();
    const auto start = steady_clock::now();
    cam.StartRecording(region, run.file.string());
    const int positionsPerEvent = kEventSeconds * 1000 / cam.Settings.MsPerFrame;
    const int events = static_cast<int>(o.seconds / kEventSeconds) - 1;
    for (int e = 1; e <= events; ++e) {
        const int position = e * positionsPerEvent;
        host.WaitFor([&] { return cam.FrameIndex >= position - 5 || cam.Thread == nullptr; },
                     60000);
        const auto when =
            korvex::test::PositionTime(cam.StartTick, position, cam.Settings.MsPerFrame,
                                       milliseconds(cam.Settings.MsPerFrame / 2));
        run.staged.push_back(korvex::test::FlashAndClick(player, window, when));
        host.WaitFor([&] { return cam.FrameIndex >= position + 3 || cam.Thread == nullptr; },
                     60000);
        window.Show(false);
    }
    host.WaitFor([&] {
        return cam.FrameIndex >= (events + 1) * positionsPerEvent || cam.Thread == nullptr;
    });
    cam.StopRecording();
    host.WaitFor([&] { return cam.Thread == nullptr; });
    const double recorded = duration<double>(steady_clock::now() - start).count();
    run.cpuPerSecond = (CpuSeconds() - cpuBefore) / recorded;
    for (const auto& alert : host.Alerts()) {
        std::printf("message box \"%s\": %s\n", alert.caption.c_str(), alert.text.c_str());
    }
    std::printf("%-8s %6.1f s recorded, %d frames, %d dropped, %.3f CPU s per recorded s\n",
                sound ? "sound" : "silent", recorded, static_cast<int>(cam.FramesWritten),
                static_cast<int>(cam.DroppedFrames), run.cpuPerSecond);
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    if (!std::getenv("DISPLAY")) Usage("no display ($DISPLAY is not set)");
    const pid_t pattern = korvex::test::StartPatternProcess(0, 0, kWidth, kHeight);
    if (pattern < 0) Usage("could not put the moving pattern on the display");
    korvex::test::SoundServer server;
    korvex::test::SoundPlayer player;
    korvex::test::FlashWindow window(0, 0, kFlashWidth, kFlashHeight);

    std::printf("%dx%d at %d fps, an event every %d s\n", kWidth, kHeight, o.fps, kEventSeconds);
    const Run silent = o.soundOnly ? Run{} : Record(o, false, player, window);
    const Run sound = Record(o, true, player, window);
    if (!o.soundOnly) {
        std::printf("sound costs %.3f CPU s per recorded s (%.3f with, %.3f without)\n",
                    sound.cpuPerSecond - silent.cpuPerSecond, sound.cpuPerSecond,
                    silent.cpuPerSecond);
    }

    const int msPerFrame = static_cast<int>(app::settings::RoundHalfEven(1000.0 / o.fps));
    const korvex::test::SyncMarks marks =
        korvex::test::FindSyncMarks(sound.file.string(), msPerFrame, kFlashWidth, kFlashHeight);
    std::printf("%zu events staged, %zu flashes and %zu clicks found\n", sound.staged.size(),
                marks.flashes.size(), marks.clicks.size());
    // The next frame shows a flash half a period after it: that much is the sampling's, not an
    // offset between sound and picture.
    double largest = 0, largestRaw = 0;
    const std::size_t events =
        std::min({sound.staged.size(), marks.flashes.size(), marks.clicks.size()});
    for (std::size_t e = 0; e < events; ++e) {
        const double raw = marks.flashes[e] - marks.clicks[e] - sound.staged[e];
        largestRaw = std::max(largestRaw, std::abs(raw));
        largest = std::max(largest, std::abs(raw - msPerFrame / 2000.0));
        std::printf("event %3zu at %8.3f s: picture %+6.1f ms after the sound\n", e,
                    marks.clicks[e], raw * 1000);
    }
    std::printf(
        "largest offset of picture and sound: %.1f ms (%.1f ms with the half period the "
        "sampling adds; a frame period is %d ms)\n",
        largest * 1000, largestRaw * 1000, msPerFrame);
    kill(pattern, SIGTERM);
    waitpid(pattern, nullptr, 0);
    return events == sound.staged.size() ? 0 : 1;
}
