// The sound stream of the AVI writer: its headers and chunks between the frames, its indexes in
// one part and in many, what ffprobe and ffmpeg make of it, and the calls it refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/unit/avifile_test_support.h"

namespace avitest {
namespace {

constexpr vfw::FOURCC kRaw = vfw::mmioFOURCC('K', 'R', 'A', 'W');
constexpr std::uint32_t kRate = 10;
constexpr std::int64_t kSamplesPerFrame = 48000 / kRate;

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class AviSoundTest : public ::testing::Test {
protected:
    // frames frames of width x 32 pixels at kRate, each after the sound of its period.
    std::vector<std::int16_t> Record(const std::filesystem::path& path, int width, int frames,
                                     std::uint16_t channels, std::uint64_t splitSize = 0) {
        AviRecording recording(path, MakeFrame(width, 32, 32, 0), kRate, CompressOptions(kRaw, 5),
                               splitSize, channels);
        EXPECT_EQ(recording.setupResult, avi::AVIERR_OK);
        std::vector<std::int16_t> sound;
        for (int i = 0; i < frames; ++i) {
            const auto samples = SoundSamples(i * kSamplesPerFrame, kSamplesPerFrame, channels);
            EXPECT_EQ(recording.WriteSound(samples), avi::AVIERR_OK);
            EXPECT_EQ(recording.Write(i, MakeFrame(width, 32, 32, i)), avi::AVIERR_OK);
            sound.insert(sound.end(), samples.begin(), samples.end());
        }
        return sound;
    }

    // ffmpeg gives back every sample and every frame, without a complaint.
    static void ExpectPlayersRead(const std::filesystem::path& path,
                                  const std::vector<std::int16_t>& sound, int frames,
                                  int channels) {
        const auto probe = ProbeSound(path);
        EXPECT_EQ(probe.count("errors"), 0u) << probe.at("errors");
        EXPECT_EQ(probe.at("codec_name"), "pcm_s16le");
        EXPECT_EQ(probe.at("sample_rate"), "48000");
        EXPECT_EQ(probe.at("channels"), std::to_string(channels));
        // Its length in samples: ffmpeg gives PCM in AVI no duration of its own.
        EXPECT_EQ(probe.at("nb_frames"), std::to_string(frames * kSamplesPerFrame));
        const ToolResult decoded = DecodeSound(path);
        EXPECT_EQ(decoded.err, "");
        ASSERT_EQ(decoded.out.size(), sound.size() * 2);
        EXPECT_EQ(std::memcmp(decoded.out.data(), sound.data(), decoded.out.size()), 0);
        EXPECT_EQ(ProbeVideo(path).at("nb_read_frames"), std::to_string(frames));
    }

    std::optional<vfw::ScopedDrivers> drivers_{std::vector{PassThroughDriver({})}};
    TempDir dir_;
};

TEST_F(AviSoundTest, SoundChunksLieBetweenTheFramesAndEveryIndexHoldsThem) {
    const auto path = dir_ / "sound.avi";
    constexpr int kFrames = 25;  // two and a half seconds: checkpoints, and no second part
    const auto sound = Record(path, 4, kFrames, 1);
    const FileBytes bytes(path);
    const auto chunks = ReadChunks(bytes);
    ASSERT_TRUE(chunks);
    ASSERT_EQ(chunks->size(), 1u);
    const Chunk& riff = (*chunks)[0];
    const Chunk* hdrl = riff.Find("hdrl");
    ASSERT_NE(hdrl, nullptr);

    const std::uint64_t avih = hdrl->Find("avih")->offset + 8;
    EXPECT_EQ(bytes.U32(avih + 12), 0x110u);  // AVIF_HASINDEX | AVIF_ISINTERLEAVED
    EXPECT_EQ(bytes.U32(avih + 16), std::uint32_t{kFrames});
    EXPECT_EQ(bytes.U32(avih + 24), 2u);
    std::vector<const Chunk*> strls;
    for (const Chunk& child : hdrl->children) {
        if (child.type == "strl") strls.push_back(&child);
    }
    ASSERT_EQ(strls.size(), 2u);
    const std::uint64_t strh = strls[1]->Find("strh")->offset + 8;
    EXPECT_EQ(bytes.FourCC(strh), "auds");
    EXPECT_EQ(bytes.U32(strh + 20), 2u);                     // scale: one sample of 2 bytes
    EXPECT_EQ(bytes.U32(strh + 24), 96000u);                 // rate: bytes per second
    EXPECT_EQ(bytes.U32(strh + 32), sound.size());           // length in samples
    EXPECT_EQ(bytes.U32(strh + 36), kSamplesPerFrame * 2u);  // largest chunk
    EXPECT_EQ(bytes.U32(strh + 44), 2u);                     // sample size
    const Chunk* strf = strls[1]->Find("strf");
    const auto wave = avi::WaveFormatBytes({48000, 1, 16});
    ASSERT_EQ(strf->size, wave.size());
    EXPECT_EQ(ReadAll(path).substr(strf->offset + 8, wave.size()),
              std::string(reinterpret_cast<const char*>(wave.data()), wave.size()));

    // In the file: the sound of each period, then its frame; idx1 in that order.
    const Chunk* movi = riff.Find("movi");
    const Chunk* idx1 = riff.Find("idx1");
    ASSERT_NE(idx1, nullptr);
    std::vector<const Chunk*> data;
    for (const Chunk& child : movi->children) {
        if (child.id == "01wb" || child.id == "00db") data.push_back(&child);
    }
    ASSERT_EQ(data.size(), 2u * kFrames);
    ASSERT_EQ(idx1->size, 16u * data.size());
    for (std::size_t i = 0; i < data.size(); ++i) {
        const std::uint64_t entry = idx1->offset + 8 + 16 * i;
        EXPECT_EQ(data[i]->id, i % 2 == 0 ? "01wb" : "00db");
        EXPECT_EQ(bytes.FourCC(entry), data[i]->id);
        EXPECT_EQ(bytes.U32(entry + 8), data[i]->offset - movi->offset - 8);
    }

    // Each stream's super index covers its own chunks: all the samples, all the frames.
    for (std::size_t s = 0; s < 2; ++s) {
        const Chunk* indx = strls[s]->Find("indx");
        ASSERT_NE(indx, nullptr);
        const std::uint64_t super = indx->offset + 8;
        EXPECT_EQ(bytes.FourCC(super + 8), s == 0 ? "00db" : "01wb");
        std::uint64_t duration = 0;
        for (std::uint32_t e = 0; e < bytes.U32(super + 4); ++e) {
            const std::uint64_t ix = bytes.U64(super + 24 + 16 * e);
            EXPECT_EQ(bytes.FourCC(ix), s == 0 ? "ix00" : "ix01");
            duration += bytes.U32(super + 24 + 16 * e + 12);
        }
        EXPECT_EQ(duration, s == 0 ? std::uint64_t{kFrames} : sound.size());
    }
    ExpectPlayersRead(path, sound, kFrames, 1);
}

// 64 x 32 frames of 8 KiB beside 9.6 KiB of stereo sound per frame, in parts of 64 KiB.
TEST_F(AviSoundTest, PartsPastTheSplitSizeKeepEverySample) {
    const auto path = dir_ / "split.avi";
    constexpr int kFrames = 30;
    const auto sound = Record(path, 64, kFrames, 2, 64 * 1024);
    const FileBytes bytes(path);
    const auto chunks = ReadChunks(bytes);
    ASSERT_TRUE(chunks);
    ASSERT_GT(chunks->size(), 3u);
    for (std::size_t part = 0; part < chunks->size(); ++part) {
        const Chunk& riff = (*chunks)[part];
        EXPECT_LE(riff.size + 8u, 64u * 1024);
        const Chunk* movi = riff.Find("movi");
        ASSERT_NE(movi, nullptr);
        EXPECT_NE(movi->Find("ix00"), nullptr) << "part " << part;
        EXPECT_NE(movi->Find("ix01"), nullptr) << "part " << part;
    }
    ExpectPlayersRead(path, sound, kFrames, 2);
}

TEST_F(AviSoundTest, SoundCallsOutOfPlaceAreRefused) {
    const auto path = dir_ / "misuse.avi";
    const Frame frame = MakeFrame(4, 2, 32, 0);
    avi::PAVIFILE file = nullptr;
    ASSERT_EQ(avi::AVIFileOpen(&file, path.c_str(), 0x1001, nullptr), 0);
    avi::AVISTREAMINFO info{};
    info.fccType = avi::streamtypeAUDIO;
    info.dwScale = 4;
    info.dwRate = 192000;
    avi::PAVISTREAM sound = nullptr;
    avi::PAVISTREAM second = nullptr;
    ASSERT_EQ(avi::AVIFileCreateStream(file, &sound, &info), 0);
    EXPECT_EQ(avi::AVIFileCreateStream(file, &second, &info), avi::AVIERR_UNSUPPORTED);
    const std::int16_t samples[4] = {1, 2, 3, 4};
    EXPECT_EQ(avi::AVIStreamWrite(sound, 0, 2, samples, 8, 0, nullptr, nullptr),
              avi::AVIERR_BADFORMAT);  // no format yet

    auto wave = avi::WaveFormatBytes({48000, 2, 16});
    auto notPcm = wave;
    notPcm[0] = std::byte{0x55};  // MP3
    auto wrongBlock = wave;
    wrongBlock[12] = std::byte{3};
    EXPECT_EQ(avi::AVIStreamSetFormat(sound, 0, notPcm.data(), 18), avi::AVIERR_BADFORMAT);
    EXPECT_EQ(avi::AVIStreamSetFormat(sound, 0, wrongBlock.data(), 18), avi::AVIERR_BADFORMAT);
    ASSERT_EQ(avi::AVIStreamSetFormat(sound, 0, wave.data(), 18), 0);
    EXPECT_EQ(avi::AVIStreamSetFormat(sound, 0, wave.data(), 18), avi::AVIERR_UNSUPPORTED);
    EXPECT_EQ(avi::AVIStreamWrite(sound, 0, 2, samples, 8, 0, nullptr, nullptr),
              avi::AVIERR_BADFORMAT);  // no headers before the video's format

    const auto video = StreamInfo(frame, 5);
    avi::PAVISTREAM stream = nullptr;
    ASSERT_EQ(avi::AVIFileCreateStream(file, &stream, &video), 0);
    const auto format = frame.Format();
    ASSERT_EQ(avi::AVIStreamSetFormat(stream, 0, format.data(), 40), 0);
    std::int32_t written = 0;
    EXPECT_EQ(avi::AVIStreamWrite(sound, 1, 2, samples, 8, 0, nullptr, nullptr),
              avi::AVIERR_BADPARAM);  // not where the sound ended
    EXPECT_EQ(avi::AVIStreamWrite(sound, 0, 2, samples, 6, 0, nullptr, nullptr),
              avi::AVIERR_BADPARAM);  // not two whole samples
    EXPECT_EQ(avi::AVIStreamWrite(sound, 0, 2, samples, 8, 0, nullptr, &written), 0);
    EXPECT_EQ(written, 8);
    EXPECT_EQ(avi::AVIStreamWrite(sound, 2, 0, nullptr, 0, 0, nullptr, nullptr), 0);
    EXPECT_EQ(avi::AVIStreamWrite(sound, 2, 1, samples, 4, 0, nullptr, nullptr), 0);
    avi::AVIStreamRelease(stream);
    avi::AVIStreamRelease(sound);
    avi::AVIFileRelease(file);
    const auto probe = ProbeSound(path);
    EXPECT_EQ(probe.at("channels"), "2");
    EXPECT_EQ(DecodeSound(path).out.size(), 12u);
}

}  // namespace
}  // namespace avitest
