// What a hook message means for the cursor marks: the click or key kind it triggers, or none.
// Pure function; the key state comes from the caller.
#pragma once

#include <cstdint>
#include <functional>

namespace app {

// The event kind for message msg with wParam (0 for none). For a key press the keys are asked
// about in the order Return, Escape, F9, F10, F11, F12 and the first that is down wins.
int EventKindForHookMessage(std::uint32_t msg, std::uint32_t wParam,
                            const std::function<bool(int vk)>& keyDown);

}  // namespace app
