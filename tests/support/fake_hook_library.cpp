// A stand-in for the hook library with the same four entry points, for the test that the
// program loads a library it finds in its TEMP folder: HookMouse leaves the target window's
// id in TEMP/hooked.
#include <cstdlib>
#include <fstream>
#include <string>

#define EXPORTED extern "C" __attribute__((visibility("default")))

EXPORTED void HookMouse(unsigned long targetWindow) {
    const char* temp = std::getenv("TEMP");
    std::ofstream(std::string(temp ? temp : "/tmp") + "/hooked") << targetWindow << "\n";
}

EXPORTED void UnhookMouse() {}

EXPORTED void HookKeyboard(unsigned long) {}

EXPORTED bool UnHookKeyboard() {
    return true;
}
