#include "app/VideoNames.h"

#include <cstdio>

#include "platform/files/files.h"

namespace app {

namespace {

bool BlankOrControl(unsigned char c) {
    return c <= 0x20 || c == 0x7F;
}

bool EndsWithAvi(const std::string& text) {
    return text.size() >= 4 && platform::files::AsciiLower(text.substr(text.size() - 4)) == ".avi";
}

}  // namespace

bool AcceptedNameChar(char32_t c) {
    if (c == 8 || c == ' ' || c == '-' || c == '_') return true;
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
    switch (c) {
        case U'Ä':
        case U'Ö':
        case U'Ü':
        case U'ä':
        case U'ö':
        case U'ü':
        case U'ß':
            return true;
        default:
            return false;
    }
}

std::string TrimName(const std::string& text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && BlankOrControl(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && BlankOrControl(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

std::string RecordingName(const std::string& text) {
    std::string kept;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || u < 0x20 || u == 0x7F) continue;
        kept += c;
    }
    std::size_t lead = 0;
    while (lead < kept.size() && (kept[lead] == '.' || kept[lead] == ' ')) ++lead;
    return TrimName(kept.substr(lead));
}

std::string ListName(const std::string& fileName) {
    std::string result;
    const std::string lower = platform::files::AsciiLower(fileName);
    for (std::size_t i = 0; i < fileName.size();) {
        if (lower.compare(i, 4, ".avi") == 0) {
            i += 4;
        } else {
            result += fileName[i++];
        }
    }
    return result;
}

RecordingFiles RecordingFilesFor(const std::string& folder, const std::string& name) {
    const std::string base =
        folder + "/" + (EndsWithAvi(name) ? name.substr(0, name.size() - 4) : name);
    return {EndsWithAvi(name) ? folder + "/" + name : base + ".avi", base + ".zip", base + ".7z"};
}

std::string ComboHint(const std::string& text, const std::string& contextLine,
                      const std::string& selectLine) {
    return text.empty() ? selectLine : text + "\r\n" + contextLine;
}

std::string ElapsedCaption(std::uint32_t seconds) {
    char caption[8];
    std::snprintf(caption, sizeof caption, "%02u:%02u", (seconds / 60) % 60, seconds % 60);
    return caption;
}

bool EnoughSpace(std::optional<std::uint64_t> freeBytes, std::uint64_t thresholdMiB) {
    if (!freeBytes) return true;
    return *freeBytes / 1048576 > thresholdMiB;
}

}  // namespace app
