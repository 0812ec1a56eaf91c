// The settings hive parser on any text; what it accepts must come back whole when written out.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/registry/hive_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace reg = platform::registry;
    const auto tree = reg::ParseHive(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!tree) return 0;
    const std::string text = reg::FormatHive(*tree);
    const auto again = reg::ParseHive(text);
    if (!again || reg::FormatHive(*again) != text) std::abort();
    return 0;
}
