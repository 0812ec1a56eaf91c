// The info window's picture: a screen with a marked region, the program's name and a recording
// light, on a light ground that leaves room for the web link below.
#pragma once

#include <QImage>

namespace artwork {

inline constexpr int kSplashWidth = 296;
inline constexpr int kSplashHeight = 147;
inline constexpr int kSplashPictureId = 501;

// Opaque, kSplashWidth x kSplashHeight, Format_RGB32.
QImage DrawSplashPicture();

}  // namespace artwork
