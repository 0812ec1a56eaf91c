// Shared by the mail tests: a private home for the registry hive and the desktop's settings, and
// the fields of the mailto address a mail program is started with.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

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

inline int FromHex(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

inline std::string PercentDecoded(const std::string& text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            decoded += static_cast<char>(FromHex(text[i + 1]) * 16 + FromHex(text[i + 2]));
            i += 2;
        } else {
            decoded += text[i];
        }
    }
    return decoded;
}

using Fields = std::map<std::string, std::vector<std::string>>;

// The fields of a mailto address, percent-decoded, by name in order of appearance.
inline Fields MailtoFields(const std::string& address) {
    Fields fields;
    std::istringstream query(address.substr(address.find('?') + 1));
    std::string field;
    while (std::getline(query, field, '&')) {
        const std::size_t equals = field.find('=');
        fields[field.substr(0, equals)].push_back(PercentDecoded(field.substr(equals + 1)));
    }
    return fields;
}

}  // namespace mail::test
