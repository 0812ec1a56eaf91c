// Top-level windows of the desktop, over EWMH: the list of other programs' windows with what a
// picker needs of each, finding one by its title, and bringing one to the front. A window
// handle is the X window id of the client window. Any thread; each call opens and closes a
// connection of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::windows {

using WindowId = std::uint32_t;

// Screen pixels; right and bottom lie just outside.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct TopLevelWindow {
    WindowId id = 0;
    std::string title;       // _NET_WM_NAME, else WM_NAME; UTF-8
    bool visible = false;    // shown, or minimised (IsWindowVisible)
    bool minimised = false;  // _NET_WM_STATE_HIDDEN (IsIconic)
    bool maximised = false;  // maximised both ways (IsZoomed)
    // The frame's rectangle in root coordinates: the client's with _NET_FRAME_EXTENTS around
    // it. EWMH keeps no rectangle for the restored state, so a maximised window gives its
    // maximised one; a minimised window gives the one it comes back to.
    Rect frame;
};

// EnumWindows: the managed top-level windows, front first (_NET_CLIENT_LIST_STACKING, else
// _NET_CLIENT_LIST newest first). Empty when there is no display or window manager.
std::vector<TopLevelWindow> EnumWindows();

// The window as EnumWindows describes it; nothing once it is no longer managed (closed).
std::optional<TopLevelWindow> QueryWindow(WindowId window);

// FindWindow: the first managed top-level window whose title (_NET_WM_NAME, else WM_NAME) is
// exactly title; none when there is none or no display.
std::optional<WindowId> FindWindowByTitle(const std::string& title);

// SW_RESTORE + SetForegroundWindow: un-minimises the window and asks the window manager to
// activate and raise it. Returns once the server has the request; false when there is no
// display.
bool RestoreAndActivate(WindowId window);

}  // namespace platform::windows
