// The registry's content in memory: the keys of both roots, each with typed values and
// subkeys. Key and value names compare without regard to the case of ASCII letters and keep the
// spelling they were created with. Plain data; no locking of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

// A value's registry type. Types other than the named ones are kept as they are.
using ValueType = std::uint32_t;
inline constexpr ValueType REG_NONE = 0;
inline constexpr ValueType REG_SZ = 1;
inline constexpr ValueType REG_EXPAND_SZ = 2;
inline constexpr ValueType REG_BINARY = 3;
inline constexpr ValueType REG_DWORD = 4;

enum class Root { CurrentUser, LocalMachine };

struct Value {
    std::string name;  // empty: the key's unnamed default value
    ValueType type = REG_NONE;
    std::vector<std::byte> data;

    bool operator==(const Value&) const = default;
};

struct KeyNode {
    std::string name;
    std::vector<Value> values;  // in the order they were first set
    std::vector<KeyNode> subkeys;

    bool operator==(const KeyNode&) const = default;

    const Value* FindValue(std::string_view valueName) const;
    // Replaces the value of that name, or adds it at the end.
    void SetValue(std::string_view valueName, ValueType type, std::span<const std::byte> bytes);
    KeyNode* FindSubkey(std::string_view keyName);
    const KeyNode* FindSubkey(std::string_view keyName) const;
};

struct HiveTree {
    KeyNode currentUser{"HKEY_CURRENT_USER", {}, {}};
    KeyNode localMachine{"HKEY_LOCAL_MACHINE", {}, {}};

    bool operator==(const HiveTree&) const = default;

    KeyNode& Node(Root root) { return root == Root::CurrentUser ? currentUser : localMachine; }
    const KeyNode& Node(Root root) const {
        return root == Root::CurrentUser ? currentUser : localMachine;
    }
};

// True when the names are equal, ASCII letters compared without regard to case.
bool NamesEqual(std::string_view a, std::string_view b);

// The components of a backslash-separated key path; "" gives none (the root itself). None
// when a component is empty ("a\\b", "\a", "a\").
std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path);

// The key at path below from, or null when some key along it is missing.
KeyNode* FindKey(KeyNode& from, std::span<const std::string> path);
const KeyNode* FindKey(const KeyNode& from, std::span<const std::string> path);

// The key at path below from, making each missing key along it; created tells whether any
// key was made.
KeyNode& CreateKey(KeyNode& from, std::span<const std::string> path, bool& created);

}  // namespace platform::registry
