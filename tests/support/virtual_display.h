// A private X server for one test, and small XCB helpers for tests that talk to it.
#pragma once

#include <sys/types.h>
#include <xcb/xcb.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvex::test {

struct XcbDisconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

// Connects to the display named; throws std::runtime_error when it does not answer.
XcbConnection ConnectTo(const std::string& display);
// The screen the connection was opened on.
xcb_screen_t* DefaultScreen(xcb_connection_t* c);
// Returns once the server has handled every request sent on c so far.
void Sync(xcb_connection_t* c);

struct DisplayOptions {
    int width = 640;
    int height = 480;
    int depth = 24;
    std::vector<std::string> extraArguments{};  // for Xvfb, such as {"-extension", "MIT-SHM"}
};

// An Xvfb of its own (the server picks a free display number through -displayfd), with $DISPLAY
// naming it while the object lives; the server is stopped and $DISPLAY restored at the end.
class VirtualDisplay {
  public:
    // Returns once the server answers; throws std::runtime_error when it does not start.
    explicit VirtualDisplay(const DisplayOptions& options = {});
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // The display name, such as ":5".
    const std::string& Name() const { return name_; }

  private:
    void Stop();

    pid_t pid_ = -1;
    std::string name_;
    std::optional<std::string> previousDisplay_;
};

}  // namespace korvex::test
