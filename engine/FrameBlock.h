// The frame block: one packed device-independent bitmap in one memory block, laid out as
//   0                      BITMAPINFOHEADER (40 bytes)
//   40                     colour table, 4 x biClrUsed bytes (2^bpp entries at 8 bits or fewer)
//   40 + 4 x biClrUsed     pixel rows, bottom-up, stride ((w x bpp + 31) div 32) x 4
// The recording writes the rows as one AVI sample and uses header and colour table as format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "platform/screen/dib.h"
#include "platform/vfw/vfw.h"

namespace engine {

using platform::vfw::BITMAPINFOHEADER;

using platform::screen::DibStride;

// Colour-table entries of a frame at a bit depth: 2^bpp at 8 bits or fewer, else none.
constexpr std::uint32_t ColorsUsed(int bitsPerPixel) {
    return bitsPerPixel <= 8 ? (1u << bitsPerPixel) : 0u;
}

class FrameBlock {
public:
    // A block for a width x height frame at bitsPerPixel with its header filled in and the
    // pixels left to the caller; null when the sizes are not positive or the memory cannot be
    // had. The colour table is zeroed.
    static std::unique_ptr<FrameBlock> Allocate(int width, int height, int bitsPerPixel);

    BITMAPINFOHEADER& Header() { return *reinterpret_cast<BITMAPINFOHEADER*>(data_.get()); }
    const BITMAPINFOHEADER& Header() const {
        return *reinterpret_cast<const BITMAPINFOHEADER*>(data_.get());
    }
    std::span<std::uint32_t> ColorTable();
    std::span<std::uint8_t> Pixels();
    std::span<const std::uint8_t> Pixels() const;
    std::size_t Stride() const { return stride_; }
    // Header plus colour table: the stream format's size.
    std::size_t FormatSize() const { return pixelOffset_; }
    // The whole block.
    std::span<const std::uint8_t> Bytes() const { return {data_.get(), size_}; }
    // Blackens the pixel rows.
    void ClearPixels();
    // Takes the colour table and the given rows (counted from the picture's top, inside it)
    // of a block of the same size and depth.
    void CopyRows(const FrameBlock& other, std::span<const platform::vfw::RowSpan> rows);

private:
    FrameBlock(std::unique_ptr<std::uint8_t[]> data, std::size_t size, std::size_t pixelOffset,
               std::size_t stride)
        : data_(std::move(data)), size_(size), pixelOffset_(pixelOffset), stride_(stride) {}

    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_;
    std::size_t pixelOffset_;
    std::size_t stride_;
};

using PFrame = std::unique_ptr<FrameBlock>;

// Releases the frame and clears the reference; nothing for an empty reference.
inline void FreeFrame(PFrame& frame) {
    frame.reset();
}

}  // namespace engine
