// The ids of the program's built-in pictures and data, by what each one shows. Neither Qt nor
// X11: the engine's pure cursor logic names its images with them too.
#pragma once

namespace resources {

// Toolbar pictures, 36 x 36. "Released" is the button's normal look, "Pressed" the lighter one
// shown while the mouse button is held on it.
enum class Bitmap : int {
    MailReleased = 101,
    MailPressed = 102,
    PlayReleased = 103,
    PlayPressed = 104,
    StartReleased = 105,  // Record when the region is shown: starts the recording
    StartPressed = 106,
    RegionReleased = 107,  // Record when idle: shows the region window
    RegionPressed = 108,
    StopReleased = 109,  // Record while recording
    StopPressed = 110,   // also one of the two blink looks
    StopRed = 111,       // the other blink look
    ToolsReleased = 112,
    ToolsPressed = 113,
};

// Cursor images drawn into the frames, 32 x 32 with the hot spot at the top-left pixel.
enum class Cursor : int {
    HighlightA = 201,  // amber arrow
    HighlightALeft = 202,
    HighlightARight = 203,
    HighlightB = 204,  // red arrow
    HighlightBLeft = 205,
    HighlightBRight = 206,
    Plain = 207,  // grey arrow
    PlainLeft = 208,
    PlainRight = 209,
    ReturnKey = 210,
    EscapeKey = 211,
    F9Exclamation = 212,
    F10Question = 213,
    F11Satisfied = 214,
    F12Dissatisfied = 215,
};

// Pictures carried as JPEG data, decoded by whoever shows them.
enum class Picture : int {
    Splash = 501,  // the info window's 296 x 147 picture
};

// The libraries carried as data.
enum class Data : int {
    HookLibrary = 901,
    ArchiveEngine = 902,
};

}  // namespace resources
