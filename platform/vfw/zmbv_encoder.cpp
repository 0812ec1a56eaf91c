#include "platform/vfw/zmbv_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/vfw/changed_rows.h"
#include "platform/vfw/output_buffer.h"

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
constexpr int kWindowBits = 15;
constexpr std::size_t kWindow = std::size_t{1} << kWindowBits;
constexpr int kMemLevel = 8;
// What ending on a byte boundary adds to deflate's bound: an empty stored block.
constexpr std::size_t kFlushBytes = 8;

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
        if (pieceStarted_) deflateEnd(&pieceStream_);
    }
    ZmbvEncoder(const ZmbvEncoder&) = delete;
    ZmbvEncoder& operator=(const ZmbvEncoder&) = delete;

    // Both streams are raw: the zlib header is written by hand at each key frame, and the
    // checksum that would follow the stream's end is never reached.
    bool Start() {
        started_ = deflateInit2(&stream_, levels_.delta, Z_DEFLATED, -kWindowBits, kMemLevel,
                                Z_DEFAULT_STRATEGY) == Z_OK;
        pieceStarted_ = deflateInit2(&pieceStream_, levels_.key, Z_DEFLATED, -kWindowBits,
                                     kMemLevel, Z_DEFAULT_STRATEGY) == Z_OK;
        if (!started_ || !pieceStarted_) return false;
        const std::size_t pieces = PieceCount();
        pieces_.resize(pieces);
        std::size_t keyBound = kKeyHeader + 2;
        std::size_t largest = 0;
        for (std::size_t i = 0; i < pieces; ++i) {
            const std::size_t bound =
                deflateBound(&pieceStream_, PieceData(i).size()) + kFlushBytes;
            keyBound += bound;
            largest = std::max(largest, bound);
        }
        const std::size_t deltaBound = 1 + deflateBound(&stream_, payload_.size()) + kFlushBytes;
        out_ = OutputBuffer<std::uint8_t>(std::max(keyBound, deltaBound));
        pieceOut_ = OutputBuffer<std::uint8_t>(
            std::max(largest, deflateBound(&pieceStream_, VectorBytes()) + kFlushBytes));
        return true;
    }

    LRESULT Load(const DibImage& image) override {
        if (!Fits(image)) return ICERR_BADFORMAT;
        if (!Convert(image, current_)) return ICERR_BADFORMAT;
        rows_.LoadedWhole();
        ForgetPieces();
        return ICERR_OK;
    }

    LRESULT LoadChanged(const DibImage& image, std::span<const RowSpan> changed) override {
        if (first_) return Load(image);
        if (!Fits(image)) return ICERR_BADFORMAT;
        if (!ValidRowSpans(changed, settings_.height)) return ICERR_BADPARAM;
        for (const RowSpan& span : changed) {
            for (int by = span.top / kBlock; by <= (span.bottom - 1) / kBlock; ++by) {
                pieces_[PixelPiece(by)].valid = false;
            }
        }
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
                ForgetPieces();
                return ICERR_BADFORMAT;
            }
        }
        // The colour table can change without a pixel changing.
        if (settings_.bitCount == 8) TakePalette(image);
        return ICERR_OK;
    }

    LRESULT Encode(bool key, Packet* packet) override {
        key = key || first_;
        std::size_t size = 0;
        if (!(key ? EncodeKey(&size) : EncodeDelta(&size))) {
            first_ = true;  // the stream is spoilt: the next frame starts a new one
            return ICERR_INTERNAL;
        }
        first_ = false;
        current_.swap(previous_);
        rows_.Swapped();
        lastPalette_ = palette_;
        packet->bytes = {out_.data(), size};
        packet->key = key;
        return ICERR_OK;
    }

