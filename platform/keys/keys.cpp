#include "platform/keys/keys.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QGuiApplication>
#include <memory>

#include "platform/xcb/xcb_handles.h"

namespace platform::keys {

namespace {

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

bool DownNow(int vk) {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    const xcb_keysym_t keysym = KeysymFor(vk);
    if (c == nullptr || keysym == 0) return false;
    std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)> symbols(
        xcb_key_symbols_alloc(c), &xcb_key_symbols_free);
    xcb::XcbReply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(symbols.get(), keysym));
    xcb::XcbReply<xcb_query_keymap_reply_t> keymap(
        xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr));
    if (!codes || !keymap) return false;
    for (const xcb_keycode_t* code = codes.get(); *code != XCB_NO_SYMBOL; ++code) {
        if (keymap->keys[*code / 8] & (1 << (*code % 8))) return true;
    }
    return false;
}

}  // namespace

std::int16_t GetAsyncKeyState(int vk) {
    return DownNow(vk) ? static_cast<std::int16_t>(0x8000) : std::int16_t{0};
}

}  // namespace platform::keys
