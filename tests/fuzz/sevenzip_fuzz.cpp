// Listing and extracting any bytes as a 7z archive through the real 7-Zip engine.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "archive/SevenZipCom.h"
#include "archive/SevenZipVCL.h"
#include "tests/fuzz/FuzzFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvex::fuzz;
    // Loading the engine once keeps the runs about the archive.
    static const auto sevenZip = [] {
        auto component = std::make_unique<archive::TSevenZip>(KORVEX_7Z_ENGINE);
        component->ExtractOptions = {archive::ExtractOptsEnum::ExtractNoPath,
                                     archive::ExtractOptsEnum::ExtractOverwrite};
        return component;
    }();
    const auto input = WriteInput(data, size);
    // The name decides nothing but how the component looks for the archive: a plain 7z.
    const auto archivePath = WorkFolder() / "input.7z";
    std::filesystem::rename(input, archivePath);
    const auto out = WorkFolder() / "out";
    sevenZip->SZFileName = archive::Widen(archivePath.string());
    sevenZip->ExtrBaseDir = archive::Widen(out.string());
    if (sevenZip->ListItems() > 0) {
        sevenZip->FileList.clear();
        sevenZip->ExtractItems(false);
    }
    CheckAndEmpty(out);
    return 0;
}
