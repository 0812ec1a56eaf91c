// Handing a recording to the desktop's player, with word to the user when there is none.
#pragma once

#include <functional>
#include <string>

#include "catalogue/MessageCatalogue.h"

namespace app {

using AlertFn =
    std::function<void(const std::string& caption, const std::string& text, unsigned flags)>;

// Opens the recording at path with the desktop's program for videos and returns at once. When
// the desktop has none, alert shows, later on this thread, a warning (text 31) with the path.
void HandToPlayer(const std::string& path, std::function<std::string(Msg)> text, AlertFn alert);

}  // namespace app
