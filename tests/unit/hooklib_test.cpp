// The hook library's life in a process: the shared block it opens when loaded and gives back
// when unloaded, and exports that are safe to call.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "tests/support/hook_library.h"

namespace {

namespace fs = std::filesystem;
using namespace korvex::test;

bool BlockExists() {
    const int fd = shm_open(kHookBlockName, O_RDONLY, 0);
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
    return text.str().find(kHookBlockFile) != std::string::npos;
}

class HookLibraryTest : public testing::Test {
protected:
    void TearDown() override { rmdir(kHookBlockFile); }

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
    ASSERT_EQ(mkdir(kHookBlockFile, 0700), 0);
    HookLibrary library = Load();
    EXPECT_FALSE(BlockMappedHere());
    const HookExports hooks(library);
    ASSERT_TRUE(hooks.complete());
    hooks.HookMouse(1);
    hooks.HookKeyboard(1);
    hooks.UnhookMouse();
    EXPECT_FALSE(hooks.UnHookKeyboard());
    library.reset();
    EXPECT_EQ(rmdir(kHookBlockFile), 0) << "the library must leave a foreign object alone";
}

}  // namespace
