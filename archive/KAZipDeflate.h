// Raw deflate (RFC 1951) of an entry's data through zlib, held in memory in 64 KiB pieces so
// that the compressed form never needs a second, contiguous copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

struct DeflatedData {
    std::vector<std::vector<std::byte>> pieces;
    std::uint64_t size = 0;
};

// Deflates data at level (0 to 9, or Z_DEFAULT_COMPRESSION) with a 2^15-byte window, memory
// level 8 and the default strategy. Raises EKAZipError "Fehler" when zlib reports an error.
DeflatedData DeflateRaw(std::span<const std::byte> data, int level);
