// The registry stand-in: keys and typed values under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE,
// kept in the calling user's hive file (hive_file.h; there is no machine-wide hive, so both roots
// live in that one file). Key paths are backslash-separated below a root; key and value names
// compare without regard to the case of ASCII letters.
//
// HKEY_CURRENT_USER "Control Panel\International" "Locale" answers the user's POSIX locale
// (LC_ALL, LC_MESSAGES, LANG) as an eight-digit LCID unless the hive holds that value itself.
//
// Every operation reads the file afresh and every change is stored before it returns, so two
// processes see each other's changes. Functions may be called from any thread; one Key object
// is used by one thread at a time.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/hive.h"
#include "platform/registry/hive_file.h"

namespace platform::registry {

enum class Result {
    Ok,
    NotFound,       // the key or value does not exist
    MoreData,       // the buffer is smaller than the value; the size says how large it is
    AccessDenied,   // the key was not opened for this kind of access
    HasSubkeys,     // a key with subkeys is not deleted
    InvalidPath,    // an empty component in a key path ("a\\b", "\a")
    InvalidHandle,  // the Key is not open
    StoreFailed,    // the hive could not be locked, read or written; nothing was changed
};

// Read: query values. Write: set values and delete subkeys.
enum class Access { Read, Write };

// An open key. Closed when destroyed; move-only, like the handle it stands for.
class Key {
public:
    Key() = default;
    Key(Key&&) = default;
    Key& operator=(Key&&) = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    // Opens the key at path below root ("" is the root itself) in the current user's hive,
    // making every missing key along the path; key is left closed unless the result is Ok.
    static Result Create(Root root, std::string_view path, Access access, Key& key);
    // Opens an existing key; NotFound when it does not exist.
    static Result Open(Root root, std::string_view path, Access access, Key& key);

    bool IsOpen() const { return hive_.has_value(); }

    // Stores the value (name "" is the unnamed default value) with exactly these bytes. A key
    // that another process deleted after this one opened it is made again.
    Result SetValue(std::string_view name, ValueType type, std::span<const std::byte> data) const;

    // The value's type and size in bytes.
    Result QueryValue(std::string_view name, ValueType& type, std::size_t& size) const;
    // The value's type, size and bytes; MoreData (with type and size) when data is smaller than
    // the value.
    Result QueryValue(std::string_view name, ValueType& type, std::span<std::byte> data,
                      std::size_t& size) const;

    // Deletes the key at path below this one, with its values; only a key without subkeys, as
    // the original call does: HasSubkeys otherwise.
    Result DeleteSubkey(std::string_view path) const;

private:
    Key(HiveFile hive, Root root, std::vector<std::string> path, Access access)
        : hive_(std::move(hive)), root_(root), path_(std::move(path)), access_(access) {}

    // The value's type and size, and its bytes into data when given.
    Result Query(std::string_view name, ValueType& type, std::optional<std::span<std::byte>> data,
                 std::size_t& size) const;
    // The hive as a reader sees it: the stored keys with the locale value added.
    HiveTree View() const;

    std::optional<HiveFile> hive_;
    Root root_ = Root::CurrentUser;
    std::vector<std::string> path_;
    Access access_ = Access::Read;
};

}  // namespace platform::registry
