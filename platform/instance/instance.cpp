#include "platform/instance/instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/files/files.h"

namespace platform::instance {

namespace {

std::filesystem::path LockFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        if (files::FolderExists(runtime)) return runtime;
    }
    std::string temp = files::TempFolder();
    return temp.empty() ? std::filesystem::path("/tmp") : std::filesystem::path(temp);
}

}  // namespace

LockResult InstanceLock::Acquire(const std::string& name, std::unique_ptr<InstanceLock>* lock) {
    const auto path = LockFolder() / (name + ".lock");
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return LockResult::Unavailable;
    // The lock goes with the descriptor, so a crashed copy never leaves a stale lock behind.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? LockResult::AlreadyHeld : LockResult::Unavailable;
    }
    lock->reset(new InstanceLock(fd));
    return LockResult::Acquired;
}

InstanceLock::~InstanceLock() {
    ::close(fd_);
}

}  // namespace platform::instance
