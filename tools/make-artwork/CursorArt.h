// The fifteen 32 x 32 cursor images that the frame grabber draws into recordings.
#pragma once

#include <QImage>

namespace artwork {

constexpr int kFirstCursorId = 201;
constexpr int kLastCursorId = 215;

// Cursor image id (201..215) as premultiplied ARGB with its hot spot at (0, 0); null otherwise.
QImage DrawCursor(int id);

}  // namespace artwork
