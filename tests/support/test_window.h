// An ordinary top-level window of a test "program", managed by the window manager of the test
// display, with a title and a frame rectangle the test chooses.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "tests/support/virtual_display.h"

namespace korvex::test {

struct TestWindowOptions {
    std::string title;  // UTF-8, as _NET_WM_NAME and WM_NAME
    int x = 0, y = 0, width = 400, height = 300;
};

// On a connection of its own to $DISPLAY. Undecorated, so that its frame is exactly the
// rectangle asked for. The window goes when the object does.
class TestWindow {
public:
    // Returns once the window manager lists the window and shows it at its place; throws
    // std::runtime_error when it does not.
    explicit TestWindow(const TestWindowOptions& options);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    xcb_window_t Window() const { return window_; }

    // Each returns once the window manager reports the new state.
    void Minimise();
    void Maximise();
    // Gone from the window manager's list; the object then only holds the id.
    void Destroy();

private:
    bool HasState(const char* state);
    void AskWindowManager(const char* type, std::initializer_list<std::uint32_t> data);
    bool Listed();
    xcb_atom_t Atom(const char* name);

    XcbConnection connection_;
    xcb_window_t window_ = XCB_NONE;
    bool destroyed_ = false;
};

}  // namespace korvex::test
