#include "engine/FrameBlock.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace engine {

std::unique_ptr<FrameBlock> FrameBlock::Allocate(int width, int height, int bitsPerPixel) {
    if (width <= 0 || height <= 0) return nullptr;
    if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) {
        return nullptr;
    }
    const std::size_t stride = DibStride(width, bitsPerPixel);
    const std::uint64_t image =
        static_cast<std::uint64_t>(stride) * static_cast<std::uint64_t>(height);
    // biSizeImage is 32 bits wide; a larger frame cannot be described.
    if (image > std::numeric_limits<std::uint32_t>::max()) return nullptr;
    const std::uint32_t colors = ColorsUsed(bitsPerPixel);
    const std::size_t pixelOffset = sizeof(BITMAPINFOHEADER) + 4 * std::size_t{colors};
    const std::size_t size = pixelOffset + static_cast<std::size_t>(image);

    // The rows are overwritten by every grab, so only the header and colour table are zeroed.
    std::unique_ptr<std::uint8_t[]> data(new (std::nothrow) std::uint8_t[size]);
    if (!data) return nullptr;
    std::memset(data.get(), 0, pixelOffset);

    std::unique_ptr<FrameBlock> block(new FrameBlock(std::move(data), size, pixelOffset, stride));
    block->Header() = platform::vfw::RgbDibHeader(width, height, bitsPerPixel);
    return block;
}

std::span<std::uint32_t> FrameBlock::ColorTable() {
    return {reinterpret_cast<std::uint32_t*>(data_.get() + sizeof(BITMAPINFOHEADER)),
            (pixelOffset_ - sizeof(BITMAPINFOHEADER)) / 4};
}

std::span<std::uint8_t> FrameBlock::Pixels() {
    return {data_.get() + pixelOffset_, size_ - pixelOffset_};
}

std::span<const std::uint8_t> FrameBlock::Pixels() const {
    return {data_.get() + pixelOffset_, size_ - pixelOffset_};
}

void FrameBlock::ClearPixels() {
    std::memset(data_.get() + pixelOffset_, 0, size_ - pixelOffset_);
}

void FrameBlock::CopyRows(const FrameBlock& other, std::span<const platform::vfw::RowSpan> rows) {
    const std::size_t header = sizeof(BITMAPINFOHEADER);
    std::memcpy(data_.get() + header, other.data_.get() + header, pixelOffset_ - header);
    const auto height = static_cast<std::size_t>(Header().biHeight);
    for (const platform::vfw::RowSpan& span : rows) {
        // Bottom-up: the span's lowest row comes first in memory.
        const std::size_t at =
            pixelOffset_ + (height - static_cast<std::size_t>(span.bottom)) * stride_;
        std::memcpy(data_.get() + at, other.data_.get() + at,
                    static_cast<std::size_t>(span.bottom - span.top) * stride_);
    }
}

}  // namespace engine
