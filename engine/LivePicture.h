// The screen content of a recording's rectangle, kept up to date pass by pass: the first update
// grabs it whole, later ones only the rows that the screen's damage names (all of them when the
// damage is not known). The cursor is no part of it. Recording worker only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/DamageRows.h"
#include "engine/FrameBlock.h"
#include "engine/RecordingRegion.h"
#include "platform/screen/capture_source.h"
#include "platform/screen/damage.h"

namespace engine {

class LivePicture {
public:
    // damage may be null: then every update grabs everything. unreadable is called when pixels
    // cannot be read; those rows come out black.
    LivePicture(platform::screen::CaptureSource& screen,
                std::unique_ptr<platform::screen::DamageWatcher> damage, const CaptureRect& rect,
                int bitsPerPixel, std::function<void()> unreadable);

    // False when the picture's memory could not be had.
    bool Valid() const { return picture_ != nullptr; }

    struct Cost {
        std::uint64_t grabUs = 0, convertUs = 0;
    };
    // Grabs what changed since the previous update. `whole` grabs everything and keeps as
    // changed only the rows that differ: damage can miss what a compositing manager draws, and
    // such a grab now and then heals the picture.
    Cost Update(bool whole = false);

    // The rows changed since the previous call (everything before the first), forgotten here.
    std::vector<RowSpan> TakeChanged();

    const FrameBlock& Picture() const { return *picture_; }

private:
    Cost Heal(Cost& cost);
    void Grab(FrameBlock& into, RowSpan rows, Cost& cost);

    platform::screen::CaptureSource& screen_;
    std::unique_ptr<platform::screen::DamageWatcher> damage_;
    CaptureRect rect_;
    int bitsPerPixel_;
    std::function<void()> unreadable_;
    PFrame picture_;
    PFrame scratch_;  // the whole grab of a heal
    bool grabbed_ = false;
    std::vector<RowSpan> changed_;
};

}  // namespace engine
