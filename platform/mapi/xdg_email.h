// Running xdg-email (xdg-utils 1.1.3): its arguments for a message and what its exit status
// means.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
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

}  // namespace platform::mapi
