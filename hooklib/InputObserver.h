// One desktop-wide observation of mouse buttons or keys: XInput 2 raw events read on an X
// connection and a thread of its own, each relevant event posted to the target window as a hook
// message. Internal to the library.
#pragma once

#include <cstdint>
#include <memory>

namespace globalhook {

enum class Observed { MouseButtons, Keys };

class InputObserver {
public:
    // Connects to $DISPLAY, asks for raw events and starts the thread; nothing when the server
    // has no XInput 2 or refuses the selection. Each message goes to the window whose id
    // *target holds at that moment; *target must outlive the observer. Main thread.
    static std::unique_ptr<InputObserver> Start(Observed what, const std::uint32_t* target);

    // Stops the thread and closes the connection; returns only once both are gone.
    virtual ~InputObserver() = default;

protected:
    InputObserver() = default;
};

}  // namespace globalhook
