#include "archive/ArchiveFormat.h"

ArchiveFormat ChooseArchiveFormat(std::uint64_t recordingSize, bool use7z,
                                  std::uint16_t thresholdMB) {
    if (use7z) return ArchiveFormat::SevenZip;
    const std::uint64_t limit = std::uint64_t{thresholdMB} * 1048576;
    return recordingSize < limit ? ArchiveFormat::Zip : ArchiveFormat::SevenZip;
}
