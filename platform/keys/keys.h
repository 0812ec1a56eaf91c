// GetAsyncKeyState for the few keys the program marks in recordings.
#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <memory>

#include "platform/keys/HookFormat.h"

namespace platform::keys {

// The key state as the server has it, and for each key whether it was pressed since it was
// last asked about. The presses come as raw events on the application's own X connection, in
// order with the hook messages: a key tapped and released before its hook message is handled
// still counts. Only the latest press counts as "pressed since": a press of any key clears the
// others, so a Return typed long before a recording cannot mark a letter typed during it.
// Create and use on the GUI thread once the application exists; without an X display or
// XInput 2 only the "down now" half answers.
class KeyState : public QAbstractNativeEventFilter {
public:
    KeyState();
    ~KeyState() override;
    KeyState(const KeyState&) = delete;
    KeyState& operator=(const KeyState&) = delete;

    // Bit 15 set while the key is down, bit 0 when it was pressed since the last question
    // about it (which clears that bit). 0 for keys other than those above.
    std::int16_t GetAsyncKeyState(int vk);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::keys
