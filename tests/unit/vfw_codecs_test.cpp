// The libavcodec-backed drivers besides 'MSVC', through the codec messages: the catalogue order,
// queries against what the real encoders take, frames read back with libavcodec's decoders at
// every DIB depth, key frames, quality and the size promised for a frame.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>

#include "platform/vfw/avcodec_driver.h"
#include "platform/vfw/codec_table.h"
#include "tests/unit/vfw_test_decoder.h"
#include "tests/unit/vfw_test_support.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

using namespace vfwtest;

namespace {

struct CodecCase {
    const char* label;
    FOURCC handler;
    const char* encoder;
    AVPixelFormat encoderInput;  // what the encoder is tried with, independently of the driver
    bool lossless;
    bool intraOnly;
    int widthMultiple, heightMultiple;
    double meanSteps;  // largest mean error at quality 7500, in 8-bit levels
    double farShare;   // largest share of pixels off by more than 24 levels
};

const CodecCase kCodecs[] = {
    {"MJPG", mmioFOURCC('M', 'J', 'P', 'G'), "mjpeg", AV_PIX_FMT_YUV422P, false, true, 2, 1, 2.0,
     0.01},
    {"ZMBV", mmioFOURCC('Z', 'M', 'B', 'V'), "zmbv", AV_PIX_FMT_BGR0, true, false, 1, 1, 0, 0},
    {"H264", mmioFOURCC('H', '2', '6', '4'), "libx264", AV_PIX_FMT_YUV420P, false, false, 2, 2, 2.5,
     0.01},
    {"XVID", mmioFOURCC('X', 'V', 'I', 'D'), "mpeg4", AV_PIX_FMT_YUV420P, false, false, 2, 2, 2.5,
     0.01},
    {"HFYU", mmioFOURCC('H', 'F', 'Y', 'U'), "huffyuv", AV_PIX_FMT_RGB24, true, true, 1, 1, 0, 0},
};

std::string Label(const ::testing::TestParamInfo<CodecCase>& info) {
    return info.param.label;
}

class QuietLibav : public ::testing::Environment {
    void SetUp() override { av_log_set_level(AV_LOG_QUIET); }
};
const auto* const kQuiet = ::testing::AddGlobalTestEnvironment(new QuietLibav);

LRESULT Query(HIC hic, const BITMAPINFOHEADER& in, const void* out = nullptr) {
    return ICSendMessage(hic, ICM_COMPRESS_QUERY, Session::Ptr(&in), Session::Ptr(out));
}

// Whether libavcodec's encoder itself opens for that size and compresses a picture.
bool EncoderTakes(const CodecCase& c, int width, int height) {
    const AVCodec* codec = avcodec_find_encoder_by_name(c.encoder);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->width = width;
    context->height = height;
    context->pix_fmt = c.encoderInput;
    context->color_range = AVCOL_RANGE_JPEG;
    context->time_base = {1, 5};
    av_opt_set(context, "preset", "ultrafast", AV_OPT_SEARCH_CHILDREN);
    av_opt_set(context, "tune", "zerolatency", AV_OPT_SEARCH_CHILDREN);
    bool took = avcodec_open2(context, codec, nullptr) == 0;
    AVFrame* frame = av_frame_alloc();
    frame->format = c.encoderInput;
    frame->width = width;
    frame->height = height;
    AVPacket* packet = av_packet_alloc();
    took = took && av_frame_get_buffer(frame, 0) == 0;
    if (took) {
        const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(c.encoderInput);
        for (int p = 0; p < layout->nb_components && frame->data[p] != nullptr; ++p) {
            const int rows = p == 0 ? height : -(-height >> layout->log2_chroma_h);
            std::memset(
                frame->data[p], 0x80,
                static_cast<std::size_t>(frame->linesize[p]) * static_cast<std::size_t>(rows));
        }
        took =
            avcodec_send_frame(context, frame) == 0 && avcodec_receive_packet(context, packet) == 0;
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return took;
}

// Frame i of the scene turned into noise: every byte random, the row padding too.
Frame NoiseFrame(int width, int height, int bitCount, int seed) {
    Frame frame = SceneFrame(width, height, bitCount, 0);
    std::mt19937 random(static_cast<unsigned>(seed));
    for (auto& byte : frame.pixels) byte = static_cast<std::uint8_t>(random());
    for (auto& colour : frame.info.colours) colour = random() & 0xFFFFFF;
    return frame;
}

class CodecTest : public ::testing::TestWithParam<CodecCase> {
protected:
    CodecHandle Open() const {
        return CodecHandle(ICOpen(ICTYPE_VIDEO, GetParam().handler, ICMODE_QUERY));
    }
};

}  // namespace

TEST(CodecCatalogue, InstalledInTheirFixedOrder) {
    const std::vector<std::pair<FOURCC, std::u16string>> expected = {
        {kMsvc, u"Microsoft Video 1"},
        {mmioFOURCC('M', 'J', 'P', 'G'), u"Motion JPEG"},
        {mmioFOURCC('Z', 'M', 'B', 'V'), u"Zip Motion Block Video"},
        {mmioFOURCC('H', '2', '6', '4'), u"H.264 (x264)"},
        {mmioFOURCC('X', 'V', 'I', 'D'), u"MPEG-4 Part 2 (Xvid)"},
        {mmioFOURCC('H', 'F', 'Y', 'U'), u"Huffyuv"},
    };
    for (std::uint32_t i = 0; i < expected.size(); ++i) {
        ICINFO info{};
        ASSERT_TRUE(ICInfo(ICTYPE_VIDEO, i, &info)) << i;
        EXPECT_EQ(info.fccHandler, expected[i].first) << i;
        EXPECT_EQ(std::u16string(info.szDescription), expected[i].second) << i;
    }
    ICINFO info{};
    EXPECT_FALSE(ICInfo(ICTYPE_VIDEO, static_cast<std::uint32_t>(expected.size()), &info));
}

TEST(CodecCatalogue, AMissingEncoderLeavesTheOthersInOrder) {
    std::vector<EncoderEntry> entries(EncoderTable().begin(), EncoderTable().end());
    entries[3].encoder = "korvex-no-such-encoder";  // H.264
    const auto drivers = DriversFor(entries);
    ASSERT_EQ(drivers.size(), entries.size() - 1);
    for (std::size_t i = 0; i < drivers.size(); ++i) {
        EXPECT_EQ(drivers[i]->Info().fccHandler, entries[i < 3 ? i : i + 1].handler) << i;
    }
}

TEST_P(CodecTest, QueryTakesTheSizesTheEncoderTakes) {
    const CodecCase& c = GetParam();
    auto hic = Open();
    ASSERT_TRUE(hic);
    for (int w = 1; w <= 20; ++w) {
        for (int h = 1; h <= 20; ++h) {
            // Sizes the encoder takes, except those whose chroma would come back misplaced.
            const bool accepted = Query(hic.get(), DibHeader(w, h, 24)) == ICERR_OK;
            const bool multiples = w % c.widthMultiple == 0 && h % c.heightMultiple == 0;
            EXPECT_EQ(accepted, multiples) << w << " x " << h;
            EXPECT_EQ(accepted, multiples && EncoderTakes(c, w, h)) << w << " x " << h;
        }
    }
    // The sizes a recorder tries for a 101 x 75 region: its own, then aligned to 2, 4 and 8.
    const int multiple = std::max(c.widthMultiple, c.heightMultiple);
    const int firstTaken = multiple == 1 ? 0 : multiple == 2 ? 1 : 2;
    const std::pair<int, int> tried[] = {{101, 75}, {102, 76}, {104, 76}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(Query(hic.get(), DibHeader(tried[i].first, tried[i].second, 32)) == ICERR_OK,
                  i >= firstTaken)
            << tried[i].first << " x " << tried[i].second;
    }
    EXPECT_EQ(Query(hic.get(), DibHeader(1366, 768, 32)) == ICERR_OK, c.widthMultiple <= 2);
    EXPECT_EQ(Query(hic.get(), DibHeader(1920, 1080, 32)), ICERR_OK);
}

TEST_P(CodecTest, QueryKnowsTheLargestSizes) {
    const CodecCase& c = GetParam();
    auto hic = Open();
    ASSERT_TRUE(hic);
    // The largest width and height of each encoder, checked against the encoder just inside
    // and just outside; ZMBV and Huffyuv have none below libavcodec's own picture limit.
    const std::map<std::string, int> largest = {{"MJPG", 65500}, {"H264", 16384}, {"XVID", 8191}};
    const auto it = largest.find(c.label);
    if (it == largest.end()) {
        EXPECT_EQ(Query(hic.get(), DibHeader(100000, 4, 8)), ICERR_OK);
        EXPECT_TRUE(EncoderTakes(c, 100000, 4));
        EXPECT_EQ(Query(hic.get(), DibHeader(100000, 100000, 8)), ICERR_BADIMAGESIZE);
        return;
    }
    const int step = std::max(c.widthMultiple, c.heightMultiple);
    const int max = it->second / step * step;
    for (auto [w, h] : {std::pair{max, 4}, std::pair{4, max}}) {
        EXPECT_EQ(Query(hic.get(), DibHeader(w, h, 8)), ICERR_OK) << w << " x " << h;
        EXPECT_TRUE(EncoderTakes(c, w, h)) << w << " x " << h;
    }
    for (auto [w, h] : {std::pair{max + step, 4}, std::pair{4, max + step}}) {
        EXPECT_EQ(Query(hic.get(), DibHeader(w, h, 8)), ICERR_BADIMAGESIZE) << w << " x " << h;
        EXPECT_FALSE(EncoderTakes(c, w, h)) << w << " x " << h;
    }
}

TEST_P(CodecTest, OutputFormatNamesTheCodec) {
    const CodecCase& c = GetParam();
    for (int depth : {8, 16, 24, 32}) {
        Session session(c.handler);
        const BITMAPINFOHEADER in = DibHeader(320, 200, depth);
        ASSERT_EQ(session.Begin(in, 0), ICERR_OK) << depth;
        const BITMAPINFOHEADER& out = session.output();
        EXPECT_EQ(out.biCompression, c.handler);
        EXPECT_EQ(out.biWidth, 320);
        EXPECT_EQ(out.biHeight, 200);
        EXPECT_EQ(out.biPlanes, 1);
        EXPECT_EQ(out.biSize, session.format().size());
        EXPECT_EQ(out.biSizeImage, session.bufferSize());
        // ZMBV keeps the depth (24-bit pixels widened to 32); the others write 24-bit pictures.
        const int bits = std::string(c.label) == "ZMBV" ? (depth == 24 ? 32 : depth) : 24;
        EXPECT_EQ(out.biBitCount, bits) << depth;
        // Only Huffyuv's decoder needs codec data (its code tables) behind the header.
        EXPECT_EQ(session.format().size() > sizeof(BITMAPINFOHEADER),
                  std::string(c.label) == "HFYU");
        EXPECT_EQ(Query(session.hic(), in, session.format().data()), ICERR_OK);
    }
    // The format is the same each time it is asked for.
    Session first(c.handler), second(c.handler);
    ASSERT_EQ(first.Begin(DibHeader(64, 48, 32), 0), ICERR_OK);
    ASSERT_EQ(second.Begin(DibHeader(64, 48, 32), 0), ICERR_OK);
    EXPECT_EQ(first.format(), second.format());
}

class CodecRoundTrip : public ::testing::TestWithParam<std::tuple<CodecCase, int>> {};

TEST_P(CodecRoundTrip, DecodesToWhatWasShown) {
    const auto& [c, depth] = GetParam();
    // An odd size where the codec takes one, to reach the edges of the conversions.
    const int width = c.widthMultiple == 1 ? 63 : 64;
    const int height = c.heightMultiple == 1 ? 47 : 48;
    Session session(c.handler);
    ASSERT_EQ(session.Begin(DibHeader(width, height, depth), 0), ICERR_OK);
    Decoder decoder(session.format());
    std::vector<Rgb> decoded;
    for (int i = 0; i < 8; ++i) {
        const Frame frame = SceneFrame(width, height, depth, i);
        const auto compressed = session.Compress(frame);
        ASSERT_EQ(compressed.result, ICERR_OK) << "frame " << i;
        ASSERT_TRUE(decoder.Decode(compressed.bytes, &decoded)) << "frame " << i;
        if (c.lossless) {
            const Difference d = Compare(frame.picture, decoded, 8, 0);
            EXPECT_EQ(d.mean, 0) << "frame " << i;
            continue;
        }
        // A picture upside down, with swapped channels or the wrong range is off by far more.
        const Difference d = Compare(frame.picture, decoded, 8, 24);
        EXPECT_LT(d.mean, c.meanSteps) << "frame " << i;
        EXPECT_LT(d.far, c.farShare) << "frame " << i;
    }
    EXPECT_EQ(session.End(), ICERR_OK);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CodecRoundTrip,
                         ::testing::Combine(::testing::ValuesIn(kCodecs),
                                            ::testing::Values(8, 16, 24, 32)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).label) + "_" +
                                    std::to_string(std::get<1>(info.param)) + "bpp";
                         });

