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

// Declared in this order so that the observers end before the block they read goes.
struct Library {
    std::optional<globalhook::HookShared> block = globalhook::HookShared::Open();
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
    installed.observer = InputObserver::Start(what, &data.TargetWindow);
    installed.handle = installed.observer ? ++library.lastHandle : 0;
    Store(field, installed.handle);
    Store(data.TargetWindow, static_cast<std::uint32_t>(target));
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
