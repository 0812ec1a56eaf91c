#include "app/Settings.h"

#include <algorithm>
#include <limits>

#include "app/MiniReg.h"
#include "engine/RecordTiming.h"

namespace app {

namespace {

constexpr std::string_view kSettingsKey = "SOFTWARE\\Korvex";
constexpr std::int32_t kDefaultMsPerFrame = 200;
constexpr std::int32_t kInfoWindowWidth = 296;

std::string ValuePath(std::string_view name) {
    std::string path(kSettingsKey);
    path += '\\';
    path += name;
    return path;
}

bool EqualsIgnoringCase(std::string_view text, std::string_view lowerCase) {
    return std::ranges::equal(text, lowerCase, [](char c, char lower) {
        return (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) == lower;
    });
}

// A "yes"/"no" value: on unless it reads as "no" in any case.
bool ReadOnUnlessNo(std::string_view name) {
    std::string text;
    return !(ReadRegString(Root::CurrentUser, ValuePath(name), text) &&
             EqualsIgnoringCase(text, "no"));
}

// A "yes"/"no" value: off unless it reads as "yes" in any case.
bool ReadOffUnlessYes(std::string_view name) {
    std::string text;
    return ReadRegString(Root::CurrentUser, ValuePath(name), text) &&
           EqualsIgnoringCase(text, "yes");
}

void WriteYesNo(std::string_view name, bool on) {
    WriteRegString(Root::CurrentUser, ValuePath(name), on ? "yes" : "no");
}

void WriteInteger(std::string_view name, std::int32_t value) {
    WriteRegInteger(Root::CurrentUser, ValuePath(name), value);
}

}  // namespace

std::int32_t LeadingInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    constexpr std::int64_t kLimit = std::numeric_limits<std::int32_t>::max() + std::int64_t{1};
    std::int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), kLimit);
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        value, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

WindowPosition PositionFromText(std::string_view text, const ScreenGeometry& screen) {
    const std::int32_t defaultLeft = screen.primaryWidth - kInfoWindowWidth;
    constexpr std::int32_t kDefaultTop = 2;
    if (text.empty()) return {defaultLeft, kDefaultTop};
    const std::size_t semicolon = text.find(';');
    const std::string_view leftPart =
        semicolon == std::string_view::npos ? std::string_view() : text.substr(0, semicolon);
    const std::string_view topPart =
        semicolon == std::string_view::npos ? text : text.substr(semicolon + 1);
    WindowPosition position{LeadingInteger(leftPart), LeadingInteger(topPart)};
    // 160 and 60 keep enough of the window on the desktop to grab it again.
    if (position.left > screen.virtualWidth - 160 || position.left < 0) position.left = defaultLeft;
    if (position.top > screen.virtualHeight - 60 || position.top < 0) position.top = kDefaultTop;
    return position;
}

std::string PositionText(std::int32_t left, std::int32_t top) {
    return std::to_string(left) + ";" + std::to_string(top);
}

void ReadPosition(SettingsRecord& settings, const ScreenGeometry& screen) {
    std::string text;
    ReadRegString(Root::CurrentUser, ValuePath("position"), text);
    const WindowPosition position = PositionFromText(text, screen);
    settings.WindowLeft = position.left;
    settings.WindowTop = position.top;
}

bool WritePosition(const SettingsRecord& settings) {
    return WriteRegString(Root::CurrentUser, ValuePath("position"),
                          PositionText(settings.WindowLeft, settings.WindowTop));
}

void LoadSettings(SettingsRecord& settings) {
    std::int32_t value = 0;
    settings.CompressorIndex =
        ReadRegInteger(Root::CurrentUser, ValuePath("compressor"), value) ? value : -1;

    const bool quality = ReadRegInteger(Root::CurrentUser, ValuePath("compression"), value);
    settings.Quality = quality && value >= 25 && value <= 100 ? value * 100 : 7500;

    // A period of 0 or below would leave no frame rate to derive, and one of 2 s or more a rate
    // of 0 frames per second, which no player can show; such a stored value is taken as the
    // default period, as a missing one is.
    const bool period = ReadRegInteger(Root::CurrentUser, ValuePath("mspf"), value);
    settings.MsPerFrame =
        period && value > 0 && engine::FramesPerSecondFor(value) > 0 ? value : kDefaultMsPerFrame;
    settings.FramesPerSecond = engine::FramesPerSecondFor(settings.MsPerFrame);
    settings.KeyFrameEvery = settings.FramesPerSecond * 10;

    settings.HighlightCursor = ReadOnUnlessNo("use highlight cursor");
    settings.DeleteFilesOnClose = ReadOnUnlessNo("delete files when closing");
    settings.WarnBeforeDelete = ReadOnUnlessNo("warn before deleting files");

    const bool maxTime = ReadRegInteger(Root::CurrentUser, ValuePath("max. recording time"), value);
    settings.MaxRecordingSeconds = maxTime && static_cast<std::uint32_t>(value) <= 3600
                                       ? static_cast<std::uint16_t>(value)
                                       : 900;

    settings.Use7z = ReadOffUnlessYes("compression in 7-zip format");

    const bool threshold = ReadRegInteger(
        Root::CurrentUser, ValuePath("use 7-zip format automatically at (MB)"), value);
    const auto megabytes = static_cast<std::uint32_t>(value);
    settings.SevenZipThresholdMB = threshold && megabytes >= 2 && megabytes <= 100
                                       ? static_cast<std::uint16_t>(megabytes)
                                       : 14;
}

void SaveSettings(const SettingsRecord& settings) {
    WriteInteger("compressor", settings.CompressorIndex);
    WriteInteger("compression", settings.Quality / 100);
    WriteInteger("mspf", settings.MsPerFrame);
    WriteYesNo("use highlight cursor", settings.HighlightCursor);
    WriteYesNo("delete files when closing", settings.DeleteFilesOnClose);
    WriteYesNo("warn before deleting files", settings.WarnBeforeDelete);
    WriteInteger("max. recording time", settings.MaxRecordingSeconds);
    WriteYesNo("compression in 7-zip format", settings.Use7z);
    WriteInteger("use 7-zip format automatically at (MB)", settings.SevenZipThresholdMB);
}

bool ClearSettings() {
    return DeleteRegKey(Root::CurrentUser, kSettingsKey);
}

}  // namespace app
