// Frame block layout and the frame loop's arithmetic.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "engine/FrameBlock.h"
#include "engine/RecordTiming.h"
#include "engine/SizeAlignment.h"
#include "settings/FrameRate.h"

using namespace engine;
using app::settings::FramesPerSecondFor;
using app::settings::RoundHalfEven;

TEST(FrameBlock, LayoutAt32Bits) {
    PFrame f = FrameBlock::Allocate(320, 200, 32);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Bytes().size(), 256040u);
    const BITMAPINFOHEADER& h = f->Header();
    EXPECT_EQ(h.biSize, 40u);
    EXPECT_EQ(h.biWidth, 320);
    EXPECT_EQ(h.biHeight, 200);
    EXPECT_EQ(h.biPlanes, 1);
    EXPECT_EQ(h.biBitCount, 32);
    EXPECT_EQ(h.biCompression, 0u);
    EXPECT_EQ(h.biSizeImage, 320u * 4 * 200);
    EXPECT_EQ(h.biClrUsed, 0u);
    EXPECT_EQ(h.biClrImportant, 0u);
    EXPECT_EQ(f->FormatSize(), 40u);
    EXPECT_EQ(f->Pixels().data() - f->Bytes().data(), 40);
    // The header sits at offset 0 of the block, little-endian as in a file.
    const auto bytes = f->Bytes();
    EXPECT_EQ(bytes[0], 40);
    EXPECT_EQ(bytes[4] | bytes[5] << 8, 320);
    EXPECT_EQ(bytes[14], 32);
}

TEST(FrameBlock, LayoutAt8BitsHasAColourTable) {
    PFrame f = FrameBlock::Allocate(13, 2, 8);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Stride(), 16u);
    EXPECT_EQ(f->Header().biClrUsed, 256u);
    EXPECT_EQ(f->ColorTable().size(), 256u);
    EXPECT_EQ(f->FormatSize(), 40u + 1024u);
    EXPECT_EQ(f->Bytes().size(), 40u + 1024u + 32u);
    EXPECT_EQ(f->Header().biSizeImage, 32u);
}

TEST(FrameBlock, StridesAndRefusals) {
    EXPECT_EQ(DibStride(1, 24), 4u);
    EXPECT_EQ(DibStride(3, 24), 12u);
    EXPECT_EQ(DibStride(5, 24), 16u);
    EXPECT_EQ(DibStride(101, 16), 204u);
    EXPECT_EQ(DibStride(1366, 32), 5464u);
    // 64-bit product: a width whose 32-bit product would overflow.
    EXPECT_EQ(DibStride(100000000, 32), 400000000u);
    EXPECT_FALSE(FrameBlock::Allocate(0, 10, 32));
    EXPECT_FALSE(FrameBlock::Allocate(10, -1, 32));
    EXPECT_FALSE(FrameBlock::Allocate(10, 10, 12));
    // More than biSizeImage can describe.
    EXPECT_FALSE(FrameBlock::Allocate(70000, 70000, 32));
}

TEST(FrameBlock, FreeFrameClearsTheReference) {
    PFrame f = FrameBlock::Allocate(4, 4, 24);
    FreeFrame(f);
    EXPECT_FALSE(f);
    FreeFrame(f);  // an empty reference is fine
}

TEST(RecordTiming, RoundingTiesToEven) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(2.6), 3);
    EXPECT_EQ(FramesPerSecondFor(67), 15);
    EXPECT_EQ(FramesPerSecondFor(143), 7);
    EXPECT_EQ(FramesPerSecondFor(333), 3);
    EXPECT_EQ(FramesPerSecondFor(200), 5);
    // Every period the options offer gives its rate back.
    for (int rate = 3; rate <= 15; ++rate) {
        const int period = static_cast<int>(RoundHalfEven(1000.0 / rate));
        EXPECT_EQ(FramesPerSecondFor(period), rate) << period;
    }
    // A stored period that cannot be used reads as the default.
    EXPECT_EQ(FramesPerSecondFor(0), 5);
    EXPECT_EQ(FramesPerSecondFor(-40), 5);
    EXPECT_EQ(FrameIndexFor(1000, 0), 5);
}

TEST(RecordTiming, FrameIndexAndDroppedPositions) {
    EXPECT_EQ(FrameIndexFor(0, 200), 0);
    EXPECT_EQ(FrameIndexFor(99, 200), 0);
    EXPECT_EQ(FrameIndexFor(100, 200), 0);  // 0.5 rounds to even
    EXPECT_EQ(FrameIndexFor(300, 200), 2);  // 1.5 rounds to even
    EXPECT_EQ(FrameIndexFor(201, 200), 1);
    // A pass that took 2.6 periods: the index jumps by 3 and two positions are dropped.
    EXPECT_EQ(FrameIndexFor(200 * 4 + 520, 200), 7);
    EXPECT_EQ(SkippedPositions(7, 4), 2);
    EXPECT_EQ(SkippedPositions(5, 4), 0);
    EXPECT_EQ(SkippedPositions(4, 4), 0);
    EXPECT_EQ(SkippedPositions(0, 0), 0);
    // The tick wraps; unsigned differences keep elapsed time right.
    const std::uint32_t start = 0xFFFFFF00u;
    const std::uint32_t now = 0x00000100u;
    EXPECT_EQ(FrameIndexFor(now - start, 200), 3);
}

