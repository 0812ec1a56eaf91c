// Recordings made from the screen's damage on two threads: each frame decodes to what a whole
// grab of the screen shows, through a pixel changed at the region's edge, a window moved across
// the region and the pointer moving alone; and under a compressor that is sometimes slow, the
// frames reach the file in order with every position written or counted as dropped.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "engine/Korvex_ScrCam_Unit.h"
#include "harness/engine_host.h"
#include "harness/media_probe.h"
#include "tests/support/virtual_display.h"

using namespace engine;
namespace fs = std::filesystem;
namespace vfw = platform::vfw;
using korvex::test::DecodeErrors;
using korvex::test::Quote;
using korvex::test::RunCommand;
using korvex::test::WarpPointer;

namespace {

constexpr CaptureRect kRect{200, 150, 160, 120};

fs::path TempFile(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("korvex-damage-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir / name;
}

// A flat override-redirect window of one colour (0xRRGGBB on a true-colour screen), moved by
// the test; it goes when the object does.
class Box {
public:
    Box(int x, int y, int width, int height, std::uint32_t rgb)
        : c_(korvex::test::ConnectTo(std::getenv("DISPLAY"))) {
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c_.get())).data;
        window_ = xcb_generate_id(c_.get());
        const std::uint32_t values[] = {rgb, 1};
        xcb_create_window(c_.get(), XCB_COPY_FROM_PARENT, window_, screen->root,
                          static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(c_.get(), window_);
        Sync();
    }
    ~Box() {
        xcb_destroy_window(c_.get(), window_);
        Sync();
    }
    void MoveTo(int x, int y) {
        const std::uint32_t at[] = {static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y)};
        xcb_configure_window(c_.get(), window_, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, at);
        Sync();
    }

private:
    // Returns once the server has done what was asked.
    void Sync() {
        std::free(xcb_get_input_focus_reply(c_.get(), xcb_get_input_focus(c_.get()), nullptr));
    }

    korvex::test::XcbConnection c_;
    xcb_window_t window_ = XCB_NONE;
};

class DamageRecording : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
        WarpPointer(1300, 700);
    }

    // The catalogue entry with that handler becomes the recording's codec.
    void Choose(TScreenCam& cam, vfw::FOURCC handler) {
        cam.EnumerateCodecs();
        for (int i = 0; i < cam.CodecCount; ++i) {
            if (cam.Codecs[i].fccHandler == handler) cam.Settings.CompressorIndex = i;
        }
        cam.SelectCompressor();
        ASSERT_EQ(cam.CompressorFourCC, handler);
        cam.Settings.MsPerFrame = 67;
        cam.Settings.FramesPerSecond = 15;
        cam.Settings.KeyFrameEvery = 15;
    }

    korvex::test::EngineHost host;
};

}  // namespace

TEST_F(DamageRecording, FramesShowWhatAWholeGrabShows) {
    const Box backdrop(kRect.left - 30, kRect.top - 30, kRect.width + 60, kRect.height + 60,
                       0x3060A0);
    TScreenCam cam(host.Services());
    Choose(cam, vfw::mmioFOURCC('Z', 'M', 'B', 'V'));  // lossless: frames compare exactly
    FixedRegion region(kRect.left, kRect.top, kRect.width, kRect.height);
    const fs::path path = TempFile("damage.avi");
    cam.StartRecording(region, path.string());

    korvex::test::WholeGrabs shown(cam, host, kRect);
    const auto settle = [&](const char* what) { ASSERT_TRUE(shown.After()) << what; };
    settle("start");
    {
        const Box corner(kRect.left + kRect.width - 1, kRect.top + kRect.height - 1, 1, 1,
                         0xFFFFFF);
        settle("a pixel at the bottom right corner");
        const Box top(kRect.left + 70, kRect.top, 1, 1, 0xFF0000);
        settle("a pixel on the top edge");
    }
    settle("both pixels gone");
    Box window(kRect.left - 50, kRect.top + 20, 40, 30, 0xE0C040);
    for (int x = kRect.left - 30; x < kRect.left + kRect.width + 20; x += 45) {
        window.MoveTo(x, kRect.top + 20 + (x - kRect.left) / 4);
        settle("the window moved");
    }
    for (const int x : {40, 90, 150}) {
        WarpPointer(kRect.left + x, kRect.top + x / 2);
        settle("the pointer moved");
    }
    cam.StopRecording();
    ASSERT_TRUE(host.WaitFor([&] { return cam.Thread == nullptr && cam.WorkersFinished(); }));
    ASSERT_TRUE(host.Alerts().empty());

    const auto found = shown.In(path.string());
    EXPECT_EQ(found.decodeErrors, "");
    EXPECT_TRUE(found.notShown.empty())
        << "no frame shows the whole grab after change " << found.notShown.front();
    EXPECT_TRUE(found.endsOnLast);
    fs::remove(path);
}

