#include "platform/windows/windows.h"

#include <xcb/xcb.h>
#include <xcb/xcb_ewmh.h>
#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/xcb/xcb_handles.h"

namespace platform::windows {

namespace {

using xcb::XcbReply;

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
    xcb_window_t Root() { return ewmh_.screens[screen_]->root; }

private:
    xcb::XcbConnection connection_;
    xcb_ewmh_connection_t ewmh_{};
    bool ready_ = false;
    int screen_ = 0;
};

std::vector<xcb_window_t> TakeWindows(xcb_ewmh_get_windows_reply_t& list) {
    std::vector<xcb_window_t> windows(list.windows, list.windows + list.windows_len);
    xcb_ewmh_get_windows_reply_wipe(&list);
    return windows;
}

// Front first.
std::vector<xcb_window_t> ClientWindows(Ewmh& ewmh) {
    xcb_ewmh_get_windows_reply_t list{};
    std::vector<xcb_window_t> windows;
    if (xcb_ewmh_get_client_list_stacking_reply(
            ewmh.Get(), xcb_ewmh_get_client_list_stacking(ewmh.Get(), ewmh.Screen()), &list,
            nullptr)) {
        windows = TakeWindows(list);
    } else if (xcb_ewmh_get_client_list_reply(ewmh.Get(),
                                              xcb_ewmh_get_client_list(ewmh.Get(), ewmh.Screen()),
                                              &list, nullptr)) {
        windows = TakeWindows(list);
    }
    std::reverse(windows.begin(), windows.end());
    return windows;
}

std::string Utf8Property(Ewmh& ewmh, xcb_get_property_cookie_t cookie) {
    xcb_ewmh_get_utf8_strings_reply_t reply{};
    if (!xcb_ewmh_get_utf8_strings_reply(ewmh.Get(), cookie, &reply, nullptr)) return {};
    std::string text(reply.strings, reply.strings_len);
    xcb_ewmh_get_utf8_strings_reply_wipe(&reply);
    return text;
}

std::string Latin1ToUtf8(std::string_view text) {
    std::string utf8;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            utf8 += c;
        } else {
            utf8 += static_cast<char>(0xC0 | byte >> 6);
            utf8 += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return utf8;
}

// WM_NAME of type STRING is Latin-1; other types are taken as they are.
std::string LegacyName(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    xcb_icccm_get_text_property_reply_t reply{};
    if (!xcb_icccm_get_wm_name_reply(c, cookie, &reply, nullptr)) return {};
    std::string text(reply.name, reply.name_len);
    if (reply.encoding == XCB_ATOM_STRING) text = Latin1ToUtf8(text);
    xcb_icccm_get_text_property_reply_wipe(&reply);
    return text;
}

// The requests for one window, sent together so that many windows cost one round trip.
struct Pending {
    xcb_window_t window;
    xcb_get_property_cookie_t netName, name, state, extents;
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_geometry_cookie_t geometry;
    xcb_translate_coordinates_cookie_t origin;
};

Pending Ask(Ewmh& ewmh, xcb_window_t window) {
    xcb_connection_t* c = ewmh.Connection();
    return {window,
            xcb_ewmh_get_wm_name(ewmh.Get(), window),
            xcb_icccm_get_wm_name(c, window),
            xcb_ewmh_get_wm_state(ewmh.Get(), window),
            xcb_ewmh_get_frame_extents(ewmh.Get(), window),
            xcb_get_window_attributes(c, window),
            xcb_get_geometry(c, window),
            xcb_translate_coordinates(c, window, ewmh.Root(), 0, 0)};
}

void ReadState(Ewmh& ewmh, xcb_get_property_cookie_t cookie, TopLevelWindow& info) {
    xcb_ewmh_get_atoms_reply_t state{};
    if (!xcb_ewmh_get_wm_state_reply(ewmh.Get(), cookie, &state, nullptr)) return;
    const auto has = [&](xcb_atom_t atom) {
        return std::find(state.atoms, state.atoms + state.atoms_len, atom) !=
               state.atoms + state.atoms_len;
    };
    info.minimised = has(ewmh.Get()->_NET_WM_STATE_HIDDEN);
    info.maximised = has(ewmh.Get()->_NET_WM_STATE_MAXIMIZED_VERT) &&
                     has(ewmh.Get()->_NET_WM_STATE_MAXIMIZED_HORZ);
    xcb_ewmh_get_atoms_reply_wipe(&state);
}

// Nothing when the window has gone in the meantime.
std::optional<TopLevelWindow> Collect(Ewmh& ewmh, const Pending& p) {
    xcb_connection_t* c = ewmh.Connection();
    TopLevelWindow info;
    info.id = p.window;
    info.title = Utf8Property(ewmh, p.netName);
    std::string legacy = LegacyName(c, p.name);
    if (info.title.empty()) info.title = std::move(legacy);
    ReadState(ewmh, p.state, info);
    xcb_ewmh_get_extents_reply_t extents{};
    if (!xcb_ewmh_get_frame_extents_reply(ewmh.Get(), p.extents, &extents, nullptr)) {
        extents = {};
    }
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, p.attributes, nullptr));
    XcbReply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, p.geometry, nullptr));
    XcbReply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(c, p.origin, nullptr));
    if (!attributes || !geometry || !origin) return std::nullopt;
    info.visible = attributes->map_state == XCB_MAP_STATE_VIEWABLE || info.minimised;
    info.frame = {origin->dst_x - static_cast<int>(extents.left),
                  origin->dst_y - static_cast<int>(extents.top),
                  origin->dst_x + geometry->width + static_cast<int>(extents.right),
                  origin->dst_y + geometry->height + static_cast<int>(extents.bottom)};
    return info;
}

std::vector<TopLevelWindow> Describe(Ewmh& ewmh, const std::vector<xcb_window_t>& windows) {
    std::vector<Pending> pending;
    pending.reserve(windows.size());
    for (xcb_window_t window : windows) pending.push_back(Ask(ewmh, window));
    std::vector<TopLevelWindow> result;
    for (const Pending& p : pending) {
        if (auto info = Collect(ewmh, p)) result.push_back(std::move(*info));
    }
    return result;
}

}  // namespace

std::vector<TopLevelWindow> EnumWindows() {
    Ewmh ewmh;
    if (!ewmh.Ready()) return {};
    return Describe(ewmh, ClientWindows(ewmh));
}

std::optional<TopLevelWindow> QueryWindow(WindowId window) {
    Ewmh ewmh;
    if (!ewmh.Ready()) return std::nullopt;
    const std::vector<xcb_window_t> clients = ClientWindows(ewmh);
    if (std::find(clients.begin(), clients.end(), window) == clients.end()) return std::nullopt;
    std::vector<TopLevelWindow> described = Describe(ewmh, {window});
    if (described.empty()) return std::nullopt;
    return std::move(described.front());
}

std::optional<WindowId> FindWindowByTitle(const std::string& title) {
    Ewmh ewmh;
    if (!ewmh.Ready()) return std::nullopt;
    for (xcb_window_t window : ClientWindows(ewmh)) {
        std::string name = Utf8Property(ewmh, xcb_ewmh_get_wm_name(ewmh.Get(), window));
        if (name.empty())
            name = LegacyName(ewmh.Connection(), xcb_icccm_get_wm_name(ewmh.Connection(), window));
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
