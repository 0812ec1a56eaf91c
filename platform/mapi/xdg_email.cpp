#include "platform/mapi/xdg_email.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

// A descriptor closed when it goes.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

// Starts program with args, its input from /dev/null and, when output is a descriptor, its
// output into it: the child's id, or -1.
pid_t Spawn(const std::filesystem::path& program, const std::vector<std::string>& args,
            int output) {
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
    if (output >= 0) ::posix_spawn_file_actions_adddup2(actions.get(), output, STDOUT_FILENO);
    ::posix_spawn_file_actions_addclosefrom_np(actions.get(), STDERR_FILENO + 1);
    pid_t pid = -1;
    if (::posix_spawn(&pid, name.c_str(), actions.get(), nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    return pid;
}

// The exit status of the child within the wait, -1 when it died from a signal, or none when it
// still runs; it is then reaped in the background.
std::optional<int> Finish(pid_t pid, std::chrono::milliseconds wait) {
    const std::optional<int> status = WaitForChild(pid, wait);
    if (!status) {
        std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
        return std::nullopt;
    }
    return *status >= 0 && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
}

// Appends what fd gives until its end or the deadline: false at the deadline or on an error.
bool ReadAll(int fd, std::chrono::steady_clock::time_point deadline, std::string& text) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) return false;
        char buffer[4096];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return got == 0;
        text.append(buffer, static_cast<std::size_t>(got));
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
    result.refusal = ForEachRecipient(message, [&](ULONG recipClass, const char* text) {
        result.args.insert(result.args.end(), {RecipientOption(recipClass), text});
    });
    if (result.refusal != SUCCESS_SUCCESS) return result;
    // Absolute paths: xdg-email would resolve a relative one against its own working folder,
    // and an absolute one never looks like an option.
    result.refusal = ForEachAttachment(message, [&](const std::filesystem::path& path) {
        result.args.insert(result.args.end(), {"--attach", path.string()});
        return SUCCESS_SUCCESS;
    });
    return result;
}

ULONG ForEachRecipient(const MapiMessage& message,
                       const std::function<void(ULONG recipClass, const char* text)>& add) {
    if (message.nRecipCount != 0 && message.lpRecips == nullptr) return MAPI_E_INVALID_MESSAGE;
    for (ULONG i = 0; i < message.nRecipCount; ++i) {
        const MapiRecipDesc& recip = message.lpRecips[i];
        if (RecipientOption(recip.ulRecipClass) == nullptr) return MAPI_E_BAD_RECIPTYPE;
        const char* text = Filled(recip.lpszAddress) ? recip.lpszAddress : recip.lpszName;
        if (Filled(text)) add(recip.ulRecipClass, text);
    }
    return SUCCESS_SUCCESS;
}

ULONG ForEachAttachment(const MapiMessage& message,
                        const std::function<ULONG(const std::filesystem::path&)>& add) {
    if (message.nFileCount != 0 && message.lpFiles == nullptr) return MAPI_E_INVALID_MESSAGE;
    for (ULONG i = 0; i < message.nFileCount; ++i) {
        const char* path = message.lpFiles[i].lpszPathName;
        if (!Filled(path)) return MAPI_E_ATTACHMENT_NOT_FOUND;
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(path, error);
        if (error) return MAPI_E_ATTACHMENT_NOT_FOUND;
        if (const ULONG refusal = add(absolute); refusal != SUCCESS_SUCCESS) return refusal;
    }
    return SUCCESS_SUCCESS;
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
    const pid_t pid = Spawn(program, args, -1);
    return pid < 0 ? std::optional<int>(-1) : Finish(pid, wait);
}

std::optional<std::string> ReadOutput(const std::filesystem::path& program,
                                      const std::vector<std::string>& args,
                                      std::chrono::milliseconds wait) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
    UniqueFd readEnd(ends[0]);
    UniqueFd writeEnd(ends[1]);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    const pid_t pid = Spawn(program, args, writeEnd.get());
    writeEnd.reset();
    if (pid < 0) return std::nullopt;
    std::string text;
    const bool whole = ReadAll(readEnd.get(), deadline, text);
    // Past the deadline the child is only reaped, without waiting further.
    const auto left = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   deadline - std::chrono::steady_clock::now()),
                               std::chrono::milliseconds(0));
    const std::optional<int> status = Finish(pid, left);
    if (!whole || status != 0) return std::nullopt;
    return text;
}

std::optional<std::filesystem::path> FindInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    for (const std::filesystem::path& dir : AbsoluteFolders(path != nullptr ? path : "")) {
        if (Executable(dir / name)) return dir / name;
    }
    return std::nullopt;
}

bool Executable(const std::filesystem::path& file) {
    struct stat info {};
    return ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(file.c_str(), X_OK) == 0;
}

std::vector<std::filesystem::path> AbsoluteFolders(std::string_view list) {
    std::vector<std::filesystem::path> folders;
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        const std::filesystem::path folder(list.substr(0, colon));
        list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
        if (folder.is_absolute()) folders.push_back(folder);
    }
    return folders;
}

}  // namespace platform::mapi
