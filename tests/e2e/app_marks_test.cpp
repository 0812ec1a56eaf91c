// Clicks and keys as marks in the video: real input (xdotool) during a recording, judged by
// decoding the AVI near the still pointer; the hook library missing or replaced; nothing of
// the library's left over after two recordings.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "harness/media_probe.h"
#include "settings/MiniReg.h"
#include "tests/e2e/session.h"
#include "tests/support/test_window.h"

namespace fs = std::filesystem;
using namespace korvex::test;

namespace {

constexpr int kPatch = 32;  // the cursor images' size, drawn with their hot spot at (0, 0)
using Patch = std::vector<std::uint8_t>;

// Pixels whose colour differs clearly; the codec's own error stays far below the threshold.
int Differing(const Patch& a, const Patch& b) {
    int count = 0;
    for (std::size_t i = 0; i + 2 < a.size(); i += 3) {
        int most = 0;
        for (int c = 0; c < 3; ++c) most = std::max(most, std::abs(a[i + c] - b[i + c]));
        if (most > 64) ++count;
    }
    return count;
}
bool Same(const Patch& a, const Patch& b) {
    return Differing(a, b) < 8;
}

// The square under the pointer in every frame, decoded by ffmpeg.
std::vector<Patch> PointerPatches(const fs::path& video, int x, int y) {
    const CommandResult r =
        RunCommand("ffmpeg -v error -i " + Quote(video.string()) +
                   " -vf crop=" + std::to_string(kPatch) + ":" + std::to_string(kPatch) + ":" +
                   std::to_string(x) + ":" + std::to_string(y) + " -f rawvideo -pix_fmt rgb24 -");
    const std::size_t size = kPatch * kPatch * 3;
    std::vector<Patch> patches;
    for (std::size_t at = 0; at + size <= r.output.size(); at += size) {
        patches.emplace_back(r.output.begin() + at, r.output.begin() + at + size);
    }
    return patches;
}

// The plain pointer at rest: the picture most frames show.
std::size_t Plain(const std::vector<Patch>& patches) {
    std::size_t best = 0, bestCount = 0;
    for (std::size_t i = 0; i < patches.size(); ++i) {
        const auto count = std::count_if(patches.begin(), patches.end(),
                                         [&](const Patch& p) { return Same(p, patches[i]); });
        if (static_cast<std::size_t>(count) > bestCount) {
            best = i;
            bestCount = static_cast<std::size_t>(count);
        }
    }
    return best;
}

// Runs of frames that differ from the plain pointer while it rests (from its first to its last
// plain frame), each by its middle frame.
std::vector<Patch> Marks(const std::vector<Patch>& patches) {
    std::vector<Patch> marks;
    if (patches.empty()) return marks;
    // Frame 0 is taken before the pointer comes to rest in the region.
    std::vector<Patch> resting;
    std::copy_if(patches.begin(), patches.end(), std::back_inserter(resting),
                 [&](const Patch& p) { return !Same(p, patches.front()); });
    if (resting.empty()) return marks;
    const Patch plain = resting[Plain(resting)];
    std::size_t first = 0, last = patches.size() - 1;
    while (first < last && !Same(patches[first], plain)) ++first;
    while (last > first && !Same(patches[last], plain)) --last;
    std::size_t run = 0;
    for (std::size_t i = first; i <= last; ++i) {
        if (!Same(patches[i], plain)) {
            ++run;
        } else if (run > 0) {
            EXPECT_LE(run, 4u) << "a mark lasts about 400 ms, two or three frames";
            marks.push_back(patches[i - 1 - run / 2]);
            run = 0;
        }
    }
    return marks;
}

class Marks_ : public Session {
protected:
    // A still white window under the region, with the pointer resting on it; returns the
    // pointer's place within the recorded frames.
    std::pair<int, int> PrepareStillScene() {
        if (!program) StartOverStillWindow();
        ShowRegionAndName("marks");
        const Geometry frame = WindowGeometry(region);
        const int x = frame.x + frame.width / 2 + 60, y = frame.y + frame.height / 2 + 60;
        pointer_ = "xdotool mousemove " + std::to_string(x) + " " + std::to_string(y);
        return {x - frame.x, y - frame.y};
    }

    // Each action, then a second of rest, as a user would.
    void Perform(const std::vector<std::string>& actions) {
        for (const std::string& action : actions) {
            RunCommand(action);
            std::this_thread::sleep_for(std::chrono::seconds(1));
        }
    }

