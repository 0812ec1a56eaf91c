// The pure parts of the damage-driven, two-thread frame loop: which frame rows damage and the
// cursor touch, and the queue between the threads.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/DamageRows.h"
#include "engine/FrameQueue.h"

using namespace engine;

namespace {

using Spans = std::vector<RowSpan>;

}  // namespace

TEST(DamageRows, BoxesBecomeTheFrameRowsTheyTouch) {
    const CaptureRect region{100, 50, 200, 100};
    const struct {
        const char* what;
        std::vector<ScreenBox> boxes;
        Spans rows;
    } cases[] = {
        {"none", {}, {}},
        {"one pixel at the top edge", {{150, 50, 1, 1}}, {{0, 1}}},
        {"one pixel at the bottom right corner", {{299, 149, 1, 1}}, {{99, 100}}},
        {"just outside each side",
         {{99, 60, 1, 5}, {300, 60, 1, 5}, {150, 49, 5, 1}, {150, 150, 5, 1}},
         {}},
        {"across the region", {{0, 0, 1000, 1000}}, {{0, 100}}},
        {"overlapping and touching",
         {{120, 60, 5, 10}, {200, 65, 5, 10}, {120, 75, 5, 5}},
         {{10, 30}}},
        {"apart, out of order", {{120, 120, 5, 5}, {120, 52, 5, 3}}, {{2, 5}, {70, 75}}},
    };
    for (const auto& c : cases) EXPECT_EQ(RowsTouched(c.boxes, region), c.rows) << c.what;
}

TEST(DamageRows, SpansUniteAndBridgeSmallGaps) {
    const Spans a{{0, 2}, {10, 12}}, b{{1, 4}, {20, 30}};
    EXPECT_EQ(UniteRows(a, b), (Spans{{0, 4}, {10, 12}, {20, 30}}));
    EXPECT_EQ(UniteRows(a, b, 5), (Spans{{0, 4}, {10, 12}, {20, 30}}));
    EXPECT_EQ(UniteRows(a, b, 6), (Spans{{0, 12}, {20, 30}}));
    EXPECT_EQ(UniteRows(a, b, 8), (Spans{{0, 30}}));
    EXPECT_EQ(RowCount(UniteRows(a, b)), 16);
}

TEST(DamageRows, CursorRowsAreClippedToTheFrame) {
    EXPECT_EQ(CursorRows(std::nullopt, 32, 100), Spans{});
    EXPECT_EQ(CursorRows(10, 32, 100), (Spans{{10, 42}}));
    EXPECT_EQ(CursorRows(-20, 32, 100), (Spans{{0, 12}}));
    EXPECT_EQ(CursorRows(90, 32, 100), (Spans{{90, 100}}));
    EXPECT_EQ(CursorRows(100, 32, 100), Spans{});
}

TEST(FrameQueue, KeepsOrderWaitsWhenFullAndDrainsAfterClosing) {
    FrameQueue<int> queue(2);
    std::vector<int> taken;
    std::thread consumer([&] {
        while (auto item = queue.Pop()) taken.push_back(*item);
    });
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(queue.Push(i));
    queue.Close();
    consumer.join();
    std::vector<int> expected(100);
    for (int i = 0; i < 100; ++i) expected[i] = i;
    EXPECT_EQ(taken, expected);
    EXPECT_FALSE(queue.Push(100));
    EXPECT_FALSE(queue.TryPop());
}

TEST(FrameQueue, ClosingReleasesAWaitingProducer) {
    FrameQueue<int> queue(1);
    ASSERT_TRUE(queue.Push(1));
    bool pushed = true;
    std::thread producer([&] { pushed = queue.Push(2); });
    queue.Close();
    producer.join();
    EXPECT_FALSE(pushed);
    EXPECT_EQ(queue.Pop(), 1);
    EXPECT_EQ(queue.Pop(), std::nullopt);
}
