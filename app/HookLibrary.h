// The hook library that marks clicks and keys in recordings: written into the TEMP folder from
// the program's data unless an earlier run left it there, loaded, and its entry points looked up.
// Both observations end and the library is unloaded with the object. GUI thread.
#pragma once

#include <memory>
#include <string>

#include "hooklib/GlobalHook.h"
#include "platform/library/library.h"

namespace app {

class HookLibrary {
public:
    // A library that could not be written or loaded leaves an object that does nothing.
    explicit HookLibrary(const std::string& path);
    ~HookLibrary();
    HookLibrary(const HookLibrary&) = delete;
    HookLibrary& operator=(const HookLibrary&) = delete;

    // Starts observing mouse buttons and keys for targetWindow (an X window id).
    void Hook(unsigned long targetWindow) const;

private:
    std::unique_ptr<platform::library::Library> library_;
    globalhook::HookMouseFn hookMouse_ = nullptr;
    globalhook::HookKeyboardFn hookKeyboard_ = nullptr;
    globalhook::UnhookMouseFn unhookMouse_ = nullptr;
    globalhook::UnHookKeyboardFn unhookKeyboard_ = nullptr;
};

}  // namespace app
