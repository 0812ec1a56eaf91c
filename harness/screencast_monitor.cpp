#include "harness/screencast_monitor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
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

// Waits for the node of that name and registers it with the back end as a monitor of logical
// size width x height at (0, 0); false when it does not come.
bool Offer(const std::string& name, int width, int height) {
    std::string id;
    if (!PollFor([&] { return !(id = NodeId(name)).empty(); })) return false;
    std::ofstream(ScreenCastControl() / "stream")
        << id << " " << width << " " << height << " 0 0\n";
    return true;
}

// A name no other node of this run has.
std::string NodeName() {
    static std::atomic<int> nodes{0};
    return "korvex-test-monitor-" + std::to_string(getpid()) + "-" + std::to_string(++nodes);
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
    const std::string name = NodeName();
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
    if (!Offer(name, width, height)) {
        Stop();
        throw std::runtime_error("the test monitor's PipeWire node did not come");
    }
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

DrawnMonitor::DrawnMonitor(int width, int height, int streamWidth, int streamHeight,
                           DamageMeta damage) {
    const std::string name = NodeName();
    const char* modes[] = {"sent", "absent", "unwritten"};
    const std::vector<std::string> args = {KORVEX_STREAM_SOURCE, name, std::to_string(streamWidth),
                                           std::to_string(streamHeight),
                                           modes[static_cast<int>(damage)]};
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        throw std::runtime_error("no pipe");
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], STDIN_FILENO);
        dup2(out[1], STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    commands_ = in[1];
    answers_ = out[0];
    if (pid_ < 0 || !Offer(name, width, height)) {
        End();
        throw std::runtime_error("the drawn monitor's PipeWire node did not come");
    }
}

DrawnMonitor::~DrawnMonitor() {
    End();
}

void DrawnMonitor::End() {
    // The source ends with its input.
    if (commands_ >= 0) close(commands_);
    if (answers_ >= 0) close(answers_);
    commands_ = answers_ = -1;
    if (pid_ > 0) waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

bool DrawnMonitor::Send(const std::string& line) {
    const std::string text = line + "\n";
    return write(commands_, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool DrawnMonitor::Fill(int x, int y, int width, int height, std::uint32_t rgb) {
    char colour[8];
    std::snprintf(colour, sizeof colour, "%06x", rgb & 0xFFFFFFu);
    if (!Send("fill " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(width) +
              " " + std::to_string(height) + " " + colour)) {
        return false;
    }
    // "sent\n", once the frame is out; a source that stopped sending fails the wait.
    std::string answer;
    while (answer.size() < 5) {
        pollfd ready{answers_, POLLIN, 0};
        if (poll(&ready, 1, 20000) != 1) return false;
        char c = 0;
        if (read(answers_, &c, 1) != 1) return false;
        answer += c;
    }
    return answer == "sent\n";
}

bool DrawnMonitor::Type(int x, int y, int width, int height) {
    return Send("type " + std::to_string(x) + " " + std::to_string(y) + " " +
                std::to_string(width) + " " + std::to_string(height));
}

}  // namespace korvex::test
