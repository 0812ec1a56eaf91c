// The four entry points of the GlobalHook library, which the program carries as data and loads
// at run time. The program resolves them by these exact names (note "UnhookMouse" but
// "UnHookKeyboard"); the pointer types below are what it casts the looked-up symbols to.
#pragma once

#define GLOBALHOOK_EXPORT __attribute__((visibility("default")))

extern "C" {

// Starts observing desktop-wide mouse buttons for targetWindow (an X window id). Main thread.
GLOBALHOOK_EXPORT void HookMouse(unsigned long targetWindow);

// Stops the mouse observation that HookMouse started last. Main thread.
GLOBALHOOK_EXPORT void UnhookMouse();

// Starts observing desktop-wide keys for targetWindow (an X window id). Main thread.
GLOBALHOOK_EXPORT void HookKeyboard(unsigned long targetWindow);

// Stops the keyboard observation that HookKeyboard started last; true when one was removed.
GLOBALHOOK_EXPORT bool UnHookKeyboard();
}

namespace globalhook {

using HookMouseFn = void (*)(unsigned long);
using UnhookMouseFn = void (*)();
using HookKeyboardFn = void (*)(unsigned long);
using UnHookKeyboardFn = bool (*)();

}  // namespace globalhook
