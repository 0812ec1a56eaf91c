// The splash and the options dialog of the real program, driven as a user would: what the
// windows show, where they are, what the settings store holds and what a recording becomes.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "harness/media_probe.h"
#include "harness/sound_server.h"
#include "harness/sound_sync.h"
#include "settings/MiniReg.h"
#include "tests/support/program.h"

namespace fs = std::filesystem;
using namespace korvex::test;

namespace {

const char kSplashTitle[] = "^Korvex! Info$";
const char kOptionsTitle[] = "^Optionen$";
const char kRegionTitle[] = "^Aufnahmebereich einstellen und Aufnahme starten\\.\\.\\.$";

// Places in the options dialog's client area (group boxes at 8,8 and 8,199).
struct Spot {
    int x, y;
};
constexpr Spot kCodecList{8 + 16 + 150, 8 + 36 + 10};
constexpr Spot kFrameRateSlider{8 + 10 + 200, 8 + 82 + 11};
constexpr Spot kMinutesField{8 + 249 + 12, 8 + 128 + 10};
// The microphone's row at the foot of the recording group moves what lies below it down.
constexpr int kSoundRow = 22;
constexpr Spot kMicrophoneBox{8 + 18 + 6, 8 + 151 + 8};
constexpr Spot kSevenZipChoice{8 + 17 + 6, 177 + kSoundRow + 50 + 8};
// At this font the two archive formats do not fit one row: ZIP sits below 7z, and what
// follows moves down by that row.
constexpr int kArchiveRow = 22;
constexpr Spot kSaveButton{26 + 37, 328 + kSoundRow + kArchiveRow + 12};
constexpr Spot kCancelButton{341 + 37, 328 + kSoundRow + kArchiveRow + 12};

void Key(const std::string& keys) {
    RunCommand("xdotool key --clearmodifiers " + keys);
}

std::string Value(const std::string& name) {
    std::string text;
    if (app::ReadRegString(app::Root::CurrentUser, "SOFTWARE\\Korvex\\" + name, text)) return text;
    std::int32_t number = 0;
    if (app::ReadRegInteger(app::Root::CurrentUser, "SOFTWARE\\Korvex\\" + name, number))
        return std::to_string(number);
    return "(none)";
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
        home = fs::temp_directory_path() / ("korvex-dlg-" + std::to_string(getpid()));
        fs::remove_all(home);
        fs::create_directories(home);
        // The program's settings live under home/config; the test reads them there too.
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    }
    void TearDown() override {
        program.reset();
        fs::remove_all(home);
    }

    void Start(const std::string& locale = "de_DE.UTF-8", const Environment& environment = {}) {
        program = std::make_unique<Program>(ProgramBinary(), home, locale, environment);
    }
    void StartAndWaitForMainWindow() {
        Start();
        main = WaitForWindow("^Korvex!$");
        ASSERT_FALSE(main.empty());
    }

    // The Tools button, then the dialog it opens.
    std::string OpenOptions() {
        ClickAt(main, 116 + 18, 2 + 18);
        return WaitForWindow(kOptionsTitle);
    }
    void Press(const std::string& dialog, Spot spot) { ClickAt(dialog, spot.x, spot.y); }
    void CloseDialog(const std::string& dialog, Spot button) {
        Press(dialog, button);
        ASSERT_TRUE(WaitUntil([] { return FindWindows(kOptionsTitle).empty(); }));
    }

    // A recording of the region as it stands, named name: the Record button, the name in place
    // of the one offered, the Record button again, and the Record button once the caption shows
    // 00:02. The file once the program has let go of it; empty when a step failed.
    fs::path Record(const std::string& name) {
        ClickAt(main, 20, 20);
        if (WaitForWindow(kRegionTitle).empty()) return {};
        // The field offers the last name; a new one replaces it.
        ClickAt(main, 60, 50);
        Key("ctrl+a");
        RunCommand("xdotool type --delay 20 " + name);
        ClickAt(main, 20, 20);
        const std::string recording = WaitForWindow("^00:02$");
        if (recording.empty()) return {};
        ClickAt(recording, 20, 20);
        if (WaitForWindow("^Korvex!$").empty()) return {};
        const fs::path video = home / "Video" / (name + ".avi");
        return WaitUntilWritten(video) ? video : fs::path();
    }

