// MiniReg: the stored bytes of each type, type checks on reading, path splitting and deletion.
#include "settings/MiniReg.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace app;
namespace reg = platform::registry;
namespace fs = std::filesystem;

namespace {

class MiniRegTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvex-minireg-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        config_ = pattern;
        ::setenv("XDG_CONFIG_HOME", pattern, 1);
    }
    void TearDown() override { fs::remove_all(config_); }

    // The stored type and bytes of a value, or REG_NONE and nothing when it is missing.
    static std::pair<reg::ValueType, std::vector<std::byte>> Stored(std::string_view key,
                                                                    std::string_view name) {
        reg::Key handle;
        reg::ValueType type = reg::REG_NONE;
        std::vector<std::byte> data(64);
        std::size_t size = 0;
        if (reg::Key::Open(Root::CurrentUser, key, reg::Access::Read, handle) != reg::Result::Ok ||
            handle.QueryValue(name, type, data, size) != reg::Result::Ok) {
            return {reg::REG_NONE, {}};
        }
        data.resize(size);
        return {type, data};
    }
    static void Store(std::string_view key, std::string_view name, reg::ValueType type,
                      std::vector<std::byte> data) {
        reg::Key handle;
        ASSERT_EQ(reg::Key::Create(Root::CurrentUser, key, reg::Access::Write, handle),
                  reg::Result::Ok);
        ASSERT_EQ(handle.SetValue(name, type, data), reg::Result::Ok);
    }
    static std::vector<std::byte> Bytes(std::initializer_list<int> bytes) {
        std::vector<std::byte> data;
        for (int b : bytes) data.push_back(static_cast<std::byte>(b));
        return data;
    }

    fs::path config_;
};

TEST_F(MiniRegTest, StringIsItsBytesPlusExactlyOneZero) {
    for (const std::string text : {"1070;2", "", "Größe ß", "yes"}) {
        ASSERT_TRUE(WriteRegString(Root::CurrentUser, "SOFTWARE\\Korvex\\value", text));
        const auto [type, data] = Stored("SOFTWARE\\Korvex", "value");
        EXPECT_EQ(type, reg::REG_SZ);
        ASSERT_EQ(data.size(), text.size() + 1) << text;
        EXPECT_EQ(data.back(), std::byte{0});
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data.data()), text.size()), text);
        std::string read = "junk";
        EXPECT_TRUE(ReadRegString(Root::CurrentUser, "SOFTWARE\\Korvex\\value", read));
        EXPECT_EQ(read, text);
    }
}

TEST_F(MiniRegTest, IntegerIsFourBytesLittleEndian) {
    ASSERT_TRUE(WriteRegInteger(Root::CurrentUser, "SOFTWARE\\Korvex\\n", 0x12345678));
    EXPECT_EQ(Stored("SOFTWARE\\Korvex", "n"),
              std::pair(reg::REG_DWORD, Bytes({0x78, 0x56, 0x34, 0x12})));
    ASSERT_TRUE(WriteRegInteger(Root::CurrentUser, "SOFTWARE\\Korvex\\n", -1));
    EXPECT_EQ(Stored("SOFTWARE\\Korvex", "n").second, Bytes({0xff, 0xff, 0xff, 0xff}));
    std::int32_t value = 0;
    EXPECT_TRUE(ReadRegInteger(Root::CurrentUser, "SOFTWARE\\Korvex\\n", value));
    EXPECT_EQ(value, -1);
}

TEST_F(MiniRegTest, ReadingChecksTheType) {
    WriteRegInteger(Root::CurrentUser, "K\\number", 7);
    WriteRegString(Root::CurrentUser, "K\\text", "7");
    Store("K", "expand", reg::REG_EXPAND_SZ, Bytes({'7', 0}));
    Store("K", "short", reg::REG_DWORD, Bytes({7, 0}));

    std::string text = "junk";
    EXPECT_FALSE(ReadRegString(Root::CurrentUser, "K\\number", text));
    EXPECT_EQ(text, "");
    text = "junk";
    EXPECT_FALSE(ReadRegString(Root::CurrentUser, "K\\expand", text));
    EXPECT_EQ(text, "");
    std::int32_t value = 99;
    EXPECT_FALSE(ReadRegInteger(Root::CurrentUser, "K\\text", value));
    EXPECT_EQ(value, 0);
    value = 99;
    EXPECT_FALSE(ReadRegInteger(Root::CurrentUser, "K\\short", value));
    EXPECT_EQ(value, 0);
    value = 99;
    EXPECT_FALSE(ReadRegInteger(Root::CurrentUser, "K\\missing", value));
    EXPECT_FALSE(ReadRegInteger(Root::CurrentUser, "Missing\\number", value));
    EXPECT_EQ(value, 0);
}

