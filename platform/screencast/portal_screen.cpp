#include "platform/screencast/portal_screen.h"

#include <cstring>
#include <new>
#include <utility>

namespace platform::screencast {

class PortalScreen::Damage final : public screen::DamageWatcher {
public:
    Damage(PortalScreen& screen, std::uint64_t attachment)
        : screen_(screen), attachment_(attachment) {}
    std::optional<std::vector<screen::DamageRect>> Take() override {
        return screen_.TakeDamage(attachment_);
    }

private:
    PortalScreen& screen_;
    std::uint64_t attachment_;
};

PortalScreen::PortalScreen(std::unique_ptr<screen::Screen> xwayland)
    : xwayland_(std::move(xwayland)) {}

PortalScreen::~PortalScreen() = default;

void PortalScreen::Attach(std::unique_ptr<PipeWireStream> stream, const StreamPlace& place) {
    std::unique_ptr<PipeWireStream> old;
    {
        std::lock_guard lock(mutex_);
        old = std::exchange(stream_, std::move(stream));
        ++attachment_;
        place_ = place;
        still_.clear();
        stillFrame_ = StreamFrame{};
    }
}

std::unique_ptr<PipeWireStream> PortalScreen::Detach() {
    std::lock_guard lock(mutex_);
    if (stream_) {
        stream_->WithNewestFrame([this](const StreamFrame& frame, const auto&) {
            const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * 4;
            still_.resize(rowBytes * static_cast<std::size_t>(frame.height));
            for (int y = 0; y < frame.height; ++y) {
                std::memcpy(still_.data() + static_cast<std::size_t>(y) * rowBytes,
                            frame.data + static_cast<std::size_t>(y) * frame.stride, rowBytes);
            }
            stillFrame_ = frame;
            stillFrame_.data = still_.data();
            stillFrame_.stride = rowBytes;
        });
    }
    ++attachment_;
    return std::exchange(stream_, nullptr);
}

int PortalScreen::BitsPerPixel() const {
    // Streams carry 32-bit pixels; the XWayland screen is 24 bits deep, 32 per pixel.
    return 32;
}

int PortalScreen::Width() const {
    return xwayland_ ? xwayland_->Width() : PlacementNow().width;
}

int PortalScreen::Height() const {
    return xwayland_ ? xwayland_->Height() : PlacementNow().height;
}

Placement PortalScreen::PlacementNow() const {
    const Size screen =
        xwayland_ ? Size{xwayland_->VirtualWidth(), xwayland_->VirtualHeight()} : Size{};
    return PlacementOf(place_.position, place_.size, screen);
}

bool PortalScreen::Capture(int left, int top, int width, int height, screen::NativeImage& image) {
    if (width <= 0 || height <= 0) return false;
    std::lock_guard lock(mutex_);
    if (stream_) {
        bool cut = false;
        stream_->WithNewestFrame([&](const StreamFrame& frame, const auto&) {
            cut = CutInto(frame, left, top, width, height, image);
        });
        return cut;
    }
    if (stillFrame_.data) return CutInto(stillFrame_, left, top, width, height, image);
    lastFromStream_ = false;
    return xwayland_ && xwayland_->Capture(left, top, width, height, image);
}

bool PortalScreen::CutInto(const StreamFrame& frame, int left, int top, int width, int height,
                           screen::NativeImage& image) {
    try {
        cut_.resize(static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!CutOut(frame, PlacementNow(), left, top, width, height, cut_)) return false;
    image = ImageLayout(frame.order);
    image.width = width;
    image.height = height;
    image.stride = static_cast<std::size_t>(width) * 4;
    image.data = cut_.data();
    lastFromStream_ = true;
    return true;
}

bool PortalScreen::ToDib(const screen::NativeImage& image, int bitsPerPixel,
                         std::span<std::uint8_t> pixels, std::span<std::uint32_t> colorTable) {
    bool fromStream = false;
    {
        std::lock_guard lock(mutex_);
        fromStream = lastFromStream_;
    }
    if (!fromStream) return xwayland_ && xwayland_->ToDib(image, bitsPerPixel, pixels, colorTable);
    return screen::ConvertToDib(image, bitsPerPixel, {}, pixels);
}

std::optional<Point> PortalScreen::StreamCursorPoint(bool hotSpot) {
    std::lock_guard lock(mutex_);
    if (!stream_) return std::nullopt;
    const Placement placement = PlacementNow();
    std::optional<Point> point;
    stream_->WithNewestFrame([&](const StreamFrame& frame, const std::optional<StreamCursor>& c) {
        if (!c) return;
        const Size size{frame.width, frame.height};
        point = hotSpot ? DistanceOnScreen(c->hotSpot, size, placement)
                        : PointOnScreen(c->position, size, placement);
    });
    return point;
}

std::optional<Point> PortalScreen::PointerPosition() {
    {
        std::lock_guard lock(mutex_);
        if (!stream_) return xwayland_ ? xwayland_->PointerPosition() : std::nullopt;
    }
    return StreamCursorPoint(false);
}

std::optional<Point> PortalScreen::CursorHotSpot() {
    {
        std::lock_guard lock(mutex_);
        if (!stream_) return xwayland_ ? xwayland_->CursorHotSpot() : std::nullopt;
    }
    return StreamCursorPoint(true);
}

std::unique_ptr<screen::DamageWatcher> PortalScreen::WatchDamage() {
    std::lock_guard lock(mutex_);
    if (!stream_ || !stream_->SendsDamage()) return nullptr;
    return std::make_unique<Damage>(*this, attachment_);
}

std::optional<std::vector<screen::DamageRect>> PortalScreen::TakeDamage(std::uint64_t attachment) {
    std::lock_guard lock(mutex_);
    if (!stream_ || attachment != attachment_) return std::nullopt;
    const std::optional<FrameDamage> damage = stream_->TakeDamage();
    if (!damage) return std::nullopt;
    return DamageOnScreen(damage->rects, damage->frame, PlacementNow());
}

}  // namespace platform::screencast
