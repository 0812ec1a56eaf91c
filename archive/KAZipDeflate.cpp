#include "archive/KAZipDeflate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#include "archive/KAZipFile.h"

namespace {

constexpr std::size_t kPieceSize = std::size_t{64} * 1024;

class DeflateStream {
public:
    explicit DeflateStream(int level) {
        // Negative window bits give the raw stream: no zlib header, no Adler-32 trailer.
        Check(::deflateInit2(&stream_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY));
    }
    ~DeflateStream() { ::deflateEnd(&stream_); }
    DeflateStream(const DeflateStream&) = delete;
    DeflateStream& operator=(const DeflateStream&) = delete;

    z_stream* get() { return &stream_; }
    z_stream* operator->() { return &stream_; }
    static int Check(int result) {
        if (result < 0) throw EKAZipError("Fehler");
        return result;
    }

private:
    z_stream stream_{};
};

}  // namespace

DeflatedData DeflateRaw(std::span<const std::byte> data, int level) {
    DeflateStream stream(level);
    DeflatedData out;
    int result = Z_OK;
    while (result != Z_STREAM_END) {
        if (stream->avail_in == 0 && !data.empty()) {
            const std::size_t step = std::min<std::size_t>(data.size(), UINT_MAX);
            // zlib reads through next_in without writing; its C interface is not const.
            stream->next_in = reinterpret_cast<Bytef*>(const_cast<std::byte*>(data.data()));
            stream->avail_in = static_cast<uInt>(step);
            data = data.subspan(step);
        }
        auto& piece = out.pieces.emplace_back(kPieceSize);
        stream->next_out = reinterpret_cast<Bytef*>(piece.data());
        stream->avail_out = static_cast<uInt>(piece.size());
        const int flush = data.empty() ? Z_FINISH : Z_NO_FLUSH;
        result = DeflateStream::Check(::deflate(stream.get(), flush));
        piece.resize(piece.size() - stream->avail_out);
        out.size += piece.size();
        if (piece.empty()) out.pieces.pop_back();
    }
    return out;
}
