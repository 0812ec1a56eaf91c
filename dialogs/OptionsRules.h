// The options dialog's rules on plain values: what its labels and hints read, how the settings
// fill its controls and how the controls' values are adopted on Save. Neither Qt nor X11.
#pragma once

#include <cstdint>
#include <string>

#include "settings/Settings.h"

namespace dialogs {

// The sliders' and the spin field's ranges.
inline constexpr int kMinFrameRate = 3;
inline constexpr int kMaxFrameRate = 15;
inline constexpr int kMinQuality = 25;
inline constexpr int kMaxQuality = 100;
inline constexpr int kMaxMinutes = 60;
inline constexpr int kMinZipLimit = app::settings::kSevenZipThresholdMB.min;
inline constexpr int kMaxZipLimit = app::settings::kSevenZipThresholdMB.max;

// The frame-rate label: "5 fps".
std::string FrameRateText(int framesPerSecond);
// The quality slider's hint: "Kompression = 0.75", "Kompression = 1.00" at 100; German in both
// languages.
std::string QualityHint(int position);
// The ZIP-limit slider's value text and hint: "14 MB".
std::string ZipLimitValue(int megabytes);
// The ZIP-limit label: text 26 in the language, then the value text.
std::string ZipLimitText(int megabytes, int languageOffset);

// The list position to select for a compressor index: position 0 when none is chosen; -1 (no
// selection) for an index beyond a list of count entries.
int CodecSelection(int compressorIndex, int count);

// What the maximum-time field holds after a key release: "0" when it was emptied.
std::string SpinTextAfterKeyUp(const std::string& text);
// Seconds for the field's text in minutes, as a 16-bit value; 0 when the text is not a whole
// number.
std::uint16_t SecondsFromMinutesText(const std::string& text);

// The controls whose values are adopted only on Save.
struct OptionsControls {
    int codecSelection = -1;  // list position, -1 when nothing is selected
    int frameRate = kMaxFrameRate;
    int quality = 75;
    bool highlightCursor = true;
    bool recordMicrophone = false;
    bool deleteFiles = true;
    bool warnBeforeDelete = true;
    std::string maxMinutes = "0";
};

// The controls as the settings fill them, each slider value clipped to its range.
OptionsControls ControlsFor(const app::SettingsRecord& settings, int codecCount);
// Writes the controls into settings: the frame period from the rate, and a key frame once a
// second. The archive choice and the ZIP limit are not among them: they change at once.
void AdoptControls(const OptionsControls& controls, app::SettingsRecord& settings);

}  // namespace dialogs