TEST_F(MiniRegTest, PathWithoutBackslashFails) {
    std::string text = "junk";
    std::int32_t value = 99;
    EXPECT_FALSE(WriteRegString(Root::CurrentUser, "position", "1;2"));
    EXPECT_FALSE(WriteRegInteger(Root::CurrentUser, "mspf", 200));
    EXPECT_FALSE(ReadRegString(Root::CurrentUser, "Control Panel", text));
    EXPECT_FALSE(ReadRegInteger(Root::CurrentUser, "mspf", value));
    EXPECT_FALSE(DeleteRegKey(Root::CurrentUser, "SOFTWARE"));
    EXPECT_EQ(text, "");
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(fs::exists(config_ / "korvex" / "registry.txt"));
}

TEST_F(MiniRegTest, EmptyValueNameIsTheUnnamedDefault) {
    ASSERT_TRUE(WriteRegString(Root::CurrentUser, "SOFTWARE\\Korvex\\", "default"));
    ASSERT_TRUE(WriteRegString(Root::CurrentUser, "SOFTWARE\\Korvex\\named", "named"));
    EXPECT_EQ(Stored("SOFTWARE\\Korvex", "").first, reg::REG_SZ);
    std::string text;
    EXPECT_TRUE(ReadRegString(Root::CurrentUser, "SOFTWARE\\Korvex\\", text));
    EXPECT_EQ(text, "default");
    // A value on the root itself: the key path before the backslash is empty.
    ASSERT_TRUE(WriteRegInteger(Root::CurrentUser, "\\top", 5));
    std::int32_t value = 0;
    EXPECT_TRUE(ReadRegInteger(Root::CurrentUser, "\\top", value));
    EXPECT_EQ(value, 5);
}

TEST_F(MiniRegTest, DeleteRegKeyDeletesOnlyWhatExists) {
    EXPECT_FALSE(DeleteRegKey(Root::CurrentUser, "SOFTWARE\\Korvex"));
    WriteRegString(Root::CurrentUser, "SOFTWARE\\Korvex\\position", "1;2");
    WriteRegString(Root::CurrentUser, "SOFTWARE\\Other\\Sub\\v", "x");
    EXPECT_FALSE(DeleteRegKey(Root::CurrentUser, "SOFTWARE\\Other"));
    EXPECT_TRUE(DeleteRegKey(Root::CurrentUser, "software\\KORVEX"));
    std::string text;
    EXPECT_FALSE(ReadRegString(Root::CurrentUser, "SOFTWARE\\Korvex\\position", text));
    EXPECT_FALSE(DeleteRegKey(Root::CurrentUser, "SOFTWARE\\Korvex"));
    EXPECT_TRUE(ReadRegString(Root::CurrentUser, "SOFTWARE\\Other\\Sub\\v", text));
}

TEST_F(MiniRegTest, LocaleReadsAsText) {
    for (const char* name : {"LC_ALL", "LC_MESSAGES"}) ::unsetenv(name);
    ::setenv("LANG", "de_AT.UTF-8", 1);
    std::string locale;
    EXPECT_TRUE(ReadRegString(Root::CurrentUser, "Control Panel\\International\\Locale", locale));
    EXPECT_EQ(locale, "00000C07");
}

TEST_F(MiniRegTest, WritesFailWhereNothingCanBeStored) {
    std::ofstream(config_ / "file") << "x";
    ::setenv("XDG_CONFIG_HOME", (config_ / "file").c_str(), 1);
    EXPECT_FALSE(WriteRegString(Root::CurrentUser, "SOFTWARE\\Korvex\\position", "1;2"));
    EXPECT_FALSE(WriteRegInteger(Root::CurrentUser, "SOFTWARE\\Korvex\\mspf", 200));
    std::string text = "junk";
    EXPECT_FALSE(ReadRegString(Root::CurrentUser, "SOFTWARE\\Korvex\\position", text));
    EXPECT_EQ(text, "");
}

}  // namespace
