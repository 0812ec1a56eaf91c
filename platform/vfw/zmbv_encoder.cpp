#include "platform/vfw/zmbv_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/vfw/changed_rows.h"

namespace platform::vfw {

namespace {

constexpr int kBlock = 16;
constexpr int kRange = 8;   // every move up to this far in both directions is searched
constexpr int kReach = 16;  // straight moves, as scrolling makes, up to this far
constexpr std::size_t kFoundKept = 4;
// Whole searches a frame may make: an eighth of its blocks, and at least a few.
constexpr std::size_t kSearchShare = 8;
constexpr std::size_t kLeastSearches = 16;
constexpr std::uint8_t kKeyFrame = 1;
constexpr std::uint8_t kDeltaPalette = 2;
constexpr std::uint8_t kZlib = 1;
constexpr std::size_t kKeyHeader = 7;
constexpr std::size_t kPaletteBytes = 768;

struct Move {
    int dx = 0, dy = 0;
    bool operator==(const Move&) const = default;
};

// Every move the search tries, nearest first.
const std::vector<Move>& SearchOrder() {
    static const std::vector<Move> order = [] {
        std::vector<Move> moves;
        for (int dy = -kRange; dy <= kRange; ++dy) {
            for (int dx = -kRange; dx <= kRange; ++dx) {
                if (dx != 0 || dy != 0) moves.push_back({dx, dy});
            }
        }
        for (int r = kRange + 1; r <= kReach; ++r) {
            for (const Move m : {Move{r, 0}, Move{-r, 0}, Move{0, r}, Move{0, -r}}) {
                moves.push_back(m);
            }
        }
        auto distance = [](Move m) {
            return std::max(std::abs(m.dx), std::abs(m.dy)) * 64 + std::abs(m.dx) + std::abs(m.dy);
        };
        std::stable_sort(moves.begin(), moves.end(),
                         [&](Move a, Move b) { return distance(a) < distance(b); });
        return moves;
    }();
    return order;
}

// The format's code for the pixels of a DIB depth.
std::uint8_t FormatCode(int depth) {
    switch (depth) {
        case 8:
            return 4;
        case 16:
            return 5;  // RGB555
        default:
            return 8;  // BGR0
    }
}

class ZmbvEncoder final : public FrameEncoder {
public:
    ZmbvEncoder(const EncoderSettings& s, ZmbvLevels levels)
        : settings_(s),
          levels_(levels),
          pixelBytes_(s.bitCount == 8    ? 1
                      : s.bitCount == 16 ? 2
                                         : 4),
          rowBytes_(static_cast<std::size_t>(s.width) * pixelBytes_),
          blocksWide_((s.width + kBlock - 1) / kBlock),
          blocksHigh_((s.height + kBlock - 1) / kBlock),
          current_(rowBytes_ * static_cast<std::size_t>(s.height)),
          previous_(current_.size()),
          moves_(static_cast<std::size_t>(blocksWide_) * static_cast<std::size_t>(blocksHigh_)),
          lastMoves_(moves_.size()),
          rows_(s.height),
          payload_(kPaletteBytes + VectorBytes() + current_.size()) {}

    ~ZmbvEncoder() override {
        if (started_) deflateEnd(&stream_);
        if (keySaved_) deflateEnd(&keyStream_);
    }
    ZmbvEncoder(const ZmbvEncoder&) = delete;
    ZmbvEncoder& operator=(const ZmbvEncoder&) = delete;

    bool Start() {
        started_ = deflateInit(&stream_, levels_.key) == Z_OK;
        level_ = levels_.key;
        if (started_) out_.resize(kKeyHeader + deflateBound(&stream_, payload_.size()) + 16);
        return started_;
    }

    LRESULT Load(const DibImage& image) override {
        if (!Fits(image)) return ICERR_BADFORMAT;
        if (!Convert(image, current_)) return ICERR_BADFORMAT;
        rows_.LoadedWhole();
        sameSinceKey_ = false;
        return ICERR_OK;
    }

