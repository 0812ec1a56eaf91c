// Starting the real program as a user would, with its own TEMP and runtime folder, and finding
// its windows with xdotool.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvex::test {

// Polls cond every 20 ms until it holds; false after the timeout.
bool WaitUntil(const std::function<bool()>& cond,
               std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Visible windows whose title matches the regular expression, as xdotool finds them.
std::vector<std::string> FindWindows(const std::string& titlePattern);

// The first visible window whose title matches, once there is one; empty after the timeout.
std::string WaitForWindow(const std::string& titlePattern);

// Whether some process holds the file open (a recording still being finished).
bool FileHeldOpen(const std::filesystem::path& path);

// Waits until the file exists and no process holds it open any more.
bool WaitUntilWritten(const std::filesystem::path& path,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20));

// Environment variables set (or, with an empty value, unset) after the program's defaults.
using Environment = std::vector<std::pair<std::string, std::string>>;

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};
// Where a window is and how large, as xdotool reports it; -1 for what it cannot tell.
Geometry WindowGeometry(const std::string& window);
// A click with the given mouse button at (x, y) of the window.
void ClickAt(const std::string& window, int x, int y, int button = 1);

class Program {
public:
    // Starts the program binary with TEMP, XDG_RUNTIME_DIR and XDG_CONFIG_HOME under home
    // (created if needed) and the locale given, German unless a test asks for another, passing
    // it the arguments given.
    Program(const std::filesystem::path& binary, const std::filesystem::path& home,
            const std::string& locale = "de_DE.UTF-8", const Environment& environment = {},
            const std::vector<std::string>& arguments = {});
    ~Program();  // kills the program if it still runs
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The exit status once the program has ended within the timeout.
    std::optional<int> WaitForExit(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    bool Running();
    pid_t Pid() const { return pid_; }
    void Signal(int signal);

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// The program as built: $KORVEX_BUILD_DIR/app/korvex.
std::filesystem::path ProgramBinary();

}  // namespace korvex::test
