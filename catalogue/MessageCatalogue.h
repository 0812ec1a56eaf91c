// The bilingual message catalogue: text N of the program is entry N + LanguageOffset, the
// offset being 0 for German and 1000 for English. Texts are UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// The main window's title, by which a second start finds the running program.
inline constexpr char kProgramTitle[] = "Korvex!";

constexpr int kGerman = 0;
constexpr int kEnglish = 1000;

// The catalogue's texts by meaning; the value is the German id (the English twin is 1000 more).
// Ids from 201 and 301 have English entries only: below them the dialogs keep their built-in
// German texts.
enum class Msg : int {
    // Message box captions.
    Question = 1,
    Information = 2,
    Error = 3,
    Warning = 4,
    // Message box texts. A leading blank means the text follows a path or name; a trailing one
    // that a drive, path or size follows it.
    SettingsCleared = 10,
    NoSettingsSaved = 11,
    NotEnoughSpaceOnDrive = 12,
    WillBeOverwritten = 13,
    InvalidTemp = 14,
    EnterVideoName = 15,
    DeleteAllVideos = 16,
    SelectVideo = 17,
    MaxRecordingTimeReached = 18,
    RecordingStopped = 19,
    CompressingFile = 20,
    CreatingMail = 21,
    NotFound = 22,
    InUseByOtherProgram = 23,
    CannotCreateFile = 24,
    CannotStart = 25,
    Use7zAbove = 26,
    NotAValidFile = 27,
    NoVideoFoundIn = 28,
    CannotExtract = 29,
    NoRoomToExtract = 30,
    // Followed by a line break and the path of the file that was to be opened or mailed.
    NoVideoPlayer = 31,
    NoMailProgram = 32,
    // Recording through the desktop's ScreenCast portal (Wayland sessions).
    ScreenCastNoPortal = 40,
    ScreenCastUnavailable = 41,
    ScreenCastCancelled = 42,
    ScreenCastRefused = 43,
    ScreenCastNoPipeWire = 44,
    ScreenCastEnded = 45,
    ScreenCastNoPicture = 46,
    NoSoundServer = 50,
    NoSoundInput = 51,
    SoundInputLost = 52,
    // Said on stderr when the program cannot show its windows.
    NoDisplay = 60,
    DisplayUnreachable = 61,  // the display's name follows
    // The main window's hints, menu items and titles.
    ToolsHint = 101,
    SetRegionHint = 102,
    PlayHint = 103,
    MailHint = 104,
    SelectVideoHint = 105,
    DeleteVideoItem = 106,
    CompressVideoItem = 107,
    OpenExplorerItem = 108,
    StopRecordingHint = 109,
    F9Hint = 110,
    F10Hint = 111,
    F11Hint = 112,
    F12Hint = 113,
    StartRecordingHint = 114,
    ReadyTitle = 115,
    ContextMenuHint = 116,
    ShowCompressedVideoItem = 117,  // also the open dialog's title
    CompressedVideoFilter = 118,    // description "|" patterns
    // The options dialog.
    OptionsCaption = 201,
    RecordingGroup = 202,
    AviFilesGroup = 203,
    CompressorLabel = 204,
    CodecAboutButton = 205,
    FrameRateLabel = 206,
    FrameRateHint = 207,
    HighlightCursorCheck = 208,
    MaxRecordingTimeLabel = 209,
    MaxRecordingTimeHint = 210,
    DeleteOnCloseCheck = 215,
    DeleteOnCloseHint = 216,
    WarnBeforeDeleteCheck = 217,
    WarnBeforeDeleteHint = 218,
    SaveButton = 219,
    ClearSettingsButton = 220,
    ClearSettingsHint = 221,
    CancelButton = 222,
    SevenZipChoice = 223,
    ZipChoice = 224,
    RecordMicrophoneCheck = 225,
    RecordMicrophoneHint = 226,
    // The region window.
    RegionCaption = 301,
    ChooseTargetWindow = 303,
    StartingRecording = 304,
    SetRegionTitle = 305,
};

// The entry of exactly that id; empty for an id without one.
std::string_view CatalogueText(int id);

// Text id in the language of languageOffset.
std::string Text(Msg id, int languageOffset);

// Every id the catalogue holds, ascending.
std::vector<int> CatalogueIds();

// The language from the user's "Locale" value (an 8-digit LCID): German for the German
// locales (compared without regard to case) and for a value that could not be read, English
// for every other.
int LanguageOffsetFor(const std::optional<std::string>& locale);

}  // namespace app
