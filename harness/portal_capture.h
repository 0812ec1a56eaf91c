// The screen of a Wayland-style session as the recorder sees it, for tests and benchmarks: the
// portal asked for a monitor, its PipeWire stream opened and attached to a PortalScreen.
#pragma once

#include <QCoreApplication>
#include <memory>
#include <string>

#include "platform/screencast/portal_screen.h"

namespace korvex::test {

// Runs application's event loop until the portal answers, then waits for the stream's first
// frame; null, with the reason in why, when something on the way fails.
std::shared_ptr<platform::screencast::PortalScreen> OpenPortalScreen(QCoreApplication& application,
                                                                     std::string& why);

}  // namespace korvex::test
