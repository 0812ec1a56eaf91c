// What players make of the files we write: ffprobe and ffmpeg read them as child processes.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "tests/unit/avifile_test_support.h"

namespace avitest {
namespace {

constexpr vfw::FOURCC kRaw = vfw::mmioFOURCC('K', 'R', 'A', 'W');

class AviPlayersTest : public ::testing::Test {
protected:
    vfw::ScopedDrivers drivers_{{PassThroughDriver({.keyFrames = KeyFrames::whenAsked})}};
    TempDir dir_;
};

TEST_F(AviPlayersTest, FfmpegDecodesThePixelsWritten) {
    for (const int bits : {32, 24, 8}) {
        SCOPED_TRACE(::testing::Message() << bits << " bits");
        const auto path = dir_ / ("pixels" + std::to_string(bits) + ".avi");
        std::string expected;
        {
            AviRecording recording(path, MakeFrame(37, 21, bits, 0), 5, CompressOptions(kRaw, 2));
            ASSERT_EQ(recording.setupResult, avi::AVIERR_OK);
            for (int i = 0; i < 4; ++i) {
                const Frame frame = MakeFrame(37, 21, bits, i);
                ASSERT_EQ(recording.Write(i, frame), 0);
                expected += TopDownBgr(frame);
            }
        }
        const auto probe = ProbeVideo(path);
        EXPECT_EQ(probe.count("errors"), 0u) << probe.at("errors");
        EXPECT_EQ(probe.at("codec_name"), "rawvideo");
        EXPECT_EQ(probe.at("width"), "37");
        EXPECT_EQ(probe.at("height"), "21");
        EXPECT_EQ(probe.at("r_frame_rate"), "5/1");
        EXPECT_EQ(probe.at("nb_read_frames"), "4");
        const ToolResult decoded = DecodeRaw(path, "bgr24");
        EXPECT_EQ(decoded.exitCode, 0);
        EXPECT_EQ(decoded.err, "");
        EXPECT_TRUE(decoded.out == expected) << "decoded pixels differ from those written";
    }
}

TEST_F(AviPlayersTest, SkippedPositionsKeepTheTimeline) {
    const auto path = dir_ / "gaps.avi";
    std::string expected;
    {
        AviRecording recording(path, MakeFrame(16, 8, 32, 0), 5, CompressOptions(kRaw, 5));
        for (const int position : {0, 1, 5, 6, 10}) {
            const Frame frame = MakeFrame(16, 8, 32, position);
            ASSERT_EQ(recording.Write(position, frame), 0);
            expected += TopDownBgr(frame);
        }
    }
    const auto probe = ProbeVideo(path);
    EXPECT_EQ(probe.count("errors"), 0u) << probe.at("errors");
    EXPECT_EQ(probe.at("nb_frames"), "11");
    EXPECT_EQ(probe.at("duration"), "2.200000");
    EXPECT_EQ(probe.at("nb_read_frames"), "5");
    EXPECT_EQ(PacketTimes(path), (std::vector<std::string>{"0", "1", "5", "6", "10"}));
    const ToolResult decoded = DecodeRaw(path, "bgr24");
    EXPECT_EQ(decoded.err, "");
    EXPECT_TRUE(decoded.out == expected) << "decoded pixels differ from those written";
}

TEST_F(AviPlayersTest, SplitFileIsReadInFull) {
    const auto path = dir_ / "split.avi";
    std::string expected;
    {
        AviRecording recording(path, MakeFrame(64, 64, 32, 0), 15, CompressOptions(kRaw, 15),
                               64 * 1024);
        for (int i = 0; i < 40; ++i) {
            const Frame frame = MakeFrame(64, 64, 32, i);
            ASSERT_EQ(recording.Write(i, frame), 0);
            expected += TopDownBgr(frame);
        }
    }
    const auto chunks = ReadChunks(FileBytes(path));
    ASSERT_TRUE(chunks);
    EXPECT_GE(chunks->size(), 10u);
    EXPECT_EQ(chunks->back().type, "AVIX");
    const auto probe = ProbeVideo(path);
    EXPECT_EQ(probe.count("errors"), 0u) << probe.at("errors");
    EXPECT_EQ(probe.at("nb_frames"), "40");
    EXPECT_EQ(probe.at("nb_read_frames"), "40");
    const ToolResult decoded = DecodeRaw(path, "bgr24");
    EXPECT_EQ(decoded.err, "");
    EXPECT_TRUE(decoded.out == expected) << "decoded pixels differ from those written";
}

TEST_F(AviPlayersTest, FileWithoutRoomForMorePartsRefusesFramesAndStaysReadable) {
    const auto path = dir_ / "parts.avi";
    const Frame frame = MakeFrame(4, 2, 32, 0);
    {
        // A 1-byte split size puts every frame in a part of its own; the super index has 256.
        AviRecording recording(path, frame, 5, CompressOptions(kRaw, 5), 1);
        for (int i = 0; i < 256; ++i) ASSERT_EQ(recording.Write(i, frame), 0) << "frame " << i;
        EXPECT_EQ(recording.Write(256, frame), avi::AVIERR_FILEWRITE);
        EXPECT_EQ(recording.Write(257, frame), avi::AVIERR_FILEWRITE);
    }
    const auto probe = ProbeVideo(path);
    EXPECT_EQ(probe.count("errors"), 0u) << probe.at("errors");
    EXPECT_EQ(probe.at("nb_frames"), "256");
    EXPECT_EQ(probe.at("nb_read_frames"), "256");
}

// The codec the recorder uses by default, as installed.
TEST(AviDefaultCodecTest, MicrosoftVideo1FramesAreReadAsMsvideo1) {
    const TempDir dir;
    const auto path = dir / "msvc.avi";
    {
        AviRecording recording(path, MakeFrame(160, 120, 32, 0), 5,
                               CompressOptions(vfw::mmioFOURCC('M', 'S', 'V', 'C'), 5));
        ASSERT_EQ(recording.setupResult, avi::AVIERR_OK);
        for (int i = 0; i < 12; ++i) ASSERT_EQ(recording.Write(i, MakeFrame(160, 120, 32, i)), 0);
    }
    const auto probe = ProbeVideo(path);
    EXPECT_EQ(probe.count("errors"), 0u) << probe.at("errors");
    EXPECT_EQ(probe.at("codec_name"), "msvideo1");
    EXPECT_EQ(probe.at("width"), "160");
    EXPECT_EQ(probe.at("height"), "120");
    EXPECT_EQ(probe.at("r_frame_rate"), "5/1");
    EXPECT_EQ(probe.at("nb_read_frames"), "12");
    const ToolResult decoded = DecodeRaw(path, "bgr24");
    EXPECT_EQ(decoded.err, "");
    EXPECT_EQ(decoded.out.size(), 12u * 160 * 120 * 3);
    EXPECT_EQ(FileBytes(path).FourCC(112), "MSVC");
}

// A small tmpfs stands for a full disk.
class FullDiskTest : public AviPlayersTest {
protected:
    void SetUp() override {
        mountPoint_ = dir_ / "disk";
        std::filesystem::create_directory(mountPoint_);
        if (::mount("tmpfs", mountPoint_.c_str(), "tmpfs", 0, "size=1m") != 0) {
            GTEST_SKIP() << "cannot mount a 1 MiB tmpfs to fill (needs root): "
                         << std::strerror(errno);
        }
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) ::umount2(mountPoint_.c_str(), MNT_DETACH);
    }

