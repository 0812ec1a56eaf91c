// The thirteen 36 x 36 toolbar button pictures, released ("dark") and pressed ("light") looks.
#pragma once

#include <QImage>

namespace artwork {

constexpr int kFirstToolbarId = 101;
constexpr int kLastToolbarId = 113;

// Button picture id (101..113) as opaque RGB on the silver toolbar colour; null otherwise.
QImage DrawToolbarBitmap(int id);

}  // namespace artwork
