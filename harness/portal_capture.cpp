#include "harness/portal_capture.h"

#include <fcntl.h>

#include <QDBusConnection>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "platform/screen/screen.h"
#include "platform/screencast/screencast_portal.h"

namespace sc = platform::screencast;

namespace korvex::test {

std::shared_ptr<sc::PortalScreen> OpenPortalScreen(QCoreApplication& application,
                                                   std::string& why) {
    std::optional<sc::PortalGrant> grant;
    {
        sc::ScreenCastPortal portal(QDBusConnection::sessionBus());
        portal.Start(
            "",
            [&](const sc::PortalGrant& g) {
                grant = g;
                application.quit();
            },
            [&](sc::PortalFailure failure) {
                why = "the portal failed: " + std::to_string(static_cast<int>(failure));
                application.quit();
            });
        application.exec();
    }
    if (!grant) return nullptr;
    auto firstFrame = std::make_shared<std::atomic<bool>>(false);
    sc::StreamEvents events;
    events.FirstFrame = [firstFrame] { *firstFrame = true; };
    auto stream =
        sc::PipeWireStream::Open(fcntl(grant->pipeWire.fileDescriptor(), F_DUPFD_CLOEXEC, 3),
                                 grant->node, std::move(events));
    if (!stream) {
        why = "PipeWire refused the stream";
        return nullptr;
    }
    auto screen = std::make_shared<sc::PortalScreen>(platform::screen::Screen::Open());
    screen->Attach(std::move(stream), grant->place);
    for (int i = 0; i < 500 && !*firstFrame; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!*firstFrame) {
        why = "the stream sent no frame";
        return nullptr;
    }
    return screen;
}

}  // namespace korvex::test
