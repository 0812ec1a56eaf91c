// Narration through the real sound server (pipewire with its pulse server, a null sink whose
// monitor is the default input): a flash and a click made together land within one frame period
// of each other, the input's channels are kept, a server that goes away loses no pictures, and
// without the setting the file is today's.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "engine/Korvex_ScrCam_Unit.h"
#include "harness/engine_host.h"
#include "harness/media_probe.h"
#include "harness/sound_server.h"
#include "harness/sound_sync.h"
#include "platform/sound/sound.h"
#include "settings/FrameRate.h"

using namespace engine;
namespace fs = std::filesystem;
using korvex::test::EngineHost;
using korvex::test::FlashWindow;
using korvex::test::ProbeSound;
using korvex::test::ProbeVideo;
using korvex::test::SoundPlayer;
using korvex::test::SoundServer;

namespace {

constexpr int kLeft = 100, kTop = 100, kWidth = 160, kHeight = 120;

fs::path TempFile(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("korvex-sound-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir / name;
}

class SoundRecording : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = std::make_unique<SoundServer>(); }
    static void TearDownTestSuite() { server_.reset(); }
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
        korvex::test::WarpPointer(1300, 700);
        NewCam();
    }
    // An engine that records the microphone and tells the test of sound trouble.
    void NewCam() {
        EngineServices services = host_.Services();
        services.TellSoundTrouble = [this](SoundTrouble trouble) {
            const std::lock_guard lock(mutex_);
            troubles_.push_back(trouble);
        };
        cam_ = std::make_unique<TScreenCam>(std::move(services));
        cam_->Settings.RecordMicrophone = true;
    }
    void Start(const fs::path& path, int msPerFrame) {
        cam_->Settings.MsPerFrame = msPerFrame;
        cam_->Settings.FramesPerSecond = app::settings::FramesPerSecondFor(msPerFrame);
        cam_->StartRecording(region_, path.string());
    }
    // Serves the worker until it has written frames frames in all.
    void WaitForFrames(int frames) {
        ASSERT_TRUE(host_.WaitFor([&] { return cam_->FramesWritten >= frames; }));
    }
    void Stop() {
        cam_->StopRecording();
        ASSERT_TRUE(
            host_.WaitFor([&] { return cam_->Thread == nullptr && cam_->WorkersFinished(); }));
    }
    std::vector<SoundTrouble> Troubles() {
        const std::lock_guard lock(mutex_);
        return troubles_;
    }

    static std::unique_ptr<SoundServer> server_;
    EngineHost host_;
    FixedRegion region_{kLeft, kTop, kWidth, kHeight};
    std::unique_ptr<TScreenCam> cam_;
    std::mutex mutex_;
    std::vector<SoundTrouble> troubles_;
};

std::unique_ptr<SoundServer> SoundRecording::server_;

