// The screen content of a recording's rectangle, kept up to date pass by pass: the first update
// grabs it whole, later ones only the rows that the screen's damage names (all of them when the
// damage is not known). Damage can miss what a compositing manager draws, so each update also
// reads a band of rows afresh and keeps the rows that differ: over healPasses updates the whole
// picture is healed, at an even cost per pass. The cursor is no part of it. Recording worker
// only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "engine/DamageRows.h"
#include "engine/FrameBlock.h"
#include "engine/RecordingRegion.h"
#include "platform/screen/capture_source.h"
#include "platform/screen/damage.h"

namespace engine {

class LivePicture {
public:
    // damage may be null: then every update grabs everything. first, when it is a picture of
    // the rectangle grabbed after damage began to be watched, is taken instead of a first grab.
    // unreadable is called when pixels cannot be read; those rows come out black.
    LivePicture(platform::screen::CaptureSource& screen,
                std::unique_ptr<platform::screen::DamageWatcher> damage, const CaptureRect& rect,
                int bitsPerPixel, int healPasses, PFrame first, std::function<void()> unreadable);

    // False when the picture's memory could not be had.
    bool Valid() const { return picture_ != nullptr; }

    struct Cost {
        std::uint64_t grabUs = 0, convertUs = 0;
    };
    // Grabs what changed since the previous update, and heals the next band.
    Cost Update();

    // The rows changed since the previous call (everything before the first), forgotten here.
    std::vector<RowSpan> TakeChanged();

    const FrameBlock& Picture() const { return *picture_; }

private:
    void Heal(Cost& cost);
    // The rectangle's rows into the picture.
    void Grab(RowSpan rows, Cost& cost);
    // The rectangle's rows into DIB pixels of exactly their size.
    void GrabInto(std::span<std::uint8_t> pixels, std::span<std::uint32_t> colorTable, RowSpan rows,
                  Cost& cost);

    platform::screen::CaptureSource& screen_;
    std::unique_ptr<platform::screen::DamageWatcher> damage_;
    CaptureRect rect_;
    int bitsPerPixel_;
    int healRows_;     // rows read afresh per update
    int healTop_ = 0;  // the next band's first row
    std::function<void()> unreadable_;
    PFrame picture_;
    PFrame scratch_;  // the band of a heal
    bool grabbed_ = false;
    std::vector<RowSpan> changed_;
};

}  // namespace engine
