// The recording's screen in a Wayland session: before the engine starts, the desktop's
// ScreenCast portal is asked for the monitor the user chose (its dialog shows only when the
// stored choice is gone) and the stream's first frame is awaited; at the stop the stream and the
// desktop's sharing end. The engine reads the frames through Screen(). GUI thread only.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>

#include "catalogue/MessageCatalogue.h"
#include "platform/screencast/portal_screen.h"
#include "platform/screencast/screencast_portal.h"

namespace app {

class ScreenCastCapture : public QObject {
    Q_OBJECT

public:
    // Null outside a Wayland session, where the X server's own screen is read.
    static std::unique_ptr<ScreenCastCapture> ForSession();
    ScreenCastCapture();
    ~ScreenCastCapture() override;

    std::shared_ptr<platform::screencast::PortalScreen> Screen() const { return screen_; }

    // Asks for the monitor and connects its stream; ready once the first frame is there, else
    // failed with the message for the user. Nothing has been recorded when failed comes.
    void Begin(std::function<void()> ready, std::function<void(Msg)> failed);
    // The stream ended without End: the desktop stopped sharing or PipeWire went away.
    std::function<void()> OnEnded;
    // Ends the stream and the sharing; a pending Begin calls nothing any more. The last frame
    // stays the picture, so a recording being finished keeps it.
    void End();

private:
    void Granted(const platform::screencast::PortalGrant& grant);
    void Fail(Msg message);
    // Runs handler on the GUI thread unless the stream of that generation has ended since.
    // Any thread.
    void Post(std::uint64_t generation, void (ScreenCastCapture::*handler)());
    void FirstFrame();
    void StreamEnded();

    std::shared_ptr<platform::screencast::PortalScreen> screen_;
    platform::screencast::ScreenCastPortal portal_;
    QTimer firstFrame_;
    // Counts Begin and End, so that events of an ended stream are dropped.
    std::uint64_t generation_ = 0;
    bool streaming_ = false;
    std::function<void()> ready_;
    std::function<void(Msg)> failed_;
};

}  // namespace app
