// The recording engine on a real display: frames with the cursor drawn in, AVI files that
// ffprobe and ffmpeg read, the codec test with its alignment and fall-backs, and the failures.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/Korvex_ScrCam_Unit.h"
#include "harness/engine_host.h"
#include "harness/media_probe.h"
#include "harness/moving_pattern.h"
#include "platform/msgbox/msgbox.h"
#include "platform/vfw/vfw.h"
#include "tests/support/virtual_display.h"

using namespace engine;
namespace fs = std::filesystem;
namespace vfw = platform::vfw;
namespace mb = platform::msgbox;
using korvex::test::DecodeErrors;
using korvex::test::DecodeFrameRgb;
using korvex::test::MovingPattern;
using korvex::test::NearRgb;
using korvex::test::ProbeVideo;

namespace {

using Host = korvex::test::EngineHost;
using korvex::test::WarpPointer;

fs::path TempFile(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("korvex-engine-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir / name;
}

// Records until the engine has written `frames` frames, then stops and waits for the end.
void RecordFrames(Host& host, TScreenCam& cam, RecordingRegion& region, const fs::path& path,
                  int frames) {
    cam.StartRecording(region, path.string());
    ASSERT_TRUE(host.WaitFor([&] { return cam.FramesWritten >= frames || cam.Thread == nullptr; }));
    cam.StopRecording();
    ASSERT_TRUE(host.WaitFor([&] { return cam.Thread == nullptr && cam.WorkersFinished(); }));
}

// A codec of the test's own: refuses every frame, or takes them and fails when asked to begin.
class TestCodec final : public vfw::CodecDriver {
public:
    enum class Behaviour { RefuseAll, FailOnBegin };
    TestCodec(vfw::FOURCC handler, Behaviour behaviour)
        : handler_(handler), behaviour_(behaviour) {}
    vfw::ICINFO Info() const override {
        vfw::ICINFO info{};
        info.dwSize = sizeof info;
        info.fccType = vfw::ICTYPE_VIDEO;
        info.fccHandler = handler_;
        return info;
    }
    std::unique_ptr<vfw::CodecInstance> Open(std::uint32_t) override {
        struct Instance final : vfw::CodecInstance {
            TestCodec* codec;
            explicit Instance(TestCodec* c) : codec(c) {}
            vfw::LRESULT Message(std::uint32_t msg, std::intptr_t p1, std::intptr_t p2) override {
                if (msg == vfw::ICM_GETINFO) {
                    const vfw::ICINFO info = codec->Info();
                    std::memcpy(reinterpret_cast<void*>(p1), &info,
                                std::min<std::size_t>(p2, sizeof info));
                    return static_cast<vfw::LRESULT>(std::min<std::size_t>(p2, sizeof info));
                }
                if (msg == vfw::ICM_COMPRESS_QUERY) {
                    return codec->behaviour_ == Behaviour::RefuseAll ? vfw::ICERR_BADFORMAT
                                                                     : vfw::ICERR_OK;
                }
                return vfw::ICERR_UNSUPPORTED;
            }
        };
        return std::make_unique<Instance>(this);
    }

private:
    vfw::FOURCC handler_;
    Behaviour behaviour_;
};

// The installed codecs with one of the test's in front, chosen as the catalogue's entry 0.
struct ChosenTestCodec {
    ChosenTestCodec(TScreenCam& cam, TestCodec::Behaviour behaviour)
        : codec(std::make_shared<TestCodec>(vfw::mmioFOURCC('T', 'E', 'S', 'T'), behaviour)),
          drivers(WithCodec(codec)) {
        cam.CodecCount = 1;
        cam.Codecs[0] = codec->Info();
        cam.Settings.CompressorIndex = 0;
        cam.SelectCompressor();
    }
    static std::vector<std::shared_ptr<vfw::CodecDriver>> WithCodec(std::shared_ptr<TestCodec> c) {
        auto list = vfw::InstalledDrivers();
        list.insert(list.begin(), std::move(c));
        return list;
    }
    std::shared_ptr<TestCodec> codec;
    vfw::ScopedDrivers drivers;
};

class EngineRecording : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
        WarpPointer(1300, 20);
    }
    Host host;
};

}  // namespace

