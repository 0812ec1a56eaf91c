// The recording cycle as the toolbar drives it, without widgets: the states, the events that move
// between them, and the toolbar's look in each state. The main window keeps one RecordingControl
// and shows the look of its state.
#pragma once

#include <optional>
#include <vector>

#include "catalogue/MessageCatalogue.h"
#include "resources/ResourceIds.h"

namespace app {

// Idle: region window hidden. Ready: region window shown. Starting: start confirmed, the engine
// starts at the next tick. Recording.
enum class RecordState { Idle, Ready, Starting, Recording };

enum class RecordEvent {
    ShowRegion,    // the region window is shown to choose the area
    ConfirmStart,  // the name and the free space are checked: record at the next tick
    Tick,          // the one-second tick; a confirmed start begins with it
    Stop,          // the Record button, Win+S, an automatic stop or the program's end
    CloseRegion,   // the user closed the region window
};

// What a press of the Record button or Win+S asks for in a state.
enum class ToggleIntent { ShowRegion, Start, Nothing, Stop };
ToggleIntent IntentOfToggle(RecordState state);

// The state event leads to from state; none when the event does not apply there.
std::optional<RecordState> NextState(RecordState state, RecordEvent event);

// The Record button under the mouse: at rest, held down, released over the button (it shows the
// state the click leads to), or released elsewhere (the press taken back).
enum class RecordPress { None, Down, Clicked, TakenBack };

// How the window title changes with a state.
enum class TitleChange { Keep, ElapsedZero, ProgramTitle };

struct ToolbarLook {
    resources::Bitmap recordPicture;
    std::vector<Msg> recordHint;  // the Record button's hint, one line each
    bool compact;                 // the Record button alone: while a recording starts or runs
    TitleChange title;
    bool readyIconText;         // the task bar shows the ready text instead of the title
    bool nameEditable;          // the list takes a new recording's name
    bool videoCommandsEnabled;  // play, mail and the context menu
};

ToolbarLook LookOf(RecordState state, RecordPress press = RecordPress::None);

class RecordingControl {
public:
    RecordState State() const { return state_; }
    ToggleIntent Toggle() const { return IntentOfToggle(state_); }
    // Moves to the state event leads to; false, with the state unchanged, when it does not apply.
    bool Handle(RecordEvent event);

private:
    RecordState state_ = RecordState::Idle;
};

}  // namespace app
