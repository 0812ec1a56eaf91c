#include "platform/screencast/stream_image.h"

#include <cstring>
#include <vector>

namespace platform::screencast {

namespace {

constexpr std::ptrdiff_t kNone = -1;

// For each of count screen pixels from first on, the stream pixel whose centre is nearest to
// the screen pixel's centre, or kNone outside the frame. 64-bit, since sizes multiply.
std::vector<std::ptrdiff_t> NearestPixels(int first, int count, int placed, int placedSize,
                                          int frameSize) {
    std::vector<std::ptrdiff_t> table(static_cast<std::size_t>(count), kNone);
    for (int i = 0; i < count; ++i) {
        // Centre of screen pixel (first + i), relative to the placement, times 2 * placedSize.
        const std::int64_t centre2 = 2 * (std::int64_t{first} + i - placed) + 1;
        if (centre2 < 0) continue;
        const std::int64_t pixel = centre2 * frameSize / (2 * std::int64_t{placedSize});
        if (pixel < frameSize) table[static_cast<std::size_t>(i)] = pixel;
    }
    return table;
}

int Scale(int value, int to, int from) {
    return static_cast<int>(std::int64_t{value} * to / from);
}

}  // namespace

Placement PlacementOf(std::optional<Point> position, std::optional<Size> size, Size xwayland) {
    const bool sized = size && size->width > 0 && size->height > 0;
    const Size s = sized ? *size : xwayland;
    const Point p = sized ? position.value_or(Point{}) : Point{};
    return {p.x, p.y, s.width, s.height};
}

screen::NativeImage ImageLayout(PixelOrder order) {
    const bool bgr = order == PixelOrder::BGRx || order == PixelOrder::BGRA;
    // Little-endian 32-bit loads: the first byte is the lowest.
    return screen::NativeImage{.bitsPerPixel = 32,
                               .redMask = bgr ? 0x00ff0000u : 0x000000ffu,
                               .greenMask = 0x0000ff00u,
                               .blueMask = bgr ? 0x000000ffu : 0x00ff0000u,
                               .msbFirst = false};
}

bool CutOut(const StreamFrame& frame, const Placement& placement, int left, int top, int width,
            int height, std::span<std::uint8_t> out) {
    if (width <= 0 || height <= 0) return false;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    if (out.size() / rowBytes < static_cast<std::size_t>(height)) return false;
    const bool usable = frame.data != nullptr && frame.width > 0 && frame.height > 0 &&
                        placement.width > 0 && placement.height > 0 &&
                        frame.stride >= static_cast<std::size_t>(frame.width) * 4;
    if (!usable) {
        std::memset(out.data(), 0, rowBytes * static_cast<std::size_t>(height));
        return true;
    }
    const auto columns = NearestPixels(left, width, placement.x, placement.width, frame.width);
    const auto rows = NearestPixels(top, height, placement.y, placement.height, frame.height);
    // Unscaled and wholly inside: each row is one run of the frame's row.
    const bool straight = frame.width == placement.width && columns.front() != kNone &&
                          columns.back() == columns.front() + width - 1;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* dst = out.data() + static_cast<std::size_t>(y) * rowBytes;
        const std::ptrdiff_t row = rows[static_cast<std::size_t>(y)];
        if (row == kNone) {
            std::memset(dst, 0, rowBytes);
            continue;
        }
        const std::uint8_t* src = frame.data + static_cast<std::size_t>(row) * frame.stride;
        if (straight) {
            std::memcpy(dst, src + static_cast<std::size_t>(columns.front()) * 4, rowBytes);
            continue;
        }
        for (int x = 0; x < width; ++x) {
            const std::ptrdiff_t column = columns[static_cast<std::size_t>(x)];
            if (column == kNone) {
                std::memset(dst + x * 4, 0, 4);
            } else {
                std::memcpy(dst + x * 4, src + column * 4, 4);
            }
        }
    }
    return true;
}

Point PointOnScreen(Point streamPixel, Size frame, const Placement& placement) {
    const Point d = DistanceOnScreen(streamPixel, frame, placement);
    return {placement.x + d.x, placement.y + d.y};
}

Point DistanceOnScreen(Point streamPixels, Size frame, const Placement& placement) {
    if (frame.width <= 0 || frame.height <= 0) return streamPixels;
    return {Scale(streamPixels.x, placement.width, frame.width),
            Scale(streamPixels.y, placement.height, frame.height)};
}

}  // namespace platform::screencast
