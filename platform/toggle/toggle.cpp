#include "platform/toggle/toggle.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform::toggle {

namespace {

constexpr char kSocketName[] = "korvex-toggle";
constexpr int kPeerWaitMs = 1000;

std::optional<sockaddr_un> AddressOf(const std::filesystem::path& socket) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string& text = socket.native();
    if (text.empty() || text.size() >= sizeof(address.sun_path)) return std::nullopt;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return address;
}

files::Descriptor NewSocket() {
    return files::Descriptor(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
}

// A socket of this user's at path, left by a copy that has ended; links and other files are
// never touched.
bool RemoveStaleSocket(const std::filesystem::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISSOCK(st.st_mode) || st.st_uid != ::getuid()) return false;
    return ::unlink(path.c_str()) == 0;
}

}  // namespace

bool IsToggleRequest(uid_t peer, uid_t self, std::string_view received) {
    return peer == self && received == kRequest;
}

std::optional<std::filesystem::path> SocketPath() {
    std::array<std::string, 2> folders;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR")) folders[0] = runtime;
    folders[1] = files::TempFolder();
    for (const std::string& folder : folders) {
        if (!folder.empty() && files::IsPrivateFolder(folder)) {
            return std::filesystem::path(folder) / kSocketName;
        }
    }
    return std::nullopt;
}

bool SendToggle(const std::filesystem::path& socket) {
    const auto address = AddressOf(socket);
    files::Descriptor fd = NewSocket();
    if (!address || !fd) return false;
    if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0) {
        return false;
    }
    return ::send(fd.Get(), kRequest.data(), kRequest.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(kRequest.size());
}

std::unique_ptr<ToggleListener> ToggleListener::Listen(const std::filesystem::path& socket) {
    const auto address = AddressOf(socket);
    files::Descriptor fd = NewSocket();
    if (!address || !fd || !RemoveStaleSocket(socket)) return nullptr;
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&*address), sizeof(*address)) != 0) {
        return nullptr;
    }
    // The private folder already keeps others out; the mode says so once more.
    if (::chmod(socket.c_str(), 0600) != 0 || ::listen(fd.Get(), 4) != 0) {
        ::unlink(socket.c_str());
        return nullptr;
    }
    return std::unique_ptr<ToggleListener>(new ToggleListener(std::move(fd), socket));
}

ToggleListener::ToggleListener(files::Descriptor socket, std::filesystem::path path)
    : socket_(std::move(socket)), path_(std::move(path)) {}

ToggleListener::~ToggleListener() {
    ::unlink(path_.c_str());
}

bool ToggleListener::TakeRequest() {
    files::Descriptor peer(::accept4(socket_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!peer) return false;
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    if (::getsockopt(peer.Get(), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        credentials.uid != ::getuid()) {
        return false;
    }
    std::array<char, 16> buffer{};
    std::size_t received = 0;
    // One byte more than a request, so that a longer message is not taken for one.
    while (received <= kRequest.size()) {
        pollfd p{peer.Get(), POLLIN, 0};
        if (::poll(&p, 1, kPeerWaitMs) != 1) break;
        const ssize_t n = ::read(peer.Get(), buffer.data() + received, buffer.size() - received);
        if (n <= 0) break;
        received += static_cast<std::size_t>(n);
    }
    return IsToggleRequest(credentials.uid, ::getuid(), std::string_view(buffer.data(), received));
}

}  // namespace platform::toggle
