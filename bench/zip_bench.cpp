// Figures for packing a recording into a ZIP archive: TKAZip at level 9 beside `zip -9` on the
// same file, with the time and the peak memory of each. Options: --mib N (default 50).
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "archive/KAZip.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

extern char** environ;

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

// Screen-codec-like bytes, written a block at a time so that making them costs no memory: flat
// stretches with a few changed bytes between stretches of fine detail, about half of it
// compressible.
void WriteRecordingLike(const fs::path& path, std::size_t size) {
    std::mt19937 random(42);
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(4096);
    for (std::size_t done = 0; done < size; done += block.size()) {
        const bool flat = random() % 2 == 0;
        const char colour = static_cast<char>(random());
        for (auto& b : block) b = flat && random() % 32 != 0 ? colour : static_cast<char>(random());
        out.write(block.data(), static_cast<std::streamsize>(std::min(block.size(), size - done)));
    }
}

double PeakMiB(const rusage& usage) {
    return static_cast<double>(usage.ru_maxrss) * 1024.0 / kMiB;
}

struct Figures {
    double seconds = 0;
    double peakMiB = 0;
    double archiveMiB = 0;
};

Figures PackWithZipProgram(const fs::path& source, const fs::path& archive) {
    const std::string sourceText = source.string(), archiveText = archive.string();
    const char* argv[] = {"zip",  "-q", "-9", "-j", archiveText.c_str(), sourceText.c_str(),
                          nullptr};
    const auto start = Clock::now();
    pid_t child = 0;
    if (::posix_spawnp(&child, "zip", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        std::fprintf(stderr, "zip_bench: cannot start zip\n");
        std::exit(1);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    return {std::chrono::duration<double>(Clock::now() - start).count(), PeakMiB(usage),
            static_cast<double>(fs::file_size(archive)) / kMiB};
}

Figures PackWithKAZip(const fs::path& source, const fs::path& archive) {
    TKAZip zip;
    zip.StoreRelativePath = false;
    zip.StoreFolders = false;
    zip.SetCompressionType(TZipCompressionType::ctMaximum);
    const auto start = Clock::now();
    PackIntoZipArchive(zip, archive, source);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return {seconds, PeakMiB(usage), static_cast<double>(fs::file_size(archive)) / kMiB};
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t mib = 50;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--mib") == 0) mib = std::strtoul(argv[i + 1], nullptr, 10);
    }
    std::string folder = (fs::temp_directory_path() / "korvex-zip-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data())) {
        std::perror("zip_bench: mkdtemp");
        return 1;
    }
    const fs::path dir = folder;
    const fs::path source = dir / "Recording.avi";
    WriteRecordingLike(source, mib << 20);
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);

    // zip goes first: a child started from this process starts with this process's peak.
    const Figures theirs = PackWithZipProgram(source, dir / "theirs.zip");
    const Figures ours = PackWithKAZip(source, dir / "ours.zip");
    std::printf("packing a %zu MiB recording-like file at level 9\n", mib);
    std::printf("%-10s %10s %12s %14s\n", "", "seconds", "archive MiB", "peak RSS MiB");
    std::printf("%-10s %10.2f %12.2f %14.1f\n", "TKAZip", ours.seconds, ours.archiveMiB,
                ours.peakMiB);
    std::printf("%-10s %10.2f %12.2f %14.1f\n", "zip -9", theirs.seconds, theirs.archiveMiB,
                theirs.peakMiB);
    std::printf(
        "TKAZip holds the recording and its compressed form: %.1f MiB + %.1f MiB; "
        "peak before packing %.1f MiB\n",
        static_cast<double>(mib), ours.archiveMiB, PeakMiB(before));
    fs::remove_all(dir);
    return 0;
}
