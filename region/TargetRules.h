// The target window picker's rules: which windows it lists, the video name a title proposes and
// how the region takes over a chosen window's geometry. Plain data in, plain data out; texts are
// UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace region {

// A rectangle in screen pixels; right and bottom lie just outside it.
struct ScreenRect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    friend bool operator==(const ScreenRect&, const ScreenRect&) = default;
};

// What the list needs to know of a top-level window.
struct Candidate {
    std::string title;
    bool visible = false;  // minimised windows count as visible
    ScreenRect normal;     // the rectangle the window has when neither minimised nor maximised
};

// The filters in their order: no "Korvex!" and no ownTitle (the region window's fragment) in the
// title, no "Program Manager", ignoring case; no title that is blank once trimmed; visible; the
// normal rectangle at least 200 x 150, the region window's own minimum.
bool IsListed(const Candidate& window, std::string_view ownTitle);

// The name a chosen title proposes: its first 100 characters, "\", "/" and "." turned into "_",
// then everything dropped but blanks, "-", "_", digits, the letters A to Z and a to z and the
// German letters Ä Ö Ü ß ä ö ü.
std::string ProposedVideoName(std::string_view title);

enum class Adoption {
    Maximise,   // the chosen window is maximised: so is the region
    Rectangle,  // the region takes the normal rectangle
    Keep,       // the rectangle reaches off the primary screen: the region stays as it is
};
Adoption AdoptGeometry(bool maximised, const ScreenRect& normal, const ScreenRect& primaryScreen);

// The window handle that an entry of the parallel handle list holds: a whole number above 0
// that fits a signed 32-bit integer, else nothing.
std::optional<std::uint32_t> HandleFromText(std::string_view text);

}  // namespace region
