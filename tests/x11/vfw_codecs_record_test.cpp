// Every installed codec chosen from the catalogue and recorded through the real engine on the
// display: ffprobe reads the files as that codec, ffmpeg decodes them without an error and shows
// the pattern that was on the screen, and a region of odd size records at the size the codec
// test aligned it to.
#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
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

using namespace engine;
namespace fs = std::filesystem;
namespace vfw = platform::vfw;
using korvex::test::DecodeErrors;
using korvex::test::DecodeFrameRgb;
using korvex::test::MovingPattern;
using korvex::test::NearRgb;
using korvex::test::ProbeVideo;

namespace {

struct RecordedCodec {
    const char* label;
    vfw::FOURCC handler;
    int position;             // in the catalogue: the fixed enumeration order
    const char* codecName;    // ffprobe's codec_name
    int oddWidth, oddHeight;  // what a 101 x 75 region records at
    int tolerance;            // per channel, for the still quadrants
};

const RecordedCodec kCodecs[] = {
    {"MJPG", vfw::mmioFOURCC('M', 'J', 'P', 'G'), 1, "mjpeg", 102, 76, 12},
    {"ZMBV", vfw::mmioFOURCC('Z', 'M', 'B', 'V'), 2, "zmbv", 101, 75, 0},
    {"H264", vfw::mmioFOURCC('H', '2', '6', '4'), 3, "h264", 102, 76, 12},
    {"XVID", vfw::mmioFOURCC('X', 'V', 'I', 'D'), 4, "mpeg4", 102, 76, 12},
    {"HFYU", vfw::mmioFOURCC('H', 'F', 'Y', 'U'), 5, "huffyuv", 101, 75, 0},
};

using Host = korvex::test::EngineHost;
using korvex::test::WarpPointer;

fs::path TempFile(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("korvex-codecs-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir / name;
}

class CodecRecording : public ::testing::TestWithParam<RecordedCodec> {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
        WarpPointer(1300, 700);
        cam_ = std::make_unique<TScreenCam>(host_.Services());
        cam_->EnumerateCodecs();
        // The codec is chosen by its catalogue position, as the options dialog stores it.
        const RecordedCodec& c = GetParam();
        ASSERT_GT(cam_->CodecCount, c.position);
        ASSERT_EQ(cam_->Codecs[c.position].fccHandler, c.handler);
        cam_->Settings.CompressorIndex = c.position;
        cam_->SelectCompressor();
        ASSERT_EQ(cam_->CompressorFourCC, c.handler);
    }
    void TearDown() override {
        if (cam_) {
            EXPECT_TRUE(host_.WaitFor([&] { return cam_->WorkersFinished(); }));
        }
    }

    // Records until `frames` frames are written, then stops and waits for the worker's end.
    void Record(FixedRegion& region, const fs::path& path, int frames) {
        cam_->StartRecording(region, path.string());
        ASSERT_TRUE(host_.WaitFor(
            [&] { return cam_->FramesWritten >= frames || cam_->Thread == nullptr; }));
        cam_->StopRecording();
        ASSERT_TRUE(host_.WaitFor([&] { return cam_->Thread == nullptr; }));
        EXPECT_TRUE(host_.Alerts().empty());
        EXPECT_EQ(cam_->CompressorFourCC, GetParam().handler);  // no fall-back to the default
    }

    Host host_;
    std::unique_ptr<TScreenCam> cam_;
};

}  // namespace

TEST_P(CodecRecording, TwoSecondsOfAMovingPattern) {
    const RecordedCodec& c = GetParam();
    MovingPattern pattern(100, 100, 320, 240);
    FixedRegion region(100, 100, 320, 240);
    const fs::path path = TempFile(std::string(c.label) + ".avi");
    Record(region, path, 10);
    EXPECT_EQ(cam_->FrameWidth, 320);
    EXPECT_EQ(cam_->FrameHeight, 240);

    auto probe = ProbeVideo(path.string());
    EXPECT_EQ(probe["codec_name"], c.codecName);
    EXPECT_EQ(probe["width"], "320");
    EXPECT_EQ(probe["height"], "240");
    EXPECT_EQ(probe["r_frame_rate"], "5/1");
    EXPECT_GE(std::atoi(probe["nb_read_frames"].c_str()), 10);
    EXPECT_EQ(DecodeErrors(path.string()), "");

    // The still quadrants come back in the decoded frames, and the bar moves.
    for (int index : {1, 5, 9}) {
        const auto rgb = DecodeFrameRgb(path.string(), index);
        ASSERT_EQ(rgb.size(), 320u * 240u * 3u) << index;
        for (auto [x, y] : {std::pair{60, 40}, {260, 40}, {60, 200}, {260, 200}}) {
            const std::uint8_t* px = &rgb[(static_cast<std::size_t>(y) * 320 + x) * 3];
            EXPECT_TRUE(NearRgb(px, MovingPattern::QuadrantColor(x, y, 320, 240), c.tolerance))
                << "frame " << index << " at " << x << "," << y << ": " << int(px[0]) << " "
                << int(px[1]) << " " << int(px[2]);
        }
    }
    EXPECT_NE(DecodeFrameRgb(path.string(), 2), DecodeFrameRgb(path.string(), 7));
    fs::remove(path);
}

TEST_P(CodecRecording, OddRegionRecordsAtTheAlignedSize) {
    const RecordedCodec& c = GetParam();
    FixedRegion region(200, 200, 101, 75);
    const fs::path path = TempFile(std::string(c.label) + "-odd.avi");
    Record(region, path, 3);
    EXPECT_EQ(cam_->FrameWidth, c.oddWidth);
    EXPECT_EQ(cam_->FrameHeight, c.oddHeight);
    auto probe = ProbeVideo(path.string());
    EXPECT_EQ(probe["codec_name"], c.codecName);
    EXPECT_EQ(probe["width"], std::to_string(c.oddWidth));
    EXPECT_EQ(probe["height"], std::to_string(c.oddHeight));
    EXPECT_EQ(DecodeErrors(path.string()), "");
    fs::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CodecRecording, ::testing::ValuesIn(kCodecs),
                         [](const auto& info) { return std::string(info.param.label); });
