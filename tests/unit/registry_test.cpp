// The registry stand-in: the hive file, its text, crash and concurrency safety, and the locale.
#include "platform/registry/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/registry/hive_text.h"
#include "platform/registry/locale_lcid.h"

using namespace platform::registry;
using namespace std::literals;
namespace fs = std::filesystem;

namespace {

// Each test gets a configuration folder of its own and a clean locale environment.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/korvex-registry-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        config_ = pattern;
        ::setenv("XDG_CONFIG_HOME", pattern, 1);
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) ::unsetenv(name);
    }
    void TearDown() override { fs::remove_all(config_); }

    fs::path Folder() const { return config_ / "korvex"; }
    fs::path HivePath() const { return Folder() / "registry.txt"; }

    static Key Writable(std::string_view path, Root root = Root::CurrentUser) {
        Key key;
        EXPECT_EQ(Key::Create(root, path, Access::Write, key), Result::Ok);
        return key;
    }
    static std::vector<std::byte> Bytes(std::string_view text) {
        const auto bytes = std::as_bytes(std::span(text));
        return {bytes.begin(), bytes.end()};
    }
    static std::vector<std::byte> Sz(std::string_view text) {
        std::vector<std::byte> bytes = Bytes(text);
        bytes.push_back(std::byte{0});
        return bytes;
    }
    // The value's type and bytes, read through a fresh handle.
    static std::optional<Value> Query(std::string_view path, std::string_view name,
                                      Root root = Root::CurrentUser) {
        Key key;
        if (Key::Open(root, path, Access::Read, key) != Result::Ok) return std::nullopt;
        Value value;
        std::size_t size = 0;
        if (key.QueryValue(name, value.type, size) != Result::Ok) return std::nullopt;
        value.data.resize(size);
        if (key.QueryValue(name, value.type, value.data, size) != Result::Ok) return std::nullopt;
        return value;
    }
    // The same, with an untyped empty value for a missing one.
    static Value Get(std::string_view path, std::string_view name, Root root = Root::CurrentUser) {
        return Query(path, name, root).value_or(Value{});
    }
    static std::string FileText(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path config_;
};

TEST_F(RegistryTest, ChangesSurviveARestartAndReadAsText) {
    {
        const Key key = Writable("SOFTWARE\\Korvex");
        EXPECT_EQ(key.SetValue("position", REG_SZ, Sz("1070;2")), Result::Ok);
        EXPECT_EQ(key.SetValue("mspf", REG_DWORD, Bytes("\xc8\0\0\0"sv)), Result::Ok);
        const Key machine = Writable("SOFTWARE\\Mail", Root::LocalMachine);
        EXPECT_EQ(machine.SetValue("MAPI", REG_SZ, Sz("1")), Result::Ok);
    }
    EXPECT_EQ(Get("software\\KORVEX", "Position").data, Sz("1070;2"));
    EXPECT_EQ(Get("SOFTWARE\\Korvex", "mspf").type, REG_DWORD);
    EXPECT_EQ(Get("SOFTWARE\\Mail", "MAPI", Root::LocalMachine).data, Sz("1"));
    EXPECT_FALSE(Query("SOFTWARE\\Mail", "MAPI", Root::CurrentUser));

    const std::string text = FileText(HivePath());
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\SOFTWARE\\Korvex]\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"position\"=sz:\"1070;2\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"mspf\"=dword:000000c8\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Mail]\n"), std::string::npos) << text;
}

TEST_F(RegistryTest, KeepsOtherTypesAndOddBytesExactly) {
    const Key key = Writable("Types");
    const std::vector<Value> values{
        {"expand", REG_EXPAND_SZ, Sz("%TEMP%\\x")},
        {"binary", REG_BINARY, Bytes("\x01\xff\0"sv)},
        {"qword", 11, Bytes("12345678")},
        {"unterminated", REG_SZ, Bytes("abc")},
        {"short dword", REG_DWORD, Bytes("ab")},
        {"empty", REG_SZ, {}},
        {"", REG_SZ, Sz("default")},
    };
    for (const Value& value : values) {
        EXPECT_EQ(key.SetValue(value.name, value.type, value.data), Result::Ok);
    }
    for (const Value& value : values) {
        const std::optional<Value> read = Query("Types", value.name);
        ASSERT_TRUE(read) << value.name;
        EXPECT_EQ(read->type, value.type) << value.name;
        EXPECT_EQ(read->data, value.data) << value.name;
    }
}

