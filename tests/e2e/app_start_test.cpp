// The real program started as a user would: one copy at a time, its libraries in the TEMP
// folder while it runs, nothing of them left after a normal end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "harness/media_probe.h"
#include "tests/support/program.h"

namespace fs = std::filesystem;
using namespace korvex::test;

namespace {

class ProgramStart : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
        home = fs::temp_directory_path() / ("korvex-e2e-" + std::to_string(getpid()));
        fs::remove_all(home);
        fs::create_directories(home);
    }
    void TearDown() override { fs::remove_all(home); }

    std::string WaitForMainWindow() {
        std::vector<std::string> ids;
        WaitUntil([&] {
            ids = FindWindows("^Korvex!$");
            return !ids.empty();
        });
        return ids.empty() ? std::string() : ids.front();
    }

    fs::path home;
};

bool IsActive(const std::string& window) {
    const auto r = RunCommand("xdotool getactivewindow");
    return r.exitCode == 0 && r.output.substr(0, r.output.find('\n')) == window;
}

void CloseWithAltF4(const std::string& window) {
    RunCommand("xdotool windowactivate --sync " + window + " key --clearmodifiers alt+F4");
}

}  // namespace

TEST_F(ProgramStart, WritesItsLibrariesAndRemovesThemAtTheEnd) {
    Program korvex(ProgramBinary(), home);
    const std::string window = WaitForMainWindow();
    ASSERT_FALSE(window.empty());
    EXPECT_TRUE(fs::is_regular_file(home / "Korvex.dll"));
    EXPECT_TRUE(fs::is_regular_file(home / "7za.dll"));
    EXPECT_TRUE(fs::is_directory(home / "Video"));
    // The embedded 7z engine is the real one, byte for byte.
    EXPECT_EQ(fs::file_size(home / "7za.dll"), fs::file_size("/usr/lib/p7zip/7z.so"));
    const auto geometry = RunCommand("xdotool getwindowgeometry " + window).output;
    EXPECT_NE(geometry.find("154x63"), std::string::npos) << geometry;

    CloseWithAltF4(window);
    ASSERT_EQ(korvex.WaitForExit(), 0);
    EXPECT_FALSE(fs::exists(home / "Korvex.dll"));
    EXPECT_FALSE(fs::exists(home / "7za.dll"));
}

TEST_F(ProgramStart, ASecondCopyEndsAtOnceAndRaisesTheFirst) {
    Program first(ProgramBinary(), home);
    const std::string window = WaitForMainWindow();
    ASSERT_FALSE(window.empty());
    RunCommand("xdotool windowminimize --sync " + window);
    ASSERT_TRUE(WaitUntil([&] { return FindWindows("^Korvex!$").empty(); }));

    Program second(ProgramBinary(), home);
    EXPECT_EQ(second.WaitForExit(std::chrono::seconds(10)), 0);
    EXPECT_TRUE(WaitUntil([&] { return !FindWindows("^Korvex!$").empty() && IsActive(window); }));
    EXPECT_TRUE(first.Running());
    // Only the first copy's libraries are there, and they stay until it ends.
    EXPECT_TRUE(fs::is_regular_file(home / "Korvex.dll"));

    CloseWithAltF4(window);
    EXPECT_EQ(first.WaitForExit(), 0);
    EXPECT_FALSE(fs::exists(home / "Korvex.dll"));
}

TEST_F(ProgramStart, ALeftoverHookLibraryIsKeptButTheEngineReplaced) {
    {
        std::ofstream stale(home / "Korvex.dll");
        stale << "not a library";
    }
    {
        std::ofstream stale(home / "7za.dll");
        stale << "stale engine";
    }
    Program korvex(ProgramBinary(), home);
    const std::string window = WaitForMainWindow();
    ASSERT_FALSE(window.empty());
    // A file that does not load means no hooks, and no message either.
    EXPECT_EQ(fs::file_size(home / "Korvex.dll"), 13u);
    EXPECT_EQ(fs::file_size(home / "7za.dll"), fs::file_size("/usr/lib/p7zip/7z.so"));
    EXPECT_TRUE(FindWindows("^FEHLER$").empty());
    CloseWithAltF4(window);
    EXPECT_EQ(korvex.WaitForExit(), 0);
}

TEST_F(ProgramStart, AnUncreatableWorkingFolderEndsTheStartWithItsMessage) {
    // A file where the folder should be.
    {
        std::ofstream blocker(home / "Video");
        blocker << "x";
    }
    Program korvex(ProgramBinary(), home);
    std::vector<std::string> boxes;
    ASSERT_TRUE(WaitUntil([&] {
        boxes = FindWindows("^FEHLER$");
        return !boxes.empty();
    }));
    RunCommand("xdotool windowactivate --sync " + boxes.front() + " key Return");
    EXPECT_EQ(korvex.WaitForExit(), 1);
    EXPECT_FALSE(fs::exists(home / "Korvex.dll"));
    EXPECT_FALSE(fs::exists(home / "7za.dll"));
}

TEST_F(ProgramStart, AnEnglishLocaleSpeaksEnglish) {
    {
        std::ofstream blocker(home / "Video");
        blocker << "x";
    }
    Program korvex(ProgramBinary(), home, "en_GB.UTF-8");
    std::vector<std::string> boxes;
    ASSERT_TRUE(WaitUntil([&] {
        boxes = FindWindows("^ERROR$");
        return !boxes.empty();
    }));
    RunCommand("xdotool windowactivate --sync " + boxes.front() + " key Return");
    EXPECT_EQ(korvex.WaitForExit(), 1);
}
