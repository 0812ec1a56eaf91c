// Thunderbird as the desktop's mail program: found the way xdg-email finds it, and handed the
// message in its own "-compose" syntax.
//
// xdg-email gives Thunderbird the attachments as plain paths in one quoted list, which
// Thunderbird splits at every comma, and an apostrophe ends the quotes early: a recording named
// "Demo, take 2" would arrive as two broken attachments. Here every attachment is a file URL
// whose commas, apostrophes and blanks are escaped, and Thunderbird undoes the escapes only after
// splitting the list.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>

#include "platform/mapi/mapi.h"

namespace platform::mapi {

// The program of the desktop's mailto handler when that is Thunderbird (or Debian's Icedove): the
// desktop entry that `xdg-mime query default x-scheme-handler/mailto` names, looked up in
// XDG_DATA_HOME and XDG_DATA_DIRS, and the program its Exec line starts. None for any other
// handler, when something cannot be found, and when xdg-email would not ask the handler at all:
// MAILER is set or an xdg-email-hook.sh is on the PATH. Waits at most wait for xdg-mime. Any
// thread.
std::optional<std::filesystem::path> MailtoThunderbird(std::chrono::milliseconds wait);

// Opens Thunderbird's compose window for message and waits at most wait for thunderbird, with
// the outcomes of XdgEmail::MAPISendMail: SUCCESS_SUCCESS (also when it still runs after the
// wait), MAPI_E_ATTACHMENT_NOT_FOUND for an attachment that is missing or no regular file,
// MAPI_E_ATTACHMENT_OPEN_FAILURE for one that cannot be read, MAPI_E_BAD_RECIPTYPE, and
// MAPI_E_FAILURE when Thunderbird fails. Any thread.
//
// "-compose" takes a list of field=value pairs split at commas outside single quotes; a quoted
// value is taken as it is, an unquoted one is percent-decoded. So to, cc, bcc, subject and body
// go percent-encoded (UTF-8) and unquoted, and "attachment" is a quoted list of file URLs.
ULONG ComposeInThunderbird(const std::filesystem::path& thunderbird, const MapiMessage& message,
                           std::chrono::milliseconds wait);

}  // namespace platform::mapi
