#include "harness/screencast_monitor.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "harness/media_probe.h"

namespace fs = std::filesystem;

namespace korvex::test {

namespace {

// The id of the node of that name, as pw-cli lists nodes; empty while there is none.
std::string NodeId(const std::string& name) {
    const CommandResult r = RunCommand("pw-cli ls Node");
    std::istringstream lines(r.output);
    std::string line, id;
    const std::regex idLine("^\\s*id ([0-9]+), type PipeWire:Interface:Node");
    while (std::getline(lines, line)) {
        std::smatch m;
        if (std::regex_search(line, m, idLine)) id = m[1];
        if (line.find("node.name = \"" + name + "\"") != std::string::npos) return id;
    }
    return {};
}

// Polls until cond holds; false after 20 s.
bool PollFor(const std::function<bool()>& cond) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace

bool PipeWireNodeExists(const std::string& name) {
    return !NodeId(name).empty();
}

fs::path ScreenCastControl() {
    const char* control = std::getenv("KORVEX_SCREENCAST_CONTROL");
    return control ? fs::path(control) : fs::path();
}

void SetScreenCastAnswer(const std::string& answer) {
    std::ofstream(ScreenCastControl() / "answer") << answer << "\n";
}

std::string ScreenCastCalls() {
    std::ifstream in(ScreenCastControl() / "calls");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

namespace {

// GStreamer's fixed colour picture: every pixel differs from its neighbours' places.
constexpr char kPattern[] = "pattern=colors";

std::string Caps(const char* format, int width, int height) {
    return std::string("video/x-raw,format=") + format + ",width=" + std::to_string(width) +
           ",height=" + std::to_string(height);
}

}  // namespace

MonitorSource::MonitorSource(int width, int height, int scale)
    : width_(width), height_(height), scale_(scale) {
    static int sources = 0;
    const std::string name =
        "korvex-test-monitor-" + std::to_string(getpid()) + "-" + std::to_string(++sources);
    const std::vector<std::string> args = {
        "gst-launch-1.0",
        "-q",
        "videotestsrc",
        kPattern,
        "is-live=true",
        "!",
        Caps("BGRx", width * scale, height * scale) + ",framerate=5/1",
        "!",
        "pipewiresink",
        "mode=provide",
        "stream-properties=props,media.class=Video/Source,node.name=" + name};
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    std::string id;
    if (!PollFor([&] { return !(id = NodeId(name)).empty(); })) {
        Stop();
        throw std::runtime_error("the test monitor's PipeWire node did not come");
    }
    std::ofstream(ScreenCastControl() / "stream")
        << id << " " << width << " " << height << " 0 0\n";
}

MonitorSource::~MonitorSource() {
    Stop();
}

void MonitorSource::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

std::vector<std::uint8_t> MonitorSource::Expected(int x, int y, int width, int height) const {
    const std::string picture = "videotestsrc " + std::string(kPattern) + " num-buffers=1 ! " +
                                Caps("RGB", width_ * scale_, height_ * scale_);
    const std::string crop = "crop=" + std::to_string(width * scale_) + ":" +
                             std::to_string(height * scale_) + ":" + std::to_string(x * scale_) +
                             ":" + std::to_string(y * scale_) + ",scale=" + std::to_string(width) +
                             ":" + std::to_string(height) + ":flags=neighbor";
    const CommandResult r =
        RunCommand("gst-launch-1.0 -q " + picture +
                   " ! fdsink fd=1 | ffmpeg -v error -f rawvideo "
                   "-pix_fmt rgb24 -s " +
                   std::to_string(width_ * scale_) + "x" + std::to_string(height_ * scale_) +
                   " -i - -vf " + crop + " -f rawvideo -pix_fmt rgb24 -");
    if (r.exitCode != 0) return {};
    return std::vector<std::uint8_t>(r.output.begin(), r.output.end());
}

}  // namespace korvex::test
