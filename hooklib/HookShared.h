// The shared block HookShared: a 12-byte POSIX shared-memory object that every loaded copy of the
// library maps. Internal to the library.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "platform/files/files.h"

namespace globalhook {

// The block's layout; the fields keep the names the program's other parts use for them.
struct HookSharedData {
    std::uint32_t MouseHook;     // installed mouse observation, 0 when none
    std::uint32_t KeyboardHook;  // installed keyboard observation, 0 when none
    std::uint32_t TargetWindow;  // X window that receives the hook messages
};
static_assert(sizeof(HookSharedData) == 12);
static_assert(offsetof(HookSharedData, KeyboardHook) == 4);
static_assert(offsetof(HookSharedData, TargetWindow) == 8);

// shm_open name of the block, after its GUID, followed by "-" and the user id: each user of the
// machine has a block of their own.
inline constexpr char kHookSharedName[] = "/{D2B9306D-EB08-41F9-AC43-9D0DD84CBD4C}";
std::string HookSharedName(unsigned userId);

// The block, opened and mapped read-write for as long as the object lives. The last holder in
// the system removes the name, so that no stale block outlives the program. Move-only; used by
// one thread at a time.
class HookShared {
public:
    // Creates or opens this user's block and maps it; nothing when it cannot be had, or when an
    // object of its name belongs to someone else. A block that no one else holds is left over
    // from a process that died, and starts again at zero.
    static std::optional<HookShared> Open();

    HookShared(HookShared&&) noexcept = default;
    HookShared& operator=(HookShared&&) noexcept;
    ~HookShared();

    // The mapped fields; other processes may read and write them at any time.
    HookSharedData& Data() { return *data_; }

private:
    struct Unmap {
        void operator()(HookSharedData* data) const;
    };

    HookShared(std::string name, platform::files::Descriptor fd,
               std::unique_ptr<HookSharedData, Unmap> data)
        : name_(std::move(name)), fd_(std::move(fd)), data_(std::move(data)) {}
    void Release();

    std::string name_;
    platform::files::Descriptor fd_;
    std::unique_ptr<HookSharedData, Unmap> data_;
};

}  // namespace globalhook
