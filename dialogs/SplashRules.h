// The splash's course on plain values: the opacity schedule of its two timers, the rules by
// which a close request is refused until the course is run, its placement and its web address.
// Neither Qt nor X11.
#pragma once

#include <string>

#include "settings/Settings.h"

namespace dialogs {

inline constexpr int kSplashWidth = 296;
inline constexpr int kSplashHeight = 147;
inline constexpr int kDesignOpacity = 10;
inline constexpr int kFullOpacity = 255;
inline constexpr int kFadeTickMs = 10;
inline constexpr int kHoldMs = 1500;

// The state of the fade. Alpha blending off means fully shown at whatever the opacity says.
struct SplashFade {
    int opacity = kDesignOpacity;
    bool blending = true;
    bool holdDone = false;  // the hold at full opacity has begun
    bool fadeInRunning = false;
    int fadeInIntervalMs = kFadeTickMs;
    bool fadeOutRunning = false;
};

// What a timer tick asks of the window afterwards.
enum class FadeStep { Continue, RequestClose };

// The first activation: the fade-in begins.
void StartFadeIn(SplashFade& fade);
// A Fade_In tick: 3 more, then full opacity and the hold, then the end of the hold.
FadeStep FadeInTick(SplashFade& fade);
// A Fade_Out tick: 3 less, then 0 and a close request.
FadeStep FadeOutTick(SplashFade& fade);
// A close request from anyone: true only when the fade-out is over (and the fade is then ready
// for another showing). When the window is fully shown the request starts the fade-out.
bool CloseQuery(SplashFade& fade);

// The splash's top-left corner for the main window's future position: flush right with it.
app::WindowPosition SplashPlacement(const app::WindowPosition& mainWindow);

// The page the web label opens, by language.
std::string WebPageAddress(int languageOffset);
// The label's text: the host name.
std::string WebHostName();

}  // namespace dialogs
