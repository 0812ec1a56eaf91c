#include "platform/mapi/thunderbird.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/mapi/xdg_email.h"
#include "platform/process/process.h"

namespace platform::mapi {

namespace fs = std::filesystem;

namespace {

bool Filled(const char* text) {
    return text != nullptr && *text != '\0';
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// XDG_DATA_HOME, then XDG_DATA_DIRS, with their defaults.
std::vector<fs::path> DataFolders() {
    std::vector<fs::path> folders;
    const char* home = std::getenv("XDG_DATA_HOME");
    const char* user = std::getenv("HOME");
    if (Filled(home)) {
        folders = process::AbsoluteFolders(home);
    } else if (Filled(user)) {
        folders = process::AbsoluteFolders((fs::path(user) / ".local/share").string());
    }
    const char* system = std::getenv("XDG_DATA_DIRS");
    for (fs::path& folder :
         process::AbsoluteFolders(Filled(system) ? system : "/usr/local/share:/usr/share"))
        folders.push_back(std::move(folder));
    return folders;
}

// The file of a desktop entry id: "applications/<id>", or below a subfolder for the part of the
// id before a dash ("foo-bar.desktop" in "applications/foo/bar.desktop").
std::optional<fs::path> DesktopFile(const std::string& id) {
    if (id.empty() || id.find('/') != std::string::npos || id.front() == '.') return std::nullopt;
    for (const fs::path& folder : DataFolders()) {
        std::vector<fs::path> candidates{folder / "applications" / id};
        for (std::size_t dash = id.find('-'); dash != std::string::npos;
             dash = id.find('-', dash + 1))
            candidates.push_back(folder / "applications" / id.substr(0, dash) /
                                 id.substr(dash + 1));
        for (const fs::path& file : candidates) {
            std::error_code error;
            if (fs::is_regular_file(file, error)) return file;
        }
    }
    return std::nullopt;
}

// The program that the Exec key of the entry's main group names: its first word, which may be
// in double quotes with backslash escapes.
std::optional<std::string> ExecProgram(const fs::path& desktopFile) {
    std::ifstream in(desktopFile);
    bool mainGroup = false;
    for (std::string line; std::getline(in, line);) {
        const std::string_view text = Trimmed(line);
        if (text.starts_with('[')) mainGroup = text == "[Desktop Entry]";
        const std::size_t equals = text.find('=');
        if (!mainGroup || equals == std::string_view::npos ||
            Trimmed(text.substr(0, equals)) != "Exec")
            continue;
        const std::string_view value = Trimmed(text.substr(equals + 1));
        if (!value.starts_with('"'))
            return std::string(value.substr(0, value.find_first_of(" \t")));
        std::string program;
        for (std::size_t i = 1; i < value.size() && value[i] != '"'; ++i)
            program += value[value[i] == '\\' && i + 1 < value.size() ? ++i : i];
        return program;
    }
    return std::nullopt;
}

bool NamesThunderbird(const fs::path& program) {
    const std::string name = program.filename().string();
    return name.find("thunderbird") != std::string::npos ||
           name.find("icedove") != std::string::npos;
}

// text with every byte but the unreserved ones (letters, digits, "-._~") as %XX; with keepSlash,
// "/" stays too.
std::string PercentEncoded(std::string_view text, bool keepSlash) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                           c == '~' || (keepSlash && c == '/');
        if (plain) {
            encoded += c;
        } else {
            encoded += {'%', kHex[byte >> 4], kHex[byte & 0xF]};
        }
    }
    return encoded;
}

// The attachment as xdg-email checks it: it must exist and be readable, and is then named by
// the regular file it leads to.
ULONG ResolveAttachment(const fs::path& path, fs::path& file) {
    std::error_code error;
    if (!fs::exists(path, error)) return MAPI_E_ATTACHMENT_NOT_FOUND;
    if (::access(path.c_str(), R_OK) != 0) return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    file = fs::canonical(path, error);
    if (error || !fs::is_regular_file(file, error)) return MAPI_E_ATTACHMENT_NOT_FOUND;
    return SUCCESS_SUCCESS;
}

struct ComposeArgument {
    std::string fields;
    ULONG refusal = SUCCESS_SUCCESS;
};

ComposeArgument ComposeFields(const MapiMessage& message) {
    ComposeArgument result;
    std::array<std::string, 4> recipients;  // indexed by MAPI_TO, MAPI_CC and MAPI_BCC
    result.refusal = ForEachRecipient(message, [&](ULONG recipClass, const char* text) {
        std::string& list = recipients.at(recipClass);
        list += list.empty() ? text : std::string(",") + text;
    });
    std::string urls;
    if (result.refusal == SUCCESS_SUCCESS) {
        result.refusal = ForEachAttachment(message, [&](const fs::path& path) {
            fs::path file;
            if (const ULONG refusal = ResolveAttachment(path, file); refusal != SUCCESS_SUCCESS)
                return refusal;
            if (!urls.empty()) urls += ',';
            urls += "file://" + PercentEncoded(file.string(), true);
            return SUCCESS_SUCCESS;
        });
    }
    if (result.refusal != SUCCESS_SUCCESS) return result;

    const auto add = [&](std::string_view name, std::string_view value) {
        if (value.empty()) return;
        if (!result.fields.empty()) result.fields += ',';
        result.fields.append(name).append("=").append(value);
    };
    add("to", PercentEncoded(recipients[MAPI_TO], false));
    add("cc", PercentEncoded(recipients[MAPI_CC], false));
    add("bcc", PercentEncoded(recipients[MAPI_BCC], false));
    add("subject", PercentEncoded(Filled(message.lpszSubject) ? message.lpszSubject : "", false));
    add("body", PercentEncoded(Filled(message.lpszNoteText) ? message.lpszNoteText : "", false));
    if (!urls.empty()) add("attachment", "'" + urls + "'");
    return result;
}

}  // namespace

