#include "app/PlayerHandOff.h"

#include "platform/msgbox/msgbox.h"
#include "platform/shell/shell.h"

namespace app {

void HandToPlayer(const std::string& path, std::function<std::string(Msg)> text, AlertFn alert) {
    platform::shell::OpenDocument(path, [path, text = std::move(text), alert = std::move(alert)] {
        alert(text(Msg::Warning), text(Msg::NoVideoPlayer) + "\r\n" + path,
              platform::msgbox::MB_ICONWARNING);
    });
}

}  // namespace app
