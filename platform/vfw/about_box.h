// The about box a codec driver shows for ICM_ABOUT. The only part of the codec stand-in that
// needs Qt Widgets.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform::vfw {

// Shows a modal about box for the codec named `description`, with `details` (UTF-8) below the
// name, owned by `parent` (a QWidget* cast to intptr_t, or 0 for none); returns once it is
// closed. GUI thread of a QApplication only: false, showing nothing, anywhere else.
bool ShowAboutBox(std::intptr_t parent, std::u16string_view description, std::string_view details);

}  // namespace platform::vfw
