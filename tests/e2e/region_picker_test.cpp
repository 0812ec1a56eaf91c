// The target window picker with windows of other "programs" of known titles and sizes: what it
// lists, the rectangle or state the region frame takes over, and the name it proposes, seen as
// the file that the next recording writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "harness/media_probe.h"
#include "tests/e2e/session.h"
#include "tests/support/test_window.h"

namespace fs = std::filesystem;
using namespace korvex::test;

namespace {

class Picker : public Session {
protected:
    // Drops the list down and picks entry n (1 = the first) with the keyboard; 0 closes the
    // list without a choice.
    void DropDown() {
        // Windows made after the frame lie over it: the user brings it up first.
        RunCommand("xdotool windowactivate --sync " + region);
        ClickAt(region, 30, 14);
    }

    void Pick(int n) {
        DropDown();
        std::string keys;
        for (int i = 0; i < n; ++i) keys += " Down";
        Key(keys + (n > 0 ? " Return" : " Escape"));
    }

    // How many pixels of the picker's text area are dark: its text, black on white.
    int PickerTextPixels() {
        const Geometry g = WindowGeometry(region);
        const std::string rgb =
            RunCommand("ffmpeg -loglevel error -f x11grab -draw_mouse 0 -video_size 200x13 -i " +
                       std::string(std::getenv("DISPLAY")) + "+" + std::to_string(g.x + 8) + "," +
                       std::to_string(g.y + 8) + " -frames:v 1 -f rawvideo -pix_fmt gray -")
                .output;
        return static_cast<int>(std::count_if(
            rgb.begin(), rgb.end(), [](char c) { return static_cast<unsigned char>(c) < 96; }));
    }

    bool RegionBecomes(const Geometry& expected) {
        return WaitUntil([&] { return WindowGeometry(region) == expected; });
    }

    // The name proposed is the one the next recording is written under.
    void ExpectRecordedAs(const std::string& name) {
        StartAndWaitForSecond(1);
        Stop();
        EXPECT_TRUE(WaitUntilWritten(home / "Video" / (name + ".avi"))) << name;
    }
};

TEST_F(Picker, ListsOtherProgramsWindowsAndAdoptsTheChosenOnesRectangleAndName) {
    // Mapped oldest first; the list shows the newest first. The filtered ones are older than
    // the two listed, so a list holding any of them would end with it.
    TestWindow desktop({"Program Manager", 0, 0, 640, 480});
    TestWindow blank({" \t ", 20, 20, 640, 480});
    TestWindow narrow({"Narrow", 30, 30, 199, 480});
    TestWindow low({"Low", 40, 40, 640, 149});
    TestWindow own({"about korvex! here", 50, 50, 640, 480});
    TestWindow editor({"C:\\Data\\report.txt - Editor", 10, 20, 800, 600});
    TestWindow sized({"Größe: 50% (neu)", 300, 200, 400, 300});
    Start();
    ShowRegion();
    const Geometry before = WindowGeometry(region);

    Pick(0);
    EXPECT_EQ(WindowGeometry(region), before) << "closed without a choice";

    Pick(9);
    ASSERT_TRUE(RegionBecomes({10, 20, 800, 600})) << WindowGeometry(region);
    ExpectRecordedAs("C_Data_report_txt - Editor");

    ShowRegion();
    Pick(1);
    ASSERT_TRUE(RegionBecomes({300, 200, 400, 300})) << WindowGeometry(region);
    ExpectRecordedAs("Größe 50 neu");
}

TEST_F(Picker, WithNoWindowToOfferThePlaceholderStays) {
    Start();
    ShowRegion();
    ASSERT_GT(PickerTextPixels(), 0);
    DropDown();
    EXPECT_FALSE(WaitUntil([&] { return PickerTextPixels() == 0; }, std::chrono::seconds(3)))
        << "the picker went blank";
}

TEST_F(Picker, MaximisedMinimisedLongAndVanishedChoices) {
    Start();
    ShowRegion();
    const Geometry before = WindowGeometry(region);
    {
        // Gone between the drop-down and the choice: nothing changes, nothing is said.
        TestWindow leaving({"Leaving", 100, 100, 500, 400});
        DropDown();
        leaving.Destroy();
        Key("Down Return");
        EXPECT_FALSE(
            WaitUntil([&] { return WindowGeometry(region) != before; }, std::chrono::seconds(2)));
        EXPECT_TRUE(FindWindows("^(FEHLER|WARNUNG|INFORMATION)$").empty());
    }
    {
        TestWindow hidden({"Hidden", 60, 70, 500, 400});
        hidden.Minimise();
        Pick(1);
        ASSERT_TRUE(RegionBecomes({60, 70, 500, 400})) << WindowGeometry(region);
        EXPECT_FALSE(FindWindows("^Hidden$").empty()) << "restored first";
    }
    {
        // Cut to 100 characters before the characters are filtered: 50 "b" remain.
        TestWindow wide({std::string(50, '!') + std::string(100, 'b'), 0, 0, 1366, 768});
        wide.Maximise();
        Pick(1);
        ASSERT_TRUE(RegionBecomes({0, 0, 1366, 768})) << WindowGeometry(region);
        ExpectRecordedAs(std::string(50, 'b'));
    }
}

}  // namespace
