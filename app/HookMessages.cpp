#include "app/HookMessages.h"

#include <utility>

#include "engine/CursorState.h"
#include "platform/keys/HookFormat.h"

namespace app {

namespace keys = platform::keys;

int EventKindForHookMessage(std::uint32_t msg, std::uint32_t wParam,
                            const std::function<bool(int)>& keyDown) {
    if (msg == keys::WM_HOOK_MOUSE) {
        if (wParam == keys::WM_LBUTTONDOWN || wParam == keys::WM_LBUTTONDBLCLK) {
            return engine::kLeftClick;
        }
        if (wParam == keys::WM_RBUTTONDOWN || wParam == keys::WM_RBUTTONDBLCLK) {
            return engine::kRightClick;
        }
        return 0;
    }
    if (msg != keys::WM_HOOK_KEYBOARD || wParam != keys::WM_KEYDOWN) return 0;
    static constexpr std::pair<int, int> kOrder[] = {{keys::VK_RETURN, engine::kReturnKey},
                                                     {keys::VK_ESCAPE, engine::kEscapeKey},
                                                     {keys::VK_F9, engine::kF9},
                                                     {keys::VK_F10, engine::kF10},
                                                     {keys::VK_F11, engine::kF11},
                                                     {keys::VK_F12, engine::kF12}};
    for (auto [vk, kind] : kOrder) {
        if (keyDown(vk)) return kind;
    }
    return 0;
}

}  // namespace app