    LRESULT LoadChanged(const DibImage& image, std::span<const RowSpan> changed) override {
        if (first_) return Load(image);
        if (!Fits(image)) return ICERR_BADFORMAT;
        if (!ValidRowSpans(changed, settings_.height)) return ICERR_BADPARAM;
        if (!changed.empty()) sameSinceKey_ = false;
        rows_.LoadingPart(changed, [&](RowSpan span) {
            std::copy(previous_.begin() + RowStart(span.top),
                      previous_.begin() + RowStart(span.bottom),
                      current_.begin() + RowStart(span.top));
        });
        for (const RowSpan& span : changed) {
            const std::span<std::uint8_t> rows(current_.data() + RowStart(span.top),
                                               RowStart(span.bottom - span.top));
            if (!Convert(DibRows(image, span), rows)) {
                first_ = true;  // the picture is in part new, in part unknown
                rows_.LoadedWhole();
                return ICERR_BADFORMAT;
            }
        }
        // The colour table can change without a pixel changing.
        if (settings_.bitCount == 8) TakePalette(image);
        return ICERR_OK;
    }

    LRESULT Encode(bool key, Packet* packet) override {
        key = key || first_;
        if (key && sameSinceKey_ && palette_ == keyPalette_) return RepeatKey(packet);
        std::uint8_t* out = out_.data();
        std::size_t header = 1;
        std::size_t length = 0;
        if (key) {
            const std::uint8_t keyHeader[kKeyHeader] = {
                kKeyFrame, 0, 1, kZlib, FormatCode(settings_.bitCount), kBlock, kBlock};
            std::memcpy(out, keyHeader, kKeyHeader);
            header = kKeyHeader;
            length = KeyPayload();
            if (deflateReset(&stream_) != Z_OK) return ICERR_INTERNAL;
        } else {
            const bool newPalette = settings_.bitCount == 8 && palette_ != lastPalette_;
            out[0] = newPalette ? kDeltaPalette : 0;
            length = DeltaPayload(newPalette);
        }
        stream_.next_out = out + header;
        stream_.avail_out = static_cast<uInt>(out_.size() - header);
        if (!SetLevel(key ? levels_.key : levels_.delta)) {
            first_ = true;
            return ICERR_INTERNAL;
        }
        stream_.next_in = payload_.data();
        stream_.avail_in = static_cast<uInt>(length);
        // Each frame ends on a byte boundary of the one stream, so the decoder can stop there.
        if (deflate(&stream_, Z_SYNC_FLUSH) != Z_OK || stream_.avail_in != 0 ||
            stream_.avail_out == 0) {
            first_ = true;  // the stream is spoilt: the next frame starts a new one
            return ICERR_INTERNAL;
        }
        first_ = false;
        current_.swap(previous_);
        rows_.Swapped();
        lastPalette_ = palette_;
        packet->bytes = {out, out_.size() - stream_.avail_out};
        packet->key = key;
        if (key) KeepKey(packet->bytes);
        return ICERR_OK;
    }

private:
    // The bytes of a key frame and the stream as it stood after them, for the same picture.
    void KeepKey(std::span<const std::uint8_t> bytes) {
        if (keySaved_) deflateEnd(&keyStream_);
        keySaved_ = deflateCopy(&keyStream_, &stream_) == Z_OK;
        lastKey_.assign(bytes.begin(), bytes.end());
        keyPalette_ = palette_;
        sameSinceKey_ = keySaved_;
    }

    // The last key frame again, and the stream back where it stood after it, as compressing
    // the same picture once more would leave it.
    LRESULT RepeatKey(Packet* packet) {
        deflateEnd(&stream_);
        if (deflateCopy(&stream_, &keyStream_) != Z_OK) {
            started_ = false;
            return ICERR_MEMORY;
        }
        level_ = levels_.key;
        std::fill(lastMoves_.begin(), lastMoves_.end(), Move{});
        current_.swap(previous_);
        rows_.Swapped();
        lastPalette_ = palette_;
        packet->bytes = lastKey_;
        packet->key = true;
        return ICERR_OK;
    }

    bool Fits(const DibImage& image) const {
        return image.width == settings_.width && image.height == settings_.height &&
               image.bitCount == settings_.bitCount;
    }

    std::ptrdiff_t RowStart(std::int32_t row) const {
        return static_cast<std::ptrdiff_t>(rowBytes_) * row;
    }

    // The DIB's rows in the format's pixels into `out`, top row first.
    bool Convert(const DibImage& image, std::span<std::uint8_t> out) {
        const auto stride = static_cast<std::ptrdiff_t>(rowBytes_);
        switch (image.bitCount) {
            case 8: {
                std::array<std::uint32_t, 256> words{};
                if (!DibToPal8(image, out, stride, words)) return false;
                TakePalette(image);
                return true;
            }
            case 16:
                return DibToRgb555(image, out, stride);
            default:
                return DibToBgr0(image, out, stride);
        }
    }

