// Which of the program's cursor images goes into the frames: the highlight phase, click marks
// and key badges, each shown for 400 ms after its trigger. The main thread triggers and
// updates; the recording worker chooses at every grab. Every value is a single atomic, so a
// torn combination costs at most one frame with the previous image.
#pragma once

#include <atomic>
#include <cstdint>

#include "resources/ResourceIds.h"

namespace engine {

using resources::Cursor;

// The state holds image ids as numbers: a highlight phase + 1 or + 2 is its click image, and
// Plain + kind the badge of key kinds 3..8.
constexpr int CursorId(Cursor cursor) {
    return static_cast<int>(cursor);
}

// How long a click or key image stays, in milliseconds.
constexpr std::int64_t kEventShowMs = 400;

enum EventKind : int {
    kLeftClick = 1,
    kRightClick = 2,
    kReturnKey = 3,
    kEscapeKey = 4,
    kF9 = 5,
    kF10 = 6,
    kF11 = 7,
    kF12 = 8,
};

struct CursorState {
    std::atomic<bool> HighlightCursor{true};
    std::atomic<bool> LeftClickPending{false};
    std::atomic<bool> RightClickPending{false};
    std::atomic<int> CursorHandle{CursorId(Cursor::HighlightA)};
    std::atomic<std::uint8_t> HighlightCursorId{CursorId(Cursor::HighlightA)};
    std::atomic<std::uint8_t> AnnotationKind{0};
    std::atomic<std::int64_t> EventTime{0};  // local time of the last trigger, milliseconds
};

// The idle image: the other highlight phase (201 <-> 204) with the highlight on, else 207.
void UpdateCursor(CursorState& state);

// Starts showing a click (kinds 1, 2) or key (3..8) image from nowMs on; replaces any pending.
// A kind without an image only cancels what was pending.
void TriggerEventCursor(CursorState& state, int kind, std::int64_t nowMs);

// Chooses the image for a grab at nowMs, expiring marks older than 400 ms, and leaves it in
// CursorHandle, which it returns.
int ChooseCursorImage(CursorState& state, std::int64_t nowMs);

}  // namespace engine
