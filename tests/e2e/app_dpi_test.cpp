// The program on a desktop whose Xft.dpi asks for twice the usual size: every window still counts
// device pixels, so the toolbar keeps its size, the region frame looks the same and tells the
// size it has, and the recording is exactly the frame's rectangle and shows what lies under it.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>

#include "harness/media_probe.h"
#include "harness/moving_pattern.h"
#include "tests/support/program.h"

namespace fs = std::filesystem;
using namespace korvex::test;

namespace {

const char kRegionTitle[] = "^Aufnahmebereich einstellen und Aufnahme starten\\.\\.\\.$";

void SetDpi(int dpi) {
    RunCommand("printf 'Xft.dpi: " + std::to_string(dpi) + "\\n' | xrdb -merge");
}

// What the screen shows in the middle 200 x 80 pixels of the rectangle, where the frame draws
// its rings and its size, as packed RGB24 rows.
std::string MiddleOf(const Geometry& g) {
    const std::string at = std::string(std::getenv("DISPLAY")) + "+" +
                           std::to_string(g.x + g.width / 2 - 100) + "," +
                           std::to_string(g.y + g.height / 2 - 40);
    return RunCommand("ffmpeg -v error -nostdin -f x11grab -video_size 200x80 -i " + Quote(at) +
                      " -frames:v 1 -f rawvideo -pix_fmt rgb24 -")
        .output;
}

class HighDpi : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
        home = fs::temp_directory_path() / ("korvex-dpi-" + std::to_string(getpid()));
        fs::remove_all(home);
        fs::create_directories(home);
    }
    void TearDown() override {
        SetDpi(96);
        fs::remove_all(home);
    }
    fs::path home;
};

}  // namespace

TEST_F(HighDpi, WindowsAndTheRecordingCountDevicePixels) {
    std::string frameAt96;
    for (const int dpi : {96, 192}) {
        SCOPED_TRACE(dpi);
        SetDpi(dpi);
        Program korvex(ProgramBinary(), home);
        const std::string main = WaitForWindow("^Korvex!$");
        ASSERT_FALSE(main.empty());
        const Geometry toolbar = WindowGeometry(main);
        EXPECT_EQ(toolbar.width, 154);
        EXPECT_EQ(toolbar.height, 63);

        ClickAt(main, 20, 20);
        const std::string region = WaitForWindow(kRegionTitle);
        ASSERT_FALSE(region.empty());
        const Geometry frame = WindowGeometry(region);
        EXPECT_EQ(frame.width, 640);
        EXPECT_EQ(frame.height, 480);
        // At 96 dpi nothing is scaled: the frame shows "640x480" as it should. Elsewhere it
        // must look the same, pixel for pixel.
        std::string shown;
        if (dpi == 96) {
            ASSERT_TRUE(WaitUntil([&] {
                shown = MiddleOf(frame);
                return !shown.empty() && shown == MiddleOf(frame);
            }));
            frameAt96 = shown;
        } else {
            EXPECT_TRUE(WaitUntil([&] { return MiddleOf(frame) == frameAt96; }));
        }

        const MovingPattern under(frame.x, frame.y, frame.width, frame.height);
        const std::string name = "dpi" + std::to_string(dpi);
        ClickAt(main, 60, 50);
        RunCommand("xdotool type --delay 20 " + name);
        ClickAt(main, 20, 20);
        const std::string recording = WaitForWindow("^00:02$");
        ASSERT_FALSE(recording.empty());
        ClickAt(recording, 20, 20);
        const fs::path video = home / "Video" / (name + ".avi");
        ASSERT_TRUE(WaitUntilWritten(video));
        auto probe = ProbeVideo(video.string());
        EXPECT_EQ(probe["width"], std::to_string(frame.width));
        EXPECT_EQ(probe["height"], std::to_string(frame.height));
        const std::vector<std::uint8_t> picture = DecodeFrameRgb(video.string(), 5);
        ASSERT_EQ(picture.size(), static_cast<std::size_t>(frame.width) * frame.height * 3);
        // The still quadrants of the pattern, near their corners.
        for (const int y : {20, frame.height - 20}) {
            for (const int x : {20, frame.width - 20}) {
                const std::uint32_t wanted =
                    MovingPattern::QuadrantColor(x, y, frame.width, frame.height);
                EXPECT_TRUE(NearRgb(&picture[(y * frame.width + x) * 3], wanted, 40))
                    << "at " << x << "," << y;
            }
        }
        korvex.Signal(SIGTERM);
        EXPECT_EQ(korvex.WaitForExit(), 0);
    }
}
