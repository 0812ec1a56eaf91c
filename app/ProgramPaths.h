// Where the program keeps its files, all derived from the TEMP folder.
#pragma once

#include <string>

namespace app {

struct ProgramPaths {
    std::string HookLibraryPath;    // TEMP + "/Korvex.dll"
    std::string ArchiveEnginePath;  // TEMP + "/7za.dll"
    std::string VideoFolder;        // TEMP without trailing "/" + "/Video"
};

ProgramPaths PathsFor(const std::string& temp);

}  // namespace app
