// The hook library's messages to the main window (PostMessage with WM_HOOK_MOUSE or
// WM_HOOK_KEYBOARD): X client messages of the type named by keys::kHookMessageAtom, taken out
// of the native events like the hot key and handed on as HookEvent. GUI thread only.
#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>

namespace platform::hookevents {

// One posted message: its number (keys::WM_HOOK_MOUSE, keys::WM_HOOK_KEYBOARD) and parameters.
struct HookEvent {
    std::uint32_t message = 0;
    std::uint32_t wParam = 0;
    std::uint32_t lParam = 0;
};

class HookEvents : public QAbstractNativeEventFilter {
public:
    // Looks up the message type and installs itself as a native event filter of the running
    // application. Without a display nothing arrives.
    HookEvents();
    ~HookEvents() override;
    HookEvents(const HookEvents&) = delete;
    HookEvents& operator=(const HookEvents&) = delete;

    // Called for every hook message that arrives.
    std::function<void(const HookEvent& event)> OnHookEvent;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::uint32_t type_ = 0;
};

}  // namespace platform::hookevents