    void TakePalette(const DibImage& image) {
        std::array<std::uint32_t, 256> words{};
        DibPalette(image, words);
        for (std::size_t i = 0; i < words.size(); ++i) {
            palette_[3 * i] = static_cast<std::uint8_t>(words[i] >> 16);
            palette_[3 * i + 1] = static_cast<std::uint8_t>(words[i] >> 8);
            palette_[3 * i + 2] = static_cast<std::uint8_t>(words[i]);
        }
    }

    // Changes the level between frames, before the frame's input is given: the previous frame
    // ended flushed, so zlib has nothing left to compress at the old level.
    bool SetLevel(int level) {
        if (level == level_) return true;
        if (deflateParams(&stream_, level, Z_DEFAULT_STRATEGY) != Z_OK) return false;
        level_ = level;
        return true;
    }

    // The vectors, two bytes a block, padded to whole 32-bit words.
    std::size_t VectorBytes() const {
        return (static_cast<std::size_t>(blocksWide_) * static_cast<std::size_t>(blocksHigh_) * 2 +
                3) &
               ~std::size_t{3};
    }

    std::size_t KeyPayload() {
        std::uint8_t* at = payload_.data();
        if (settings_.bitCount == 8) at = std::copy(palette_.begin(), palette_.end(), at);
        at = std::copy(current_.begin(), current_.end(), at);
        std::fill(lastMoves_.begin(), lastMoves_.end(), Move{});
        return static_cast<std::size_t>(at - payload_.data());
    }

    std::size_t DeltaPayload(bool newPalette) {
        std::uint8_t* at = payload_.data();
        if (newPalette) {
            for (std::size_t i = 0; i < kPaletteBytes; ++i) *at++ = palette_[i] ^ lastPalette_[i];
        }
        std::uint8_t* vectors = at;
        at += VectorBytes();
        std::fill(vectors, at, 0);
        found_.clear();
        searches_ = std::max<std::size_t>(kLeastSearches, moves_.size() / kSearchShare);
        for (int by = 0; by < blocksHigh_; ++by) {
            // A block row the loaded picture left alone keeps every block where it was.
            if (!rows_.MayDiffer(by * kBlock, by * kBlock + kBlock)) {
                std::fill_n(moves_.begin() + by * blocksWide_, blocksWide_, Move{});
                continue;
            }
            for (int bx = 0; bx < blocksWide_; ++bx) {
                const std::size_t index = static_cast<std::size_t>(by) * blocksWide_ + bx;
                const Block block = BlockAt(bx, by);
                bool moved = false;
                const Move move = Choose(block, index, &moved);
                moves_[index] = move;
                vectors[2 * index] = static_cast<std::uint8_t>(move.dx * 2 + (moved ? 0 : 1));
                vectors[2 * index + 1] = static_cast<std::uint8_t>(move.dy * 2);
                if (!moved) at = XorBlock(block, at);
            }
        }
        lastMoves_.swap(moves_);
        return static_cast<std::size_t>(at - payload_.data());
    }

    struct Block {
        int x, y, width, height;
    };

    Block BlockAt(int bx, int by) const {
        const int x = bx * kBlock, y = by * kBlock;
        return {x, y, std::min(kBlock, settings_.width - x),
                std::min(kBlock, settings_.height - y)};
    }

    const std::uint8_t* Now(int x, int y) const {
        return current_.data() + static_cast<std::size_t>(y) * rowBytes_ +
               static_cast<std::size_t>(x) * pixelBytes_;
    }
    const std::uint8_t* Before(int x, int y) const {
        return previous_.data() + static_cast<std::size_t>(y) * rowBytes_ +
               static_cast<std::size_t>(x) * pixelBytes_;
    }

    bool Inside(const Block& b, Move m) const {
        return b.x + m.dx >= 0 && b.x + m.dx + b.width <= settings_.width && b.y + m.dy >= 0 &&
               b.y + m.dy + b.height <= settings_.height;
    }

    bool RowMatches(const Block& b, Move m, int row) const {
        return std::memcmp(Now(b.x, b.y + row), Before(b.x + m.dx, b.y + row + m.dy),
                           static_cast<std::size_t>(b.width) * pixelBytes_) == 0;
    }

