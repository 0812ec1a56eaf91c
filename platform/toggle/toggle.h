// The channel by which `korvex --toggle` hands the running copy the hot key's action, for
// desktops that give no program a global hot key of its own choosing: a local socket in this
// user's private runtime folder. Only this user's requests count: the folder is 0700, the socket
// 0600, and every peer's uid is checked. No Qt here; any thread.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/files/files.h"

namespace platform::toggle {

// What a toggle request sends, all of it.
inline constexpr std::string_view kRequest = "toggle\n";

// A connection's peer and bytes make a toggle request: the same user, the request exactly.
bool IsToggleRequest(uid_t peer, uid_t self, std::string_view received);

// Where the socket lives: "korvex-toggle" in $XDG_RUNTIME_DIR, else in the TEMP folder, the
// first of them that is a private folder of this user; none when neither is.
std::optional<std::filesystem::path> SocketPath();

// Sends the request to the copy listening at socket; false when none listens there.
bool SendToggle(const std::filesystem::path& socket);

class ToggleListener {
public:
    // Listens at socket; a socket of this user's left there by an ended copy is replaced,
    // anything else there makes it fail. Null on failure.
    static std::unique_ptr<ToggleListener> Listen(const std::filesystem::path& socket);
    ~ToggleListener();  // closes the socket and removes its file
    ToggleListener(const ToggleListener&) = delete;
    ToggleListener& operator=(const ToggleListener&) = delete;

    // Readable when a connection waits.
    int Descriptor() const { return socket_.Get(); }
    // Takes one waiting connection; true when it was this user's toggle request. Another
    // user's connection is closed unread; a slow peer of this user is waited for a second.
    bool TakeRequest();

private:
    ToggleListener(files::Descriptor socket, std::filesystem::path path);
    files::Descriptor socket_;
    std::filesystem::path path_;
};

}  // namespace platform::toggle
