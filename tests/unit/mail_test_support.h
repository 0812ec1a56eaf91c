// A private home for one mail test: the registry hive and the desktop's settings live below it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace mail::test {

// A fresh folder whose "config" and "data" folders are XDG_CONFIG_HOME and XDG_DATA_HOME while
// it lives; removed, and the previous values restored, when it goes.
class TempHome {
public:
    TempHome() {
        const char* base = ::getenv("TMPDIR");
        std::string pattern =
            (std::filesystem::path(base != nullptr && *base != '\0' ? base : "/tmp") /
             "korvex-mail-XXXXXX")
                .string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        Set("XDG_CONFIG_HOME", savedConfig_, root_ / "config");
        Set("XDG_DATA_HOME", savedData_, root_ / "data");
    }
    ~TempHome() {
        Restore("XDG_CONFIG_HOME", savedConfig_);
        Restore("XDG_DATA_HOME", savedData_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::filesystem::path& Root() const { return root_; }

private:
    struct Saved {
        bool was = false;
        std::string value;
    };
    static void Set(const char* name, Saved& saved, const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        if (const char* value = ::getenv(name)) saved = {true, value};
        ::setenv(name, folder.c_str(), 1);
    }
    static void Restore(const char* name, const Saved& saved) {
        if (saved.was) {
            ::setenv(name, saved.value.c_str(), 1);
        } else {
            ::unsetenv(name);
        }
    }

    std::filesystem::path root_;
    Saved savedConfig_, savedData_;
};

}  // namespace mail::test
