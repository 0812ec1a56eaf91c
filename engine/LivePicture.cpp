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
                         const CaptureRect& rect, int bitsPerPixel, int healPasses, PFrame first,
                         std::function<void()> unreadable)
    : screen_(screen),
      damage_(std::move(damage)),
      rect_(rect),
      bitsPerPixel_(bitsPerPixel),
      healRows_(std::max(1, (rect.height + std::max(1, healPasses) - 1) / std::max(1, healPasses))),
      unreadable_(std::move(unreadable)),
      scratch_(FrameBlock::Allocate(rect.width, healRows_, bitsPerPixel)) {
    if (first && damage_ && first->Header().biWidth == rect.width &&
        first->Header().biHeight == rect.height && first->Header().biBitCount == bitsPerPixel) {
        picture_ = std::move(first);
        grabbed_ = true;
        changed_ = {{0, rect.height}};
    } else {
        picture_ = FrameBlock::Allocate(rect.width, rect.height, bitsPerPixel);
    }
}

LivePicture::Cost LivePicture::Update() {
    Cost cost;
    const RowSpan all{0, rect_.height};
    std::vector<RowSpan> rows{all};
    bool told = false;  // rows left alone on the damage's word
    if (grabbed_ && damage_) {
        // The damage is asked before the pixels are read, so the pixels show at least it.
        const auto boxes = damage_->Take();
        told = boxes.has_value();
        if (boxes) {
            std::vector<ScreenBox> touched;
            touched.reserve(boxes->size());
            for (const auto& b : *boxes) touched.push_back({b.x, b.y, b.width, b.height});
            rows = UniteRows(RowsTouched(touched, rect_), {}, kJoinGap);
        }
    } else if (damage_) {
        damage_->Take();  // what was drawn before this grab is in it
    }
    for (const RowSpan& span : rows) Grab(span, cost);
    changed_ = UniteRows(changed_, rows);
    // A pass that grabbed everything has nothing to heal.
    if (told) Heal(cost);
    grabbed_ = true;
    return cost;
}

void LivePicture::Heal(Cost& cost) {
    const RowSpan band{healTop_, std::min(rect_.height, healTop_ + healRows_)};
    healTop_ = band.bottom < rect_.height ? band.bottom : 0;
    if (!scratch_) {
        // No room to compare in: the band counts as changed.
        Grab(band, cost);
        changed_ = UniteRows(changed_, std::vector<RowSpan>{band});
        return;
    }
    const std::size_t stride = picture_->Stride();
    const int rows = band.bottom - band.top;
    const auto fresh = scratch_->Pixels().first(static_cast<std::size_t>(rows) * stride);
    GrabInto(fresh, scratch_->ColorTable(), band, cost);
    if (!std::equal(scratch_->ColorTable().begin(), scratch_->ColorTable().end(),
                    picture_->ColorTable().begin())) {
        // New colours: every row of the picture is read again with them.
        const RowSpan all{0, rect_.height};
        Grab(all, cost);
        changed_ = {all};
        return;
    }
    std::vector<RowSpan> differ;
    for (int y = band.top; y < band.bottom; ++y) {
        // DIB rows run bottom-up, in the picture and in the band alike.
        const std::uint8_t* now =
            fresh.data() + static_cast<std::size_t>(band.bottom - 1 - y) * stride;
        std::uint8_t* kept =
            picture_->Pixels().data() + static_cast<std::size_t>(rect_.height - 1 - y) * stride;
        if (std::memcmp(now, kept, stride) == 0) continue;
        std::memcpy(kept, now, stride);
        if (!differ.empty() && differ.back().bottom == y) {
            differ.back().bottom = y + 1;
        } else {
            differ.push_back({y, y + 1});
        }
    }
    changed_ = UniteRows(changed_, differ);
}

std::vector<RowSpan> LivePicture::TakeChanged() {
    return std::exchange(changed_, {});
}

void LivePicture::Grab(RowSpan rows, Cost& cost) {
    const std::size_t stride = picture_->Stride();
    // DIB rows run bottom-up: the span's lowest row comes first in memory.
    GrabInto(
        picture_->Pixels().subspan(static_cast<std::size_t>(rect_.height - rows.bottom) * stride,
                                   static_cast<std::size_t>(rows.bottom - rows.top) * stride),
        picture_->ColorTable(), rows, cost);
}

void LivePicture::GrabInto(std::span<std::uint8_t> pixels, std::span<std::uint32_t> colorTable,
                           RowSpan rows, Cost& cost) {
    const auto grabStart = std::chrono::steady_clock::now();
    platform::screen::NativeImage image;
    const bool captured = screen_.Capture(rect_.left, rect_.top + rows.top, rect_.width,
                                          rows.bottom - rows.top, image);
    cost.grabUs += MicrosSince(grabStart);
    const auto convertStart = std::chrono::steady_clock::now();
    const bool converted = captured && screen_.ToDib(image, bitsPerPixel_, pixels, colorTable);
    cost.convertUs += MicrosSince(convertStart);
    if (!converted) {
        std::memset(pixels.data(), 0, pixels.size());
        unreadable_();
    }
}

}  // namespace engine
