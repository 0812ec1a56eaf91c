// A recording whose writer is killed keeps its frames up to the last second: what ffprobe,
// ffmpeg and GStreamer's avidemux make of the file a writer killed with SIGKILL left behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <regex>

#include "tests/unit/avifile_test_support.h"

namespace avitest {
namespace {

constexpr std::uint32_t kRate = 10;
constexpr int kWidth = 160;
constexpr int kHeight = 120;
const vfw::FOURCC kMsvc = vfw::mmioFOURCC('M', 'S', 'V', 'C');
constexpr std::int64_t kSamplesPerFrame = 48000 / kRate;

// What the writing child reports around each frame.
struct Report {
    std::int32_t position;
    std::int32_t written;  // 0 just before the frame is written, 1 once it is in
    std::uint64_t fileSize;
};

// A bar moving across a dark picture: what a screen recording of motion looks like.
Frame MovingBar(int position) {
    Frame frame = MakeFrame(kWidth, kHeight, 32, 0);
    const int bar = position * 7 % kWidth;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* pixel = &frame.pixels[y * frame.Stride() + x * 4];
            const bool lit = x >= bar && x < bar + 16;
            pixel[0] = lit ? 255 : static_cast<std::uint8_t>(y);
            pixel[1] = lit ? 255 : 32;
            pixel[2] = lit ? 64 : static_cast<std::uint8_t>(x);
        }
    }
    return frame;
}

// Frames a killed writer had surely written, and at most.
struct Killed {
    int recorded = -1;
    int upTo = -1;
};