    // Whether the previous picture, moved by m, shows the block exactly. The middle row is
    // looked at first: it tells most misses at once.
    bool Matches(const Block& b, Move m) const {
        if (!Inside(b, m) || !RowMatches(b, m, b.height / 2)) return false;
        for (int row = 0; row < b.height; ++row) {
            if (!RowMatches(b, m, row)) return false;
        }
        return true;
    }

    // The block's vector: one that shows it exactly (`moved`), else 0 with its XOR to follow.
    // Tried in turn: no move; the moves of the block to the left, the block above, this block
    // in the previous frame and the latest ones found in this frame; then, while the frame's
    // budget lasts, every move within kRange and straight ones up to kReach, nearest first.
    // A dragged window is thus found once and then followed block by block, and a picture that
    // is new everywhere costs at most the budget's searches.
    Move Choose(const Block& b, std::size_t index, bool* moved) {
        *moved = true;
        if (Matches(b, {})) return {};
        const Move neighbours[] = {
            b.x > 0 ? moves_[index - 1] : Move{},
            b.y > 0 ? moves_[index - static_cast<std::size_t>(blocksWide_)] : Move{},
            lastMoves_[index],
        };
        for (const Move& m : neighbours) {
            if (m != Move{} && Matches(b, m)) return m;
        }
        for (const Move& m : found_) {
            if (Matches(b, m)) return m;
        }
        if (searches_ > 0) {
            --searches_;
            for (const Move& m : SearchOrder()) {
                if (!Matches(b, m)) continue;
                if (std::find(found_.begin(), found_.end(), m) == found_.end()) {
                    if (found_.size() == kFoundKept) found_.pop_back();
                    found_.insert(found_.begin(), m);
                }
                return m;
            }
        }
        *moved = false;
        return {};
    }

    std::uint8_t* XorBlock(const Block& b, std::uint8_t* at) const {
        const std::size_t bytes = static_cast<std::size_t>(b.width) * pixelBytes_;
        for (int row = 0; row < b.height; ++row) {
            const std::uint8_t* now = Now(b.x, b.y + row);
            const std::uint8_t* before = Before(b.x, b.y + row);
            for (std::size_t i = 0; i < bytes; ++i) at[i] = now[i] ^ before[i];
            at += bytes;
        }
        return at;
    }

    EncoderSettings settings_;
    ZmbvLevels levels_;
    int level_ = 0;  // the stream's level now
    std::size_t pixelBytes_;
    std::size_t rowBytes_;
    int blocksWide_, blocksHigh_;
    std::vector<std::uint8_t> current_;  // the picture in the format's pixels, top row first
    std::vector<std::uint8_t> previous_;
    std::array<std::uint8_t, kPaletteBytes> palette_{};  // R, G, B at 8 bits
    std::array<std::uint8_t, kPaletteBytes> lastPalette_{};
    std::vector<Move> moves_;      // this frame's, block by block
    std::vector<Move> lastMoves_;  // the previous frame's
    ChangedRows rows_;
    std::vector<Move> found_;   // moves the search found in this frame, latest first
    std::size_t searches_ = 0;  // searches left in this frame
    std::vector<std::uint8_t> payload_;
    std::vector<std::uint8_t> out_;
    z_stream stream_{};
    bool started_ = false;
    z_stream keyStream_{};  // stream_ right after the last key frame
    bool keySaved_ = false;
    std::vector<std::uint8_t> lastKey_;
    std::array<std::uint8_t, kPaletteBytes> keyPalette_{};
    bool sameSinceKey_ = false;  // no picture loaded since the last key frame changed a row
    bool first_ = true;
};

std::string ZlibVersion() {
    return std::string("zlib ") + zlibVersion();
}

}  // namespace

std::unique_ptr<FrameEncoder> OpenZmbvEncoder(const EncoderSettings& settings, ZmbvLevels levels) {
    const int depth = settings.bitCount;
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) return nullptr;
    if (settings.width <= 0 || settings.height <= 0) return nullptr;
    auto encoder = std::make_unique<ZmbvEncoder>(settings, levels);
    if (!encoder->Start()) return nullptr;
    return encoder;
}

const OwnEncoder kZmbvEncoder{
    [](const EncoderSettings& settings) { return OpenZmbvEncoder(settings); }, ZlibVersion};

}  // namespace platform::vfw
