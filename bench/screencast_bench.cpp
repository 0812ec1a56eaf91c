// Records through the ScreenCast portal and PipeWire as in a Wayland session, from a desktop
// that tells what changed with every frame and from one that does not, a still picture and one
// where a few characters change per frame as in typing; and the still picture from the X
// server. Prints the frames kept and the CPU seconds per recorded second side by side.
//   korvex_screencast_bench [--size WxH] [--fps N] [--seconds S]
// Runs inside tests/session/with-screencast-session on a display of at least that size;
// scripts/bench-screencast sets both up.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "engine/Korvex_ScrCam_Unit.h"
#include "harness/cpu_time.h"
#include "harness/engine_host.h"
#include "harness/media_probe.h"
#include "harness/portal_capture.h"
#include "harness/screencast_monitor.h"
#include "platform/screen/screen.h"
#include "platform/screencast/portal_screen.h"
#include "settings/FrameRate.h"

namespace fs = std::filesystem;
using namespace std::chrono;

namespace {

struct Options {
    int width = 1920;
    int height = 1080;
    int fps = 15;
    double seconds = 10;
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "screencast bench: %s\nusage: korvex_screencast_bench [--size WxH] [--fps N] "
                 "[--seconds S]\n",
                 why);
    std::exit(2);
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) Usage(("missing value for " + arg).c_str());
        const std::string value = argv[++i];
        if (arg == "--size") {
            if (std::sscanf(value.c_str(), "%dx%d", &o.width, &o.height) != 2) {
                Usage("--size takes WxH");
            }
        } else if (arg == "--fps") {
            o.fps = std::atoi(value.c_str());
        } else if (arg == "--seconds") {
            o.seconds = std::atof(value.c_str());
        } else {
            Usage(("unknown option " + arg).c_str());
        }
    }
    if (o.width <= 0 || o.height <= 0 || o.fps < 1 || o.fps > 60 || o.seconds <= 0) {
        Usage("sizes, rate and seconds must be positive");
    }
    return o;
}

using korvex::bench::CpuSeconds;

struct Figures {
    int frames = 0;
    int dropped = 0;
    double cpuPerSecond = 0;
    bool valid = false;
};

// One recording of the whole size with the engine reading from screen (the X server's when
// null); the CPU counted is this process's, PipeWire's thread included.
Figures Record(const Options& o, std::shared_ptr<platform::screen::CaptureSource> screen,
               const fs::path& file) {
    korvex::test::EngineHost host;
    engine::EngineServices services = host.Services();
    services.Screen = std::move(screen);
    engine::TScreenCam cam(services);
    cam.Settings.MsPerFrame = static_cast<int>(app::settings::RoundHalfEven(1000.0 / o.fps));
    cam.Settings.FramesPerSecond = app::settings::FramesPerSecondFor(cam.Settings.MsPerFrame);
    cam.Settings.KeyFrameEvery = cam.Settings.FramesPerSecond;

    engine::FixedRegion region(0, 0, o.width, o.height);
    const double cpuBefore = CpuSeconds();
    const auto start = steady_clock::now();
    cam.StartRecording(region, file.string());
    std::this_thread::sleep_for(duration<double>(o.seconds));
    const int lastPosition = static_cast<int>(o.seconds * o.fps + 0.5) - 1;
    host.WaitFor([&] { return cam.FrameIndex >= lastPosition || cam.Thread == nullptr; }, 2000);
    cam.StopRecording();
    host.WaitFor([&] { return cam.Thread == nullptr; });
    const double recorded = duration<double>(steady_clock::now() - start).count();
    Figures f;
    f.cpuPerSecond = (CpuSeconds() - cpuBefore) / recorded;
    f.frames = cam.FramesWritten;
    f.dropped = cam.DroppedFrames;
    for (const auto& alert : host.Alerts()) {
        std::printf("message box \"%s\": %s\n", alert.caption.c_str(), alert.text.c_str());
    }
    f.valid = korvex::test::DecodeErrors(file.string()).empty();
    return f;
}

