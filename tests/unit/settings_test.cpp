// The settings store: defaults, accepted ranges, the window position, saving and clearing.
#include "settings/Settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/registry/hive_file.h"
#include "settings/FrameRate.h"
#include "settings/MiniReg.h"

using namespace app;
namespace reg = platform::registry;
namespace fs = std::filesystem;

namespace {

constexpr ScreenGeometry kScreen{1366, 2732, 768};  // two monitors side by side
constexpr std::string_view kKey = "SOFTWARE\\Korvex";

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvex-settings-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        config_ = pattern;
        ::setenv("XDG_CONFIG_HOME", pattern, 1);
    }
    void TearDown() override { fs::remove_all(config_); }

    static std::string Path(std::string_view name) {
        return std::string(kKey) + "\\" + std::string(name);
    }
    static SettingsRecord LoadedWith(std::string_view name, std::int32_t value) {
        EXPECT_TRUE(WriteRegInteger(Root::CurrentUser, Path(name), value));
        SettingsRecord settings;
        LoadSettings(settings);
        return settings;
    }
    static SettingsRecord LoadedWith(std::string_view name, const std::string& text) {
        EXPECT_TRUE(WriteRegString(Root::CurrentUser, Path(name), text));
        SettingsRecord settings;
        LoadSettings(settings);
        return settings;
    }
    // The settings key as stored, or null when there is none.
    static std::optional<reg::KeyNode> StoredKey() {
        const reg::HiveTree tree = reg::HiveFile::ForCurrentUser().Read();
        const std::string path[] = {"SOFTWARE", "Korvex"};
        const reg::KeyNode* key = reg::FindKey(tree.currentUser, path);
        return key ? std::optional(*key) : std::nullopt;
    }

    fs::path config_;
};

TEST_F(SettingsTest, FreshUserGetsTheDefaults) {
    SettingsRecord settings{{3, 2500, 67, 15, 15, false, true}, 5, 5, false, false, 0, true, 50};
    LoadSettings(settings);
    ReadPosition(settings, kScreen);
    EXPECT_EQ(settings.WindowLeft, 1366 - 296);
    EXPECT_EQ(settings.WindowTop, 2);
    EXPECT_EQ(settings.Engine.CompressorIndex, -1);
    EXPECT_EQ(settings.Engine.Quality, 7500);
    EXPECT_EQ(settings.Engine.MsPerFrame, 200);
    EXPECT_EQ(settings.Engine.FramesPerSecond, 5);
    EXPECT_EQ(settings.Engine.KeyFrameEvery, 50);
    EXPECT_TRUE(settings.Engine.HighlightCursor);
    EXPECT_TRUE(settings.DeleteFilesOnClose);
    EXPECT_TRUE(settings.WarnBeforeDelete);
    EXPECT_EQ(settings.MaxRecordingSeconds, 900);
    EXPECT_FALSE(settings.Use7z);
    EXPECT_EQ(settings.SevenZipThresholdMB, 14);
    EXPECT_FALSE(settings.Engine.RecordMicrophone);
    EXPECT_FALSE(StoredKey()) << "loading writes nothing";
}

TEST_F(SettingsTest, NumbersOutOfRangeGiveTheirDefaults) {
    const auto quality = [](std::int32_t v) { return LoadedWith("compression", v).Engine.Quality; };
    EXPECT_EQ(quality(24), 7500);
    EXPECT_EQ(quality(101), 7500);
    EXPECT_EQ(quality(25), 2500);
    EXPECT_EQ(quality(100), 10000);
    EXPECT_EQ(quality(-50), 7500);

    const auto seconds = [](std::int32_t v) {
        return LoadedWith("max. recording time", v).MaxRecordingSeconds;
    };
    EXPECT_EQ(seconds(3600), 3600);
    EXPECT_EQ(seconds(3601), 900);
    EXPECT_EQ(seconds(0), 0);
    EXPECT_EQ(seconds(-1), 900);

    const auto limit = [](std::int32_t v) {
        return LoadedWith("use 7-zip format automatically at (MB)", v).SevenZipThresholdMB;
    };
    EXPECT_EQ(limit(1), 14);
    EXPECT_EQ(limit(101), 14);
    EXPECT_EQ(limit(2), 2);
    EXPECT_EQ(limit(100), 100);
    EXPECT_EQ(limit(-2), 14);

    const auto compressor = [](std::int32_t v) {
        return LoadedWith("compressor", v).Engine.CompressorIndex;
    };
    EXPECT_EQ(compressor(31), 31);
    EXPECT_EQ(compressor(-1), -1);
    EXPECT_EQ(compressor(1000), 1000);
}

