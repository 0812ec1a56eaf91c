// Frames compressed with the rows that changed named (ICM_KORVEX_CHANGED_ROWS) come out exactly
// as the same frames compressed whole, for every codec, whether one pixel at the picture's edge,
// a moved square, nothing, or a key frame changed, also a key frame of the picture of the last
// one and the frame after it; and spans that break the rules are refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/vfw/changed_rows.h"
#include "tests/unit/vfw_test_support.h"

using namespace vfwtest;

namespace {

constexpr int kWidth = 48, kHeight = 32;

// Picture n of the run, as colour-table indices.
int PictureIndex(int n, int x, int y) {
    if (n >= 1 && x == 0 && y == 0) return 200;                     // the top edge's first pixel
    if (n >= 2 && x == kWidth - 1 && y == kHeight - 1) return 201;  // the bottom edge's last
    if (n >= 5 && x == 20 && y == kHeight / 2) return 202;
    if (n >= 7 && x == 30 && y == 3) return 203;
    return SceneIndex(x, y, kWidth, kHeight, n >= 4 ? 3 : 0);  // at 4 the square moves
}

// 3 and 6 are the picture before them again; 5 and 6 are key frames, 6 of the same picture.
constexpr int kPictures = 8;

Frame PictureFrame(int n, int depth) {
    return PaletteFrame(kWidth, kHeight, depth, [&](int x, int y) { return PictureIndex(n, x, y); });
}

// The rows in which two pictures differ, as spans.
std::vector<RowSpan> RowsThatDiffer(const Frame& a, const Frame& b) {
    std::vector<RowSpan> spans;
    for (int y = 0; y < kHeight; ++y) {
        const auto row = [&](const Frame& f) {
            return std::vector<Rgb>(f.picture.begin() + y * kWidth,
                                    f.picture.begin() + (y + 1) * kWidth);
        };
        if (row(a) == row(b)) continue;
        if (!spans.empty() && spans.back().bottom == y) {
            spans.back().bottom = y + 1;
        } else {
            spans.push_back({y, y + 1});
        }
    }
    return spans;
}

LRESULT TellChanged(Session& session, const std::vector<RowSpan>& spans) {
    const ICCHANGEDROWS rows{static_cast<std::uint32_t>(spans.size()), spans.data()};
    return ICSendMessage(session.hic(), ICM_KORVEX_CHANGED_ROWS, Session::Ptr(&rows), 0);
}

}  // namespace

TEST(ChangedRows, FramesComeOutAsWholeOnes) {
    const FOURCC codecs[] = {kMsvc, mmioFOURCC('Z', 'M', 'B', 'V'), mmioFOURCC('M', 'J', 'P', 'G'),
                             mmioFOURCC('X', 'V', 'I', 'D'), mmioFOURCC('H', 'F', 'Y', 'U'),
                             mmioFOURCC('H', '2', '6', '4')};
    for (const FOURCC codec : codecs) {
        for (const int depth : {32, 16, 8}) {
            SCOPED_TRACE(std::string(reinterpret_cast<const char*>(&codec), 4) + " at " +
                         std::to_string(depth) + " bits");
            Session whole(codec), told(codec);
            const Frame first = PictureFrame(0, depth);
            ASSERT_EQ(whole.Begin(first.info.header, 0), ICERR_OK);
            ASSERT_EQ(told.Begin(first.info.header, 0), ICERR_OK);
            for (int n = 0; n < kPictures; ++n) {
                const Frame frame = PictureFrame(n, depth);
                if (n > 0) {
                    ASSERT_EQ(TellChanged(told, RowsThatDiffer(PictureFrame(n - 1, depth), frame)),
                              ICERR_OK);
                }
                const bool key = n == 5 || n == 6;
                const auto expected = whole.Compress(frame, key);
                const auto got = told.Compress(frame, key);
                ASSERT_EQ(got.result, ICERR_OK) << "picture " << n;
                EXPECT_EQ(got.key, expected.key) << "picture " << n;
                EXPECT_TRUE(got.bytes == expected.bytes) << "picture " << n;
            }
        }
    }
}

TEST(ChangedRows, SpansOutOfOrderOrOutsideThePictureAreRefused) {
    const std::vector<std::vector<RowSpan>> bad = {
        {{4, 4}}, {{5, 3}}, {{-1, 2}}, {{0, kHeight + 1}}, {{6, 9}, {2, 4}}, {{2, 6}, {5, 8}}};
    Session session(kMsvc);
    ASSERT_EQ(session.Begin(PictureFrame(0, 32).info.header, 0), ICERR_OK);
    for (const auto& spans : bad) EXPECT_EQ(TellChanged(session, spans), ICERR_BADPARAM);
    EXPECT_EQ(TellChanged(session, {{0, 1}, {1, kHeight}}), ICERR_OK);
}
