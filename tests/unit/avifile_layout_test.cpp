// Byte layout and call semantics of the AVI writer, checked at exact offsets.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>

#include "tests/unit/avifile_test_support.h"

namespace avitest {
namespace {

constexpr vfw::FOURCC kRaw = vfw::mmioFOURCC('K', 'R', 'A', 'W');

class AviLayoutTest : public ::testing::Test {
protected:
    void InstallCodec(PassThroughOptions options) {
        drivers_.emplace(std::vector{PassThroughDriver(options, log_)});
    }
    void SetUp() override { InstallCodec({.keyFrames = KeyFrames::whenAsked}); }

    std::shared_ptr<CodecLog> log_ = std::make_shared<CodecLog>();
    std::optional<vfw::ScopedDrivers> drivers_;
    TempDir dir_;
};

// A 4 x 2 frame at 32 bits is 32 bytes, so every frame chunk takes 40 bytes.
constexpr std::uint64_t kMovi = 4608;
constexpr std::uint64_t kFirstChunk = 4620;

struct Id {
    std::uint64_t offset;
    const char* id;
};
struct Word {
    std::uint64_t offset;
    std::uint32_t value;
};

void ExpectLayout(const FileBytes& bytes, std::initializer_list<Id> ids,
                  std::initializer_list<Word> words) {
    for (const Id& id : ids) EXPECT_EQ(bytes.FourCC(id.offset), id.id) << "at " << id.offset;
    for (const Word& word : words) {
        EXPECT_EQ(bytes.U32(word.offset), word.value) << "at " << word.offset;
    }
}

TEST_F(AviLayoutTest, HeadersChunksAndIndexAtTheirOffsets) {
    const auto path = dir_ / "golden.avi";
    std::ofstream(path) << std::string(10000, 'x');  // to be replaced, not overwritten in part
    {
        AviRecording recording(path, MakeFrame(4, 2, 32, 0), 5, CompressOptions(kRaw, 2));
        ASSERT_EQ(recording.setupResult, avi::AVIERR_OK);
        for (int i = 0; i < 3; ++i) ASSERT_EQ(recording.Write(i, MakeFrame(4, 2, 32, i)), 0);
    }
    const FileBytes bytes(path);
    ASSERT_EQ(bytes.size(), 4796u);
    ExpectLayout(bytes,
                 {{0, "RIFF"},
                  {8, "AVI "},
                  {12, "LIST"},
                  {20, "hdrl"},
                  {24, "avih"},
                  {88, "LIST"},
                  {96, "strl"},
                  {100, "strh"},
                  {108, "vids"},
                  {112, "KRAW"},
                  {164, "strf"},
                  {212, "JUNK"},
                  {4340, "JUNK"},
                  {kMovi, "LIST"},
                  {kMovi + 8, "movi"},
                  {kFirstChunk, "00db"},
                  {kFirstChunk + 40, "00db"},
                  {kFirstChunk + 80, "00db"},
                  {4740, "idx1"}},
                 {
                     {4, 4788},
                     {16, 4588},  // RIFF and hdrl sizes
                     // avih: microseconds per frame, bytes per second (largest chunk x rate),
                     // padding, AVIF_HASINDEX, frames, initial frames, streams, suggested buffer
                     // (the largest chunk), width, height, reserved
                     {28, 56},
                     {32, 200000},
                     {36, 160},
                     {40, 0},
                     {44, 0x10},
                     {48, 3},
                     {52, 0},
                     {56, 1},
                     {60, 32},
                     {64, 4},
                     {68, 2},
                     {72, 0},
                     {84, 0},
                     {92, 4244},  // strl size
                     // strh: flags, priority and language, initial frames, scale, rate, start,
                     // length, suggested buffer, quality, sample size, rcFrame
                     {104, 56},
                     {116, 0},
                     {120, 0},
                     {124, 0},
                     {128, 1},
                     {132, 5},
                     {136, 0},
                     {140, 3},
                     {144, 32},
                     {148, 7500},
                     {152, 0},
                     {156, 0},
                     {160, 4 | 2 << 16},
                     // strf as the codec gave it: 4 x 2, one plane, 32 bits, BI_RGB
                     {168, 40},
                     {172, 40},
                     {176, 4},
                     {180, 2},
                     {184, 1 | 32 << 16},
                     {188, 0},
                     {216, 4120},
                     {4344, 260},  // JUNK kept for OpenDML
                     {kMovi + 4, 124},
                     {kFirstChunk + 4, 32},
                     {kFirstChunk + 44, 32},
                     {kFirstChunk + 84, 32},
                     // idx1: id, flags (a key frame every 2), offset from the 'movi' id, size
                     {4744, 48},
                     {4752, 0x10},
                     {4756, 4},
                     {4760, 32},
                     {4768, 0},
                     {4772, 44},
                     {4776, 32},
                     {4784, 0x10},
                     {4788, 84},
                     {4792, 32},
                 });
    std::uint32_t secondFrameWord = 0;
    std::memcpy(&secondFrameWord, MakeFrame(4, 2, 32, 1).pixels.data(), 4);
    EXPECT_EQ(bytes.U32(kFirstChunk + 48), secondFrameWord);
}

TEST_F(AviLayoutTest, SkippedPositionsBecomeEmptyChunks) {
    const auto path = dir_ / "gaps.avi";
    {
        AviRecording recording(path, MakeFrame(4, 2, 32, 0), 5, CompressOptions(kRaw, 2));
        ASSERT_EQ(recording.Write(0, MakeFrame(4, 2, 32, 0)), 0);
        ASSERT_EQ(recording.Write(3, MakeFrame(4, 2, 32, 1)), 0);
    }
    // A frame, two empty chunks, a frame; idx1 after them.
    const std::uint64_t idx1 = kFirstChunk + 96;
    ExpectLayout(FileBytes(path),
                 {{kFirstChunk + 40, "00db"}, {kFirstChunk + 48, "00db"}, {idx1, "idx1"}},
                 {{48, 4},
                  {140, 4},
                  {kMovi + 4, 100},
                  {kFirstChunk + 44, 0},
                  {kFirstChunk + 52, 0},
                  {kFirstChunk + 60, 32},
                  {idx1 + 4, 64},
                  // flags, offset, size of the four entries
                  {idx1 + 12, 0x10},
                  {idx1 + 16, 4},
                  {idx1 + 20, 32},
                  {idx1 + 28, 0},
                  {idx1 + 32, 44},
                  {idx1 + 36, 0},
                  {idx1 + 44, 0},
                  {idx1 + 48, 52},
                  {idx1 + 52, 0},
                  {idx1 + 60, 0},
                  {idx1 + 64, 60},
                  {idx1 + 68, 32}});
}

TEST_F(AviLayoutTest, ColourTableGoesIntoStrf) {
    const auto path = dir_ / "palette.avi";
    const Frame frame = MakeFrame(5, 3, 8, 0);
    {
        AviRecording recording(path, frame, 5, CompressOptions(kRaw, 2));
        ASSERT_EQ(recording.setupResult, avi::AVIERR_OK);
        ASSERT_EQ(recording.Write(0, frame), 0);
    }
    // 8 bits, 256 colours behind the header; 3 rows of 8 bytes a frame.
    ExpectLayout(FileBytes(path), {{164, "strf"}, {1236, "JUNK"}},
                 {{168, 1064},
                  {184, 1 | 8 << 16},
                  {204, 256},
                  {212, frame.colours[0]},
                  {212 + 4 * 255, frame.colours[255]},
                  {60, 24}});
}

// Key frames: asked for at the first frame and every dwKeyFrameEvery frames, marked from what the
// codec reports.
TEST_F(AviLayoutTest, KeyFramesAskedAndMarked) {
    struct Case {
        const char* name;
        KeyFrames codec;
        std::uint32_t flags;
        std::vector<bool> asked;
        std::vector<bool> marked;
    };
    const std::vector<Case> cases = {
        {"every 3",
         KeyFrames::whenAsked,
         avi::AVICOMPRESSF_KEYFRAMES,
         {1, 0, 0, 1, 0, 0, 1},
         {1, 0, 0, 1, 0, 0, 1}},
        {"no key-frame flag",
         KeyFrames::whenAsked,
         0,
         {1, 0, 0, 0, 0, 0, 0},
         {1, 0, 0, 0, 0, 0, 0}},
        {"codec makes its own",
         KeyFrames::always,
         avi::AVICOMPRESSF_KEYFRAMES,
         {1, 0, 0, 0, 0, 0, 0},
         {1, 1, 1, 1, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log_ = std::make_shared<CodecLog>();
        drivers_.reset();
        InstallCodec({.keyFrames = c.codec});
        const auto path = dir_ / "keys.avi";
        auto options = CompressOptions(kRaw, 3);
        options.dwFlags = c.flags | avi::AVICOMPRESSF_VALID;
        {
            AviRecording recording(path, MakeFrame(4, 2, 32, 0), 5, options);
            for (int i = 0; i < 7; ++i) ASSERT_EQ(recording.Write(i, MakeFrame(4, 2, 32, i)), 0);
        }
        EXPECT_EQ(log_->keyRequests, c.asked);
        const FileBytes bytes(path);
        const auto chunks = ReadChunks(bytes);
        ASSERT_TRUE(chunks);
        const Chunk* idx1 = chunks->at(0).Find("idx1");
        ASSERT_NE(idx1, nullptr);
        std::vector<bool> marked;
        for (std::uint64_t i = 0; i < 7; ++i) {
            marked.push_back(bytes.U32(idx1->offset + 8 + 16 * i + 4) == 0x10);
        }
        EXPECT_EQ(marked, c.marked);
    }
}

TEST_F(AviLayoutTest, CodecIsToldTheStreamAndEndedOnce) {
    const auto path = dir_ / "protocol.avi";
    {
        AviRecording recording(path, MakeFrame(4, 2, 32, 0), 7, CompressOptions(kRaw, 14, 6100));
        ASSERT_EQ(recording.Write(0, MakeFrame(4, 2, 32, 0)), 0);
        EXPECT_EQ(log_->ends, 0);
    }
    const std::vector<std::uint32_t> setUp = {vfw::ICM_COMPRESS_QUERY,
                                              vfw::ICM_COMPRESS_GET_FORMAT,
                                              vfw::ICM_COMPRESS_GET_FORMAT,
                                              vfw::ICM_COMPRESS_FRAMES_INFO,
                                              vfw::ICM_COMPRESS_GET_SIZE,
                                              vfw::ICM_COMPRESS_BEGIN,
                                              vfw::ICM_COMPRESS,
                                              vfw::ICM_COMPRESS_END};
    EXPECT_EQ(log_->messages, setUp);
    EXPECT_EQ(log_->framesInfo.lQuality, 6100);
    EXPECT_EQ(log_->framesInfo.lKeyRate, 14);
    EXPECT_EQ(log_->framesInfo.dwRate, 7u);
    EXPECT_EQ(log_->framesInfo.dwScale, 1u);
    EXPECT_EQ(log_->lastQuality, 6100u);
    EXPECT_EQ(log_->ends, 1);
}

// The recorder releases options, file, stream, compressed stream; any order must finish the file
// exactly when the last reference goes.
TEST_F(AviLayoutTest, ReleaseInAnyOrderFinishesOnceAtTheLast) {
    enum Handle { file, stream, compressed };
    std::array<Handle, 3> order = {file, stream, compressed};
    do {
        SCOPED_TRACE(::testing::Message() << "order " << order[0] << order[1] << order[2]);
        log_->ends = 0;
        const auto path = dir_ / "order.avi";
        avi::PAVIFILE aviFile = nullptr;
        avi::PAVISTREAM aviStream = nullptr;
        avi::PAVISTREAM aviCompressed = nullptr;
        const Frame frame = MakeFrame(4, 2, 32, 0);
        ASSERT_EQ(avi::AVIFileOpen(&aviFile, path.c_str(), 0x1001, nullptr), 0);
        const auto info = StreamInfo(frame, 5);
        ASSERT_EQ(avi::AVIFileCreateStream(aviFile, &aviStream, &info), 0);
        auto options = CompressOptions(kRaw, 5);
        ASSERT_EQ(avi::AVIMakeCompressedStream(&aviCompressed, aviStream, &options, nullptr), 0);
        const auto format = frame.Format();
        ASSERT_EQ(avi::AVIStreamSetFormat(aviCompressed, 0, format.data(),
                                          static_cast<std::int32_t>(format.size())),
                  0);
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(avi::AVIStreamWrite(aviCompressed, i, 1, frame.pixels.data(), 32, 0, nullptr,
                                          nullptr),
                      0);
        }
        avi::AVICOMPRESSOPTIONS* list[1] = {&options};
        ASSERT_EQ(avi::AVISaveOptionsFree(1, list), 0);

        // Who holds whom: the compressed stream holds the stream, the stream holds the file.
        std::array<std::uint32_t, 3> refs = {2, 2, 1};
        for (std::size_t i = 0; i < order.size(); ++i) {
            std::uint32_t left = 0;
            switch (order[i]) {
                case file:
                    left = avi::AVIFileRelease(aviFile);
                    break;
                case stream:
                    left = avi::AVIStreamRelease(aviStream);
                    break;
                case compressed:
                    left = avi::AVIStreamRelease(aviCompressed);
                    break;
            }
            EXPECT_EQ(left, --refs[order[i]]);
            for (Handle h = order[i]; h != file && refs[h] == 0; h = Handle(h - 1)) --refs[h - 1];
            const FileBytes bytes(path);
            if (i + 1 == order.size()) {
                EXPECT_EQ(refs[file], 0u);
                EXPECT_EQ(log_->ends, 1);
                EXPECT_EQ(bytes.U32(48), 2u);
                EXPECT_EQ(bytes.U32(140), 2u);
                EXPECT_EQ(bytes.FourCC(kFirstChunk + 80), "idx1");
            } else {
                EXPECT_GT(refs[file], 0u);
                EXPECT_EQ(bytes.U32(48), 0u) << "finished before the last release";
                EXPECT_EQ(bytes.size(), kFirstChunk + 80);
            }
        }
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(AviLayoutTest, SplitPartsWithTheirIndexes) {
    const auto path = dir_ / "split.avi";
    // 32 x 32 x 32 bits: 4096-byte frames. At 16 KiB per part the first part (with the headers
    // and idx1) holds 2 frames, each AVIX part 3.
    const Frame format = MakeFrame(32, 32, 32, 0);
    {
        AviRecording recording(path, format, 5, CompressOptions(kRaw, 4), 16 * 1024);
        ASSERT_EQ(recording.setupResult, avi::AVIERR_OK);
        for (int i = 0; i < 10; ++i) ASSERT_EQ(recording.Write(i, MakeFrame(32, 32, 32, i)), 0);
    }
    const FileBytes bytes(path);
    const auto chunks = ReadChunks(bytes);
    ASSERT_TRUE(chunks);
    ASSERT_EQ(chunks->size(), 4u);
    EXPECT_EQ((*chunks)[0].type, "AVI ");
    const std::array<std::uint32_t, 4> framesPerPart = {2, 3, 3, 2};
    for (std::size_t part = 1; part < 4; ++part) EXPECT_EQ((*chunks)[part].type, "AVIX");
    for (const Chunk& part : *chunks) EXPECT_LE(part.size + 8u, 16u * 1024);

    const Chunk& first = (*chunks)[0];
    EXPECT_EQ(bytes.U32(48), 2u);    // avih: frames of the first part
    EXPECT_EQ(bytes.U32(140), 10u);  // strh: all of them
    const Chunk* idx1 = first.Find("idx1");
    ASSERT_NE(idx1, nullptr);
    EXPECT_EQ(idx1->size, 2u * 16);
    const Chunk* odml = first.Find("hdrl")->Find("odml");
    ASSERT_NE(odml, nullptr);
    ASSERT_EQ(odml->children.at(0).id, "dmlh");
    EXPECT_EQ(bytes.U32(odml->children[0].offset + 8), 10u);

    const Chunk* indx = first.Find("hdrl")->Find("strl")->Find("indx");
    ASSERT_NE(indx, nullptr);
    const std::uint64_t super = indx->offset + 8;
    EXPECT_EQ(bytes.U16(super), 4u);
    EXPECT_EQ(bytes.U16(super + 2), 0x0000u);  // sub type 0, AVI_INDEX_OF_INDEXES
    EXPECT_EQ(bytes.U32(super + 4), 4u);
    EXPECT_EQ(bytes.FourCC(super + 8), "00db");
    for (std::size_t part = 0; part < 4; ++part) {
        SCOPED_TRACE(::testing::Message() << "part " << part);
        const std::uint64_t entry = super + 24 + 16 * part;
        const Chunk* movi = (*chunks)[part].Find("movi");
        ASSERT_NE(movi, nullptr);
        const Chunk& ix = movi->children.back();
        ASSERT_EQ(ix.id, "ix00");
        EXPECT_EQ(bytes.U64(entry), ix.offset);
        EXPECT_EQ(bytes.U32(entry + 8), ix.size + 8);
        EXPECT_EQ(bytes.U32(entry + 12), framesPerPart[part]);

        const std::uint64_t standard = ix.offset + 8;
        EXPECT_EQ(bytes.U16(standard), 2u);
        EXPECT_EQ(bytes.U16(standard + 2), 0x0100u);  // AVI_INDEX_OF_CHUNKS
        ASSERT_EQ(bytes.U32(standard + 4), framesPerPart[part]);
        EXPECT_EQ(bytes.FourCC(standard + 8), "00db");
        const std::uint64_t base = bytes.U64(standard + 12);
        EXPECT_EQ(base, movi->offset + 8);
        ASSERT_EQ(movi->children.size(), framesPerPart[part] + 1u);
        for (std::uint32_t i = 0; i < framesPerPart[part]; ++i) {
            const Chunk& frame = movi->children[i];
            EXPECT_EQ(base + bytes.U32(standard + 24 + 8 * i), frame.offset + 8);
            const bool key =
                (part == 0 && i == 0) || (part == 1 && i == 2) || (part == 3 && i == 0);
            EXPECT_EQ(bytes.U32(standard + 28 + 8 * i), key ? 4096u : 4096u | 0x80000000u);
        }
    }
}

TEST_F(AviLayoutTest, PositionsAtOrBeforeTheLastAreRefusedWithoutCompressing) {
    const auto path = dir_ / "positions.avi";
    const Frame frame = MakeFrame(4, 2, 32, 0);
    {
        AviRecording recording(path, frame, 5, CompressOptions(kRaw, 2));
        ASSERT_EQ(recording.Write(0, frame), avi::AVIERR_OK);
        ASSERT_EQ(recording.Write(2, frame), avi::AVIERR_OK);
        EXPECT_EQ(recording.Write(2, frame), avi::AVIERR_BADPARAM);
        EXPECT_EQ(recording.Write(1, frame), avi::AVIERR_BADPARAM);
        EXPECT_EQ(recording.Write(-1, frame), avi::AVIERR_BADPARAM);
        EXPECT_EQ(recording.Write(3 + (1 << 20) + 1, frame), avi::AVIERR_BADPARAM);
        EXPECT_EQ(log_->Count(vfw::ICM_COMPRESS), 2);
        ASSERT_EQ(recording.Write(3, frame), avi::AVIERR_OK);
    }
    const FileBytes bytes(path);
    EXPECT_EQ(bytes.U32(140), 4u);
}

TEST_F(AviLayoutTest, CallsOutOfPlaceAreRefused) {
    const auto path = dir_ / "misuse.avi";
    const Frame frame = MakeFrame(4, 2, 32, 0);
    avi::PAVIFILE file = nullptr;
    avi::PAVISTREAM stream = nullptr;
    avi::PAVISTREAM compressed = nullptr;
    EXPECT_EQ(avi::AVIFileOpen(&file, path.c_str(), avi::OF_WRITE, nullptr),
              avi::AVIERR_UNSUPPORTED);
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_EQ(avi::AVIFileOpen(&file, path.c_str(), 0x1001, nullptr), 0);
    EXPECT_EQ(avi::SetRiffSplitSize(file, 3ull << 30), avi::AVIERR_BADPARAM);

    auto info = StreamInfo(frame, 0);
    EXPECT_EQ(avi::AVIFileCreateStream(file, &stream, &info), avi::AVIERR_BADPARAM);
    info = StreamInfo(frame, 5);
    info.fccType = vfw::mmioFOURCC('t', 'x', 't', 's');
    EXPECT_EQ(avi::AVIFileCreateStream(file, &stream, &info), avi::AVIERR_UNSUPPORTED);
    info = StreamInfo(frame, 5);
    ASSERT_EQ(avi::AVIFileCreateStream(file, &stream, &info), 0);
    avi::PAVISTREAM second = nullptr;
    EXPECT_EQ(avi::AVIFileCreateStream(file, &second, &info), avi::AVIERR_UNSUPPORTED);
    EXPECT_EQ(second, nullptr);

    auto options = CompressOptions(kRaw, 2);
    ASSERT_EQ(avi::AVIMakeCompressedStream(&compressed, stream, &options, nullptr), 0);
    avi::PAVISTREAM twice = nullptr;
    EXPECT_EQ(avi::AVIMakeCompressedStream(&twice, compressed, &options, nullptr),
              avi::AVIERR_UNSUPPORTED);
    EXPECT_EQ(avi::AVIStreamWrite(compressed, 0, 1, frame.pixels.data(), 32, 0, nullptr, nullptr),
              avi::AVIERR_BADFORMAT);  // no format yet

    const auto format = frame.Format();
    EXPECT_EQ(avi::AVIStreamSetFormat(compressed, 0, format.data(), 20), avi::AVIERR_BADFORMAT);
    ASSERT_EQ(avi::AVIStreamSetFormat(compressed, 0, format.data(), 40), 0);
    EXPECT_EQ(avi::AVIStreamSetFormat(compressed, 0, format.data(), 40), avi::AVIERR_UNSUPPORTED);
    EXPECT_EQ(avi::AVIStreamSetFormat(stream, 0, format.data(), 40), avi::AVIERR_UNSUPPORTED);

    std::int32_t samples = -1;
    std::int32_t written = -1;
    EXPECT_EQ(avi::AVIStreamWrite(compressed, 0, 1, frame.pixels.data(), 31, 0, &samples, &written),
              avi::AVIERR_BADPARAM);  // shorter than the picture
    EXPECT_EQ(samples, 0);
    EXPECT_EQ(avi::AVIStreamWrite(compressed, 0, 2, frame.pixels.data(), 32, 0, nullptr, nullptr),
              avi::AVIERR_BADPARAM);
    EXPECT_EQ(avi::AVIStreamWrite(compressed, 0, 1, frame.pixels.data(), 32, 0, &samples, &written),
              0);
    EXPECT_EQ(samples, 1);
    EXPECT_EQ(written, 32);

    avi::AVIStreamRelease(compressed);
    avi::AVIStreamRelease(stream);
    avi::AVIFileRelease(file);
    EXPECT_EQ(FileBytes(path).U32(140), 1u);
}

TEST_F(AviLayoutTest, UnwritablePathFailsAndLeavesNothing) {
    avi::PAVIFILE file = nullptr;
    const auto missing = dir_ / "no such folder" / "a.avi";
    EXPECT_EQ(avi::AVIFileOpen(&file, missing.c_str(), 0x1001, nullptr), avi::AVIERR_FILEOPEN);
    EXPECT_EQ(file, nullptr);
    EXPECT_FALSE(std::filesystem::exists(missing.parent_path()));

    const auto folder = dir_ / "folder.avi";
    std::filesystem::create_directory(folder);
    EXPECT_EQ(avi::AVIFileOpen(&file, folder.c_str(), 0x1001, nullptr), avi::AVIERR_FILEOPEN);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(AviLayoutTest, CodecRefusingTheFormatFailsSetFormatAndLeavesNoFile) {
    drivers_.reset();
    InstallCodec({.acceptsInput = false});
    const auto path = dir_ / "refused.avi";
    {
        AviRecording recording(path, MakeFrame(4, 2, 32, 0), 5, CompressOptions(kRaw, 2));
        EXPECT_EQ(recording.setupResult, avi::AVIERR_BADFORMAT);
        EXPECT_EQ(recording.Write(0, MakeFrame(4, 2, 32, 0)), avi::AVIERR_BADFORMAT);
    }
    EXPECT_EQ(log_->Count(vfw::ICM_COMPRESS_BEGIN), 0);
    EXPECT_EQ(log_->ends, 0);
    EXPECT_FALSE(std::filesystem::exists(path)) << "a file without a stream format was left";
}

TEST_F(AviLayoutTest, CodecThatCannotBeOpenedFailsMakeCompressedStream) {
    drivers_.reset();
    InstallCodec({.openable = false});
    for (const vfw::FOURCC handler : {kRaw, vfw::mmioFOURCC('N', 'O', 'N', 'E')}) {
        const auto path = dir_ / "nocodec.avi";
        AviRecording recording(path, MakeFrame(4, 2, 32, 0), 5, CompressOptions(handler, 2));
        EXPECT_EQ(recording.setupResult, avi::AVIERR_NOCOMPRESSOR);
        recording.Release();
        EXPECT_FALSE(std::filesystem::exists(path));
    }
}

}  // namespace
}  // namespace avitest
