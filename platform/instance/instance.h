// The named mutex of a single-instance program: an exclusive lock on a file in
// $XDG_RUNTIME_DIR (else the TEMP folder), held for the life of the object.
#pragma once

#include <memory>
#include <string>

namespace platform::instance {

enum class LockResult {
    Acquired,     // this is the only copy
    AlreadyHeld,  // another process holds the lock
    Unavailable,  // no lock file could be made; the caller carries on as the only copy
};

class InstanceLock {
public:
    // Tries to take the lock called name. On Acquired, *lock holds it until destroyed.
    static LockResult Acquire(const std::string& name, std::unique_ptr<InstanceLock>* lock);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

private:
    explicit InstanceLock(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace platform::instance
