#include "app/ScreenCastCapture.h"

#include <fcntl.h>

#include <QDBusConnection>
#include <cstdlib>
#include <utility>

#include "platform/screen/screen.h"
#include "settings/Settings.h"

namespace app {

namespace sc = platform::screencast;

namespace {

// A desktop answers within moments once the user has chosen; a stream without a first frame
// after this long sends none.
constexpr int kFirstFrameMs = 10000;

Msg MessageFor(sc::PortalFailure failure) {
    switch (failure) {
        case sc::PortalFailure::NoPortal:
            return Msg::ScreenCastNoPortal;
        case sc::PortalFailure::NoScreenCast:
            return Msg::ScreenCastUnavailable;
        case sc::PortalFailure::Cancelled:
            return Msg::ScreenCastCancelled;
        case sc::PortalFailure::Refused:
            return Msg::ScreenCastRefused;
        case sc::PortalFailure::NoPipeWire:
            break;
    }
    return Msg::ScreenCastNoPipeWire;
}

}  // namespace

std::unique_ptr<ScreenCastCapture> ScreenCastCapture::ForSession() {
    if (!sc::IsWaylandSession(std::getenv("XDG_SESSION_TYPE"), std::getenv("WAYLAND_DISPLAY"))) {
        return nullptr;
    }
    return std::make_unique<ScreenCastCapture>();
}

ScreenCastCapture::ScreenCastCapture()
    : screen_(std::make_shared<sc::PortalScreen>(platform::screen::Screen::Open())),
      portal_(QDBusConnection::sessionBus()) {
    firstFrame_.setSingleShot(true);
    firstFrame_.setInterval(kFirstFrameMs);
    connect(&firstFrame_, &QTimer::timeout, this, [this] { Fail(Msg::ScreenCastNoPicture); });
}

ScreenCastCapture::~ScreenCastCapture() {
    End();
}

void ScreenCastCapture::Begin(std::function<void()> ready, std::function<void(Msg)> failed) {
    End();
    ready_ = std::move(ready);
    failed_ = std::move(failed);
    portal_.Start(
        ReadScreenCastToken(), [this](const sc::PortalGrant& grant) { Granted(grant); },
        [this](sc::PortalFailure failure) { Fail(MessageFor(failure)); });
}

void ScreenCastCapture::Granted(const sc::PortalGrant& grant) {
    // Each token serves once: the next start needs the one this start gave.
    WriteScreenCastToken(grant.restoreToken);
    const std::uint64_t generation = ++generation_;
    sc::StreamEvents events;
    events.FirstFrame = [this, generation] { Post(generation, &ScreenCastCapture::FirstFrame); };
    events.Ended = [this, generation] { Post(generation, &ScreenCastCapture::StreamEnded); };
    // The stream owns its descriptor; the grant's copy closes with the grant.
    const int fd = ::fcntl(grant.pipeWire.fileDescriptor(), F_DUPFD_CLOEXEC, 3);
    auto stream = fd < 0 ? nullptr : sc::PipeWireStream::Open(fd, grant.node, std::move(events));
    if (!stream) {
        Fail(Msg::ScreenCastNoPipeWire);
        return;
    }
    screen_->Attach(std::move(stream), grant.place);
    firstFrame_.start();
}

void ScreenCastCapture::Post(std::uint64_t generation, void (ScreenCastCapture::*handler)()) {
    QMetaObject::invokeMethod(
        this,
        [this, generation, handler] {
            if (generation == generation_) (this->*handler)();
        },
        Qt::QueuedConnection);
}

void ScreenCastCapture::FirstFrame() {
    firstFrame_.stop();
    streaming_ = true;
    failed_ = nullptr;
    if (ready_) std::exchange(ready_, nullptr)();
}

void ScreenCastCapture::StreamEnded() {
    if (!streaming_) {
        Fail(Msg::ScreenCastNoPicture);
        return;
    }
    End();
    if (OnEnded) OnEnded();
}

void ScreenCastCapture::Fail(Msg message) {
    auto failed = std::exchange(failed_, nullptr);
    End();
    if (failed) failed(message);
}

void ScreenCastCapture::End() {
    ++generation_;
    firstFrame_.stop();
    streaming_ = false;
    ready_ = nullptr;
    failed_ = nullptr;
    // The stream goes first, then the session that fed it.
    screen_->Detach();
    portal_.Close();
}

}  // namespace app
