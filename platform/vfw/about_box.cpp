#include "platform/vfw/about_box.h"

#include <atomic>

namespace platform::vfw {

namespace {

std::atomic<AboutBoxFn> installed{nullptr};

}  // namespace

void SetAboutBox(AboutBoxFn show) {
    installed = show;
}

bool ShowAboutBox(std::intptr_t parent, std::u16string_view description, std::string_view details) {
    const AboutBoxFn show = installed;
    return show != nullptr && show(parent, description, details);
}

}  // namespace platform::vfw
