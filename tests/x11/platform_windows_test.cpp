// The desktop's top-level windows as the window manager (openbox under scripts/with-display)
// reports them: titles, frames, states, order, restoring and raising.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

#include "platform/windows/windows.h"
#include "tests/support/test_window.h"

namespace {

namespace windows = platform::windows;
using korvex::test::TestWindow;

std::optional<windows::TopLevelWindow> Listed(xcb_window_t id) {
    for (auto& w : windows::EnumWindows()) {
        if (w.id == id) return w;
    }
    return std::nullopt;
}

std::ptrdiff_t Position(xcb_window_t id) {
    const auto all = windows::EnumWindows();
    const auto it = std::find_if(all.begin(), all.end(), [&](const auto& w) { return w.id == id; });
    return it == all.end() ? -1 : it - all.begin();
}

class WindowsTest : public testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs scripts/with-display";
    }
};

TEST_F(WindowsTest, ListsTitlesFramesAndStatesFrontFirst) {
    TestWindow editor({"C:\\Data\\report.txt - Editor", 10, 20, 800, 600});
    TestWindow sized({"Größe: 50% (neu)", 300, 200, 400, 300});
    TestWindow minimised({"Minimised", 50, 60, 500, 400});
    TestWindow maximised({"Maximised", 70, 80, 300, 200});
    minimised.Minimise();
    maximised.Maximise();

    const struct {
        TestWindow& window;
        const char* title;
        bool minimised, maximised;
        std::optional<windows::Rect> frame;
    } cases[] = {
        {editor, "C:\\Data\\report.txt - Editor", false, false, windows::Rect{10, 20, 810, 620}},
        {sized, "Größe: 50% (neu)", false, false, windows::Rect{300, 200, 700, 500}},
        {minimised, "Minimised", true, false, windows::Rect{50, 60, 550, 460}},
        {maximised, "Maximised", false, true, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto w = Listed(c.window.Window());
        ASSERT_TRUE(w) << c.title;
        EXPECT_EQ(w->title, c.title);
        EXPECT_TRUE(w->visible) << c.title;
        EXPECT_EQ(w->minimised, c.minimised) << c.title;
        EXPECT_EQ(w->maximised, c.maximised) << c.title;
        if (c.frame) {
            EXPECT_EQ(w->frame, *c.frame) << c.title;
        } else {
            // Maximised: the frame stands for the normal rectangle and is the large one.
            EXPECT_GT(w->frame.right - w->frame.left, 1000) << c.title;
        }
    }
    // The window mapped last lies in front of the earlier one.
    EXPECT_LT(Position(sized.Window()), Position(editor.Window()));
}

TEST_F(WindowsTest, RestoreBringsAMinimisedWindowToTheFrontAndGoneWindowsAreNotFound) {
    TestWindow first({"First", 100, 100, 300, 200});
    TestWindow second({"Second", 150, 150, 300, 200});
    first.Minimise();
    ASSERT_TRUE(windows::RestoreAndActivate(first.Window()));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Position(first.Window()) != 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(Position(first.Window()), 0);
    EXPECT_FALSE(windows::QueryWindow(first.Window())->minimised);
    EXPECT_EQ(windows::FindWindowByTitle("Second"), second.Window());

    second.Destroy();
    EXPECT_FALSE(windows::QueryWindow(second.Window()));
    EXPECT_FALSE(windows::FindWindowByTitle("Second"));
}

}  // namespace