namespace {

struct Keyed {
    std::set<int> keys;
    std::vector<std::vector<std::uint8_t>> frames;
    std::vector<std::uint8_t> format;
};

Keyed CompressScene(FOURCC handler, std::int32_t keyRate, const std::set<int>& forced, int count,
                    std::int32_t quality = 7500, int width = 64, int height = 48) {
    Session session(handler);
    Keyed out;
    EXPECT_EQ(session.Begin(DibHeader(width, height, 32), keyRate, quality), ICERR_OK);
    for (int i = 0; i < count; ++i) {
        const auto compressed =
            session.Compress(SceneFrame(width, height, 32, i), forced.count(i) > 0);
        EXPECT_EQ(compressed.result, ICERR_OK);
        if (compressed.key) out.keys.insert(i);
        out.frames.push_back(compressed.bytes);
    }
    out.format = session.format();
    return out;
}

std::set<int> All(int count) {
    std::set<int> all;
    for (int i = 0; i < count; ++i) all.insert(i);
    return all;
}

}  // namespace

TEST_P(CodecTest, KeyFramesComeAtTheKeyRateAndWhereverAsked) {
    const CodecCase& c = GetParam();
    if (c.intraOnly) {
        EXPECT_EQ(CompressScene(c.handler, 0, {}, 6).keys, All(6));
        EXPECT_EQ(CompressScene(c.handler, 4, {2}, 6).keys, All(6));
        return;
    }
    // A forced key frame restarts the count.
    EXPECT_EQ(CompressScene(c.handler, 5, {7}, 20).keys, (std::set<int>{0, 5, 7, 12, 17}));
    EXPECT_EQ(CompressScene(c.handler, 0, {3, 10}, 14).keys, (std::set<int>{0, 3, 10}));
    EXPECT_EQ(CompressScene(c.handler, 0, {}, 14).keys, (std::set<int>{0}));
    EXPECT_EQ(CompressScene(c.handler, 1, {}, 4).keys, All(4));
}

