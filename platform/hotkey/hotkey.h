// The global hot key (RegisterHotKey, GlobalAddAtomA, WM_HOTKEY): a key grab on the root window
// of the program's own X connection; presses reach the handler through a native event filter.
// GUI thread only.
#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace platform::hotkey {

constexpr unsigned MOD_ALT = 0x1;
constexpr unsigned MOD_CONTROL = 0x2;
constexpr unsigned MOD_SHIFT = 0x4;
constexpr unsigned MOD_WIN = 0x8;

// GlobalAddAtomA / GlobalDeleteAtom: the X atom of the name (0 without a display). X atoms
// live as long as the server, so deleting is a no-op kept for symmetry.
std::uint32_t GlobalAddAtom(const std::string& name);
void GlobalDeleteAtom(std::uint32_t atom);

class HotKeys : public QAbstractNativeEventFilter {
public:
    // Installs itself as a native event filter of the running application.
    HotKeys();
    ~HotKeys() override;  // releases every grab
    HotKeys(const HotKeys&) = delete;
    HotKeys& operator=(const HotKeys&) = delete;

    // Grabs modifiers + the key of the upper-case letter or digit vk under id. False when id is
    // taken already, the key has no key code, or another program holds the combination.
    bool Register(std::uint32_t id, unsigned modifiers, unsigned vk);
    // False when id was not registered.
    bool Unregister(std::uint32_t id);

    // Called with the id of a registered hot key when it is pressed (WM_HOTKEY).
    std::function<void(std::uint32_t id)> OnHotKey;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        std::uint8_t keycode;
        std::uint16_t modifiers;
    };
    void Ungrab(const Grab& grab);
    std::map<std::uint32_t, Grab> grabs_;
};

}  // namespace platform::hotkey