private:
    // A piece of a key frame's payload: the palette (at 8 bits) or one row of blocks. Each is
    // deflated on its own, from an empty window, and ends on a byte boundary, so its bytes mean
    // the same wherever they stand; a key frame strings together the pieces kept from before
    // and deflates only those whose pixels changed since.
    struct Piece {
        std::vector<std::uint8_t> bytes;
        bool valid = false;
    };

    std::size_t PieceCount() const {
        return static_cast<std::size_t>(blocksHigh_) + (settings_.bitCount == 8 ? 1 : 0);
    }
    std::size_t PixelPiece(int blockRow) const {
        return static_cast<std::size_t>(blockRow) + (settings_.bitCount == 8 ? 1 : 0);
    }
    std::span<const std::uint8_t> PieceData(std::size_t i) const {
        if (settings_.bitCount == 8) {
            if (i == 0) return palette_;
            --i;
        }
        const int top = static_cast<int>(i) * kBlock;
        const int bottom = std::min(settings_.height, top + kBlock);
        return {current_.data() + RowStart(top), static_cast<std::size_t>(RowStart(bottom - top))};
    }
    void ForgetPieces() {
        for (Piece& piece : pieces_) piece.valid = false;
    }

    // Deflates data on its own into bytes, ending on a byte boundary.
    bool DeflateAlone(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& bytes) {
        if (deflateReset(&pieceStream_) != Z_OK) return false;
        pieceStream_.next_in = const_cast<std::uint8_t*>(data.data());
        pieceStream_.avail_in = static_cast<uInt>(data.size());
        pieceStream_.next_out = pieceOut_.data();
        pieceStream_.avail_out = static_cast<uInt>(pieceOut_.size());
        if (deflate(&pieceStream_, Z_SYNC_FLUSH) != Z_OK || pieceStream_.avail_in != 0 ||
            pieceStream_.avail_out == 0) {
            return false;
        }
        bytes.assign(pieceOut_.data(), pieceStream_.next_out);
        return true;
    }

    bool EncodeKey(std::size_t* size) {
        if (settings_.bitCount == 8 && palette_ != keyPalette_) pieces_[0].valid = false;
        std::uint8_t* out = out_.data();
        const std::uint8_t keyHeader[kKeyHeader] = {
            kKeyFrame, 0, 1, kZlib, FormatCode(settings_.bitCount), kBlock, kBlock};
        out = std::copy(std::begin(keyHeader), std::end(keyHeader), out);
        const unsigned zlibHeader = ZlibHeader(levels_.key);
        *out++ = static_cast<std::uint8_t>(zlibHeader >> 8);
        *out++ = static_cast<std::uint8_t>(zlibHeader);
        for (std::size_t i = 0; i < pieces_.size(); ++i) {
            Piece& piece = pieces_[i];
            if (!piece.valid) {
                if (!DeflateAlone(PieceData(i), piece.bytes)) return false;
                piece.valid = true;
            }
            out = std::copy(piece.bytes.begin(), piece.bytes.end(), out);
        }
        if (settings_.bitCount == 8) keyPalette_ = palette_;
        *size = static_cast<std::size_t>(out - out_.data());
        // The delta frames' stream goes on from the key frame's payload: its window holds the
        // payload's end, as the decoder's does.
        std::span<const std::uint8_t> end(current_);
        if (current_.size() < kWindow && settings_.bitCount == 8) {
            const std::size_t length = KeyPayload();
            end = {payload_.data(), length};
        }
        end = end.last(std::min(end.size(), kWindow));
        std::fill(lastMoves_.begin(), lastMoves_.end(), Move{});
        trailingZeros_ = 0;
        return deflateReset(&stream_) == Z_OK &&
               deflateSetDictionary(&stream_, end.data(), static_cast<uInt>(end.size())) == Z_OK;
    }

    bool EncodeDelta(std::size_t* size) {
        const bool newPalette = settings_.bitCount == 8 && palette_ != lastPalette_;
        std::uint8_t* out = out_.data();
        out[0] = newPalette ? kDeltaPalette : 0;
        if (!newPalette && !rows_.MayDiffer(0, settings_.height)) return EmptyDelta(size);
        const std::size_t length = DeltaPayload(newPalette);
        // A picture loaded whole can turn out the same, and then makes the same bytes.
        if (!newPalette && length == VectorBytes() &&
            std::all_of(payload_.begin(), payload_.begin() + static_cast<std::ptrdiff_t>(length),
                        [](std::uint8_t b) { return b == 0; })) {
            return EmptyDelta(size);
        }
        stream_.next_in = payload_.data();
        stream_.avail_in = static_cast<uInt>(length);
        stream_.next_out = out + 1;
        stream_.avail_out = static_cast<uInt>(out_.size() - 1);
        // Each frame ends on a byte boundary of the one stream, so the decoder can stop there.
        if (deflate(&stream_, Z_SYNC_FLUSH) != Z_OK || stream_.avail_in != 0 ||
            stream_.avail_out == 0) {
            return false;
        }
        trailingZeros_ = 0;
        *size = out_.size() - stream_.avail_out;
        return true;
    }

    // Nothing changed: every vector is zero and no block follows. Deflated on their own, those
    // zeros are the same bytes every time, made once; the stream's window takes the zeros in
    // as the decoder's does, unless its end is all zeros already.
    bool EmptyDelta(std::size_t* size) {
        const std::size_t length = VectorBytes();
        if (emptyDelta_.empty()) {
            zeros_.assign(length, 0);
            if (!DeflateAlone(zeros_, emptyDelta_)) return false;
        }
        if (trailingZeros_ < kWindow) {
            const std::size_t told = std::min(length, kWindow);
            if (deflateSetDictionary(&stream_, zeros_.data() + (length - told),
                                     static_cast<uInt>(told)) != Z_OK) {
                return false;
            }
            trailingZeros_ = std::min(kWindow, trailingZeros_ + length);
        }
        std::copy(emptyDelta_.begin(), emptyDelta_.end(), out_.begin() + 1);
        std::fill(lastMoves_.begin(), lastMoves_.end(), Move{});
        *size = 1 + emptyDelta_.size();
        return true;
    }

    // The two bytes that open a zlib stream of 32 KiB window at this level.
    static unsigned ZlibHeader(int level) {
        const unsigned levelFlags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
        unsigned header = ((Z_DEFLATED + ((kWindowBits - 8) << 4)) << 8) | (levelFlags << 6);
        return header + 31 - header % 31;
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
    OutputBuffer<std::uint8_t> payload_;
    OutputBuffer<std::uint8_t> out_;
    z_stream stream_{};  // the delta frames', from the last key frame on
    bool started_ = false;
    z_stream pieceStream_{};  // each piece of a key frame, and the empty delta, alone
    bool pieceStarted_ = false;
    OutputBuffer<std::uint8_t> pieceOut_;
    std::vector<Piece> pieces_;
    std::array<std::uint8_t, kPaletteBytes> keyPalette_{};  // the palette piece's
    std::vector<std::uint8_t> zeros_;                       // an empty delta's payload
    std::vector<std::uint8_t> emptyDelta_;
    std::size_t trailingZeros_ = 0;  // zeros at the end of the stream's window, up to kWindow
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
