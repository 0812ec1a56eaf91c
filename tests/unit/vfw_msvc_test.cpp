// The 'MSVC' (Microsoft Video 1) driver through the codec messages: what it accepts, what it
// writes (read back with libavcodec's own decoder), key frames, faults and its dialogs.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "platform/vfw/avcodec_driver.h"
#include "platform/vfw/codec_table.h"
#include "tests/unit/vfw_test_decoder.h"
#include "tests/unit/vfw_test_support.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace vfwtest;

namespace {

CodecHandle OpenMsvc(std::uint32_t mode = ICMODE_QUERY) {
    return CodecHandle(ICOpen(ICTYPE_VIDEO, kMsvc, mode));
}

LRESULT Query(HIC hic, const BITMAPINFOHEADER& in, const BITMAPINFOHEADER* out = nullptr) {
    return ICSendMessage(hic, ICM_COMPRESS_QUERY, Session::Ptr(&in), Session::Ptr(out));
}

BITMAPINFOHEADER OutputFor(HIC hic, const BITMAPINFOHEADER& in) {
    BITMAPINFOHEADER out{};
    EXPECT_EQ(ICSendMessage(hic, ICM_COMPRESS_GET_FORMAT, Session::Ptr(&in), Session::Ptr(&out)),
              ICERR_OK);
    return out;
}

// Whether libavcodec's msvideo1 encoder itself opens for that size.
bool EncoderOpens(int width, int height) {
    const AVCodec* codec = avcodec_find_encoder_by_name("msvideo1");
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_RGB555LE;
    context->time_base = {1, 5};
    const bool opened = avcodec_open2(context, codec, nullptr) == 0;
    avcodec_free_context(&context);
    return opened;
}

class QuietLibav : public ::testing::Environment {
    void SetUp() override { av_log_set_level(AV_LOG_QUIET); }
};
const auto* const kQuiet = ::testing::AddGlobalTestEnvironment(new QuietLibav);

}  // namespace

TEST(MsvcQuery, TakesExactlyTheSizesTheEncoderTakes) {
    auto hic = OpenMsvc();
    ASSERT_TRUE(hic);
    // The sizes a recorder tries for a 101 x 75 region: its own, then aligned to 2, 4 and 8.
    EXPECT_EQ(Query(hic.get(), DibHeader(101, 75, 32)), ICERR_BADIMAGESIZE);
    EXPECT_EQ(Query(hic.get(), DibHeader(102, 76, 32)), ICERR_BADIMAGESIZE);
    EXPECT_EQ(Query(hic.get(), DibHeader(104, 76, 32)), ICERR_OK);
    EXPECT_EQ(Query(hic.get(), DibHeader(1366, 768, 32)), ICERR_BADIMAGESIZE);
    EXPECT_EQ(Query(hic.get(), DibHeader(1364, 768, 32)), ICERR_OK);
    for (int w = 1; w <= 28; ++w) {
        for (int h = 1; h <= 28; ++h) {
            const bool accepted = Query(hic.get(), DibHeader(w, h, 24)) == ICERR_OK;
            EXPECT_EQ(accepted, EncoderOpens(w, h)) << w << " x " << h;
        }
    }
    for (auto [w, h] : {std::pair{65536, 4}, std::pair{16384, 16384}}) {
        const bool accepted = Query(hic.get(), DibHeader(w, h, 16)) == ICERR_OK;
        EXPECT_EQ(accepted, EncoderOpens(w, h)) << w << " x " << h;
    }
}

