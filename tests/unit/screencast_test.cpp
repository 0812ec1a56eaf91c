// The ScreenCast stream in the screen's terms and the rules of talking to the portal: no
// session, no display.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/screen/dib.h"
#include "platform/screencast/portal_rules.h"
#include "platform/screencast/stream_damage.h"
#include "platform/screencast/stream_image.h"

namespace {

using namespace platform::screencast;
using Bytes = std::vector<std::uint8_t>;
using platform::screen::DamageRect;
using Rects = std::vector<StreamRect>;

// A frame whose every pixel tells its own place: bytes x, y, 0x80, 0xFF, rows padded by 8 bytes
// that must never be read.
struct PlacesFrame {
    PlacesFrame(int width, int height) : width(width), height(height) {
        bytes.assign(stride() * static_cast<std::size_t>(height), 0xEE);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                std::uint8_t* p = &bytes[static_cast<std::size_t>(y) * stride() + x * 4];
                p[0] = static_cast<std::uint8_t>(x);
                p[1] = static_cast<std::uint8_t>(y);
                p[2] = 0x80;
                p[3] = 0xFF;
            }
        }
    }
    std::size_t stride() const { return static_cast<std::size_t>(width) * 4 + 8; }
    StreamFrame Frame() const { return {bytes.data(), stride(), width, height, PixelOrder::BGRx}; }

    int width, height;
    Bytes bytes;
};

struct Taken {
    int x, y;  // the stream pixel; -1 for black
};

TEST(StreamImage, PlacementIsThePortalsOrTheWholeScreen) {
    const Size screen{1366, 768};
    EXPECT_EQ(PlacementOf(Point{1920, 0}, Size{1280, 1024}, screen),
              (Placement{1920, 0, 1280, 1024}));
    EXPECT_EQ(PlacementOf(std::nullopt, Size{800, 600}, screen), (Placement{0, 0, 800, 600}));
    EXPECT_EQ(PlacementOf(Point{5, 5}, std::nullopt, screen), (Placement{0, 0, 1366, 768}));
    EXPECT_EQ(PlacementOf(Point{5, 5}, Size{0, 600}, screen), (Placement{0, 0, 1366, 768}));
}

