// The settings record and its store: named values in HKEY_CURRENT_USER "SOFTWARE\Korvex",
// moved between memory and the registry through MiniReg. Reads that fail or give a value out of
// range yield that value's default; writes that fail are ignored and the record stays as it is.
// Any thread, though the program calls these from the GUI thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/SettingsTable.h"

namespace app {

// What the recording engine takes from the settings, as one value: a new engine setting is a
// field here and a line in ForEachSetting.
struct EngineSettings {
    std::int32_t CompressorIndex = settings::kCompressor.Default();
    std::int32_t Quality = settings::kCompression.Default();  // 0..10000
    std::int32_t MsPerFrame = settings::kMsPerFrame.Default();
    std::int32_t FramesPerSecond = settings::kDefaultFramesPerSecond;  // Round(1000 / MsPerFrame)
    std::int32_t KeyFrameEvery = settings::kDefaultKeyFrameEvery;
    bool HighlightCursor = settings::kHighlightCursor.defaultValue;
    // Record the sound server's default input into the file as well.
    bool RecordMicrophone = settings::kRecordMicrophone.defaultValue;
};

// Every persisted choice, with the values a new user starts with: the engine's, then the
// shell's.
struct SettingsRecord {
    EngineSettings Engine;

    std::int32_t WindowLeft = 0;  // set from the screen by ReadPosition
    std::int32_t WindowTop = settings::kDefaultWindowTop;
    bool DeleteFilesOnClose = settings::kDeleteFilesOnClose.defaultValue;
    bool WarnBeforeDelete = settings::kWarnBeforeDelete.defaultValue;
    std::uint16_t MaxRecordingSeconds = settings::kMaxRecordingSeconds.Default();
    bool Use7z = settings::kUse7z.defaultValue;
    std::uint16_t SevenZipThresholdMB = settings::kSevenZipThresholdMB.Default();
};

// Calls visit(descriptor, field) for every value of the table with its field, in the order the
// values are loaded and saved. The window position is not among them.
template <typename Record, typename Visit>
void ForEachSetting(Record& record, Visit&& visit) {
    visit(settings::kCompressor, record.Engine.CompressorIndex);
    visit(settings::kCompression, record.Engine.Quality);
    visit(settings::kMsPerFrame, record.Engine.MsPerFrame);
    visit(settings::kHighlightCursor, record.Engine.HighlightCursor);
    visit(settings::kDeleteFilesOnClose, record.DeleteFilesOnClose);
    visit(settings::kWarnBeforeDelete, record.WarnBeforeDelete);
    visit(settings::kMaxRecordingSeconds, record.MaxRecordingSeconds);
    visit(settings::kUse7z, record.Use7z);
    visit(settings::kSevenZipThresholdMB, record.SevenZipThresholdMB);
    visit(settings::kRecordMicrophone, record.Engine.RecordMicrophone);
}

// What the position rules measure the stored window position against, in pixels.
struct ScreenGeometry {
    std::int32_t primaryWidth = 0;
    std::int32_t virtualWidth = 0;
    std::int32_t virtualHeight = 0;
};

// The integer a text starts with: leading blanks, an optional sign, then digits (as many as
// there are, saturating at the 32-bit limits); 0 when there are no digits.
std::int32_t LeadingInteger(std::string_view text);

struct WindowPosition {
    std::int32_t left = 0;
    std::int32_t top = 0;
};

// The main window's position from the stored "position" text ("" when there is none), with the
// defaults and limits applied.
WindowPosition PositionFromText(std::string_view text, const ScreenGeometry& screen);
// The "position" text for a window at left, top ("1070;2").
std::string PositionText(std::int32_t left, std::int32_t top);

// Sets WindowLeft and WindowTop from the stored "position" (start-up).
void ReadPosition(SettingsRecord& record, const ScreenGeometry& screen);
// Stores "position" from WindowLeft and WindowTop (close); true when stored.
bool WritePosition(const SettingsRecord& record);

// The desktop's token for the monitor the user chose to share (Wayland sessions); empty when
// none is stored. Written after every start of sharing, since each token serves only once.
std::string ReadScreenCastToken();
void WriteScreenCastToken(const std::string& token);

// Sets every field but the window position from the store, deriving FramesPerSecond and
// KeyFrameEvery from MsPerFrame. The caller then moves the window and updates the cursor.
void LoadSettings(SettingsRecord& record);
// Stores every field but the window position; failures are ignored. The caller updates the
// cursor afterwards.
void SaveSettings(const SettingsRecord& record);
// Deletes the settings key; true when it was deleted, false otherwise (none there included). The
// record in memory is left alone.
bool ClearSettings();

}  // namespace app
