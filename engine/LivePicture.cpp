#include "engine/LivePicture.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#include "engine/RecordTiming.h"

namespace engine {

namespace {

// Spans closer than this are grabbed as one: a request costs more than a few rows.
constexpr int kJoinGap = 16;

}  // namespace

LivePicture::LivePicture(platform::screen::CaptureSource& screen,
                         std::unique_ptr<platform::screen::DamageWatcher> damage,
                         const CaptureRect& rect, int bitsPerPixel,
                         std::function<void()> unreadable)
    : screen_(screen),
      damage_(std::move(damage)),
      rect_(rect),
      bitsPerPixel_(bitsPerPixel),
      unreadable_(std::move(unreadable)),
      picture_(FrameBlock::Allocate(rect.width, rect.height, bitsPerPixel)) {}

LivePicture::Cost LivePicture::Update(bool whole) {
    Cost cost;
    const RowSpan all{0, rect_.height};
    std::vector<RowSpan> rows{all};
    if (grabbed_ && damage_) {
        // The damage is asked before the pixels are read, so the pixels show at least it.
        const auto boxes = damage_->Take();
        if (boxes && whole) return Heal(cost);
        if (boxes) {
            std::vector<ScreenBox> touched;
            touched.reserve(boxes->size());
            for (const auto& b : *boxes) touched.push_back({b.x, b.y, b.width, b.height});
            rows = UniteRows(RowsTouched(touched, rect_), {}, kJoinGap);
        }
    } else if (damage_) {
        damage_->Take();  // what was drawn before this grab is in it
    }
    for (const RowSpan& span : rows) Grab(*picture_, span, cost);
    grabbed_ = true;
    changed_ = UniteRows(changed_, rows);
    return cost;
}

LivePicture::Cost LivePicture::Heal(Cost& cost) {
    const RowSpan all{0, rect_.height};
    if (!scratch_) scratch_ = FrameBlock::Allocate(rect_.width, rect_.height, bitsPerPixel_);
    if (!scratch_) {
        // No room to compare in: everything counts as changed.
        Grab(*picture_, all, cost);
        changed_ = {all};
        return cost;
    }
    Grab(*scratch_, all, cost);
    const std::size_t stride = picture_->Stride();
    const bool tableChanged =
        !std::equal(scratch_->ColorTable().begin(), scratch_->ColorTable().end(),
                    picture_->ColorTable().begin());
    std::vector<RowSpan> differ;
    for (int y = 0; y < rect_.height; ++y) {
        const std::size_t at = static_cast<std::size_t>(rect_.height - 1 - y) * stride;
        if (tableChanged || std::memcmp(scratch_->Pixels().data() + at,
                                        picture_->Pixels().data() + at, stride) != 0) {
            if (!differ.empty() && differ.back().bottom == y) {
                differ.back().bottom = y + 1;
            } else {
                differ.push_back({y, y + 1});
            }
        }
    }
    std::swap(picture_, scratch_);
    changed_ = UniteRows(changed_, differ);
    return cost;
}

std::vector<RowSpan> LivePicture::TakeChanged() {
    return std::exchange(changed_, {});
}

void LivePicture::Grab(FrameBlock& into, RowSpan rows, Cost& cost) {
    const int height = rows.bottom - rows.top;
    const std::size_t stride = into.Stride();
    // DIB rows run bottom-up: the span's lowest row comes first in memory.
    const auto pixels =
        into.Pixels().subspan(static_cast<std::size_t>(rect_.height - rows.bottom) * stride,
                              static_cast<std::size_t>(height) * stride);
    const auto grabStart = std::chrono::steady_clock::now();
    platform::screen::NativeImage image;
    const bool captured =
        screen_.Capture(rect_.left, rect_.top + rows.top, rect_.width, height, image);
    cost.grabUs += MicrosSince(grabStart);
    const auto convertStart = std::chrono::steady_clock::now();
    const bool converted =
        captured && screen_.ToDib(image, bitsPerPixel_, pixels, into.ColorTable());
    cost.convertUs += MicrosSince(convertStart);
    if (!converted) {
        std::memset(pixels.data(), 0, pixels.size());
        unreadable_();
    }
}

}  // namespace engine
