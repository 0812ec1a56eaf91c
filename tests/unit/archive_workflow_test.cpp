// The archive commands without their window: which recordings of a chosen archive are unpacked
// and opened, in which order, and what the user is told, over archives made by zip and 7z.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "archive/CompressionWorkflow.h"
#include "harness/media_probe.h"
#include "tests/unit/sevenzip_test_support.h"

namespace {

namespace fs = std::filesystem;
using archive::WorkflowAlert;
using korvex::test::Quote;
using korvex::test::RunCommand;
using sevenzip_test::ReadBytes;
using sevenzip_test::Sandbox;
using sevenzip_test::WriteBytes;

struct Seen {
    std::vector<std::string> opened;
    std::vector<std::pair<WorkflowAlert, std::string>> alerts;
};

class WorkflowTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(box_ / "Video");
        fs::create_directories(box_ / "src/sub");
        WriteBytes(box_ / "src/a.avi", "first recording");
        WriteBytes(box_ / "src/B.AVI", "second recording");
        WriteBytes(box_ / "src/sub/c.avi", "nested recording");
        WriteBytes(box_ / "src/notes.txt", "notes");
    }

    archive::CompressionWorkflow Workflow() {
        archive::WorkflowHost host;
        host.Alert = [this](WorkflowAlert alert, const std::string& path) {
            seen_.alerts.emplace_back(alert, path);
        };
        host.Open = [this](const std::string& path) { seen_.opened.push_back(path); };
        return archive::CompressionWorkflow(zip_, sevenZip_, std::move(host));
    }

    // An archive of the listed files of src, made in that order by the given command.
    fs::path Made(const std::string& command, const std::string& name, const std::string& items) {
        const fs::path archive = box_ / name;
        const auto r = RunCommand("cd " + Quote((box_ / "src").string()) + " && " + command + " " +
                                      Quote(archive.string()) + " " + items,
                                  true);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        return archive;
    }

    // The recordings at the top level of an archive in its entry order, as its own tool lists
    // them (7z orders the items itself).
    std::vector<std::string> TopLevelRecordings(const fs::path& archive) const {
        const bool zip = archive.extension() == ".zip";
        const auto listing =
            RunCommand((zip ? "unzip -Z1 " : "7z l -slt -ba ") + Quote(archive.string())).output;
        std::vector<std::string> paths;
        std::istringstream lines(listing);
        for (std::string line; std::getline(lines, line);) {
            if (!zip && line.rfind("Path = ", 0) != 0) continue;
            const std::string name = zip ? line : line.substr(7);
            if (name.find('/') == std::string::npos && name.size() > 4 &&
                (name.ends_with(".avi") || name.ends_with(".AVI")))
                paths.push_back(Video(name));
        }
        return paths;
    }

    std::string Video(const std::string& name) const { return (box_ / "Video" / name).string(); }

    Sandbox box_;
    TKAZip zip_;
    archive::TSevenZip sevenZip_{KORVEX_7Z_ENGINE};
    Seen seen_;
};

TEST_F(WorkflowTest, TopLevelRecordingsAreUnpackedAndOpenedInEntryOrder) {
    const std::string items = "a.avi sub/c.avi notes.txt B.AVI";
    for (const fs::path& archive :
         {Made("zip -q", "both.zip", items), Made("7z a -bd", "both.7z", items),
          Made("7z a -bd", "upper.7Z", items)}) {
        SCOPED_TRACE(archive.filename().string());
        seen_ = {};
        fs::remove_all(box_ / "Video");
        fs::create_directories(box_ / "Video");
        Workflow().PlayFromArchive((box_ / "Video").string(), archive.string());
        EXPECT_TRUE(seen_.alerts.empty());
        ASSERT_EQ(TopLevelRecordings(archive).size(), 2u);
        EXPECT_EQ(seen_.opened, TopLevelRecordings(archive));
        EXPECT_EQ(ReadBytes(Video("B.AVI")), "second recording");
        EXPECT_FALSE(fs::exists(Video("c.avi")));
        EXPECT_FALSE(fs::exists(Video("notes.txt")));
    }
}

