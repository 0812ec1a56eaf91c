#include "app/ToggleChannel.h"

namespace app {

std::unique_ptr<ToggleChannel> ToggleChannel::Open(std::function<void()> onToggle) {
    const auto path = platform::toggle::SocketPath();
    if (!path) return nullptr;
    auto listener = platform::toggle::ToggleListener::Listen(*path);
    if (!listener) return nullptr;
    return std::make_unique<ToggleChannel>(std::move(listener), std::move(onToggle));
}

ToggleChannel::ToggleChannel(std::unique_ptr<platform::toggle::ToggleListener> listener,
                             std::function<void()> onToggle)
    : listener_(std::move(listener)),
      notifier_(listener_->Descriptor(), QSocketNotifier::Read),
      onToggle_(std::move(onToggle)) {
    connect(&notifier_, &QSocketNotifier::activated, this, [this] {
        if (listener_->TakeRequest() && onToggle_) onToggle_();
    });
}

}  // namespace app
