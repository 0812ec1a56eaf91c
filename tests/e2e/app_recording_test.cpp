// The whole recording cycle driven through the toolbar and Win+S as a user would, reading only
// what a user sees or finds: window titles and sizes, message boxes and files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "harness/media_probe.h"
#include "settings/MiniReg.h"
#include "tests/e2e/session.h"
#include "tests/unit/avifile_test_support.h"

namespace fs = std::filesystem;
using namespace korvex::test;

namespace {

// The chunk tree of an AVI file with the frames of each 'movi' left out (their number depends
// on the length), and whether the main header claims an index.
std::string Structure(const fs::path& file) {
    const avitest::FileBytes bytes(file);
    const auto chunks = avitest::ReadChunks(bytes);
    if (!chunks || chunks->empty()) return "no RIFF file";
    std::function<std::string(const avitest::Chunk&)> tree = [&](const avitest::Chunk& c) {
        std::string text = c.id + (c.type.empty() ? "" : ":" + c.type) + "(";
        for (const avitest::Chunk& child : c.children) {
            if (c.type == "movi" && &child != &c.children.back()) continue;
            text += tree(child);
        }
        return text + ")";
    };
    std::string text = "flags " + std::to_string(bytes.U32(44)) + " ";
    for (const avitest::Chunk& part : *chunks) text += tree(part);
    return text;
}

}  // namespace

using Recording = Session;

TEST_F(Recording, TheWholeCycleThroughTheToolbar) {
    Start();
    EXPECT_EQ(WindowGeometry(main).width, 154);
    ShowRegionAndName("demo");
    // Starting, then Recording: the compact toolbar counts the seconds.
    StartAndWaitForSecond(0);
    // The start notice shows for the second before the engine starts.
    EXPECT_FALSE(FindWindows(kRegionTitle).empty());
    ASSERT_FALSE(WaitForWindow("^00:01$").empty());
    EXPECT_TRUE(FindWindows(kRegionTitle).empty());
    const Geometry compact = WindowGeometry(recordingWindow);
    EXPECT_EQ(compact.width, 40);
    EXPECT_EQ(compact.height, 40);
    ASSERT_FALSE(WaitForWindow("^00:02$").empty());
    // Closing is refused while recording.
    RunCommand("xdotool windowactivate --sync " + recordingWindow + " key --clearmodifiers alt+F4");
    EXPECT_TRUE(program->Running());
    EXPECT_FALSE(WaitForWindow("^00:03$").empty());
    Stop();
    EXPECT_EQ(WindowGeometry(main).width, 154);

    const fs::path video = home / "Video" / "demo.avi";
    ASSERT_TRUE(WaitUntilWritten(video));
    auto probe = ProbeVideo(video.string());
    EXPECT_EQ(probe["codec_name"], "msvideo1");
    EXPECT_EQ(probe["width"], "640");
    EXPECT_EQ(probe["height"], "480");
    EXPECT_GE(std::atoi(probe["nb_read_frames"].c_str()), 10);

    // The new video is the selected one: Delete from the context menu removes it and its
    // archives.
    std::ofstream(home / "Video" / "demo.zip") << "zip";
    std::ofstream(home / "Video" / "demo.7z") << "7z";
    ClickAt(main, 60, 50, 3);
    Key("Down Return");
    EXPECT_TRUE(WaitUntil([&] { return !fs::exists(video); }));
    EXPECT_FALSE(fs::exists(home / "Video" / "demo.zip"));
    EXPECT_FALSE(fs::exists(home / "Video" / "demo.7z"));

    // Closing right after the stop works; with no video left nothing is asked.
    RunCommand("xdotool windowactivate --sync " + main + " key --clearmodifiers alt+F4");
    EXPECT_EQ(program->WaitForExit(), 0);
}

// Started with "-display" and no DISPLAY, as a launcher may: the hot key, the marks and the
// grabber all reach the display the windows are on.
TEST_F(Recording, SuperSDoesWhatTheRecordButtonDoesOnTheDisplayGivenByArgument) {
    Start({{"DISPLAY", ""}}, {"-display", std::getenv("DISPLAY")});
    Key("super+s");
    region = WaitForWindow(kRegionTitle);
    ASSERT_FALSE(region.empty());
    ClickAt(main, 60, 50);
    RunCommand("xdotool type --delay 20 hotkey");
    Key("super+s");
    recordingWindow = WaitForWindow("^00:01$");
    ASSERT_FALSE(recordingWindow.empty());
    Key("super+s");
    ASSERT_FALSE(WaitForWindow("^Korvex!$").empty());
    EXPECT_TRUE(FindWindows("^FEHLER$|^Error").empty());
    EXPECT_TRUE(WaitUntilWritten(home / "Video" / "hotkey.avi"));
    auto probe = ProbeVideo((home / "Video" / "hotkey.avi").string());
    EXPECT_EQ(probe["codec_name"], "msvideo1");
    EXPECT_GE(std::atoi(probe["nb_read_frames"].c_str()), 5);
}

