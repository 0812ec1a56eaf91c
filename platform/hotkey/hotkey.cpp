#include "platform/hotkey/hotkey.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <memory>

#include "platform/xcb/xcb_handles.h"

namespace platform::hotkey {

namespace {

xcb_connection_t* Connection() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t Root(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

// Lock and NumLock (Mod2 on nearly every keyboard map) must not stop the hot key.
constexpr std::uint16_t kIgnoredMasks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                                           XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};

std::uint16_t XModifiers(unsigned modifiers) {
    std::uint16_t mask = 0;
    if (modifiers & MOD_ALT) mask |= XCB_MOD_MASK_1;
    if (modifiers & MOD_CONTROL) mask |= XCB_MOD_MASK_CONTROL;
    if (modifiers & MOD_SHIFT) mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & MOD_WIN) mask |= XCB_MOD_MASK_4;
    return mask;
}

}  // namespace

std::uint32_t GlobalAddAtom(const std::string& name) {
    xcb_connection_t* c = Connection();
    if (c == nullptr) return 0;
    xcb::XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr));
    return reply ? reply->atom : 0;
}

void GlobalDeleteAtom(std::uint32_t) {}

HotKeys::HotKeys() {
    if (qApp) qApp->installNativeEventFilter(this);
}

HotKeys::~HotKeys() {
    for (const auto& [id, grab] : grabs_) Ungrab(grab);
    if (qApp) qApp->removeNativeEventFilter(this);
}

bool HotKeys::Register(std::uint32_t id, unsigned modifiers, unsigned vk) {
    xcb_connection_t* c = Connection();
    if (c == nullptr || grabs_.count(id) != 0) return false;
    // Virtual keys of letters and digits are their upper-case ASCII codes; X names the key by
    // its lower-case keysym.
    const xcb_keysym_t keysym = (vk >= 'A' && vk <= 'Z') ? vk - 'A' + 'a' : vk;
    std::unique_ptr<xcb_key_symbols_t, decltype(&xcb_key_symbols_free)> symbols(
        xcb_key_symbols_alloc(c), &xcb_key_symbols_free);
    xcb::XcbReply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(symbols.get(), keysym));
    if (!codes || codes.get()[0] == XCB_NO_SYMBOL) return false;

    const Grab grab{codes.get()[0], XModifiers(modifiers)};
    bool refused = false;
    for (std::uint16_t extra : kIgnoredMasks) {
        xcb_void_cookie_t cookie =
            xcb_grab_key_checked(c, 1, Root(c), grab.modifiers | extra, grab.keycode,
                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb::XcbReply<xcb_generic_error_t> error{xcb_request_check(c, cookie)}) {
            refused = true;
        }
    }
    if (refused) {
        Ungrab(grab);
        return false;
    }
    grabs_.emplace(id, grab);
    return true;
}

bool HotKeys::Unregister(std::uint32_t id) {
    auto it = grabs_.find(id);
    if (it == grabs_.end()) return false;
    Ungrab(it->second);
    grabs_.erase(it);
    return true;
}

void HotKeys::Ungrab(const Grab& grab) {
    xcb_connection_t* c = Connection();
    if (c == nullptr) return;
    for (std::uint16_t extra : kIgnoredMasks) {
        xcb_ungrab_key(c, grab.keycode, Root(c), grab.modifiers | extra);
    }
    xcb_flush(c);
}

bool HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_KEY_PRESS) return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    const std::uint16_t state = press->state & ~(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2);
    for (const auto& [id, grab] : grabs_) {
        if (press->detail == grab.keycode && state == grab.modifiers) {
            if (OnHotKey) OnHotKey(id);
            return true;
        }
    }
    return false;
}

}  // namespace platform::hotkey
