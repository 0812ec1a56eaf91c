#include "platform/hookevents/hookevents.h"

#include <xcb/xcb.h>

#include <QCoreApplication>

#include "platform/hotkey/hotkey.h"
#include "platform/keys/HookFormat.h"

namespace platform::hookevents {

HookEvents::HookEvents() : type_(hotkey::GlobalAddAtom(keys::kHookMessageAtom)) {
    if (qApp) qApp->installNativeEventFilter(this);
}

HookEvents::~HookEvents() {
    if (qApp) qApp->removeNativeEventFilter(this);
}

bool HookEvents::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t" || type_ == 0) return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return false;
    auto* client = reinterpret_cast<xcb_client_message_event_t*>(event);
    if (client->type != type_ || client->format != 32) return false;
    if (OnHookEvent) {
        OnHookEvent({client->data.data32[0], client->data.data32[1], client->data.data32[2]});
    }
    return true;
}

}  // namespace platform::hookevents