TEST_F(Recording, NoNameGivesTheNoticeAndAToggleMeanwhileDoesNothing) {
    Start();
    PressRecord();
    region = WaitForWindow(kRegionTitle);
    ASSERT_FALSE(region.empty());
    PressRecord();
    const std::string box = WaitForWindow("^INFORMATION$");
    ASSERT_FALSE(box.empty());
    // While the box is open, Win+S changes nothing: no second box, no start.
    Key("super+s");
    EXPECT_EQ(FindWindows("^INFORMATION$").size(), 1u);
    EXPECT_FALSE(FindWindows(kRegionTitle).empty());
    Answer("^INFORMATION$", "Return");
    EXPECT_FALSE(FindWindows(kRegionTitle).empty());
    EXPECT_FALSE(FindWindows("^Korvex!$").empty());
    EXPECT_TRUE(fs::is_empty(home / "Video"));
}

TEST_F(Recording, AnExistingNameWarnsCancelKeepsReadyOkOverwrites) {
    fs::create_directories(home / "Video");
    std::ofstream(home / "Video" / "old.avi") << "not yet a video";
    Start();
    ShowRegionAndName("old");
    PressRecord();
    Answer("^WARNUNG$", "Escape");
    EXPECT_FALSE(FindWindows(kRegionTitle).empty());
    EXPECT_EQ(fs::file_size(home / "Video" / "old.avi"), 15u);
    PressRecord();
    Answer("^WARNUNG$", "Return");
    StartAndWaitForSecond(1);
    Stop();
    EXPECT_TRUE(WaitUntilWritten(home / "Video" / "old.avi"));
    EXPECT_GT(fs::file_size(home / "Video" / "old.avi"), 15u);
    EXPECT_EQ(ProbeVideo((home / "Video" / "old.avi").string())["codec_name"], "msvideo1");
}

TEST_F(Recording, TypedNameLosesFullStopsAndSlashes) {
    Start();
    ShowRegionAndName("a.b/c");
    StartAndWaitForSecond(1);
    Stop();
    EXPECT_TRUE(WaitUntilWritten(home / "Video" / "abc.avi"));
}

