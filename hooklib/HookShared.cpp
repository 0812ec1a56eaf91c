#include "hooklib/HookShared.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace globalhook {

std::string HookSharedName(unsigned userId) {
    return std::string(kHookSharedName) + "-" + std::to_string(userId);
}

void HookShared::Unmap::operator()(HookSharedData* data) const {
    ::munmap(data, sizeof(HookSharedData));
}

// Every holder keeps a shared flock on the object. Whoever gets it exclusively is alone: at
// opening that means the contents are stale, at closing that the name can go.
std::optional<HookShared> HookShared::Open() {
    // A holder that is closing may remove the name between our open and our lock; then we hold
    // an object nobody else can find, so open again.
    constexpr int kAttempts = 3;
    const std::string name = HookSharedName(::geteuid());
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        platform::files::Descriptor fd(
            ::shm_open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
        if (!fd) {
            return std::nullopt;
        }
        // Someone else's object under this user's name is neither trusted nor removed.
        struct stat owner {};
        if (::fstat(fd.Get(), &owner) != 0 || owner.st_uid != ::geteuid()) {
            return std::nullopt;
        }
        const bool alone = ::flock(fd.Get(), LOCK_EX | LOCK_NB) == 0;
        if (!alone && ::flock(fd.Get(), LOCK_SH) != 0) {
            return std::nullopt;
        }
        struct stat status {};
        if (::fstat(fd.Get(), &status) != 0) {
            return std::nullopt;
        }
        if (status.st_nlink == 0) {
            continue;
        }
        constexpr auto kSize = static_cast<off_t>(sizeof(HookSharedData));
        if (alone) {
            // Truncating to zero first clears whatever a dead process left behind.
            if (::ftruncate(fd.Get(), 0) != 0 || ::ftruncate(fd.Get(), kSize) != 0) {
                return std::nullopt;
            }
        } else if (status.st_size < kSize) {
            return std::nullopt;
        }
        void* mapped = ::mmap(nullptr, sizeof(HookSharedData), PROT_READ | PROT_WRITE, MAP_SHARED,
                              fd.Get(), 0);
        if (mapped == MAP_FAILED) {
            return std::nullopt;
        }
        std::unique_ptr<HookSharedData, Unmap> data(static_cast<HookSharedData*>(mapped));
        if (alone && ::flock(fd.Get(), LOCK_SH) != 0) {
            return std::nullopt;
        }
        return HookShared(name, std::move(fd), std::move(data));
    }
    return std::nullopt;
}

HookShared& HookShared::operator=(HookShared&& other) noexcept {
    if (this != &other) {
        Release();
        name_ = std::move(other.name_);
        fd_ = std::move(other.fd_);
        data_ = std::move(other.data_);
    }
    return *this;
}

HookShared::~HookShared() {
    Release();
}

void HookShared::Release() {
    data_.reset();
    if (fd_ && ::flock(fd_.Get(), LOCK_EX | LOCK_NB) == 0) {
        ::shm_unlink(name_.c_str());
    }
    fd_ = platform::files::Descriptor();
}

}  // namespace globalhook