TEST(MsvcQuery, TakesTheFourScreenDepthsUncompressedAndBottomUpOnly) {
    auto hic = OpenMsvc();
    ASSERT_TRUE(hic);
    for (int depth : {8, 16, 24, 32}) {
        EXPECT_EQ(Query(hic.get(), DibHeader(64, 48, depth)), ICERR_OK) << depth;
    }
    for (int depth : {0, 1, 4, 15, 48}) {
        EXPECT_EQ(Query(hic.get(), DibHeader(64, 48, depth)), ICERR_BADBITDEPTH) << depth;
    }
    for (FOURCC compression : {1u /* BI_RLE8 */, 3u /* BI_BITFIELDS */, kMsvc}) {
        BITMAPINFOHEADER in = DibHeader(64, 48, 32);
        in.biCompression = compression;
        EXPECT_EQ(Query(hic.get(), in), ICERR_BADFORMAT) << compression;
    }
    // Top-down (negative height) and empty pictures.
    EXPECT_EQ(Query(hic.get(), DibHeader(64, -48, 32)), ICERR_BADIMAGESIZE);
    EXPECT_EQ(Query(hic.get(), DibHeader(-64, 48, 32)), ICERR_BADIMAGESIZE);
    EXPECT_EQ(Query(hic.get(), DibHeader(0, 48, 32)), ICERR_BADIMAGESIZE);

    EXPECT_EQ(ICSendMessage(hic.get(), ICM_COMPRESS_QUERY, 0, 0), ICERR_BADFORMAT);
    BITMAPINFOHEADER in = DibHeader(64, 48, 32);
    in.biSize = 12;  // an OS/2 core header
    EXPECT_EQ(Query(hic.get(), in), ICERR_BADFORMAT);
    in = DibHeader(64, 48, 32);
    in.biSizeImage -= 1;  // one byte short of the rows
    EXPECT_EQ(Query(hic.get(), in), ICERR_BADFORMAT);
    in.biSizeImage = 0;  // allowed for BI_RGB
    EXPECT_EQ(Query(hic.get(), in), ICERR_OK);
    in = DibHeader(64, 48, 8);
    in.biClrUsed = 257;
    EXPECT_EQ(Query(hic.get(), in), ICERR_BADFORMAT);
}

TEST(MsvcQuery, ChecksAGivenOutputFormat) {
    auto hic = OpenMsvc();
    ASSERT_TRUE(hic);
    const BITMAPINFOHEADER in = DibHeader(64, 48, 24);
    const BITMAPINFOHEADER good = OutputFor(hic.get(), in);
    EXPECT_EQ(Query(hic.get(), in, &good), ICERR_OK);

    BITMAPINFOHEADER out = good;
    out.biCompression = mmioFOURCC('C', 'R', 'A', 'M');
    EXPECT_EQ(Query(hic.get(), in, &out), ICERR_OK);
    out.biCompression = mmioFOURCC('m', 's', 'v', 'c');
    EXPECT_EQ(Query(hic.get(), in, &out), ICERR_OK);
    out.biCompression = BI_RGB;
    EXPECT_EQ(Query(hic.get(), in, &out), ICERR_BADFORMAT);
    out = good;
    out.biBitCount = 8;  // palettised Video 1 is beyond this encoder
    EXPECT_EQ(Query(hic.get(), in, &out), ICERR_BADFORMAT);
    out = good;
    out.biWidth = 68;
    EXPECT_EQ(Query(hic.get(), in, &out), ICERR_BADFORMAT);
    out = good;
    out.biHeight = -48;
    EXPECT_EQ(Query(hic.get(), in, &out), ICERR_BADFORMAT);
    // A good output does not rescue a refused input.
    const BITMAPINFOHEADER odd = DibHeader(66, 48, 24);
    out = good;
    out.biWidth = 66;
    EXPECT_EQ(Query(hic.get(), odd, &out), ICERR_BADIMAGESIZE);
}

