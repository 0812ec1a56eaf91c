// The archive commands driven as a user would: the context menu's Compress and Watch commands
// and the Mail button, with a player and a mail program of the test's own registered on a
// desktop that knows no others.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>

#include "harness/media_probe.h"
#include "settings/MiniReg.h"
#include "tests/support/program.h"
#include "tests/unit/mail_test_support.h"

namespace fs = std::filesystem;
using namespace korvex::test;

namespace {

void Write(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Bytes that no packer can shrink, so that an archive needs as much room as its recording.
std::string Noise(std::size_t size) {
    std::mt19937 random(size);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

// Enough of an AVI file for the desktop to take it for one.
std::string AviBytes(const std::string& payload) {
    return std::string("RIFF\x10\0\0\0AVI LIST", 16) + payload;
}

// The cursor the pointer shows now, as its pixels.
std::vector<std::uint32_t> CursorImage() {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    xcb_xfixes_query_version_reply(connection, xcb_xfixes_query_version(connection, 4, 0), nullptr);
    std::vector<std::uint32_t> pixels;
    if (auto* reply = xcb_xfixes_get_cursor_image_reply(
            connection, xcb_xfixes_get_cursor_image(connection), nullptr)) {
        const std::uint32_t* data = xcb_xfixes_get_cursor_image_cursor_image(reply);
        pixels.assign(data, data + xcb_xfixes_get_cursor_image_cursor_image_length(reply));
        free(reply);
    }
    xcb_disconnect(connection);
    return pixels;
}

class Archives : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
        home = fs::temp_directory_path() / ("korvex-arc-" + std::to_string(getpid()));
        fs::remove_all(home);
        for (const char* folder : {"Video", "bin", "data/applications", "config", "system"})
            fs::create_directories(home / folder);
        // Of the system's shared data only the MIME database, which every desktop has and the
        // file dialog reads when it lists a folder; xdg-utils find no programs there.
        fs::create_directory_symlink("/usr/share/mime", home / "system/mime");
        // A desktop that xdg-utils know nothing special about, with our handlers only.
        for (const char* name : {"XDG_CURRENT_DESKTOP", "KDE_FULL_SESSION",
                                 "GNOME_DESKTOP_SESSION_ID", "DESKTOP_SESSION", "MAILER"})
            unsetenv(name);
        setenv("BROWSER", "korvex-no-browser", 1);
        setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        setenv("XDG_DATA_DIRS", (home / "system").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (home / "system").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        // A player as users have them: while the file "windowed" exists it shows a window of
        // its own that takes the focus and stays open a while, and notes the file once that
        // window is up; otherwise it notes the file and shows nothing at once, as one that
        // hands the file to a copy already running.
        Register("player", "video/x-msvideo;video/vnd.avi;",
                 "if [ -e " + Quote((home / "windowed").string()) +
                     " ]; then\n"
                     "  xmessage -title \"player $$\" -timeout 20 -geometry 900x600+0+0 \"$1\" &\n"
                     "  xdotool search --sync --onlyvisible --name \"^player $$\\$\" >/dev/null\n"
                     "fi\nprintf '%s\\n' \"$1\" >> " +
                     Quote((home / "opened").string()) + "\nwait");
        Register("mailer", "x-scheme-handler/mailto;",
                 "printf '%s' \"$1\" > " + Quote((home / "mail.part").string()) + " && mv " +
                     Quote((home / "mail.part").string()) + " " + Quote((home / "mail").string()));
        Write(home / "config/mimeapps.list",
              "[Default Applications]\nvideo/x-msvideo=korvex-test-player.desktop\n"
              "video/vnd.avi=korvex-test-player.desktop\n"
              "x-scheme-handler/mailto=korvex-test-mailer.desktop\n");
    }
    void TearDown() override {
        program.reset();
        if (!mounted.empty()) umount2(mounted.c_str(), MNT_DETACH);
        fs::remove_all(home);
    }

    // A program of the test that runs command with its argument, as the handler of types.
    void Register(const std::string& name, const std::string& types, const std::string& command) {
        const fs::path script = home / "bin" / name;
        Write(script, "#!/bin/sh\n" + command + "\n");
        fs::permissions(script, fs::perms::owner_all);
        Write(home / "data/applications" / ("korvex-test-" + name + ".desktop"),
              "[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + script.string() +
                  " %u\nMimeType=" + types + "\n");
    }

    void Settings(bool use7z, int thresholdMB) {
        ASSERT_TRUE(app::WriteRegString(app::Root::CurrentUser,
                                        "SOFTWARE\\Korvex\\compression in 7-zip format",
                                        use7z ? "yes" : "no"));
        ASSERT_TRUE(app::WriteRegInteger(app::Root::CurrentUser,
                                         "SOFTWARE\\Korvex\\use 7-zip format automatically at (MB)",
                                         thresholdMB));
    }

    void Start() {
        program = std::make_unique<Program>(ProgramBinary(), home);
        main = WaitForWindow("^Korvex!$");
        ASSERT_FALSE(main.empty());
        Run("mousemove --window " + main + " 60 50");
        idleCursor = CursorImage();
    }
    // Waits until the program shows its normal cursor over the list again: a command it was
    // busy with (a mail handed over) has ended, so the next clicks and keys go where they aim.
    void WaitUntilIdle() {
        Run("mousemove --window " + main + " 60 50");
        EXPECT_TRUE(WaitUntil([&] { return CursorImage() == idleCursor; }));
    }

    void Run(const std::string& xdotool) { RunCommand("xdotool " + xdotool); }

    // The program's visible windows, popups included.
    std::size_t ProgramWindows() {
        const std::string ids =
            RunCommand("xdotool search --onlyvisible --class '^korvex$'").output;
        return static_cast<std::size_t>(std::count(ids.begin(), ids.end(), '\n'));
    }
    // Clicks, then types keys into the popup that the click opens, once it shows. The
    // number of the program's windows before.
    std::size_t InPopup(int button, const std::vector<std::string>& keys) {
        const std::size_t before = ProgramWindows();
        ClickAt(main, 60, 50, button);
        EXPECT_TRUE(WaitUntil([&] { return ProgramWindows() > before; }));
        for (const std::string& command : keys) Run(command);
        return before;
    }
    // Drops the list down (which refreshes it) and picks the entry by typing its name. Keys
    // typed while the drop-down is still being mapped can miss it, so a pick that did not
    // close the list is tried again after Escape.
    void Select(const std::string& name) {
        for (int attempt = 0;; ++attempt) {
            WaitUntilIdle();
            const std::size_t before = ProgramWindows();
            ClickAt(main, 60, 50, 1);
            const bool opened =
                WaitUntil([&] { return ProgramWindows() > before; }, std::chrono::seconds(5));
            if (opened) {
                Run("type --delay 30 " + Quote(name));
                Run("key Return");
                if (WaitUntil([&] { return ProgramWindows() <= before; },
                              std::chrono::seconds(5))) {
                    return;
                }
            }
            ASSERT_LT(attempt, 2) << "the list did not take " << name;
            Run("key Escape");
        }
    }
    // The context menu's items: 1 Delete, 2 Compress, 3 Watch a compressed video.
    void Menu(int item) {
        std::string keys;
        for (int i = 0; i < item; ++i) keys += " Down";
        InPopup(3, {"key" + keys + " Return"});
    }
    void PressMail() { ClickAt(main, 96, 20); }

    // Whether a box of that title came; it is then closed.
    bool Answer(const std::string& title) {
        const std::string box = WaitForWindow(title);
        if (box.empty()) return false;
        Run("windowactivate --sync " + box + " key Return");
        return WaitUntil([&] { return FindWindows(title).empty(); });
    }

    // The window that has the keyboard now.
    std::string ActiveWindow() {
        std::string id = RunCommand("xdotool getactivewindow").output;
        while (!id.empty() && id.back() == '\n') id.pop_back();
        return id;
    }

    // Chooses a file in the dialog of the Watch command by typing its path, the menu opened by
    // the mouse or, from the name box, by the keyboard's menu key (with no recording listed). Keys
    // go to whatever window has the focus, as a user's do: the dialog must come up in front by
    // itself.
    enum class Route { Mouse, Keyboard };
    void Watch(const fs::path& archive, Route route = Route::Mouse) {
        fs::remove(home / "opened");
        if (route == Route::Mouse) {
            Menu(3);
        } else {
            // The name box takes the keyboard; with no recording listed no list drops down.
            ClickAt(main, 60, 50);
            ASSERT_TRUE(WaitUntil([&] { return ActiveWindow() == main; }));
            const std::size_t before = ProgramWindows();
            Run("key Menu");
            EXPECT_TRUE(WaitUntil([&] { return ProgramWindows() > before; }));
            Run("key Down Down Down Return");
        }
        const std::string dialog = WaitForWindow("^Komprimiertes Video anzeigen$");
        ASSERT_FALSE(dialog.empty()) << "no dialog";
        ASSERT_TRUE(WaitUntil([&] { return ActiveWindow() == dialog; }))
            << "the dialog is not the window the user types into";
        Run("type --delay 10 " + Quote(archive.string()));
        Run("key Return");
        WaitUntil([&] { return FindWindows("^Komprimiertes Video anzeigen$").empty(); });
    }

    // The lines the player was started with, once count of them are there.
    std::multiset<std::string> Opened(std::size_t count) {
        std::multiset<std::string> lines;
        WaitUntil([&] {
            std::istringstream in(Read(home / "opened"));
            lines.clear();
            for (std::string line; std::getline(in, line);) lines.insert(line);
            return lines.size() >= count;
        });
        return lines;
    }

    // Subject and attachment of the mail the mail program was started with.
    mail::test::Fields Mailed() {
        EXPECT_TRUE(WaitUntil([&] { return fs::exists(home / "mail"); })) << "nothing mailed";
        auto fields = mail::test::MailtoFields(Read(home / "mail"));
        fs::remove(home / "mail");
        WaitUntilIdle();
        return fields;
    }

    std::string Video(const std::string& name) const { return (home / "Video" / name).string(); }

    fs::path home;
    fs::path mounted;
    std::unique_ptr<Program> program;
    std::string main;
    std::vector<std::uint32_t> idleCursor;
};

}  // namespace

TEST_F(Archives, CompressingAndMailingTheSelectedRecording) {
    Settings(false, 2);
    Write(Video("Test.avi"), AviBytes("a short recording"));
    Write(Video("Big.avi"), Noise(2 * 1048576));
    Write(Video("Gone.avi"), AviBytes("soon gone"));
    Start();

    Menu(2);
    EXPECT_TRUE(Answer("^INFORMATION$"));

    // Before any recording the subject is empty; a small recording goes into a ZIP.
    Select("Test");
    PressMail();
    auto mail = Mailed();
    EXPECT_TRUE(mail["subject"].empty());
    EXPECT_EQ(mail["attach"], std::vector{Video("Test.zip")});
    EXPECT_EQ(RunCommand("unzip -t " + Quote(Video("Test.zip"))).exitCode, 0);
    EXPECT_EQ(RunCommand("unzip -p " + Quote(Video("Test.zip")) + " Test.avi").output,
              Read(Video("Test.avi")));

    // A release outside the button packs and mails nothing: the next command finds no ZIP.
    fs::remove(Video("Test.zip"));
    Run("mousemove --window " + main + " 96 20 mousedown 1 mousemove --window " + main +
        " 96 140 mouseup 1");
    // At the limit: 7z, and the 7z archive is what is mailed.
    Select("Big");
    Menu(2);
    ASSERT_TRUE(WaitUntilWritten(Video("Big.7z")));
    EXPECT_FALSE(fs::exists(Video("Test.zip")));
    EXPECT_FALSE(fs::exists(home / "mail"));
    EXPECT_FALSE(fs::exists(Video("Big.zip")));
    EXPECT_EQ(RunCommand("7z t " + Quote(Video("Big.7z"))).exitCode, 0);
    PressMail();
    EXPECT_EQ(Mailed()["attach"], std::vector{Video("Big.7z")});

    Select("Gone");
    fs::remove(Video("Gone.avi"));
    Menu(2);
    EXPECT_TRUE(Answer("^FEHLER$"));

    // With 7z chosen for everything, after recording Demo: Test goes out as Test.7z under the
    // subject Demo.
    program.reset();
    Settings(true, 2);
    Start();
    ClickAt(main, 20, 20);
    ASSERT_FALSE(WaitForWindow("^Aufnahmebereich einstellen").empty());
    ClickAt(main, 60, 50);
    Run("type --delay 30 Demo");
    ClickAt(main, 20, 20);
    const std::string recording = WaitForWindow("^00:01$");
    ASSERT_FALSE(recording.empty());
    ClickAt(recording, 20, 20);
    main = WaitForWindow("^Korvex!$");
    ASSERT_TRUE(WaitUntilWritten(Video("Demo.avi")));
    Select("Test");
    PressMail();
    mail = Mailed();
    EXPECT_EQ(mail["subject"], std::vector<std::string>{"Demo"});
    EXPECT_EQ(mail["attach"], std::vector{Video("Test.7z")});
    EXPECT_EQ(RunCommand("7z t " + Quote(Video("Test.7z"))).exitCode, 0);
}

TEST_F(Archives, WatchingTheRecordingsOfACompressedVideo) {
    const fs::path source = home / "source";
    fs::create_directories(source / "sub");
    Write(source / "a.avi", AviBytes("first"));
    Write(source / "B.AVI", AviBytes("second"));
    Write(source / "sub/c.avi", AviBytes("nested"));
    Write(source / "notes.txt", "notes");
    Write(source / "movie.rar", "Rar!");
    const std::string in = "cd " + Quote(source.string()) + " && ";
    for (const char* command : {"zip -q both.zip a.avi sub/c.avi notes.txt B.AVI",
                                "7z a -bd both.7z a.avi sub/c.avi notes.txt B.AVI",
                                "7z a -bd nested.7z sub/c.avi notes.txt"})
        ASSERT_EQ(RunCommand(in + command).exitCode, 0) << command;
    Start();

    // Each archive after the one before was played, the menu opened each way in turn, the
    // player showing a window or none: with none, nothing else takes the focus from the program
    // after the dialog.
    struct Round {
        const char* archive;
        Route route;
        bool windowed;
    };
    for (const auto& [archive, route, windowed] : {Round{"both.zip", Route::Mouse, false},
                                                   {"both.7z", Route::Keyboard, true},
                                                   {"both.zip", Route::Keyboard, false},
                                                   {"both.7z", Route::Mouse, false}}) {
        SCOPED_TRACE(archive);
        if (windowed) {
            Write(home / "windowed", "");
        } else {
            fs::remove(home / "windowed");
        }
        fs::remove(Video("a.avi"));
        fs::remove(Video("B.AVI"));
        ASSERT_NO_FATAL_FAILURE(Watch(source / archive, route));
        EXPECT_EQ(Opened(2), (std::multiset{Video("a.avi"), Video("B.AVI")}));
        EXPECT_EQ(Read(Video("B.AVI")), Read(source / "B.AVI"));
        EXPECT_FALSE(fs::exists(Video("c.avi")));
    }
    // Named pipes by an archive's name are refused at once, not waited on.
    for (const char* pipe : {"pipe.7z", "pipe.zip"})
        ASSERT_EQ(mkfifo((source / pipe).c_str(), 0600), 0);
    for (const char* archive : {"nested.7z", "movie.rar", "pipe.7z", "pipe.zip"}) {
        Watch(source / archive);
        EXPECT_TRUE(Answer("^FEHLER$")) << archive;
    }
}

TEST_F(Archives, WithoutAPlayerOrAMailProgramTheUserLearnsWhereTheFileIs) {
    // A desktop that knows no program for videos or mail.
    fs::remove(home / "config/mimeapps.list");
    fs::remove_all(home / "data/applications");
    Settings(false, 14);
    Write(Video("Test.avi"), AviBytes("a short recording"));
    Write(home / "a.avi", AviBytes("packed"));
    ASSERT_EQ(RunCommand("cd " + Quote(home.string()) + " && zip -q a.zip a.avi").exitCode, 0);
    Start();

    Select("Test");
    ClickAt(main, 58, 20);
    EXPECT_TRUE(Answer("^WARNUNG$")) << "Play";
    Watch(home / "a.zip");
    EXPECT_TRUE(Answer("^WARNUNG$")) << "Watch";
    EXPECT_EQ(Read(Video("a.avi")), AviBytes("packed"));
    WaitUntilIdle();
    PressMail();
    EXPECT_TRUE(Answer("^WARNUNG$")) << "Mail";
    EXPECT_EQ(RunCommand("unzip -t " + Quote(Video("Test.zip"))).exitCode, 0);
}

TEST_F(Archives, AFullDiskWhilePackingIsReportedAndLeavesNothingBehind) {
    if (mount("tmpfs", (home / "Video").c_str(), "tmpfs", 0, "size=4m,mode=0700") != 0) {
        GTEST_SKIP() << "cannot mount a small file system as the video folder (needs root)";
    }
    mounted = home / "Video";
    Settings(false, 2);
    Write(Video("small.avi"), Noise(1536 * 1024));
    Write(Video("big.avi"), Noise(2 * 1048576));
    Write(Video("tiny.avi"), AviBytes("tiny"));
    Start();
    ClickAt(main, 60, 50);
    Run("key Escape");
    const std::vector<std::uint32_t> normal = CursorImage();

    // The ZIP component's own error; then the 7z packing, by the menu and by the Mail button.
    Select("small");
    Menu(2);
    EXPECT_TRUE(Answer("^FEHLER$"));
    Select("big");
    Menu(2);
    EXPECT_TRUE(Answer("^FEHLER$"));
    PressMail();
    EXPECT_TRUE(Answer("^FEHLER$"));
    for (const char* archive : {"small.zip", "big.7z"})
        EXPECT_FALSE(fs::exists(Video(archive))) << archive;
    Run("mousemove --window " + main + " 60 50");
    EXPECT_TRUE(WaitUntil([&] { return CursorImage() == normal; }));

    // Still usable: a recording that fits is packed.
    Select("tiny");
    Menu(2);
    EXPECT_TRUE(WaitUntilWritten(Video("tiny.zip")));
    EXPECT_FALSE(fs::exists(home / "mail"));
}
