// Unpacking the recordings of a ZIP archive: the ".avi" entries at the archive's top level.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

struct ExtractedVideo {
    std::filesystem::path path;  // folder / the entry's name
    bool extracted = false;      // false: the entry could not be unpacked, nothing is at path
    bool noRoom = false;         // not unpacked because the folder's file system lacks the room
};

// Whether an entry of that size may be written into folder: its file system keeps free space
// after it, so that no archive can fill the user's disk.
bool RoomFor(const std::filesystem::path& folder, std::uint64_t size);

// Unpacks every entry of the ZIP at zipPath whose name ends in ".avi" in any letter case and
// names no folder into folder under that name, replacing a file there (a link there is
// replaced, never followed). Stored and deflated entries are read and checked against their
// CRC-32; encrypted ones, other methods, links and damaged data come back as not extracted.
// An entry larger than RoomFor allows is not written at all and comes back with noRoom.
// Entries in entry order; none when zipPath is no readable ZIP archive. New files are 0600.
std::vector<ExtractedVideo> ExtractTopLevelVideos(const std::filesystem::path& zipPath,
                                                  const std::filesystem::path& folder);
