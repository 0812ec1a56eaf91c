#include "platform/process/process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/files/files.h"

extern char** environ;

namespace platform::process {

namespace files = platform::files;

namespace {

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
    files::Descriptor readEnd(ends[0]);
    files::Descriptor writeEnd(ends[1]);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    const pid_t pid = Spawn(program, args, writeEnd.Get());
    writeEnd = files::Descriptor();
    if (pid < 0) return std::nullopt;
    std::string text;
    const bool whole = ReadAll(readEnd.Get(), deadline, text);
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

}  // namespace platform::process
