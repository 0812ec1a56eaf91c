// XInput 2 raw input events: what both the hook library's observers and the key state need to
// hear of every button and key press on the desktop, without focus and without a window.
#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>

namespace platform::keys {

// Announces XInput 2.2 on c (a 2.0 client loses raw events while another program holds a grab)
// and selects the raw events in mask (XCB_INPUT_XI_EVENT_MASK_RAW_*) on the root window of the
// first screen for the master devices only (with all devices each event would come twice).
// Gives the extension's major opcode, or nothing when the server has no XInput 2 or refuses.
// Waits for the server's answers; any thread that owns c.
std::optional<std::uint8_t> SelectRawEvents(xcb_connection_t* c, std::uint32_t mask);

// The raw event type (XCB_INPUT_RAW_*) and its detail (button or keycode) when event is an
// XInput event of the extension with opcode xiOpcode; nothing for any other event.
struct RawEvent {
    std::uint16_t type = 0;
    std::uint32_t detail = 0;
};
std::optional<RawEvent> AsRawEvent(const xcb_generic_event_t* event, std::uint8_t xiOpcode);

}  // namespace platform::keys