    fs::path home;
    std::unique_ptr<Program> program;
    std::string main;
};

}  // namespace

TEST_F(Dialogs, TheSplashRunsItsWholeCourseBeforeTheMainWindow) {
    Start();
    const std::string splash = WaitForWindow(kSplashTitle);
    ASSERT_FALSE(splash.empty());
    const auto seen = std::chrono::steady_clock::now();
    const Geometry place = WindowGeometry(splash);
    EXPECT_EQ(place.x + place.width, 1366 - 136);
    EXPECT_EQ(place.y, 2);
    EXPECT_EQ(place.width, 296);
    EXPECT_EQ(place.height, 147);

    RunCommand("xdotool windowfocus --sync " + splash + " key a Escape space Return");
    EXPECT_FALSE(FindWindows(kSplashTitle).empty());
    EXPECT_TRUE(FindWindows("^Korvex!$").empty());

    main = WaitForWindow("^Korvex!$");
    ASSERT_FALSE(main.empty());
    const auto course = std::chrono::duration<double>(std::chrono::steady_clock::now() - seen);
    EXPECT_TRUE(FindWindows(kSplashTitle).empty());
    // Its nominal course is 3.17 s; it was seen a little after it began.
    std::cout << "splash seen for " << course.count() << " s\n";
    EXPECT_GT(course.count(), 2.5);
}

TEST_F(Dialogs, ASignalDuringTheSplashEndsTheStartCleanly) {
    Start();
    ASSERT_FALSE(WaitForWindow(kSplashTitle).empty());
    program->Signal(SIGTERM);
    EXPECT_EQ(program->WaitForExit(), 0);
    EXPECT_FALSE(fs::exists(home / "7za.dll"));
}

TEST_F(Dialogs, AnEnglishLinkOpensTheEnglishPage) {
    // A handler of web addresses that notes what it was given.
    const fs::path bin = home / "bin";
    fs::create_directories(bin);
    const fs::path opened = home / "opened";
    {
        std::ofstream handler(bin / "xdg-open");
        handler << "#!/bin/sh\necho \"$@\" >> " << Quote(opened.string()) << "\n";
    }
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    Start("en_GB.UTF-8", {{"PATH", bin.string() + ":" + std::getenv("PATH")}});
    const std::string splash = WaitForWindow(kSplashTitle);
    ASSERT_FALSE(splash.empty());
    ClickAt(splash, 100, 122);
    EXPECT_TRUE(WaitUntil([&] {
        std::ifstream in(opened);
        std::stringstream text;
        text << in.rdbuf();
        return text.str() == "https://korvex.github.io/en/tools.html\n";
    }));
    EXPECT_FALSE(WaitForWindow("^Korvex!$").empty());
}

TEST_F(Dialogs, OptionsSaveWhatTheyShowAndCancelKeepsTheStore) {
    ASSERT_TRUE(app::WriteRegInteger(app::Root::CurrentUser,
                                     "SOFTWARE\\Korvex\\max. recording time", 59 * 60));
    StartAndWaitForMainWindow();
    std::string options = OpenOptions();
    ASSERT_FALSE(options.empty());
    const Geometry size = WindowGeometry(options);
    EXPECT_EQ(size.width, 444);
    EXPECT_EQ(size.height, 367 + kSoundRow + kArchiveRow);
    Press(options, kMinutesField);
    Key("Up");
    CloseDialog(options, kSaveButton);
    EXPECT_EQ(Value("mspf"), "200");
    EXPECT_EQ(Value("max. recording time"), "3600");
    EXPECT_EQ(Value("compressor"), "0");  // none chosen opens at the first codec
    EXPECT_EQ(Value("compression in 7-zip format"), "no");

    options = OpenOptions();
    ASSERT_FALSE(options.empty());
    Press(options, kSevenZipChoice);
    CloseDialog(options, kCancelButton);
    EXPECT_EQ(Value("compression in 7-zip format"), "no");
    // The choice holds for the running program: the next save stores it unasked.
    options = OpenOptions();
    ASSERT_FALSE(options.empty());
    CloseDialog(options, kSaveButton);
    EXPECT_EQ(Value("compression in 7-zip format"), "yes");
}