    // Writes frames of the given size until the disk is full; returns what went in, as ffmpeg's
    // bgr24 gives it back.
    std::string WriteUntilFull(AviRecording& recording, int width, int height, int& written) {
        constexpr int kLimit = 100000;
        std::vector<Frame> frames;
        for (int i = 0; i < 7; ++i) frames.push_back(MakeFrame(width, height, 32, i));
        std::string pixels;
        for (written = 0; written < kLimit; ++written) {
            const Frame& frame = frames[written % frames.size()];
            const avi::HRESULT result = recording.Write(written, frame);
            if (result != avi::AVIERR_OK) {
                EXPECT_EQ(result, avi::AVIERR_FILEWRITE);
                break;
            }
            pixels += TopDownBgr(frame);
        }
        EXPECT_GT(written, 5);
        EXPECT_LT(written, kLimit) << "the disk never filled";
        EXPECT_EQ(recording.Write(written + 1, frames[0]), avi::AVIERR_FILEWRITE);
        return pixels;
    }

    // Checks that readers find the frames written, of which the last second (5 frames) may be
    // missing from the headers and the index where not even the index of that second fitted;
    // returns the frames that the headers claim.
    int ExpectPlaysUpTo(const std::filesystem::path& path, int written, const std::string& expected,
                        int mayMiss) {
        const auto probe = ProbeVideo(path);
        EXPECT_EQ(probe.count("errors"), 0u) << probe.at("errors");
        const int claimed = std::stoi(probe.at("nb_frames"));
        const int read = std::stoi(probe.at("nb_read_frames"));
        EXPECT_GE(claimed, written - mayMiss);
        EXPECT_LE(claimed, read);
        EXPECT_LE(read, written);
        const ToolResult decoded = DecodeRaw(path, "bgr24");
        EXPECT_EQ(decoded.exitCode, 0);
        EXPECT_EQ(decoded.err, "");
        EXPECT_TRUE(decoded.out == expected.substr(0, expected.size() / written * read))
            << "decoded pixels differ from those written";
        return claimed;
    }

