// Files as the program sees them: recordings by extension, attributes, open files, free space,
// and the private TEMP folder with what is created and loaded there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/files/files.h"
#include "platform/library/library.h"

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

mode_t Mode(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(Files, TempFolderIsTempOrAPrivateFolderOfThisUser) {
    const std::string own = "/korvex-" + std::to_string(geteuid());
    setenv("TEMP", "", 1);
    setenv("TMPDIR", "/var/tmp/", 1);
    EXPECT_EQ(files::TempFolder(), "/var/tmp" + own);
    unsetenv("TMPDIR");
    EXPECT_EQ(files::TempFolder(), "/tmp" + own);
    setenv("TEMP", "/x/y", 1);
    EXPECT_EQ(files::TempFolder(), "/x/y");

    unsetenv("TEMP");
    setenv("TMPDIR", dir.c_str(), 1);
    ::umask(0);
    EXPECT_TRUE(files::PrepareTempFolder(files::TempFolder()));
    EXPECT_EQ(Mode(dir.string() + own), 0700u);
    EXPECT_TRUE(files::CreateFolders(dir.string() + own + "/Video/sub"));
    EXPECT_EQ(Mode(dir.string() + own + "/Video"), 0700u);
    ::umask(022);
    unsetenv("TMPDIR");
}

TEST_F(Files, OnlyAFolderOfThisUsersOwnIsUsed) {
    struct Case {
        const char* name;
        std::function<void(const fs::path&)> make;
        bool usable;
    };
    const auto folder = [](mode_t mode) {
        return [mode](const fs::path& p) {
            fs::create_directory(p);
            chmod(p.c_str(), mode);
        };
    };
    const std::vector<Case> cases = {
        {"private", folder(0700), true},
        {"group-writable", folder(0770), false},
        {"world-writable", folder(01777), false},
        {"link", [&](const fs::path& p) { fs::create_directory_symlink(dir / "private", p); },
         false},
        {"file", [](const fs::path& p) { std::ofstream(p) << "x"; }, false},
        // Not run as root, the folder cannot be given away and stays missing: unusable as well.
        {"foreign",
         [&](const fs::path& p) {
             folder(0700)(p);
             if (lchown(p.c_str(), 65534, 65534) != 0) fs::remove(p);
         },
         false},
    };
    setenv("TEMP", "set", 1);  // an existing folder is checked, never made or changed
    for (const Case& c : cases) {
        c.make(dir / c.name);
        EXPECT_EQ(files::PrepareTempFolder(dir / c.name), c.usable) << c.name;
    }
    EXPECT_EQ(Mode(dir / "group-writable"), 0770u);
    EXPECT_FALSE(files::PrepareTempFolder(dir / "missing"));
    EXPECT_FALSE(fs::exists(dir / "missing"));
    unsetenv("TEMP");
}

TEST_F(Files, NewFilesArePrivateAndNeverFollowALink) {
    std::ofstream(dir / "target") << "keep";
    fs::create_symlink(dir / "target", dir / "planted.dll");
    Touch("stale.dll");
    ::mkfifo((dir / "fifo.avi").c_str(), 0666);
    ::umask(0);
    for (const char* name : {"planted.dll", "stale.dll", "new.dll"}) {
        ASSERT_TRUE(files::WriteWholeFile(dir / name, "MZ", 2)) << name;
        EXPECT_EQ(Mode(dir / name), 0600u) << name;
        EXPECT_FALSE(fs::is_symlink(dir / name)) << name;
        EXPECT_EQ(fs::file_size(dir / name), 2u);
    }
    ::umask(022);
    EXPECT_EQ(fs::file_size(dir / "target"), 4u);
    EXPECT_FALSE(files::CreatePrivateFile(dir / "fifo.avi"));
    EXPECT_FALSE(files::CreatePrivateFile(dir));
    EXPECT_TRUE(fs::is_fifo(dir / "fifo.avi"));
}

TEST_F(Files, TwoLibrariesLoadedOneAfterTheOtherAreEachTheirOwn) {
    fs::copy_file(KORVEX_7Z_ENGINE, dir / "7za.dll");
    fs::copy_file(KORVEX_HOOKLIB_FILE, dir / "Korvex.dll");
    const auto engine = platform::library::Library::Load(dir / "7za.dll");
    const auto hooks = platform::library::Library::Load(dir / "Korvex.dll");
    ASSERT_TRUE(engine && hooks);
    EXPECT_NE(engine->Symbol("CreateObject"), nullptr);
    EXPECT_NE(hooks->Symbol("HookMouse"), nullptr);
}

TEST_F(Files, CodeIsLoadedOnlyFromAFileOfThisUsersOwn) {
    fs::copy_file(KORVEX_HOOKLIB_FILE, dir / "Korvex.dll");
    fs::create_symlink(dir / "Korvex.dll", dir / "link.dll");
    struct Case {
        const char* name;
        mode_t mode;
        bool loads;
    };
    for (const Case c : {Case{"Korvex.dll", 0600, true}, Case{"Korvex.dll", 0664, false},
                         Case{"Korvex.dll", 0646, false}, Case{"link.dll", 0600, false}}) {
        chmod((dir / "Korvex.dll").c_str(), c.mode);
        EXPECT_EQ(platform::library::Library::Load(dir / c.name) != nullptr, c.loads)
            << c.name << " " << std::oct << c.mode;
    }
    if (lchown((dir / "Korvex.dll").c_str(), 65534, 65534) == 0) {
        chmod((dir / "Korvex.dll").c_str(), 0644);
        EXPECT_FALSE(platform::library::Library::Load(dir / "Korvex.dll"));
    }
}
