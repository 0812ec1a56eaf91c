// The persisted settings: each registry value's name, type, default and accepted range, in one
// place. The settings store loads, saves and clears by it; the engine and the shell take their
// starting values from it; the options dialog bounds its controls by it. Needs nothing, so the
// engine's pure parts may include it.
#pragma once

#include <cstdint>
#include <limits>
#include <string_view>

namespace app::settings {

// A REG_DWORD value. In memory it is stored x scale; a read value outside [min, max] or a
// failed read gives the default.
struct Number {
    std::string_view name;
    std::int32_t storedDefault;
    std::int32_t min;
    std::int32_t max;
    std::int32_t scale = 1;

    constexpr std::int32_t Default() const { return storedDefault * scale; }
    constexpr bool Accepts(std::int32_t stored) const { return stored >= min && stored <= max; }
    constexpr std::int32_t FromStored(std::int32_t stored) const {
        return Accepts(stored) ? stored * scale : Default();
    }
    constexpr std::int32_t ToStored(std::int32_t inMemory) const { return inMemory / scale; }
};

// A REG_SZ "yes" or "no", written in lower case. Only the other word, in any letter case, moves
// it away from its default: any other text, or none, leaves the default.
struct YesNo {
    std::string_view name;
    bool defaultValue;

    constexpr std::string_view OtherWord() const { return defaultValue ? "no" : "yes"; }
};

inline constexpr std::string_view kKey = "SOFTWARE\\Korvex";

// Index into the codec catalogue; -1: none chosen.
inline constexpr Number kCompressor{"compressor", -1, std::numeric_limits<std::int32_t>::min(),
                                    std::numeric_limits<std::int32_t>::max()};
// Codec quality: stored in percent, held on the 0..10000 scale.
inline constexpr Number kCompression{"compression", 75, 25, 100, 100};
// Milliseconds per frame. 0 or below leaves no frame rate to derive, and 2000 or more rounds to
// 0 frames per second, which no player can show.
inline constexpr Number kMsPerFrame{"mspf", 200, 1, 1999};
inline constexpr YesNo kHighlightCursor{"use highlight cursor", true};
inline constexpr YesNo kDeleteFilesOnClose{"delete files when closing", true};
inline constexpr YesNo kWarnBeforeDelete{"warn before deleting files", true};
// Seconds; 0: no automatic stop.
inline constexpr Number kMaxRecordingSeconds{"max. recording time", 900, 0, 3600};
inline constexpr YesNo kUse7z{"compression in 7-zip format", false};
// MiB above which 7z is used.
inline constexpr Number kSevenZipThresholdMB{"use 7-zip format automatically at (MB)", 14, 2, 100};
// The sound server's default input recorded with the video.
inline constexpr YesNo kRecordMicrophone{"record microphone", false};

// The main window's "left;top" text, written at close and read at start-up.
inline constexpr std::string_view kPosition = "position";
inline constexpr std::int32_t kDefaultWindowTop = 2;

// The ScreenCast portal's restore token of the monitor last shared, a REG_SZ.
inline constexpr std::string_view kScreenCastToken = "screencast restore token";

// Derived from the frame period whenever it is loaded: a key frame every ten seconds.
inline constexpr std::int32_t kKeyFrameSeconds = 10;
inline constexpr std::int32_t kDefaultFramesPerSecond = 1000 / kMsPerFrame.Default();
static_assert(1000 % kMsPerFrame.Default() == 0, "the default rate needs no rounding");
inline constexpr std::int32_t kDefaultKeyFrameEvery = kKeyFrameSeconds * kDefaultFramesPerSecond;

}  // namespace app::settings