    // The window first: the toolbar, always on top, stays above it. The plain arrow, not the
    // blinking highlight, so that the pointer at rest looks the same in every frame.
    void StartOverStillWindow() {
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        ASSERT_TRUE(app::WriteRegString(app::Root::CurrentUser,
                                        "SOFTWARE\\Korvex\\use highlight cursor", "no"));
        background_ = std::make_unique<TestWindow>(TestWindowOptions{"Still", 0, 0, 1366, 768});
        Start();
    }

    std::vector<Patch> RecordMarks(const std::vector<std::string>& actions) {
        const auto [x, y] = PrepareStillScene();
        StartAndWaitForSecond(1);
        // Away from the Record button, at rest before the first action.
        std::vector<std::string> all{pointer_};
        all.insert(all.end(), actions.begin(), actions.end());
        Perform(all);
        // The clicks raised the still window; the user brings the toolbar back up.
        RunCommand("xdotool windowactivate --sync " + recordingWindow);
        Stop();
        const fs::path video = home / "Video" / "marks.avi";
        EXPECT_TRUE(WaitUntilWritten(video));
        return Marks(PointerPatches(video, x, y));
    }

    std::string Pid() {
        std::string pid = RunCommand("xdotool getwindowpid " + main).output;
        pid.erase(pid.find_last_not_of("\n") + 1);
        return pid;
    }

    // Threads named after the library, and connections (sockets) of the program.
    int Count(const std::string& pid, bool observers) {
        int count = 0;
        const fs::path proc = fs::path("/proc") / pid;
        for (const auto& entry : fs::directory_iterator(proc / (observers ? "task" : "fd"))) {
            if (observers) {
                std::string name;
                std::getline(std::ifstream(entry.path() / "comm"), name);
                count += name == "GlobalHook";
            } else {
                std::error_code ec;
                count += fs::read_symlink(entry.path(), ec).string().rfind("socket:", 0) == 0;
            }
        }
        return count;
    }

    std::unique_ptr<TestWindow> background_;
    std::string pointer_;
};

TEST_F(Marks_, ClicksAndTheSixKeysMarkTheFramesOthersDoNot) {
    StartOverStillWindow();
    const std::string pid = Pid();
    const std::vector<Patch> marks = RecordMarks({
        "xdotool click 1",
        "xdotool click 3",
        "xdotool mousedown 1",
        "xdotool mouseup 1",  // a release marks nothing
        "xdotool key a",      // nor does a letter
        "xdotool key F9",
        "xdotool key F10",
        // F11 tapped and released while the program stands still: the message is handled
        // after the release and still finds the key pressed since it was last asked about.
        "kill -STOP " + pid + "; xdotool key F11; kill -CONT " + pid,
        "xdotool key F12",
        "xdotool key Return",
        "xdotool key Escape",
    });
    ASSERT_EQ(marks.size(), 9u);
    // Left, right, left, then the six badges: each image its own, the two left clicks alike.
    EXPECT_TRUE(Same(marks[0], marks[2]));
    for (std::size_t i = 0; i < marks.size(); ++i) {
        for (std::size_t j = i + 1; j < marks.size(); ++j) {
            if (i == 0 && j == 2) continue;
            EXPECT_FALSE(Same(marks[i], marks[j])) << i << " and " << j;
        }
    }
}

TEST_F(Marks_, WithoutTheLibraryARecordingRunsWithoutMarks) {
    // A folder in the library file's place: it can be neither written nor loaded.
    fs::create_directories(home / "Korvex.dll");
    EXPECT_TRUE(RecordMarks({"xdotool click 1", "xdotool key F9"}).empty());
}

TEST_F(Marks_, TwoRecordingsKeepOneObserverOfEachKind) {
    Start();
    const std::string pid = Pid();
    int sockets = 0;
    for (const char* name : {"first", "second"}) {
        ShowRegionAndName(name);
        StartAndWaitForSecond(1);
        Stop();
        EXPECT_EQ(Count(pid, true), 2) << name;
        if (sockets == 0) sockets = Count(pid, false);
        EXPECT_EQ(Count(pid, false), sockets) << name;
    }
    RunCommand("xdotool windowactivate --sync " + main + " key --clearmodifiers alt+F4");
    Answer("^FRAGE$", "j");
    EXPECT_EQ(program->WaitForExit(), 0);
}

TEST_F(Marks_, ALibraryAlreadyInTheTempFolderIsLoadedInstead) {
    fs::copy_file(KORVEX_FAKE_HOOKLIB_FILE, home / "Korvex.dll");
    Start();
    ShowRegionAndName("own");
    StartAndWaitForSecond(1);
    Stop();
    std::string target;
    std::getline(std::ifstream(home / "hooked"), target);
    ASSERT_FALSE(target.empty()) << "the library in the TEMP folder was not the one loaded";
    EXPECT_EQ(std::stoul(target), std::stoul(main));
}

}  // namespace
