// The recording cycle without a window: events in, states and the toolbar's looks out.
#include <gtest/gtest.h>

#include <vector>

#include "app/RecordingControl.h"

using namespace app;
using resources::Bitmap;

namespace {

using S = RecordState;
using E = RecordEvent;

// Every event in every state: the state it leads to, or none when it does not apply.
TEST(RecordingControl, EveryEventInEveryState) {
    struct Row {
        S from;
        E event;
        std::optional<S> to;
    };
    const Row rows[] = {
        {S::Idle, E::ShowRegion, S::Ready},
        {S::Idle, E::ConfirmStart, {}},
        {S::Idle, E::Tick, {}},
        {S::Idle, E::Stop, {}},
        {S::Idle, E::CloseRegion, {}},
        {S::Ready, E::ShowRegion, {}},
        {S::Ready, E::ConfirmStart, S::Starting},
        {S::Ready, E::Tick, {}},
        {S::Ready, E::Stop, {}},
        {S::Ready, E::CloseRegion, S::Idle},
        {S::Starting, E::ShowRegion, {}},
        {S::Starting, E::ConfirmStart, {}},
        {S::Starting, E::Tick, S::Recording},
        {S::Starting, E::Stop, {}},
        // Closing the region window after the start was confirmed does not cancel it.
        {S::Starting, E::CloseRegion, {}},
        {S::Recording, E::ShowRegion, {}},
        {S::Recording, E::ConfirmStart, {}},
        {S::Recording, E::Tick, {}},
        {S::Recording, E::Stop, S::Idle},
        {S::Recording, E::CloseRegion, {}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(NextState(row.from, row.event), row.to)
            << static_cast<int>(row.from) << " " << static_cast<int>(row.event);
    }
}

// A user's sequence, one command after another, as the toolbar sees it: the Record button's
// intent in each state and the state the events leave behind, round after round.
TEST(RecordingControl, RoundsOfRecordingAndTheirToggles) {
    struct Step {
        E event;
        bool applies;
        S state;
        ToggleIntent toggle;
    };
    const std::vector<Step> round = {
        {E::Tick, false, S::Idle, ToggleIntent::ShowRegion},
        {E::ShowRegion, true, S::Ready, ToggleIntent::Start},
        {E::CloseRegion, true, S::Idle, ToggleIntent::ShowRegion},
        {E::ShowRegion, true, S::Ready, ToggleIntent::Start},
        {E::ConfirmStart, true, S::Starting, ToggleIntent::Nothing},
        {E::Stop, false, S::Starting, ToggleIntent::Nothing},
        {E::CloseRegion, false, S::Starting, ToggleIntent::Nothing},
        {E::Tick, true, S::Recording, ToggleIntent::Stop},
        {E::Tick, false, S::Recording, ToggleIntent::Stop},
        {E::Stop, true, S::Idle, ToggleIntent::ShowRegion},
    };
    RecordingControl control;
    for (int pass = 0; pass < 3; ++pass) {
        for (std::size_t i = 0; i < round.size(); ++i) {
            const Step& step = round[i];
            EXPECT_EQ(control.Handle(step.event), step.applies) << pass << ":" << i;
            EXPECT_EQ(control.State(), step.state) << pass << ":" << i;
            EXPECT_EQ(control.Toggle(), step.toggle) << pass << ":" << i;
        }
    }
}

TEST(RecordingControl, TheRecordButtonsPictureByStateAndPress) {
    using P = RecordPress;
    struct Row {
        S state;
        Bitmap rest, down, clicked, takenBack;
    };
    const Row rows[] = {
        {S::Idle, Bitmap::RegionReleased, Bitmap::RegionPressed, Bitmap::StartReleased,
         Bitmap::RegionReleased},
        {S::Ready, Bitmap::StartReleased, Bitmap::StartPressed, Bitmap::StopReleased,
         Bitmap::StartReleased},
        // The pending second shows the stop picture but takes a press as Ready does.
        {S::Starting, Bitmap::StopReleased, Bitmap::StartPressed, Bitmap::StopReleased,
         Bitmap::StartReleased},
        {S::Recording, Bitmap::StopReleased, Bitmap::StopPressed, Bitmap::RegionReleased,
         Bitmap::StopReleased},
    };
    for (const Row& row : rows) {
        const int s = static_cast<int>(row.state);
        EXPECT_EQ(LookOf(row.state, P::None).recordPicture, row.rest) << s;
        EXPECT_EQ(LookOf(row.state, P::Down).recordPicture, row.down) << s;
        EXPECT_EQ(LookOf(row.state, P::Clicked).recordPicture, row.clicked) << s;
        EXPECT_EQ(LookOf(row.state, P::TakenBack).recordPicture, row.takenBack) << s;
    }
}

TEST(RecordingControl, TheToolbarsLookByState) {
    const std::vector<Msg> stopHint = {Msg::StopRecordingHint, Msg::F9Hint, Msg::F10Hint,
                                       Msg::F11Hint, Msg::F12Hint};
    struct Row {
        S state;
        std::vector<Msg> hint;
        bool compact;
        TitleChange title;
        bool ready;  // the ready icon text, the editable name, the video commands off
    };
    const Row rows[] = {
        {S::Idle, {Msg::SetRegionHint}, false, TitleChange::ProgramTitle, false},
        {S::Ready, {Msg::StartRecordingHint}, false, TitleChange::Keep, true},
        {S::Starting, stopHint, true, TitleChange::ElapsedZero, false},
        {S::Recording, stopHint, true, TitleChange::Keep, false},
    };
    for (const Row& row : rows) {
        const ToolbarLook look = LookOf(row.state);
        const int s = static_cast<int>(row.state);
        EXPECT_EQ(look.recordHint, row.hint) << s;
        EXPECT_EQ(look.compact, row.compact) << s;
        EXPECT_EQ(look.title, row.title) << s;
        EXPECT_EQ(look.readyIconText, row.ready) << s;
        EXPECT_EQ(look.nameEditable, row.ready) << s;
        EXPECT_EQ(look.videoCommandsEnabled, !row.ready) << s;
    }
}

}  // namespace
