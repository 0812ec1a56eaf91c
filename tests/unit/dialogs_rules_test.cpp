// The dialogs' rules on plain values: the options dialog's texts, filling and adoption; the
// splash's course, placement and link; the splash picture's decoding.
#include <gtest/gtest.h>

#include <span>

#include "catalogue/MessageCatalogue.h"
#include "dialogs/JpegPicture.h"
#include "dialogs/OptionsRules.h"
#include "dialogs/SplashRules.h"
#include "resources/Resources.h"

using namespace dialogs;

TEST(OptionsRules, LabelsAndHints) {
    EXPECT_EQ(FrameRateText(5), "5 fps");
    EXPECT_EQ(QualityHint(25), "Kompression = 0.25");
    EXPECT_EQ(QualityHint(75), "Kompression = 0.75");
    EXPECT_EQ(QualityHint(100), "Kompression = 1.00");
    EXPECT_EQ(ZipLimitText(14, app::kEnglish), "Use 7-ZIP format if AVI file is larger than 14 MB");
    EXPECT_EQ(ZipLimitText(2, app::kGerman),
              "7-ZIP Format verwenden wenn AVI-Datei größer ist als 2 MB");
}

TEST(OptionsRules, CodecSelectionAndSpinField) {
    struct Case {
        int index, count, selection;
    };
    for (const Case c : {Case{-1, 3, 0}, Case{2, 3, 2}, Case{3, 3, -1}, Case{-1, 0, -1}}) {
        EXPECT_EQ(CodecSelection(c.index, c.count), c.selection) << c.index << " of " << c.count;
    }
    EXPECT_EQ(SpinTextAfterKeyUp(""), "0");
    EXPECT_EQ(SpinTextAfterKeyUp("7"), "7");
    EXPECT_EQ(SecondsFromMinutesText("60"), 3600);
    EXPECT_EQ(SecondsFromMinutesText("0"), 0);
    for (const char* notANumber : {"", "x", "5x", " 5"}) {
        EXPECT_EQ(SecondsFromMinutesText(notANumber), 0) << notANumber;
    }
}

TEST(OptionsRules, EveryRateSurvivesOpeningAndSaving) {
    const int periods[] = {333, 250, 200, 167, 143, 125, 111, 100, 91, 83, 77, 71, 67};
    for (int rate = kMinFrameRate; rate <= kMaxFrameRate; ++rate) {
        app::SettingsRecord settings;
        OptionsControls controls;
        controls.frameRate = rate;
        AdoptControls(controls, settings);
        EXPECT_EQ(settings.Engine.MsPerFrame, periods[rate - kMinFrameRate]);
        EXPECT_EQ(settings.Engine.FramesPerSecond, rate);
        EXPECT_EQ(settings.Engine.KeyFrameEvery, rate);
        EXPECT_EQ(ControlsFor(settings, 0).frameRate, rate);
    }
}

TEST(OptionsRules, SavingUnchangedKeepsTheValuesAndAKeyFrameEverySecond) {
    app::SettingsRecord settings;  // 200 ms, quality 7500, 900 s, no codec chosen
    settings.MaxRecordingSeconds = 3599;
    const OptionsControls controls = ControlsFor(settings, 2);
    EXPECT_EQ(controls.frameRate, 5);
    EXPECT_EQ(controls.codecSelection, 0);
    EXPECT_EQ(controls.maxMinutes, "59");
    AdoptControls(controls, settings);
    EXPECT_EQ(settings.Engine.MsPerFrame, 200);
    EXPECT_EQ(settings.Engine.FramesPerSecond, 5);
    EXPECT_EQ(settings.Engine.KeyFrameEvery, 5);
    EXPECT_EQ(settings.Engine.Quality, 7500);
    EXPECT_EQ(settings.Engine.CompressorIndex, 0);
    EXPECT_EQ(settings.MaxRecordingSeconds, 3540);

    // An empty catalogue saves "none chosen"; sliders clip what they cannot show.
    settings.Engine.MsPerFrame = 1000;
    settings.Engine.Quality = 2000;
    const OptionsControls clipped = ControlsFor(settings, 0);
    EXPECT_EQ(clipped.frameRate, kMinFrameRate);
    EXPECT_EQ(clipped.quality, kMinQuality);
    AdoptControls(clipped, settings);
    EXPECT_EQ(settings.Engine.CompressorIndex, -1);
}