TEST_F(SettingsTest, YesNoTexts) {
    EXPECT_FALSE(LoadedWith("use highlight cursor", "NO").Engine.HighlightCursor);
    EXPECT_TRUE(LoadedWith("use highlight cursor", "false").Engine.HighlightCursor);
    EXPECT_TRUE(LoadedWith("use highlight cursor", "").Engine.HighlightCursor);
    EXPECT_TRUE(LoadedWith("use highlight cursor", "no ").Engine.HighlightCursor);
    EXPECT_FALSE(LoadedWith("delete files when closing", "No").DeleteFilesOnClose);
    EXPECT_FALSE(LoadedWith("warn before deleting files", "nO").WarnBeforeDelete);
    EXPECT_TRUE(LoadedWith("compression in 7-zip format", "Yes").Use7z);
    EXPECT_FALSE(LoadedWith("compression in 7-zip format", "1").Use7z);
    EXPECT_FALSE(LoadedWith("compression in 7-zip format", "yes please").Use7z);
    EXPECT_TRUE(LoadedWith("record microphone", "YES").Engine.RecordMicrophone);
    EXPECT_FALSE(LoadedWith("record microphone", "on").Engine.RecordMicrophone);
}

TEST_F(SettingsTest, ValuesOfForeignTypeGiveTheirDefaults) {
    EXPECT_EQ(LoadedWith("compression", std::string("50")).Engine.Quality, 7500);
    EXPECT_EQ(LoadedWith("compressor", std::string("2")).Engine.CompressorIndex, -1);
    EXPECT_TRUE(LoadedWith("use highlight cursor", 0).Engine.HighlightCursor);
    EXPECT_FALSE(LoadedWith("compression in 7-zip format", 1).Use7z);
}

TEST_F(SettingsTest, FramePeriodSetsRateAndKeyFrames) {
    SettingsRecord settings = LoadedWith("mspf", 67);
    EXPECT_EQ(settings.Engine.MsPerFrame, 67);
    EXPECT_EQ(settings.Engine.FramesPerSecond, 15);
    EXPECT_EQ(settings.Engine.KeyFrameEvery, 150);
    // No period to divide by, or one that rounds to no frames at all: the default period.
    for (std::int32_t period : {0, -40, 2000, 100000}) {
        settings = LoadedWith("mspf", period);
        EXPECT_EQ(settings.Engine.MsPerFrame, 200) << period;
        EXPECT_EQ(settings.Engine.FramesPerSecond, 5) << period;
        EXPECT_EQ(settings.Engine.KeyFrameEvery, 50) << period;
    }
}

TEST(FramesPerSecond, RoundsHalvesToEven) {
    using app::settings::FramesPerSecondFor;
    // Every period the options dialog stores gives back its rate.
    const std::int32_t periods[] = {333, 250, 200, 167, 143, 125, 111, 100, 91, 83, 77, 71, 67};
    for (std::int32_t rate = 3; rate <= 15; ++rate) {
        EXPECT_EQ(FramesPerSecondFor(periods[rate - 3]), rate) << periods[rate - 3];
    }
    EXPECT_EQ(FramesPerSecondFor(400), 2);   // 2.5
    EXPECT_EQ(FramesPerSecondFor(80), 12);   // 12.5
    EXPECT_EQ(FramesPerSecondFor(16), 62);   // 62.5
    EXPECT_EQ(FramesPerSecondFor(2000), 0);  // 0.5
    EXPECT_EQ(FramesPerSecondFor(1), 1000);
    EXPECT_EQ(FramesPerSecondFor(286), 3);  // 3.497
    EXPECT_EQ(FramesPerSecondFor(285), 4);  // 3.509
}

