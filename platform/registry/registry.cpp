#include "platform/registry/registry.h"

#include <algorithm>
#include <cstdlib>

#include "platform/registry/locale_lcid.h"

namespace platform::registry {

namespace {

std::string_view Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string_view(value) : std::string_view();
}

// The locale value the system would answer with, where the hive does not hold one.
void AddLocaleValue(HiveTree& tree) {
    const std::string path[] = {"Control Panel", "International"};
    bool created = false;
    KeyNode& international = CreateKey(tree.currentUser, path, created);
    if (international.FindValue("Locale") != nullptr) return;
    const std::uint32_t lcid = LcidForLocale(
        EffectiveLocale(Environment("LC_ALL"), Environment("LC_MESSAGES"), Environment("LANG")));
    std::string text = LcidText(lcid);
    text += '\0';
    international.SetValue("Locale", REG_SZ, std::as_bytes(std::span(text)));
}

}  // namespace

Result Key::Create(Root root, std::string_view path, Access access, Key& key) {
    std::optional<std::vector<std::string>> components = SplitKeyPath(path);
    if (!components) return Result::InvalidPath;
    const HiveFile hive = HiveFile::ForCurrentUser();
    const bool stored = hive.Change([&](HiveTree& tree) {
        bool created = false;
        CreateKey(tree.Node(root), *components, created);
        return created;
    });
    if (!stored) return Result::StoreFailed;
    key = Key(hive, root, std::move(*components), access);
    return Result::Ok;
}

Result Key::Open(Root root, std::string_view path, Access access, Key& key) {
    std::optional<std::vector<std::string>> components = SplitKeyPath(path);
    if (!components) return Result::InvalidPath;
    Key opened(HiveFile::ForCurrentUser(), root, std::move(*components), access);
    const HiveTree view = opened.View();
    if (FindKey(view.Node(root), opened.path_) == nullptr) return Result::NotFound;
    key = std::move(opened);
    return Result::Ok;
}

HiveTree Key::View() const {
    HiveTree tree = hive_->Read();
    AddLocaleValue(tree);
    return tree;
}

Result Key::SetValue(std::string_view name, ValueType type, std::span<const std::byte> data) const {
    if (!IsOpen()) return Result::InvalidHandle;
    if (access_ != Access::Write) return Result::AccessDenied;
    const bool stored = hive_->Change([&](HiveTree& tree) {
        bool created = false;
        KeyNode& key = CreateKey(tree.Node(root_), path_, created);
        const Value* old = key.FindValue(name);
        if (!created && old && old->type == type && std::ranges::equal(old->data, data)) {
            return false;
        }
        key.SetValue(name, type, data);
        return true;
    });
    return stored ? Result::Ok : Result::StoreFailed;
}

Result Key::QueryValue(std::string_view name, ValueType& type, std::size_t& size) const {
    return Query(name, type, std::nullopt, size);
}

Result Key::QueryValue(std::string_view name, ValueType& type, std::span<std::byte> data,
                       std::size_t& size) const {
    return Query(name, type, data, size);
}

Result Key::Query(std::string_view name, ValueType& type, std::optional<std::span<std::byte>> data,
                  std::size_t& size) const {
    if (!IsOpen()) return Result::InvalidHandle;
    if (access_ != Access::Read) return Result::AccessDenied;
    const HiveTree view = View();
    const KeyNode* key = FindKey(view.Node(root_), path_);
    const Value* value = key ? key->FindValue(name) : nullptr;
    if (value == nullptr) return Result::NotFound;
    type = value->type;
    size = value->data.size();
    if (!data) return Result::Ok;
    if (data->size() < value->data.size()) return Result::MoreData;
    std::ranges::copy(value->data, data->begin());
    return Result::Ok;
}

Result Key::DeleteSubkey(std::string_view path) const {
    if (!IsOpen()) return Result::InvalidHandle;
    if (access_ != Access::Write) return Result::AccessDenied;
    std::optional<std::vector<std::string>> relative = SplitKeyPath(path);
    if (!relative || relative->empty()) return Result::InvalidPath;
    std::vector<std::string> parentPath = path_;
    parentPath.insert(parentPath.end(), relative->begin(), relative->end() - 1);
    const std::string& name = relative->back();

    Result result = Result::StoreFailed;
    const bool stored = hive_->Change([&](HiveTree& tree) {
        result = Result::NotFound;
        KeyNode* parent = FindKey(tree.Node(root_), parentPath);
        if (parent == nullptr) return false;
        const auto child = std::ranges::find_if(
            parent->subkeys, [&](const KeyNode& key) { return NamesEqual(key.name, name); });
        if (child == parent->subkeys.end()) return false;
        if (!child->subkeys.empty()) {
            result = Result::HasSubkeys;
            return false;
        }
        parent->subkeys.erase(child);
        result = Result::Ok;
        return true;
    });
    return stored ? result : Result::StoreFailed;
}

}  // namespace platform::registry
