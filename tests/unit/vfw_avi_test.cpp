// Each codec's frames written into AVI files by the AVI writer, at every DIB depth, and read back
// by programs we did not write: ffprobe names the codec and finds the key frames, ffmpeg decodes
// every frame without a complaint and shows the pictures that went in.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "harness/media_probe.h"
#include "platform/avifile/avifile.h"
#include "tests/unit/vfw_test_decoder.h"
#include "tests/unit/vfw_test_support.h"

namespace avi = platform::avifile;
namespace fs = std::filesystem;
using namespace vfwtest;
using korvex::test::DecodeErrors;
using korvex::test::DecodeFrameRgb;
using korvex::test::ProbeVideo;
using korvex::test::Quote;
using korvex::test::RunCommand;

namespace {

struct AviCase {
    const char* label;
    FOURCC handler;
    const char* codecName;  // ffprobe's codec_name
    bool lossless;
    bool intraOnly;
    double meanSteps;  // largest mean error of ffmpeg's picture, in 8-bit levels
};

const AviCase kCases[] = {
    {"MJPG", mmioFOURCC('M', 'J', 'P', 'G'), "mjpeg", false, true, 3},
    {"ZMBV", mmioFOURCC('Z', 'M', 'B', 'V'), "zmbv", true, false, 0},
    {"H264", mmioFOURCC('H', '2', '6', '4'), "h264", false, false, 3},
    {"XVID", mmioFOURCC('X', 'V', 'I', 'D'), "mpeg4", false, false, 3},
    {"HFYU", mmioFOURCC('H', 'F', 'Y', 'U'), "huffyuv", true, true, 0},
};

constexpr int kWidth = 96, kHeight = 64, kFrames = 10, kKeyEvery = 4;

fs::path TempFile(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / ("korvex-vfw-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir / name;
}

// Records kFrames frames of the scene through the codec as the recorder does; true when every
// AVIFile call succeeded.
bool Record(const fs::path& path, FOURCC handler, int depth) {
    const Frame first = SceneFrame(kWidth, kHeight, depth, 0);
    avi::PAVIFILE file = nullptr;
    avi::PAVISTREAM stream = nullptr, compressed = nullptr;
    bool ok = avi::AVIFileOpen(&file, path.c_str(), avi::OF_CREATE | avi::OF_WRITE, nullptr) ==
              avi::AVIERR_OK;
    avi::AVISTREAMINFO info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 5;
    info.dwSuggestedBufferSize = first.header()->biSizeImage;
    info.rcFrame = {0, 0, kWidth, kHeight};
    ok = ok && avi::AVIFileCreateStream(file, &stream, &info) == avi::AVIERR_OK;
    avi::AVICOMPRESSOPTIONS options{};
    options.fccType = streamtypeVIDEO;
    options.fccHandler = handler;
    options.dwKeyFrameEvery = kKeyEvery;
    options.dwQuality = 7500;
    options.dwFlags = avi::AVICOMPRESSF_KEYFRAMES | avi::AVICOMPRESSF_VALID;
    ok = ok &&
         avi::AVIMakeCompressedStream(&compressed, stream, &options, nullptr) == avi::AVIERR_OK;
    const auto formatSize =
        static_cast<std::int32_t>(sizeof(BITMAPINFOHEADER) + 4 * first.header()->biClrUsed);
    ok = ok && avi::AVIStreamSetFormat(compressed, 0, &first.info, formatSize) == avi::AVIERR_OK;
    for (int i = 0; ok && i < kFrames; ++i) {
        const Frame frame = SceneFrame(kWidth, kHeight, depth, i);
        ok = avi::AVIStreamWrite(compressed, i, 1, frame.pixels.data(),
                                 static_cast<std::int32_t>(frame.pixels.size()), 0, nullptr,
                                 nullptr) == avi::AVIERR_OK;
    }
    avi::AVICOMPRESSOPTIONS* list[1] = {&options};
    avi::AVISaveOptionsFree(1, list);
    avi::AVIFileRelease(file);
    avi::AVIStreamRelease(stream);
    avi::AVIStreamRelease(compressed);
    return ok;
}

// The frames ffprobe reads as key frames, in order.
std::vector<int> KeyPackets(const fs::path& path) {
    const auto r = RunCommand(
        "ffprobe -v error -select_streams v:0 -show_entries packet=flags "
        "-of csv=p=0 " +
        Quote(path.string()));
    std::vector<int> keys;
    std::istringstream lines(r.output);
    std::string line;
    for (int i = 0; std::getline(lines, line); ++i) {
        if (line.find('K') != std::string::npos) keys.push_back(i);
    }
    return keys;
}

std::vector<Rgb> AsPicture(const std::vector<std::uint8_t>& rgb) {
    std::vector<Rgb> picture;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3)
        picture.push_back({rgb[i], rgb[i + 1], rgb[i + 2]});
    return picture;
}

class CodecInAvi : public ::testing::TestWithParam<std::tuple<AviCase, int>> {};

}  // namespace

TEST_P(CodecInAvi, PlayersReadTheCodecAndItsPictures) {
    const auto& [c, depth] = GetParam();
    const fs::path path = TempFile(std::string(c.label) + std::to_string(depth) + ".avi");
    ASSERT_TRUE(Record(path, c.handler, depth));

    auto probe = ProbeVideo(path.string());
    EXPECT_EQ(probe["codec_name"], c.codecName);
    EXPECT_EQ(probe["width"], std::to_string(kWidth));
    EXPECT_EQ(probe["height"], std::to_string(kHeight));
    EXPECT_EQ(probe["r_frame_rate"], "5/1");
    EXPECT_EQ(probe["nb_read_frames"], std::to_string(kFrames));
    EXPECT_EQ(DecodeErrors(path.string()), "");

    const std::vector<int> everyFrame = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    const std::vector<int> everyFourth = {0, 4, 8};
    EXPECT_EQ(KeyPackets(path), c.intraOnly ? everyFrame : everyFourth);

    // ffmpeg's own conversion to RGB widens 5-bit channels by shifting, so compare the 5 bits a
    // 16-bit DIB holds.
    for (int index : {0, 5, 9}) {
        const auto picture = AsPicture(DecodeFrameRgb(path.string(), index));
        const Difference d = Compare(SceneFrame(kWidth, kHeight, depth, index).picture, picture,
                                     depth == 16 ? 5 : 8, 24);
        if (c.lossless) {
            EXPECT_EQ(d.mean, 0) << "frame " << index;
        } else {
            EXPECT_LT(d.mean, c.meanSteps) << "frame " << index;
            EXPECT_LT(d.far, 0.02) << "frame " << index;
        }
    }
    fs::remove(path);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CodecInAvi,
                         ::testing::Combine(::testing::ValuesIn(kCases),
                                            ::testing::Values(8, 16, 24, 32)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).label) + "_" +
                                    std::to_string(std::get<1>(info.param)) + "bpp";
                         });