namespace {

// Ticks the timer until it asks for a close; how many ticks that took.
int TicksUntilClose(SplashFade& fade, FadeStep (*tick)(SplashFade&), int* holdTick = nullptr) {
    for (int ticks = 1; ticks < 1000; ++ticks) {
        if (tick(fade) == FadeStep::RequestClose) return ticks;
        if (holdTick && !*holdTick && fade.holdDone) *holdTick = ticks;
        // A key or the system asking meanwhile changes nothing, down to the last steps.
        if (fade.opacity < 6) continue;
        const SplashFade before = fade;
        EXPECT_FALSE(CloseQuery(fade));
        EXPECT_EQ(fade.opacity, before.opacity);
        EXPECT_EQ(fade.fadeOutRunning, before.fadeOutRunning);
    }
    return -1;
}

}  // namespace

TEST(SplashRules, TheWholeCourseRunsWhoeverAsksToClose) {
    SplashFade fade;
    EXPECT_FALSE(CloseQuery(fade));  // before the first activation too
    StartFadeIn(fade);
    int holdTick = 0;
    EXPECT_EQ(TicksUntilClose(fade, FadeInTick, &holdTick), 83);
    EXPECT_EQ(holdTick, 82);
    EXPECT_FALSE(fade.blending);
    EXPECT_FALSE(fade.fadeInRunning);
    EXPECT_EQ(fade.fadeInIntervalMs, kFadeTickMs);

    // The end of the hold starts the fade-out from full opacity.
    EXPECT_FALSE(CloseQuery(fade));
    EXPECT_TRUE(fade.blending);
    EXPECT_TRUE(fade.fadeOutRunning);
    EXPECT_EQ(fade.opacity, kFullOpacity);
    EXPECT_EQ(TicksUntilClose(fade, FadeOutTick), 85);
    EXPECT_TRUE(CloseQuery(fade));
    EXPECT_EQ(fade.opacity, kDesignOpacity);
    EXPECT_FALSE(fade.fadeOutRunning);
}

TEST(SplashRules, PlacementAndLink) {
    const app::ScreenGeometry screen{1366, 1366, 768};
    const app::WindowPosition corner = SplashPlacement(app::PositionFromText("", screen));
    EXPECT_EQ(corner.left + kSplashWidth, 1366 - 136);
    EXPECT_EQ(corner.top, 2);
    EXPECT_EQ(WebPageAddress(app::kEnglish), "https://korvex.github.io/en/tools.html");
    EXPECT_EQ(WebPageAddress(app::kGerman), "https://korvex.github.io/de/tools.html");
    EXPECT_EQ(WebHostName(), "korvex.github.io");
}

TEST(JpegPicture, DecodesTheSplashAndRefusesDamage) {
    const QByteArray jpeg = resources::PictureData(resources::Picture::Splash);
    const std::span bytes(reinterpret_cast<const std::uint8_t*>(jpeg.constData()),
                          static_cast<std::size_t>(jpeg.size()));
    const auto picture = DecodeJpeg(bytes);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width, kSplashWidth);
    EXPECT_EQ(picture->height, kSplashHeight);
    EXPECT_EQ(picture->rgb.size(), std::size_t{kSplashWidth} * kSplashHeight * 3);
    // The bottom right corner is the white ground the web link sits on.
    EXPECT_GT(picture->rgb.back(), 240);

    EXPECT_FALSE(DecodeJpeg(bytes.first(bytes.size() / 2)));
    EXPECT_FALSE(DecodeJpeg(bytes.first(2)));
    EXPECT_FALSE(DecodeJpeg(std::span(bytes.data() + 2, bytes.size() - 2)));
    EXPECT_FALSE(DecodeJpeg({}));
}
