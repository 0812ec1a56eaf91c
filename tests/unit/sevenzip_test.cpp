// The 7z bridge over the real engine: what the 7z program makes of our archives, the numbered
// failures, the choice and order of extracted items, and packings that fail.
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <functional>
#include <stdexcept>

#include "archive/SevenZipCallbacks.h"
#include "harness/media_probe.h"
#include "sevenzip_test_support.h"

using namespace sevenzip_test;
using archive::TSevenZip;
using korvex::test::Quote;
using korvex::test::RunCommand;

namespace {

constexpr std::time_t kRecordedAt = 1614834368;  // 2021-03-04 05:06:08 UTC

void SetModified(const fs::path& path, std::time_t seconds) {
    const timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

std::time_t Modified(const fs::path& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mtim.tv_sec;
}

}  // namespace

TEST(SevenZip, ArchivesWeWriteAreWhatThe7zProgramExpects) {
    Sandbox box;
    const std::string bytes = RecordingBytes(3 << 20, 1);
    WriteBytes(box / "Demo.avi", bytes);
    SetModified(box / "Demo.avi", kRecordedAt);
    Component c;
    ASSERT_EQ(c.Pack(box / "Demo.7z", {box / "Demo.avi"}), 0);

    const std::string archivePath = Quote((box / "Demo.7z").string());
    const auto test = RunCommand("7z t " + archivePath, true);
    EXPECT_EQ(test.exitCode, 0) << test.output;
    const auto list = RunCommand("TZ=UTC 7z l -slt " + archivePath);
    EXPECT_NE(list.output.find("Path = Demo.avi\n"), std::string::npos) << list.output;
    EXPECT_NE(list.output.find("Modified = 2021-03-04 05:06:08"), std::string::npos);
    EXPECT_NE(list.output.find("Solid = -"), std::string::npos);
    fs::create_directory(box / "out");
    EXPECT_EQ(RunCommand("7z x -o" + Quote((box / "out").string()) + " " + archivePath).exitCode,
              0);
    EXPECT_EQ(ReadBytes(box / "out" / "Demo.avi"), bytes);

    // And back through the component: the item's name, and its bytes and stamp on disk.
    std::vector<std::wstring> listed;
    c.zip.OnListfile = [&](TSevenZip&, const std::wstring& name, auto...) {
        listed.push_back(name);
    };
    EXPECT_EQ(c.zip.ListItems(), 1);
    EXPECT_EQ(listed, std::vector<std::wstring>{L"Demo.avi"});
    fs::create_directory(box / "back");
    EXPECT_EQ(c.Extract(box / "Demo.7z", box / "back", {}), 0);
    EXPECT_EQ(ReadBytes(box / "back" / "Demo.avi"), bytes);
    EXPECT_EQ(Modified(box / "back" / "Demo.avi"), kRecordedAt);
}

TEST(SevenZip, FailuresGiveTheirNumbersAndWriteNothing) {
    Sandbox box;
    WriteBytes(box / "a.avi", "first");
    WriteBytes(box / "b.avi", "second");
    Component maker;
    ASSERT_EQ(maker.Pack(box / "two.7z", {box / "a.avi", box / "b.avi"}), 0);
    WriteBytes(box / "notes.txt", "no archive at all");
    WriteBytes(box / "x.EXE", std::string(200000, 'M'));
    struct Case {
        const char* what;
        const char* archive;
        std::function<int(TSevenZip&)> run;
        int error;
    };
    const auto list = [](TSevenZip& zip) { return zip.ListItems(); };
    const auto extractThird = [](TSevenZip& zip) {
        zip.FileList = {L"3"};
        return zip.ExtractItems(false);
    };
    const Case cases[] = {
        {"a file that is no archive", "notes.txt", list, 1},
        {"a missing file", "missing.7z", list, 1},
        {"a program without a 7z signature", "x.EXE", list, 7},
        {"index 3 of two items", "two.7z", extractThird, 5},
        {"extracting from a missing file", "missing.7z", extractThird, 1},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        Component c;
        int listed = 0;
        c.zip.OnListfile = [&](auto&&...) { ++listed; };
        fs::create_directory(box / "out");
        c.zip.SZFileName = W(box / test.archive);
        c.zip.ExtrBaseDir = W(box / "out");
        EXPECT_EQ(test.run(c.zip), -1);
        EXPECT_EQ(c.zip.LastErrCode, test.error);
        EXPECT_EQ(c.messages, std::vector<int>{test.error});
        EXPECT_EQ(listed, 0);
        EXPECT_TRUE(fs::is_empty(box / "out"));
    }
}

TEST(SevenZip, OnlyTheRequestedItemsAreWrittenInIndexOrder) {
    Sandbox box;
    std::vector<std::string> names;
    for (const char* name : {"one.avi", "two.avi", "three.avi"}) {
        WriteBytes(box / name, RecordingBytes(100000, static_cast<int>(names.size())));
        names.push_back(name);
    }
    const auto made = RunCommand("cd " + Quote(box.root().string()) +
                                 " && 7z a -mx5 made.7z one.avi two.avi three.avi");
    ASSERT_EQ(made.exitCode, 0);
    Component c;
    c.zip.SZFileName = W(box / "made.7z");
    ASSERT_EQ(c.zip.ListItems(), 3);
    const std::vector<std::wstring> items = c.zip.FileList;

    std::vector<std::uint32_t> order;
    c.zip.OnSetExtractName = [&](TSevenZip&, std::uint32_t index, std::wstring&) {
        order.push_back(index);
    };
    fs::create_directory(box / "out");
    c.Extract(box / "made.7z", box / "out", {L"2", L"0"});
    EXPECT_EQ(order, (std::vector<std::uint32_t>{0, 2}));
    EXPECT_EQ(Tree(box / "out"),
              (std::vector<std::string>{archive::Narrow(items[0]), archive::Narrow(items[2])}));
    std::sort(order.begin(), order.end());
    for (std::uint32_t index : order) {
        const std::string name = archive::Narrow(items[index]);
        EXPECT_EQ(ReadBytes(box / "out" / name), ReadBytes(box / name)) << name;
    }
}

TEST(SevenZip, AFailedPackingLeavesNoArchive) {
    Sandbox box;
    WriteBytes(box / "Big.avi", RecordingBytes(8 << 20, 2));
    struct Case {
        const char* what;
        std::vector<fs::path> files;
        bool cancel;
        const char* archive;
        int error;
    };
    const Case cases[] = {
        {"no file to add", {box / "gone.avi"}, false, "Big.7z", 10},
        {"packing cancelled", {box / "Big.avi"}, true, "Big.7z", 6},
        {"archive folder missing", {box / "Big.avi"}, false, "none/Big.7z", 11},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        WriteBytes(box / "Big.7z", "an older archive");
        Component c;
        c.zip.OnAddfile = [&](TSevenZip& zip, auto&&...) { zip.Cancel = test.cancel; };
        EXPECT_NE(c.Pack(box / test.archive, test.files), 0);
        EXPECT_EQ(c.zip.LastErrCode, test.error);
        EXPECT_FALSE(fs::exists(box / test.archive));
        EXPECT_FALSE(c.zip.Cancel);
    }
}

TEST(SevenZip, OnlyAWorkingEngineIsAccepted) {
    Sandbox box;
    WriteBytes(box / "7za.dll", "not a library");
    for (const fs::path& engine :
         {box / "missing.dll", box / "7za.dll", fs::path("/usr/lib/x86_64-linux-gnu/libz.so.1")}) {
        SCOPED_TRACE(engine.string());
        try {
            TSevenZip zip(engine);
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "File 7za.dll not found");
        }
    }
}

