#include "engine/DamageRows.h"

#include <algorithm>
#include <cstdint>

namespace engine {

namespace {

// Sorts and merges in place; spans no more than gap rows apart become one.
std::vector<RowSpan> Merged(std::vector<RowSpan> spans, int gap) {
    std::sort(spans.begin(), spans.end(),
              [](const RowSpan& a, const RowSpan& b) { return a.top < b.top; });
    std::vector<RowSpan> merged;
    for (const RowSpan& span : spans) {
        if (span.bottom <= span.top) continue;
        if (!merged.empty() && span.top <= merged.back().bottom + gap) {
            merged.back().bottom = std::max(merged.back().bottom, span.bottom);
        } else {
            merged.push_back(span);
        }
    }
    return merged;
}

}  // namespace

std::vector<RowSpan> RowsTouched(std::span<const ScreenBox> boxes, const CaptureRect& region) {
    std::vector<RowSpan> spans;
    const std::int64_t right = std::int64_t{region.left} + region.width;
    const std::int64_t bottom = std::int64_t{region.top} + region.height;
    for (const ScreenBox& box : boxes) {
        const std::int64_t x0 = std::max<std::int64_t>(box.left, region.left);
        const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{box.left} + box.width, right);
        const std::int64_t y0 = std::max<std::int64_t>(box.top, region.top);
        const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{box.top} + box.height, bottom);
        if (x0 >= x1 || y0 >= y1) continue;
        spans.push_back({static_cast<std::int32_t>(y0 - region.top),
                         static_cast<std::int32_t>(y1 - region.top)});
    }
    return Merged(std::move(spans), 0);
}

std::vector<RowSpan> UniteRows(std::span<const RowSpan> a, std::span<const RowSpan> b, int gap) {
    std::vector<RowSpan> all(a.begin(), a.end());
    all.insert(all.end(), b.begin(), b.end());
    return Merged(std::move(all), gap);
}

int RowCount(std::span<const RowSpan> spans) {
    int rows = 0;
    for (const RowSpan& span : spans) rows += span.bottom - span.top;
    return rows;
}

std::vector<RowSpan> CursorRows(std::optional<int> cornerY, int imageHeight, int height) {
    if (!cornerY) return {};
    const int top = std::max(*cornerY, 0);
    const int bottom = std::min(*cornerY + imageHeight, height);
    if (top >= bottom) return {};
    return {{top, bottom}};
}

}  // namespace engine