TEST(MsvcFormat, DescribesMicrosoftVideo1Frames) {
    auto hic = OpenMsvc();
    ASSERT_TRUE(hic);
    const BITMAPINFOHEADER in = DibHeader(320, 200, 32);
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_COMPRESS_GET_FORMAT, Session::Ptr(&in), 0), 40);
    const BITMAPINFOHEADER out = OutputFor(hic.get(), in);
    EXPECT_EQ(out.biSize, 40u);
    EXPECT_EQ(out.biWidth, 320);
    EXPECT_EQ(out.biHeight, 200);
    EXPECT_EQ(out.biPlanes, 1);
    EXPECT_EQ(out.biBitCount, 16);
    EXPECT_EQ(out.biCompression, kMsvc);
    EXPECT_EQ(out.biClrUsed, 0u);
    // 80 x 50 blocks of at most 18 bytes, and one closing code.
    EXPECT_EQ(out.biSizeImage, 72002u);
    EXPECT_EQ(
        ICSendMessage(hic.get(), ICM_COMPRESS_GET_SIZE, Session::Ptr(&in), Session::Ptr(&out)),
        72002);
    const BITMAPINFOHEADER odd = DibHeader(321, 200, 32);
    BITMAPINFOHEADER untouched{};
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_COMPRESS_GET_FORMAT, Session::Ptr(&odd),
                            Session::Ptr(&untouched)),
              ICERR_BADIMAGESIZE);
    EXPECT_EQ(untouched.biSize, 0u);
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_COMPRESS_GET_SIZE, Session::Ptr(&odd), 0),
              ICERR_BADIMAGESIZE);
}

TEST(MsvcInfo, IsTheFirstInstalledVideoCodec) {
    ICINFO info{};
    ASSERT_TRUE(ICInfo(ICTYPE_VIDEO, 0, &info));
    EXPECT_EQ(info.dwSize, sizeof(ICINFO));
    EXPECT_EQ(info.fccType, ICTYPE_VIDEO);
    EXPECT_EQ(info.fccHandler, kMsvc);
    EXPECT_EQ(std::u16string(info.szDescription), u"Microsoft Video 1");
    EXPECT_FALSE(ICInfo(mmioFOURCC('a', 'u', 'd', 'c'), 0, &info));
}

TEST(MsvcInfo, GetInfoCopiesUpToTheSizeAsked) {
    auto hic = OpenMsvc();
    ASSERT_TRUE(hic);
    ICINFO full{};
    EXPECT_EQ(ICGetInfo(hic.get(), &full, sizeof(full)), 568);
    EXPECT_EQ(std::u16string(full.szDescription), u"Microsoft Video 1");

    ICINFO part;
    std::memset(&part, 0xAB, sizeof(part));
    EXPECT_EQ(ICGetInfo(hic.get(), &part, 12), 12);
    EXPECT_EQ(part.dwSize, 568u);
    EXPECT_EQ(part.fccType, ICTYPE_VIDEO);
    EXPECT_EQ(part.fccHandler, kMsvc);
    EXPECT_EQ(part.dwFlags, 0xABABABABu);
    EXPECT_EQ(part.szDescription[0], 0xABAB);

    std::vector<std::uint8_t> big(1000, 0xAB);
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_GETINFO, Session::Ptr(big.data()), 1000), 568);
    EXPECT_EQ(std::memcmp(big.data(), &full, sizeof(full)), 0);
    EXPECT_EQ(big[568], 0xAB);
    EXPECT_EQ(ICGetInfo(hic.get(), &part, 0), 0);
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_GETINFO, 0, 568), 0);
}

TEST(MsvcInfo, OpensForCompressionAndQueryOnly) {
    EXPECT_TRUE(OpenMsvc(ICMODE_COMPRESS));
    EXPECT_TRUE(OpenMsvc(ICMODE_QUERY));
    EXPECT_FALSE(OpenMsvc(ICMODE_DECOMPRESS));
    EXPECT_TRUE(CodecHandle(ICOpen(ICTYPE_VIDEO, mmioFOURCC('m', 's', 'v', 'c'), ICMODE_QUERY)));
    EXPECT_FALSE(CodecHandle(ICOpen(ICTYPE_VIDEO, mmioFOURCC('I', 'V', '5', '0'), ICMODE_QUERY)));
}

class MsvcRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(MsvcRoundTrip, DecodesToWhatWasShown) {
    const int depth = GetParam();
    constexpr int kWidth = 64, kHeight = 48, kFrames = 12;
    Session session;
    ASSERT_EQ(session.Begin(DibHeader(kWidth, kHeight, depth), 50), ICERR_OK);
    Decoder decoder(session.format());
    std::vector<Rgb> decoded;
    for (int i = 0; i < kFrames; ++i) {
        const Frame frame = SceneFrame(kWidth, kHeight, depth, i);
        const auto compressed = session.Compress(frame);
        ASSERT_EQ(compressed.result, ICERR_OK) << "frame " << i;
        EXPECT_EQ(compressed.key, i == 0) << "frame " << i;
        ASSERT_TRUE(decoder.Decode(compressed.bytes, &decoded)) << "frame " << i;
        // Most blocks come back within a step; a block of more colours than its quarters can
        // hold may leave a few pixels far off. A picture turned upside down or with swapped
        // channels is off everywhere.
        const Difference d = Compare(frame.picture, decoded);
        EXPECT_LT(d.mean, 0.5) << "frame " << i;
        EXPECT_LT(d.far, 0.03) << "frame " << i;
    }
    EXPECT_EQ(session.End(), ICERR_OK);
}

INSTANTIATE_TEST_SUITE_P(Depths, MsvcRoundTrip, ::testing::Values(8, 16, 24, 32),
                         [](const auto& info) { return std::to_string(info.param) + "bpp"; });

namespace {

// Compresses `frames` frames of the scene; returns the numbers of the key frames.
std::set<int> KeyFrames(std::int32_t keyRate, const std::set<int>& forced, int frames,
                        std::vector<std::vector<std::uint8_t>>* out = nullptr) {
    Session session;
    EXPECT_EQ(session.Begin(DibHeader(64, 48, 32), keyRate), ICERR_OK);
    std::set<int> keys;
    for (int i = 0; i < frames; ++i) {
        const auto compressed = session.Compress(SceneFrame(64, 48, 32, i), forced.count(i) > 0);
        EXPECT_EQ(compressed.result, ICERR_OK);
        if (compressed.key) keys.insert(i);
        if (out != nullptr) out->push_back(compressed.bytes);
    }
    return keys;
}

}  // namespace

TEST(MsvcKeyFrames, ComeAtTheKeyRateAndWhereverAsked) {
    // A forced key frame restarts the count.
    EXPECT_EQ(KeyFrames(5, {7}, 20), (std::set<int>{0, 5, 7, 12, 17}));
    EXPECT_EQ(KeyFrames(0, {3, 10}, 14), (std::set<int>{0, 3, 10}));
    EXPECT_EQ(KeyFrames(0, {}, 14), (std::set<int>{0}));
    EXPECT_EQ(KeyFrames(1, {}, 5), (std::set<int>{0, 1, 2, 3, 4}));
}

TEST(MsvcKeyFrames, AKeyFrameDecodesWithoutThoseBefore) {
    std::vector<std::vector<std::uint8_t>> frames;
    ASSERT_EQ(KeyFrames(0, {6}, 9, &frames), (std::set<int>{0, 6}));
    // A fresh decoder starting at frame 6 sees the same pictures as one that saw all of them.
    Session session;
    ASSERT_EQ(session.Begin(DibHeader(64, 48, 32), 0), ICERR_OK);
    Decoder fromStart(session.format()), fromKey(session.format());
    std::vector<Rgb> a, b;
    for (int i = 0; i < 9; ++i) {
        ASSERT_TRUE(fromStart.Decode(frames[i], &a));
        if (i < 6) continue;
        ASSERT_TRUE(fromKey.Decode(frames[i], &b));
        EXPECT_TRUE(a == b) << "frame " << i;
        EXPECT_LT(Compare(SceneFrame(64, 48, 32, i).picture, b).mean, 0.5) << "frame " << i;
    }
    // A delta frame is much smaller than the key frame it builds on.
    EXPECT_LT(frames[7].size() * 3, frames[6].size());
}

