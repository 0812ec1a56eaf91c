#include "engine/CursorState.h"

#include <cstdlib>

namespace engine {

namespace {

int IdleImage(const CursorState& state) {
    return state.HighlightCursor ? state.HighlightCursorId.load() : CursorId(Cursor::Plain);
}

}  // namespace

void UpdateCursor(CursorState& state) {
    if (state.HighlightCursor) {
        int id = state.HighlightCursorId;
        // 201 -> 204 -> 201: step by 3, wrapping back from the second phase.
        if (id >= CursorId(Cursor::HighlightB)) id = CursorId(Cursor::HighlightA) - 3;
        id += 3;
        state.HighlightCursorId = static_cast<std::uint8_t>(id);
        state.CursorHandle = id;
    } else {
        state.CursorHandle = CursorId(Cursor::Plain);
    }
}

void TriggerEventCursor(CursorState& state, int kind, std::int64_t nowMs) {
    state.LeftClickPending = false;
    state.RightClickPending = false;
    state.AnnotationKind = 0;
    if (kind == kLeftClick) {
        state.LeftClickPending = true;
    } else if (kind == kRightClick) {
        state.RightClickPending = true;
    } else if (kind >= kReturnKey && kind <= kF12) {
        state.AnnotationKind = static_cast<std::uint8_t>(kind);
    }
    state.EventTime = nowMs;
}

int ChooseCursorImage(CursorState& state, std::int64_t nowMs) {
    // The wall clock may step backwards; the distance counts either way.
    const std::int64_t ms = std::llabs(nowMs - state.EventTime.load());
    const bool left = state.LeftClickPending;
    const bool right = state.RightClickPending;
    if (left || right) {
        if (ms <= kEventShowMs) {
            if (state.HighlightCursor) {
                state.CursorHandle = state.HighlightCursorId + (left ? 1 : 2);
            } else {
                state.CursorHandle =
                    left ? CursorId(Cursor::PlainLeft) : CursorId(Cursor::PlainRight);
            }
        } else {
            state.LeftClickPending = false;
            state.RightClickPending = false;
            state.CursorHandle = IdleImage(state);
        }
    } else if (const int kind = state.AnnotationKind; kind > 0) {
        if (ms <= kEventShowMs) {
            state.CursorHandle = CursorId(Cursor::Plain) + kind;
        } else {
            state.AnnotationKind = 0;
            state.CursorHandle = IdleImage(state);
        }
    }
    return state.CursorHandle;
}

}  // namespace engine