namespace {

// 'MSVC' that takes four frame periods over every third frame: more than the queue can hide.
class SlowCodec final : public vfw::CodecDriver {
public:
    explicit SlowCodec(std::shared_ptr<vfw::CodecDriver> inner) : inner_(std::move(inner)) {}
    vfw::ICINFO Info() const override {
        vfw::ICINFO info = inner_->Info();
        info.fccHandler = kHandler;
        return info;
    }
    std::unique_ptr<vfw::CodecInstance> Open(std::uint32_t mode) override {
        struct Instance final : vfw::CodecInstance {
            std::unique_ptr<vfw::CodecInstance> inner;
            int frames = 0;
            vfw::LRESULT Message(std::uint32_t msg, std::intptr_t p1, std::intptr_t p2) override {
                if (msg == vfw::ICM_COMPRESS && ++frames % 3 == 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(4 * 67));
                }
                return inner->Message(msg, p1, p2);
            }
        };
        auto instance = std::make_unique<Instance>();
        instance->inner = inner_->Open(mode);
        if (!instance->inner) return nullptr;
        return instance;
    }
    static constexpr vfw::FOURCC kHandler = vfw::mmioFOURCC('S', 'L', 'O', 'W');

private:
    std::shared_ptr<vfw::CodecDriver> inner_;
};

}  // namespace

TEST_F(DamageRecording, ASlowCompressorKeepsTheOrderAndTheCount) {
    auto drivers = vfw::InstalledDrivers();
    const auto msvc = std::find_if(drivers.begin(), drivers.end(), [](const auto& d) {
        return d->Info().fccHandler == kDefaultCompressor;
    });
    ASSERT_NE(msvc, drivers.end());
    drivers.insert(drivers.begin(), std::make_shared<SlowCodec>(*msvc));
    const vfw::ScopedDrivers installed(drivers);
    const Box backdrop(kRect.left, kRect.top, kRect.width, kRect.height, 0x808080);
    Box window(kRect.left, kRect.top, 20, 20, 0xFF00FF);

    TScreenCam cam(host.Services());
    cam.CodecCount = 1;
    cam.Codecs[0] = drivers.front()->Info();
    cam.Settings.CompressorIndex = 0;
    cam.Settings.MsPerFrame = 67;
    cam.Settings.FramesPerSecond = 15;
    cam.SelectCompressor();
    FixedRegion region(kRect.left, kRect.top, kRect.width, kRect.height);
    const fs::path path = TempFile("slow.avi");
    cam.StartRecording(region, path.string());
    for (int step = 0; step < 24 && cam.Thread != nullptr; ++step) {
        const int written = cam.FramesWritten;
        window.MoveTo(kRect.left + 5 * step, kRect.top + 3 * step);
        ASSERT_TRUE(host.WaitFor([&] { return cam.FramesWritten > written; }));
    }
    cam.StopRecording();
    ASSERT_TRUE(host.WaitFor([&] { return cam.Thread == nullptr && cam.WorkersFinished(); }));
    ASSERT_TRUE(host.Alerts().empty());
    EXPECT_GT(cam.DroppedFrames, 0) << "the slow frames should have cost positions";

    // The file's frames, by position: ascending, and with every position either written or
    // counted as dropped.
    const auto packets = RunCommand(
        "ffprobe -v error -select_streams v:0 -show_entries packet=pts,size -of csv=p=0 " +
        Quote(path.string()));
    std::istringstream lines(packets.output);
    int written = 0, last = -1;
    for (std::string line; std::getline(lines, line);) {
        const int pts = std::atoi(line.c_str());
        const int size = std::atoi(line.substr(line.find(',') + 1).c_str());
        EXPECT_GT(pts, last);
        last = pts;
        if (size > 0) ++written;
    }
    EXPECT_EQ(written, cam.FramesWritten);
    EXPECT_EQ(cam.FramesWritten + cam.DroppedFrames, last + 1);
    EXPECT_EQ(DecodeErrors(path.string()), "");
    fs::remove(path);
}
