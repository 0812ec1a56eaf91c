#include "platform/vfw/msvc_encoder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/vfw/changed_rows.h"
#include "platform/vfw/output_buffer.h"

namespace platform::vfw {

namespace {

constexpr int kBlock = 4;
constexpr std::uint16_t kEightColours = 0x8000;  // set in a block's first colour of eight
constexpr int kSkipCode = 0x84;                  // the high byte of a skip run starts at this
constexpr int kLongestSkip = 0x3FF;
constexpr std::size_t kLongestBlock = 18;  // a flag word and eight colours
constexpr std::int64_t kOneColourBytes = 2;
constexpr std::int64_t kTwoColourBytes = 6;
constexpr std::int64_t kEightColourBytes = kLongestBlock;

// A block's pixels in the order the format codes them: its bottom row first, left to right.
using BlockPixels = std::array<std::uint16_t, 16>;

int Channel(std::uint16_t pixel, int c) {
    return pixel >> (10 - 5 * c) & 31;
}

// A set of pixels stood for by one colour: the rounded mean of each channel, and the squared
// error that colour leaves.
struct OneColour {
    std::uint16_t colour = 0;
    std::int64_t error = 0;
};

template <std::size_t N>
OneColour MeanOf(const BlockPixels& pixels, const std::array<int, N>& members, int count) {
    OneColour fit;
    if (count == 0) return fit;
    for (int c = 0; c < 3; ++c) {
        int sum = 0, squares = 0;
        for (int i = 0; i < count; ++i) {
            const int v = Channel(pixels[members[i]], c);
            sum += v;
            squares += v * v;
        }
        const int mean = (sum + count / 2) / count;
        fit.colour = static_cast<std::uint16_t>(fit.colour | mean << (10 - 5 * c));
        fit.error += squares - 2 * mean * sum + count * mean * mean;
    }
    return fit;
}

// A set of pixels split in two around the mean of the channel that varies most, so that any two
// different colours fall apart. Pixels in `flags` show colour `a` (flag 1), the others colour
// `b`; the set's last pixel is always one of the others.
struct TwoColours {
    std::uint16_t a = 0, b = 0;
    std::uint16_t flags = 0;
    std::int64_t error = 0;
};

template <std::size_t N>
std::uint16_t MaskOf(const std::array<int, N>& set) {
    unsigned mask = 0;
    for (int i : set) mask |= 1u << i;
    return static_cast<std::uint16_t>(mask);
}

template <std::size_t N>
int WidestChannel(const BlockPixels& pixels, const std::array<int, N>& set) {
    int widest = 0, widestRange = -1;
    for (int c = 0; c < 3; ++c) {
        int low = 31, high = 0;
        for (int i : set) {
            low = std::min(low, Channel(pixels[i], c));
            high = std::max(high, Channel(pixels[i], c));
        }
        if (high - low > widestRange) {
            widest = c;
            widestRange = high - low;
        }
    }
    return widest;
}

template <std::size_t N>
TwoColours SplitInTwo(const BlockPixels& pixels, const std::array<int, N>& set) {
    const int c = WidestChannel(pixels, set);
    int total = 0;
    for (int i : set) total += Channel(pixels[i], c);
    std::array<int, N> high{}, low{};
    int highs = 0, lows = 0;
    unsigned highFlags = 0;
    for (int i : set) {
        if (Channel(pixels[i], c) * static_cast<int>(N) > total) {
            high[highs++] = i;
            highFlags |= 1u << i;
        } else {
            low[lows++] = i;
        }
    }
    const OneColour upper = MeanOf(pixels, high, highs);
    const OneColour lower = MeanOf(pixels, low, lows);
    TwoColours fit{highs > 0 ? upper.colour : lower.colour, lower.colour,
                   static_cast<std::uint16_t>(highFlags), upper.error + lower.error};
    if ((highFlags >> set.back() & 1) != 0) {
        // The last pixel's flag must be 0: name the halves the other way round.
        fit = {lower.colour, upper.colour, static_cast<std::uint16_t>(highFlags ^ MaskOf(set)),
               fit.error};
    }
    return fit;
}

// Two colours for each quarter; the quarters' colour pairs go bottom left, bottom right, top
// left, top right.
struct EightColours {
    std::uint16_t flags = 0;
    std::array<std::uint16_t, 8> colours{};
    std::int64_t error = 0;
};

EightColours FitEight(const BlockPixels& pixels) {
    static constexpr std::array<std::array<int, 4>, 4> kQuarters{{
        {0, 1, 4, 5},
        {2, 3, 6, 7},
        {8, 9, 12, 13},
        {10, 11, 14, 15},
    }};
    EightColours fit;
    for (std::size_t q = 0; q < kQuarters.size(); ++q) {
        const TwoColours quarter = SplitInTwo(pixels, kQuarters[q]);
        fit.flags = static_cast<std::uint16_t>(fit.flags | quarter.flags);
        fit.colours[2 * q] = quarter.a;
        fit.colours[2 * q + 1] = quarter.b;
        fit.error += quarter.error;
    }
    fit.colours[0] |= kEightColours;
    return fit;
}

class MsvcEncoder final : public FrameEncoder {
public:
    explicit MsvcEncoder(const EncoderSettings& s)
        : settings_(s),
          weight_(MsvcByteWeight(s.quality)),
          blocksWide_(s.width / kBlock),
          blocksHigh_(s.height / kBlock),
          current_(static_cast<std::size_t>(s.width) * static_cast<std::size_t>(s.height)),
          previous_(current_.size()),
          changed_(static_cast<std::size_t>(blocksWide_)),
          rows_(s.height),
          out_(static_cast<std::size_t>(blocksWide_) * static_cast<std::size_t>(blocksHigh_) *
                   kLongestBlock +
               2),
          keyRows_(static_cast<std::size_t>(blocksHigh_)) {}

