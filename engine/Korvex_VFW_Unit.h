// The engine's small codec helpers: FOURCCs and the query and about messages.
#pragma once

#include <cstdint>

#include "platform/vfw/vfw.h"

namespace engine {

// c0 in the lowest byte: MakeFourCC('M', 'S', 'V', 'C') is 0x4356534D.
constexpr platform::vfw::FOURCC MakeFourCC(char c0, char c1, char c2, char c3) {
    return platform::vfw::mmioFOURCC(c0, c1, c2, c3);
}

bool ICQueryAbout(platform::vfw::HIC codec);
void ICAbout(platform::vfw::HIC codec, std::intptr_t parent);
bool ICQueryConfigure(platform::vfw::HIC codec);
platform::vfw::LRESULT ICCompressQuery(platform::vfw::HIC codec,
                                       const platform::vfw::BITMAPINFOHEADER* input,
                                       const platform::vfw::BITMAPINFOHEADER* output);

}  // namespace engine
