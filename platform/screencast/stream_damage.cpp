#include "platform/screencast/stream_damage.h"

#include <algorithm>
#include <utility>

namespace platform::screencast {

namespace {

// More regions than this between two questions count as everything: the recorder stopped
// asking, and the memory stays bounded.
constexpr std::size_t kMostRegions = 256;

// The screen pixels [first, end) whose area overlaps the stream pixels [from, to) of a frame
// frameSize pixels across, laid over placedSize screen pixels.
std::pair<std::int64_t, std::int64_t> Cover(std::int64_t from, std::int64_t to,
                                            std::int64_t frameSize, std::int64_t placedSize) {
    const std::int64_t first = from * placedSize / frameSize;
    const std::int64_t end = (to * placedSize + frameSize - 1) / frameSize;
    return {first, end};
}

}  // namespace

void StreamDamage::MarkAll() {
    all_ = true;
    rects_.clear();
}

void StreamDamage::Add(std::span<const StreamRect> regions) {
    if (all_) return;
    const auto end = std::find_if(regions.begin(), regions.end(), [](const StreamRect& r) {
        return r.width == 0 || r.height == 0;
    });
    if (end == regions.end() ||
        rects_.size() + static_cast<std::size_t>(end - regions.begin()) > kMostRegions) {
        MarkAll();
        return;
    }
    rects_.insert(rects_.end(), regions.begin(), end);
}

std::optional<std::vector<StreamRect>> StreamDamage::Take() {
    const bool all = std::exchange(all_, false);
    std::vector<StreamRect> taken = std::exchange(rects_, {});
    if (all) return std::nullopt;
    return taken;
}

std::optional<std::vector<screen::DamageRect>> DamageOnScreen(std::span<const StreamRect> rects,
                                                              Size frame,
                                                              const Placement& placement) {
    if (frame.width <= 0 || frame.height <= 0 || placement.width <= 0 || placement.height <= 0) {
        return std::nullopt;
    }
    std::vector<screen::DamageRect> boxes;
    for (const StreamRect& r : rects) {
        const std::int64_t x0 = std::max<std::int64_t>(r.x, 0);
        const std::int64_t y0 = std::max<std::int64_t>(r.y, 0);
        const std::int64_t x1 = std::min<std::int64_t>(std::int64_t{r.x} + r.width, frame.width);
        const std::int64_t y1 = std::min<std::int64_t>(std::int64_t{r.y} + r.height, frame.height);
        if (x0 >= x1 || y0 >= y1) continue;
        const auto [left, right] = Cover(x0, x1, frame.width, placement.width);
        const auto [top, bottom] = Cover(y0, y1, frame.height, placement.height);
        boxes.push_back({static_cast<int>(placement.x + left), static_cast<int>(placement.y + top),
                         static_cast<int>(right - left), static_cast<int>(bottom - top)});
    }
    return boxes;
}

}  // namespace platform::screencast
