// The Debian package, built from the build tree: clean under lintian, and on a machine where the
// test runs as root (CI does) installed, started from the PATH, closed and purged without trace.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "harness/media_probe.h"
#include "tests/support/installed_files.h"
#include "tests/support/program.h"

namespace fs = std::filesystem;
using namespace korvex::test;

namespace {

constexpr const char* kApt =
    "DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 ";

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

bool KorvexInstalled() {
    return RunCommand("dpkg-query -W -f='${Status}' korvex 2>/dev/null").output ==
           "install ok installed";
}

// The regular files that dpkg says the installed package owns.
std::set<fs::path> PackageFiles() {
    std::istringstream listing(RunCommand("dpkg -L korvex").output);
    std::set<fs::path> files;
    for (std::string line; std::getline(listing, line);) {
        if (fs::is_regular_file(line)) files.insert(line);
    }
    return files;
}

// Leaves the machine without the package whatever way the test ends.
struct PurgeAtEnd {
    ~PurgeAtEnd() { RunCommand(std::string(kApt) + "purge korvex >/dev/null 2>&1"); }
};

class DebianPackage : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fs::remove_all(out);
        const char* source = std::getenv("KORVEX_SOURCE_DIR");
        const char* build = std::getenv("KORVEX_BUILD_DIR");
        make = RunCommand(Quote(fs::path(source ? source : ".") / "scripts/make-deb") +
                              " --build " + Quote(build ? build : ".") + " --out " + Quote(out),
                          true);
        // make-deb names the package on its last line, after what the tools said.
        const std::string made = Trimmed(make.output);
        deb = made.substr(made.find_last_of('\n') + 1);
    }
    static void TearDownTestSuite() { fs::remove_all(out); }

    void SetUp() override {
        ASSERT_EQ(make.exitCode, 0) << make.output;
        ASSERT_TRUE(fs::is_regular_file(deb)) << make.output;
    }

    static inline const fs::path out =
        fs::temp_directory_path() / ("korvex-deb-" + std::to_string(getpid()));
    static inline CommandResult make;
    static inline fs::path deb;
};

TEST_F(DebianPackage, LintianFindsNoError) {
    const auto lintian = RunCommand("lintian --fail-on error --display-info " + Quote(deb), true);
    EXPECT_EQ(lintian.exitCode, 0) << lintian.output;
    std::cout << "lintian:\n" << lintian.output;
}

// Every library that the program or a library it carries inside itself needs, found by
// objdump and dpkg independently of the package rules, beside the desktop tools it calls.
TEST_F(DebianPackage, DependsOnWhatItsBinariesAndTheLibrariesItCarriesNeed) {
    const std::string depends = RunCommand("dpkg-deb -f " + Quote(deb) + " Depends").output;
    EXPECT_EQ(depends.rfind("xdg-utils", 0), 0u) << depends;
    const std::string multiarch =
        Trimmed(RunCommand("dpkg-architecture -qDEB_HOST_MULTIARCH").output);
    const fs::path build = std::getenv("KORVEX_BUILD_DIR") ? std::getenv("KORVEX_BUILD_DIR") : ".";
    for (const fs::path& binary : {build / "app/korvex", build / "hooklib/libGlobalHook.so",
                                   fs::path("/usr/lib/p7zip/7z.so")}) {
        std::istringstream needed(
            RunCommand("objdump -p " + Quote(binary) + " | awk '$1 == \"NEEDED\" {print $2}'")
                .output);
        for (std::string library; std::getline(needed, library);) {
            const std::string owner =
                RunCommand("dpkg -S " + Quote("*/" + multiarch + "/" + library) +
                           " | head -n1 | cut -d: -f1")
                    .output;
            ASSERT_FALSE(owner.empty()) << library;
            EXPECT_NE(depends.find(Trimmed(owner)), std::string::npos)
                << binary << " needs " << library << " from " << owner << "; Depends: " << depends;
        }
    }
}

TEST_F(DebianPackage, InstallsRunsFromThePathAndPurgesWithoutTrace) {
    if (geteuid() != 0) GTEST_SKIP() << "installing a package needs root (CI runs as root)";
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs a display";
    if (KorvexInstalled()) {
        GTEST_SKIP() << "a korvex package is installed on this machine; remove it to run this test";
    }
    PurgeAtEnd purge;
    const auto install = RunCommand(kApt + ("install --no-install-recommends " + Quote(deb)), true);
    ASSERT_EQ(install.exitCode, 0) << install.output;
    const std::set<fs::path> files = PackageFiles();
    std::set<fs::path> expected;
    for (const fs::path& file : InstalledFiles()) expected.insert("/usr" / file);
    EXPECT_EQ(files, expected);

    const std::string binary = Trimmed(RunCommand("command -v korvex").output);
    ASSERT_EQ(binary, "/usr/bin/korvex");
    const fs::path home =
        fs::temp_directory_path() / ("korvex-deb-home-" + std::to_string(getpid()));
    {
        Program korvex(binary, home);
        std::vector<std::string> windows;
        ASSERT_TRUE(WaitUntil([&] {
            windows = FindWindows("^Korvex!$");
            return !windows.empty();
        }));
        RunCommand("xdotool windowactivate --sync " + windows.front() +
                   " key --clearmodifiers alt+F4");
        EXPECT_EQ(korvex.WaitForExit(), 0);
    }
    fs::remove_all(home);

    const auto purged = RunCommand(std::string(kApt) + "purge korvex", true);
    ASSERT_EQ(purged.exitCode, 0) << purged.output;
    EXPECT_FALSE(KorvexInstalled());
    for (const fs::path& file : files) EXPECT_FALSE(fs::exists(file)) << file;
    EXPECT_FALSE(fs::exists("/usr/share/doc/korvex"));
}

}  // namespace
