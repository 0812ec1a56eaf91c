// Our screen encoders, Microsoft Video 1 and ZMBV, on their own, read back by libavcodec's
// decoders: pictures that change in one corner pixel, everywhere, or back and forth every frame,
// at sizes off the block grid; which blocks Video 1 skips and how far its blocks stray at each
// quality. Also built with AddressSanitizer and UndefinedBehaviorSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <set>
#include <string>

#include "platform/vfw/msvc_encoder.h"
#include "platform/vfw/zmbv_encoder.h"
#include "tests/unit/vfw_test_decoder.h"

extern "C" {
#include <libavutil/log.h>
}

using namespace vfwtest;

namespace {

// The decoders log what they find wrong in a frame even where they go on and give a picture.
std::atomic<int> complaints{0};

void CountComplaints(void*, int level, const char*, std::va_list) {
    if (level <= AV_LOG_WARNING) ++complaints;
}

class CountingLibav : public ::testing::Environment {
    void SetUp() override { av_log_set_callback(CountComplaints); }
};
const auto* const kCounting = ::testing::AddGlobalTestEnvironment(new CountingLibav);

constexpr FOURCC kZmbv = mmioFOURCC('Z', 'M', 'B', 'V');

// Picture i of a sequence, as colour-table indices.
using IndexOf = int (*)(int x, int y, int width, int height, int i);

struct Sequence {
    const char* name;
    IndexOf index;
};

// A different corner pixel each frame takes a colour of its own.
int CornerPixel(int x, int y, int w, int h, int i) {
    const int corner = i % 4;
    const bool hit = i > 0 && x == (corner % 2 == 0 ? w - 1 : 0) && y == (corner < 2 ? h - 1 : 0);
    return hit ? (i * 37) & 255 : SceneIndex(x, y, w, h, 0);
}

// Every pixel changes every frame, to many colours.
int Everything(int x, int y, int, int, int i) {
    return (x * 7 + y * 3 + (x * y) / 5 + i * 50) & 255;
}

// The many colours scroll up 3 rows a frame.
int Scrolling(int x, int y, int w, int h, int i) {
    return Everything(x, y + 3 * i, w, h, 0);
}

// The many colours dragged 5 right and 3 down a frame, past the blocks' own size over the run.
int Dragged(int x, int y, int w, int h, int i) {
    return Everything(x - 5 * i, y - 3 * i, w, h, 0);
}

// Two pictures, one after the other.
int Alternating(int x, int y, int w, int h, int i) {
    return SceneIndex(x, y, w, h, i % 2 * 5);
}

const Sequence kSequences[] = {
    {"corner pixel", CornerPixel}, {"everything", Everything},    {"scrolling", Scrolling},
    {"alternating", Alternating},  {"moving square", SceneIndex}, {"dragged", Dragged},
};

Frame FrameOf(IndexOf index, int width, int height, int depth, int i) {
    return PaletteFrame(width, height, depth,
                        [&](int x, int y) { return index(x, y, width, height, i); });
}

DibImage ImageOf(const Frame& f) {
    return {f.info.header.biWidth, f.info.header.biHeight, f.info.header.biBitCount, f.pixels,
            f.info.colours};
}

// A compression session of one of our encoders, with the format a decoder is set up from.
struct Encoding {
    Encoding(FOURCC codec, int width, int height, int depth, int quality = 7500,
             ZmbvLevels levels = kZmbvLevels)
        : encoder(codec == kMsvc
                      ? OpenMsvcEncoder({width, height, depth, {1, 5}, quality})
                      : OpenZmbvEncoder({width, height, depth, {1, 5}, quality}, levels)) {
        BITMAPINFOHEADER h = DibHeader(width, height,
                                       codec == kMsvc ? 16
                                       : depth == 24  ? 32
                                                      : depth);
        h.biCompression = codec;
        format.resize(sizeof h);
        std::memcpy(format.data(), &h, sizeof h);
    }

