// The monitor layout as RandR tells it: which size HORZRES and VERTRES report.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>

namespace platform::screen {

struct Size {
    int width = 0;
    int height = 0;
};

struct RandrInfo {
    bool present = false;
    std::uint32_t major = 0, minor = 0;
    std::uint8_t firstEvent = 0;  // event codes of the extension start here
};

// Negotiates the RandR version on c; not present when the server lacks the extension.
RandrInfo QueryRandr(xcb_connection_t* c);

// Asks for the notifications that announce a changed screen or monitor layout on root.
void SelectRandrChanges(xcb_connection_t* c, xcb_window_t root, const RandrInfo& randr);

// True for the events that SelectRandrChanges asked for.
bool IsRandrChange(const RandrInfo& randr, std::uint8_t responseType);

// The primary monitor's size, else the first active CRTC's; none when RandR tells neither.
std::optional<Size> MonitorSize(xcb_connection_t* c, xcb_window_t root, const RandrInfo& randr);

}  // namespace platform::screen
