// The info window's JPEG decoding on any bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "dialogs/JpegPicture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto picture = dialogs::DecodeJpeg(std::span(data, size));
    if (picture && picture->rgb.size() != static_cast<std::size_t>(picture->width) *
                                              static_cast<std::size_t>(picture->height) * 3) {
        std::abort();
    }
    return 0;
}
