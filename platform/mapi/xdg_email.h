// Running xdg-email (xdg-utils 1.1.3): its arguments for a message, starting it without a shell,
// and what its exit status means.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/mapi/mapi.h"

namespace platform::mapi {

// xdg-email's arguments for message (without the program name), or a result code when it cannot
// be expressed: MAPI_E_BAD_RECIPTYPE for a recipient that is no To, Cc or Bcc.
// Always "--utf8": without it xdg-email converts from the locale's character set, which a C
// locale turns into a failure on any non-ASCII letter. Empty texts are left out (xdg-email
// refuses "--subject ''"); so are recipients without name and address. Attachment paths are
// made absolute and passed whole.
struct Arguments {
    std::vector<std::string> args;
    ULONG refusal = SUCCESS_SUCCESS;
};
Arguments XdgEmailArguments(const MapiMessage& message);

// Passes each recipient's class and text (its address, else its name) to add, skipping those
// without either. MAPI_E_BAD_RECIPTYPE for a class other than To, Cc and Bcc.
ULONG ForEachRecipient(const MapiMessage& message,
                       const std::function<void(ULONG recipClass, const char* text)>& add);

// Passes each attachment's path, made absolute, to add and stops at the first result add
// returns other than SUCCESS_SUCCESS. MAPI_E_ATTACHMENT_NOT_FOUND for an empty path.
ULONG ForEachAttachment(const MapiMessage& message,
                        const std::function<ULONG(const std::filesystem::path&)>& add);

// The Simple MAPI result for xdg-email's exit status.
ULONG ResultOfExit(int status);

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

}  // namespace platform::mapi
