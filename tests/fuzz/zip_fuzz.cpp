// The ZIP directory reader and the play-back extraction of a chosen archive, on any bytes.
#include <cstddef>
#include <cstdint>

#include "archive/KAZipFile.h"
#include "archive/ZipDirectory.h"
#include "archive/ZipExtract.h"
#include "tests/fuzz/FuzzFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvex::fuzz;
    const auto input = WriteInput(data, size);
    try {
        const TKAZipFile file = TKAZipFile::Open(input, TKAZipFile::Access::Read);
        ReadZipDirectory(file);
    } catch (const EKAZipError&) {
    }
    const auto out = WorkFolder() / "out";
    ExtractTopLevelVideos(input, out);
    CheckAndEmpty(out);
    return 0;
}
