// The about box a codec driver shows for ICM_ABOUT. The codec layer has no windows of its own:
// the program installs the function that shows the box (platform/aboutbox), and until then
// ICM_ABOUT fails as it does where no box can be shown.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform::vfw {

// Shows a modal about box for the codec named `description`, with `details` (UTF-8) below the
// name, owned by `parent` (a QWidget* cast to intptr_t, or 0 for none); returns once it is
// closed, true when it was shown.
using AboutBoxFn = bool (*)(std::intptr_t parent, std::u16string_view description,
                            std::string_view details);

// Installs the function for every driver; any thread.
void SetAboutBox(AboutBoxFn show);
// The installed function's answer; false without one.
bool ShowAboutBox(std::intptr_t parent, std::u16string_view description, std::string_view details);

}  // namespace platform::vfw
