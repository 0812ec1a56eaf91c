#include "dialogs/OptionsRules.h"

#include <algorithm>
#include <charconv>

#include "catalogue/MessageCatalogue.h"
#include "settings/FrameRate.h"

namespace dialogs {

std::string FrameRateText(int framesPerSecond) {
    return std::to_string(framesPerSecond) + " fps";
}

std::string QualityHint(int position) {
    if (position >= kMaxQuality) return "Kompression = 1.00";
    return "Kompression = 0." + std::to_string(position);
}

std::string ZipLimitValue(int megabytes) {
    return std::to_string(megabytes) + " MB";
}

std::string ZipLimitText(int megabytes, int languageOffset) {
    return app::Text(app::Msg::Use7zAbove, languageOffset) + ZipLimitValue(megabytes);
}

int CodecSelection(int compressorIndex, int count) {
    const int position = std::max(compressorIndex, 0);
    return position < count ? position : -1;
}

std::string SpinTextAfterKeyUp(const std::string& text) {
    return text.empty() ? "0" : text;
}

std::uint16_t SecondsFromMinutesText(const std::string& text) {
    int minutes = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, minutes);
    if (text.empty() || error != std::errc() || stop != end) return 0;
    return static_cast<std::uint16_t>(minutes * 60);
}

OptionsControls ControlsFor(const app::SettingsRecord& settings, int codecCount) {
    OptionsControls controls;
    controls.codecSelection = CodecSelection(settings.Engine.CompressorIndex, codecCount);
    controls.frameRate = std::clamp(app::settings::FramesPerSecondFor(settings.Engine.MsPerFrame),
                                    kMinFrameRate, kMaxFrameRate);
    controls.quality = std::clamp(settings.Engine.Quality / 100, kMinQuality, kMaxQuality);
    controls.highlightCursor = settings.Engine.HighlightCursor;
    controls.recordMicrophone = settings.Engine.RecordMicrophone;
    controls.deleteFiles = settings.DeleteFilesOnClose;
    controls.warnBeforeDelete = settings.WarnBeforeDelete;
    controls.maxMinutes = std::to_string(settings.MaxRecordingSeconds / 60);
    return controls;
}

void AdoptControls(const OptionsControls& controls, app::SettingsRecord& settings) {
    settings.Engine.CompressorIndex = controls.codecSelection;
    settings.Engine.MsPerFrame =
        static_cast<std::int32_t>(app::settings::RoundHalfEven(1000.0 / controls.frameRate));
    settings.Engine.FramesPerSecond = app::settings::FramesPerSecondFor(settings.Engine.MsPerFrame);
    settings.Engine.KeyFrameEvery = settings.Engine.FramesPerSecond;
    settings.Engine.Quality = controls.quality * 100;
    settings.Engine.HighlightCursor = controls.highlightCursor;
    settings.Engine.RecordMicrophone = controls.recordMicrophone;
    settings.DeleteFilesOnClose = controls.deleteFiles;
    settings.WarnBeforeDelete = controls.warnBeforeDelete;
    settings.MaxRecordingSeconds = SecondsFromMinutesText(controls.maxMinutes);
}

}  // namespace dialogs