// Records a moving bar in a child process, a key frame every second, until stopAt says so
// about a report; then kills the child with SIGKILL. The child waits for a go-ahead after each
// report, so the kill lands exactly there: while it waits, or (for a report before a frame)
// right after it was let go into writing that frame.
Killed RecordAndKill(const std::filesystem::path& path, std::uint64_t splitSize,
                     const std::function<bool(const Report&)>& stopAt, std::uint16_t channels = 0) {
    int reports[2], goAhead[2];
    if (::pipe(reports) != 0) return {};
    if (::pipe(goAhead) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(reports[0]);
        ::close(goAhead[1]);
        AviRecording recording(path, MovingBar(0), kRate, CompressOptions(kMsvc, kRate), splitSize,
                               channels);
        auto report = [&](const Report& r) {
            char go = 0;
            if (::write(reports[1], &r, sizeof r) != sizeof r || ::read(goAhead[0], &go, 1) != 1) {
                ::_exit(1);
            }
        };
        for (std::int32_t i = 0;; ++i) {
            report({i, 0, 0});
            // The sound of the frame's period goes before the frame, as the recorder writes it.
            if (channels > 0 && recording.WriteSound(SoundSamples(
                                    i * kSamplesPerFrame, kSamplesPerFrame, channels)) != 0) {
                ::_exit(2);
            }
            if (recording.Write(i, MovingBar(i)) != 0) ::_exit(2);
            report({i, 1, std::filesystem::file_size(path)});
        }
    }
    ::close(reports[1]);
    ::close(goAhead[0]);
    Killed killed;
    Report report{};
    const char go = 1;
    while (::read(reports[0], &report, sizeof report) == sizeof report) {
        if (report.written == 1) killed.recorded = report.position + 1;
        killed.upTo = report.written == 1 ? killed.recorded : report.position;
        const bool stop = stopAt(report);
        if (!stop || report.written == 0) {
            if (::write(goAhead[1], &go, 1) != 1) break;
            if (report.written == 0) killed.upTo = report.position + 1;
        }
        if (stop) break;
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(reports[0]);
    ::close(goAhead[1]);
    return killed;
}

// Buffers that GStreamer's avidemux gives out for one stream of the file (its pad's name).
int GstreamerBuffers(const std::filesystem::path& path, const std::string& pad = "video_0") {
    const ToolResult run =
        RunTool({"gst-launch-1.0", "-v", "filesrc", "location=" + path.string(), "!", "avidemux",
                 "name=demux", "demux." + pad, "!", "fakesink", "silent=false"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::regex chain("chain  *\\*");
    return static_cast<int>(std::distance(
        std::sregex_iterator(run.out.begin(), run.out.end(), chain), std::sregex_iterator()));
}

// The file keeps its frames up to at most a second before the kill: its headers and index claim
// them, and GStreamer and ffmpeg read them, ffmpeg without a complaint. Readers may find the
// complete frames after them as well, by reading on. Returns ffmpeg's pictures.
std::string ExpectKeepsTheRecording(const std::filesystem::path& path, const Killed& killed) {
    const int recorded = killed.recorded;
    const auto probe = ProbeVideo(path);
    EXPECT_FALSE(probe.empty()) << "ffprobe cannot read the file";
    if (probe.empty()) return {};
    EXPECT_EQ(probe.count("errors"), 0u) << probe.at("errors");
    // A file that holds no second yet claims no frames: ffprobe says N/A.
    const int claimed = probe.at("nb_frames") == "N/A" ? 0 : std::stoi(probe.at("nb_frames"));
    const int read = std::stoi(probe.at("nb_read_frames"));
    EXPECT_LE(claimed, read);
    EXPECT_LE(read, killed.upTo);
    const double duration = probe.at("duration") == "N/A" ? 0 : std::stod(probe.at("duration"));
    const double recordedSeconds = static_cast<double>(recorded) / kRate;
    EXPECT_NEAR(duration, static_cast<double>(claimed) / kRate, 1e-6);
    EXPECT_GT(duration, recordedSeconds - 1.0);

    const ToolResult decoded = DecodeRaw(path, "bgr24");
    EXPECT_EQ(decoded.exitCode, 0);
    EXPECT_EQ(decoded.err, "");
    EXPECT_EQ(decoded.out.size(), static_cast<std::size_t>(read) * kWidth * kHeight * 3);
    const int gstreamer = GstreamerBuffers(path);
    EXPECT_GE(gstreamer, claimed);
    EXPECT_LE(gstreamer, read);
    return decoded.out;
}

TEST(AviKilledWriterTest, KeepsEveryFrameUpToTheLastSecond) {
    struct Case {
        const char* moment;
        std::function<bool(const Report&)> stopAt;
    };
    const Case cases[] = {
        {"early, before a second is full", [](const Report& r) { return r.position == 4; }},
        {"right after a key frame",
         [](const Report& r) { return r.written == 1 && r.position == 20; }},
        {"while a frame is written",
         [](const Report& r) { return r.written == 0 && r.position == 35; }},
    };
    const TempDir dir;
    // The same frames in a file that was finished: the pictures every killed file must show.
    {
        AviRecording finished(dir / "finished.avi", MovingBar(0), kRate,
                              CompressOptions(kMsvc, kRate));
        for (int i = 0; i < 40; ++i) ASSERT_EQ(finished.Write(i, MovingBar(i)), 0);
    }
    const std::string pictures = DecodeRaw(dir / "finished.avi", "bgr24").out;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.moment);
        const auto path = dir / "killed.avi";
        const Killed killed = RecordAndKill(path, 0, c.stopAt);
        ASSERT_GE(killed.recorded, 0);
        const std::string shown = ExpectKeepsTheRecording(path, killed);
        EXPECT_TRUE(pictures.compare(0, shown.size(), shown) == 0) << "other pictures";
    }
}

// The sound a killed writer leaves: as far as its pictures, to within the period of a frame
// (its sound is written just before it), read by ffmpeg and GStreamer, the samples as written.
void ExpectKeepsTheSound(const std::filesystem::path& path, const Killed& killed, int channels) {
    const auto video = ProbeVideo(path);
    const auto sound = ProbeSound(path);
    ASSERT_FALSE(sound.empty()) << "no sound stream";
    EXPECT_EQ(sound.count("errors"), 0u) << sound.at("errors");
    const double pictures = video.at("duration") == "N/A" ? 0 : std::stod(video.at("duration"));
    const double heard = std::stod(sound.at("nb_frames")) / 48000;
    EXPECT_NEAR(heard, pictures, 1.0 / kRate + 1e-6);
    const ToolResult decoded = DecodeSound(path);
    EXPECT_EQ(decoded.err, "");
    const std::size_t samples = decoded.out.size() / 2 / channels;
    EXPECT_GE(samples, static_cast<std::size_t>(heard * 48000 + 0.5));
    EXPECT_LE(samples, static_cast<std::size_t>((killed.upTo + 1) * kSamplesPerFrame));
    const auto written = SoundSamples(0, static_cast<std::int64_t>(samples), channels);
    EXPECT_EQ(std::memcmp(decoded.out.data(), written.data(), decoded.out.size()), 0);
    if (heard > 0) {
        EXPECT_GT(GstreamerBuffers(path, "audio_0"), 0);
    }
}

TEST(AviKilledWriterTest, KeepsItsSoundUpToTheSameSecondAsItsPictures) {
    const TempDir dir;
    const auto path = dir / "killed-sound.avi";
    const Killed killed = RecordAndKill(
        path, 0, [](const Report& r) { return r.written == 0 && r.position == 35; }, 2);
    ASSERT_GE(killed.recorded, 0);
    ExpectKeepsTheRecording(path, killed);
    ExpectKeepsTheSound(path, killed, 2);

    constexpr std::uint64_t kSplit = 1 << 20;
    const auto split = dir / "killed-sound-split.avi";
    const Killed splitKilled = RecordAndKill(
        split, kSplit,
        [](const Report& r) { return r.written == 1 && r.fileSize > kSplit * 3 / 2; }, 1);
    ExpectKeepsTheRecording(split, splitKilled);
    ExpectKeepsTheSound(split, splitKilled, 1);
}

// The second RIFF part of a file past its split size (1 GiB in recordings, 1 MiB here).
TEST(AviKilledWriterTest, KilledInTheSecondPartKeepsTheFirstAndTheSecondUpToTheLastSecond) {
    constexpr std::uint64_t kSplit = 1 << 20;
    const TempDir dir;
    const auto path = dir / "killed-split.avi";
    const Killed killed = RecordAndKill(path, kSplit, [](const Report& r) {
        return r.written == 1 && r.fileSize > kSplit * 3 / 2;
    });
    const FileBytes bytes(path);
    const std::uint64_t second = 8 + bytes.U32(4);
    ASSERT_LE(second, kSplit);
    EXPECT_EQ(bytes.FourCC(second), "RIFF");
    EXPECT_EQ(bytes.FourCC(second + 8), "AVIX");
    ExpectKeepsTheRecording(path, killed);
}

}  // namespace
}  // namespace avitest
