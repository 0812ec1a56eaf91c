// Which parts of a screen's picture changed: rectangles in the screen's coordinates since the
// last question. Damage is what was drawn, so it may name pixels that came out unchanged, but
// never misses a change.
#pragma once

#include <memory>
#include <optional>
#include <vector>

namespace platform::screen {

struct DamageRect {
    int x = 0, y = 0, width = 0, height = 0;
    friend bool operator==(const DamageRect&, const DamageRect&) = default;
};

class DamageWatcher {
public:
    virtual ~DamageWatcher() = default;

    // What was drawn since the previous call (the first: since the watcher was made), and
    // forgets it; none when the source cannot tell, so that the caller takes everything as
    // changed. Pixels read from the source after this returns show at least what it names.
    // One thread at a time.
    virtual std::optional<std::vector<DamageRect>> Take() = 0;
};

// The X server's root window, from its DAMAGE extension.
class RootDamageWatcher final : public DamageWatcher {
    struct Impl;
    struct Key {};

public:
    // Starts watching the root window of $DISPLAY on a connection of its own; null without a
    // display or when the server lacks DAMAGE or XFixes regions. Any thread.
    static std::unique_ptr<RootDamageWatcher> Open();
    RootDamageWatcher(Key, std::unique_ptr<Impl> impl);  // through Open only
    ~RootDamageWatcher() override;
    RootDamageWatcher(const RootDamageWatcher&) = delete;
    RootDamageWatcher& operator=(const RootDamageWatcher&) = delete;

    // None when the server could not be asked.
    std::optional<std::vector<DamageRect>> Take() override;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::screen