TEST(MsvcCompress, WorstCaseFramesFitTheSizePromised) {
    constexpr int kWidth = 64, kHeight = 48;
    Session session;
    ASSERT_EQ(session.Begin(DibHeader(kWidth, kHeight, 32), 0), ICERR_OK);
    Frame frame = SceneFrame(kWidth, kHeight, 32, 0);
    std::mt19937 random(7);
    for (int i = 0; i < 6; ++i) {
        for (std::size_t p = 0; p < frame.pixels.size(); ++p) {
            const int x = static_cast<int>(p / 4 % kWidth), y = static_cast<int>(p / 4 / kWidth);
            frame.pixels[p] = i % 2 ? static_cast<std::uint8_t>(random())
                                    : static_cast<std::uint8_t>((x ^ y) & 1 ? 0xFF : 0);
        }
        const auto compressed = session.Compress(frame, i == 4);
        ASSERT_EQ(compressed.result, ICERR_OK) << "frame " << i;
        EXPECT_LE(compressed.bytes.size(), session.output().biSizeImage);
    }
}

TEST(MsvcCompress, HasAQualityControlAndChecksItsRange) {
    ICINFO info{};
    ASSERT_TRUE(ICInfo(ICTYPE_VIDEO, 0, &info));
    EXPECT_TRUE(info.dwFlags & VIDCF_QUALITY);
    Session session;
    EXPECT_EQ(session.Begin(DibHeader(64, 48, 24), 0, 10001), ICERR_BADPARAM);
    EXPECT_EQ(session.Begin(DibHeader(64, 48, 24), 0, -2), ICERR_BADPARAM);
    EXPECT_EQ(session.Begin(DibHeader(64, 48, 24), -1), ICERR_BADPARAM);
    EXPECT_EQ(session.Begin(DibHeader(64, 48, 24), 0, ICQUALITY_DEFAULT), ICERR_OK);
}

TEST(MsvcFaults, BadFramesGiveAnErrorAndSpoilNothing) {
    Session session;
    const Frame good = SceneFrame(64, 48, 32, 0);
    EXPECT_EQ(session.Compress(good).result, ICERR_ERROR);  // not begun
    ASSERT_EQ(session.Begin(*good.header(), 0), ICERR_OK);

    const Frame wrongSize = SceneFrame(68, 48, 32, 0);
    EXPECT_EQ(session.Compress(wrongSize).result, ICERR_BADFORMAT);
    const Frame wrongDepth = SceneFrame(64, 48, 24, 0);
    EXPECT_EQ(session.Compress(wrongDepth).result, ICERR_BADFORMAT);
    Frame compressed = SceneFrame(64, 48, 32, 0);
    compressed.info.header.biCompression = kMsvc;
    EXPECT_EQ(session.Compress(compressed).result, ICERR_BADFORMAT);
    const Frame odd = SceneFrame(63, 48, 32, 0);
    EXPECT_EQ(session.Compress(odd).result, ICERR_BADIMAGESIZE);
    EXPECT_EQ(session.Compress(good.header(), nullptr, false).result, ICERR_BADPARAM);
    EXPECT_EQ(session.Compress(nullptr, good.pixels.data(), false).result, ICERR_BADPARAM);
    EXPECT_EQ(ICSendMessage(session.hic(), ICM_COMPRESS, 0, 0), ICERR_BADPARAM);

    // The session goes on as if the bad frames had never come.
    const auto first = session.Compress(good);
    ASSERT_EQ(first.result, ICERR_OK);
    EXPECT_TRUE(first.key);
    const auto second = session.Compress(SceneFrame(64, 48, 32, 1));
    ASSERT_EQ(second.result, ICERR_OK);
    EXPECT_FALSE(second.key);
    Decoder decoder(session.format());
    std::vector<Rgb> picture;
    ASSERT_TRUE(decoder.Decode(first.bytes, &picture));
    ASSERT_TRUE(decoder.Decode(second.bytes, &picture));
    EXPECT_LT(Compare(SceneFrame(64, 48, 32, 1).picture, picture).mean, 0.5);

    EXPECT_EQ(session.End(), ICERR_OK);
    EXPECT_EQ(session.Compress(good).result, ICERR_ERROR);  // ended
}

