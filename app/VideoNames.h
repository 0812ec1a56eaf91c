// The rules for naming recordings and showing them: the characters a typed name may hold, the
// clean-up of a pasted one, the list names, the paths, the hint and the elapsed-time caption.
// Pure functions; texts are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace app {

// Whether a typed character reaches the name field: Backspace, blank, "-", "_", digits, ASCII
// letters and the German letters Ä Ö Ü ä ö ü ß. Enter, Escape and the full stop do not.
bool AcceptedNameChar(char32_t c);

// Blanks and control characters removed from both ends.
std::string TrimName(const std::string& text);

// The name a recording is written under. Pasted text can hold anything, so path separators and
// control characters are dropped and leading dots removed: the file always lands directly in the
// working folder and never as a hidden file the list would not show. A name of dots alone
// becomes empty, as does one of blanks alone.
std::string RecordingName(const std::string& text);

// The list entry for a file name: every ".avi", in any letter case, removed.
std::string ListName(const std::string& fileName);

// A recording's video and the archives made of it, side by side in the working folder.
struct RecordingFiles {
    std::string video;
    std::string zip;
    std::string sevenZip;
};

// The files of recording name in folder: the video is folder + "/" + name, with ".avi" appended
// unless the name ends in it (any letter case); the archives are that path with ".zip" and ".7z"
// in place of the video's ".avi".
RecordingFiles RecordingFilesFor(const std::string& folder, const std::string& name);

// The combo box hint: the text and the context-menu line, or the empty-selection text.
std::string ComboHint(const std::string& text, const std::string& contextLine,
                      const std::string& selectLine);

// "mm:ss" of the elapsed seconds; hours are not shown, so 3600 s reads "00:00".
std::string ElapsedCaption(std::uint32_t seconds);

// More than threshold MiB free. A figure that could not be had counts as enough: the write
// failure of a recording still ends it cleanly if the disk really is full.
bool EnoughSpace(std::optional<std::uint64_t> freeBytes, std::uint64_t thresholdMiB);

}  // namespace app
