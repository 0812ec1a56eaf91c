#include "platform/display/display.h"

#include <xcb/xcb.h>

#include <string_view>

#include "platform/xcb/xcb_handles.h"

namespace platform::display {

std::optional<std::string> ChosenDisplay(std::span<char* const> arguments,
                                         const char* displayVariable) {
    // Qt reads the last "-display" it sees; a trailing one without a value is ignored.
    std::optional<std::string> chosen;
    for (std::size_t i = 1; i + 1 < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        if (argument == "-display" || argument == "--display") chosen = arguments[++i];
    }
    if (chosen && !chosen->empty()) return chosen;
    if (displayVariable != nullptr && *displayVariable != '\0') return std::string(displayVariable);
    return std::nullopt;
}

bool CanConnect(const std::string& name) {
    xcb::XcbConnection connection(xcb_connect(name.c_str(), nullptr));
    return !xcb_connection_has_error(connection.get());
}

}  // namespace platform::display
