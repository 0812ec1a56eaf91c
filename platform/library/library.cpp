#include "platform/library/library.h"

#include <dlfcn.h>

namespace platform::library {

std::unique_ptr<Library> Library::Load(const std::filesystem::path& path) {
    // RTLD_LOCAL keeps the library's own symbols (the 7z engine exports Windows-style names)
    // from resolving anybody else's.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return nullptr;
    return std::unique_ptr<Library>(new Library(handle));
}

Library::~Library() {
    dlclose(handle_);
}

void* Library::Symbol(const char* name) const {
    return dlsym(handle_, name);
}

}  // namespace platform::library