TEST(MsvcFaults, BeginRefusesWhatItCannotCompress) {
    auto query = OpenMsvc(ICMODE_QUERY);
    const BITMAPINFOHEADER in = DibHeader(64, 48, 32);
    BITMAPINFOHEADER out = OutputFor(query.get(), in);
    EXPECT_EQ(ICSendMessage(query.get(), ICM_COMPRESS_BEGIN, Session::Ptr(&in), Session::Ptr(&out)),
              ICERR_UNSUPPORTED);

    auto hic = OpenMsvc(ICMODE_COMPRESS);
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_COMPRESS_BEGIN, Session::Ptr(&in), 0), ICERR_BADPARAM);
    out.biBitCount = 24;
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_COMPRESS_BEGIN, Session::Ptr(&in), Session::Ptr(&out)),
              ICERR_BADFORMAT);
    const BITMAPINFOHEADER odd = DibHeader(62, 48, 32);
    out = OutputFor(hic.get(), in);
    out.biWidth = 62;
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_COMPRESS_BEGIN, Session::Ptr(&odd), Session::Ptr(&out)),
              ICERR_BADIMAGESIZE);
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_COMPRESS_FRAMES_INFO, 0, 0), ICERR_BADPARAM);
    EXPECT_EQ(ICSendMessage(hic.get(), 0x4FFF, 0, 0), ICERR_UNSUPPORTED);
}

TEST(MsvcDialogs, HasAnAboutBoxAndNoConfiguration) {
    auto hic = OpenMsvc();
    ASSERT_TRUE(hic);
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_ABOUT, -1, ICMF_ABOUT_QUERY), ICERR_OK);
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_CONFIGURE, -1, ICMF_CONFIGURE_QUERY), ICERR_UNSUPPORTED);
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_CONFIGURE, 0, 0), ICERR_UNSUPPORTED);
    // Without a running Qt application there is nowhere to show the box.
    EXPECT_EQ(ICSendMessage(hic.get(), ICM_ABOUT, 0, 0), ICERR_ERROR);
}

TEST(MsvcDrivers, ACodecWhoseEncoderIsMissingIsNotInstalled) {
    EncoderEntry missing = EncoderTable()[0];
    missing.handler = mmioFOURCC('N', 'O', 'N', 'E');
    missing.encoder = "korvex-no-such-encoder";
    missing.own = nullptr;
    const std::vector<EncoderEntry> entries = {missing, EncoderTable()[0]};
    const auto drivers = DriversFor(entries);
    ASSERT_EQ(drivers.size(), 1u);
    EXPECT_EQ(drivers[0]->Info().fccHandler, kMsvc);
    EXPECT_EQ(AvCodecDriver(missing).Open(ICMODE_COMPRESS), nullptr);

    // Through the registry, the missing codec can neither be enumerated nor opened.
    ScopedDrivers installed(DriversFor(entries));
    ICINFO info{};
    ASSERT_TRUE(ICInfo(ICTYPE_VIDEO, 0, &info));
    EXPECT_EQ(info.fccHandler, kMsvc);
    EXPECT_FALSE(ICInfo(ICTYPE_VIDEO, 1, &info));
    EXPECT_EQ(ICOpen(ICTYPE_VIDEO, missing.handler, ICMODE_QUERY), nullptr);
}
