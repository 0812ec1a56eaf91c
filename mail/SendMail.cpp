#include "mail/SendMail.h"

#include <array>
#include <cstddef>
#include <deque>

#include "platform/registry/registry.h"

namespace mail {

namespace {

using namespace platform::mapi;
namespace reg = platform::registry;

constexpr const char* kProfileKeys[] = {
    "Software\\Microsoft\\Windows Messaging Subsystem\\Profiles",
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles",
};

// An open session to the default profile, closed when it goes; the logoff's result does not
// matter any more then.
class Session {
public:
    Session(EntryPoints& mapi, LHANDLE handle) : mapi_(mapi), handle_(handle) {}
    ~Session() { mapi_.MAPILogoff(handle_, 0, 0, 0); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

private:
    EntryPoints& mapi_;
    LHANDLE handle_;
};

// Whether text begins with prefix (upper case) in any case of its ASCII letters; the user's
// locale has no say in it.
bool StartsWithUpper(const std::string& text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i];
        if ((c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c) != prefix[i]) return false;
    }
    return true;
}

// One send's records and every text and entry identifier they point to, released together
// when the send is over. Texts are kept whole, however long.
class Outgoing {
public:
    explicit Outgoing(EntryPoints& mapi) : mapi_(mapi) {}

    void SetTexts(const TMAPIMail& mail) {
        message.lpszSubject = Keep(mail.Subject);
        message.lpszNoteText = Keep(mail.Body);
        message.flFlags = mail.RequestReceipt ? MAPI_RECEIPT_REQUESTED : 0;
    }

    void SetSender(const TMAPIMail& mail) {
        if (mail.SenderAddress.empty()) return;
        const std::string& name = mail.SenderName.empty() ? mail.SenderAddress : mail.SenderName;
        sender_ = {0, MAPI_ORIG, Keep(name), Keep(mail.SenderAddress), 0, nullptr};
        message.lpOriginator = &sender_;
    }

    void SetAttachments(const TMAPIMail& mail) {
        for (std::size_t i = 0; i < mail.Attachments.size(); ++i) {
            const std::string& path = mail.Attachments[i];
            const std::string name = i < mail.AttachmentNames.size()
                                         ? mail.AttachmentNames[i]
                                         : path.substr(path.find_last_of('/') + 1);
            files_.push_back({0, 0, 0xFFFFFFFF, Keep(path), Keep(name), nullptr});
        }
        message.nFileCount = static_cast<ULONG>(files_.size());
        message.lpFiles = files_.empty() ? nullptr : files_.data();
    }

    void SetRecipients(const TMAPIMail& mail) {
        for (const std::string& entry : mail.Recipients) {
            MapiRecipDesc recip{0, MAPI_TO, nullptr, nullptr, 0, nullptr};
            std::string text = entry;
            if (StartsWithUpper(entry, "CC:")) {
                recip.ulRecipClass = MAPI_CC;
                text.erase(0, 3);
            } else if (StartsWithUpper(entry, "BCC:")) {
                recip.ulRecipClass = MAPI_BCC;
                text.erase(0, 4);
            }
            if (mail.ResolveNames) {
                Resolve(text, recip);
            } else {
                recip.lpszName = recip.lpszAddress = Keep(text);
            }
            recipients_.push_back(recip);
        }
        message.nRecipCount = static_cast<ULONG>(recipients_.size());
        message.lpRecips = recipients_.empty() ? nullptr : recipients_.data();
    }

    MapiMessage message{};

private:
    char* Keep(const std::string& text) { return texts_.emplace_back(text).data(); }

    // Lets the mail system name the recipient, asking the user when the text is unknown or
    // ambiguous; an unresolved recipient keeps only its class.
    void Resolve(const std::string& text, MapiRecipDesc& recip) {
        MapiRecipDesc* found = nullptr;
        ULONG result = mapi_.MAPIResolveName(0, 0, text.c_str(), 0, 0, &found);
        if (result == MAPI_E_UNKNOWN_RECIPIENT || result == MAPI_E_AMBIGUOUS_RECIPIENT) {
            result = mapi_.MAPIResolveName(0, 0, text.c_str(), MAPI_DIALOG, 0, &found);
        }
        if (result != SUCCESS_SUCCESS || found == nullptr) return;
        recip.lpszName = Keep(found->lpszName != nullptr ? found->lpszName : "");
        const bool hasAddress = found->lpszAddress != nullptr && *found->lpszAddress != '\0';
        recip.lpszAddress = hasAddress ? Keep(found->lpszAddress) : recip.lpszName;
        if (found->ulEIDSize != 0 && found->lpEntryID != nullptr) {
            const auto* id = static_cast<const std::byte*>(found->lpEntryID);
            recip.lpEntryID = entryIds_.emplace_back(id, id + found->ulEIDSize).data();
            recip.ulEIDSize = found->ulEIDSize;
        }
        mapi_.MAPIFreeBuffer(found);
    }