    std::vector<std::uint8_t> Encode(const Frame& frame, bool key) {
        FrameEncoder::Packet packet;
        EXPECT_EQ(encoder->Load(ImageOf(frame)), ICERR_OK);
        EXPECT_EQ(encoder->Encode(key, &packet), ICERR_OK);
        EXPECT_EQ(packet.key, key);
        return {packet.bytes.begin(), packet.bytes.end()};
    }

    std::unique_ptr<FrameEncoder> encoder;
    std::vector<std::uint8_t> format;
};

enum class Code { Skip, One, Two, Eight };

// The code of each block of a Video 1 frame, in the order the frame holds them (bottom block
// row first); read as the format is laid out, independently of the encoder.
std::vector<Code> Codes(const std::vector<std::uint8_t>& bytes, std::size_t blocks) {
    std::vector<Code> codes;
    std::size_t at = 0;
    const auto word = [&] {
        const int w = at + 1 < bytes.size() ? bytes[at] | bytes[at + 1] << 8 : -1;
        at += 2;
        return w;
    };
    while (codes.size() < blocks) {
        const int flags = word();
        if (flags < 0) return {};
        if ((flags >> 8 & 0xFC) == 0x84) {
            codes.insert(codes.end(), static_cast<std::size_t>(flags - 0x8400), Code::Skip);
        } else if (flags >= 0x8000) {
            codes.push_back(Code::One);
        } else {
            const bool eight = (word() & 0x8000) != 0;
            at += eight ? 14 : 2;
            codes.push_back(eight ? Code::Eight : Code::Two);
        }
    }
    return at == bytes.size() && codes.size() == blocks ? codes : std::vector<Code>{};
}

// The 5-bit channels of the pixels of a 4 x 4 block (block row counted from the top).
std::vector<Rgb> BlockOf(const std::vector<Rgb>& picture, int width, int row, int column) {
    std::vector<Rgb> block;
    for (int y = row * 4; y < row * 4 + 4; ++y) {
        for (int x = column * 4; x < column * 4 + 4; ++x) {
            const Rgb p = picture[static_cast<std::size_t>(y * width + x)];
            block.push_back({p.r >> 3, p.g >> 3, p.b >> 3});
        }
    }
    return block;
}

std::int64_t SquaredError(const std::vector<Rgb>& a, const std::vector<Rgb>& b) {
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        sum += (a[i].r - b[i].r) * (a[i].r - b[i].r) + (a[i].g - b[i].g) * (a[i].g - b[i].g) +
               (a[i].b - b[i].b) * (a[i].b - b[i].b);
    }
    return sum;
}

// Whether each quarter (top left, top right, bottom left, bottom right) of a block holds no more
// than two colours, so that eight colours could show it exactly; and whether `decoded` does.
struct Quarters {
    bool twoColoursEach = true;
    bool exact = true;
};

Quarters QuartersOf(const std::vector<Rgb>& shown, const std::vector<Rgb>& decoded) {
    Quarters result;
    for (int quarter = 0; quarter < 4; ++quarter) {
        std::set<std::tuple<int, int, int>> colours;
        for (int y = quarter / 2 * 2; y < quarter / 2 * 2 + 2; ++y) {
            for (int x = quarter % 2 * 2; x < quarter % 2 * 2 + 2; ++x) {
                const auto i = static_cast<std::size_t>(y * 4 + x);
                colours.insert({shown[i].r, shown[i].g, shown[i].b});
                result.exact = result.exact && shown[i] == decoded[i];
            }
        }
        result.twoColoursEach = result.twoColoursEach && colours.size() <= 2;
    }
    return result;
}

