#include "platform/keys/keys.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>

#include <QGuiApplication>
#include <bitset>
#include <optional>

#include "platform/keys/RawInput.h"
#include "platform/xcb/xcb_handles.h"

namespace platform::keys {

namespace {

struct FreeSymbols {
    void operator()(xcb_key_symbols_t* s) const { xcb_key_symbols_free(s); }
};

xcb_keysym_t KeysymFor(int vk) {
    switch (vk) {
        case VK_RETURN:
            return 0xFF0D;
        case VK_ESCAPE:
            return 0xFF1B;
        case VK_F9:
            return 0xFFC6;
        case VK_F10:
            return 0xFFC7;
        case VK_F11:
            return 0xFFC8;
        case VK_F12:
            return 0xFFC9;
        default:
            return 0;
    }
}

xcb_connection_t* ApplicationConnection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

}  // namespace

struct KeyState::Impl {
    xcb_connection_t* connection = ApplicationConnection();
    std::unique_ptr<xcb_key_symbols_t, FreeSymbols> symbols;
    std::optional<std::uint8_t> xiOpcode;
    std::bitset<256> pressedSince;
};

KeyState::KeyState() : impl_(std::make_unique<Impl>()) {
    if (impl_->connection == nullptr) return;
    impl_->symbols.reset(xcb_key_symbols_alloc(impl_->connection));
    impl_->xiOpcode = SelectRawEvents(impl_->connection, XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS);
    qApp->installNativeEventFilter(this);
}

KeyState::~KeyState() {
    if (impl_->connection != nullptr && qApp) qApp->removeNativeEventFilter(this);
}

std::int16_t KeyState::GetAsyncKeyState(int vk) {
    xcb_connection_t* c = impl_->connection;
    const xcb_keysym_t keysym = KeysymFor(vk);
    if (c == nullptr || !impl_->symbols || keysym == 0) return 0;
    xcb::XcbReply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(impl_->symbols.get(), keysym));
    xcb::XcbReply<xcb_query_keymap_reply_t> keymap(
        xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr));
    if (!codes) return 0;
    bool down = false;
    bool pressed = false;
    for (const xcb_keycode_t* code = codes.get(); *code != XCB_NO_SYMBOL; ++code) {
        if (keymap && (keymap->keys[*code / 8] & (1 << (*code % 8)))) down = true;
        if (impl_->pressedSince.test(*code)) pressed = true;
        impl_->pressedSince.reset(*code);
    }
    return static_cast<std::int16_t>((down ? 0x8000 : 0) | (pressed ? 1 : 0));
}

bool KeyState::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) == XCB_MAPPING_NOTIFY) {
        // The toolkit needs to see it as well.
        xcb_refresh_keyboard_mapping(impl_->symbols.get(),
                                     reinterpret_cast<xcb_mapping_notify_event_t*>(event));
        return false;
    }
    if (!impl_->xiOpcode) return false;
    const auto raw = AsRawEvent(event, *impl_->xiOpcode);
    if (!raw || raw->type != XCB_INPUT_RAW_KEY_PRESS) return false;
    if (raw->detail < impl_->pressedSince.size()) {
        impl_->pressedSince.reset();
        impl_->pressedSince.set(raw->detail);
    }
    return true;
}

}  // namespace platform::keys
