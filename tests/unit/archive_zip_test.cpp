// The ZIP component: the exact bytes it writes, what unzip and Python make of them, replacing an
// entry, and running out of space.
#include <sys/stat.h>
#include <utime.h>
#include <zlib.h>

#include <ctime>
#include <sstream>

#include "archive/ArchiveFormat.h"
#include "archive/KAZip.h"
#include "tests/unit/archive_test_support.h"

namespace ziptest {
namespace {

class KAZipTest : public ArchiveTest {
protected:
    KAZipTest() {
        // As the main window sets it up.
        zip_.StoreRelativePath = false;
        zip_.StoreFolders = false;
        zip_.SetCompressionType(TZipCompressionType::ctMaximum);
    }
    fs::path Source(const std::string& name, const std::string& bytes) {
        const auto path = dir_ / "src" / name;
        fs::create_directories(path.parent_path());
        WriteText(path, bytes);
        return path;
    }
    // Packs as the main window does and checks the archive with unzip and Python's zipfile,
    // extracting it to the sources' bytes.
    std::string PackAndCheck(const fs::path& source, const std::string& bytes) {
        const auto archive = dir_ / "out.zip";
        EXPECT_TRUE(PackIntoZipArchive(zip_, archive, source));
        EXPECT_TRUE(zip_.ArchiveName().empty());
        ExpectReadersAgree(archive, {{source.filename().string(), bytes}});
        return ReadText(archive);
    }
    void ExpectReadersAgree(const fs::path& archive,
                            const std::vector<std::pair<std::string, std::string>>& entries) {
        const auto tested = UnzipTest(archive);
        EXPECT_EQ(tested.exitCode, 0) << tested.output;
        const auto out = dir_ / "python";
        fs::remove_all(out);
        const auto extracted = PythonExtract(archive, out);
        ASSERT_EQ(extracted.exitCode, 0) << extracted.output;
        std::string names;
        for (const auto& [name, bytes] : entries) {
            names += name + "\n";
            // Compared as a whole: a difference in megabytes of binary is no help printed.
            EXPECT_TRUE(ReadText(out / name) == bytes) << name << " from Python";
            // unzip reads the name as a pattern, in which "\\" escapes.
            std::string pattern;
            for (const char ch : name)
                pattern += ch == '\\' ? std::string(2, ch) : std::string(1, ch);
            const auto unzipped =
                RunCommand("unzip -p " + Quote(archive.string()) + " " + Quote(pattern));
            EXPECT_TRUE(unzipped.output == bytes) << name << " from unzip";
        }
        EXPECT_EQ(extracted.output, names);
    }
    TKAZip zip_;
};

TEST_F(KAZipTest, EmptyArchiveIsTheEndRecordAlone) {
    zip_.CreateEmptyArchive(dir_ / "e.zip");
    EXPECT_EQ(ReadText(dir_ / "e.zip"), std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    EXPECT_TRUE(zip_.ArchiveName().empty());
    zip_.SetActive(true);  // no archive name: nothing happens
    EXPECT_FALSE(zip_.Active());
}

TEST_F(KAZipTest, EmptySourceIsStoredWithoutData) {
    const auto archive = PackAndCheck(Source("e.avi", ""), "");
    ASSERT_EQ(archive.size(), 98u + 2 * 5);
    EXPECT_EQ(LittleEndian(archive, 8, 2), 0u);        // method
    EXPECT_EQ(LittleEndian(archive, 14, 4), 0u);       // CRC
    EXPECT_EQ(LittleEndian(archive, 18, 4), 0u);       // compressed
    EXPECT_EQ(LittleEndian(archive, 22, 4), 0u);       // uncompressed
    EXPECT_EQ(LittleEndian(archive, 35 + 10, 2), 0u);  // central record's method
}

TEST_F(KAZipTest, RecordingLayout) {
    const std::string bytes = RecordingLike(300000, 1);
    const auto source = Source("Demo.avi", bytes);
    const auto archive = PackAndCheck(source, bytes);
    const std::size_t c = archive.size() - 114;
    const auto crc = static_cast<std::uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size())));
    struct Field {
        std::size_t at;
        int size;
        std::uint32_t value;
    };
    const Field fields[] = {{0, 4, 0x04034B50},
                            {4, 2, 20},
                            {6, 2, 0},
                            {8, 2, 8},
                            {14, 4, crc},
                            {18, 4, static_cast<std::uint32_t>(c)},
                            {22, 4, static_cast<std::uint32_t>(bytes.size())},
                            {26, 2, 8},
                            {28, 2, 0},
                            // central record at 38 + c
                            {38 + c, 4, 0x02014B50},
                            {42 + c, 2, 0x0314},  // made on Unix, ZIP 2.0
                            {44 + c, 2, 20},
                            {46 + c, 2, 0},
                            {48 + c, 2, 8},
                            {54 + c, 4, crc},
                            {58 + c, 4, static_cast<std::uint32_t>(c)},
                            {66 + c, 2, 8},
                            {68 + c, 2, 0},
                            {70 + c, 2, 0},
                            {76 + c, 4, 0100644u << 16 | 0x20},
                            {80 + c, 4, 0},
                            // end record at c + 92
                            {92 + c, 4, 0x06054B50},
                            {100 + c, 2, 1},
                            {102 + c, 2, 1},
                            {104 + c, 4, 54},
                            {108 + c, 4, static_cast<std::uint32_t>(38 + c)},
                            {112 + c, 2, 0}};
    for (const auto& f : fields) EXPECT_EQ(LittleEndian(archive, f.at, f.size), f.value) << f.at;
    EXPECT_EQ(archive.substr(30, 8), "Demo.avi");
    EXPECT_EQ(archive.substr(c + 84, 8), "Demo.avi");
    EXPECT_EQ(LittleEndian(archive, 10, 4), LittleEndian(archive, 50 + c, 4));  // time, date