    EntryPoints& mapi_;
    MapiRecipDesc sender_{};
    std::vector<MapiRecipDesc> recipients_;
    std::vector<MapiFileDesc> files_;
    std::deque<std::string> texts_;
    std::deque<std::vector<std::byte>> entryIds_;
};

std::string ErrorMessage(int code) {
    return "MAPI Error " + std::to_string(code) + ": " + TMAPIMail::MapiErrorText(code);
}

}  // namespace

EMapiError::EMapiError(int code) : std::runtime_error(ErrorMessage(code)), code_(code) {}

TMAPIMail::TMAPIMail() : TMAPIMail(SimpleMapi()) {}

TMAPIMail::TMAPIMail(EntryPoints& entryPoints) : mapi_(entryPoints) {}

bool TMAPIMail::Send() {
    std::optional<Session> session;
    if (const std::optional<std::string> profile = DefaultProfileName()) {
        LHANDLE handle = 0;
        const ULONG result =
            mapi_.MAPILogon(0, profile->c_str(), nullptr, MAPI_NEW_SESSION, 0, &handle);
        if (result != SUCCESS_SUCCESS) throw EMapiError(static_cast<int>(result));
        session.emplace(mapi_, handle);
    }

    // Declared after the session, so the buffers go before the logoff.
    Outgoing outgoing(mapi_);
    outgoing.SetSender(*this);
    outgoing.SetTexts(*this);
    outgoing.SetAttachments(*this);
    outgoing.SetRecipients(*this);

    FLAGS flags = MAPI_LOGON_UI;
    if (EditDialog) flags |= MAPI_DIALOG;
    if (!session) flags |= MAPI_NEW_SESSION;
    LastError = static_cast<int>(mapi_.MAPISendMail(0, 0, &outgoing.message, flags, 0));
    return LastError == 0;
}

std::optional<std::string> TMAPIMail::DefaultProfileName() {
    reg::Key key;
    bool opened = false;
    for (const char* path : kProfileKeys) {
        opened =
            reg::Key::Open(reg::Root::CurrentUser, path, reg::Access::Read, key) == reg::Result::Ok;
        if (opened) break;
    }
    if (!opened) return std::nullopt;

    reg::ValueType type = reg::REG_NONE;
    std::size_t size = 0;
    const reg::Result found = key.QueryValue("DefaultProfile", type, size);
    if (found == reg::Result::NotFound) return std::string();
    std::vector<std::byte> data(size);
    if (found != reg::Result::Ok || (type != reg::REG_SZ && type != reg::REG_EXPAND_SZ) ||
        key.QueryValue("DefaultProfile", type, data, size) != reg::Result::Ok) {
        return std::nullopt;
    }
    const std::string text(reinterpret_cast<const char*>(data.data()), size);
    return text.substr(0, text.find('\0'));
}

std::string TMAPIMail::MapiErrorText(int code) {
    static constexpr std::array<const char*, 27> kTexts = {
        nullptr,
        "User cancelled request",
        "General MAPI failure",
        "Logon failure",
        "Disk full",
        "Insufficient memory",
        "Access denied",
        nullptr,
        "Too many sessions",
        "Too many files open",
        "Too many recipients",
        "Attachment not found",
        "Failed to open attachment",
        "Failed to write attachment",
        "Unknown recipient",
        "Invalid recipient type",
        "No messages",
        "Invalid message",
        "Text too large.",
        "Invalid session",
        "Type not supported",
        "Ambiguous recipient",
        "Message in use",
        "Network failure",
        "Invalid edit fields",
        "Invalid recipients",
        "Not supported",
    };
    if (code > 0 && code < static_cast<int>(kTexts.size()) && kTexts[code] != nullptr) {
        return kTexts[code];
    }
    return "Unknown Error Code: " + std::to_string(code);
}

}  // namespace mail
