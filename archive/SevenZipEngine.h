// What TSevenZip holds of the loaded engine.
#pragma once

#include <memory>

#include "archive/SevenZipCom.h"
#include "archive/SevenZipVCL.h"
#include "platform/library/library.h"

namespace archive {

struct TSevenZip::Engine {
    std::unique_ptr<platform::library::Library> library;
    // Released before the library is unloaded: declared after it.
    com::ComPtr<com::IInArchive> in;
    com::ComPtr<com::IOutArchive> out;
    com::ComPtr<com::ISetProperties> properties;  // null from newer engines
};

}  // namespace archive
