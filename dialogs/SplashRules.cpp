#include "dialogs/SplashRules.h"

#include "catalogue/MessageCatalogue.h"

namespace dialogs {

namespace {

constexpr int kFadeStep = 3;
// Below this a close request is allowed: the fade-out has come to its end.
constexpr int kClosableOpacity = 6;
// The splash's right edge lies this far right of the main window's left edge.
constexpr int kPlacementShift = 136;
constexpr const char* kHost = "korvex.github.io";

}  // namespace

void StartFadeIn(SplashFade& fade) {
    fade.fadeInRunning = true;
}

FadeStep FadeInTick(SplashFade& fade) {
    if (!fade.blending) return FadeStep::Continue;
    if (fade.opacity < kFullOpacity - kFadeStep) {
        fade.opacity += kFadeStep;
        return FadeStep::Continue;
    }
    fade.opacity = kFullOpacity;
    if (!fade.holdDone) {
        fade.fadeInIntervalMs = kHoldMs;
        fade.holdDone = true;
        return FadeStep::Continue;
    }
    fade.fadeInIntervalMs = kFadeTickMs;
    fade.blending = false;
    fade.fadeInRunning = false;
    return FadeStep::RequestClose;
}

FadeStep FadeOutTick(SplashFade& fade) {
    if (!fade.blending) return FadeStep::Continue;
    if (fade.opacity > kFadeStep) {
        fade.opacity -= kFadeStep;
        return FadeStep::Continue;
    }
    fade.opacity = 0;
    return FadeStep::RequestClose;
}

bool CloseQuery(SplashFade& fade) {
    if (!fade.blending) {
        fade.blending = true;
        fade.fadeOutRunning = true;
        return false;
    }
    if (fade.opacity >= kClosableOpacity) return false;
    fade.fadeInRunning = false;
    fade.fadeOutRunning = false;
    fade.opacity = kDesignOpacity;
    fade.blending = true;
    return true;
}

app::WindowPosition SplashPlacement(const app::WindowPosition& mainWindow) {
    return {mainWindow.left - kPlacementShift, mainWindow.top};
}

std::string WebPageAddress(int languageOffset) {
    return std::string("https://") + kHost +
           (languageOffset != app::kGerman ? "/en/tools.html" : "/de/tools.html");
}

std::string WebHostName() {
    return kHost;
}

}  // namespace dialogs
