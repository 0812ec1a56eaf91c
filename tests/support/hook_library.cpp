#include "tests/support/hook_library.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

namespace korvex::test {

namespace fs = std::filesystem;

void DlClose::operator()(void* handle) const {
    dlclose(handle);
}

HookLibrary LoadHookLibrary(const fs::path& built, const fs::path& dir, const std::string& name) {
    const fs::path copy = dir / name;
    fs::copy_file(built, copy, fs::copy_options::overwrite_existing);
    return HookLibrary(dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL));
}

template <class F>
static F Lookup(const HookLibrary& library, const char* name) {
    return reinterpret_cast<F>(dlsym(library.get(), name));
}

HookExports::HookExports(const HookLibrary& library)
    : HookMouse(Lookup<void (*)(unsigned long)>(library, "HookMouse")),
      UnhookMouse(Lookup<void (*)()>(library, "UnhookMouse")),
      HookKeyboard(Lookup<void (*)(unsigned long)>(library, "HookKeyboard")),
      UnHookKeyboard(Lookup<bool (*)()>(library, "UnHookKeyboard")) {}

HookBlockView::HookBlockView() : HookBlockView(O_RDWR) {}

std::string HookBlockName(unsigned userId) {
    return "/{D2B9306D-EB08-41F9-AC43-9D0DD84CBD4C}-" + std::to_string(userId);
}

std::string HookBlockName() {
    return HookBlockName(geteuid());
}

std::string HookBlockFile(unsigned userId) {
    return "/dev/shm" + HookBlockName(userId);
}

std::string HookBlockFile() {
    return HookBlockFile(geteuid());
}

HookBlockView::HookBlockView(int flags) : fd_(shm_open(HookBlockName().c_str(), flags, 0600)) {
    if (fd_ < 0) return;
    if ((flags & O_CREAT) != 0 && ftruncate(fd_, kHookBlockSize) != 0) return;
    void* mapped = mmap(nullptr, kHookBlockSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    if (mapped != MAP_FAILED) bytes_ = static_cast<unsigned char*>(mapped);
}

HookBlockView::~HookBlockView() {
    if (bytes_ != nullptr) munmap(bytes_, kHookBlockSize);
    if (fd_ >= 0) close(fd_);
}

std::int64_t HookBlockView::Size() const {
    struct stat status {};
    fstat(fd_, &status);
    return status.st_size;
}

unsigned HookBlockView::Mode() const {
    struct stat status {};
    fstat(fd_, &status);
    return status.st_mode & 0777;
}

std::uint32_t HookBlockView::Field(std::size_t offset) const {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes_ + offset, sizeof value);
    return value;
}

void HookBlockView::SetField(std::size_t offset, std::uint32_t value) {
    std::memcpy(bytes_ + offset, &value, sizeof value);
}

HookScratch::HookScratch() {
    shm_unlink(HookBlockName().c_str());
    std::string pattern = (fs::temp_directory_path() / "korvex_hook.XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
}

HookScratch::~HookScratch() {
    shm_unlink(HookBlockName().c_str());
    if (!dir_.empty()) fs::remove_all(dir_);
}

int ObserverThreads() {
    int count = 0;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (name == "GlobalHook") ++count;
    }
    return count;
}

}  // namespace korvex::test
