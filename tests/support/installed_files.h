// Where an installed Korvex keeps each of its files, relative to the installation prefix, as the
// freedesktop and Debian conventions place them.
#pragma once

#include <array>
#include <filesystem>
#include <set>
#include <string>

namespace korvex::test {

inline const std::string kAppId = "io.github.korvex.Korvex";
inline constexpr std::array<int, 5> kIconSizes{16, 32, 48, 128, 256};

inline std::filesystem::path IconFile(int size) {
    const std::string folder = std::to_string(size) + 'x' + std::to_string(size);
    return "share/icons/hicolor/" + folder + "/apps/" + kAppId + ".png";
}

inline std::set<std::filesystem::path> InstalledFiles() {
    std::set<std::filesystem::path> files{
        "bin/korvex",
        "share/applications/" + kAppId + ".desktop",
        "share/metainfo/" + kAppId + ".metainfo.xml",
        "share/icons/hicolor/scalable/apps/" + kAppId + ".svg",
        "share/man/man1/korvex.1.gz",
        "share/doc/korvex/copyright",
        "share/doc/korvex/changelog.gz",
    };
    for (const int size : kIconSizes) files.insert(IconFile(size));
    return files;
}

}  // namespace korvex::test
