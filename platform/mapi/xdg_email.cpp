#include "platform/mapi/xdg_email.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <system_error>
#include <thread>

extern char** environ;

namespace platform::mapi {

namespace {

bool Filled(const char* text) {
    return text != nullptr && *text != '\0';
}

const char* RecipientOption(ULONG recipClass) {
    switch (recipClass) {
        case MAPI_TO:
            return "--to";
        case MAPI_CC:
            return "--cc";
        case MAPI_BCC:
            return "--bcc";
        default:
            return nullptr;
    }
}

// Appends the recipients; a result code when one of them cannot be passed.
ULONG AddRecipients(const MapiMessage& message, std::vector<std::string>& args) {
    if (message.nRecipCount != 0 && message.lpRecips == nullptr) return MAPI_E_INVALID_MESSAGE;
    for (ULONG i = 0; i < message.nRecipCount; ++i) {
        const MapiRecipDesc& recip = message.lpRecips[i];
        const char* option = RecipientOption(recip.ulRecipClass);
        if (option == nullptr) return MAPI_E_BAD_RECIPTYPE;
        const char* address = Filled(recip.lpszAddress) ? recip.lpszAddress : recip.lpszName;
        if (!Filled(address)) continue;
        args.insert(args.end(), {option, address});
    }
    return SUCCESS_SUCCESS;
}

// Appends the attachments as absolute paths: xdg-email would resolve a relative one against
// its own working folder, and an absolute one never looks like an option.
ULONG AddAttachments(const MapiMessage& message, std::vector<std::string>& args) {
    if (message.nFileCount != 0 && message.lpFiles == nullptr) return MAPI_E_INVALID_MESSAGE;
    for (ULONG i = 0; i < message.nFileCount; ++i) {
        const char* path = message.lpFiles[i].lpszPathName;
        if (!Filled(path)) return MAPI_E_ATTACHMENT_NOT_FOUND;
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(path, error);
        if (error) return MAPI_E_ATTACHMENT_NOT_FOUND;
        args.insert(args.end(), {"--attach", absolute.string()});
    }
    return SUCCESS_SUCCESS;
}

class SpawnActions {
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

// The child's wait status once it has ended within the wait.
std::optional<int> WaitForChild(pid_t pid, std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) return status;
        if (done < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

Arguments XdgEmailArguments(const MapiMessage& message) {
    Arguments result;
    result.args.push_back("--utf8");
    if (Filled(message.lpszSubject))
        result.args.insert(result.args.end(), {"--subject", message.lpszSubject});
    if (Filled(message.lpszNoteText))
        result.args.insert(result.args.end(), {"--body", message.lpszNoteText});
    result.refusal = AddRecipients(message, result.args);
    if (result.refusal == SUCCESS_SUCCESS) result.refusal = AddAttachments(message, result.args);
    return result;
}

ULONG ResultOfExit(int status) {
    switch (status) {
        case 0:
            return SUCCESS_SUCCESS;
        case 2:
            return MAPI_E_ATTACHMENT_NOT_FOUND;
        case 3:
            return MAPI_E_LOGIN_FAILURE;
        case 5:
            return MAPI_E_ATTACHMENT_OPEN_FAILURE;
        default:
            return MAPI_E_FAILURE;
    }
}

std::optional<int> RunProgram(const std::filesystem::path& program,
                              const std::vector<std::string>& args,
                              std::chrono::milliseconds wait) {
    std::vector<char*> argv;
    std::string name = program.string();
    argv.push_back(name.data());
    std::vector<std::string> copies(args);
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);

    // Nothing to read: a text-mode handler must not take over the program's terminal. The mail
    // program may outlive us; it must not hold our files (an archive, the instance lock) open.
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1);
    pid_t pid = -1;
    if (::posix_spawn(&pid, name.c_str(), actions.get(), nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    const std::optional<int> status = WaitForChild(pid, wait);
    if (!status) {
        std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
        return std::nullopt;
    }
    return *status >= 0 && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

std::optional<std::filesystem::path> FindInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string_view rest = path != nullptr ? path : "";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::filesystem::path dir(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        // A relative entry would run whatever the current folder holds.
        if (!dir.is_absolute()) continue;
        const std::filesystem::path candidate = dir / name;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::nullopt;
}

}  // namespace platform::mapi