TEST(SevenZip, ExtractedNamesStayInsideTheFolder) {
    struct Case {
        const wchar_t* stored;
        bool noPath;
        const wchar_t* expected;  // null: skipped
    };
    const Case cases[] = {
        {L"Demo.avi", true, L"Demo.avi"},
        {L"sub/Demo.avi", true, L"Demo.avi"},
        {L"..\\..\\x.avi", true, L"x.avi"},
        {L"C:x.avi", true, L"x.avi"},
        {L"/etc/../x.avi", true, L"x.avi"},
        {L"sub/..", true, nullptr},
        {L"sub/.", true, nullptr},
        {L"sub/", true, nullptr},
        {L"", true, nullptr},
        {L"/abs//./sub/x.avi", false, L"abs/sub/x.avi"},
        {L"sub/../../x.avi", false, nullptr},
        {L"./.", false, nullptr},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(archive::Narrow(test.stored));
        const auto safe = archive::SafeExtractName(test.stored, test.noPath);
        ASSERT_EQ(safe.has_value(), test.expected != nullptr);
        if (safe) {
            EXPECT_EQ(*safe, test.expected);
        }
    }
}

TEST(SevenZip, FileNamesSurviveTheWideBoundary) {
    for (const std::string name : {"Vid\xC3\xA9o \xE2\x82\xAC.avi", "raw\xFF\xFE\xC3.avi", ""}) {
        EXPECT_EQ(archive::Narrow(archive::Widen(name)), name);
    }
    EXPECT_EQ(archive::Widen("\xC3\xA9"), L"\u00E9");
}

TEST(SevenZip, TopLevelRecordingsAreThoseExtractedUnderTheirOwnNames) {
    for (const auto& [name, expected] :
         std::initializer_list<std::pair<const wchar_t*, bool>>{{L"Demo.avi", true},
                                                                {L"Demo.AVI", true},
                                                                {L".avi", false},
                                                                {L"sub/Demo.avi", false},
                                                                {L"sub\\Demo.avi", false},
                                                                {L"C:Demo.avi", false},
                                                                {L"notes.txt", false},
                                                                {L"Demo.avi.txt", false},
                                                                {L"avi", false}}) {
        EXPECT_EQ(archive::IsTopLevelRecording(name), expected) << archive::Narrow(name);
        if (expected) {
            EXPECT_EQ(archive::SafeExtractName(name, true), name);
        }
    }
}

TEST(SevenZip, AnItemWithDamagedDataIsNotLeftOnDisk) {
    Sandbox box;
    WriteBytes(box / "a.avi", RecordingBytes(200000, 3));
    Component c;
    ASSERT_EQ(c.Pack(box / "a.7z", {box / "a.avi"}), 0);
    std::string bytes = ReadBytes(box / "a.7z");
    bytes[200] = static_cast<char>(bytes[200] ^ 0x10);  // inside the packed data
    WriteBytes(box / "a.7z", bytes);
    fs::create_directory(box / "out");
    c.Extract(box / "a.7z", box / "out", {L"0"});
    EXPECT_TRUE(c.zip.LastErrCode == 2 || c.zip.LastErrCode == 3) << c.zip.LastErrCode;
    EXPECT_TRUE(fs::is_empty(box / "out"));
}
