// Hook messages turned into cursor marks: buttons, and keys in their fixed order.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "app/HookMessages.h"
#include "engine/CursorState.h"
#include "platform/keys/HookFormat.h"

using app::EventKindForHookMessage;
namespace keys = platform::keys;

namespace {

std::function<bool(int)> Down(std::set<int> pressed, std::vector<int>* asked = nullptr) {
    return [pressed, asked](int vk) {
        if (asked) asked->push_back(vk);
        return pressed.count(vk) != 0;
    };
}

}  // namespace

TEST(HookMessages, MouseButtons) {
    const auto none = Down({});
    EXPECT_EQ(EventKindForHookMessage(keys::WM_HOOK_MOUSE, 0x201, none), engine::kLeftClick);
    EXPECT_EQ(EventKindForHookMessage(keys::WM_HOOK_MOUSE, 0x203, none), engine::kLeftClick);
    EXPECT_EQ(EventKindForHookMessage(keys::WM_HOOK_MOUSE, 0x204, none), engine::kRightClick);
    EXPECT_EQ(EventKindForHookMessage(keys::WM_HOOK_MOUSE, 0x206, none), engine::kRightClick);
    for (std::uint32_t other : {0x200u, 0x202u, 0x205u, 0x20Au, 0x100u}) {
        EXPECT_EQ(EventKindForHookMessage(keys::WM_HOOK_MOUSE, other, none), 0) << other;
    }
}

TEST(HookMessages, KeysInTheirOrder) {
    std::vector<int> asked;
    EXPECT_EQ(EventKindForHookMessage(keys::WM_HOOK_KEYBOARD, keys::WM_KEYDOWN, Down({}, &asked)),
              0);
    EXPECT_EQ(asked, (std::vector<int>{keys::VK_RETURN, keys::VK_ESCAPE, keys::VK_F9, keys::VK_F10,
                                       keys::VK_F11, keys::VK_F12}));
    EXPECT_EQ(
        EventKindForHookMessage(keys::WM_HOOK_KEYBOARD, keys::WM_KEYDOWN, Down({keys::VK_F11})),
        engine::kF11);
    // Return and F9 both down: Return wins.
    EXPECT_EQ(EventKindForHookMessage(keys::WM_HOOK_KEYBOARD, keys::WM_KEYDOWN,
                                      Down({keys::VK_F9, keys::VK_RETURN})),
              engine::kReturnKey);
    // Releases and system keys are ignored, even with a key still down.
    for (std::uint32_t w : {0x101u, 0x104u, 0x105u}) {
        EXPECT_EQ(EventKindForHookMessage(keys::WM_HOOK_KEYBOARD, w, Down({keys::VK_F12})), 0);
    }
    EXPECT_EQ(EventKindForHookMessage(0x400, keys::WM_KEYDOWN, Down({keys::VK_F12})), 0);
}
