// Decoding a JPEG held in memory with libjpeg. Neither Qt nor X11. Any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace dialogs {

// Packed 8-bit RGB, rows top to bottom, no padding.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

// The picture, or none when the data is not a JPEG libjpeg can decode in full, or claims more
// than 4096 x 4096 pixels.
std::optional<RgbPicture> DecodeJpeg(std::span<const std::uint8_t> data);

}  // namespace dialogs