TEST(StreamImage, CutsTheRegionOutWhereverTheMonitorLiesAndHoweverItIsScaled) {
    const struct {
        const char* what;
        int frameWidth, frameHeight;
        Placement placement;
        int left, top, width, height;
        std::vector<Taken> expected;  // row by row
    } cases[] = {
        {"unscaled",
         8,
         6,
         {0, 0, 8, 6},
         2,
         1,
         3,
         2,
         {{2, 1}, {3, 1}, {4, 1}, {2, 2}, {3, 2}, {4, 2}}},
        // Twice the pixels: each screen pixel takes the stream pixel at its centre.
        {"scaled by two", 16, 12, {0, 0, 8, 6}, 1, 1, 2, 2, {{3, 3}, {5, 3}, {3, 5}, {5, 5}}},
        {"one and a half", 12, 9, {0, 0, 8, 6}, 0, 0, 3, 1, {{0, 0}, {2, 0}, {3, 0}}},
        {"a second monitor", 8, 6, {10, 20, 8, 6}, 11, 21, 2, 1, {{1, 1}, {2, 1}}},
        {"partly outside",
         8,
         6,
         {0, 0, 8, 6},
         -1,
         5,
         3,
         2,
         {{-1, -1}, {0, 5}, {1, 5}, {-1, -1}, {-1, -1}, {-1, -1}}},
        {"on another monitor", 8, 6, {100, 0, 8, 6}, 0, 0, 2, 1, {{-1, -1}, {-1, -1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const PlacesFrame frame(c.frameWidth, c.frameHeight);
        Bytes out(static_cast<std::size_t>(c.width * c.height) * 4, 0x55);
        ASSERT_TRUE(CutOut(frame.Frame(), c.placement, c.left, c.top, c.width, c.height, out));
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            const Taken t = c.expected[i];
            const Bytes want = t.x < 0 ? Bytes{0, 0, 0, 0}
                                       : Bytes{static_cast<std::uint8_t>(t.x),
                                               static_cast<std::uint8_t>(t.y), 0x80, 0xFF};
            EXPECT_EQ(Bytes(out.begin() + i * 4, out.begin() + i * 4 + 4), want) << "pixel " << i;
        }
    }
}

TEST(StreamImage, RefusesWhatCannotBeCut) {
    const PlacesFrame frame(8, 6);
    Bytes out(3 * 4 * 2 - 1);
    EXPECT_FALSE(CutOut(frame.Frame(), {0, 0, 8, 6}, 0, 0, 3, 2, out));
    EXPECT_FALSE(CutOut(frame.Frame(), {0, 0, 8, 6}, 0, 0, 0, 2, out));
    // A frame without pixels cuts out black.
    Bytes black(16, 0x55);
    ASSERT_TRUE(CutOut(StreamFrame{}, {0, 0, 8, 6}, 0, 0, 2, 2, black));
    EXPECT_EQ(black, Bytes(16, 0));
}

TEST(StreamImage, EveryPixelOrderBecomesTheSameDibPixel) {
    // Red 0x11, green 0x22, blue 0x33 in each order's bytes; the DIB keeps B, G, R, 0.
    const struct {
        PixelOrder order;
        Bytes pixel;
    } cases[] = {{PixelOrder::BGRx, {0x33, 0x22, 0x11, 0x99}},
                 {PixelOrder::BGRA, {0x33, 0x22, 0x11, 0xFF}},
                 {PixelOrder::RGBx, {0x11, 0x22, 0x33, 0x99}},
                 {PixelOrder::RGBA, {0x11, 0x22, 0x33, 0xFF}}};
    for (const auto& c : cases) {
        platform::screen::NativeImage image = ImageLayout(c.order);
        image.width = 1;
        image.height = 1;
        image.stride = 4;
        image.data = c.pixel.data();
        Bytes dib(4, 0xEE);
        ASSERT_TRUE(platform::screen::ConvertToDib(image, 32, {}, dib));
        EXPECT_EQ(dib, (Bytes{0x33, 0x22, 0x11, 0x00})) << static_cast<int>(c.order);
    }
}

TEST(StreamImage, CursorComesBackToScreenCoordinates) {
    const Placement placement{1366, 0, 1366, 768};
    const Size frame{2732, 1536};
    EXPECT_EQ(PointOnScreen({200, 100}, frame, placement), (Point{1366 + 100, 50}));
    EXPECT_EQ(DistanceOnScreen({8, 6}, frame, placement), (Point{4, 3}));
    EXPECT_EQ(PointOnScreen({200, 100}, Size{}, placement), (Point{1366 + 200, 100}));
}

TEST(StreamDamage, GathersEveryBufferUntilAskedAndTellsEverythingWhenUnsure) {
    constexpr StreamRect kEnd{};
    const StreamRect a{1, 2, 3, 4}, b{5, 6, 7, 8};
    const Rects many(300, StreamRect{0, 0, 1, 1});
    const struct {
        const char* what;
        std::vector<std::optional<Rects>> buffers;  // none: MarkAll
        std::optional<Rects> taken;                 // none: everything
    } cases[] = {
        {"several buffers between two questions", {Rects{a, kEnd, b}, Rects{b, kEnd}}, Rects{a, b}},
        {"buffers that changed nothing", {Rects{kEnd, a}, Rects{kEnd}}, Rects{}},
        {"an entry without width or height ends the list",
         {Rects{a, {9, 9, 0, 5}, b, kEnd}, Rects{{9, 9, 5, 0}, a}},
         Rects{a}},
        {"a list that fills the array lost regions", {Rects{a, kEnd}, Rects{a, b}}, std::nullopt},
        {"a new format between buffers",
         {Rects{a, kEnd}, std::nullopt, Rects{b, kEnd}},
         std::nullopt},
        {"more regions than are kept", {many, many, Rects{kEnd}}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StreamDamage damage;
        EXPECT_EQ(damage.Take(), std::nullopt) << "the first frame is all new";
        for (const auto& buffer : c.buffers) {
            if (buffer) {
                damage.Add(*buffer);
            } else {
                damage.MarkAll();
            }
        }
        EXPECT_EQ(damage.Take(), c.taken);
        EXPECT_EQ(damage.Take(), Rects{}) << "taken damage is forgotten";
    }
}

TEST(StreamDamage, ComesToTheScreenRoundedOutward) {
    constexpr std::uint32_t kHuge = 0xFFFFFFFFu;
    const struct {
        const char* what;
        Size frame;
        Placement placement;
        Rects rects;
        std::optional<std::vector<DamageRect>> screen;
    } cases[] = {
        {"unscaled on a second monitor",
         {8, 6},
         {10, 20, 8, 6},
         {{2, 1, 3, 2}},
         {{{12, 21, 3, 2}}}},
        {"twice the pixels",
         {16, 12},
         {0, 0, 8, 6},
         {{3, 3, 1, 1}, {4, 4, 4, 2}},
         {{{1, 1, 1, 1}, {2, 2, 2, 1}}}},
        {"one and a half",
         {12, 9},
         {0, 0, 8, 6},
         {{5, 2, 1, 1}, {4, 3, 2, 3}},
         {{{3, 1, 1, 1}, {2, 2, 2, 2}}}},
        {"fewer pixels than the screen", {4, 3}, {0, 0, 8, 6}, {{1, 1, 1, 1}}, {{{2, 2, 2, 2}}}},
        {"parts outside the frame",
         {8, 6},
         {0, 0, 8, 6},
         {{-4, -4, 6, 6}, {20, 0, 5, 5}, {-9, 0, 3, 3}, {6, 5, kHuge, kHuge}},
         {{{0, 0, 2, 2}, {6, 5, 2, 1}}}},
        {"a frame of no size", {0, 0}, {0, 0, 8, 6}, {{1, 1, 1, 1}}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DamageOnScreen(c.rects, c.frame, c.placement), c.screen);
    }
}

// Whatever the scale, every screen pixel that shows a damaged stream pixel lies in the damage
// on the screen: each stream pixel is damaged in turn and the cut-out tells which screen pixels
// show it.
TEST(StreamDamage, NoScreenPixelShowingAChangeIsLeftOut) {
    const struct {
        int frameWidth, frameHeight;
        Placement placement;
    } cases[] = {{8, 6, {3, 2, 8, 6}},
                 {16, 12, {0, 0, 8, 6}},
                 {12, 9, {0, 0, 8, 6}},
                 {11, 7, {0, 0, 8, 6}},
                 {5, 4, {0, 0, 8, 6}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.frameWidth << "x" << c.frameHeight);
        const PlacesFrame frame(c.frameWidth, c.frameHeight);
        const Placement& p = c.placement;
        Bytes shown(static_cast<std::size_t>(p.width * p.height) * 4);
        ASSERT_TRUE(CutOut(frame.Frame(), p, p.x, p.y, p.width, p.height, shown));
        for (int sy = 0; sy < c.frameHeight; ++sy) {
            for (int sx = 0; sx < c.frameWidth; ++sx) {
                const auto boxes =
                    DamageOnScreen(Rects{{sx, sy, 1, 1}}, {c.frameWidth, c.frameHeight}, p);
                ASSERT_TRUE(boxes && boxes->size() == 1);
                const DamageRect& box = boxes->front();
                for (int y = 0; y < p.height; ++y) {
                    for (int x = 0; x < p.width; ++x) {
                        const std::uint8_t* pixel =
                            &shown[static_cast<std::size_t>(y * p.width + x) * 4];
                        if (pixel[0] != sx || pixel[1] != sy) continue;
                        EXPECT_TRUE(p.x + x >= box.x && p.x + x < box.x + box.width &&
                                    p.y + y >= box.y && p.y + y < box.y + box.height)
                            << "stream pixel " << sx << "," << sy << " shown at " << x << "," << y;
                    }
                }
            }
        }
    }
}

TEST(PortalRules, WaylandSessionFromTheEnvironment) {
    EXPECT_TRUE(IsWaylandSession("wayland", nullptr));
    EXPECT_TRUE(IsWaylandSession(nullptr, "wayland-0"));
    EXPECT_TRUE(IsWaylandSession("x11", "wayland-0"));
    EXPECT_FALSE(IsWaylandSession("x11", nullptr));
    EXPECT_FALSE(IsWaylandSession(nullptr, ""));
    EXPECT_FALSE(IsWaylandSession("tty", nullptr));
}

TEST(PortalRules, WhatAFailureMeansToTheUser) {
    const struct {
        const char* error;
        bool sessionStarted;
        PortalFailure failure;
    } cases[] = {
        {"org.freedesktop.DBus.Error.ServiceUnknown", false, PortalFailure::NoPortal},
        {"org.freedesktop.DBus.Error.NameHasNoOwner", false, PortalFailure::NoPortal},
        {"org.freedesktop.DBus.Error.NoReply", false, PortalFailure::NoPortal},
        {"org.freedesktop.DBus.Error.Spawn.ChildExited", false, PortalFailure::NoPortal},
        {"org.freedesktop.DBus.Error.InvalidArgs", false, PortalFailure::NoScreenCast},
        {"org.freedesktop.DBus.Error.UnknownInterface", false, PortalFailure::NoScreenCast},
        {"org.freedesktop.DBus.Error.ServiceUnknown", true, PortalFailure::Refused},
        {"org.freedesktop.portal.Error.InvalidArgument", true, PortalFailure::Refused},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FailureOfError(c.error, c.sessionStarted), c.failure) << c.error;
    }
    PortalFailure failure{};
    EXPECT_FALSE(ResponseFails(0, failure));
    ASSERT_TRUE(ResponseFails(1, failure));
    EXPECT_EQ(failure, PortalFailure::Cancelled);
    ASSERT_TRUE(ResponseFails(2, failure));
    EXPECT_EQ(failure, PortalFailure::Refused);
}

TEST(PortalRules, CursorModeAndRestoreToken) {
    EXPECT_EQ(CursorModeFor(kCursorHidden | kCursorEmbedded | kCursorMetadata), kCursorMetadata);
    EXPECT_EQ(CursorModeFor(kCursorHidden | kCursorEmbedded), kCursorEmbedded);
    EXPECT_EQ(CursorModeFor(0), kCursorHidden);

    EXPECT_TRUE(UsableRestoreToken("2b1251b7-338f-43fd-84b1-e8fa2a3b9eea"));
    EXPECT_TRUE(UsableRestoreToken("2B1251B7-338F-43FD-84B1-E8FA2A3B9EEA"));
    for (const char* bad :
         {"", "2b1251b7338f43fd84b1e8fa2a3b9eea", "2b1251b7-338f-43fd-84b1-e8fa2a3b9ee",
          "2b1251b7-338f-43fd-84b1-e8fa2a3b9eeaa", "2b1251b7-338f-43fd-84b1_e8fa2a3b9eea",
          "zb1251b7-338f-43fd-84b1-e8fa2a3b9eea"}) {
        EXPECT_FALSE(UsableRestoreToken(bad)) << bad;
    }
}

}  // namespace
