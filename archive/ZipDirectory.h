// Reading a ZIP archive's directory: the end record, found by searching backwards from the end of
// the file, and the central records it points to. The writer opens archives with it and
// play-back finds the recordings in an archive with it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/KAZipFile.h"
#include "archive/KAZipRecords.h"

struct TZipDirectory {
    TEndOfCentralDir End;
    std::uint64_t EndPosition = 0;  // where the end record starts
    std::string Comment;            // empty when it cannot be read
    std::vector<TCentralDirectoryFile> Entries;
};

// The end record and every central record it counts, with their names, extra fields and
// comments; none when there is no end record or a central record cannot be read.
std::optional<TZipDirectory> ReadZipDirectory(const TKAZipFile& file);

// Reads length bytes at offset into text; false when the file ends first.
bool ReadText(const TKAZipFile& file, std::uint64_t offset, std::size_t length, std::string& text);
