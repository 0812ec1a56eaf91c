// The program's icon: a dark tile with the corners of a marked region around a record button,
// drawn once as shapes so that the bitmaps and the scalable picture are the same drawing.
#pragma once

#include <QImage>
#include <QString>
#include <array>

namespace artwork {

// The sizes in pixels at which the icon is drawn for the desktop's icon theme.
constexpr std::array<int, 5> kIconSizes{16, 32, 48, 128, 256};

// The icon as premultiplied ARGB, size x size pixels.
QImage DrawIcon(int size);

// The same icon as an SVG document.
QString IconSvg();

}  // namespace artwork
