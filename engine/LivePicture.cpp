#include "engine/LivePicture.h"

#include <chrono>
#include <cstring>
#include <utility>

#include "engine/RecordTiming.h"

namespace engine {

namespace {

// Spans closer than this are grabbed as one: a request costs more than a few rows.
constexpr int kJoinGap = 16;

}  // namespace

LivePicture::LivePicture(platform::screen::Screen& screen,
                         std::unique_ptr<platform::screen::DamageWatcher> damage,
                         const CaptureRect& rect, int bitsPerPixel,
                         std::function<void()> unreadable)
    : screen_(screen),
      damage_(std::move(damage)),
      rect_(rect),
      bitsPerPixel_(bitsPerPixel),
      unreadable_(std::move(unreadable)),
      picture_(FrameBlock::Allocate(rect.width, rect.height, bitsPerPixel)) {}

LivePicture::Cost LivePicture::Update() {
    Cost cost;
    const RowSpan all{0, rect_.height};
    std::vector<RowSpan> rows{all};
    if (grabbed_ && damage_) {
        // The damage is asked before the pixels are read, so the pixels show at least it.
        if (auto boxes = damage_->Take()) {
            std::vector<ScreenBox> touched;
            touched.reserve(boxes->size());
            for (const auto& b : *boxes) touched.push_back({b.x, b.y, b.width, b.height});
            rows = UniteRows(RowsTouched(touched, rect_), {}, kJoinGap);
        }
    } else if (damage_) {
        damage_->Take();  // what was drawn before this grab is in it
    }
    for (const RowSpan& span : rows) Grab(span, cost);
    grabbed_ = true;
    changed_ = UniteRows(changed_, rows);
    return cost;
}

std::vector<RowSpan> LivePicture::TakeChanged() {
    return std::exchange(changed_, {});
}

void LivePicture::Grab(RowSpan rows, Cost& cost) {
    const int height = rows.bottom - rows.top;
    const std::size_t stride = picture_->Stride();
    // DIB rows run bottom-up: the span's lowest row comes first in memory.
    const auto pixels =
        picture_->Pixels().subspan(static_cast<std::size_t>(rect_.height - rows.bottom) * stride,
                                   static_cast<std::size_t>(height) * stride);
    const auto grabStart = std::chrono::steady_clock::now();
    platform::screen::NativeImage image;
    const bool captured =
        screen_.Capture(rect_.left, rect_.top + rows.top, rect_.width, height, image);
    cost.grabUs += MicrosSince(grabStart);
    const auto convertStart = std::chrono::steady_clock::now();
    const bool converted =
        captured && screen_.ToDib(image, bitsPerPixel_, pixels, picture_->ColorTable());
    cost.convertUs += MicrosSince(convertStart);
    if (!converted) {
        std::memset(pixels.data(), 0, pixels.size());
        unreadable_();
    }
}

}  // namespace engine
