#include "tests/support/program.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
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

std::string WaitForWindow(const std::string& titlePattern) {
    std::string found;
    WaitUntil([&] {
        const auto ids = FindWindows(titlePattern);
        if (!ids.empty()) found = ids.front();
        return !ids.empty();
    });
    return found;
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

Geometry WindowGeometry(const std::string& window) {
    const auto r = RunCommand("xdotool getwindowgeometry --shell " + window);
    auto value = [&](const char* key) {
        std::smatch m;
        const std::regex re(std::string(key) + "=(-?[0-9]+)");
        return std::regex_search(r.output, m, re) ? std::stoi(m[1]) : -1;
    };
    return {value("X"), value("Y"), value("WIDTH"), value("HEIGHT")};
}

void ClickAt(const std::string& window, int x, int y, int button) {
    RunCommand("xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
               std::to_string(y) + " click " + std::to_string(button));
}

std::filesystem::path ProgramBinary() {
    const char* build = std::getenv("KORVEX_BUILD_DIR");
    return std::filesystem::path(build ? build : ".") / "app" / "korvex";
}

Program::Program(const std::filesystem::path& binary, const std::filesystem::path& home,
                 const std::string& locale, const Environment& environment,
                 const std::vector<std::string>& arguments) {
    std::filesystem::create_directories(home);
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        setenv("TEMP", home.c_str(), 1);
        setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        setenv("LC_ALL", locale.c_str(), 1);
        for (const auto& [name, value] : environment) {
            if (value.empty()) {
                unsetenv(name.c_str());
            } else {
                setenv(name.c_str(), value.c_str(), 1);
            }
        }
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
}

Program::~Program() {
    if (Running()) {
        kill(pid_, SIGKILL);
        WaitForExit();
    }
}

void Program::Signal(int signal) {
    if (Running()) kill(pid_, signal);
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
