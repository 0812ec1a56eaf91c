#include "platform/shell/shell.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <thread>
#include <vector>

extern char** environ;

namespace platform::shell {

namespace {

// xdg-open as a child of ours, its input from /dev/null; -1 when it cannot be started.
pid_t StartXdgOpen(const std::string& path) {
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    std::string program = "xdg-open";
    std::vector<char*> argv{program.data(), const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = -1;
    const int failed = ::posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    return failed != 0 ? -1 : pid;
}

bool FoundNoProgram(int status) {
    return WIFEXITED(status) && WEXITSTATUS(status) == kNoMethodAvailable;
}

}  // namespace

void OpenDocument(const std::string& path, std::function<void()> onNoProgram) {
    const pid_t pid = StartXdgOpen(path);
    if (pid < 0) {
        QMetaObject::invokeMethod(qApp, std::move(onNoProgram), Qt::QueuedConnection);
        return;
    }
    // Its end is watched from the event loop, so nothing waits for a player that plays on.
    const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidfd < 0) {
        std::thread([pid] { ::waitpid(pid, nullptr, 0); }).detach();
        return;
    }
    auto* notifier = new QSocketNotifier(pidfd, QSocketNotifier::Read, qApp);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [notifier, pid, pidfd, onNoProgram = std::move(onNoProgram)] {
                         notifier->setEnabled(false);
                         int status = 0;
                         const bool ended = ::waitpid(pid, &status, WNOHANG) == pid;
                         notifier->deleteLater();
                         ::close(pidfd);
                         if (ended && FoundNoProgram(status)) onNoProgram();
                     });
}

}  // namespace platform::shell
