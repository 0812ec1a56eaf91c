#include "platform/screencast/portal_rules.h"

#include <array>
#include <cctype>

namespace platform::screencast {

bool IsWaylandSession(const char* sessionType, const char* waylandDisplay) {
    if (sessionType != nullptr && std::string_view(sessionType) == "wayland") return true;
    return waylandDisplay != nullptr && *waylandDisplay != '\0';
}

PortalFailure FailureOfError(std::string_view errorName, bool sessionStarted) {
    if (sessionStarted) return PortalFailure::Refused;
    // What the bus says when no one owns the name and none can be started for it.
    constexpr std::array<std::string_view, 5> kAbsent = {
        "org.freedesktop.DBus.Error.ServiceUnknown", "org.freedesktop.DBus.Error.NameHasNoOwner",
        "org.freedesktop.DBus.Error.NoServer", "org.freedesktop.DBus.Error.Disconnected",
        "org.freedesktop.DBus.Error.NoReply"};
    for (std::string_view absent : kAbsent) {
        if (errorName == absent) return PortalFailure::NoPortal;
    }
    if (errorName.starts_with("org.freedesktop.DBus.Error.Spawn.")) return PortalFailure::NoPortal;
    return PortalFailure::NoScreenCast;
}

bool ResponseFails(std::uint32_t code, PortalFailure& failure) {
    if (code == 0) return false;
    failure = code == 1 ? PortalFailure::Cancelled : PortalFailure::Refused;
    return true;
}

std::uint32_t CursorModeFor(std::uint32_t available) {
    if (available & kCursorMetadata) return kCursorMetadata;
    if (available & kCursorEmbedded) return kCursorEmbedded;
    return kCursorHidden;
}

bool UsableRestoreToken(std::string_view token) {
    // 8-4-4-4-12 hexadecimal digits.
    if (token.size() != 36) return false;
    for (std::size_t i = 0; i < token.size(); ++i) {
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const auto c = static_cast<unsigned char>(token[i]);
        if (dash ? c != '-' : !std::isxdigit(c)) return false;
    }
    return true;
}

}  // namespace platform::screencast
