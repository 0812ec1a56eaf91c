#include "platform/mapi/mapi.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/mapi/thunderbird.h"
#include "platform/mapi/xdg_email.h"
#include "platform/process/process.h"

namespace platform::mapi {

void XdgEmail::Bind() {
    std::call_once(bound_, [this] {
        program_ = process::FindInPath("xdg-email");
        ++bindCount_;
    });
}

bool XdgEmail::Available() {
    Bind();
    return program_.has_value();
}

ULONG XdgEmail::MAPILogon(ULONG, const char*, const char*, FLAGS, ULONG, LHANDLE* session) {
    if (!Available()) return MAPI_USER_ABORT;
    if (session == nullptr) return MAPI_E_FAILURE;
    *session = ++lastSession_;
    return SUCCESS_SUCCESS;
}

ULONG XdgEmail::MAPILogoff(LHANDLE session, ULONG, FLAGS, ULONG) {
    if (!Available()) return MAPI_USER_ABORT;
    return session != 0 ? SUCCESS_SUCCESS : MAPI_E_INVALID_SESSION;
}

ULONG XdgEmail::MAPISendMail(LHANDLE, ULONG, const MapiMessage* message, FLAGS flags, ULONG) {
    if (!Available()) return MAPI_USER_ABORT;
    if (message == nullptr) return MAPI_E_INVALID_MESSAGE;
    if ((flags & MAPI_DIALOG) == 0) return MAPI_E_NOT_SUPPORTED;
    if (const auto thunderbird = MailtoThunderbird(launchWait_))
        return ComposeInThunderbird(*thunderbird, *message, launchWait_);
    const Arguments arguments = XdgEmailArguments(*message);
    if (arguments.refusal != SUCCESS_SUCCESS) return arguments.refusal;
    const std::optional<int> status = process::RunProgram(*program_, arguments.args, launchWait_);
    return status ? ResultOfExit(*status) : SUCCESS_SUCCESS;
}

ULONG XdgEmail::MAPIFreeBuffer(void* buffer) {
    if (!Available()) return MAPI_USER_ABORT;
    std::free(buffer);
    return SUCCESS_SUCCESS;
}

ULONG XdgEmail::MAPIResolveName(LHANDLE, ULONG, const char* name, FLAGS, ULONG,
                                MapiRecipDesc** recip) {
    if (!Available()) return MAPI_USER_ABORT;
    if (recip == nullptr) return MAPI_E_FAILURE;
    if (name == nullptr || *name == '\0') return MAPI_E_UNKNOWN_RECIPIENT;
    // One block, the record followed by the name and the address, as MAPIFreeBuffer expects.
    const std::size_t size = std::strlen(name) + 1;
    void* block = std::malloc(sizeof(MapiRecipDesc) + 2 * size);
    if (block == nullptr) return MAPI_E_INSUFFICIENT_MEMORY;
    char* texts = static_cast<char*>(block) + sizeof(MapiRecipDesc);
    std::memcpy(texts, name, size);
    std::memcpy(texts + size, name, size);
    *recip = new (block) MapiRecipDesc{0, MAPI_TO, texts, texts + size, 0, nullptr};
    return SUCCESS_SUCCESS;
}

XdgEmail& SimpleMapi() {
    static XdgEmail entryPoints;
    return entryPoints;
}

}  // namespace platform::mapi