// Video 1 skips exactly the blocks that did not change (none in a key frame). Where eight colours
// would show a block exactly, they do, or one or two colours stray no further than the bytes
// they save are worth at the quality.
void ExpectVideo1Blocks(const std::vector<std::uint8_t>& bytes, bool key, int quality, int width,
                        const std::vector<Rgb>& shown, const std::vector<Rgb>& before,
                        const std::vector<Rgb>& decoded) {
    const int wide = width / 4, high = static_cast<int>(shown.size()) / width / 4;
    const auto codes = Codes(bytes, static_cast<std::size_t>(wide * high));
    ASSERT_FALSE(codes.empty()) << "the frame does not hold one code per block";
    for (std::size_t n = 0; n < codes.size(); ++n) {
        const int row = high - 1 - static_cast<int>(n) / wide, column = static_cast<int>(n) % wide;
        const auto source = BlockOf(shown, width, row, column);
        const auto result = BlockOf(decoded, width, row, column);
        const bool unchanged = !key && source == BlockOf(before, width, row, column);
        EXPECT_EQ(codes[n] == Code::Skip, unchanged) << "block " << column << ", " << row;
        const Quarters quarters = QuartersOf(source, result);
        if (codes[n] == Code::Skip || !quarters.twoColoursEach) continue;
        if (codes[n] == Code::Eight) {
            EXPECT_TRUE(quarters.exact) << "block " << column << ", " << row;
        } else {
            EXPECT_LE(SquaredError(source, result), 16 * MsvcByteWeight(quality))
                << "block " << column << ", " << row;
        }
    }
}

struct Case {
    FOURCC codec;
    int width, height;
    ZmbvLevels levels = kZmbvLevels;
};

// Sizes each codec takes that leave part of a block or of a block row over; and ZMBV with key
// and delta frames deflated at levels of zlib's two different kinds, switched frame by frame.
const Case kCases[] = {
    {kMsvc, 20, 16}, {kMsvc, 36, 28}, {kZmbv, 37, 23},
    {kZmbv, 17, 16}, {kZmbv, 48, 33}, {kZmbv, 48, 33, {1, 6}},
};

}  // namespace

TEST(ScreenEncoders, EverySequenceDecodesCleanlyAndKeyFramesStandAlone) {
    constexpr int kFrames = 7, kKey = 4;
    for (const Case& c : kCases) {
        for (int depth : {8, 16, 24, 32}) {
            for (const Sequence& sequence : kSequences) {
                SCOPED_TRACE(std::string(c.codec == kMsvc ? "MSVC " : "ZMBV ") + sequence.name +
                             " " + std::to_string(c.width) + " x " + std::to_string(c.height) +
                             " at " + std::to_string(depth) + " bits");
                Encoding encoding(c.codec, c.width, c.height, depth, 7500, c.levels);
                ASSERT_TRUE(encoding.encoder);
                Decoder fromStart(encoding.format), fromKey(encoding.format);
                std::vector<Rgb> before;
                complaints = 0;
                for (int i = 0; i < kFrames; ++i) {
                    const Frame frame = FrameOf(sequence.index, c.width, c.height, depth, i);
                    const bool key = i == 0 || i == kKey;
                    const auto bytes = encoding.Encode(frame, key);
                    std::vector<Rgb> decoded, alone;
                    ASSERT_TRUE(fromStart.Decode(bytes, &decoded)) << "frame " << i;
                    if (i >= kKey) {
                        ASSERT_TRUE(fromKey.Decode(bytes, &alone)) << "frame " << i;
                        EXPECT_TRUE(alone == decoded) << "frame " << i;
                    }
                    if (c.codec == kZmbv) {
                        EXPECT_TRUE(decoded == frame.picture) << "frame " << i;
                    } else {
                        ExpectVideo1Blocks(bytes, key, 7500, c.width, frame.picture, before,
                                           decoded);
                    }
                    before = frame.picture;
                }
                EXPECT_EQ(complaints, 0);
            }
        }
    }
}

