#include "app/ProgramPaths.h"

namespace app {

ProgramPaths PathsFor(const std::string& temp) {
    std::string withSlash = temp;
    if (withSlash.empty() || withSlash.back() != '/') withSlash += '/';
    std::string withoutSlash = temp;
    if (!withoutSlash.empty() && withoutSlash.back() == '/') withoutSlash.pop_back();
    return {withSlash + "Korvex.dll", withSlash + "7za.dll", withoutSlash + "/Video"};
}

}  // namespace app
