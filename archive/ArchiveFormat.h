// Which archive a recording is packed into.
#pragma once

#include <cstdint>

enum class ArchiveFormat { Zip, SevenZip };

// 7z when use7z is set or the recording is at least thresholdMB MiB large, ZIP otherwise.
ArchiveFormat ChooseArchiveFormat(std::uint64_t recordingSize, bool use7z,
                                  std::uint16_t thresholdMB);
