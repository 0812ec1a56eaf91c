// Top-level windows of the desktop, over EWMH: finding another program's window by its title
// and bringing it back to the front. A window handle is the X window id.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform::windows {

using WindowId = std::uint32_t;

// FindWindow: the first managed top-level window whose title (_NET_WM_NAME, else WM_NAME) is
// exactly title; none when there is none or no display.
std::optional<WindowId> FindWindowByTitle(const std::string& title);

// SC_RESTORE + SetForegroundWindow: un-minimises the window and asks the window manager to
// activate it. False when there is no display.
bool RestoreAndActivate(WindowId window);

}  // namespace platform::windows