TEST_F(SoundRecording, FlashAndClickMadeTogetherLandWithinOneFrame) {
    SoundPlayer player;
    FlashWindow window(kLeft, kTop, kWidth, kHeight);
    const fs::path path = TempFile("sync.avi");
    Start(path, 67);
    // Each flash comes half a period after a frame's position, so that the next frame is the
    // first to show it, a third of a second ahead; the staging's own delay is taken off.
    std::vector<double> staged;
    for (int event = 0; event < 3; ++event) {
        const int position = 15 + event * 15;
        WaitForFrames(position - 5);
        const auto when = korvex::test::PositionTime(cam_->StartTick, position, 67,
                                                     std::chrono::milliseconds(33));
        staged.push_back(korvex::test::FlashAndClick(player, window, when));
        WaitForFrames(position + 5);
        window.Show(false);
    }
    WaitForFrames(55);
    Stop();
    ASSERT_TRUE(Troubles().empty());

    auto video = ProbeVideo(path.string());
    auto sound = ProbeSound(path.string());
    EXPECT_EQ(video["r_frame_rate"], "1000/67");
    EXPECT_EQ(sound["channels"], "2");
    EXPECT_NEAR(std::stod(sound["nb_frames"]) / 48000, std::stod(video["duration"]), 0.067);
    const korvex::test::SyncMarks marks =
        korvex::test::FindSyncMarks(path.string(), 67, kWidth, kHeight);
    ASSERT_EQ(marks.flashes.size(), 3u);
    ASSERT_EQ(marks.clicks.size(), 3u);
    // On a busy machine the X server or the sound server may put one staged event late by
    // more than a frame; a fault of the recorder shifts them all. So the middle offset must be
    // within a frame, and none beyond two.
    std::vector<double> offsets;
    for (std::size_t e = 0; e < 3; ++e) {
        const double offset = marks.flashes[e] - marks.clicks[e] - staged[e];
        std::printf(
            "event %zu: picture at %.3f s, sound at %.3f s, staged %+.0f ms, "
            "offset %+.0f ms\n",
            e, marks.flashes[e], marks.clicks[e], staged[e] * 1000, offset * 1000);
        EXPECT_LE(std::abs(offset), 2 * 0.067) << "event " << e;
        offsets.push_back(std::abs(offset));
    }
    std::sort(offsets.begin(), offsets.end());
    EXPECT_LE(offsets[1], 0.067);
    fs::remove(path);
}

TEST_F(SoundRecording, CaptureTakesTheInputsChannelCount) {
    platform::sound::OpenError error{};
    auto stereo = platform::sound::Capture::Open(&error);
    ASSERT_TRUE(stereo);
    EXPECT_EQ(stereo->Channels(), 2);
    server_->UseNewSink("korvex_mono", 1);
    auto mono = platform::sound::Capture::Open(&error);
    server_->UseSink("korvex_narration");
    ASSERT_TRUE(mono);
    EXPECT_EQ(mono->Channels(), 1);
    // Samples come, and are counted from the first one's moment.
    std::vector<std::byte> taken;
    ASSERT_TRUE(host_.WaitFor([&] {
        mono->Take(taken, 1 << 20);
        return taken.size() >= 4800 * 2;
    }));
    EXPECT_TRUE(mono->FirstSampleTime());
    EXPECT_FALSE(mono->Broken());
}

// A server that goes away during the recording: the user is told, the pictures go on, and the
// sound is silent from there to the end of the pictures.
TEST_F(SoundRecording, InputLostMidwayIsToldAndTheSoundKeepsItsLength) {
    SoundServer leaving;
    NewCam();
    const fs::path path = TempFile("lost.avi");
    Start(path, 67);
    WaitForFrames(15);
    leaving.Stop();
    ASSERT_TRUE(host_.WaitFor([&] { return !Troubles().empty(); }));
    const int frames = cam_->FramesWritten;
    WaitForFrames(frames + 15);
    Stop();
    EXPECT_EQ(Troubles(), std::vector<SoundTrouble>{SoundTrouble::inputLost});
    auto video = ProbeVideo(path.string());
    auto sound = ProbeSound(path.string());
    EXPECT_NEAR(std::stod(sound["nb_frames"]) / 48000, std::stod(video["duration"]), 0.067);
    EXPECT_EQ(korvex::test::DecodeErrors(path.string()), "");
    fs::remove(path);
}

// Without the setting a running server changes nothing: no sound stream, the frame rate of
// today. (Without a server, the program's end-to-end test shows the message.)
TEST_F(SoundRecording, WithoutTheSettingTheFileIsTodays) {
    cam_->Settings.RecordMicrophone = false;
    const fs::path path = TempFile("silent.avi");
    Start(path, 67);
    WaitForFrames(5);
    Stop();
    EXPECT_TRUE(Troubles().empty());
    EXPECT_TRUE(ProbeSound(path.string()).empty());
    auto video = ProbeVideo(path.string());
    EXPECT_EQ(video["r_frame_rate"], "15/1");
    EXPECT_GE(std::atoi(video["nb_read_frames"].c_str()), 5);
    fs::remove(path);
}

}  // namespace
