#include "settings/Settings.h"

#include <algorithm>
#include <limits>

#include "platform/files/files.h"
#include "settings/FrameRate.h"
#include "settings/MiniReg.h"

namespace app {

namespace {

constexpr std::int32_t kInfoWindowWidth = 296;

std::string ValuePath(std::string_view name) {
    std::string path(settings::kKey);
    path += '\\';
    path += name;
    return path;
}

template <typename Field>
void Read(const settings::Number& number, Field& field) {
    std::int32_t value = 0;
    const bool read = ReadRegInteger(Root::CurrentUser, ValuePath(number.name), value);
    field = static_cast<Field>(read ? number.FromStored(value) : number.Default());
}

void Read(const settings::YesNo& yesNo, bool& field) {
    std::string text;
    const bool other = ReadRegString(Root::CurrentUser, ValuePath(yesNo.name), text) &&
                       platform::files::EqualsIgnoringAsciiCase(text, yesNo.OtherWord());
    field = other != yesNo.defaultValue;
}

template <typename Field>
void Write(const settings::Number& number, const Field& field) {
    WriteRegInteger(Root::CurrentUser, ValuePath(number.name),
                    number.ToStored(static_cast<std::int32_t>(field)));
}

void Write(const settings::YesNo& yesNo, bool field) {
    WriteRegString(Root::CurrentUser, ValuePath(yesNo.name), field ? "yes" : "no");
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
    if (text.empty()) return {defaultLeft, settings::kDefaultWindowTop};
    const std::size_t semicolon = text.find(';');
    const std::string_view leftPart =
        semicolon == std::string_view::npos ? std::string_view() : text.substr(0, semicolon);
    const std::string_view topPart =
        semicolon == std::string_view::npos ? text : text.substr(semicolon + 1);
    WindowPosition position{LeadingInteger(leftPart), LeadingInteger(topPart)};
    // 160 and 60 keep enough of the window on the desktop to grab it again.
    if (position.left > screen.virtualWidth - 160 || position.left < 0) position.left = defaultLeft;
    if (position.top > screen.virtualHeight - 60 || position.top < 0)
        position.top = settings::kDefaultWindowTop;
    return position;
}

std::string PositionText(std::int32_t left, std::int32_t top) {
    return std::to_string(left) + ";" + std::to_string(top);
}

void ReadPosition(SettingsRecord& record, const ScreenGeometry& screen) {
    std::string text;
    ReadRegString(Root::CurrentUser, ValuePath(settings::kPosition), text);
    const WindowPosition position = PositionFromText(text, screen);
    record.WindowLeft = position.left;
    record.WindowTop = position.top;
}

bool WritePosition(const SettingsRecord& record) {
    return WriteRegString(Root::CurrentUser, ValuePath(settings::kPosition),
                          PositionText(record.WindowLeft, record.WindowTop));
}

std::string ReadScreenCastToken() {
    std::string token;
    if (!ReadRegString(Root::CurrentUser, ValuePath(settings::kScreenCastToken), token)) return {};
    return token;
}

void WriteScreenCastToken(const std::string& token) {
    WriteRegString(Root::CurrentUser, ValuePath(settings::kScreenCastToken), token);
}

void LoadSettings(SettingsRecord& record) {
    ForEachSetting(record, [](const auto& value, auto& field) { Read(value, field); });
    record.Engine.FramesPerSecond = app::settings::FramesPerSecondFor(record.Engine.MsPerFrame);
    record.Engine.KeyFrameEvery = record.Engine.FramesPerSecond * settings::kKeyFrameSeconds;
}

void SaveSettings(const SettingsRecord& record) {
    ForEachSetting(record, [](const auto& value, const auto& field) { Write(value, field); });
}

bool ClearSettings() {
    return DeleteRegKey(Root::CurrentUser, settings::kKey);
}

}  // namespace app
