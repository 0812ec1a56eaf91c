// Korvex installed into a scratch prefix: every file where the conventions put it, each one
// accepted by the tools that read it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "harness/media_probe.h"
#include "tests/support/installed_files.h"

namespace fs = std::filesystem;
using namespace korvex::test;

namespace {

fs::path FromEnvironment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : ".";
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::set<fs::path> FilesUnder(const fs::path& root) {
    std::set<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_directory()) files.insert(entry.path().lexically_relative(root));
    }
    return files;
}

class InstalledTree : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fs::remove_all(prefix);
        install = RunCommand("cmake --install " + Quote(FromEnvironment("KORVEX_BUILD_DIR")) +
                                 " --prefix " + Quote(prefix),
                             true);
    }
    static void TearDownTestSuite() { fs::remove_all(prefix); }

    void SetUp() override { ASSERT_EQ(install.exitCode, 0) << install.output; }

    static fs::path File(const std::string& suffix) {
        for (const fs::path& file : InstalledFiles()) {
            if (file.string().ends_with(suffix)) return prefix / file;
        }
        return {};
    }

    static inline const fs::path prefix =
        fs::temp_directory_path() / ("korvex-install-" + std::to_string(getpid()));
    static inline CommandResult install;
};

TEST_F(InstalledTree, HoldsEveryFileWhereTheConventionsSayAndNothingElse) {
    EXPECT_EQ(FilesUnder(prefix), InstalledFiles());
    EXPECT_EQ(access((prefix / "bin/korvex").c_str(), X_OK), 0);
}

TEST_F(InstalledTree, DesktopEntryAndMetadataPassTheirValidators) {
    for (const std::string& command : std::vector<std::string>{
             "desktop-file-validate " + Quote(File(".desktop")),
             "appstreamcli validate --no-net --no-color " + Quote(File(".metainfo.xml"))}) {
        const auto result = RunCommand(command, true);
        EXPECT_EQ(result.exitCode, 0) << command << "\n" << result.output;
    }
}

// What the validators do not ask for: the menu categories, German beside English, and
// screenshots that the repository really holds.
TEST_F(InstalledTree, EntriesSpeakGermanAndEnglishAndShowScreenshotsThatExist) {
    const std::string entry = ReadFile(File(".desktop"));
    for (const std::string& line :
         std::vector<std::string>{"Categories=AudioVideo;Video;Recorder;", "Icon=" + kAppId,
                                  "Exec=korvex", "Name[de]=", "Comment[de]="}) {
        EXPECT_NE(entry.find("\n" + line), std::string::npos) << line;
    }
    const std::string metainfo = ReadFile(File(".metainfo.xml"));
    EXPECT_NE(metainfo.find("<summary>"), std::string::npos);
    EXPECT_NE(metainfo.find("<summary xml:lang=\"de\">"), std::string::npos);
    const std::regex image("<image>https://[^<]*/main/(docs/[^<]+)</image>");
    int screenshots = 0;
    for (auto it = std::sregex_iterator(metainfo.begin(), metainfo.end(), image);
         it != std::sregex_iterator(); ++it, ++screenshots) {
        EXPECT_TRUE(fs::is_regular_file(FromEnvironment("KORVEX_SOURCE_DIR") / (*it)[1].str()))
            << (*it)[1];
    }
    EXPECT_GT(screenshots, 0);
}

// Sizes as ffprobe reads them; the scalable icon as librsvg draws it, against the largest bitmap.
TEST_F(InstalledTree, IconsHaveTheirSizesAndTheScalableOneMatchesThem) {
    for (const int size : kIconSizes) {
        const auto probe =
            RunCommand("ffprobe -v error -show_entries stream=width,height -of csv=p=0 " +
                       Quote(prefix / IconFile(size)));
        EXPECT_EQ(probe.output, std::to_string(size) + ',' + std::to_string(size) + '\n');
    }
    const auto psnr = RunCommand("ffmpeg -hide_banner -i " + Quote(File(".svg")) + " -i " +
                                     Quote(prefix / IconFile(256)) +
                                     " -lavfi '[0]format=rgba[a];[1]format=rgba[b];[a][b]psnr' "
                                     "-f null - 2>&1",
                                 true);
    std::smatch average;
    ASSERT_TRUE(std::regex_search(psnr.output, average, std::regex("average:([0-9.]+)")))
        << psnr.output;
    EXPECT_GT(std::stod(average[1]), 35.0);
}

// The 7z engine is named with the version of the Debian package it was taken from.
TEST_F(InstalledTree, CopyrightDeclaresWhatTheProgramCarries) {
    const std::string copyright = ReadFile(File("/copyright"));
    const auto version = RunCommand("dpkg-query -W -f='${Version}' p7zip-full");
    ASSERT_EQ(version.exitCode, 0);
    for (const std::string& text : std::vector<std::string>{
             "Files: hooklib/*", "License: LGPL-2.1+", "p7zip-full " + version.output + ","}) {
        EXPECT_NE(copyright.find(text), std::string::npos) << text;
    }
}

}  // namespace
