// The program's built-in resources: cursor images, toolbar pictures and the two libraries it
// carries as data. Every function may be called from any thread and returns its own copy.
#pragma once

#include <QByteArray>
#include <QImage>

namespace resources {

// Cursor image 201..215: 32 x 32, Format_ARGB32_Premultiplied, hot spot at (0, 0).
// A null image for any other id.
QImage CursorImage(int id);

// Toolbar picture 101..113: 36 x 36, opaque, Format_RGB32. A null image for any other id.
QImage ToolbarBitmap(int id);

// Data resource 901 (the hook library) or 902 (the 7z engine), byte for byte.
// Empty for any other id.
QByteArray DataResource(int id);

}  // namespace resources
