#include "tests/support/virtual_display.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace korvex::test {

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { Close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    void Close() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

  private:
    int fd_;
};

class SpawnActions {
  public:
    SpawnActions() { posix_spawn_file_actions_init(&actions_); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
    posix_spawn_file_actions_t* get() { return &actions_; }

  private:
    posix_spawn_file_actions_t actions_;
};

// Reads the display number that Xvfb writes (a line) once it accepts connections.
std::string ReadDisplayNumber(int fd) {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    while (text.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) throw std::runtime_error("Xvfb gave no display number in time");
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) continue;
        char buffer[32];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("Xvfb exited before it was ready");
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text.substr(0, text.find('\n'));
}

}  // namespace

XcbConnection ConnectTo(const std::string& display) {
    XcbConnection c(xcb_connect(display.c_str(), nullptr));
    if (xcb_connection_has_error(c.get()))
        throw std::runtime_error("cannot connect to display " + display);
    return c;
}

xcb_screen_t* DefaultScreen(xcb_connection_t* c) {
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data;
}

void Sync(xcb_connection_t* c) {
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

VirtualDisplay::VirtualDisplay(const DisplayOptions& options) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    constexpr int kDisplayFd = 3;
    Fd readEnd(fds[0]);
    // dup2 onto its own number would leave close-on-exec set, so the write end must not be 3.
    Fd writeEnd(fds[1] == kDisplayFd ? fcntl(fds[1], F_DUPFD_CLOEXEC, kDisplayFd + 1) : fds[1]);
    if (fds[1] == kDisplayFd) close(fds[1]);
    if (writeEnd.get() < 0) throw std::runtime_error("cannot move the pipe's write end");
    SpawnActions actions;
    posix_spawn_file_actions_adddup2(actions.get(), writeEnd.get(), kDisplayFd);
    posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(actions.get(), STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    std::vector<std::string> args = {"Xvfb",
                                     "-displayfd",
                                     std::to_string(kDisplayFd),
                                     "-screen",
                                     "0",
                                     std::to_string(options.width) + "x" +
                                         std::to_string(options.height) + "x" +
                                         std::to_string(options.depth),
                                     "-nolisten",
                                     "tcp",
                                     "-noreset"};
    args.insert(args.end(), options.extraArguments.begin(), options.extraArguments.end());
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    if (posix_spawnp(&pid_, "Xvfb", actions.get(), nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start Xvfb");
    writeEnd.Close();

    try {
        name_ = ":" + ReadDisplayNumber(readEnd.get());
        ConnectTo(name_);
    } catch (...) {
        Stop();
        throw;
    }
    if (const char* display = std::getenv("DISPLAY")) previousDisplay_ = display;
    setenv("DISPLAY", name_.c_str(), 1);
}

VirtualDisplay::~VirtualDisplay() {
    if (previousDisplay_)
        setenv("DISPLAY", previousDisplay_->c_str(), 1);
    else
        unsetenv("DISPLAY");
    Stop();
}

void VirtualDisplay::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}

}  // namespace korvex::test
