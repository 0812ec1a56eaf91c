// Which names are recordings: the rule the list of recordings and play-back from ZIP and 7z
// archives share.
#pragma once

#include <string_view>

namespace archive {

// True for a bare file name that ends in ".avi" in any letter case with something before it.
// NUL, "/", "\" and ":" are refused: each would make the name a path, a truncated name or a
// drive on some system, so the file could land outside the folder it is meant for.
bool IsTopLevelRecording(std::string_view name);

}  // namespace archive
