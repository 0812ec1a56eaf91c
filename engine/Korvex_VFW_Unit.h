// The engine's small codec helpers: the query and about messages.
#pragma once

#include <cstdint>

#include "platform/vfw/vfw.h"

namespace engine {

bool ICQueryAbout(platform::vfw::HIC codec);
void ICAbout(platform::vfw::HIC codec, std::intptr_t parent);
bool ICQueryConfigure(platform::vfw::HIC codec);
platform::vfw::LRESULT ICCompressQuery(platform::vfw::HIC codec,
                                       const platform::vfw::BITMAPINFOHEADER* input,
                                       const platform::vfw::BITMAPINFOHEADER* output);

}  // namespace engine
