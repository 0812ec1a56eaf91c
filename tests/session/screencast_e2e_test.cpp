// Recording on a Wayland-style session as a user does it: the real portal front end with the
// tests' back end, a real PipeWire stream of the test display at twice its size, the program
// driven through its toolbar and `korvex --toggle`, the files read by ffprobe and ffmpeg.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "harness/media_probe.h"
#include "harness/screencast_monitor.h"
#include "tests/e2e/session.h"

namespace fs = std::filesystem;
using namespace korvex::test;

namespace {

const Environment kWayland = {{"XDG_SESSION_TYPE", "wayland"}};

struct ScreenSize {
    int width = 0, height = 0;
};

ScreenSize DisplaySize() {
    const CommandResult r = RunCommand("xdotool getdisplaygeometry");
    ScreenSize size;
    std::istringstream(r.output) >> size.width >> size.height;
    return size;
}

// Mean difference per channel of two RGB24 pictures of one size; 255 for pictures that cannot
// be compared.
double MeanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.empty() || a.size() != b.size()) return 255;
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(int{a[i]} - int{b[i]});
    return sum / static_cast<double>(a.size());
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// A session bus of its own without the portal, for a program that should find none.
class BareBus {
public:
    explicit BareBus(const fs::path& folder) {
        fs::create_directories(folder);
        const fs::path config = folder / "bus.conf";
        std::ofstream(config)
            << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\" "
               "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig><type>session</type><listen>unix:dir="
            << folder.string()
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
               "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
               "<allow own=\"*\"/></policy></busconfig>\n";
        const fs::path address = folder / "address";
        const CommandResult r = RunCommand("dbus-daemon --config-file=" + Quote(config.string()) +
                                           " --fork --print-address=1 --print-pid=1");
        std::istringstream lines(r.output);
        std::getline(lines, address_);
        lines >> pid_;
    }
    ~BareBus() {
        if (pid_ > 0) kill(pid_, SIGTERM);
    }
    const std::string& Address() const { return address_; }

private:
    std::string address_;
    pid_t pid_ = -1;
};

}  // namespace

class ScreenCast : public Session {
protected:
    void SetUp() override {
        Session::SetUp();
        if (IsSkipped()) return;
        if (ScreenCastControl().empty()) GTEST_SKIP() << "needs the ScreenCast session";
        SetScreenCastAnswer("ok");
        callsBefore_ = ScreenCastCalls().size();
    }

    void StartOnWayland(const Environment& extra = {}) {
        Environment environment = kWayland;
        environment.insert(environment.end(), extra.begin(), extra.end());
        program = std::make_unique<Program>(ProgramBinary(), home, "de_DE.UTF-8", environment);
        main = WaitForWindow("^Korvex!$");
        ASSERT_FALSE(main.empty());
    }

    // `korvex --toggle`, as a desktop shortcut runs it; it ends at once when a copy runs.
    std::unique_ptr<Program> Toggle() {
        return std::make_unique<Program>(ProgramBinary(), home, "de_DE.UTF-8", kWayland,
                                         std::vector<std::string>{"--toggle"});
    }
    void ToggleAndWait() {
        auto toggle = Toggle();
        ASSERT_EQ(toggle->WaitForExit(), 0);
    }

    // The back end's calls since the test began.
    std::string NewCalls() const { return ScreenCastCalls().substr(callsBefore_); }

    fs::path Video(const std::string& name) const { return home / "Video" / (name + ".avi"); }

private:
    std::size_t callsBefore_ = 0;
};

TEST_F(ScreenCast, RecordsTheSharedMonitorAtTheRegionsPlaceAndRemembersTheChoice) {
    const ScreenSize screen = DisplaySize();
    auto source = std::make_unique<MonitorSource>(screen.width, screen.height, 2);
    StartOnWayland();

    // Through the toolbar: the region shown, named, then recording.
    ShowRegionAndName("portal");
    const Geometry area = WindowGeometry(region);
    ASSERT_GT(area.width, 0);
    StartAndWaitForSecond(2);
    // Stopped as the desktop shortcut stops it.
    ToggleAndWait();
    ASSERT_FALSE(WaitForWindow("^Korvex!$").empty());
    ASSERT_TRUE(WaitUntilWritten(Video("portal")));

    auto probe = ProbeVideo(Video("portal").string());
    EXPECT_EQ(probe["width"], std::to_string(area.width));
    EXPECT_EQ(probe["height"], std::to_string(area.height));
    EXPECT_GE(std::atoi(probe["nb_read_frames"].c_str()), 5);
    EXPECT_EQ(DecodeErrors(Video("portal").string()), "");
    // The stream's picture at the region's place: close to what ffmpeg cuts out of it, far
    // from the picture a few pixels away (the codec keeps 15 bits per pixel).
    const auto frame = DecodeFrameRgb(Video("portal").string(), 3);
    const double here =
        MeanDifference(frame, source->Expected(area.x, area.y, area.width, area.height));
    const double beside =
        MeanDifference(frame, source->Expected(area.x + 24, area.y + 16, area.width, area.height));
    EXPECT_LT(here, 6) << "beside: " << beside;
    EXPECT_GT(beside, 3 * here);
    EXPECT_NE(NewCalls().find("select restored=no cursor=4 persist=2 types=1\nstart ok dialog=yes"),
              std::string::npos)
        << NewCalls();

    // The stop let go of the stream: the program's node is gone from PipeWire.
    EXPECT_TRUE(WaitUntil([] { return !PipeWireNodeExists("korvex"); }));

    // The second recording, every step from the desktop shortcut: no dialog any more. A desktop
    // makes a new stream for every sharing, and so does the test.
    source = std::make_unique<MonitorSource>(screen.width, screen.height, 2);
    ToggleAndWait();
    region = WaitForWindow(kRegionTitle);
    ASSERT_FALSE(region.empty());
    // The field still shows the last recording's name.
    ClickAt(main, 60, 50);
    Key("ctrl+a");
    RunCommand("xdotool type --delay 20 again");
    ToggleAndWait();
    ASSERT_FALSE(WaitForWindow("^00:01$").empty());
    ToggleAndWait();
    ASSERT_TRUE(WaitUntilWritten(Video("again")));
    EXPECT_GE(std::atoi(ProbeVideo(Video("again").string())["nb_read_frames"].c_str()), 1);

    // A new start of the program, from the shortcut, still has the choice.
    source = std::make_unique<MonitorSource>(screen.width, screen.height, 2);
    program->Signal(SIGTERM);
    ASSERT_TRUE(program->WaitForExit().has_value());
    auto started = Toggle();
    main = WaitForWindow("^Korvex!$");
    ASSERT_FALSE(main.empty());
    ShowRegionAndName("restarted");
    StartAndWaitForSecond(1);
    ToggleAndWait();
    ASSERT_TRUE(WaitUntilWritten(Video("restarted")));
    started->Signal(SIGTERM);

    // The user picked the monitor once in three recordings and two starts of the program.
    const std::string calls = NewCalls();
    EXPECT_EQ(Count(calls, "dialog=yes"), 1) << calls;
    EXPECT_EQ(Count(calls, "select restored=yes"), 2) << calls;
}

