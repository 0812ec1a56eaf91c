// Shared by the 7z bridge's tests: a private folder, files of known bytes, and a component over
// the real engine that records its error messages.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/SevenZipCom.h"
#include "archive/SevenZipVCL.h"

namespace sevenzip_test {

namespace fs = std::filesystem;

// A fresh folder under the temporary folder, removed again at the end.
class Sandbox {
public:
    Sandbox() {
        std::string pattern = (fs::temp_directory_path() / "korvex-7z-XXXXXX").string();
        root_ = mkdtemp(pattern.data());
    }
    ~Sandbox() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;
    const fs::path& root() const { return root_; }
    fs::path operator/(const std::string& name) const { return root_ / name; }

private:
    fs::path root_;
};

inline void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Bytes that compress a little, like a recording: repeated rows with a counter in them.
inline std::string RecordingBytes(std::size_t size, int seed) {
    std::string bytes;
    bytes.reserve(size);
    for (std::size_t i = 0; bytes.size() < size; ++i) {
        bytes += "RIFF frame " + std::to_string(i * 7919 + static_cast<std::size_t>(seed)) + " ";
    }
    bytes.resize(size);
    return bytes;
}

inline std::wstring W(const fs::path& path) {
    return archive::Widen(path.string());
}

// Names of everything below folder, relative to it, sorted.
inline std::vector<std::string> Tree(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        names.push_back(fs::relative(entry.path(), folder).string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The component over the engine the build carries, with the main window's settings.
struct Component {
    Component() : zip(KORVEX_7Z_ENGINE) {
        zip.AddOptions = {archive::AddOptsEnum::AddStoreOnlyFilename};
        zip.ExtractOptions = {archive::ExtractOptsEnum::ExtractNoPath,
                              archive::ExtractOptsEnum::ExtractOverwrite};
        zip.LZMACompressStrength = archive::TCompressStrength::NORMAL;
        zip.OnMessage = [this](archive::TSevenZip&, int code, const std::string&,
                               const std::wstring&) { messages.push_back(code); };
    }
    // Packs files into archive; the component's result.
    int Pack(const fs::path& archivePath, const std::vector<fs::path>& files) {
        zip.SZFileName = W(archivePath);
        zip.FileList.clear();
        for (const fs::path& file : files) zip.FileList.push_back(W(file));
        return zip.AddFiles();
    }
    // Extracts the entries of FileList from archive into folder; the component's result.
    int Extract(const fs::path& archivePath, const fs::path& folder,
                const std::vector<std::wstring>& entries) {
        zip.SZFileName = W(archivePath);
        zip.ExtrBaseDir = W(folder);
        zip.FileList = entries;
        return zip.ExtractItems(false);
    }

    archive::TSevenZip zip;
    std::vector<int> messages;  // error numbers, in order
};

}  // namespace sevenzip_test
