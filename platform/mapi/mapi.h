// Simple MAPI over the desktop's mail hand-off: the five entry points with their records, flags
// and result codes, answered by `xdg-email`, which opens the user's mail program with a compose
// window holding the subject, the body, the recipients and the attachments.
//
// There is no mail system to log on to: a logon only checks that xdg-email is there. The sender
// record, the receipt flag and attachment display names have no counterpart in xdg-email and are
// not passed on; attachments travel under their own file names.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>

namespace platform::mapi {

using ULONG = std::uint32_t;
using FLAGS = std::uint32_t;
using LHANDLE = std::uintptr_t;

struct MapiRecipDesc {
    ULONG ulReserved;
    ULONG ulRecipClass;  // MAPI_ORIG, MAPI_TO, MAPI_CC, MAPI_BCC
    char* lpszName;
    char* lpszAddress;
    ULONG ulEIDSize;
    void* lpEntryID;
};

struct MapiFileDesc {
    ULONG ulReserved;
    ULONG flFlags;
    ULONG nPosition;  // 0xFFFFFFFF: not placed in the text
    char* lpszPathName;
    char* lpszFileName;
    void* lpFileType;
};

struct MapiMessage {
    ULONG ulReserved;
    char* lpszSubject;
    char* lpszNoteText;
    char* lpszMessageType;
    char* lpszDateReceived;
    char* lpszConversationID;
    FLAGS flFlags;
    MapiRecipDesc* lpOriginator;
    ULONG nRecipCount;
    MapiRecipDesc* lpRecips;
    ULONG nFileCount;
    MapiFileDesc* lpFiles;
};

// Recipient classes.
inline constexpr ULONG MAPI_ORIG = 0;
inline constexpr ULONG MAPI_TO = 1;
inline constexpr ULONG MAPI_CC = 2;
inline constexpr ULONG MAPI_BCC = 3;

// Call flags.
inline constexpr FLAGS MAPI_LOGON_UI = 0x00000001;
inline constexpr FLAGS MAPI_NEW_SESSION = 0x00000002;
inline constexpr FLAGS MAPI_DIALOG = 0x00000008;
// Message flags.
inline constexpr FLAGS MAPI_RECEIPT_REQUESTED = 0x00000002;

// Result codes.
inline constexpr ULONG SUCCESS_SUCCESS = 0;
inline constexpr ULONG MAPI_USER_ABORT = 1;
inline constexpr ULONG MAPI_E_FAILURE = 2;
inline constexpr ULONG MAPI_E_LOGIN_FAILURE = 3;
inline constexpr ULONG MAPI_E_DISK_FULL = 4;
inline constexpr ULONG MAPI_E_INSUFFICIENT_MEMORY = 5;
inline constexpr ULONG MAPI_E_ACCESS_DENIED = 6;
inline constexpr ULONG MAPI_E_TOO_MANY_SESSIONS = 8;
inline constexpr ULONG MAPI_E_TOO_MANY_FILES = 9;
inline constexpr ULONG MAPI_E_TOO_MANY_RECIPIENTS = 10;
inline constexpr ULONG MAPI_E_ATTACHMENT_NOT_FOUND = 11;
inline constexpr ULONG MAPI_E_ATTACHMENT_OPEN_FAILURE = 12;
inline constexpr ULONG MAPI_E_ATTACHMENT_WRITE_FAILURE = 13;
inline constexpr ULONG MAPI_E_UNKNOWN_RECIPIENT = 14;
inline constexpr ULONG MAPI_E_BAD_RECIPTYPE = 15;
inline constexpr ULONG MAPI_E_NO_MESSAGES = 16;
inline constexpr ULONG MAPI_E_INVALID_MESSAGE = 17;
inline constexpr ULONG MAPI_E_TEXT_TOO_LARGE = 18;
inline constexpr ULONG MAPI_E_INVALID_SESSION = 19;
inline constexpr ULONG MAPI_E_TYPE_NOT_SUPPORTED = 20;
inline constexpr ULONG MAPI_E_AMBIGUOUS_RECIPIENT = 21;
inline constexpr ULONG MAPI_E_MESSAGE_IN_USE = 22;
inline constexpr ULONG MAPI_E_NETWORK_FAILURE = 23;
inline constexpr ULONG MAPI_E_INVALID_EDITFIELDS = 24;
inline constexpr ULONG MAPI_E_INVALID_RECIPS = 25;
inline constexpr ULONG MAPI_E_NOT_SUPPORTED = 26;

// The five entry points as a caller sees them. Texts are UTF-8. Tests put a double of their own
// in the place of the real ones.
class EntryPoints {
public:
    virtual ~EntryPoints() = default;

