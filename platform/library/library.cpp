#include "platform/library/library.h"

#include <dlfcn.h>

#include <string>

#include "platform/files/files.h"

namespace platform::library {

std::unique_ptr<Library> Library::Load(const std::filesystem::path& path) {
    // Code is taken only from a file that nobody but this user (or root) can have put there.
    // Loading through the checked descriptor leaves no moment to swap the file.
    files::Descriptor file = files::OpenTrustedFile(path);
    if (!file) return nullptr;
    const std::string checked = "/proc/self/fd/" + std::to_string(file.Get());
    // RTLD_LOCAL keeps the library's own symbols (the 7z engine exports Windows-style names)
    // from resolving anybody else's.
    void* handle = dlopen(checked.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return nullptr;
    return std::unique_ptr<Library>(new Library(handle, std::move(file)));
}

Library::~Library() {
    dlclose(handle_);
}

void* Library::Symbol(const char* name) const {
    return dlsym(handle_, name);
}

}  // namespace platform::library