TEST(Position, ParsedFromTheStoredText) {
    const auto at = [](std::string_view text) {
        const WindowPosition p = PositionFromText(text, kScreen);
        return std::pair(p.left, p.top);
    };
    EXPECT_EQ(at(""), std::pair(1070, 2));
    EXPECT_EQ(at("-5;10"), std::pair(1070, 10));
    EXPECT_EQ(at("100"), std::pair(0, 100));
    EXPECT_EQ(at("  +20;x7"), std::pair(20, 0));
    EXPECT_EQ(at(";"), std::pair(0, 0));
    EXPECT_EQ(at("12px;34 down"), std::pair(12, 34));
    EXPECT_EQ(at("1;2;3"), std::pair(1, 2));
    EXPECT_EQ(at("2572;708"), std::pair(2572, 708));  // the last spots still allowed
    EXPECT_EQ(at("2573;709"), std::pair(1070, 2));
    EXPECT_EQ(at("99999999999;-99999999999"), std::pair(1070, 2));

    EXPECT_EQ(LeadingInteger("\t -12x"), -12);
    EXPECT_EQ(LeadingInteger("+"), 0);
    EXPECT_EQ(LeadingInteger("- 1"), 0);
    EXPECT_EQ(LeadingInteger("2147483647"), 2147483647);
    EXPECT_EQ(LeadingInteger("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(LeadingInteger("2147483648"), 2147483647);
    EXPECT_EQ(PositionText(-5, 10), "-5;10");
}

TEST_F(SettingsTest, PositionRoundTripsThroughTheStore) {
    SettingsRecord settings;
    settings.WindowLeft = 300;
    settings.WindowTop = 40;
    ASSERT_TRUE(WritePosition(settings));
    std::string text;
    EXPECT_TRUE(ReadRegString(Root::CurrentUser, Path("position"), text));
    EXPECT_EQ(text, "300;40");
    SettingsRecord read;
    ReadPosition(read, kScreen);
    EXPECT_EQ(read.WindowLeft, 300);
    EXPECT_EQ(read.WindowTop, 40);
}

TEST_F(SettingsTest, SaveWritesEveryValueWithItsType) {
    SettingsRecord settings;
    settings.Engine.CompressorIndex = -1;
    settings.Engine.Quality = 8099;
    settings.Engine.MsPerFrame = 67;
    settings.Engine.HighlightCursor = false;
    settings.WarnBeforeDelete = false;
    settings.MaxRecordingSeconds = 3600;
    settings.Use7z = true;
    settings.SevenZipThresholdMB = 100;
    settings.Engine.RecordMicrophone = true;
    SaveSettings(settings);

    const std::optional<reg::KeyNode> key = StoredKey();
    ASSERT_TRUE(key);
    const auto dword = [](std::uint32_t v) {
        return std::vector<std::byte>{std::byte(v), std::byte(v >> 8), std::byte(v >> 16),
                                      std::byte(v >> 24)};
    };
    const auto sz = [](std::string_view text) {
        std::vector<std::byte> bytes;
        for (char c : text) bytes.push_back(std::byte(c));
        bytes.push_back(std::byte{0});
        return bytes;
    };
    const std::vector<reg::Value> expected{
        {"compressor", reg::REG_DWORD, dword(0xFFFFFFFF)},
        {"compression", reg::REG_DWORD, dword(80)},
        {"mspf", reg::REG_DWORD, dword(67)},
        {"use highlight cursor", reg::REG_SZ, sz("no")},
        {"delete files when closing", reg::REG_SZ, sz("yes")},
        {"warn before deleting files", reg::REG_SZ, sz("no")},
        {"max. recording time", reg::REG_DWORD, dword(3600)},
        {"compression in 7-zip format", reg::REG_SZ, sz("yes")},
        {"use 7-zip format automatically at (MB)", reg::REG_DWORD, dword(100)},
        {"record microphone", reg::REG_SZ, sz("yes")},
    };
    EXPECT_EQ(key->values, expected);

    SettingsRecord loaded;
    LoadSettings(loaded);
    EXPECT_EQ(loaded.Engine.CompressorIndex, -1);
    EXPECT_EQ(loaded.Engine.Quality, 8000);
    EXPECT_EQ(loaded.Engine.FramesPerSecond, 15);
    EXPECT_FALSE(loaded.Engine.HighlightCursor);
    EXPECT_TRUE(loaded.Use7z);
    EXPECT_EQ(loaded.SevenZipThresholdMB, 100);
    EXPECT_TRUE(loaded.Engine.RecordMicrophone);
}

TEST_F(SettingsTest, ClearingThenClosingLeavesOnlyThePosition) {
    EXPECT_FALSE(ClearSettings());
    SettingsRecord settings;
    settings.Engine.Quality = 5000;
    SaveSettings(settings);
    ASSERT_TRUE(ClearSettings());
    EXPECT_FALSE(StoredKey());
    EXPECT_EQ(settings.Engine.Quality, 5000);
    EXPECT_FALSE(ClearSettings());

    ASSERT_TRUE(WritePosition(settings));
    const std::optional<reg::KeyNode> key = StoredKey();
    ASSERT_TRUE(key);
    ASSERT_EQ(key->values.size(), 1u);
    EXPECT_EQ(key->values.front().name, "position");
    EXPECT_EQ(key->values.front().type, reg::REG_SZ);
}

TEST_F(SettingsTest, UnwritableStoreFailsQuietly) {
    std::ofstream(config_ / "file") << "x";
    ::setenv("XDG_CONFIG_HOME", (config_ / "file").c_str(), 1);
    SettingsRecord settings;
    settings.Engine.Quality = 5000;
    SaveSettings(settings);
    EXPECT_FALSE(WritePosition(settings));
    EXPECT_FALSE(ClearSettings());
    LoadSettings(settings);
    EXPECT_EQ(settings.Engine.Quality, 7500);
}

}  // namespace
