#include "platform/keys/RawInput.h"

#include <xcb/xinput.h>

#include "platform/xcb/xcb_handles.h"

namespace platform::keys {

namespace {

// XInput 2 events travel as generic events: without that extension a server accepts the
// selection and then never delivers.
bool HasGenericEvents(xcb_connection_t* c) {
    constexpr char kName[] = "Generic Event Extension";
    xcb::XcbReply<xcb_query_extension_reply_t> reply(
        xcb_query_extension_reply(c, xcb_query_extension(c, sizeof kName - 1, kName), nullptr));
    return reply && reply->present;
}

}  // namespace

std::optional<std::uint8_t> SelectRawEvents(xcb_connection_t* c, std::uint32_t mask) {
    const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c, &xcb_input_id);
    if (xi == nullptr || !xi->present || !HasGenericEvents(c)) return std::nullopt;
    xcb::XcbReply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    if (!version || version->major_version < 2) return std::nullopt;

    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } selection{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, mask};
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb::XcbReply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_input_xi_select_events_checked(c, root, 1, &selection.head)));
    if (error) return std::nullopt;
    return xi->major_opcode;
}

std::optional<RawEvent> AsRawEvent(const xcb_generic_event_t* event, std::uint8_t xiOpcode) {
    if ((event->response_type & 0x7F) != XCB_GE_GENERIC) return std::nullopt;
    const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
    if (generic->extension != xiOpcode) return std::nullopt;
    switch (generic->event_type) {
        case XCB_INPUT_RAW_KEY_PRESS:
        case XCB_INPUT_RAW_KEY_RELEASE:
        case XCB_INPUT_RAW_BUTTON_PRESS:
        case XCB_INPUT_RAW_BUTTON_RELEASE: {
            const auto* raw = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
            return RawEvent{generic->event_type, raw->detail};
        }
        default:
            return std::nullopt;
    }
}

}  // namespace platform::keys