TEST_F(RegistryTest, EscapingRoundTripsOddNamesAndTexts) {
    HiveTree tree;
    KeyNode odd{"a]b[c%d=e\n\"Größe\"\xff", {}, {}};
    for (std::string_view name : std::initializer_list<std::string_view>{
             "=", "]", "[x]", "\"quoted\"", "back\\slash", "line\nfeed", "tab\tcr\r", "Größe",
             "\xff\xfe", "nul\0byte"sv}) {
        odd.SetValue(name, REG_SZ, Sz(std::string(name) + "=]\n\\\"\x01\x7f€"));
    }
    odd.SetValue("truncated utf-8", REG_SZ, Sz("\xe2\x82"));
    tree.currentUser.subkeys.push_back(odd);
    const std::string text = FormatHive(tree);
    EXPECT_EQ(ParseHive(text), tree) << text;
    // One line per key and value: no raw line break escapes into the file.
    EXPECT_EQ(std::ranges::count(text, '\n'), 1 + 2 + 11) << text;
    EXPECT_NE(text.find("\"Größe\"=sz:"), std::string::npos) << text;

    // The same through the file.
    const Key key = Writable("Odd]=Key\\Größe");
    EXPECT_EQ(key.SetValue("line\nfeed=]", REG_SZ, Sz("x\r\ny")), Result::Ok);
    EXPECT_EQ(Get("odd]=key\\GRößE", "LINE\nFEED=]").data, Sz("x\r\ny"));
}

TEST_F(RegistryTest, MalformedTextIsNoHive) {
    const std::string head = "; Korvex registry 1\n[HKEY_CURRENT_USER\\K]\n";
    EXPECT_TRUE(ParseHive(head + "\"v\"=sz:\"x\"\n; a comment\n\n"));
    EXPECT_TRUE(ParseHive(head + "\"v\"=dword:0000002A\r\n"));
    const std::string signature = "; Korvex registry 1\n";
    for (const std::string& bad : std::vector<std::string>{
             "",
             "[HKEY_CURRENT_USER\\K]\n",
             signature + "\"v\"=sz:\"x\"\n",
             signature + "[HKEY_NOWHERE\\K]\n",
             signature + "[HKEY_CURRENT_USER\\\\K]\n",
             head + "\"v\"=sz:\"x\n",
             head + "\"v\"=sz:\"\\q\"\n",
             head + "\"v\"=sz:\"x\" trailing\n",
             head + "\"v\"=dword:2a\n",
             head + "\"v\"=hex(3):1,2\n",
             head + "\"v\"=text:\"x\"\n",
             head + "\"v\"=sz:\"x\"\n\"V\"=sz:\"y\"\n",
             head + "v=sz:\"x\"\n",
         }) {
        EXPECT_FALSE(ParseHive(bad)) << bad;
    }
}

TEST_F(RegistryTest, SizeQueryThenDataAndHandleRules) {
    ASSERT_EQ(Writable("K").SetValue("v", REG_SZ, Sz("hello")), Result::Ok);
    Key reader;
    ASSERT_EQ(Key::Open(Root::CurrentUser, "K", Access::Read, reader), Result::Ok);
    ValueType type = REG_NONE;
    std::size_t size = 0;
    EXPECT_EQ(reader.QueryValue("v", type, size), Result::Ok);
    EXPECT_EQ(size, 6u);
    std::vector<std::byte> small(3);
    EXPECT_EQ(reader.QueryValue("v", type, small, size), Result::MoreData);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(reader.SetValue("v", REG_SZ, Sz("x")), Result::AccessDenied);
    EXPECT_EQ(Writable("K").QueryValue("v", type, size), Result::AccessDenied);

    Key closed;
    EXPECT_EQ(closed.SetValue("v", REG_SZ, Sz("x")), Result::InvalidHandle);
    EXPECT_EQ(Key::Open(Root::CurrentUser, "Nowhere", Access::Read, closed), Result::NotFound);
    EXPECT_EQ(Key::Create(Root::CurrentUser, "a\\\\b", Access::Write, closed), Result::InvalidPath);
    EXPECT_FALSE(closed.IsOpen());
}

TEST_F(RegistryTest, DeletesOnlyKeysWithoutSubkeys) {
    Writable("Parent\\Child\\Grandchild").SetValue("v", REG_SZ, Sz("x"));
    const Key parent = Writable("Parent");
    EXPECT_EQ(parent.DeleteSubkey("child"), Result::HasSubkeys);
    EXPECT_EQ(parent.DeleteSubkey("Child\\GRANDCHILD"), Result::Ok);
    EXPECT_FALSE(Query("Parent\\Child\\Grandchild", "v"));
    EXPECT_EQ(parent.DeleteSubkey("Child\\Grandchild"), Result::NotFound);
    EXPECT_EQ(parent.DeleteSubkey("Child"), Result::Ok);
    Key reopened;
    EXPECT_EQ(Key::Open(Root::CurrentUser, "Parent\\Child", Access::Read, reopened),
              Result::NotFound);
    EXPECT_EQ(Key::Open(Root::CurrentUser, "Parent", Access::Read, reopened), Result::Ok);
}