TEST_P(CodecTest, AKeyFrameDecodesWithoutThoseBefore) {
    const CodecCase& c = GetParam();
    const Keyed stream = CompressScene(c.handler, 0, {6}, 9);
    // A fresh decoder starting at frame 6 sees the same pictures as one that saw all of them.
    Decoder fromStart(stream.format), fromKey(stream.format);
    std::vector<Rgb> a, b;
    for (int i = 0; i < 9; ++i) {
        ASSERT_TRUE(fromStart.Decode(stream.frames[i], &a)) << i;
        if (i < 6) continue;
        ASSERT_TRUE(fromKey.Decode(stream.frames[i], &b)) << i;
        EXPECT_TRUE(a == b) << "frame " << i;
    }
    // A delta frame of a scene that hardly moves is much smaller than the key frame before it.
    if (!c.intraOnly) {
        EXPECT_LT(stream.frames[7].size() * 2, stream.frames[6].size());
    }
}

TEST_P(CodecTest, QualityChangesFramesWhereTheCodecHasAControl) {
    const CodecCase& c = GetParam();
    // Large enough that the pictures, not the headers, make up the frames.
    const Keyed low = CompressScene(c.handler, 0, {}, 4, 2500, 160, 120);
    const Keyed high = CompressScene(c.handler, 0, {}, 4, 10000, 160, 120);
    if (c.lossless) {
        EXPECT_EQ(low.frames, high.frames);
        return;
    }
    std::size_t lowBytes = 0, highBytes = 0;
    for (int i = 0; i < 4; ++i)
        lowBytes += low.frames[i].size(), highBytes += high.frames[i].size();
    EXPECT_LT(lowBytes, highBytes);
    // And the better quality is the closer picture.
    Decoder lowDecoder(low.format), highDecoder(high.format);
    std::vector<Rgb> lowPicture, highPicture;
    ASSERT_TRUE(lowDecoder.Decode(low.frames[0], &lowPicture));
    ASSERT_TRUE(highDecoder.Decode(high.frames[0], &highPicture));
    const auto shown = SceneFrame(160, 120, 32, 0).picture;
    EXPECT_LT(Compare(shown, highPicture, 8).mean, Compare(shown, lowPicture, 8).mean);
}

TEST_P(CodecTest, WorstCaseFramesFitTheSizePromised) {
    const CodecCase& c = GetParam();
    for (int depth : {8, 32}) {
        Session session(c.handler);
        ASSERT_EQ(session.Begin(DibHeader(64, 48, depth), 0, 10000), ICERR_OK);
        for (int i = 0; i < 4; ++i) {
            const auto compressed = session.Compress(NoiseFrame(64, 48, depth, i), i == 2);
            ASSERT_EQ(compressed.result, ICERR_OK) << depth << " bits, frame " << i;
            EXPECT_LE(compressed.bytes.size(), session.output().biSizeImage);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, CodecTest, ::testing::ValuesIn(kCodecs), Label);