TEST_F(EngineRecording, ThreeSecondsOfAMovingPatternAsMicrosoftVideo1) {
    MovingPattern pattern(100, 100, 320, 240);
    TScreenCam cam(host.Services());
    ASSERT_EQ(cam.CompressorFourCC, kDefaultCompressor);
    FixedRegion region(100, 100, 320, 240);
    const fs::path path = TempFile("moving.avi");
    RecordFrames(host, cam, region, path, 15);
    EXPECT_TRUE(host.Alerts().empty());
    EXPECT_EQ(cam.FrameWidth, 320);
    EXPECT_EQ(cam.FrameHeight, 240);

    auto probe = ProbeVideo(path.string());
    EXPECT_EQ(probe["codec_name"], "msvideo1");
    EXPECT_EQ(probe["width"], "320");
    EXPECT_EQ(probe["height"], "240");
    EXPECT_EQ(probe["r_frame_rate"], "5/1");
    const int positions = cam.FrameIndex + 1;
    EXPECT_NEAR(std::atoi(probe["nb_read_frames"].c_str()), positions, 1);
    EXPECT_GE(cam.FramesWritten, 15);
    EXPECT_EQ(DecodeErrors(path.string()), "");

    // The still quadrants come back in the decoded frames (Microsoft Video 1 keeps 5 bits of
    // each channel and averages blocks, hence the tolerance).
    for (int index : {1, 7, 13}) {
        const auto rgb = DecodeFrameRgb(path.string(), index);
        ASSERT_EQ(rgb.size(), 320u * 240u * 3u) << index;
        for (auto [x, y] : {std::pair{60, 40}, {260, 40}, {60, 200}, {260, 200}}) {
            const std::uint8_t* px = &rgb[(static_cast<std::size_t>(y) * 320 + x) * 3];
            EXPECT_TRUE(NearRgb(px, MovingPattern::QuadrantColor(x, y, 320, 240), 24))
                << "frame " << index << " at " << x << "," << y << ": " << int(px[0]) << " "
                << int(px[1]) << " " << int(px[2]);
        }
    }
    // The bar moves: two frames a second apart differ in the middle band.
    EXPECT_NE(DecodeFrameRgb(path.string(), 2), DecodeFrameRgb(path.string(), 7));
    fs::remove(path);
}

TEST_F(EngineRecording, CursorImageDrawnBesideThePointer) {
    TScreenCam cam(host.Services());
    auto screen = platform::screen::Screen::Open();
    ASSERT_TRUE(screen);
    WarpPointer(1300, 700);
    PFrame without = cam.GrabFrame(100, 100, 640, 480);
    WarpPointer(500, 400);
    const auto hot = screen->CursorHotSpot().value_or(platform::screen::Point{});
    PFrame with = cam.GrabFrame(100, 100, 640, 480);
    ASSERT_TRUE(without && with);
    // The changed pixels are the cursor image: it starts at the pointer's image corner plus 10.
    const int bytes = cam.BitsPerPixel / 8;
    int minX = 1 << 30, minY = 1 << 30, maxX = -1, maxY = -1;
    for (int y = 0; y < 480; ++y) {
        const std::size_t row = static_cast<std::size_t>(479 - y) * with->Stride();
        for (int x = 0; x < 640; ++x) {
            if (std::memcmp(&with->Pixels()[row + x * bytes], &without->Pixels()[row + x * bytes],
                            bytes) != 0) {
                minX = std::min(minX, x), minY = std::min(minY, y);
                maxX = std::max(maxX, x), maxY = std::max(maxY, y);
            }
        }
    }
    EXPECT_EQ(minX, 410 - hot.x);
    EXPECT_EQ(minY, 310 - hot.y);
    EXPECT_LT(maxX, 410 - hot.x + 32);
    EXPECT_LT(maxY, 310 - hot.y + 32);
}

