// Shared by the archive tests: a scratch folder, file bytes, and the independent ZIP readers.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "harness/media_probe.h"

namespace ziptest {

namespace fs = std::filesystem;
using korvex::test::Quote;
using korvex::test::RunCommand;

inline std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteText(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::uint32_t LittleEndian(const std::string& bytes, std::size_t at, int size) {
    std::uint32_t v = 0;
    for (int i = 0; i < size; ++i)
        v |= std::uint32_t{static_cast<unsigned char>(bytes.at(at + i))} << (8 * i);
    return v;
}

// Bytes that compress about as a screen recording does: long runs with a little noise.
inline std::string RecordingLike(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(random() % 16 == 0 ? random() : (i / 64) % 7);
    }
    return bytes;
}

// Python's zipfile: tests every entry's CRC, extracts all into folder and prints the names in
// entry order, one a line.
inline korvex::test::CommandResult PythonExtract(const fs::path& zip, const fs::path& folder) {
    return RunCommand(
        "python3 -c 'import sys,zipfile\n"
        "z=zipfile.ZipFile(sys.argv[1])\nassert z.testzip() is None\nz.extractall(sys.argv[2])\n"
        "print(\"\\n\".join(z.namelist()))' " +
            Quote(zip.string()) + " " + Quote(folder.string()),
        true);
}

// unzip's test of every entry; exit code 0 when all are sound.
inline korvex::test::CommandResult UnzipTest(const fs::path& zip) {
    return RunCommand("unzip -t " + Quote(zip.string()), true);
}

class ArchiveTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("korvex-archive-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        if (mounted_) ::umount2(disk_.c_str(), MNT_DETACH);
        fs::remove_all(dir_);
    }
    // A small tmpfs of its own, for running out of space; false (with a skip) where mounting
    // is not permitted.
    bool MountSmallDisk(const char* size) {
        disk_ = dir_ / "disk";
        fs::create_directory(disk_);
        if (::mount("tmpfs", disk_.c_str(), "tmpfs", 0, size) != 0) return false;
        mounted_ = true;
        return true;
    }

    fs::path dir_;
    fs::path disk_;
    bool mounted_ = false;
};

}  // namespace ziptest