    // Reopened, the directory reads back as written; level 9 reads as ctNormal (flags 0).
    zip_.OpenArchive(dir_ / "out.zip");
    ASSERT_TRUE(zip_.IsZipFile());
    ASSERT_EQ(zip_.Entries().size(), 1u);
    const auto& entry = zip_.Entries()[0];
    EXPECT_EQ(entry.FileName(), "Demo.avi");
    EXPECT_EQ(entry.CompressionType, TZipCompressionType::ctNormal);
    struct stat info {};
    ASSERT_EQ(::stat(source.c_str(), &info), 0);
    EXPECT_EQ(entry.DateTime, info.st_mtime - info.st_mtime % 2);
    EXPECT_FALSE(zip_.HasBadEntries());
}

TEST_F(KAZipTest, ModificationTimeAsMsDosWords) {
    struct Case {
        int year, month, day, hour, minute, second;
        std::uint32_t time, date;
    };
    const Case cases[] = {
        {1979, 12, 31, 23, 59, 58, 0, 0},
        {1980, 1, 1, 0, 0, 0, 0, 33},
        {2024, 3, 5, 13, 45, 59, 13 * 2048 + 45 * 32 + 29, 44 * 512 + 3 * 32 + 5},
        {2107, 12, 31, 23, 59, 58, 23 * 2048 + 59 * 32 + 29, 127 * 512 + 12 * 32 + 31},
        {2108, 1, 1, 0, 0, 0, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.year);
        const auto source = Source("t.avi", "x");
        std::tm local{};
        local.tm_year = c.year - 1900;
        local.tm_mon = c.month - 1;
        local.tm_mday = c.day;
        local.tm_hour = c.hour;
        local.tm_min = c.minute;
        local.tm_sec = c.second;
        local.tm_isdst = -1;
        const ::utimbuf times{std::mktime(&local), std::mktime(&local)};
        ASSERT_EQ(::utime(source.c_str(), &times), 0);
        const auto archive = PackAndCheck(source, "x");
        EXPECT_EQ(LittleEndian(archive, 10, 2), c.time);
        EXPECT_EQ(LittleEndian(archive, 12, 2), c.date);
    }
}