    LRESULT Load(const DibImage& image) override {
        if (image.width != settings_.width || image.height != settings_.height ||
            image.bitCount != settings_.bitCount) {
            return ICERR_BADFORMAT;
        }
        if (!DibToRgb555(image, RowBytes({0, settings_.height}), Stride())) return ICERR_BADFORMAT;
        rows_.LoadedWhole();
        ForgetKeyRows({0, settings_.height});
        return ICERR_OK;
    }

    LRESULT LoadChanged(const DibImage& image, std::span<const RowSpan> changed) override {
        if (first_) return Load(image);
        if (image.width != settings_.width || image.height != settings_.height ||
            image.bitCount != settings_.bitCount) {
            return ICERR_BADFORMAT;
        }
        if (!ValidRowSpans(changed, settings_.height)) return ICERR_BADPARAM;
        for (const RowSpan& span : changed) ForgetKeyRows(span);
        rows_.LoadingPart(changed, [&](RowSpan span) {
            const auto from = previous_.begin() + RowStart(span.top);
            std::copy(from, previous_.begin() + RowStart(span.bottom),
                      current_.begin() + RowStart(span.top));
        });
        for (const RowSpan& span : changed) {
            if (!DibToRgb555(DibRows(image, span), RowBytes(span), Stride())) {
                rows_.LoadedWhole();  // the picture is in part new, in part unknown
                ForgetKeyRows({0, settings_.height});
                first_ = true;
                return ICERR_BADFORMAT;
            }
        }
        return ICERR_OK;
    }

    LRESULT Encode(bool key, Packet* packet) override {
        key = key || first_;
        first_ = false;
        at_ = out_.data();
        skipped_ = 0;
        // Block rows go bottom first, as DIB rows do.
        for (int row = blocksHigh_ - 1; row >= 0; --row) {
            if (key) {
                CodeKeyRow(row);
                continue;
            }
            if (!rows_.MayDiffer(row * kBlock, (row + 1) * kBlock)) {
                skipped_ += blocksWide_;  // a block row the picture left alone, skipped whole
                continue;
            }
            FindChanges(row, key);
            for (int column = 0; column < blocksWide_; ++column) {
                if (!changed_[static_cast<std::size_t>(column)]) {
                    ++skipped_;
                    continue;
                }
                FlushSkips();
                CodeBlock(Gather(row, column));
            }
        }
        FlushSkips();
        current_.swap(previous_);
        rows_.Swapped();
        packet->bytes = {out_.data(), static_cast<std::size_t>(at_ - out_.data())};
        packet->key = key;
        return ICERR_OK;
    }

private:
    // A key frame codes every block, and a block's code depends on its pixels alone: the codes
    // of a block row are kept and written again by the next key frame unless the row changed.
    struct KeyRow {
        std::vector<std::uint8_t> bytes;
        bool valid = false;
    };

    void CodeKeyRow(int row) {
        KeyRow& kept = keyRows_[static_cast<std::size_t>(row)];
        if (kept.valid) {
            at_ = std::copy(kept.bytes.begin(), kept.bytes.end(), at_);
            return;
        }
        std::uint8_t* const start = at_;
        for (int column = 0; column < blocksWide_; ++column) CodeBlock(Gather(row, column));
        kept.bytes.assign(start, at_);
        kept.valid = true;
    }

    void ForgetKeyRows(RowSpan span) {
        const int last = std::min(blocksHigh_, (span.bottom + kBlock - 1) / kBlock);
        for (int row = span.top / kBlock; row < last; ++row) {
            keyRows_[static_cast<std::size_t>(row)].valid = false;
        }
    }

    std::ptrdiff_t Stride() const { return std::ptrdiff_t{settings_.width} * 2; }
    std::ptrdiff_t RowStart(std::int32_t row) const {
        return row * std::ptrdiff_t{settings_.width};
    }
    // The bytes of the current picture's rows in the span.
    std::span<std::uint8_t> RowBytes(RowSpan span) {
        return {reinterpret_cast<std::uint8_t*>(current_.data() + RowStart(span.top)),
                static_cast<std::size_t>(RowStart(span.bottom - span.top)) * 2};
    }

