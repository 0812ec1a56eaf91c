#include "app/RecordingControl.h"

namespace app {

using resources::Bitmap;

ToggleIntent IntentOfToggle(RecordState state) {
    switch (state) {
        case RecordState::Idle:
            return ToggleIntent::ShowRegion;
        case RecordState::Ready:
            return ToggleIntent::Start;
        case RecordState::Starting:
            // The start is already confirmed; the press after the engine started stops it.
            return ToggleIntent::Nothing;
        case RecordState::Recording:
            break;
    }
    return ToggleIntent::Stop;
}

std::optional<RecordState> NextState(RecordState state, RecordEvent event) {
    switch (event) {
        case RecordEvent::ShowRegion:
            if (state == RecordState::Idle) return RecordState::Ready;
            break;
        case RecordEvent::ConfirmStart:
            if (state == RecordState::Ready) return RecordState::Starting;
            break;
        case RecordEvent::Tick:
            if (state == RecordState::Starting) return RecordState::Recording;
            break;
        case RecordEvent::Stop:
            if (state == RecordState::Recording) return RecordState::Idle;
            break;
        case RecordEvent::CloseRegion:
            // Once the start is confirmed the recording goes ahead at the next tick.
            if (state == RecordState::Ready) return RecordState::Idle;
            break;
    }
    return std::nullopt;
}

bool RecordingControl::Handle(RecordEvent event) {
    const std::optional<RecordState> next = NextState(state_, event);
    if (next) state_ = *next;
    return next.has_value();
}

namespace {

// The Record button's pictures in a state: at rest, held down, after a click (the state it leads
// to) and after a press taken back. While a start is pending a press is taken as Ready's.
struct RecordPictures {
    Bitmap rest, down, clicked, takenBack;
};

RecordPictures PicturesIn(RecordState state) {
    switch (state) {
        case RecordState::Idle:
            return {Bitmap::RegionReleased, Bitmap::RegionPressed, Bitmap::StartReleased,
                    Bitmap::RegionReleased};
        case RecordState::Ready:
            return {Bitmap::StartReleased, Bitmap::StartPressed, Bitmap::StopReleased,
                    Bitmap::StartReleased};
        case RecordState::Starting:
            return {Bitmap::StopReleased, Bitmap::StartPressed, Bitmap::StopReleased,
                    Bitmap::StartReleased};
        case RecordState::Recording:
            break;
    }
    return {Bitmap::StopReleased, Bitmap::StopPressed, Bitmap::RegionReleased,
            Bitmap::StopReleased};
}

Bitmap PictureOf(RecordState state, RecordPress press) {
    const RecordPictures pictures = PicturesIn(state);
    switch (press) {
        case RecordPress::Down:
            return pictures.down;
        case RecordPress::Clicked:
            return pictures.clicked;
        case RecordPress::TakenBack:
            return pictures.takenBack;
        case RecordPress::None:
            break;
    }
    return pictures.rest;
}

std::vector<Msg> HintOf(RecordState state) {
    switch (state) {
        case RecordState::Idle:
            return {Msg::SetRegionHint};
        case RecordState::Ready:
            return {Msg::StartRecordingHint};
        case RecordState::Starting:
        case RecordState::Recording:
            break;
    }
    return {Msg::StopRecordingHint, Msg::F9Hint, Msg::F10Hint, Msg::F11Hint, Msg::F12Hint};
}

}  // namespace

ToolbarLook LookOf(RecordState state, RecordPress press) {
    const bool compact = state == RecordState::Starting || state == RecordState::Recording;
    const TitleChange title = state == RecordState::Starting ? TitleChange::ElapsedZero
                              : state == RecordState::Idle   ? TitleChange::ProgramTitle
                                                             : TitleChange::Keep;
    return {PictureOf(state, press),
            HintOf(state),
            compact,
            title,
            state == RecordState::Ready,
            state == RecordState::Ready,
            state != RecordState::Ready};
}

}  // namespace app
