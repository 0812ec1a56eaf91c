// The program's only way into the registry. A path is a key path, a backslash and a value name
// ("SOFTWARE\Korvex\mspf"); an empty value name ("SOFTWARE\Korvex\") addresses the key's
// unnamed default value. Texts are UTF-8. Any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/registry/registry.h"

namespace app {

using platform::registry::Root;

// Stores text as REG_SZ: its bytes and one terminating zero. True when stored.
bool WriteRegString(Root root, std::string_view path, const std::string& text);
// Stores value as REG_DWORD, four bytes little-endian. True when stored.
bool WriteRegInteger(Root root, std::string_view path, std::int32_t value);

// True when a REG_SZ value was read: text is its bytes less the last (the terminating zero).
// text is empty on failure.
bool ReadRegString(Root root, std::string_view path, std::string& text);
// True when a four-byte REG_DWORD value was read into value; value is 0 on failure.
bool ReadRegInteger(Root root, std::string_view path, std::int32_t& value);

// Deletes the key at path (parent path, backslash, key name); true when it was deleted. A
// missing key or one with subkeys is not.
bool DeleteRegKey(Root root, std::string_view path);

}  // namespace app