TEST_F(RegistryTest, ProcessKilledWhileWritingLeavesThePreviousHiveWhole) {
    Writable("K").SetValue("keep", REG_SZ, Sz("me"));
    const fs::path temporary = Folder() / "registry.txt.new";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::string big(8 << 20, 'a');
        Key key;
        Key::Create(Root::CurrentUser, "K", Access::Write, key);
        for (char fill = 'a';; fill = fill == 'a' ? 'b' : 'a') {
            key.SetValue("big", REG_SZ, Sz(std::string(big.size(), fill)));
        }
    }
    // Wait until the child is in the middle of writing the new hive, then kill it there.
    std::error_code error;
    int status = 0;
    for (int polls = 0; fs::file_size(temporary, error) == 0 || error; ++polls) {
        ASSERT_EQ(::waitpid(child, &status, WNOHANG), 0) << "the writer ended by itself";
        if (polls == 60000) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
            FAIL() << "no temporary hive appeared";
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status));

    EXPECT_TRUE(ParseHive(FileText(HivePath())));
    EXPECT_EQ(Get("K", "keep").data, Sz("me"));
    if (const std::optional<Value> big = Query("K", "big")) {
        ASSERT_EQ(big->data.size(), (8u << 20) + 1);
        EXPECT_EQ(std::ranges::count(big->data, big->data.front()), 8 << 20);
    }
    // The killed writer's lock went with it.
    EXPECT_EQ(Writable("K").SetValue("after", REG_DWORD, Bytes("\1\0\0\0"sv)), Result::Ok);
}

TEST_F(RegistryTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWrites = 120;
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> children;
    for (char writer : {'a', 'b'}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            char go = 0;
            ::close(start[1]);
            (void)!::read(start[0], &go, 1);
            for (int i = 0; i < kWrites; ++i) {
                Key key;
                Key::Create(Root::CurrentUser, "SOFTWARE\\Korvex", Access::Write, key);
                const std::string name = std::string(1, writer) + std::to_string(i);
                if (key.SetValue(name, REG_SZ, Sz(name)) != Result::Ok) ::_exit(1);
            }
            ::_exit(0);
        }
        children.push_back(child);
    }
    ::close(start[0]);
    ::close(start[1]);  // both start together
    for (pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (char writer : {'a', 'b'}) {
        for (int i = 0; i < kWrites; ++i) {
            const std::string name = std::string(1, writer) + std::to_string(i);
            const std::optional<Value> value = Query("SOFTWARE\\Korvex", name);
            ASSERT_TRUE(value) << name;
            EXPECT_EQ(value->data, Sz(name));
        }
    }
}

TEST_F(RegistryTest, CorruptHiveIsMovedAsideAndAnEmptyOneBegins) {
    Writable("K").SetValue("v", REG_SZ, Sz("x"));
    const std::string garbage[] = {"; Korvex registry 1\n[HKEY_CURRENT_USER\\K]\n\"v\"=sz:\"x",
                                   std::string("\0\xff junk", 7)};
    for (const std::string& bytes : garbage) {
        std::ofstream(HivePath(), std::ios::binary | std::ios::trunc) << bytes;
        EXPECT_FALSE(Query("K", "v"));
        EXPECT_FALSE(fs::exists(HivePath()));
    }
    std::vector<std::string> aside;
    for (const auto& entry : fs::directory_iterator(Folder())) {
        if (entry.path().filename().string().starts_with("registry.txt.corrupt-")) {
            aside.push_back(FileText(entry.path()));
        }
    }
    std::ranges::sort(aside);
    std::vector<std::string> expected(std::begin(garbage), std::end(garbage));
    std::ranges::sort(expected);
    EXPECT_EQ(aside, expected);

    EXPECT_EQ(Writable("K").SetValue("w", REG_SZ, Sz("y")), Result::Ok);
    EXPECT_EQ(Get("K", "w").data, Sz("y"));
    EXPECT_FALSE(Query("K", "v"));
}

