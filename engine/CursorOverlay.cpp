#include "engine/CursorOverlay.h"

#include <algorithm>
#include <limits>

namespace engine {

namespace {

struct Rgb {
    int r, g, b;
};

Rgb Blend(std::uint32_t src, Rgb dst) {
    const int a = static_cast<int>(src >> 24);
    const int sr = static_cast<int>((src >> 16) & 0xFF);
    const int sg = static_cast<int>((src >> 8) & 0xFF);
    const int sb = static_cast<int>(src & 0xFF);
    // (s * a + d * (255 - a)) / 255, rounded.
    auto mix = [a](int s, int d) { return (s * a + d * (255 - a) + 127) / 255; };
    return {mix(sr, dst.r), mix(sg, dst.g), mix(sb, dst.b)};
}

int Expand5(int v) {
    return (v << 3) | (v >> 2);
}

std::uint8_t NearestIndex(std::span<const std::uint32_t> table, Rgb c) {
    int best = 0;
    int bestDistance = std::numeric_limits<int>::max();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const int dr = static_cast<int>((table[i] >> 16) & 0xFF) - c.r;
        const int dg = static_cast<int>((table[i] >> 8) & 0xFF) - c.g;
        const int db = static_cast<int>(table[i] & 0xFF) - c.b;
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
            if (d == 0) break;
        }
    }
    return static_cast<std::uint8_t>(best);
}

void BlendPixel(const DibView& dib, std::uint8_t* p, std::uint32_t src) {
    switch (dib.bitsPerPixel) {
        case 32:
        case 24: {
            const Rgb out = Blend(src, {p[2], p[1], p[0]});
            p[0] = static_cast<std::uint8_t>(out.b);
            p[1] = static_cast<std::uint8_t>(out.g);
            p[2] = static_cast<std::uint8_t>(out.r);
            break;
        }
        case 16: {
            const int v = p[0] | (p[1] << 8);
            const Rgb out =
                Blend(src, {Expand5((v >> 10) & 31), Expand5((v >> 5) & 31), Expand5(v & 31)});
            const int packed = ((out.r >> 3) << 10) | ((out.g >> 3) << 5) | (out.b >> 3);
            p[0] = static_cast<std::uint8_t>(packed & 0xFF);
            p[1] = static_cast<std::uint8_t>(packed >> 8);
            break;
        }
        case 8: {
            if (dib.colorTable.empty()) return;
            const std::uint32_t old =
                dib.colorTable[std::min<std::size_t>(*p, dib.colorTable.size() - 1)];
            const Rgb out =
                Blend(src, {static_cast<int>((old >> 16) & 0xFF),
                            static_cast<int>((old >> 8) & 0xFF), static_cast<int>(old & 0xFF)});
            *p = NearestIndex(dib.colorTable, out);
            break;
        }
        default:
            break;
    }
}

}  // namespace

void DrawCursor(const DibView& dib, int x, int y, std::span<const std::uint32_t> argb) {
    if (dib.pixels == nullptr || argb.size() < kCursorSize * kCursorSize) return;
    const int bytesPerPixel = dib.bitsPerPixel / 8;
    if (bytesPerPixel == 0) return;
    const int top = std::max(0, y);
    const int bottom = std::min(dib.height, y + kCursorSize);
    const int left = std::max(0, x);
    const int right = std::min(dib.width, x + kCursorSize);
    for (int row = top; row < bottom; ++row) {
        // DIB rows run bottom-up.
        std::uint8_t* line =
            dib.pixels + static_cast<std::size_t>(dib.height - 1 - row) * dib.stride;
        const std::uint32_t* source = argb.data() + (row - y) * kCursorSize;
        for (int col = left; col < right; ++col) {
            const std::uint32_t src = source[col - x];
            if ((src >> 24) == 0) continue;
            BlendPixel(dib, line + static_cast<std::size_t>(col) * bytesPerPixel, src);
        }
    }
}

std::optional<FramePoint> CursorImageCorner(std::optional<FramePoint> pointer,
                                            std::optional<FramePoint> hotSpot, int left, int top) {
    if (!pointer) return std::nullopt;
    const FramePoint hot = hotSpot.value_or(FramePoint{});
    return FramePoint{pointer->x - left - hot.x + 10, pointer->y - top - hot.y + 10};
}

}  // namespace engine
