#include "platform/registry/hive.h"

#include "platform/files/files.h"

namespace platform::registry {

namespace {

template <typename Node>
Node* FindSubkeyIn(Node& key, std::string_view keyName) {
    for (auto& subkey : key.subkeys) {
        if (NamesEqual(subkey.name, keyName)) return &subkey;
    }
    return nullptr;
}

template <typename Node>
Node* FindKeyIn(Node& from, std::span<const std::string> path) {
    Node* key = &from;
    for (const std::string& component : path) {
        key = FindSubkeyIn(*key, component);
        if (key == nullptr) return nullptr;
    }
    return key;
}

}  // namespace

bool NamesEqual(std::string_view a, std::string_view b) {
    return files::EqualsIgnoringAsciiCase(a, b);
}

const Value* KeyNode::FindValue(std::string_view valueName) const {
    for (const Value& value : values) {
        if (NamesEqual(value.name, valueName)) return &value;
    }
    return nullptr;
}

void KeyNode::SetValue(std::string_view valueName, ValueType type,
                       std::span<const std::byte> bytes) {
    for (Value& value : values) {
        if (NamesEqual(value.name, valueName)) {
            value.type = type;
            value.data.assign(bytes.begin(), bytes.end());
            return;
        }
    }
    values.push_back(Value{std::string(valueName), type, {bytes.begin(), bytes.end()}});
}

KeyNode* KeyNode::FindSubkey(std::string_view keyName) {
    return FindSubkeyIn(*this, keyName);
}

const KeyNode* KeyNode::FindSubkey(std::string_view keyName) const {
    return FindSubkeyIn(*this, keyName);
}

std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path) {
    std::vector<std::string> components;
    if (path.empty()) return components;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view component = path.substr(start, end - start);
        if (component.empty()) return std::nullopt;
        components.emplace_back(component);
        if (end == std::string_view::npos) return components;
        start = end + 1;
    }
}

KeyNode* FindKey(KeyNode& from, std::span<const std::string> path) {
    return FindKeyIn(from, path);
}

const KeyNode* FindKey(const KeyNode& from, std::span<const std::string> path) {
    return FindKeyIn(from, path);
}

KeyNode& CreateKey(KeyNode& from, std::span<const std::string> path, bool& created) {
    created = false;
    KeyNode* key = &from;
    for (const std::string& component : path) {
        KeyNode* next = key->FindSubkey(component);
        if (next == nullptr) {
            key->subkeys.push_back(KeyNode{component, {}, {}});
            next = &key->subkeys.back();
            created = true;
        }
        key = next;
    }
    return *key;
}

}  // namespace platform::registry
