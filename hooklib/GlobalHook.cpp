// The library's lifetime in a process and its four exports.
#include "hooklib/GlobalHook.h"

#include <optional>

#include "hooklib/HookShared.h"

namespace {

// The block lives exactly as long as the library stays loaded in this process.
std::optional<globalhook::HookShared> block;

__attribute__((constructor)) void Attach() {
    block = globalhook::HookShared::Open();
}

__attribute__((destructor)) void Detach() {
    block.reset();
}

}  // namespace

// This build carries no input observer. The exports therefore behave as they do when the block
// cannot be made: nothing is installed and the block keeps its values.

void HookMouse(unsigned long /*targetWindow*/) {}

void UnhookMouse() {}

void HookKeyboard(unsigned long /*targetWindow*/) {}

bool UnHookKeyboard() {
    return false;
}