    // Marks the blocks of a block row (numbered from the top) that differ from the previous
    // picture; every block of a key frame. Whole rows at a time, four pixels to a word.
    void FindChanges(int row, bool key) {
        if (key) {
            std::fill(changed_.begin(), changed_.end(), 1);
            return;
        }
        std::fill(changed_.begin(), changed_.end(), 0);
        for (int y = row * kBlock; y < (row + 1) * kBlock; ++y) {
            const std::size_t start = static_cast<std::size_t>(y) * settings_.width;
            const auto* now = reinterpret_cast<const std::uint8_t*>(current_.data() + start);
            const auto* before = reinterpret_cast<const std::uint8_t*>(previous_.data() + start);
            for (int column = 0; column < blocksWide_; ++column) {
                std::uint64_t a, b;
                std::memcpy(&a, now + column * 8, 8);
                std::memcpy(&b, before + column * 8, 8);
                changed_[static_cast<std::size_t>(column)] |= a != b;
            }
        }
    }

    BlockPixels Gather(int row, int column) const {
        BlockPixels pixels;
        for (int y = 0; y < kBlock; ++y) {
            const std::size_t line = static_cast<std::size_t>(row * kBlock + kBlock - 1 - y);
            std::memcpy(&pixels[static_cast<std::size_t>(y * kBlock)],
                        &current_[line * settings_.width + static_cast<std::size_t>(column) * 4],
                        kBlock * sizeof(std::uint16_t));
        }
        return pixels;
    }

    void Put(std::uint16_t word) {
        at_[0] = static_cast<std::uint8_t>(word);
        at_[1] = static_cast<std::uint8_t>(word >> 8);
        at_ += 2;
    }

    void FlushSkips() {
        while (skipped_ > 0) {
            const int run = std::min(skipped_, kLongestSkip);
            Put(static_cast<std::uint16_t>((kSkipCode << 8) + run));
            skipped_ -= run;
        }
    }

    // The code that costs least: its squared error plus the weight of its bytes.
    void CodeBlock(const BlockPixels& pixels) {
        if (std::all_of(pixels.begin(), pixels.end(),
                        [&](std::uint16_t p) { return p == pixels[0]; })) {
            return PutOneColour(pixels[0]);
        }
        static constexpr std::array<int, 16> kAll{0, 1, 2,  3,  4,  5,  6,  7,
                                                  8, 9, 10, 11, 12, 13, 14, 15};
        const OneColour one = MeanOf(pixels, kAll, 16);
        const TwoColours two = SplitInTwo(pixels, kAll);
        const EightColours eight = FitEight(pixels);
        const std::int64_t costOne = one.error + weight_ * kOneColourBytes;
        const std::int64_t costTwo = two.error + weight_ * kTwoColourBytes;
        const std::int64_t costEight = eight.error + weight_ * kEightColourBytes;
        if (costOne <= costTwo && costOne <= costEight) return PutOneColour(one.colour);
        if (costTwo <= costEight) {
            Put(two.flags);
            Put(two.a);
            Put(two.b);
            return;
        }
        Put(eight.flags);
        for (std::uint16_t c : eight.colours) Put(c);
    }

    // A one-colour code is the colour with its top bit set, unless that reads as a skip run;
    // then two equal colours stand in for it.
    void PutOneColour(std::uint16_t colour) {
        const std::uint16_t word = colour | kEightColours;
        if ((word >> 8 & 0xFC) != kSkipCode) return Put(word);
        Put(0);
        Put(colour);
        Put(colour);
    }

    EncoderSettings settings_;
    std::int64_t weight_;
    int blocksWide_, blocksHigh_;
    std::vector<std::uint16_t> current_;   // the picture as RGB555, top row first
    std::vector<std::uint16_t> previous_;  // the picture before it
    std::vector<std::uint8_t> changed_;    // per block of the row being coded
    ChangedRows rows_;
    OutputBuffer<std::uint8_t> out_;
    std::uint8_t* at_ = nullptr;
    int skipped_ = 0;              // unchanged blocks not yet written as a run
    std::vector<KeyRow> keyRows_;  // by block row, numbered from the top
    bool first_ = true;
};

std::string NoLibraries() {
    return {};
}

}  // namespace

std::int64_t MsvcByteWeight(std::int32_t quality) {
    const double coarse = (10000 - std::clamp(quality, 0, 10000)) / 10000.0;
    return std::llround(1000.0 * coarse * coarse);
}

std::unique_ptr<FrameEncoder> OpenMsvcEncoder(const EncoderSettings& settings) {
    const int depth = settings.bitCount;
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return nullptr;
    if (settings.width <= 0 || settings.height <= 0 || settings.width % kBlock != 0 ||
        settings.height % kBlock != 0) {
        return nullptr;
    }
    return std::make_unique<MsvcEncoder>(settings);
}

const OwnEncoder kMsvcEncoder{OpenMsvcEncoder, NoLibraries};

}  // namespace platform::vfw