    std::filesystem::path mountPoint_;
    bool mounted_ = false;
};

TEST_F(FullDiskTest, FramesBeforeTheFailedWriteStayPlayable) {
    const auto path = mountPoint_ / "full.avi";
    int written = 0;
    std::string expected;
    {
        AviRecording recording(path, MakeFrame(64, 64, 32, 0), 5, CompressOptions(kRaw, 5));
        ASSERT_EQ(recording.setupResult, avi::AVIERR_OK);
        expected = WriteUntilFull(recording, 64, 64, written);
    }
    ExpectPlaysUpTo(path, written, expected, 0);
}

// Tiny frames leave no room at all when the disk fills, and their index is large.
TEST_F(FullDiskTest, FileWhoseIndexDidNotFitStaysPlayable) {
    const auto path = mountPoint_ / "noindex.avi";
    int written = 0;
    std::string expected;
    {
        AviRecording recording(path, MakeFrame(4, 2, 32, 0), 5, CompressOptions(kRaw, 5));
        expected = WriteUntilFull(recording, 4, 2, written);
    }
    const FileBytes bytes(path);
    EXPECT_EQ(bytes.U32(44), 0u) << "claims an index";
    const auto chunks = ReadChunks(bytes);
    ASSERT_TRUE(chunks) << "sizes do not match what the file holds";
    EXPECT_EQ((*chunks)[0].Find("idx1"), nullptr);
    const int frames = ExpectPlaysUpTo(path, written, expected, 5);
    EXPECT_EQ(bytes.U32(48), static_cast<std::uint32_t>(frames));
}

TEST_F(FullDiskTest, SplitFileFullInALaterPartStaysPlayable) {
    const auto path = mountPoint_ / "fullsplit.avi";
    int written = 0;
    std::string expected;
    {
        AviRecording recording(path, MakeFrame(4, 2, 32, 0), 5, CompressOptions(kRaw, 5),
                               128 * 1024);
        expected = WriteUntilFull(recording, 4, 2, written);
    }
    const FileBytes bytes(path);
    const auto chunks = ReadChunks(bytes);
    ASSERT_TRUE(chunks) << "sizes do not match what the file holds";
    EXPECT_GE(chunks->size(), 3u);
    const int frames = ExpectPlaysUpTo(path, written, expected, 5);
    EXPECT_EQ(bytes.U32(140), static_cast<std::uint32_t>(frames));
}

}  // namespace
}  // namespace avitest