// A picture in a window over the whole X screen; returns once the screen shows it.
pid_t ShowPictureOnX(const Options& o, const fs::path& dir) {
    const fs::path png = dir / "colors.png";
    const auto made = korvex::test::RunCommand(
        "gst-launch-1.0 -q videotestsrc pattern=colors num-buffers=1 ! video/x-raw,width=" +
        std::to_string(o.width) + ",height=" + std::to_string(o.height) +
        " ! pngenc ! filesink location=" + korvex::test::Quote(png.string()));
    if (made.exitCode != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        execlp("ffplay", "ffplay", "-v", "error", "-noborder", "-left", "0", "-top", "0", "-loop",
               "0", png.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    auto x11 = platform::screen::Screen::Open();
    for (int i = 0; x11 && i < 500; ++i) {
        platform::screen::NativeImage image;
        if (x11->Capture(o.width / 2, o.height / 2, 1, 1, image) && image.data &&
            (image.data[0] | image.data[1] | image.data[2]) != 0) {
            return pid;
        }
        std::this_thread::sleep_for(milliseconds(20));
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const Options o = Parse(argc, argv);
    if (!std::getenv("DISPLAY") || korvex::test::ScreenCastControl().empty()) {
        Usage("run inside tests/session/with-screencast-session on a display");
    }
    QCoreApplication application(argc, argv);
    const fs::path dir = fs::temp_directory_path() / "korvex-bench";
    fs::create_directories(dir);
    const std::string stem = std::to_string(o.width) + "x" + std::to_string(o.height) + "-" +
                             std::to_string(o.fps) + "fps";

    // A terminal's worth of character cells, one of which changes in every stream frame.
    const int typingWidth = std::min(o.width, 640), typingHeight = std::min(o.height, 384);
    const struct {
        const char* name;
        bool typing;
        korvex::test::DamageMeta damage;
    } runs[] = {{"still, damage", false, korvex::test::DamageMeta::Sent},
                {"still, no damage", false, korvex::test::DamageMeta::Absent},
                {"typing, damage", true, korvex::test::DamageMeta::Sent},
                {"typing, no damage", true, korvex::test::DamageMeta::Absent}};
    std::vector<Figures> portal;
    for (const auto& run : runs) {
        korvex::test::DrawnMonitor monitor(o.width, o.height, o.width, o.height, run.damage);
        std::string why;
        auto screen = korvex::test::OpenPortalScreen(application, why);
        if (!screen) Usage(why.c_str());
        if (run.typing) monitor.Type(0, 0, typingWidth, typingHeight);
        std::string file = stem + "-" + run.name + ".avi";
        std::replace(file.begin(), file.end(), ' ', '-');
        file.erase(std::remove(file.begin(), file.end(), ','), file.end());
        portal.push_back(Record(o, screen, dir / file));
        screen->Detach();
    }

    const pid_t picture = ShowPictureOnX(o, dir);
    if (picture < 0) Usage("could not show the picture on the X screen");
    const Figures x11 = Record(o, nullptr, dir / (stem + "-x11.avi"));
    kill(picture, SIGTERM);
    waitpid(picture, nullptr, 0);

    std::printf("%dx%d at %d fps, codec MSVC, %.1f s each; the stream sends 30 frames a second\n",
                o.width, o.height, o.fps, o.seconds);
    std::printf("%-24s %14s %8s %10s %8s\n", "", "frames kept", "dropped", "CPU s/s", "decodes");
    const auto row = [](const char* name, const Figures& f) {
        std::printf("%-24s %14d %8d %10.3f %8s\n", name, f.frames, f.dropped, f.cpuPerSecond,
                    f.valid ? "yes" : "no");
    };
    for (std::size_t i = 0; i < portal.size(); ++i) {
        row(("portal " + std::string(runs[i].name)).c_str(), portal[i]);
    }
    row("x11 still", x11);
    return 0;
}
