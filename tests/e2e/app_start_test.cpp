// The real program started as a user would: one copy at a time, its libraries in the TEMP
// folder while it runs, nothing of them left after a normal end.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

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

// Waits for the start-up error box of that title and closes it.
void CloseErrorBox(const std::string& title) {
    std::vector<std::string> boxes;
    ASSERT_TRUE(WaitUntil([&] {
        boxes = FindWindows(title);
        return !boxes.empty();
    })) << title;
    RunCommand("xdotool windowactivate --sync " + boxes.front() + " key Return");
}

void CloseWithAltF4(const std::string& window) {
    RunCommand("xdotool windowactivate --sync " + window + " key --clearmodifiers alt+F4");
}

mode_t Mode(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Whether the running program has the file mapped, as a loaded library is.
bool Maps(const Program& program, const fs::path& file) {
    std::ifstream maps("/proc/" + std::to_string(program.Pid()) + "/maps");
    const std::string text((std::istreambuf_iterator<char>(maps)), {});
    return text.find(file.string()) != std::string::npos;
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

TEST_F(ProgramStart, WithoutTempItWorksInAFolderOfItsOwn) {
    const fs::path own = home / "tmp" / ("korvex-" + std::to_string(geteuid()));
    fs::create_directories(home / "tmp");
    Program korvex(ProgramBinary(), home, "de_DE.UTF-8",
                   {{"TEMP", ""}, {"TMPDIR", (home / "tmp").string()}});
    const std::string window = WaitForMainWindow();
    ASSERT_FALSE(window.empty());
    EXPECT_EQ(Mode(own), 0700u);
    EXPECT_EQ(Mode(own / "Video"), 0700u);
    EXPECT_EQ(Mode(own / "Korvex.dll"), 0600u);
    EXPECT_EQ(Mode(own / "7za.dll"), 0600u);
    EXPECT_TRUE(Maps(korvex, own / "Korvex.dll"));
    CloseWithAltF4(window);
    ASSERT_EQ(korvex.WaitForExit(), 0);
    EXPECT_FALSE(fs::exists(own / "Korvex.dll"));
}

TEST_F(ProgramStart, ALeftoverHookLibraryIsKeptButLoadedOnlyWhenSafe) {
    struct Case {
        const char* what;
        std::function<void(const fs::path&)> make;
    };
    const Case cases[] = {
        {"not a library", [](const fs::path& p) { std::ofstream(p) << "not a library"; }},
        {"writable by the group",
         [](const fs::path& p) {
             fs::copy_file(KORVEX_HOOKLIB_FILE, p);
             chmod(p.c_str(), 0664);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.make(home / "Korvex.dll");
        const auto size = fs::file_size(home / "Korvex.dll");
        std::ofstream(home / "7za.dll") << "stale engine";
        Program korvex(ProgramBinary(), home);
        const std::string window = WaitForMainWindow();
        ASSERT_FALSE(window.empty());
        // A library that is not loaded means no hooks, and no message either.
        EXPECT_FALSE(Maps(korvex, home / "Korvex.dll"));
        EXPECT_EQ(fs::file_size(home / "Korvex.dll"), size);
        EXPECT_EQ(fs::file_size(home / "7za.dll"), fs::file_size("/usr/lib/p7zip/7z.so"));
        EXPECT_TRUE(FindWindows("^FEHLER$").empty());
        CloseWithAltF4(window);
        EXPECT_EQ(korvex.WaitForExit(), 0);
    }
}

TEST_F(ProgramStart, AFolderOthersCouldWriteEndsTheStartTouchingNothing) {
    const fs::path planted = home / "tmp" / ("korvex-" + std::to_string(geteuid()));
    const fs::path shared = home / "shared";
    fs::create_directories(planted);
    fs::create_directories(shared);
    chmod(shared.c_str(), 0775);
    struct Case {
        const char* what;
        Environment environment;
        fs::path folder;
    };
    std::vector<Case> cases = {
        {"writable by the group", {{"TEMP", shared.string()}}, shared},
        {"a link", {{"TEMP", (home / "link").string()}}, planted},
    };
    fs::create_directory_symlink(planted, home / "link");
    if (lchown(planted.c_str(), 65534, 65534) == 0) {
        cases.push_back(
            {"another user's", {{"TEMP", ""}, {"TMPDIR", planted.parent_path()}}, planted});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Program korvex(ProgramBinary(), home, "de_DE.UTF-8", c.environment);
        CloseErrorBox("^FEHLER$");
        EXPECT_EQ(korvex.WaitForExit(), 1);
        EXPECT_TRUE(fs::is_empty(c.folder));
    }
}

TEST_F(ProgramStart, AnUncreatableWorkingFolderEndsTheStartWithItsMessage) {
    // A file where the folder should be.
    {
        std::ofstream blocker(home / "Video");
        blocker << "x";
    }
    Program korvex(ProgramBinary(), home);
    CloseErrorBox("^FEHLER$");
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
    CloseErrorBox("^ERROR$");
    EXPECT_EQ(korvex.WaitForExit(), 1);
}

// Without a display it can reach the program says so in one line in the user's language and
// ends with 1, before anything is written; the video folder is told without a display at all.
TEST_F(ProgramStart, WithoutADisplayItSaysSoInOneLineAndEndsWith1) {
    struct Case {
        std::string environment, locale, expected;
    };
    const Case cases[] = {
        {"-u DISPLAY", "de_DE.UTF-8",
         "Korvex! findet keine X-Anzeige: DISPLAY ist nicht gesetzt.\n"},
        {"DISPLAY=:9999", "en_US.UTF-8", "Korvex! cannot reach the X display :9999\n"},
    };
    // "env" takes its options before the first assignment.
    const auto run = [&](const std::string& options, const std::string& locale,
                         const std::string& arguments) {
        return RunCommand("env " + options + " TEMP=" + Quote(home.string()) +
                          " XDG_CONFIG_HOME=" + Quote((home / "config").string()) +
                          " LC_ALL=" + locale + " " + Quote(ProgramBinary().string()) + arguments);
    };
    for (const Case& c : cases) {
        const auto r = run(c.environment, c.locale, " 2>&1");
        EXPECT_EQ(r.exitCode, 1) << c.environment;
        EXPECT_EQ(r.output, c.expected);
        EXPECT_FALSE(fs::exists(home / "Video"));
    }
    const auto r = run("-u DISPLAY", "de_DE.UTF-8", " --print-video-folder");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.output, (home / "Video").string() + "\n");
}
