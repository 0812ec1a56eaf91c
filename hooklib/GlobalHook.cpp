// The library's lifetime in a process and its four exports.
//
// Each install starts a new observer and ends the one of the same kind that this copy of the
// library started before, so at most one mouse and one keyboard observer run per process
// however often the program installs. Unloading ends whatever still runs before the code goes.
#include "hooklib/GlobalHook.h"

#include <memory>
#include <optional>

#include "hooklib/HookShared.h"
#include "hooklib/InputObserver.h"

namespace {

using globalhook::InputObserver;
using globalhook::Observed;

struct Installed {
    std::unique_ptr<InputObserver> observer;
    std::uint32_t handle = 0;
};

// Declared in this order so that the observers end before what they read goes. The observers
// post to this process's latest target, not the block's: the block is shared by every process
// of the machine (on other displays too), and a window id means nothing on another display.
struct Library {
    std::optional<globalhook::HookShared> block = globalhook::HookShared::Open();
    std::uint32_t target = 0;
    Installed mouse;
    Installed keyboard;
    std::uint32_t lastHandle = 0;
};

Library library;

void Store(std::uint32_t& field, std::uint32_t value) {
    __atomic_store_n(&field, value, __ATOMIC_RELAXED);
}

// The stored handle is 0 when the observer cannot start, as for a hook that fails.
void Install(Installed& installed, std::uint32_t& field, Observed what, unsigned long target) {
    globalhook::HookSharedData& data = library.block->Data();
    installed.observer.reset();
    installed.observer = InputObserver::Start(what, &library.target);
    installed.handle = installed.observer ? ++library.lastHandle : 0;
    Store(field, installed.handle);
    Store(library.target, static_cast<std::uint32_t>(target));
    Store(data.TargetWindow, library.target);
}

bool Remove(Installed& installed, std::uint32_t& field) {
    const bool removed = installed.observer != nullptr;
    installed.observer.reset();
    installed.handle = 0;
    Store(field, 0);
    return removed;
}

}  // namespace

void HookMouse(unsigned long targetWindow) {
    if (!library.block) return;
    Install(library.mouse, library.block->Data().MouseHook, Observed::MouseButtons, targetWindow);
}

void UnhookMouse() {
    if (!library.block) return;
    Remove(library.mouse, library.block->Data().MouseHook);
}

void HookKeyboard(unsigned long targetWindow) {
    if (!library.block) return;
    Install(library.keyboard, library.block->Data().KeyboardHook, Observed::Keys, targetWindow);
}

bool UnHookKeyboard() {
    if (!library.block) return false;
    return Remove(library.keyboard, library.block->Data().KeyboardHook);
}
