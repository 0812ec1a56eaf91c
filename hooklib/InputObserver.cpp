#include "hooklib/InputObserver.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xinput.h>

#include <bitset>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/keys/HookFormat.h"
#include "platform/keys/RawInput.h"
#include "platform/xcb/xcb_handles.h"

namespace globalhook {

namespace {

namespace keys = platform::keys;

constexpr std::uint32_t WM_KEYUP = 0x101;
constexpr std::uint32_t WM_SYSKEYDOWN = 0x104;
constexpr std::uint32_t WM_SYSKEYUP = 0x105;
constexpr xcb_keysym_t kAltLeft = 0xFFE9;
constexpr xcb_keysym_t kAltRight = 0xFFEA;

struct FreeSymbols {
    void operator()(xcb_key_symbols_t* s) const { xcb_key_symbols_free(s); }
};

class XiObserver final : public InputObserver {
public:
    XiObserver(Observed what, const std::uint32_t* target) : what_(what), target_(target) {}
    ~XiObserver() override;

    bool Connect();
    void Run();

private:
    void Handle(const xcb_generic_event_t* event);
    void HandleKey(const keys::RawEvent& raw);
    bool IsAlt(xcb_keycode_t keycode);
    void Post(std::uint32_t msg, std::uint32_t wParam, std::uint32_t lParam);

    Observed what_;
    const std::uint32_t* target_;
    platform::xcb::XcbConnection connection_;
    std::unique_ptr<xcb_key_symbols_t, FreeSymbols> symbols_;
    std::uint8_t xiOpcode_ = 0;
    xcb_atom_t messageAtom_ = XCB_ATOM_NONE;
    std::bitset<256> altDown_;
    int stopFd_ = -1;
    std::thread thread_;
};

XiObserver::~XiObserver() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        // An eventfd write of 8 bytes cannot be short.
        [[maybe_unused]] const ssize_t written = ::write(stopFd_, &one, sizeof one);
        thread_.join();
    }
    if (stopFd_ >= 0) ::close(stopFd_);
}

bool XiObserver::Connect() {
    connection_.reset(xcb_connect(nullptr, nullptr));
    xcb_connection_t* c = connection_.get();
    if (xcb_connection_has_error(c)) return false;
    const std::uint32_t mask =
        what_ == Observed::MouseButtons
            ? XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS
            : XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;
    const auto opcode = keys::SelectRawEvents(c, mask);
    if (!opcode) return false;
    xiOpcode_ = *opcode;
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, std::strlen(keys::kHookMessageAtom), keys::kHookMessageAtom),
            nullptr),
        &std::free);
    if (!atom) return false;
    messageAtom_ = atom->atom;
    if (what_ == Observed::Keys) {
        symbols_.reset(xcb_key_symbols_alloc(c));
        if (!symbols_) return false;
    }
    stopFd_ = ::eventfd(0, EFD_CLOEXEC);
    return stopFd_ >= 0;
}

void XiObserver::Run() {
    thread_ = std::thread([this] {
        xcb_connection_t* c = connection_.get();
        pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {stopFd_, POLLIN, 0}};
        for (;;) {
            // Drain what is queued before sleeping: poll sees only what is still unread.
            while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
                Handle(event);
                std::free(event);
            }
            if (xcb_connection_has_error(c)) return;
            xcb_flush(c);
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
            if (fds[1].revents != 0) return;
        }
    });
    // Named from here, so that the name is there as soon as the install returns.
    pthread_setname_np(thread_.native_handle(), "GlobalHook");
}

void XiObserver::Handle(const xcb_generic_event_t* event) {
    // Errors (a target window that has gone) arrive here too and are dropped.
    if ((event->response_type & 0x7F) == XCB_MAPPING_NOTIFY && symbols_) {
        xcb_refresh_keyboard_mapping(symbols_.get(), reinterpret_cast<xcb_mapping_notify_event_t*>(
                                                         const_cast<xcb_generic_event_t*>(event)));
        return;
    }
    const auto raw = keys::AsRawEvent(event, xiOpcode_);
    if (!raw) return;
    if (raw->type == XCB_INPUT_RAW_BUTTON_PRESS) {
        if (raw->detail == 1) Post(keys::WM_HOOK_MOUSE, keys::WM_LBUTTONDOWN, raw->detail);
        if (raw->detail == 3) Post(keys::WM_HOOK_MOUSE, keys::WM_RBUTTONDOWN, raw->detail);
        return;
    }
    HandleKey(*raw);
}

// Raw events carry no modifiers, so the Alt keys held down are tracked from the same events.
// With Alt held the keys are system keys, as Windows reports them; Alt's own press and release
// count as held.
void XiObserver::HandleKey(const keys::RawEvent& raw) {
    if (raw.detail > 255) return;
    const auto keycode = static_cast<xcb_keycode_t>(raw.detail);
    const bool pressed = raw.type == XCB_INPUT_RAW_KEY_PRESS;
    if (pressed && IsAlt(keycode)) altDown_.set(keycode);
    const bool alt = altDown_.any();
    if (!pressed) altDown_.reset(keycode);
    const std::uint32_t wParam =
        pressed ? (alt ? WM_SYSKEYDOWN : keys::WM_KEYDOWN) : (alt ? WM_SYSKEYUP : WM_KEYUP);
    Post(keys::WM_HOOK_KEYBOARD, wParam, keycode);
}

bool XiObserver::IsAlt(xcb_keycode_t keycode) {
    const xcb_keysym_t keysym = xcb_key_symbols_get_keysym(symbols_.get(), keycode, 0);
    return keysym == kAltLeft || keysym == kAltRight;
}

// Sent without waiting for anything: a target that has gone answers with an error event that
// Handle drops.
void XiObserver::Post(std::uint32_t msg, std::uint32_t wParam, std::uint32_t lParam) {
    const xcb_window_t target = __atomic_load_n(target_, __ATOMIC_RELAXED);
    if (target == XCB_WINDOW_NONE) return;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = target;
    event.type = messageAtom_;
    event.data.data32[0] = msg;
    event.data.data32[1] = wParam;
    event.data.data32[2] = lParam;
    xcb_send_event(connection_.get(), 0, target, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection_.get());
}

}  // namespace

std::unique_ptr<InputObserver> InputObserver::Start(Observed what, const std::uint32_t* target) {
    auto observer = std::make_unique<XiObserver>(what, target);
    if (!observer->Connect()) return nullptr;
    observer->Run();
    return observer;
}

}  // namespace globalhook
