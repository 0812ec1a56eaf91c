// A file written past 1 GiB for real: it goes on in an OpenDML part that players read in full.
#include <gtest/gtest.h>

#include <array>

#include "tests/unit/avifile_test_support.h"

namespace avitest {
namespace {

TEST(AviLargeFileTest, PastOneGibibyteEveryFrameIsRead) {
    const vfw::ScopedDrivers drivers({PassThroughDriver({})});
    const TempDir dir;
    const auto path = dir / "large.avi";
    // 1024 x 1024 at 32 bits: 4 MiB a frame, so 270 frames take about 1.1 GiB.
    constexpr int kFrames = 270;
    const std::array<Frame, 3> frames = {MakeFrame(1024, 1024, 32, 0), MakeFrame(1024, 1024, 32, 1),
                                         MakeFrame(1024, 1024, 32, 2)};
    {
        AviRecording recording(path, frames[0], 15,
                               CompressOptions(vfw::mmioFOURCC('K', 'R', 'A', 'W'), 15));
        ASSERT_EQ(recording.setupResult, avi::AVIERR_OK);
        for (int i = 0; i < kFrames; ++i) {
            ASSERT_EQ(recording.Write(i, frames[i % 3]), avi::AVIERR_OK) << "frame " << i;
        }
    }
    EXPECT_GT(std::filesystem::file_size(path), 1ull << 30);
    const auto chunks = ReadChunks(FileBytes(path));
    ASSERT_TRUE(chunks);
    ASSERT_EQ(chunks->size(), 2u);
    EXPECT_EQ((*chunks)[0].type, "AVI ");
    EXPECT_LE((*chunks)[0].size + 8ull, 1ull << 30);
    EXPECT_EQ((*chunks)[1].type, "AVIX");

    const auto probe = ProbeVideo(path);
    EXPECT_EQ(probe.count("errors"), 0u) << probe.at("errors");
    EXPECT_EQ(probe.at("nb_frames"), std::to_string(kFrames));
    EXPECT_EQ(probe.at("nb_read_frames"), std::to_string(kFrames));
    const ToolResult last =
        RunTool({"ffmpeg", "-v", "error", "-nostdin", "-i", path.string(), "-vf",
                 "select=eq(n\\," + std::to_string(kFrames - 1) + ")", "-vsync", "passthrough",
                 "-f", "rawvideo", "-pix_fmt", "bgr24", "-"});
    EXPECT_EQ(last.err, "");
    EXPECT_TRUE(last.out == TopDownBgr(frames[(kFrames - 1) % 3])) << "last frame differs";
}

}  // namespace
}  // namespace avitest
