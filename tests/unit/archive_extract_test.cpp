// Unpacking the recordings of a ZIP archive made by other programs, hostile ones included.
#include <sys/stat.h>

#include <algorithm>

#include "archive/ZipExtract.h"
#include "tests/unit/archive_test_support.h"

namespace ziptest {
namespace {

class ZipExtractTest : public ArchiveTest {
protected:
    void SetUp() override {
        ArchiveTest::SetUp();
        videos_ = dir_ / "videos";
        work_ = dir_ / "work";
        fs::create_directories(videos_);
        fs::create_directories(work_);
    }
    // Runs the zip program in the work folder.
    void Zip(const std::string& arguments) {
        const auto result =
            RunCommand("cd " + Quote(work_.string()) + " && zip -q " + arguments, true);
        ASSERT_EQ(result.exitCode, 0) << result.output;
    }
    // A ZIP written by Python's zipfile from (name, bytes, Unix mode) entries, names as given.
    fs::path PythonZip(const std::string& entries) {
        const auto path = work_ / "py.zip";
        const auto result = RunCommand(
            "python3 -c 'import sys,zipfile\n"
            "z=zipfile.ZipFile(sys.argv[1],\"w\")\n"
            "for n,b,m in " +
                entries +
                ":\n"
                " i=zipfile.ZipInfo(n); i.create_system=3; i.external_attr=m<<16\n"
                " z.writestr(i,b)\n' " +
                Quote(path.string()),
            true);
        EXPECT_EQ(result.exitCode, 0) << result.output;
        return path;
    }
    std::vector<std::string> Listing(const std::vector<ExtractedVideo>& videos) {
        std::vector<std::string> out;
        for (const auto& v : videos) {
            out.push_back((v.extracted ? "+" : "-") + v.path.lexically_relative(videos_).string());
        }
        return out;
    }
    std::vector<std::string> FolderContents(const fs::path& folder) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    fs::path videos_;
    fs::path work_;
};

TEST_F(ZipExtractTest, TopLevelRecordingsInEntryOrder) {
    const std::string one = RecordingLike(100000, 7), two = RecordingLike(3000, 8);
    WriteText(work_ / "b.AVI", one);
    WriteText(work_ / "A.avi", two);
    WriteText(work_ / "notes.txt", "text");
    fs::create_directories(work_ / "sub");
    WriteText(work_ / "sub" / "c.avi", "in a folder");
    Zip("-0 rec.zip b.AVI");  // stored
    Zip("-9 -r rec.zip notes.txt sub A.avi");
    // A different file and a link at the targets' names are replaced, the link's target kept.
    WriteText(videos_ / "b.AVI", "older");
    WriteText(dir_ / "outside", "keep");
    fs::create_symlink(dir_ / "outside", videos_ / "A.avi");

    const auto videos = ExtractTopLevelVideos(work_ / "rec.zip", videos_);
    EXPECT_EQ(Listing(videos), (std::vector<std::string>{"+b.AVI", "+A.avi"}));
    EXPECT_EQ(ReadText(videos_ / "b.AVI"), one);
    EXPECT_EQ(ReadText(videos_ / "A.avi"), two);
    EXPECT_FALSE(fs::is_symlink(videos_ / "A.avi"));
    EXPECT_EQ(ReadText(dir_ / "outside"), "keep");
    struct stat info {};
    ASSERT_EQ(::stat((videos_ / "A.avi").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(FolderContents(videos_), (std::vector<std::string>{"A.avi", "b.AVI"}));
}

TEST_F(ZipExtractTest, UnreadableEntriesFailAlone) {
    WriteText(work_ / "secret.avi", "hidden");
    WriteText(work_ / "packed.avi", RecordingLike(5000, 9));
    WriteText(work_ / "damaged.avi", RecordingLike(5000, 10));
    WriteText(work_ / "good.avi", "fine");
    Zip("-P pw rec.zip secret.avi");
    Zip("-Z bzip2 rec.zip packed.avi");
    Zip("rec.zip damaged.avi good.avi");
    // Spoil a byte of damaged.avi's deflate data so its CRC no longer matches.
    std::string bytes = ReadText(work_ / "rec.zip");
    const auto at = bytes.find("damaged.avi") + 11 + 100;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
    WriteText(work_ / "rec.zip", bytes);

    const auto videos = ExtractTopLevelVideos(work_ / "rec.zip", videos_);
    EXPECT_EQ(Listing(videos), (std::vector<std::string>{"-secret.avi", "-packed.avi",
                                                         "-damaged.avi", "+good.avi"}));
    EXPECT_EQ(FolderContents(videos_), (std::vector<std::string>{"good.avi"}));
    // Not a ZIP archive at all, or none there: nothing to report.
    EXPECT_TRUE(ExtractTopLevelVideos(work_ / "secret.avi", videos_).empty());
    EXPECT_TRUE(ExtractTopLevelVideos(work_ / "none.zip", videos_).empty());
}

TEST_F(ZipExtractTest, HostileNamesWriteNothingOutside) {
    const auto outside = "/tmp/korvex-" + std::to_string(::getpid()) + "-x.avi";
    const auto zip = PythonZip("[(\"../evil.avi\",\"e\",0o100644),(\"" + outside +
                               "\",\"x\",0o100644),(\"sub\\\\evil.avi\",\"s\",0o100644),"
                               "(\"link.avi\",\"" +
                               (dir_ / "outside").string() +
                               "\",0o120777),(\"\",\"n\",0o100644),(\"ok.avi\",\"ok\",0o100644)]");
    const auto videos = ExtractTopLevelVideos(zip, videos_);
    EXPECT_EQ(Listing(videos), (std::vector<std::string>{"-link.avi", "+ok.avi"}));
    EXPECT_EQ(FolderContents(videos_), (std::vector<std::string>{"ok.avi"}));
    EXPECT_FALSE(fs::exists(dir_ / "evil.avi"));
    EXPECT_FALSE(fs::exists(outside));
    EXPECT_FALSE(fs::exists(dir_ / "outside"));
}

}  // namespace
}  // namespace ziptest
