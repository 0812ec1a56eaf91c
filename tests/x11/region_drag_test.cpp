// The region window hands the recording worker its rectangle whole: sized from its top-left
// corner, with the opposite corner held still, every rectangle a reading thread sees ends at
// that corner.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <atomic>
#include <cstdlib>
#include <thread>

#include "region/Korvex_Viewport_Unit.h"

namespace {

TEST(RegionWindow, ARectangleReadWhileTheFrameIsDraggedIsNeverTorn) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
    int argc = 1;
    char name[] = "region_drag_test";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    region::TViewPort_Form frame(
        app::kGerman, [](app::Msg) { return std::string("x"); }, [] { return false; });
    constexpr int kRight = 900, kBottom = 700;
    // Moves the top-left corner and waits until the worker's side shows the new rectangle.
    const auto dragTo = [&](int left, int top) {
        frame.setGeometry(left, top, kRight - left, kBottom - top);
        const engine::CaptureRect wanted{left, top, kRight - left, kBottom - top};
        QElapsedTimer waited;
        waited.start();
        while (frame.Region() != wanted && waited.elapsed() < 5000) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        return frame.Region() == wanted;
    };
    frame.ShowRegion();
    ASSERT_TRUE(dragTo(300, 200));

    std::atomic<bool> stop{false};
    std::atomic<int> reads{0}, torn{0};
    std::thread worker([&] {
        while (!stop) {
            const engine::CaptureRect rect = frame.Region();
            if (rect.left + rect.width != kRight || rect.top + rect.height != kBottom) ++torn;
            ++reads;
        }
    });
    constexpr int kDrags = 2000;
    int dragged = 0;
    for (int step = 0; step < kDrags; ++step) {
        const int offset = step % 2 == 0 ? step % 400 : -(step % 400);
        if (dragTo(300 + offset / 2, 200 + offset / 3)) ++dragged;
    }
    stop = true;
    worker.join();
    EXPECT_EQ(dragged, kDrags);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
}

}  // namespace
