// The built hook library as the program uses it: a copy loaded under its own name, its four
// entry points, and a view on the shared block as another process would have it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace korvex::test {

// The block's shm_open name and its file for a user: the test's own when none is given.
std::string HookBlockName(unsigned userId);
std::string HookBlockName();
std::string HookBlockFile(unsigned userId);
std::string HookBlockFile();
inline constexpr std::size_t kHookBlockSize = 12;
// Offsets of the block's fields.
inline constexpr std::size_t kMouseHook = 0, kKeyboardHook = 4, kTargetWindow = 8;

struct DlClose {
    void operator()(void* handle) const;
};
using HookLibrary = std::unique_ptr<void, DlClose>;

// Copies built (the library file) to dir/name and loads the copy; null when it does not load.
HookLibrary LoadHookLibrary(const std::filesystem::path& built, const std::filesystem::path& dir,
                            const std::string& name = "Korvex.dll");

// The four entry points, looked up under exactly the names the program uses.
struct HookExports {
    void (*HookMouse)(unsigned long);
    void (*UnhookMouse)();
    void (*HookKeyboard)(unsigned long);
    bool (*UnHookKeyboard)();

    explicit HookExports(const HookLibrary& library);
    bool complete() const { return HookMouse && UnhookMouse && HookKeyboard && UnHookKeyboard; }
};

// The test's own mapping of the block (without a lock); O_CREAT in flags makes a stale one.
class HookBlockView {
public:
    explicit HookBlockView(int flags);
    HookBlockView();
    ~HookBlockView();
    HookBlockView(const HookBlockView&) = delete;
    HookBlockView& operator=(const HookBlockView&) = delete;

    bool ok() const { return bytes_ != nullptr; }
    std::int64_t Size() const;
    unsigned Mode() const;
    std::uint32_t Field(std::size_t offset) const;
    void SetField(std::size_t offset, std::uint32_t value);

private:
    int fd_;
    unsigned char* bytes_ = nullptr;
};

// A fresh folder for library copies, with the block's name free at the start and the end (the
// tests hold a resource lock on it). Removes both on destruction.
class HookScratch {
public:
    HookScratch();
    ~HookScratch();
    HookScratch(const HookScratch&) = delete;
    HookScratch& operator=(const HookScratch&) = delete;
    const std::filesystem::path& Dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

// Threads of this process named "GlobalHook": the library's running observers.
int ObserverThreads();

}  // namespace korvex::test
