#include "platform/mapi/xdg_email.h"

#include <system_error>

namespace platform::mapi {

namespace {

bool Filled(const char* text) {
    return text != nullptr && *text != '\0';
}

const char* RecipientOption(ULONG recipClass) {
    switch (recipClass) {
        case MAPI_TO:
            return "--to";
        case MAPI_CC:
            return "--cc";
        case MAPI_BCC:
            return "--bcc";
        default:
            return nullptr;
    }
}

}  // namespace

Arguments XdgEmailArguments(const MapiMessage& message) {
    Arguments result;
    result.args.push_back("--utf8");
    if (Filled(message.lpszSubject))
        result.args.insert(result.args.end(), {"--subject", message.lpszSubject});
    if (Filled(message.lpszNoteText))
        result.args.insert(result.args.end(), {"--body", message.lpszNoteText});
    result.refusal = ForEachRecipient(message, [&](ULONG recipClass, const char* text) {
        result.args.insert(result.args.end(), {RecipientOption(recipClass), text});
    });
    if (result.refusal != SUCCESS_SUCCESS) return result;
    // Absolute paths: xdg-email would resolve a relative one against its own working folder,
    // and an absolute one never looks like an option.
    result.refusal = ForEachAttachment(message, [&](const std::filesystem::path& path) {
        result.args.insert(result.args.end(), {"--attach", path.string()});
        return SUCCESS_SUCCESS;
    });
    return result;
}

ULONG ForEachRecipient(const MapiMessage& message,
                       const std::function<void(ULONG recipClass, const char* text)>& add) {
    if (message.nRecipCount != 0 && message.lpRecips == nullptr) return MAPI_E_INVALID_MESSAGE;
    for (ULONG i = 0; i < message.nRecipCount; ++i) {
        const MapiRecipDesc& recip = message.lpRecips[i];
        if (RecipientOption(recip.ulRecipClass) == nullptr) return MAPI_E_BAD_RECIPTYPE;
        const char* text = Filled(recip.lpszAddress) ? recip.lpszAddress : recip.lpszName;
        if (Filled(text)) add(recip.ulRecipClass, text);
    }
    return SUCCESS_SUCCESS;
}

ULONG ForEachAttachment(const MapiMessage& message,
                        const std::function<ULONG(const std::filesystem::path&)>& add) {
    if (message.nFileCount != 0 && message.lpFiles == nullptr) return MAPI_E_INVALID_MESSAGE;
    for (ULONG i = 0; i < message.nFileCount; ++i) {
        const char* path = message.lpFiles[i].lpszPathName;
        if (!Filled(path)) return MAPI_E_ATTACHMENT_NOT_FOUND;
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(path, error);
        if (error) return MAPI_E_ATTACHMENT_NOT_FOUND;
        if (const ULONG refusal = add(absolute); refusal != SUCCESS_SUCCESS) return refusal;
    }
    return SUCCESS_SUCCESS;
}

ULONG ResultOfExit(int status) {
    switch (status) {
        case 0:
            return SUCCESS_SUCCESS;
        case 2:
            return MAPI_E_ATTACHMENT_NOT_FOUND;
        case 3:
            return MAPI_E_LOGIN_FAILURE;
        case 5:
            return MAPI_E_ATTACHMENT_OPEN_FAILURE;
        default:
            return MAPI_E_FAILURE;
    }
}

}  // namespace platform::mapi
