#include "tests/support/program.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <thread>

#include "harness/media_probe.h"

namespace korvex::test {

bool WaitUntil(const std::function<bool()>& cond, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::vector<std::string> FindWindows(const std::string& titlePattern) {
    const CommandResult r =
        RunCommand("xdotool search --onlyvisible --name " + Quote(titlePattern));
    std::vector<std::string> ids;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty()) ids.push_back(line);
    }
    return ids;
}

bool FileHeldOpen(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto target = fs::weakly_canonical(path, ec);
    for (const auto& process : fs::directory_iterator("/proc", ec)) {
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd.path(), linkError) == target) return true;
        }
    }
    return false;
}

bool WaitUntilWritten(const std::filesystem::path& path, std::chrono::milliseconds timeout) {
    return WaitUntil([&] { return std::filesystem::exists(path) && !FileHeldOpen(path); }, timeout);
}

std::filesystem::path ProgramBinary() {
    const char* build = std::getenv("KORVEX_BUILD_DIR");
    return std::filesystem::path(build ? build : ".") / "app" / "korvex";
}

Program::Program(const std::filesystem::path& binary, const std::filesystem::path& home,
                 const std::string& locale) {
    std::filesystem::create_directories(home);
    pid_ = fork();
    if (pid_ == 0) {
        setenv("TEMP", home.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        setenv("LC_ALL", locale.c_str(), 1);
        execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
}

Program::~Program() {
    if (Running()) {
        kill(pid_, SIGKILL);
        WaitForExit();
    }
}

bool Program::Running() {
    if (status_ || pid_ <= 0) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        return false;
    }
    return true;
}

std::optional<int> Program::WaitForExit(std::chrono::milliseconds timeout) {
    WaitUntil([this] { return !Running(); }, timeout);
    return status_;
}

}  // namespace korvex::test