TEST_F(Recording, TooLittleFreeSpaceRefusesTheStart) {
    const fs::path small = home / "small";
    fs::create_directories(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=150m,mode=0700") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    }
    const fs::path outer = home;
    home = small;
    Start();
    ShowRegionAndName("full");
    PressRecord();
    const std::string box = WaitForWindow("^FEHLER$");
    ASSERT_FALSE(box.empty());
    Answer("^FEHLER$", "Return");
    EXPECT_FALSE(FindWindows(kRegionTitle).empty());
    EXPECT_FALSE(fs::exists(small / "Video" / "full.avi"));
    program.reset();
    ::umount(small.c_str());
    home = outer;
}

TEST_F(Recording, ClosingWithVideosAsksAndNoKeepsThem) {
    fs::create_directories(home / "Video");
    std::ofstream(home / "Video" / "keep.avi") << "x";
    std::ofstream(home / "Video" / "lonely.zip") << "x";
    Start();
    RunCommand("xdotool windowactivate --sync " + main + " key --clearmodifiers alt+F4");
    Answer("^FRAGE$", "n");
    EXPECT_EQ(program->WaitForExit(), 0);
    EXPECT_TRUE(fs::exists(home / "Video" / "keep.avi"));

    Start();
    RunCommand("xdotool windowactivate --sync " + main + " key --clearmodifiers alt+F4");
    Answer("^FRAGE$", "j");
    EXPECT_EQ(program->WaitForExit(), 0);
    EXPECT_FALSE(fs::exists(home / "Video" / "keep.avi"));
    // An archive without its video is not touched.
    EXPECT_TRUE(fs::exists(home / "Video" / "lonely.zip"));
}

// Delete acts on the file the chosen entry stands for, whatever its name holds: " Rand .avi" is
// listed as " Rand " and is not "Rand.avi"; "zz.avi.avi" is listed as "zz".
TEST_F(Recording, DeleteRemovesExactlyTheListedFile) {
    const fs::path folder = home / "Video";
    fs::create_directories(folder);
    for (const char* name : {" Rand .avi", "Rand.avi", "zz.avi.avi", "zz.avi.zip"}) {
        std::ofstream(folder / name) << "x";
    }
    Start();
    auto deleteEntry = [&](const std::string& keys) {
        ClickAt(main, 60, 50);
        Key(keys);
        ClickAt(main, 60, 50, 3);
        Key("Down Return");
    };
    deleteEntry("Home Return");
    EXPECT_TRUE(WaitUntil([&] { return !fs::exists(folder / " Rand .avi"); }));
    EXPECT_TRUE(fs::exists(folder / "Rand.avi"));
    deleteEntry("End Return");
    EXPECT_TRUE(WaitUntil([&] { return !fs::exists(folder / "zz.avi.avi"); }));
    EXPECT_FALSE(fs::exists(folder / "zz.avi.zip"));
    EXPECT_TRUE(fs::exists(folder / "Rand.avi"));
}

TEST_F(Recording, RegionFrameMaximisesAndRestoresExactly) {
    Start();
    PressRecord();
    region = WaitForWindow(kRegionTitle);
    ASSERT_FALSE(region.empty());
    const Geometry before = WindowGeometry(region);
    EXPECT_EQ(before.width, 640);
    EXPECT_EQ(before.height, 480);
    ClickAt(region, before.width - 38 + 9, 8);
    ASSERT_TRUE(WaitUntil([&] { return WindowGeometry(region).width == 1366; }));
    ClickAt(region, 1366 - 38 + 9, 8);
    ASSERT_TRUE(WaitUntil([&] { return WindowGeometry(region).width == 640; }));
    const Geometry after = WindowGeometry(region);
    EXPECT_EQ(after.x, before.x);
    EXPECT_EQ(after.y, before.y);
    EXPECT_EQ(after.height, before.height);
    // Closing the frame returns the toolbar to idle: the next press shows the frame again.
    ClickAt(region, 640 - 19 + 9, 8);
    ASSERT_TRUE(WaitGone(kRegionTitle));
    PressRecord();
    EXPECT_FALSE(WaitForWindow(kRegionTitle).empty());
}

TEST_F(Recording, TheMaximumTimeEndsTheRecordingWithItsNotice) {
    // The program's settings live under home/config; a short maximum time is stored there.
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    ASSERT_TRUE(
        app::WriteRegInteger(app::Root::CurrentUser, "SOFTWARE\\Korvex\\max. recording time", 2));
    Start();
    ShowRegionAndName("short");
    StartAndWaitForSecond(1);
    Answer("^INFORMATION$", "Return");
    EXPECT_FALSE(WaitForWindow("^Korvex!$").empty());
    EXPECT_TRUE(WaitUntilWritten(home / "Video" / "short.avi"));
    EXPECT_EQ(ProbeVideo((home / "Video" / "short.avi").string())["codec_name"], "msvideo1");
    // Idle again: the next press shows the region.
    PressRecord();
    EXPECT_FALSE(WaitForWindow(kRegionTitle).empty());
}

TEST_F(Recording, TheWindowPositionSurvivesARestart) {
    Start();
    RunCommand("xdotool windowmove --sync " + main + " 300 200");
    const Geometry moved = WindowGeometry(main);
    RunCommand("xdotool windowactivate --sync " + main + " key --clearmodifiers alt+F4");
    ASSERT_EQ(program->WaitForExit(), 0);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    std::string position;
    ASSERT_TRUE(app::ReadRegString(app::Root::CurrentUser, "SOFTWARE\\Korvex\\position", position));
    Start();
    const Geometry again = WindowGeometry(main);
    EXPECT_EQ(again.x, moved.x) << position;
    EXPECT_EQ(again.y, moved.y) << position;
}

TEST_F(Recording, TerminationSignalsEndTheRecordingAndTheProgramAsAStopAndCloseWould) {
    Start();
    ShowRegionAndName("stopped");
    StartAndWaitForSecond(2);
    Stop();
    ASSERT_TRUE(WaitUntilWritten(home / "Video" / "stopped.avi"));
    RunCommand("xdotool windowactivate --sync " + main + " key --clearmodifiers alt+F4");
    Answer("^FRAGE$", "n");
    ASSERT_EQ(program->WaitForExit(), 0);
    const std::string stopped = Structure(home / "Video" / "stopped.avi");
    ASSERT_NE(stopped.find("idx1"), std::string::npos) << stopped;

    // Logout, Ctrl+C in a terminal, a closed terminal: no question about deleting the videos
    // (there are some), none deleted, the libraries gone.
    for (const auto& [signal, name] :
         {std::pair{SIGTERM, "term"}, {SIGINT, "int"}, {SIGHUP, "hup"}}) {
        SCOPED_TRACE(name);
        Start();
        ShowRegionAndName(name);
        StartAndWaitForSecond(2);
        program->Signal(signal);
        ASSERT_EQ(program->WaitForExit(), 0);
        const fs::path video = home / "Video" / (std::string(name) + ".avi");
        EXPECT_EQ(Structure(video), stopped);
        EXPECT_GE(std::stod(ProbeVideo(video.string())["duration"]), 2.0);
        EXPECT_TRUE(fs::exists(home / "Video" / "stopped.avi"));
        EXPECT_FALSE(fs::exists(home / "Korvex.dll"));
        EXPECT_FALSE(fs::exists(home / "7za.dll"));
    }
}
