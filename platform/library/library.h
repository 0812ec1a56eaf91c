// Loading a shared library at run time (LoadLibrary / GetProcAddress / FreeLibrary).
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/files/files.h"

namespace platform::library {

class Library {
public:
    // Loads the library at path; null when it cannot be loaded, or when it is a link or a file
    // that another user owns or can write to.
    static std::unique_ptr<Library> Load(const std::filesystem::path& path);
    ~Library();  // unloads
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // The exported symbol of exactly that name; null when there is none.
    void* Symbol(const char* name) const;

    template <typename Fn>
    Fn Function(const char* name) const {
        return reinterpret_cast<Fn>(Symbol(name));
    }

private:
    Library(void* handle, files::Descriptor file) : handle_(handle), file_(std::move(file)) {}
    void* handle_;
    // The loader knows the library by the descriptor's /proc name, so the descriptor is held
    // while it is loaded: a later library opened under the same number would otherwise be taken
    // for this one.
    files::Descriptor file_;
};

}  // namespace platform::library
