// Which parts of the screen were drawn to, from the X server's DAMAGE extension: the root
// window's damage since the last question, as rectangles in root coordinates. Damage is what
// clients drew, so it may name pixels that came out unchanged, but never misses a change.
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
    struct Impl;
    struct Key {};

public:
    // Starts watching the root window of $DISPLAY on a connection of its own; null without a
    // display or when the server lacks DAMAGE or XFixes regions. Any thread.
    static std::unique_ptr<DamageWatcher> Open();
    DamageWatcher(Key, std::unique_ptr<Impl> impl);  // through Open only
    ~DamageWatcher();
    DamageWatcher(const DamageWatcher&) = delete;
    DamageWatcher& operator=(const DamageWatcher&) = delete;

    // What was drawn since the previous call (the first: since Open), and forgets it; none when
    // the server could not be asked, so that the caller takes everything as changed. Pixels
    // read from the server after this returns show at least what it names. One thread at a
    // time.
    std::optional<std::vector<DamageRect>> Take();

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::screen
