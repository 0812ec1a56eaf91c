// RIFF chunks over a FileSink. Every chunk is opened with StartTag, which writes its id and a
// placeholder size, and closed with EndTag, which pads it to an even length and patches the size.
// Offsets are 64-bit throughout; a size field holds 32 bits.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/avifile/file_sink.h"
#include "platform/multimedia/multimedia.h"

namespace platform::avifile {

using FourCC = multimedia::FOURCC;
using multimedia::mmioFOURCC;

// Little-endian fields laid out in a block of memory that is written or patched as a whole.
class FieldWriter {
public:
    explicit FieldWriter(std::span<std::byte> block) : block_(block) {}
    FieldWriter& U8(std::uint8_t value) { return Put(value, 1); }
    FieldWriter& U16(std::uint16_t value) { return Put(value, 2); }
    FieldWriter& U32(std::uint32_t value) { return Put(value, 4); }
    FieldWriter& U64(std::uint64_t value) { return Put(value, 8); }
    FieldWriter& Zeros(std::size_t count);
    std::span<const std::byte> Written() const { return block_.first(used_); }

private:
    FieldWriter& Put(std::uint64_t value, std::size_t bytes);
    std::span<std::byte> block_;
    std::size_t used_ = 0;
};

// A fixed-size block with its field writer, for records such as headers and index entries.
template <std::size_t N>
struct FieldBlock {
    FieldBlock() = default;
    FieldBlock(const FieldBlock&) = delete;  // fields points into this block's bytes
    FieldBlock& operator=(const FieldBlock&) = delete;
    std::array<std::byte, N> bytes{};
    FieldWriter fields{bytes};
};

class RiffWriter {
public:
    explicit RiffWriter(FileSink& sink) : sink_(sink) {}

    // Writes id and a placeholder size; returns the chunk's offset, which EndTag takes.
    std::uint64_t StartTag(FourCC id);
    // A list chunk ('RIFF' or 'LIST' as form) and its type; returns the chunk's offset.
    std::uint64_t StartList(FourCC form, FourCC type);
    // Pads the chunk at offset to an even length and patches its size; false when the size does
    // not fit in 32 bits or cannot be written.
    bool EndTag(std::uint64_t offset);

    void Write(std::span<const std::byte> bytes) { sink_.Append(bytes); }
    void Write(const FieldWriter& fields) { sink_.Append(fields.Written()); }
    void WriteZeros(std::size_t count) { sink_.AppendZeros(count); }
    // Overwrites a value written before (a placeholder); false when it cannot be written.
    bool Patch(std::uint64_t offset, const FieldWriter& fields) {
        return sink_.Patch(offset, fields.Written());
    }
    bool PatchU32(std::uint64_t offset, std::uint32_t value);

    FileSink& Sink() { return sink_; }

private:
    FileSink& sink_;
};

}  // namespace platform::avifile