std::optional<fs::path> MailtoThunderbird(std::chrono::milliseconds wait) {
    if (Filled(std::getenv("MAILER")) || process::FindInPath("xdg-email-hook.sh"))
        return std::nullopt;
    const std::optional<fs::path> xdgMime = process::FindInPath("xdg-mime");
    if (!xdgMime) return std::nullopt;
    const std::optional<std::string> answer =
        process::ReadOutput(*xdgMime, {"query", "default", "x-scheme-handler/mailto"}, wait);
    if (!answer) return std::nullopt;
    const std::string_view id = Trimmed(std::string_view(*answer).substr(0, answer->find('\n')));
    const std::optional<fs::path> desktopFile = DesktopFile(std::string(id));
    const std::optional<std::string> command =
        desktopFile ? ExecProgram(*desktopFile) : std::nullopt;
    if (!command || command->empty()) return std::nullopt;
    const std::optional<fs::path> program = command->find('/') == std::string::npos
                                                ? process::FindInPath(*command)
                                                : fs::path(*command);
    if (!program || !program->is_absolute() || !process::Executable(*program)) return std::nullopt;
    // A link such as /usr/bin/thunderbird is run as it is, but may be named after its target.
    std::error_code error;
    const fs::path target = fs::canonical(*program, error);
    if (NamesThunderbird(*program) || (!error && NamesThunderbird(target))) return program;
    return std::nullopt;
}

ULONG ComposeInThunderbird(const fs::path& thunderbird, const MapiMessage& message,
                           std::chrono::milliseconds wait) {
    const ComposeArgument compose = ComposeFields(message);
    if (compose.refusal != SUCCESS_SUCCESS) return compose.refusal;
    const std::optional<int> status =
        process::RunProgram(thunderbird, {"-compose", compose.fields}, wait);
    return !status || *status == 0 ? SUCCESS_SUCCESS : MAPI_E_FAILURE;
}

}  // namespace platform::mapi
