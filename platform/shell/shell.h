// ShellExecuteA "Open" for a file: the program the desktop has for the file's type, started
// through xdg-open, with word back when the desktop has none.
#pragma once

#include <functional>
#include <string>

namespace platform::shell {

// xdg-open's exit status when no program handles the type ("no method available").
inline constexpr int kNoMethodAvailable = 3;

// Opens path with the desktop's program for its type and returns at once; xdg-open may wait
// for that program to end, and the program is left running when ours ends. When xdg-open
// finds no program (or cannot be started), onNoProgram runs later on the calling thread, which
// must run a Qt event loop.
void OpenDocument(const std::string& path, std::function<void()> onNoProgram);

}  // namespace platform::shell
