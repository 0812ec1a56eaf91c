// The rules of talking to the ScreenCast portal that need no D-Bus: which session is a Wayland
// one, what a D-Bus error or a request's response code means for the user, which cursor mode to
// ask for, and which restore tokens are worth handing back. No Qt here; any thread.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform::screencast {

// Why no stream came. Each has its own message for the user.
enum class PortalFailure {
    NoPortal,      // nothing answers on the session bus
    NoScreenCast,  // a portal, but it cannot share monitors
    Cancelled,     // the user closed the desktop's dialog
    Refused,       // the desktop said no, or answered what cannot be used
    NoPipeWire,    // the portal or this program cannot reach PipeWire
};

// The session runs on a Wayland compositor: XDG_SESSION_TYPE is "wayland" or WAYLAND_DISPLAY
// is set and not empty. Either may be null.
bool IsWaylandSession(const char* sessionType, const char* waylandDisplay);

// The failure a D-Bus error of a call to the portal stands for. Before the session exists a
// missing service means no portal and any other error no ScreenCast interface; afterwards every
// error is a refusal.
PortalFailure FailureOfError(std::string_view errorName, bool sessionStarted);

// True, with failure set, for a request's failing response code: 1 when the user cancelled, any
// other but 0 (success) when the desktop refused.
bool ResponseFails(std::uint32_t code, PortalFailure& failure);

// The portal's cursor_mode bits.
inline constexpr std::uint32_t kCursorHidden = 1;
inline constexpr std::uint32_t kCursorEmbedded = 2;
inline constexpr std::uint32_t kCursorMetadata = 4;
inline constexpr std::uint32_t kSourceMonitor = 1;
// Remembered until the desktop forgets it (persist_mode 2).
inline constexpr std::uint32_t kPersistUntilRevoked = 2;

// Metadata where offered (the program draws its own cursor), else the cursor embedded in the
// frames, else hidden.
std::uint32_t CursorModeFor(std::uint32_t available);

// The portal takes only UUID strings as restore tokens and refuses the whole selection for any
// other text, so a damaged stored token is better not sent.
bool UsableRestoreToken(std::string_view token);

}  // namespace platform::screencast