TEST_F(Dialogs, ARecordingUsesTheCodecAndRateChosen) {
    StartAndWaitForMainWindow();
    const std::string options = OpenOptions();
    ASSERT_FALSE(options.empty());
    Press(options, kCodecList);
    Key("Down Return");
    Press(options, kFrameRateSlider);
    Key("Home Right Right Right Right Right Right Right");
    CloseDialog(options, kSaveButton);
    ASSERT_EQ(Value("compressor"), "1");
    ASSERT_EQ(Value("mspf"), "100");

    const fs::path video = Record("chosen");
    ASSERT_FALSE(video.empty());
    auto probe = ProbeVideo(video.string());
    std::cout << "recorded with " << probe["codec_name"] << "\n";
    EXPECT_NE(probe["codec_name"], "msvideo1");
    EXPECT_EQ(probe["r_frame_rate"], "10/1");
}

// The microphone's check box saved, then two recordings one after the other, each with the tone
// that plays into the default input, as long as its pictures.
TEST_F(Dialogs, RecordingsCarryTheMicrophoneOnceTheBoxIsTicked) {
    SoundServer server;
    SoundPlayer player;
    player.Play(Tone(1000, 48000 * 60, 12000));
    StartAndWaitForMainWindow();
    const std::string options = OpenOptions();
    ASSERT_FALSE(options.empty());
    Press(options, kMicrophoneBox);
    CloseDialog(options, kSaveButton);
    EXPECT_EQ(Value("record microphone"), "yes");
    for (const char* name : {"spoken", "again"}) {
        SCOPED_TRACE(name);
        const fs::path video = Record(name);
        ASSERT_FALSE(video.empty());
        auto sound = ProbeSound(video.string());
        auto pictures = ProbeVideo(video.string());
        EXPECT_EQ(sound["codec_name"], "pcm_s16le");
        EXPECT_EQ(sound["sample_rate"], "48000");
        EXPECT_NEAR(std::stod(sound["nb_frames"]) / 48000, std::stod(pictures["duration"]), 0.2);
        EXPECT_NEAR(Pitch(DecodeSound(video.string())), 1000, 2);
        EXPECT_EQ(DecodeErrors(video.string()), "");
    }
}

// Without a sound server the user is told when the recording starts, and it goes on silent.
TEST_F(Dialogs, WithoutASoundServerTheRecordingGoesOnSilent) {
    ASSERT_TRUE(
        app::WriteRegString(app::Root::CurrentUser, "SOFTWARE\\Korvex\\record microphone", "yes"));
    Start("de_DE.UTF-8", {{"PULSE_SERVER", "unix:/nonexistent/korvex/native"}});
    main = WaitForWindow("^Korvex!$");
    ASSERT_FALSE(main.empty());
    ClickAt(main, 20, 20);
    ASSERT_FALSE(WaitForWindow(kRegionTitle).empty());
    ClickAt(main, 60, 50);
    RunCommand("xdotool type --delay 20 silent");
    ClickAt(main, 20, 20);
    const std::string warning = WaitForWindow("^WARNUNG$");
    ASSERT_FALSE(warning.empty());
    RunCommand("xdotool windowactivate --sync " + warning + " key --clearmodifiers Return");
    ASSERT_TRUE(WaitUntil([&] { return FindWindows("^WARNUNG$").empty(); }));
    const std::string recording = WaitForWindow("^00:02$");
    ASSERT_FALSE(recording.empty());
    ClickAt(recording, 20, 20);
    ASSERT_FALSE(WaitForWindow("^Korvex!$").empty());
    const fs::path video = home / "Video" / "silent.avi";
    ASSERT_TRUE(WaitUntilWritten(video));
    EXPECT_TRUE(ProbeSound(video.string()).empty());
    EXPECT_GE(std::atoi(ProbeVideo(video.string())["nb_read_frames"].c_str()), 10);
}