TEST_F(ScreenCast, CancelAndRefusalGiveTheirMessageAndNoFile) {
    const ScreenSize screen = DisplaySize();
    MonitorSource source(screen.width, screen.height, 2);
    StartOnWayland();
    const struct {
        const char* answer;
        const char* caption;
    } cases[] = {{"cancel", "^INFORMATION$"}, {"refuse", "^FEHLER$"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        SetScreenCastAnswer(c.answer);
        ShowRegionAndName(c.answer);
        PressRecord();
        Answer(c.caption, "Return");
        EXPECT_EQ(WindowGeometry(WaitForWindow("^Korvex!$")).width, 154);
        EXPECT_FALSE(fs::exists(Video(c.answer)));
    }
    // After both, the desktop saying yes records again.
    SetScreenCastAnswer("ok");
    ShowRegionAndName("afterwards");
    StartAndWaitForSecond(1);
    Stop();
    EXPECT_TRUE(WaitUntilWritten(Video("afterwards")));
}

TEST_F(ScreenCast, AStreamThatEndsStopsTheRecordingWithAValidFile) {
    const ScreenSize screen = DisplaySize();
    MonitorSource source(screen.width, screen.height, 2);
    StartOnWayland();
    ShowRegionAndName("ended");
    StartAndWaitForSecond(2);
    source.Stop();
    Answer("^WARNUNG$", "Return");
    EXPECT_EQ(WindowGeometry(WaitForWindow("^Korvex!$")).width, 154);
    ASSERT_TRUE(WaitUntilWritten(Video("ended")));
    EXPECT_EQ(DecodeErrors(Video("ended").string()), "");
    EXPECT_GE(std::atoi(ProbeVideo(Video("ended").string())["nb_read_frames"].c_str()), 5);
}

TEST_F(ScreenCast, WithoutAPortalOrItsScreenCastTheUserIsToldAndNothingIsWritten) {
    BareBus bus(home / "bus");
    ASSERT_FALSE(bus.Address().empty());
    StartOnWayland({{"DBUS_SESSION_BUS_ADDRESS", bus.Address()}});
    ShowRegionAndName("noportal");
    PressRecord();
    Answer("^FEHLER$", "Return");
    EXPECT_FALSE(fs::exists(Video("noportal")));

    // A portal front end on that bus, but no back end that can share screens.
    const fs::path empty = home / "noportals";
    fs::create_directories(empty);
    const std::string portal = "DBUS_SESSION_BUS_ADDRESS=" + Quote(bus.Address()) +
                               " XDG_DESKTOP_PORTAL_DIR=" + Quote(empty.string()) +
                               " XDG_CURRENT_DESKTOP=none /usr/libexec/xdg-desktop-portal";
    RunCommand("(" + portal + " >/dev/null 2>&1 & echo $! > " +
               Quote((home / "portal.pid").string()) + ")");
    ASSERT_TRUE(WaitUntil([&] {
        return RunCommand("DBUS_SESSION_BUS_ADDRESS=" + Quote(bus.Address()) +
                          " dbus-send --session --print-reply --dest=org.freedesktop.DBus "
                          "/org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner "
                          "string:org.freedesktop.portal.Desktop")
                   .output.find("true") != std::string::npos;
    }));
    ShowRegionAndName("noscreencast");
    PressRecord();
    Answer("^FEHLER$", "Return");
    EXPECT_FALSE(fs::exists(Video("noscreencast")));
    RunCommand("kill $(cat " + Quote((home / "portal.pid").string()) + ")");
}
