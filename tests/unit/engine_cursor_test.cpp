// The cursor image chosen over time, the highlight phases, and drawing into frames.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "engine/CursorOverlay.h"
#include "engine/CursorState.h"

using namespace engine;

namespace {

// A state after construction, with a clock the test moves.
struct CursorClock {
    CursorState state;
    std::int64_t now = 1'000'000;
    int Choose() { return ChooseCursorImage(state, now); }
};

}  // namespace

TEST(CursorChoice, UpdateCursorAlternatesPhases) {
    CursorState s;
    UpdateCursor(s);
    EXPECT_EQ(s.HighlightCursorId, 204);
    EXPECT_EQ(s.CursorHandle, 204);
    UpdateCursor(s);
    EXPECT_EQ(s.HighlightCursorId, 201);
    EXPECT_EQ(s.CursorHandle, 201);
    UpdateCursor(s);
    EXPECT_EQ(s.CursorHandle, 204);
    s.HighlightCursor = false;
    UpdateCursor(s);
    EXPECT_EQ(s.CursorHandle, 207);
    EXPECT_EQ(s.HighlightCursorId, 204);  // the phase is kept
}

TEST(CursorChoice, LeftClickShowsFor400Ms) {
    CursorClock c;
    TriggerEventCursor(c.state, kLeftClick, c.now - 300);
    EXPECT_EQ(c.Choose(), 202);
    EXPECT_TRUE(c.state.LeftClickPending);
    c.now += 100;  // exactly 400 ms: still shown
    EXPECT_EQ(c.Choose(), 202);
    c.now += 50;
    EXPECT_EQ(c.Choose(), 201);
    EXPECT_FALSE(c.state.LeftClickPending);

    c.state.HighlightCursor = false;
    TriggerEventCursor(c.state, kLeftClick, c.now - 300);
    EXPECT_EQ(c.Choose(), 208);
    c.now += 150;
    EXPECT_EQ(c.Choose(), 207);
}

TEST(CursorChoice, RightClickInPhaseB) {
    CursorClock c;
    UpdateCursor(c.state);  // phase B
    TriggerEventCursor(c.state, kRightClick, c.now);
    EXPECT_EQ(c.Choose(), 206);
    c.state.HighlightCursor = false;
    EXPECT_EQ(c.Choose(), 209);
}

TEST(CursorChoice, KeyBadgesWhateverTheHighlight) {
    for (bool highlight : {true, false}) {
        CursorClock c;
        c.state.HighlightCursor = highlight;
        TriggerEventCursor(c.state, kF12, c.now - 100);
        EXPECT_EQ(c.Choose(), 215);
        TriggerEventCursor(c.state, kReturnKey, c.now);
        EXPECT_EQ(c.Choose(), 210);
        c.now += 401;
        EXPECT_EQ(c.Choose(), highlight ? 201 : 207);
        EXPECT_EQ(c.state.AnnotationKind, 0);
    }
}

TEST(CursorChoice, ClickCancelsKeyAtOnce) {
    CursorClock c;
    TriggerEventCursor(c.state, kEscapeKey, c.now);
    EXPECT_EQ(c.Choose(), 211);
    TriggerEventCursor(c.state, kLeftClick, c.now);
    EXPECT_EQ(c.state.AnnotationKind, 0);
    EXPECT_EQ(c.Choose(), 202);
}

TEST(CursorChoice, ClockGoingBackCountsAsDistance) {
    CursorClock c;
    TriggerEventCursor(c.state, kLeftClick, c.now + 1000);
    EXPECT_EQ(c.Choose(), 201);
}

TEST(CursorChoice, NothingPendingKeepsTheIdleImage) {
    CursorClock c;
    UpdateCursor(c.state);
    EXPECT_EQ(c.Choose(), 204);
    // A kind without an image clears what was pending and shows nothing new.
    TriggerEventCursor(c.state, kF9, c.now);
    TriggerEventCursor(c.state, 42, c.now);
    EXPECT_EQ(c.state.AnnotationKind, 0);
    EXPECT_EQ(c.Choose(), 204);
}

namespace {

std::array<std::uint32_t, 1024> Square(std::uint32_t argb) {
    std::array<std::uint32_t, 1024> img{};
    img.fill(argb);
    return img;
}

}  // namespace

