#include "tests/e2e/session.h"

#include <unistd.h>

#include <cstdio>

#include "harness/media_probe.h"

namespace fs = std::filesystem;

namespace korvex::test {

bool operator==(const Geometry& a, const Geometry& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

std::ostream& operator<<(std::ostream& out, const Geometry& g) {
    return out << g.x << "," << g.y << " " << g.width << "x" << g.height;
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

void Session::Start(const Environment& environment, const std::vector<std::string>& arguments) {
    program =
        std::make_unique<Program>(ProgramBinary(), home, "de_DE.UTF-8", environment, arguments);
    main = WaitForWindow("^Korvex!$");
    ASSERT_FALSE(main.empty());
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
    PressRecordIn(recordingWindow);
    ASSERT_FALSE(WaitForWindow("^Korvex!$").empty());
}

void Session::Answer(const std::string& title, const std::string& key) {
    const std::string box = WaitForWindow(title);
    ASSERT_FALSE(box.empty()) << title;
    RunCommand("xdotool windowactivate --sync " + box + " key " + key);
    ASSERT_TRUE(WaitGone(title));
}

}  // namespace korvex::test
