// Facts about a DIB format as streams take it: a bitmap info header followed by its colour table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/vfw/vfw.h"

namespace platform::avifile {

// The header of a format that describes a picture (size at least 1 x 1), if it does.
std::optional<vfw::BITMAPINFOHEADER> PictureHeader(std::span<const std::byte> format);

// Bytes of one frame of the format: padded rows for BI_RGB, the stated image size otherwise;
// 0 when the format is malformed, its colour table incomplete or a frame past 2 GiB.
std::uint64_t FrameBytes(std::span<const std::byte> format);

}  // namespace platform::avifile
