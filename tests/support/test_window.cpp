#include "tests/support/test_window.h"

#include <xcb/xcb_icccm.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

namespace korvex::test {

namespace {

struct Free {
    void operator()(void* p) const { std::free(p); }
};

// Polls cond until it holds; throws after a generous deadline.
void AwaitOrThrow(const std::function<bool()>& cond, const char* what) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error(what);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::vector<xcb_atom_t> AtomList(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property) {
    std::unique_ptr<xcb_get_property_reply_t, Free> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_ATOM_ANY, 0, 4096), nullptr));
    if (!reply || reply->format != 32) return {};
    const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    return {atoms, atoms + xcb_get_property_value_length(reply.get()) / 4};
}

// A window mapped before the window manager redirects the root's children stays unmanaged:
// wait until someone else holds the redirect (asking for it ourselves is then refused).
void AwaitWindowManager(xcb_connection_t* c, xcb_window_t root) {
    AwaitOrThrow(
        [&] {
            const std::uint32_t redirect[] = {XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT};
            std::unique_ptr<xcb_generic_error_t, Free> refused(xcb_request_check(
                c, xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, redirect)));
            if (refused) return true;
            const std::uint32_t none[] = {0};
            xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, none);
            return false;
        },
        "no window manager runs on the display");
}

}  // namespace

xcb_atom_t TestWindow::Atom(const char* name) {
    std::unique_ptr<xcb_intern_atom_reply_t, Free> reply(xcb_intern_atom_reply(
        connection_.get(),
        xcb_intern_atom(connection_.get(), 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    if (!reply) throw std::runtime_error(std::string("no atom ") + name);
    return reply->atom;
}

TestWindow::TestWindow(const TestWindowOptions& o) {
    const char* display = std::getenv("DISPLAY");
    connection_ = ConnectTo(display ? display : "");
    xcb_connection_t* c = connection_.get();
    xcb_screen_t* screen = DefaultScreen(c);
    window_ = xcb_generate_id(c);
    const std::uint32_t values[] = {screen->white_pixel};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, screen->root, static_cast<int16_t>(o.x),
                      static_cast<int16_t>(o.y), static_cast<uint16_t>(o.width),
                      static_cast<uint16_t>(o.height), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL, values);
    const xcb_atom_t utf8 = Atom("UTF8_STRING");
    for (xcb_atom_t property : {Atom("_NET_WM_NAME"), xcb_atom_t{XCB_ATOM_WM_NAME}}) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, property, utf8, 8,
                            static_cast<std::uint32_t>(o.title.size()), o.title.data());
    }
    xcb_size_hints_t hints{};
    xcb_icccm_size_hints_set_position(&hints, 1, o.x, o.y);
    xcb_icccm_size_hints_set_size(&hints, 1, o.width, o.height);
    xcb_icccm_set_wm_normal_hints(c, window_, &hints);
    // Motif hints: decorations given (flag 2), none of them.
    const std::uint32_t motif[5] = {2, 0, 0, 0, 0};
    const xcb_atom_t motifAtom = Atom("_MOTIF_WM_HINTS");
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, motifAtom, motifAtom, 32, 5, motif);
    AwaitWindowManager(c, screen->root);
    xcb_map_window(c, window_);
    xcb_flush(c);
    AwaitOrThrow(
        [&] {
            std::unique_ptr<xcb_translate_coordinates_reply_t, Free> at(
                xcb_translate_coordinates_reply(
                    c, xcb_translate_coordinates(c, window_, screen->root, 0, 0), nullptr));
            return Listed() && at && at->dst_x == o.x && at->dst_y == o.y;
        },
        "the window manager did not place the test window");
}

TestWindow::~TestWindow() {
    if (connection_ && window_ != XCB_NONE && !destroyed_) {
        xcb_destroy_window(connection_.get(), window_);
        Sync(connection_.get());
    }
}

bool TestWindow::Listed() {
    xcb_connection_t* c = connection_.get();
    const auto clients = AtomList(c, DefaultScreen(c)->root, Atom("_NET_CLIENT_LIST"));
    return std::find(clients.begin(), clients.end(), window_) != clients.end();
}

bool TestWindow::HasState(const char* state) {
    const auto states = AtomList(connection_.get(), window_, Atom("_NET_WM_STATE"));
    return std::find(states.begin(), states.end(), Atom(state)) != states.end();
}

// A request to the window manager about this window, as EWMH and ICCCM send them.
void TestWindow::AskWindowManager(const char* type, std::initializer_list<std::uint32_t> data) {
    xcb_connection_t* c = connection_.get();
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window_;
    event.type = Atom(type);
    std::copy(data.begin(), data.end(), event.data.data32);
    xcb_send_event(c, 0, DefaultScreen(c)->root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(c);
}

void TestWindow::Minimise() {
    AskWindowManager("WM_CHANGE_STATE", {XCB_ICCCM_WM_STATE_ICONIC});
    AwaitOrThrow([&] { return HasState("_NET_WM_STATE_HIDDEN"); }, "window not minimised");
}

void TestWindow::Maximise() {
    // Add both states; source 2, a pager.
    AskWindowManager("_NET_WM_STATE", {1, Atom("_NET_WM_STATE_MAXIMIZED_VERT"),
                                       Atom("_NET_WM_STATE_MAXIMIZED_HORZ"), 2});
    AwaitOrThrow(
        [&] {
            return HasState("_NET_WM_STATE_MAXIMIZED_VERT") &&
                   HasState("_NET_WM_STATE_MAXIMIZED_HORZ");
        },
        "window not maximised");
}

void TestWindow::Destroy() {
    xcb_destroy_window(connection_.get(), window_);
    xcb_flush(connection_.get());
    destroyed_ = true;
    AwaitOrThrow([&] { return !Listed(); }, "destroyed window still listed");
}

}  // namespace korvex::test
