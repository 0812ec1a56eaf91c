// Recordings through the real portal front end and PipeWire from a desktop that tells what
// changed with every frame, one that tells nothing and one that offers to tell but never does:
// each frame decodes to what a whole grab of the stream shows, through a change at the region's
// edge that only rounding outward finds, and only where the desktop tells of changes does the
// recorder grab less than whole frames.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <filesystem>

#include "engine/Korvex_ScrCam_Unit.h"
#include "harness/engine_host.h"
#include "harness/media_probe.h"
#include "harness/portal_capture.h"
#include "harness/screencast_monitor.h"

using namespace engine;
namespace fs = std::filesystem;
namespace screen = platform::screen;
using korvex::test::DamageMeta;

namespace {

// The monitor: 400 x 300 on the screen, sent at one and a half times that, as a desktop scaled
// to 150 % sends it.
constexpr int kWidth = 400, kHeight = 300, kStreamWidth = 600, kStreamHeight = 450;
constexpr CaptureRect kRect{50, 40, 200, 150};

// A source that counts the rows its callers grab.
class CountingScreen final : public screen::CaptureSource {
public:
    explicit CountingScreen(std::shared_ptr<screen::CaptureSource> inner)
        : inner_(std::move(inner)) {}
    int BitsPerPixel() const override { return inner_->BitsPerPixel(); }
    int Width() const override { return inner_->Width(); }
    int Height() const override { return inner_->Height(); }
    bool Capture(int left, int top, int width, int height, screen::NativeImage& image) override {
        rows += height;
        return inner_->Capture(left, top, width, height, image);
    }
    bool ToDib(const screen::NativeImage& image, int bitsPerPixel, std::span<std::uint8_t> pixels,
               std::span<std::uint32_t> colorTable) override {
        return inner_->ToDib(image, bitsPerPixel, pixels, colorTable);
    }
    std::optional<screen::Point> PointerPosition() override { return inner_->PointerPosition(); }
    std::optional<screen::Point> CursorHotSpot() override { return inner_->CursorHotSpot(); }
    std::unique_ptr<screen::DamageWatcher> WatchDamage() override { return inner_->WatchDamage(); }

    std::atomic<long> rows{0};

private:
    std::shared_ptr<screen::CaptureSource> inner_;
};

// A change, in stream pixels.
struct Fill {
    const char* what;
    int x, y, width, height;
    std::uint32_t rgb;
};

// The stream pixel that the region's bottom right screen pixel shows at 3:2 (a region ending
// at an even column and row): a change there maps to stream pixels x 2/3 = 249.33, which only
// rounding down the start keeps in the region.
const Fill kChanges[] = {
    {"one stream pixel at the region's bottom right corner", 374, 284, 1, 1, 0xFFFFFF},
    {"a box inside", 150, 120, 60, 40, 0xFF0000},
    {"a box across the top edge", 200, 50, 90, 20, 0x00FF00},
    {"a box outside the region", 500, 400, 40, 30, 0x0000FF},
};

}  // namespace

TEST(ScreenCastDamage, FramesShowTheStreamAndOnlyToldChangesAreGrabbed) {
    if (korvex::test::ScreenCastControl().empty()) GTEST_SKIP() << "needs the ScreenCast session";
    const struct {
        DamageMeta damage;
        bool grabsLess;
    } cases[] = {
        {DamageMeta::Sent, true}, {DamageMeta::Absent, false}, {DamageMeta::Unwritten, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.damage));
        korvex::test::DrawnMonitor monitor(kWidth, kHeight, kStreamWidth, kStreamHeight, c.damage);
        std::string why;
        auto portal = korvex::test::OpenPortalScreen(*QCoreApplication::instance(), why);
        ASSERT_TRUE(portal) << why;
        auto counting = std::make_shared<CountingScreen>(portal);

        korvex::test::EngineHost host;
        EngineServices services = host.Services();
        services.Screen = counting;
        TScreenCam cam(services);
        cam.EnumerateCodecs();
        for (int i = 0; i < cam.CodecCount; ++i) {
            // Lossless: frames compare exactly.
            if (cam.Codecs[i].fccHandler == platform::vfw::mmioFOURCC('Z', 'M', 'B', 'V')) {
                cam.Settings.CompressorIndex = i;
            }
        }
        cam.SelectCompressor();
        const long rowsBefore = counting->rows;
        const long grabsBefore = cam.Costs.grabs;
        cam.Settings.MsPerFrame = 67;
        cam.Settings.FramesPerSecond = 15;
        cam.Settings.KeyFrameEvery = 15;
        FixedRegion region(kRect.left, kRect.top, kRect.width, kRect.height);
        const fs::path path =
            fs::temp_directory_path() / ("korvex-wldamage-" + std::to_string(getpid()) + ".avi");
        cam.StartRecording(region, path.string());

        korvex::test::WholeGrabs shown(cam, host, kRect);
        const auto settle = [&](const char* what) { ASSERT_TRUE(shown.After()) << what; };
        settle("start");
        for (const Fill& f : kChanges) {
            ASSERT_TRUE(monitor.Fill(f.x, f.y, f.width, f.height, f.rgb)) << f.what;
            settle(f.what);
        }
        cam.StopRecording();
        ASSERT_TRUE(host.WaitFor([&] { return cam.Thread == nullptr && cam.WorkersFinished(); }));
        ASSERT_TRUE(host.Alerts().empty());
        portal->Detach();

        const auto found = shown.In(path.string());
        EXPECT_EQ(found.decodeErrors, "");
        EXPECT_TRUE(found.notShown.empty())
            << "no frame shows the whole grab after change " << found.notShown.front();
        EXPECT_TRUE(found.endsOnLast);
        EXPECT_NE(shown.Grab(0), shown.Grab(1)) << "the corner pixel shows in the region";

        // Every grab, the recording's first and the whole ones above included, takes the
        // region's rows unless the desktop told what changed.
        const long grabs = cam.Costs.grabs - grabsBefore;
        const long rows = counting->rows - rowsBefore;
        if (c.grabsLess) {
            const long whole = static_cast<long>(shown.Count()) + 1;
            EXPECT_LT(rows - whole * kRect.height, (grabs - whole) * kRect.height / 4)
                << grabs << " grabs";
        } else {
            EXPECT_EQ(rows, grabs * kRect.height);
        }
        fs::remove(path);
    }
}

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
