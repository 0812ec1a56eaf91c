// The region frame's hit test: grip bands, corners and the face that moves the frame.
#include <gtest/gtest.h>

#include "region/RegionHitTest.h"

using region::HitArea;
using region::RegionHitTest;

TEST(RegionHitTest, BandsAreFourPixelsLeftAndTopThreeRightAndBottom) {
    const int w = 640, h = 480;
    EXPECT_EQ(RegionHitTest(3, 200, w, h), HitArea::Left);
    EXPECT_EQ(RegionHitTest(4, 200, w, h), HitArea::Caption);
    EXPECT_EQ(RegionHitTest(w - 4, 200, w, h), HitArea::Caption);
    EXPECT_EQ(RegionHitTest(w - 3, 200, w, h), HitArea::Right);
    EXPECT_EQ(RegionHitTest(w - 1, 200, w, h), HitArea::Right);
    EXPECT_EQ(RegionHitTest(300, 3, w, h), HitArea::Top);
    EXPECT_EQ(RegionHitTest(300, 4, w, h), HitArea::Caption);
    EXPECT_EQ(RegionHitTest(300, h - 4, w, h), HitArea::Caption);
    EXPECT_EQ(RegionHitTest(300, h - 3, w, h), HitArea::Bottom);
}

TEST(RegionHitTest, CornersWinOverEdges) {
    const int w = 200, h = 150;
    EXPECT_EQ(RegionHitTest(0, 0, w, h), HitArea::TopLeft);
    EXPECT_EQ(RegionHitTest(3, 3, w, h), HitArea::TopLeft);
    EXPECT_EQ(RegionHitTest(4, 3, w, h), HitArea::Top);
    EXPECT_EQ(RegionHitTest(w - 1, 0, w, h), HitArea::TopRight);
    EXPECT_EQ(RegionHitTest(0, h - 1, w, h), HitArea::BottomLeft);
    EXPECT_EQ(RegionHitTest(w - 1, h - 1, w, h), HitArea::BottomRight);
    EXPECT_EQ(RegionHitTest(w - 3, h - 3, w, h), HitArea::BottomRight);
    EXPECT_EQ(RegionHitTest(w - 4, h - 3, w, h), HitArea::Bottom);
    EXPECT_EQ(RegionHitTest(100, 75, w, h), HitArea::Caption);
}

TEST(RegionHitTest, PointsOutsideTheWindowFallIntoTheNearestBand) {
    // Signed coordinates: a drag that overshoots still names an edge.
    EXPECT_EQ(RegionHitTest(-5, 50, 200, 150), HitArea::Left);
    EXPECT_EQ(RegionHitTest(250, -2, 200, 150), HitArea::TopRight);
    EXPECT_EQ(static_cast<int>(HitArea::Caption), 2);
    EXPECT_EQ(static_cast<int>(HitArea::BottomRight), 17);
}
