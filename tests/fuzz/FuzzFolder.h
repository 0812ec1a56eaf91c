// The private folder a fuzz target reads and unpacks in: $KORVEX_FUZZ_WORK, else a new folder
// under the temporary folder. Files are bounded in size, so a bomb of an archive cannot fill
// the disk.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace korvex::fuzz {

// The folder, made on first use, with "out" inside it emptied.
const std::filesystem::path& WorkFolder();
// Writes data as the file "input" in the work folder and returns its path.
std::filesystem::path WriteInput(const std::uint8_t* data, std::size_t size);
// Stops the run (a finding) when out holds anything but plain files, then empties it.
void CheckAndEmpty(const std::filesystem::path& out);

}  // namespace korvex::fuzz
