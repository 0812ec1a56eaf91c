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

namespace {

namespace fs = std::filesystem;

constexpr char kBlockName[] = "/{D2B9306D-EB08-41F9-AC43-9D0DD84CBD4C}";
constexpr char kBlockFile[] = "/dev/shm/{D2B9306D-EB08-41F9-AC43-9D0DD84CBD4C}";
constexpr size_t kBlockSize = 12;

bool BlockExists() {
    const int fd = shm_open(kBlockName, O_RDONLY, 0);
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
    return text.str().find(kBlockFile) != std::string::npos;
}

// The test's own window on the block, as another process would have it (without a lock).
class BlockView {
public:
    explicit BlockView(int flags = O_RDWR) : fd_(shm_open(kBlockName, flags, 0600)) {
        if (fd_ < 0) {
            return;
        }
        if ((flags & O_CREAT) != 0 && ftruncate(fd_, kBlockSize) != 0) {
            return;
        }
        void* mapped = mmap(nullptr, kBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (mapped != MAP_FAILED) {
            bytes_ = static_cast<unsigned char*>(mapped);
        }
    }
    ~BlockView() {
        if (bytes_ != nullptr) {
            munmap(bytes_, kBlockSize);
        }
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    BlockView(const BlockView&) = delete;
    BlockView& operator=(const BlockView&) = delete;

    bool ok() const { return bytes_ != nullptr; }
    struct stat Status() const {
        struct stat status {};
        fstat(fd_, &status);
        return status;
    }
    std::uint32_t Field(size_t offset) const {
        std::uint32_t value = 0;
        std::memcpy(&value, bytes_ + offset, sizeof value);
        return value;
    }
    void SetField(size_t offset, std::uint32_t value) {
        std::memcpy(bytes_ + offset, &value, sizeof value);
    }

private:
    int fd_;
    unsigned char* bytes_ = nullptr;
};

struct DlClose {
    void operator()(void* handle) const { dlclose(handle); }
};
using Library = std::unique_ptr<void, DlClose>;

// The four entry points, looked up under exactly the names the program uses.
struct Exports {
    void (*HookMouse)(unsigned long);
    void (*UnhookMouse)();
    void (*HookKeyboard)(unsigned long);
    bool (*UnHookKeyboard)();

    explicit Exports(const Library& library)
        : HookMouse(reinterpret_cast<void (*)(unsigned long)>(dlsym(library.get(), "HookMouse"))),
          UnhookMouse(reinterpret_cast<void (*)()>(dlsym(library.get(), "UnhookMouse"))),
          HookKeyboard(
              reinterpret_cast<void (*)(unsigned long)>(dlsym(library.get(), "HookKeyboard"))),
          UnHookKeyboard(reinterpret_cast<bool (*)()>(dlsym(library.get(), "UnHookKeyboard"))) {}
    bool complete() const { return HookMouse && UnhookMouse && HookKeyboard && UnHookKeyboard; }
};

class HookLibraryTest : public testing::Test {
protected:
    // Under the test's resource lock the block's name is ours: start and end without it.
    void SetUp() override {
        shm_unlink(kBlockName);
        char pattern[] = "/tmp/hooklib_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        rmdir(kBlockFile);
        shm_unlink(kBlockName);
        fs::remove_all(dir_);
    }

    // Loads a fresh copy of the built library, written under its own name as the program does.
    Library Load(const std::string& name = "Korvex.dll") {
        const fs::path copy = dir_ / name;
        fs::copy_file(KORVEX_HOOKLIB_FILE, copy, fs::copy_options::overwrite_existing);
        Library library(dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL));
        EXPECT_NE(library, nullptr) << dlerror();
        return library;
    }

    fs::path dir_;
};

TEST_F(HookLibraryTest, LoadingCreatesTheTwelveByteBlock) {
    ASSERT_FALSE(BlockExists());
    const Library library = Load();
    ASSERT_TRUE(BlockExists());
    const BlockView view;
    ASSERT_TRUE(view.ok());
    EXPECT_EQ(view.Status().st_size, 12);
    EXPECT_EQ(view.Status().st_mode & 0777, 0600u);
    EXPECT_TRUE(BlockMappedHere());
}

TEST_F(HookLibraryTest, ExportsInstallNothingAndLeaveTheBlockAlone) {
    const Library library = Load();
    const Exports hooks(library);
    ASSERT_TRUE(hooks.complete());

    hooks.HookMouse(0x2a00007);
    hooks.HookKeyboard(0x2a00007);
    hooks.HookMouse(0x2a00009);
    const BlockView view;
    ASSERT_TRUE(view.ok());
    EXPECT_EQ(view.Field(0), 0u) << "MouseHook";
    EXPECT_EQ(view.Field(4), 0u) << "KeyboardHook";
    EXPECT_EQ(view.Field(8), 0u) << "TargetWindow";
    hooks.UnhookMouse();
    EXPECT_FALSE(hooks.UnHookKeyboard()) << "nothing was installed, so nothing was removed";
    EXPECT_EQ(view.Field(0), 0u);
    EXPECT_EQ(view.Field(4), 0u);
}

TEST_F(HookLibraryTest, UnloadingUnmapsAndTheLastHolderRemovesTheName) {
    Library library = Load();
    ASSERT_TRUE(BlockMappedHere());
    library.reset();
    EXPECT_FALSE(BlockMappedHere());
    EXPECT_FALSE(BlockExists());
}

TEST_F(HookLibraryTest, ABlockLeftByADeadProcessStartsAtZero) {
    {
        BlockView stale(O_RDWR | O_CREAT);
        ASSERT_TRUE(stale.ok());
        stale.SetField(0, 7);
        stale.SetField(4, 8);
        stale.SetField(8, 9);
    }
    const Library library = Load();
    const BlockView view;
    ASSERT_TRUE(view.ok());
    EXPECT_EQ(view.Field(0), 0u);
    EXPECT_EQ(view.Field(4), 0u);
    EXPECT_EQ(view.Field(8), 0u);
}

TEST_F(HookLibraryTest, CopiesShareOneBlockUntilTheLastIsUnloaded) {
    Library first = Load("first.dll");
    BlockView view;
    ASSERT_TRUE(view.ok());
    view.SetField(8, 0x1234);

    Library second = Load("second.dll");
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
    ASSERT_EQ(mkdir(kBlockFile, 0700), 0);
    Library library = Load();
    EXPECT_FALSE(BlockMappedHere());
    const Exports hooks(library);
    ASSERT_TRUE(hooks.complete());
    hooks.HookMouse(1);
    hooks.HookKeyboard(1);
    hooks.UnhookMouse();
    EXPECT_FALSE(hooks.UnHookKeyboard());
    library.reset();
    EXPECT_EQ(rmdir(kBlockFile), 0) << "the library must leave a foreign object alone";
}

}  // namespace
