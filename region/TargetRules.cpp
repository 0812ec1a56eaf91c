#include "region/TargetRules.h"

#include <algorithm>
#include <charconv>

#include "catalogue/MessageCatalogue.h"

namespace region {

namespace {

constexpr int kMinimumWidth = 200;
constexpr int kMinimumHeight = 150;
constexpr std::size_t kNameCharacters = 100;

// The code point that starts at text[at], and its length in bytes; a byte that starts no valid
// sequence stands for itself, so it can be dropped like any other unwanted character.
std::pair<char32_t, std::size_t> DecodeAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return {lead, 1};
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0xC2 || lead > 0xF4 || at + length > text.size()) {
        return {0xFFFD, 1};
    }
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return {0xFFFD, 1};
        code = (code << 6) | (byte(i) & 0x3F);
    }
    // An overlong form must not pass for the plain character it spells.
    constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kShortest[length] || code > 0x10FFFF) return {0xFFFD, 1};
    return {code, length};
}

bool Allowed(char32_t c) {
    if (c < 0x80) {
        return c == ' ' || c == '-' || c == '_' || (c >= '0' && c <= '9') ||
               (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    }
    return c == U'Ä' || c == U'Ö' || c == U'Ü' || c == U'ß' || c == U'ä' || c == U'ö' || c == U'ü';
}

// Lower case for ASCII and the Latin-1 letters (two bytes, C3 80 to C3 9E), which covers the
// fragments compared against.
std::string Folded(std::string_view text) {
    std::string folded(text);
    for (std::size_t i = 0; i < folded.size(); ++i) {
        auto& c = reinterpret_cast<unsigned char&>(folded[i]);
        if (c >= 'A' && c <= 'Z') {
            c += 0x20;
        } else if (c == 0xC3 && i + 1 < folded.size()) {
            auto& next = reinterpret_cast<unsigned char&>(folded[++i]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97) next += 0x20;
        }
    }
    return folded;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    return Folded(text).find(Folded(part)) != std::string::npos;
}

bool IsBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

}  // namespace

bool IsListed(const Candidate& window, std::string_view ownTitle) {
    return !ContainsIgnoringCase(window.title, app::kProgramTitle) &&
           !ContainsIgnoringCase(window.title, ownTitle) &&
           !ContainsIgnoringCase(window.title, "Program Manager") && !IsBlank(window.title) &&
           window.visible && window.normal.Width() >= kMinimumWidth &&
           window.normal.Height() >= kMinimumHeight;
}

std::string ProposedVideoName(std::string_view title) {
    std::string name;
    std::size_t at = 0;
    for (std::size_t count = 0; count < kNameCharacters && at < title.size(); ++count) {
        const auto [code, length] = DecodeAt(title, at);
        const char32_t c = code == '\\' || code == '/' || code == '.' ? U'_' : code;
        if (Allowed(c)) name.append(c == code ? title.substr(at, length) : "_");
        at += length;
    }
    return name;
}

Adoption AdoptGeometry(bool maximised, const ScreenRect& normal, const ScreenRect& primaryScreen) {
    if (maximised) return Adoption::Maximise;
    const bool onScreen = normal.left >= primaryScreen.left && normal.top >= primaryScreen.top &&
                          normal.right <= primaryScreen.right &&
                          normal.bottom <= primaryScreen.bottom;
    return onScreen ? Adoption::Rectangle : Adoption::Keep;
}

std::optional<std::uint32_t> HandleFromText(std::string_view text) {
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value <= 0) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace region
