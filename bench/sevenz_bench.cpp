// Packs a recording-like file with TSevenZip and with `7z a -mx5`, each in a child process of
// its own, and prints time, archive size and the child's peak memory for each file size.
// Usage: korvex_sevenz_bench [MiB ...]   (default: 50 200)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/SevenZipCom.h"
#include "archive/SevenZipVCL.h"

namespace fs = std::filesystem;

namespace {

// Frames of a screen recording as a codec leaves them: long runs that repeat from frame to
// frame with small changes, and a share of bytes that do not compress.
void WriteRecording(const fs::path& path, std::uint64_t size) {
    std::ofstream out(path, std::ios::binary);
    std::vector<char> frame(64 * 1024);
    std::uint32_t state = 2463534242u;
    for (std::uint64_t written = 0, number = 0; written < size; ++number) {
        for (std::size_t i = 0; i < frame.size(); ++i) {
            if (i % 4096 < 1024) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                frame[i] = static_cast<char>(state);
            } else {
                frame[i] = static_cast<char>((i / 64 + number / 25) & 0x3F);
            }
        }
        const auto piece =
            static_cast<std::streamsize>(std::min<std::uint64_t>(frame.size(), size - written));
        out.write(frame.data(), piece);
        written += static_cast<std::uint64_t>(piece);
    }
}

struct Measurement {
    double seconds = 0;
    long peakKiB = 0;
    bool ok = false;
};

// Runs work in a child process: its wall time, peak resident memory and success.
Measurement InChild(const std::function<int()>& work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) _exit(work());
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return {elapsed.count(), usage.ru_maxrss, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

int PackWithComponent(const fs::path& recording, const fs::path& archivePath) {
    archive::TSevenZip zip(KORVEX_7Z_ENGINE);
    zip.AddOptions = {archive::AddOptsEnum::AddStoreOnlyFilename};
    zip.LZMACompressStrength = archive::TCompressStrength::NORMAL;
    zip.SZFileName = archive::Widen(archivePath.string());
    zip.FileList = {archive::Widen(recording.string())};
    return zip.AddFiles() == 0 ? 0 : 1;
}

int PackWith7z(const fs::path& recording, const fs::path& archivePath) {
    freopen("/dev/null", "w", stdout);
    execlp("7z", "7z", "a", "-mx5", "-bd", "-y", archivePath.c_str(), recording.c_str(),
           static_cast<char*>(nullptr));
    return 127;
}

void Report(const char* who, std::uint64_t mib, const Measurement& m, const fs::path& archivePath) {
    std::error_code error;
    const auto size = fs::file_size(archivePath, error);
    std::printf("%-12s %6llu MiB  %7.2f s  %12llu bytes  %5.1f %%  peak %7.1f MiB  %s\n", who,
                static_cast<unsigned long long>(mib), m.seconds,
                static_cast<unsigned long long>(error ? 0 : size),
                error ? 0.0 : 100.0 * static_cast<double>(size) / static_cast<double>(mib << 20),
                static_cast<double>(m.peakKiB) / 1024.0, m.ok ? "ok" : "FAILED");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::uint64_t> sizes;
    for (int i = 1; i < argc; ++i) {
        char* end = nullptr;
        const std::uint64_t mib = std::strtoull(argv[i], &end, 10);
        if (mib == 0 || *end != '\0') {
            std::fprintf(
                stderr, "usage: %s [MiB ...]   (sizes of the recordings packed; default: 50 200)\n",
                argv[0]);
            return argv[i] == std::string_view("--help") ? 0 : 2;
        }
        sizes.push_back(mib);
    }
    if (sizes.empty()) sizes = {50, 200};
    std::string pattern = (fs::temp_directory_path() / "korvex-7z-bench-XXXXXX").string();
    const fs::path folder = mkdtemp(pattern.data());
    std::printf("7z packing at level 5: TSevenZip beside 7z a -mx5, same engine, same file\n");
    for (const std::uint64_t mib : sizes) {
        const fs::path recording = folder / "Demo.avi";
        WriteRecording(recording, mib << 20);
        const fs::path ours = folder / "ours.7z";
        const fs::path theirs = folder / "theirs.7z";
        Report("TSevenZip", mib, InChild([&] { return PackWithComponent(recording, ours); }), ours);
        Report("7z a -mx5", mib, InChild([&] { return PackWith7z(recording, theirs); }), theirs);
        fs::remove(ours);
        fs::remove(theirs);
    }
    fs::remove_all(folder);
    return 0;
}
