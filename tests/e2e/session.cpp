#include "tests/e2e/session.h"

#include <unistd.h>

#include <cstdio>
#include <regex>

#include "harness/media_probe.h"

namespace fs = std::filesystem;

namespace korvex::test {

std::ostream& operator<<(std::ostream& out, const Geometry& g) {
    return out << g.x << "," << g.y << " " << g.width << "x" << g.height;
}

Geometry WindowGeometry(const std::string& window) {
    const auto r = RunCommand("xdotool getwindowgeometry --shell " + window);
    const auto value = [&](const char* key) {
        std::smatch m;
        std::regex re(std::string(key) + "=(-?[0-9]+)");
        return std::regex_search(r.output, m, re) ? std::stoi(m[1]) : -1;
    };
    return {value("X"), value("Y"), value("WIDTH"), value("HEIGHT")};
}

void ClickAt(const std::string& window, int x, int y, int button) {
    RunCommand("xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
               std::to_string(y) + " click " + std::to_string(button));
}

void Key(const std::string& keys) {
    RunCommand("xdotool key --clearmodifiers " + keys);
}

void Session::SetUp() {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
    home = fs::temp_directory_path() / ("korvex-rec-" + std::to_string(getpid()));
    fs::remove_all(home);
    fs::create_directories(home);
}

void Session::TearDown() {
    program.reset();
    fs::remove_all(home);
}

void Session::Start() {
    program = std::make_unique<Program>(ProgramBinary(), home);
    main = WaitForWindow("^Korvex!$");
    ASSERT_FALSE(main.empty());
}

std::string Session::WaitForWindow(const std::string& title) {
    std::string found;
    WaitUntil([&] {
        auto ids = FindWindows(title);
        if (!ids.empty()) found = ids.front();
        return !ids.empty();
    });
    return found;
}

bool Session::WaitGone(const std::string& title) {
    return WaitUntil([&] { return FindWindows(title).empty(); });
}

void Session::ShowRegion() {
    PressRecord();
    region = WaitForWindow(kRegionTitle);
    ASSERT_FALSE(region.empty());
}

void Session::ShowRegionAndName(const std::string& name) {
    ShowRegion();
    ClickAt(main, 60, 50);
    RunCommand("xdotool type --delay 20 " + Quote(name));
}

void Session::StartAndWaitForSecond(int second) {
    PressRecord();
    char caption[16];
    std::snprintf(caption, sizeof caption, "^00:%02d$", second);
    recordingWindow = WaitForWindow(caption);
    ASSERT_FALSE(recordingWindow.empty()) << caption;
}

void Session::Stop() {
    ClickAt(recordingWindow, 20, 20);
    ASSERT_FALSE(WaitForWindow("^Korvex!$").empty());
}

void Session::Answer(const std::string& title, const std::string& key) {
    const std::string box = WaitForWindow(title);
    ASSERT_FALSE(box.empty()) << title;
    RunCommand("xdotool windowactivate --sync " + box + " key " + key);
    ASSERT_TRUE(WaitGone(title));
}

}  // namespace korvex::test
