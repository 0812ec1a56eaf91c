#include "app/HookLibrary.h"

#include "platform/files/files.h"
#include "resources/Resources.h"

namespace app {

namespace files = platform::files;

HookLibrary::HookLibrary(const std::string& path) {
    // A library left by an earlier run is used as it is.
    if (!files::FileExists(path)) {
        const QByteArray library = resources::DataResource(resources::Data::HookLibrary);
        files::WriteWholeFile(path, library.constData(), static_cast<std::size_t>(library.size()));
    }
    if (!files::FileExists(path)) return;
    library_ = platform::library::Library::Load(path);
    if (!library_) return;
    hookMouse_ = library_->Function<globalhook::HookMouseFn>("HookMouse");
    hookKeyboard_ = library_->Function<globalhook::HookKeyboardFn>("HookKeyboard");
    unhookMouse_ = library_->Function<globalhook::UnhookMouseFn>("UnhookMouse");
    unhookKeyboard_ = library_->Function<globalhook::UnHookKeyboardFn>("UnHookKeyboard");
}

HookLibrary::~HookLibrary() {
    if (unhookMouse_) unhookMouse_();
    if (unhookKeyboard_) unhookKeyboard_();
}

void HookLibrary::Hook(unsigned long targetWindow) const {
    if (hookMouse_) hookMouse_(targetWindow);
    if (hookKeyboard_) hookKeyboard_(targetWindow);
}

}  // namespace app
