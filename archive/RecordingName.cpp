#include "archive/RecordingName.h"

#include <string>

#include "platform/files/files.h"

namespace archive {

bool IsTopLevelRecording(std::string_view name) {
    constexpr std::string_view kExtension = ".avi";
    if (name.find_first_of(std::string_view("/\\:\0", 4)) != std::string_view::npos) return false;
    return name.size() > kExtension.size() &&
           platform::files::EqualsIgnoringAsciiCase(name.substr(name.size() - kExtension.size()),
                                                    kExtension);
}

}  // namespace archive
