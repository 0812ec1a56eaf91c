// The hook library's life in a process: the shared block it opens when loaded and gives back
// when unloaded, and exports that are safe to call.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "tests/support/hook_library.h"

namespace {

namespace fs = std::filesystem;
using namespace korvex::test;

bool BlockExists() {
    const int fd = shm_open(HookBlockName().c_str(), O_RDONLY, 0);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

bool BlockMappedHere() {
    std::ifstream maps("/proc/self/maps");
    std::stringstream text;
    text << maps.rdbuf();
    return text.str().find(HookBlockFile()) != std::string::npos;
}

class HookLibraryTest : public testing::Test {
protected:
    void TearDown() override { rmdir(HookBlockFile().c_str()); }

    // Loads a fresh copy of the built library, written under its own name as the program does.
    HookLibrary Load(const std::string& name = "Korvex.dll") {
        HookLibrary library = LoadHookLibrary(KORVEX_HOOKLIB_FILE, scratch_.Dir(), name);
        EXPECT_NE(library, nullptr) << dlerror();
        return library;
    }

    HookScratch scratch_;
};

TEST_F(HookLibraryTest, LoadingCreatesTheTwelveByteBlock) {
    ASSERT_FALSE(BlockExists());
    const HookLibrary library = Load();
    ASSERT_TRUE(BlockExists());
    const HookBlockView view;
    ASSERT_TRUE(view.ok());
    EXPECT_EQ(view.Size(), 12);
    EXPECT_EQ(view.Mode(), 0600u);
    EXPECT_TRUE(BlockMappedHere());
}

// Unit tests run without a display: every install fails as a refused hook does.
TEST_F(HookLibraryTest, WithoutADisplayNothingIsInstalledButTheTargetIsKept) {
    const HookLibrary library = Load();
    const HookExports hooks(library);
    ASSERT_TRUE(hooks.complete());

    hooks.HookMouse(0x2a00007);
    hooks.HookKeyboard(0x2a00007);
    hooks.HookMouse(0x2a00009);
    const HookBlockView view;
    ASSERT_TRUE(view.ok());
    EXPECT_EQ(view.Field(kMouseHook), 0u);
    EXPECT_EQ(view.Field(kKeyboardHook), 0u);
    EXPECT_EQ(view.Field(kTargetWindow), 0x2a00009u);
    EXPECT_EQ(ObserverThreads(), 0);
    hooks.UnhookMouse();
    EXPECT_FALSE(hooks.UnHookKeyboard()) << "nothing was installed, so nothing was removed";
    EXPECT_EQ(view.Field(0), 0u);
    EXPECT_EQ(view.Field(4), 0u);
}

TEST_F(HookLibraryTest, UnloadingUnmapsAndTheLastHolderRemovesTheName) {
    HookLibrary library = Load();
    ASSERT_TRUE(BlockMappedHere());
    library.reset();
    EXPECT_FALSE(BlockMappedHere());
    EXPECT_FALSE(BlockExists());
}

TEST_F(HookLibraryTest, ABlockLeftByADeadProcessStartsAtZero) {
    {
        HookBlockView stale(O_RDWR | O_CREAT);
        ASSERT_TRUE(stale.ok());
        stale.SetField(0, 7);
        stale.SetField(4, 8);
        stale.SetField(8, 9);
    }
    const HookLibrary library = Load();
    const HookBlockView view;
    ASSERT_TRUE(view.ok());
    EXPECT_EQ(view.Field(0), 0u);
    EXPECT_EQ(view.Field(4), 0u);
    EXPECT_EQ(view.Field(8), 0u);
}

TEST_F(HookLibraryTest, CopiesShareOneBlockUntilTheLastIsUnloaded) {
    HookLibrary first = Load("first.dll");
    HookBlockView view;
    ASSERT_TRUE(view.ok());
    view.SetField(8, 0x1234);

    HookLibrary second = Load("second.dll");
    EXPECT_EQ(view.Field(8), 0x1234u) << "a second holder must not clear a block in use";

    first.reset();
    EXPECT_TRUE(BlockExists());
    EXPECT_TRUE(BlockMappedHere());
    EXPECT_EQ(view.Field(8), 0x1234u);

    second.reset();
    EXPECT_FALSE(BlockExists());
}

TEST_F(HookLibraryTest, WithoutABlockTheExportsAreHarmless) {
    // A directory under the block's name makes shm_open fail.
    ASSERT_EQ(mkdir(HookBlockFile().c_str(), 0700), 0);
    HookLibrary library = Load();
    EXPECT_FALSE(BlockMappedHere());
    const HookExports hooks(library);
    ASSERT_TRUE(hooks.complete());
    hooks.HookMouse(1);
    hooks.HookKeyboard(1);
    hooks.UnhookMouse();
    EXPECT_FALSE(hooks.UnHookKeyboard());
    library.reset();
    EXPECT_EQ(rmdir(HookBlockFile().c_str()), 0) << "the library must leave a foreign object alone";
}

// Runs step in a child process as user nobody; its result is the child's.
bool AsNobody(const std::function<bool()>& step) {
    constexpr uid_t kNobody = 65534;
    const pid_t child = fork();
    if (child == 0) {
        const bool ok = setgid(kNobody) == 0 && setuid(kNobody) == 0 && step();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TEST_F(HookLibraryTest, EachUserHasABlockOfTheirOwn) {
    if (geteuid() != 0) GTEST_SKIP() << "a second user needs root";
    constexpr unsigned kNobody = 65534;
    // A copy that the other user can load.
    const fs::path shared = scratch_.Dir() / "shared";
    fs::create_directories(shared);
    fs::copy_file(KORVEX_HOOKLIB_FILE, shared / "Korvex.dll");
    for (const fs::path& folder : {scratch_.Dir(), shared})
        fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    {
        HookLibrary mine = Load();
        HookBlockView view;
        ASSERT_TRUE(view.ok());
        view.SetField(kTargetWindow, 0x1234);

        // The other user's copy gets a block under their own name; this one keeps its own.
        EXPECT_TRUE(AsNobody([&] {
            HookLibrary theirs(dlopen((shared / "Korvex.dll").c_str(), RTLD_NOW | RTLD_LOCAL));
            struct stat block {};
            return theirs && stat(HookBlockFile(kNobody).c_str(), &block) == 0 &&
                   block.st_uid == kNobody && (block.st_mode & 0777) == 0600;
        }));
        EXPECT_NE(access(HookBlockFile(kNobody).c_str(), F_OK), 0)
            << "their last holder removes it";
        EXPECT_EQ(view.Field(kTargetWindow), 0x1234u);
    }

    // An object that someone else made under this user's name is neither used nor removed.
    ASSERT_TRUE(AsNobody([] {
        const int fd = shm_open(HookBlockName(0).c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
        return fd >= 0 && fchmod(fd, 0666) == 0 && ftruncate(fd, kHookBlockSize) == 0;
    }));
    HookLibrary refused = Load();
    EXPECT_FALSE(BlockMappedHere());
    refused.reset();
    EXPECT_TRUE(BlockExists());
}

}  // namespace