TEST(CursorOverlay, OpaqueAt32BitsWithBottomUpRows) {
    const int w = 64, h = 48;
    std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * 4 * h, 0);
    DibView dib{px.data(), w, h, static_cast<std::size_t>(w) * 4, 32, {}};
    DrawCursor(dib, 10, 5, Square(0xFF112233));
    auto at = [&](int x, int y) {  // top-down coordinates
        return &px[static_cast<std::size_t>(h - 1 - y) * w * 4 + x * 4];
    };
    EXPECT_EQ(at(10, 5)[0], 0x33);
    EXPECT_EQ(at(10, 5)[1], 0x22);
    EXPECT_EQ(at(10, 5)[2], 0x11);
    EXPECT_EQ(at(41, 36)[2], 0x11);
    EXPECT_EQ(at(42, 36)[2], 0x00);
    EXPECT_EQ(at(9, 5)[2], 0x00);
    EXPECT_EQ(at(10, 4)[2], 0x00);
}

TEST(CursorOverlay, ClipsAtEveryEdge) {
    const int w = 20, h = 20;
    std::vector<std::uint8_t> px(static_cast<std::size_t>(w) * 3 * h + 64, 0);
    const std::size_t stride = 60;
    DibView dib{px.data(), w, h, stride, 24, {}};
    DrawCursor(dib, -16, -16, Square(0xFFFFFFFF));
    DrawCursor(dib, 10, 10, Square(0xFFFFFFFF));
    // Nothing past the rows was touched.
    for (std::size_t i = stride * h; i < px.size(); ++i) EXPECT_EQ(px[i], 0) << i;
    // Wholly outside: nothing drawn.
    std::vector<std::uint8_t> before = px;
    DrawCursor(dib, 500, 400, Square(0xFFFFFFFF));
    DrawCursor(dib, -40, 0, Square(0xFFFFFFFF));
    EXPECT_EQ(px, before);
}

TEST(CursorOverlay, AlphaBlendsAt16Bits) {
    std::vector<std::uint8_t> px(4 * 2, 0);  // 2 x 1, RGB555
    DibView dib{px.data(), 2, 1, 4, 16, {}};
    std::array<std::uint32_t, 1024> img{};
    img[0] = 0x80FF0000;  // half-transparent red over black
    img[1] = 0x00FFFFFF;  // fully transparent
    DrawCursor(dib, 0, 0, img);
    const int v = px[0] | px[1] << 8;
    EXPECT_EQ((v >> 10) & 31, 16);
    EXPECT_EQ((v >> 5) & 31, 0);
    EXPECT_EQ(v & 31, 0);
    EXPECT_EQ(px[2] | px[3] << 8, 0);
}

TEST(CursorOverlay, MapsToNearestPaletteEntryAt8Bits) {
    std::vector<std::uint32_t> table(256, 0);
    table[1] = 0x00FF0000;               // red
    table[2] = 0x0000FF00;               // green
    table[3] = 0x00808080;               // grey
    std::vector<std::uint8_t> px(4, 0);  // 3 x 1, stride 4
    DibView dib{px.data(), 3, 1, 4, 8, table};
    std::array<std::uint32_t, 1024> img{};
    img[0] = 0xFFF00808;  // near red
    img[1] = 0xFF10F010;  // near green
    img[2] = 0x80FFFFFF;  // half white over black: grey
    DrawCursor(dib, 0, 0, img);
    EXPECT_EQ(px[0], 1);
    EXPECT_EQ(px[1], 2);
    EXPECT_EQ(px[2], 3);
}

TEST(CursorOverlay, ImageCornerFromPointerAndHotSpot) {
    using P = std::optional<FramePoint>;
    struct Case {
        P pointer, hot;
        P corner;
    };
    const Case cases[] = {
        {FramePoint{500, 400}, FramePoint{4, 6}, FramePoint{406, 304}},
        {FramePoint{500, 400}, std::nullopt, FramePoint{410, 310}},
        // An unknown pointer draws nothing, rather than a cursor in the frame's corner.
        {std::nullopt, FramePoint{4, 6}, std::nullopt},
        {std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(CursorImageCorner(c.pointer, c.hot, 100, 100), c.corner);
}
