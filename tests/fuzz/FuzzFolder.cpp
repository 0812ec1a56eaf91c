#include "tests/fuzz/FuzzFolder.h"

#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace fs = std::filesystem;

namespace korvex::fuzz {

namespace {

constexpr rlim_t kLargestFile = rlim_t{64} << 20;

fs::path MakeFolder() {
    // A write past the bound fails with EFBIG instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kLargestFile, kLargestFile};
    setrlimit(RLIMIT_FSIZE, &limit);
    fs::path folder;
    if (const char* given = std::getenv("KORVEX_FUZZ_WORK")) {
        folder = given;
    } else {
        std::string pattern = (fs::temp_directory_path() / "korvex-fuzz.XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        folder = pattern;
    }
    fs::create_directories(folder / "out");
    fs::permissions(folder, fs::perms::owner_all);
    return folder;
}

}  // namespace

const fs::path& WorkFolder() {
    static const fs::path folder = MakeFolder();
    return folder;
}

fs::path WriteInput(const std::uint8_t* data, std::size_t size) {
    const fs::path input = WorkFolder() / "input";
    std::ofstream(input, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return input;
}

void CheckAndEmpty(const fs::path& out) {
    for (const auto& entry : fs::directory_iterator(out)) {
        if (!entry.is_regular_file() || entry.is_symlink()) {
            std::fprintf(stderr, "not a plain file in the output folder: %s\n",
                         entry.path().c_str());
            std::abort();
        }
        fs::remove(entry.path());
    }
}

}  // namespace korvex::fuzz
