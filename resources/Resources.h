// The program's built-in resources: cursor images, toolbar pictures, the splash picture and the two libraries it
// carries as data. Every function may be called from any thread and returns its own copy.
#pragma once

#include <QByteArray>
#include <QImage>

#include "resources/ResourceIds.h"

namespace resources {

// A cursor image: 32 x 32, Format_ARGB32_Premultiplied, hot spot at (0, 0). A null image for a
// value outside the enumeration.
QImage CursorImage(Cursor id);

// A toolbar picture: 36 x 36, opaque, Format_RGB32. A null image for a value outside the
// enumeration.
QImage ToolbarBitmap(Bitmap id);

// A picture's JPEG bytes, as committed. Empty for a value outside the enumeration.
QByteArray PictureData(Picture id);

// A library carried as data, byte for byte. Empty for a value outside the enumeration.
QByteArray DataResource(Data id);

}  // namespace resources
