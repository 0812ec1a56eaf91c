// TMAPIMail: hands a message with file attachments to the user's mail program, which opens its
// compose window for the user to address and send it.
//
// How the program mails a packed recording (on the GUI thread, only when packing left a file):
//
//     try {
//         mail::TMAPIMail mail;                    // freed on every way out
//         mail.Subject = CurrentVideoName;         // may be empty
//         mail.Attachments.push_back(archivePath); // full path of the archive
//         mail.Send();                             // result not needed: a failure is silent
//     } catch (const mail::EMapiError& error) {
//         // show error.what() as the application's error report does
//     }
//
// Send returns once the mail program has the message, not when the user has sent it; it blocks
// for as long as xdg-email takes to start the mail program, at most platform::mapi::kLaunchWait. It
// returns false with LastError set when the message could not be handed over, and throws EMapiError
// only when a default mail profile exists and the logon to it fails. Texts are UTF-8. Neither Qt
// nor X11.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/mapi/mapi.h"

namespace mail {

// The refused logon: what() is "MAPI Error <code>: <MapiErrorText(code)>".
class EMapiError : public std::runtime_error {
public:
    explicit EMapiError(int code);
    int Code() const { return code_; }

private:
    int code_;
};

class TMAPIMail {
public:
    // Mails through the process's entry points, or through those given (which must outlive the
    // object).
    TMAPIMail();
    explicit TMAPIMail(platform::mapi::EntryPoints& entryPoints);

    // Result code of the last send: 0 for success, else a Simple MAPI result code.
    int LastError = 0;
    std::string Subject;
    std::string Body;
    std::string SenderName;
    // The sender's address; when empty no sender is given at all.
    std::string SenderAddress;
    // One recipient per entry; a prefix "CC:" or "BCC:" (any case) makes a copy or blind copy.
    std::vector<std::string> Recipients;
    // Full paths of the files to attach; passed whole, however long.
    std::vector<std::string> Attachments;
    // Display names of the attachments by position; a missing entry shows the file name.
    std::vector<std::string> AttachmentNames;
    bool EditDialog = true;
    bool ResolveNames = false;
    bool RequestReceipt = false;

    // Performs one send; true when the mail program took the message. Stores the result code in
    // LastError. Throws EMapiError when the default profile's logon fails (nothing is sent, and
    // LastError keeps its value). Blocks the calling thread while the mail program starts.
    bool Send();

    // The name of the default mail profile in the current user's registry, when there is one.
    static std::optional<std::string> DefaultProfileName();
    // English text of a Simple MAPI result code ("Unknown Error Code: 7" for one without).
    static std::string MapiErrorText(int code);

private:
    platform::mapi::EntryPoints& mapi_;
};

}  // namespace mail