TEST_F(EngineRecording, DefaultCodecSizeIsAligned) {
    TScreenCam cam(host.Services());
    FixedRegion region(200, 200, 101, 75);
    const fs::path path = TempFile("aligned.avi");
    RecordFrames(host, cam, region, path, 3);
    EXPECT_EQ(cam.FrameWidth, 104);
    EXPECT_EQ(cam.FrameHeight, 76);
    auto probe = ProbeVideo(path.string());
    EXPECT_EQ(probe["width"], "104");
    EXPECT_EQ(probe["height"], "76");
    EXPECT_EQ(DecodeErrors(path.string()), "");
    fs::remove(path);
}

TEST_F(EngineRecording, RegionPartlyOffTheScreen) {
    MovingPattern pattern(1166, 568, 200, 200);
    TScreenCam cam(host.Services());
    FixedRegion region(1266, 668, 200, 152);
    const fs::path path = TempFile("offscreen.avi");
    RecordFrames(host, cam, region, path, 3);
    EXPECT_TRUE(host.Alerts().empty());
    auto probe = ProbeVideo(path.string());
    EXPECT_EQ(probe["width"], "200");
    EXPECT_EQ(probe["height"], "152");
    const auto rgb = DecodeFrameRgb(path.string(), 1);
    ASSERT_EQ(rgb.size(), 200u * 152u * 3u);
    // On screen: the pattern's bottom-right quadrant; off screen: black.
    EXPECT_TRUE(
        NearRgb(&rgb[(20 * 200 + 20) * 3], MovingPattern::QuadrantColor(150, 150, 200, 200), 24));
    EXPECT_TRUE(NearRgb(&rgb[(140 * 200 + 190) * 3], 0x000000, 8));
    fs::remove(path);
}

TEST_F(EngineRecording, RefusingCodecFallsBackToTheDefault) {
    TScreenCam cam(host.Services());
    ChosenTestCodec chosen(cam, TestCodec::Behaviour::RefuseAll);
    EXPECT_EQ(cam.CompressorFourCC, vfw::mmioFOURCC('T', 'E', 'S', 'T'));
    FixedRegion region(10, 10, 160, 120);
    const fs::path path = TempFile("fallback.avi");
    RecordFrames(host, cam, region, path, 3);
    EXPECT_TRUE(host.Alerts().empty());
    EXPECT_EQ(cam.CompressorFourCC, kDefaultCompressor);
    EXPECT_EQ(ProbeVideo(path.string())["codec_name"], "msvideo1");
    fs::remove(path);
}

TEST_F(EngineRecording, FailingCodecOffersTheDefaultAndRecordsAgain) {
    TScreenCam cam(host.Services());
    ChosenTestCodec chosen(cam, TestCodec::Behaviour::FailOnBegin);
    host.Answer(mb::IDYES);
    FixedRegion region(10, 10, 160, 120);
    const fs::path path = TempFile("again.avi");
    RecordFrames(host, cam, region, path, 3);
    const auto alerts = host.Alerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].caption, "Notice");
    EXPECT_EQ(alerts[0].text,
              "Error recording AVI file using current compressor. Use default compressor? ");
    EXPECT_EQ(alerts[0].style, mb::MB_YESNO | mb::MB_ICONWARNING);
    EXPECT_EQ(cam.CompressorFourCC, kDefaultCompressor);
    EXPECT_EQ(ProbeVideo(path.string())["codec_name"], "msvideo1");
    fs::remove(path);
}

TEST_F(EngineRecording, FailingCodecAnsweredNoEndsTheWorker) {
    TScreenCam cam(host.Services());
    ChosenTestCodec chosen(cam, TestCodec::Behaviour::FailOnBegin);
    host.Answer(mb::IDNO);
    FixedRegion region(10, 10, 160, 120);
    cam.StartRecording(region, TempFile("no.avi").string());
    ASSERT_TRUE(host.WaitFor([&] { return cam.Thread == nullptr; }));
    EXPECT_FALSE(cam.Recording);
    EXPECT_EQ(host.Alerts().size(), 1u);
}

