// The running copy's end of `korvex --toggle`: the toggle socket watched by the event loop.
// GUI thread only.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

#include "platform/toggle/toggle.h"

namespace app {

class ToggleChannel : public QObject {
    Q_OBJECT

public:
    // Listens where SocketPath says; null when there is no private folder for it or the socket
    // cannot be made (the program then runs without the channel). onToggle runs for each
    // request of this user.
    static std::unique_ptr<ToggleChannel> Open(std::function<void()> onToggle);
    ToggleChannel(std::unique_ptr<platform::toggle::ToggleListener> listener,
                  std::function<void()> onToggle);

private:
    std::unique_ptr<platform::toggle::ToggleListener> listener_;
    QSocketNotifier notifier_;
    std::function<void()> onToggle_;
};

}  // namespace app
