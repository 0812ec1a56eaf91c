// The sizes, codes and flags of the AVI layout that the writer's files share. Private to the
// writer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/avifile/riff_writer.h"

namespace platform::avifile::layout {

inline constexpr FourCC kRiff = mmioFOURCC("RIFF");
inline constexpr FourCC kList = mmioFOURCC("LIST");
inline constexpr FourCC kJunk = mmioFOURCC("JUNK");

inline constexpr std::uint32_t AVIF_HASINDEX = 0x10;
inline constexpr std::uint32_t AVIF_ISINTERLEAVED = 0x100;
using multimedia::AVIIF_KEYFRAME;
inline constexpr std::uint8_t AVI_INDEX_OF_INDEXES = 0;
inline constexpr std::uint8_t AVI_INDEX_OF_CHUNKS = 1;
// In a standard index entry the top bit of the size marks a chunk that is no key frame.
inline constexpr std::uint32_t kNotKeyFrame = 0x80000000u;
inline constexpr std::uint32_t kMaxChunkSize = 0x7FFFFFF0u;

inline constexpr std::size_t kMainHeaderSize = 56;
inline constexpr std::size_t kStreamHeaderSize = 56;
// Room for this many parts per stream; at the default split size that is 256 GiB of video.
inline constexpr std::size_t kSuperIndexEntries = 256;
inline constexpr std::size_t kSuperIndexSize = 24 + 16 * kSuperIndexEntries;
inline constexpr std::size_t kDmlhSize = 248;
inline constexpr std::size_t kOdmlSize = 4 + 8 + kDmlhSize;
inline constexpr std::size_t kStandardIndexHeader = 8 + 24;
inline constexpr std::size_t kLegacyIndexEntry = 16;
// A RIFF size field is 32 bits wide.
inline constexpr std::uint64_t kMaxPartSize = 0xFFFFFFFFu;
// Every skipped position costs an empty chunk and index entries; a jump further than this
// (about 19 hours at 15 frames per second) is taken for a wrong position, not for a pause.
inline constexpr std::uint32_t kMaxSkippedPositions = 1u << 20;

inline std::uint32_t Saturate(std::uint64_t value) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(value, 0xFFFFFFFFu));
}

}  // namespace platform::avifile::layout