TEST_F(EngineRecording, UnwritableFolderReportsAndReturnsFailure) {
    TScreenCam cam(host.Services());
    FixedRegion region(10, 10, 160, 120);
    int errors = 0;
    cam.OnError = [&](TScreenCam&) { ++errors; };
    cam.Recording = true;
    EXPECT_EQ(cam.RecordAVI(region, "/nonexistent-folder/sub/x.avi"),
              engine::RecordOutcome::Failed);
    const auto alerts = host.Alerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].caption, "Error");
    EXPECT_EQ(alerts[0].text, "Error Creating AVI file");
    EXPECT_EQ(alerts[0].style, mb::MB_ICONWARNING);
    EXPECT_EQ(errors, 1);
    EXPECT_FALSE(fs::exists("/nonexistent-folder/sub/x.avi"));
}

TEST_F(EngineRecording, FullDiskEndsTheRecordingWithAPlayableFile) {
    const fs::path mountPoint = TempFile("small-disk");
    fs::create_directories(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    }
    MovingPattern pattern(0, 0, 640, 480);
    {
        TScreenCam cam(host.Services());
        cam.Settings.MsPerFrame = 67;
        cam.Settings.FramesPerSecond = 15;
        FixedRegion region(0, 0, 640, 480);
        const fs::path path = mountPoint / "full.avi";
        cam.StartRecording(region, path.string());
        ASSERT_TRUE(host.WaitFor([&] { return cam.Thread == nullptr; }, 60000));
        const auto alerts = host.Alerts();
        ASSERT_EQ(alerts.size(), 1u);
        EXPECT_EQ(alerts[0].text, "Error Creating AVI file");
        auto probe = ProbeVideo(path.string());
        EXPECT_EQ(probe["codec_name"], "msvideo1");
        EXPECT_GT(std::atoi(probe["nb_read_frames"].c_str()), 0);
        EXPECT_EQ(DecodeErrors(path.string()), "");
    }
    ::umount(mountPoint.c_str());
}

TEST_F(EngineRecording, OlderWorkerEndingLeavesTheNewRecordingRunning) {
    TScreenCam cam(host.Services());
    FixedRegion region(10, 10, 160, 120);
    cam.StartRecording(region, TempFile("first.avi").string());
    TRecordAVIThread* first = cam.Thread;
    cam.StopRecording();
    cam.StartRecording(region, TempFile("second.avi").string());
    TRecordAVIThread* second = cam.Thread;
    ASSERT_NE(first, second);
    ASSERT_TRUE(host.WaitFor([&] { return cam.FramesWritten >= 2; }));
    // By now the first worker has ended and its completion has been served.
    EXPECT_TRUE(cam.Recording);
    EXPECT_EQ(cam.Thread, second);
    cam.StopRecording();
    ASSERT_TRUE(host.WaitFor([&] { return cam.Thread == nullptr; }));
    EXPECT_EQ(ProbeVideo(TempFile("second.avi").string())["codec_name"], "msvideo1");
}

TEST(EngineRecordingDepths, RecordsAt16And8BitsPerPixel) {
    for (int depth : {16, 8}) {
        korvex::test::VirtualDisplay display({640, 480, depth, {}});
        MovingPattern pattern(0, 0, 320, 240);
        Host host;
        TScreenCam cam(host.Services());
        EXPECT_EQ(cam.BitsPerPixel, depth);
        FixedRegion region(0, 0, 320, 240);
        const fs::path path = TempFile("depth" + std::to_string(depth) + ".avi");
        RecordFrames(host, cam, region, path, 3);
        EXPECT_TRUE(host.Alerts().empty()) << depth;
        auto probe = ProbeVideo(path.string());
        EXPECT_EQ(probe["codec_name"], "msvideo1") << depth;
        EXPECT_EQ(DecodeErrors(path.string()), "") << depth;
        const auto rgb = DecodeFrameRgb(path.string(), 1);
        ASSERT_EQ(rgb.size(), 320u * 240u * 3u);
        EXPECT_TRUE(
            NearRgb(&rgb[(40 * 320 + 60) * 3], MovingPattern::QuadrantColor(60, 40, 320, 240), 40))
            << depth;
        fs::remove(path);
    }
}