TEST_F(RegistryTest, UnwritableLocationFailsCleanly) {
    Writable("K").SetValue("v", REG_SZ, Sz("x"));
    const std::string before = FileText(HivePath());
    Key key;
    ASSERT_EQ(Key::Open(Root::CurrentUser, "K", Access::Write, key), Result::Ok);

    // The temporary file cannot be made: the hive stays as it was.
    fs::create_directory(Folder() / "registry.txt.new");
    EXPECT_EQ(key.SetValue("v", REG_SZ, Sz("changed")), Result::StoreFailed);
    EXPECT_EQ(key.DeleteSubkey("nothing"), Result::NotFound);
    fs::remove(Folder() / "registry.txt.new");

    // The lock cannot be taken.
    fs::remove(Folder() / "registry.lock");
    fs::create_directory(Folder() / "registry.lock");
    EXPECT_EQ(key.SetValue("v", REG_SZ, Sz("changed")), Result::StoreFailed);
    EXPECT_EQ(key.DeleteSubkey("nothing"), Result::StoreFailed);
    EXPECT_EQ(FileText(HivePath()), before);
    EXPECT_EQ(Get("K", "v").data, Sz("x"));
    // Nor can a corrupt hive be moved aside: it reads as empty and stays where it is.
    std::ofstream(HivePath(), std::ios::app) << "not a value line\n";
    EXPECT_FALSE(Query("K", "v"));
    EXPECT_EQ(FileText(HivePath()), before + "not a value line\n");

    // No folder can be made where a file stands.
    std::ofstream(config_ / "file") << "x";
    ::setenv("XDG_CONFIG_HOME", (config_ / "file").c_str(), 1);
    EXPECT_EQ(Key::Create(Root::CurrentUser, "K", Access::Write, key), Result::StoreFailed);
    EXPECT_EQ(Key::Open(Root::CurrentUser, "K", Access::Read, key), Result::NotFound);
}

TEST_F(RegistryTest, LocaleAnswersFromTheEnvironment) {
    const auto locale = [] {
        const std::optional<Value> value = Query("Control Panel\\International", "Locale");
        if (!value || value->type != REG_SZ || value->data.empty()) return std::string("?");
        return std::string(reinterpret_cast<const char*>(value->data.data()),
                           value->data.size() - 1);
    };
    EXPECT_EQ(locale(), "00000409");
    ::setenv("LANG", "de_AT.UTF-8", 1);
    EXPECT_EQ(locale(), "00000C07");
    ::setenv("LC_MESSAGES", "en_GB.UTF-8", 1);
    EXPECT_EQ(locale(), "00000809");
    ::setenv("LC_ALL", "de_CH", 1);
    EXPECT_EQ(locale(), "00000807");
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EQ(locale(), "00000409");

    // A value in the hive wins, and the answered one is never written there.
    Writable("Control Panel\\International").SetValue("Other", REG_SZ, Sz("x"));
    EXPECT_EQ(FileText(HivePath()).find("Locale"), std::string::npos);
    Writable("Control Panel\\International").SetValue("Locale", REG_SZ, Sz("00000407"));
    EXPECT_EQ(locale(), "00000407");
}

TEST(Lcid, FromPosixLocaleNames) {
    EXPECT_EQ(LcidForLocale("de_DE.UTF-8"), 0x0407u);
    EXPECT_EQ(LcidForLocale("de_AT.UTF-8@euro"), 0x0C07u);
    EXPECT_EQ(LcidForLocale("de_LU"), 0x1007u);
    EXPECT_EQ(LcidForLocale("de_LI.ISO-8859-1"), 0x1407u);
    EXPECT_EQ(LcidForLocale("de"), 0x0407u);
    EXPECT_EQ(LcidForLocale("de_BE.UTF-8"), 0x0407u);
    EXPECT_EQ(LcidForLocale("en_US.UTF-8"), 0x0409u);
    EXPECT_EQ(LcidForLocale("fr_FR"), 0x040Cu);
    EXPECT_EQ(LcidForLocale("fr_CH"), 0x100Cu);
    EXPECT_EQ(LcidForLocale("pt_BR"), 0x0416u);
    for (std::string_view fallback : {"C", "POSIX", "C.UTF-8", "", "xx_YY"}) {
        EXPECT_EQ(LcidForLocale(fallback), kLcidEnglishUs) << fallback;
    }
    EXPECT_EQ(LcidText(0x0C07), "00000C07");
    EXPECT_EQ(EffectiveLocale("", "", "de_DE"), "de_DE");
    EXPECT_EQ(EffectiveLocale("", "fr_FR", "de_DE"), "fr_FR");
    EXPECT_EQ(EffectiveLocale("C", "fr_FR", "de_DE"), "C");
}

}  // namespace
