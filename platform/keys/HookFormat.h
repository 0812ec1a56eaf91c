// The messages the hook library posts to the main window, as X client messages, and the keys
// the main window asks about when one comes. Needs neither Qt nor X11, so that the library and
// the pure rules take it in too.
#pragma once

#include <cstdint>

namespace platform::keys {

constexpr int VK_RETURN = 0x0D;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_F9 = 0x78;
constexpr int VK_F10 = 0x79;
constexpr int VK_F11 = 0x7A;
constexpr int VK_F12 = 0x7B;

// The X client message by which the hook library posts a hook message: message_type is the
// atom of this name; data32 holds the message number, wParam and lParam.
inline constexpr char kHookMessageAtom[] = "KORVEX_HOOK_MESSAGE";
constexpr std::uint32_t WM_HOOK_MOUSE = 0x46F;
constexpr std::uint32_t WM_HOOK_KEYBOARD = 0x4DE;
constexpr std::uint32_t WM_KEYDOWN = 0x100;
constexpr std::uint32_t WM_LBUTTONDOWN = 0x201;
constexpr std::uint32_t WM_LBUTTONDBLCLK = 0x203;
constexpr std::uint32_t WM_RBUTTONDOWN = 0x204;
constexpr std::uint32_t WM_RBUTTONDBLCLK = 0x206;

}  // namespace platform::keys