TEST(RecordTiming, WhichFramesAreWritten) {
    EXPECT_TRUE(ShouldWriteFrame(0, 0, 0));
    EXPECT_FALSE(ShouldWriteFrame(0, 0, 1));  // position 0 is taken
    EXPECT_TRUE(ShouldWriteFrame(1, 0, 1));
    EXPECT_FALSE(ShouldWriteFrame(3, 3, 4));
    EXPECT_FALSE(ShouldWriteFrame(2, 3, 4));
}

// Ten seconds at 15 frames a second on a simulated clock: every sleep overshoots by 0.4 ms, a
// pass takes 20 ms, and one pass is held up 40 ms more. Each pass is as late as those make it,
// yet no position goes without a frame.
TEST(RecordTiming, LateSleepsAndPassesCostNoFrame) {
    constexpr int kPeriod = 67;
    double now = 0;
    std::int32_t last = 0, dropped = 0, written = 0;
    while (now < 10000) {
        const auto elapsed = static_cast<std::uint32_t>(now);
        const std::int32_t index = FrameIndexFor(elapsed, kPeriod);
        dropped += SkippedPositions(index, last);
        if (ShouldWriteFrame(index, last, written)) {
            ++written;
            last = index;
        }
        now += written == 40 ? 60 : 20;
        const std::uint32_t wait =
            WaitAfterPass(SpentInPeriod(static_cast<std::uint32_t>(now), index, kPeriod), kPeriod);
        now += wait > 0 ? wait + 0.4 : 0;
    }
    EXPECT_EQ(dropped, 0);
    EXPECT_EQ(written, 150);
    EXPECT_EQ(SpentInPeriod(300, 5, 67), 0u);  // a pass that began early waits a whole period
}

TEST(RecordTiming, TheWaitIsWhatIsLeftOfThePeriod) {
    const struct {
        std::uint32_t spent;
        int period;
        std::uint32_t wait;
    } cases[] = {{33, 200, 167}, {0, 67, 67}, {200, 200, 0}, {450, 200, 0}};
    for (const auto& c : cases) EXPECT_EQ(WaitAfterPass(c.spent, c.period), c.wait) << c.spent;
}

TEST(RecordTiming, StatusNotices) {
    EXPECT_FALSE(StatusNoticeDue(0, 0));
    EXPECT_FALSE(StatusNoticeDue(500, 0));
    EXPECT_TRUE(StatusNoticeDue(501, 0));
    EXPECT_FALSE(StatusNoticeDue(1001, 501));
    EXPECT_TRUE(StatusNoticeDue(1002, 501));
    EXPECT_TRUE(StatusNoticeDue(0xFFFFFFFFu, 0xFFFFFF00u - 500));
}

TEST(SizeAlignment, Dimensions) {
    EXPECT_EQ(AlignDimension(101, 2, 1366), 102);
    EXPECT_EQ(AlignDimension(101, 4, 1366), 104);
    EXPECT_EQ(AlignDimension(104, 8, 1366), 104);
    EXPECT_EQ(AlignDimension(100, 8, 1366), 104);
    // At the screen's edge the size rounds down instead.
    EXPECT_EQ(AlignDimension(1365, 4, 1366), 1364);
    EXPECT_EQ(AlignDimension(767, 8, 768), 768);
    EXPECT_EQ(AlignDimension(763, 8, 766), 760);
    EXPECT_EQ(AlignDimension(767, 2, 768), 768);
}

TEST(SizeAlignment, AsksOwnSizeThenTwoFourEight) {
    std::vector<std::pair<int, int>> asked;
    auto multiplesOfFour = [&](int w, int h) {
        asked.emplace_back(w, h);
        return w % 4 == 0 && h % 4 == 0;
    };
    AlignmentOutcome o = AlignFrameSize(101, 75, 1366, 768, multiplesOfFour);
    EXPECT_TRUE(o.accepted);
    EXPECT_EQ(o.step, 4);
    EXPECT_EQ(o.width, 104);
    EXPECT_EQ(o.height, 76);
    const std::vector<std::pair<int, int>> expected{{101, 75}, {102, 76}, {104, 76}};
    EXPECT_EQ(asked, expected);
}

TEST(SizeAlignment, AcceptedAtOnceOrNever) {
    int questions = 0;
    AlignmentOutcome o = AlignFrameSize(640, 480, 1366, 768, [&](int, int) {
        ++questions;
        return true;
    });
    EXPECT_TRUE(o.accepted);
    EXPECT_EQ(o.step, 1);
    EXPECT_EQ(questions, 1);

    questions = 0;
    o = AlignFrameSize(101, 75, 1366, 768, [&](int, int) {
        ++questions;
        return false;
    });
    EXPECT_FALSE(o.accepted);
    EXPECT_EQ(questions, 4);
    EXPECT_EQ(o.step, 16);
    EXPECT_EQ(o.width, 101);
    EXPECT_EQ(o.height, 75);

    // One dimension already aligned keeps its value while the other moves.
    o = AlignFrameSize(1365, 480, 1366, 768, [](int w, int) { return w % 4 == 0; });
    EXPECT_EQ(o.width, 1364);
    EXPECT_EQ(o.height, 480);
}