TEST_F(KAZipTest, StoredNames) {
    struct Case {
        const char* given;
        bool relative;
        const char* stored;
    };
    const Case cases[] = {{"C:\\Videos\\Demo.avi", true, "Videos/Demo.avi"},
                          {"\\\\server\\share\\dir\\a.avi", true, "dir/a.avi"},
                          {"/tmp/v/Demo.avi", true, "tmp/v/Demo.avi"},
                          {"/tmp/v/Demo.avi", false, "Demo.avi"},
                          {"/tmp/v/a\\b.avi", false, "a\\b.avi"},
                          {"/tmp/Grüße.avi", false, "Grüße.avi"}};
    for (const auto& c : cases) EXPECT_EQ(StoredName(c.given, c.relative), c.stored) << c.given;
    // A "\\" in a recording's name is a letter of it for every reader, not a folder.
    PackAndCheck(Source("a\\b.avi", "backslash"), "backslash");
    EXPECT_TRUE(SameNameIgnoringCase("Übung.avi", "üBUNG.AVI"));
    EXPECT_FALSE(SameNameIgnoringCase("Übung.avi", "Ubung.avi"));
    // Non-ASCII names keep their bytes and set flag bit 11, so that readers which honour it
    // (Python, 7-Zip) show them right; the archive is the user's alone.
    const auto archive = dir_ / "n.zip";
    PackIntoZipArchive(zip_, archive, Source("Grüße.avi", "abc"));
    const std::string bytes = ReadText(archive);
    EXPECT_EQ(bytes.substr(30, 11), "Grüße.avi");
    EXPECT_EQ(LittleEndian(bytes, 6, 2), 0x0800u);
    EXPECT_EQ(UnzipTest(archive).exitCode, 0);
    const auto extracted = PythonExtract(archive, dir_ / "python");
    EXPECT_EQ(extracted.output, "Grüße.avi\n");
    EXPECT_EQ(ReadText(dir_ / "python" / "Grüße.avi"), "abc");
    EXPECT_EQ(fs::status(archive).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(KAZipTest, FolderEntriesWithRelativePaths) {
    zip_.StoreRelativePath = true;
    zip_.StoreFolders = true;
    zip_.CreateEmptyArchive(dir_ / "f.zip");
    zip_.OpenArchive(dir_ / "f.zip");
    std::istringstream data("inside");
    zip_.AddStream("C:\\a\\b\\c.avi", 0x20, data, std::time(nullptr));
    std::vector<std::string> names;
    for (const auto& e : zip_.Entries()) names.push_back(e.FileName());
    EXPECT_EQ(names, (std::vector<std::string>{"a/", "a/b/", "a/b/c.avi"}));
    zip_.CloseArchive();
    EXPECT_EQ(UnzipTest(dir_ / "f.zip").exitCode, 0);
}

TEST_F(KAZipTest, SameNameInOtherCaseReplacesTheEntry) {
    const auto archive = dir_ / "r.zip";
    zip_.CreateEmptyArchive(archive);
    zip_.OpenArchive(archive);
    const std::string a = RecordingLike(5000, 2), b = RecordingLike(7000, 3), c = "third";
    zip_.AddFile(Source("a.avi", a));
    zip_.AddFile(Source("Demo.avi", "old"));
    zip_.AddFile(Source("c.avi", c));
    fs::remove_all(dir_ / "src");
    zip_.AddFile(Source("dEMO.AVI", b));
    zip_.CloseArchive();
    ExpectReadersAgree(archive, {{"a.avi", a}, {"c.avi", c}, {"dEMO.AVI", b}});
}

TEST_F(KAZipTest, AppendsToAnArchiveOfTheZipProgram) {
    const std::string first = RecordingLike(20000, 4);
    WriteText(dir_ / "first.avi", first);
    ASSERT_EQ(RunCommand("cd " + Quote(dir_.string()) +
                         " && echo 'a comment' | zip -q -z other.zip first.avi")
                  .exitCode,
              0);
    zip_.OpenArchive(dir_ / "other.zip");
    ASSERT_TRUE(zip_.IsZipFile());
    EXPECT_EQ(zip_.Comment(), "a comment");
    zip_.AddFile(Source("second.avi", "2"));
    zip_.CloseArchive();
    ExpectReadersAgree(dir_ / "other.zip", {{"first.avi", first}, {"second.avi", "2"}});
    EXPECT_NE(
        RunCommand("unzip -z " + Quote((dir_ / "other.zip").string())).output.find("a comment"),
        std::string::npos);
}

TEST_F(KAZipTest, ErrorTexts) {
    const auto missing = dir_ / "none" / "x.zip";
    const auto textOf = [](auto&& action) {
        try {
            action();
        } catch (const EKAZipError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(textOf([&] { zip_.OpenArchive(missing); }),
              "File \"" + missing.string() + "\" not found!");
    EXPECT_EQ(
        textOf([&] { zip_.CreateEmptyArchive(missing); }),
        "Datei \"" + missing.string() + "\" kann nicht erstellt werden. No such file or directory");
    // A link at the archive's place is never followed.
    WriteText(dir_ / "target", "keep");
    fs::create_symlink(dir_ / "target", dir_ / "link.zip");
    EXPECT_NE(
        textOf([&] { zip_.CreateEmptyArchive(dir_ / "link.zip"); }).find("kann nicht erstellt"),
        std::string::npos);
    EXPECT_EQ(ReadText(dir_ / "target"), "keep");
    // Not a ZIP archive: the component stays closed.
    WriteText(dir_ / "plain.zip", std::string(300, 'P'));
    zip_.OpenArchive(dir_ / "plain.zip");
    EXPECT_FALSE(zip_.IsZipFile());
    EXPECT_TRUE(zip_.Entries().empty());
    // A missing source adds nothing and raises nothing.
    EXPECT_FALSE(PackIntoZipArchive(zip_, dir_ / "m.zip", dir_ / "missing.avi"));
}

TEST_F(KAZipTest, FullDiskGivesTheErrorAndLeavesNoArchive) {
    if (!MountSmallDisk("size=1m"))
        GTEST_SKIP() << "mounting a 1 MiB tmpfs is not permitted here: " << std::strerror(errno);
    std::mt19937 random(5);
    std::string bytes(4 << 20, '\0');
    for (auto& b : bytes) b = static_cast<char>(random());
    const auto source = Source("big.avi", bytes);
    // Room for the empty archive but not for the recording; then no room at all.
    for (const bool fill : {false, true}) {
        SCOPED_TRACE(fill ? "disk full" : "recording too large");
        if (fill) WriteText(disk_ / "filler", std::string(2 << 20, 'f'));
        const auto archive = disk_ / "big.zip";
        try {
            PackIntoZipArchive(zip_, archive, source);
            ADD_FAILURE() << "packing succeeded";
        } catch (const EKAZipError& e) {
            EXPECT_EQ(std::string(e.what()), "Systemfehler.  Code: 28.\r\nNo space left on device");
        }
        EXPECT_FALSE(fs::exists(archive));
        EXPECT_TRUE(zip_.ArchiveName().empty());
        EXPECT_FALSE(zip_.IsZipFile());
    }
    // The component works on afterwards.
    PackAndCheck(source, bytes);
}

TEST(ArchiveFormatChoice, LimitAndUse7z) {
    EXPECT_EQ(ChooseArchiveFormat(14680063, false, 14), ArchiveFormat::Zip);
    EXPECT_EQ(ChooseArchiveFormat(14680064, false, 14), ArchiveFormat::SevenZip);
    EXPECT_EQ(ChooseArchiveFormat(10, true, 14), ArchiveFormat::SevenZip);
}

}  // namespace
}  // namespace ziptest
