// Files as the program sees them: recordings by extension, attributes, open files, free space.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/files/files.h"

namespace fs = std::filesystem;
namespace files = platform::files;

namespace {

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("korvex-files-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    void Touch(const std::string& name) { std::ofstream(dir / name) << "x"; }
    fs::path dir;
};

}  // namespace

TEST_F(Files, RecordingsByExtensionWithoutRegardToCase) {
    for (const char* name : {"Demo.AVI", "a.avi.avi", "b.avi", ".hidden.avi", "c.zip", "avi"}) {
        Touch(name);
    }
    fs::create_directories(dir / "folder.avi");
    auto found = files::FindFiles(dir, ".avi");
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"Demo.AVI", "a.avi.avi", "b.avi"}));
    EXPECT_TRUE(files::FindFiles(dir / "missing", ".avi").empty());
}

TEST_F(Files, AttributesAndDeletion) {
    Touch("v.avi");
    Touch(".h");
    EXPECT_EQ(files::Attributes(dir / "v.avi").value() & 0x30, files::FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_TRUE(files::Attributes(dir / ".h").value() & files::FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(files::Attributes(dir).value() & files::FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(files::Attributes(dir / "none"));
    EXPECT_FALSE(files::DeleteFile(dir));  // never a folder
    EXPECT_TRUE(files::DeleteFile(dir / "v.avi"));
    EXPECT_FALSE(files::DeleteFile(dir / "v.avi"));
    EXPECT_TRUE(files::CreateFolders(dir / "a" / "b" / "c"));
    Touch("blocker");
    EXPECT_FALSE(files::CreateFolders(dir / "blocker" / "sub"));
}

TEST_F(Files, AFileHeldOpenIsInUse) {
    Touch("rec.avi");
    EXPECT_FALSE(files::IsOpenByAnyProcess(dir / "rec.avi"));
    {
        std::ifstream held(dir / "rec.avi");
        // This process counts too: an exclusive open would be refused while it writes.
        EXPECT_TRUE(files::IsOpenByAnyProcess(dir / "rec.avi"));
    }
    EXPECT_FALSE(files::IsOpenByAnyProcess(dir / "rec.avi"));
    EXPECT_FALSE(files::IsOpenByAnyProcess(dir / "missing.avi"));
}

TEST_F(Files, FreeSpaceAndTheDrive) {
    EXPECT_GT(files::FreeBytes(dir).value_or(0), 0u);
    EXPECT_FALSE(files::FreeBytes(dir / "missing"));
    const std::string mount = files::MountPoint(dir);
    EXPECT_FALSE(mount.empty());
    EXPECT_EQ(dir.string().rfind(mount == "/" ? "/" : mount, 0), 0u);
    EXPECT_EQ(files::MountPoint("/proc/self"), "/proc");
}

TEST_F(Files, TempFolderFallsBackWhenEmpty) {
    setenv("TEMP", "", 1);
    setenv("TMPDIR", "/var/tmp", 1);
    EXPECT_EQ(files::TempFolder(), "/var/tmp");
    unsetenv("TMPDIR");
    EXPECT_EQ(files::TempFolder(), "/tmp");
    setenv("TEMP", "/x/y", 1);
    EXPECT_EQ(files::TempFolder(), "/x/y");
    unsetenv("TEMP");
}
