// A private home for one mail test: the registry hive and the desktop's settings live below it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace mail::test {

// A fresh folder whose "config" and "data" folders are XDG_CONFIG_HOME and XDG_DATA_HOME;
// removed when it goes.
class TempHome {
public:
    TempHome() {
        const char* base = ::getenv("TMPDIR");
        std::string pattern = (base != nullptr && *base != '\0' ? base : "/tmp");
        pattern += "/korvex-mail-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        root_ = pattern;
        for (const char* name : {"config", "data"})
            std::filesystem::create_directories(root_ / name);
        ::setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
    }
    ~TempHome() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::filesystem::path& Root() const { return root_; }

private:
    std::filesystem::path root_;
};

}  // namespace mail::test
