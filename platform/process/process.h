// Other programs run from this one: started without a shell, their input from /dev/null, none
// of our descriptors inherited, waited for at most a given time. Any thread.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::process {

// Runs program with args, its input from /dev/null, and waits at most wait for it: its exit
// status, -1 when it could not be started or died from a signal, or none when it still runs (it
// is then left to run and reaped in the background). Any thread.
std::optional<int> RunProgram(const std::filesystem::path& program,
                              const std::vector<std::string>& args, std::chrono::milliseconds wait);

// Runs program with args as RunProgram does and returns what it wrote to its output, or none
// when it could not be started, failed or did not finish within the wait. Any thread.
std::optional<std::string> ReadOutput(const std::filesystem::path& program,
                                      const std::vector<std::string>& args,
                                      std::chrono::milliseconds wait);

// The first absolute directory of PATH that holds an executable file of that name.
std::optional<std::filesystem::path> FindInPath(const std::string& name);

// True for a regular file that we may run.
bool Executable(const std::filesystem::path& file);

// The absolute entries of a colon-separated list of folders, in order; relative ones would
// depend on the current folder and are left out.
std::vector<std::filesystem::path> AbsoluteFolders(std::string_view list);

}  // namespace platform::process