TEST(MsvcQuality, HigherQualityGivesTruerPicturesForMoreBytes) {
    constexpr int kWidth = 64, kHeight = 48;
    // Soft shading of many colours, where the quality decides between one, two and eight.
    const Frame frame = PaletteFrame(kWidth, kHeight, 32, [](int x, int y) {
        return 128 + ((x / 3 + y / 5) & 3) + ((x * y / 37) & 3) * 4 + ((x + 2 * y) / 11 & 7) * 16;
    });
    std::int64_t lastError = INT64_MAX;
    std::size_t lastBytes = 0;
    for (int quality : {0, 2500, 5000, 7500, 10000}) {
        Encoding encoding(kMsvc, kWidth, kHeight, 32, quality);
        const auto bytes = encoding.Encode(frame, true);
        Decoder decoder(encoding.format);
        std::vector<Rgb> decoded;
        ASSERT_TRUE(decoder.Decode(bytes, &decoded));
        std::int64_t error = 0;
        for (int row = 0; row < kHeight / 4; ++row) {
            for (int column = 0; column < kWidth / 4; ++column) {
                error += SquaredError(BlockOf(frame.picture, kWidth, row, column),
                                      BlockOf(decoded, kWidth, row, column));
            }
        }
        EXPECT_LT(error, lastError) << "quality " << quality;
        EXPECT_GT(bytes.size(), lastBytes) << "quality " << quality;
        lastError = error;
        lastBytes = bytes.size();
    }
}

// A picture that stands still long enough for its empty deltas to fill the deflate window with
// zeros, then changes a few rows, becomes a key frame of which only those rows are deflated
// anew, and changes again: libavcodec reads every frame back exactly, from the start and from
// the key frame, whether the encoder is told the changed rows or loads each picture whole.
TEST(ZmbvStills, LongStillsAndKeyFramesOfAFewChangedRowsReadBackExactly) {
    constexpr int kWidth = 512, kHeight = 512, kFrames = 26, kKey = 22;
    // 20: two rows change; from 23 on a band of many colours changes each frame.
    const auto index = [](int x, int y, int i) {
        if (i >= 23 && y >= 200 && y < 260) return Everything(x, y, kWidth, kHeight, i);
        if (i >= 20 && (y == 100 || y == 101) && x < 40) return 250;
        return SceneIndex(x, y, kWidth, kHeight, 0);
    };
    const auto changedRows = [](int i) {
        return i == 20   ? std::vector<RowSpan>{{100, 102}}
               : i >= 23 ? std::vector<RowSpan>{{200, 260}}
                         : std::vector<RowSpan>{};
    };
    for (const bool told : {false, true}) {
        SCOPED_TRACE(told ? "told the changed rows" : "loaded whole");
        Encoding encoding(kZmbv, kWidth, kHeight, 32);
        Decoder fromStart(encoding.format), fromKey(encoding.format);
        complaints = 0;
        for (int i = 0; i < kFrames; ++i) {
            const Frame frame =
                PaletteFrame(kWidth, kHeight, 32, [&](int x, int y) { return index(x, y, i); });
            const std::vector<RowSpan> rows = changedRows(i);
            ASSERT_EQ(told && i > 0 ? encoding.encoder->LoadChanged(ImageOf(frame), rows)
                                    : encoding.encoder->Load(ImageOf(frame)),
                      ICERR_OK);
            FrameEncoder::Packet packet;
            ASSERT_EQ(encoding.encoder->Encode(i == 0 || i == kKey, &packet), ICERR_OK);
            const std::vector<std::uint8_t> bytes(packet.bytes.begin(), packet.bytes.end());
            std::vector<Rgb> decoded, alone;
            ASSERT_TRUE(fromStart.Decode(bytes, &decoded)) << "frame " << i;
            EXPECT_TRUE(decoded == frame.picture) << "frame " << i;
            if (i >= kKey) {
                ASSERT_TRUE(fromKey.Decode(bytes, &alone)) << "frame " << i;
                EXPECT_TRUE(alone == frame.picture) << "frame " << i;
            }
        }
        EXPECT_EQ(complaints, 0);
    }
}