    virtual ULONG MAPILogon(ULONG uiParam, const char* profileName, const char* password,
                            FLAGS flags, ULONG reserved, LHANDLE* session) = 0;
    virtual ULONG MAPILogoff(LHANDLE session, ULONG uiParam, FLAGS flags, ULONG reserved) = 0;
    virtual ULONG MAPISendMail(LHANDLE session, ULONG uiParam, const MapiMessage* message,
                               FLAGS flags, ULONG reserved) = 0;
    // Releases a block that MAPIResolveName handed out; null is allowed.
    virtual ULONG MAPIFreeBuffer(void* buffer) = 0;
    // On success *recip is one block for the caller to release with MAPIFreeBuffer.
    virtual ULONG MAPIResolveName(LHANDLE session, ULONG uiParam, const char* name, FLAGS flags,
                                  ULONG reserved, MapiRecipDesc** recip) = 0;
};

// How long a send waits for xdg-email. It returns once the mail program has taken the message,
// but some mail programs keep it waiting until they quit (a first Thunderbird, or any handler
// that xdg-open runs in the foreground); past this wait the compose window counts as open.
inline constexpr std::chrono::milliseconds kLaunchWait{5000};

// The entry points answered by xdg-email. Binding looks for "xdg-email" in the directories of
// PATH (absolute ones only) on the first call of any entry point, once per object and whatever
// the outcome: a later change of PATH is not seen. Without xdg-email every entry point returns
// MAPI_USER_ABORT and does nothing. Every function may be called from any thread.
//
// MAPILogon: a session handle for any profile. MAPIResolveName: the text itself as name and
// address (MAPI_E_UNKNOWN_RECIPIENT for an empty one). MAPISendMail: needs MAPI_DIALOG
// (MAPI_E_NOT_SUPPORTED otherwise, since nothing can be sent without the compose window); runs
// xdg-email without a shell and maps its outcome: 0 SUCCESS_SUCCESS, 2 (a file is missing)
// MAPI_E_ATTACHMENT_NOT_FOUND, 3 (no mail program) MAPI_E_LOGIN_FAILURE, 5 (a file cannot be
// read) MAPI_E_ATTACHMENT_OPEN_FAILURE, anything else MAPI_E_FAILURE. A recipient of class
// MAPI_ORIG gives MAPI_E_BAD_RECIPTYPE; one without name and address is left for the user to
// fill in. When the mailto handler is Thunderbird, it is started directly instead, with the same
// outcomes (thunderbird.h): xdg-email would hand it attachment paths that it splits at commas.
// The wait then bounds the query for the handler and the start of Thunderbird each.
class XdgEmail final : public EntryPoints {
public:
    explicit XdgEmail(std::chrono::milliseconds launchWait = kLaunchWait)
        : launchWait_(launchWait) {}

    // True when xdg-email was found (binds on the first call).
    bool Available();
    // How often this object has looked for xdg-email: 0 before first use, then 1 for good.
    int BindCount() const { return bindCount_; }

    ULONG MAPILogon(ULONG uiParam, const char* profileName, const char* password, FLAGS flags,
                    ULONG reserved, LHANDLE* session) override;
    ULONG MAPILogoff(LHANDLE session, ULONG uiParam, FLAGS flags, ULONG reserved) override;
    ULONG MAPISendMail(LHANDLE session, ULONG uiParam, const MapiMessage* message, FLAGS flags,
                       ULONG reserved) override;
    ULONG MAPIFreeBuffer(void* buffer) override;
    ULONG MAPIResolveName(LHANDLE session, ULONG uiParam, const char* name, FLAGS flags,
                          ULONG reserved, MapiRecipDesc** recip) override;

private:
    void Bind();

    std::chrono::milliseconds launchWait_;
    std::once_flag bound_;
    std::atomic<int> bindCount_{0};
    std::optional<std::filesystem::path> program_;
    std::atomic<LHANDLE> lastSession_{0};
};

// The process's entry points, bound on first use.
XdgEmail& SimpleMapi();

}  // namespace platform::mapi
