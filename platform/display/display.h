// Which X display the program's windows go to, so that every connection of ours (the grabber,
// the window list, the hook library, the programs we start) reaches the same server as Qt.
#pragma once

#include <optional>
#include <span>
#include <string>

namespace platform::display {

// The display Qt's xcb platform will open: the value of a "-display NAME" (or "--display NAME")
// argument when one is given, else displayVariable ($DISPLAY); nothing when neither names one.
std::optional<std::string> ChosenDisplay(std::span<char* const> arguments,
                                         const char* displayVariable);

// Whether an X connection to name can be opened now.
bool CanConnect(const std::string& name);

}  // namespace platform::display
