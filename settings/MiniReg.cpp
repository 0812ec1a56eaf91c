#include "settings/MiniReg.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace app {

namespace reg = platform::registry;

namespace {

struct SplitPath {
    std::string_view key;
    std::string_view name;
};

// Splits at the last backslash; none without one.
std::optional<SplitPath> Split(std::string_view path) {
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string_view::npos) return std::nullopt;
    return SplitPath{path.substr(0, slash), path.substr(slash + 1)};
}

bool WriteValue(Root root, std::string_view path, reg::ValueType type,
                std::span<const std::byte> data) {
    const std::optional<SplitPath> split = Split(path);
    if (!split) return false;
    reg::Key key;
    if (reg::Key::Create(root, split->key, reg::Access::Write, key) != reg::Result::Ok) {
        return false;
    }
    return key.SetValue(split->name, type, data) == reg::Result::Ok;
}

// The value's bytes when it exists and has the expected type.
std::optional<std::vector<std::byte>> ReadValue(Root root, std::string_view path,
                                                reg::ValueType expected) {
    const std::optional<SplitPath> split = Split(path);
    if (!split) return std::nullopt;
    reg::Key key;
    if (reg::Key::Open(root, split->key, reg::Access::Read, key) != reg::Result::Ok) {
        return std::nullopt;
    }
    reg::ValueType type = reg::REG_NONE;
    std::size_t size = 0;
    if (key.QueryValue(split->name, type, size) != reg::Result::Ok) return std::nullopt;
    std::vector<std::byte> data(size);
    if (key.QueryValue(split->name, type, data, size) != reg::Result::Ok || type != expected) {
        return std::nullopt;
    }
    data.resize(size);
    return data;
}

}  // namespace

bool WriteRegString(Root root, std::string_view path, const std::string& text) {
    std::vector<std::byte> data(text.size() + 1, std::byte{0});
    std::ranges::copy(std::as_bytes(std::span(text)), data.begin());
    return WriteValue(root, path, reg::REG_SZ, data);
}

bool WriteRegInteger(Root root, std::string_view path, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    const std::array<std::byte, 4> data{
        static_cast<std::byte>(bits), static_cast<std::byte>(bits >> 8),
        static_cast<std::byte>(bits >> 16), static_cast<std::byte>(bits >> 24)};
    return WriteValue(root, path, reg::REG_DWORD, data);
}

bool ReadRegString(Root root, std::string_view path, std::string& text) {
    text.clear();
    const std::optional<std::vector<std::byte>> data = ReadValue(root, path, reg::REG_SZ);
    if (!data) return false;
    // The last byte is the terminating zero; a value stored without any bytes reads as "".
    if (!data->empty()) {
        text.assign(reinterpret_cast<const char*>(data->data()), data->size() - 1);
    }
    return true;
}

bool ReadRegInteger(Root root, std::string_view path, std::int32_t& value) {
    value = 0;
    const std::optional<std::vector<std::byte>> data = ReadValue(root, path, reg::REG_DWORD);
    if (!data || data->size() != 4) return false;
    std::uint32_t bits = 0;
    for (std::size_t i = 4; i-- > 0;) bits = bits << 8 | std::to_integer<std::uint32_t>((*data)[i]);
    value = static_cast<std::int32_t>(bits);
    return true;
}

bool DeleteRegKey(Root root, std::string_view path) {
    const std::optional<SplitPath> split = Split(path);
    if (!split) return false;
    reg::Key parent;
    if (reg::Key::Open(root, split->key, reg::Access::Write, parent) != reg::Result::Ok) {
        return false;
    }
    return parent.DeleteSubkey(split->name) == reg::Result::Ok;
}

}  // namespace app
