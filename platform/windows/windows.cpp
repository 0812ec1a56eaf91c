#include "platform/windows/windows.h"

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace platform::windows {

namespace {

struct ConnectionCloser {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, ConnectionCloser>;

// An EWMH view on one connection; wipes its atoms when it goes.
class Ewmh {
public:
    Ewmh() {
        int screen = 0;
        connection_.reset(xcb_connect(nullptr, &screen));
        if (xcb_connection_has_error(connection_.get())) return;
        xcb_intern_atom_cookie_t* cookies = xcb_ewmh_init_atoms(connection_.get(), &ewmh_);
        ready_ = xcb_ewmh_init_atoms_replies(&ewmh_, cookies, nullptr) != 0;
        screen_ = screen;
    }
    ~Ewmh() {
        if (ready_) xcb_ewmh_connection_wipe(&ewmh_);
    }
    Ewmh(const Ewmh&) = delete;
    Ewmh& operator=(const Ewmh&) = delete;

    bool Ready() const { return ready_; }
    xcb_ewmh_connection_t* Get() { return &ewmh_; }
    xcb_connection_t* Connection() { return connection_.get(); }
    int Screen() const { return screen_; }

private:
    platform::windows::Connection connection_;
    xcb_ewmh_connection_t ewmh_{};
    bool ready_ = false;
    int screen_ = 0;
};

std::vector<xcb_window_t> ClientWindows(Ewmh& ewmh) {
    std::vector<xcb_window_t> result;
    xcb_ewmh_get_windows_reply_t list{};
    if (xcb_ewmh_get_client_list_reply(
            ewmh.Get(), xcb_ewmh_get_client_list(ewmh.Get(), ewmh.Screen()), &list, nullptr)) {
        result.assign(list.windows, list.windows + list.windows_len);
        xcb_ewmh_get_windows_reply_wipe(&list);
    }
    return result;
}

std::string Utf8Property(Ewmh& ewmh, xcb_get_property_cookie_t cookie) {
    xcb_ewmh_get_utf8_strings_reply_t reply{};
    if (!xcb_ewmh_get_utf8_strings_reply(ewmh.Get(), cookie, &reply, nullptr)) return {};
    std::string text(reply.strings, reply.strings_len);
    xcb_ewmh_get_utf8_strings_reply_wipe(&reply);
    return text;
}

std::string LegacyName(xcb_connection_t* c, xcb_window_t window) {
    xcb_icccm_get_text_property_reply_t reply{};
    if (!xcb_icccm_get_wm_name_reply(c, xcb_icccm_get_wm_name(c, window), &reply, nullptr)) {
        return {};
    }
    std::string text(reply.name, reply.name_len);
    xcb_icccm_get_text_property_reply_wipe(&reply);
    return text;
}

}  // namespace

std::optional<WindowId> FindWindowByTitle(const std::string& title) {
    Ewmh ewmh;
    if (!ewmh.Ready()) return std::nullopt;
    for (xcb_window_t window : ClientWindows(ewmh)) {
        std::string name = Utf8Property(ewmh, xcb_ewmh_get_wm_name(ewmh.Get(), window));
        if (name.empty()) name = LegacyName(ewmh.Connection(), window);
        // A window whose caption shows something else for a while (the elapsed time of a
        // recording) still carries the program's title as its icon name.
        if (name == title ||
            Utf8Property(ewmh, xcb_ewmh_get_wm_icon_name(ewmh.Get(), window)) == title) {
            return window;
        }
    }
    return std::nullopt;
}

bool RestoreAndActivate(WindowId window) {
    Ewmh ewmh;
    if (!ewmh.Ready()) return false;
    // Source indication 2 (a pager) makes window managers honour the request, un-minimising
    // the window if needed, instead of treating it as focus stealing.
    xcb_ewmh_request_change_active_window(ewmh.Get(), ewmh.Screen(), window,
                                          XCB_EWMH_CLIENT_SOURCE_TYPE_OTHER, XCB_CURRENT_TIME,
                                          XCB_WINDOW_NONE);
    xcb_map_window(ewmh.Connection(), window);
    // A round trip before the connection closes: requests sent just before a disconnect can
    // be dropped with it.
    std::free(xcb_get_input_focus_reply(ewmh.Connection(), xcb_get_input_focus(ewmh.Connection()),
                                        nullptr));
    return true;
}

}  // namespace platform::windows
