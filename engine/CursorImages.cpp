#include "engine/CursorImages.h"

#include <QImage>

#include "resources/Resources.h"

namespace engine {

CursorImages::CursorImages() {
    for (int i = 0; i < kCount; ++i) {
        QImage image = resources::CursorImage(Cursor{kFirst + i});
        if (image.isNull()) continue;
        image = image.convertToFormat(QImage::Format_ARGB32).scaled(kCursorSize, kCursorSize);
        for (int y = 0; y < kCursorSize; ++y) {
            const auto* line = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
            std::copy(line, line + kCursorSize, images_[i].begin() + y * kCursorSize);
        }
    }
}

std::span<const std::uint32_t> CursorImages::Image(int id) const {
    if (id < kFirst || id >= kFirst + kCount) return empty_;
    return images_[id - kFirst];
}

}  // namespace engine