TEST_F(WorkflowTest, WhatCannotBePlayedIsNamed) {
    WriteBytes(box_ / "movie.rar", "Rar!");
    // Named pipes by an archive's name: refused at once, no reader waits on them.
    for (const char* pipe : {"pipe.7z", "pipe.zip"})
        ASSERT_EQ(mkfifo((box_ / pipe).c_str(), 0600), 0);
    const struct {
        fs::path archive;
        WorkflowAlert alert;
    } cases[] = {
        {Made("7z a -bd", "nested.7z", "sub/c.avi notes.txt"), WorkflowAlert::NoVideoFound},
        {Made("zip -q", "nested.zip", "sub/c.avi notes.txt"), WorkflowAlert::NoVideoFound},
        {box_ / "movie.rar", WorkflowAlert::NotAValidFile},
        {box_ / "pipe.7z", WorkflowAlert::NotAValidFile},
        {box_ / "pipe.zip", WorkflowAlert::NotAValidFile},
    };
    for (const auto& c : cases) {
        seen_ = {};
        Workflow().PlayFromArchive((box_ / "Video").string(), c.archive.string());
        EXPECT_TRUE(seen_.opened.empty());
        EXPECT_EQ(seen_.alerts, (decltype(seen_.alerts){{c.alert, c.archive.string()}}));
    }
}

TEST_F(WorkflowTest, AFailed7zPackingIsReportedAndGivesNoArchiveToMail) {
    const fs::path recording = box_ / "src/a.avi";
    const struct {
        const char* what;
        std::function<void()> spoil;  // after the recording was found, before it is read
    } cases[] = {
        // A folder of that name where the archive should go: the engine cannot create it.
        {"archive cannot be made", [&] { fs::create_directories(box_ / "src/a.7z"); }},
        {"recording gone", [&] { fs::remove(recording); }},
        {"recording is a FIFO",
         [&] {
             fs::remove(recording);
             ASSERT_EQ(mkfifo(recording.c_str(), 0600), 0);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        seen_ = {};
        fs::remove_all(box_ / "src/a.7z");
        fs::remove(recording);
        WriteBytes(recording, std::string(100000, 'r'));
        sevenZip_.OnPreProgress = [&](archive::TSevenZip&, std::uint64_t) { c.spoil(); };
        const archive::PackTarget target{recording.string(), "", (box_ / "src/a.7z").string()};
        EXPECT_EQ(Workflow().PackRecording(target, true, 14), std::nullopt);
        EXPECT_EQ(seen_.alerts,
                  (decltype(seen_.alerts){{WorkflowAlert::PackingFailed, target.sevenZip}}));
        EXPECT_FALSE(fs::is_regular_file(target.sevenZip)) << "a partial archive is left";
    }
}

TEST_F(WorkflowTest, ARecordingLargerThanTheFreeSpaceIsNotUnpacked) {
    const fs::path video = box_ / "Video";
    if (mount("tmpfs", video.c_str(), "tmpfs", 0, "size=4m,mode=0700") != 0) {
        GTEST_SKIP() << "cannot mount a small file system as the video folder (needs root)";
    }
    const std::unique_ptr<const char, void (*)(const char*)> mounted(
        video.c_str(), [](const char* path) { umount2(path, MNT_DETACH); });
    // Eight megabytes of zeros pack into a few kilobytes.
    WriteBytes(box_ / "src/big.avi", std::string(8 << 20, '\0'));
    for (const fs::path& archive : {Made("zip -q", "big.zip", "a.avi big.avi B.AVI"),
                                    Made("7z a -bd", "big.7z", "a.avi big.avi B.AVI")}) {
        SCOPED_TRACE(archive.filename().string());
        seen_ = {};
        for (const auto& entry : fs::directory_iterator(video)) fs::remove(entry.path());
        Workflow().PlayFromArchive(video.string(), archive.string());
        EXPECT_EQ(seen_.alerts,
                  (decltype(seen_.alerts){{WorkflowAlert::NoRoomToExtract, Video("big.avi")}}));
        std::vector<std::string> opened = seen_.opened;
        std::sort(opened.begin(), opened.end());
        EXPECT_EQ(opened, (std::vector<std::string>{Video("B.AVI"), Video("a.avi")}));
        EXPECT_FALSE(fs::exists(Video("big.avi")));
        EXPECT_EQ(std::distance(fs::directory_iterator(video), fs::directory_iterator()), 2);
    }
}

TEST(ArchiveNameFilter, PatternsMatchEveryLetterCase) {
    EXPECT_EQ(archive::ArchiveNameFilter("Compressed videos (*.zip; *.7z)|*.zip;*.7z"),
              "Compressed videos (*.zip; *.7z) (*.[zZ][iI][pP] *.7[zZ])");
}

}  // namespace
