// The hive file's text: one section per key, headed by the key's full path in brackets, then one
// line per value:
//
//   ; Korvex registry 1
//   [HKEY_CURRENT_USER\SOFTWARE\Korvex]
//   "position"=sz:"1070;2"
//   "compressor"=dword:ffffffff
//   @=sz:"the unnamed default value"
//   "raw"=hex(3):01,ff
//
// Texts are quoted with \\ \" \n \r \t and \xHH escapes; valid UTF-8 stays as it is. Key names in
// headers escape "%", "[", "]" and other awkward bytes as %HH. A REG_SZ or REG_EXPAND_SZ whose
// bytes end in a zero is shown as text (the zero implied), a four-byte REG_DWORD as eight hex
// digits; every other value as hex(type) bytes, so that any type and content round-trips.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/registry/hive.h"

namespace platform::registry {

// The whole file content for tree.
std::string FormatHive(const HiveTree& tree);

// The tree the text describes; none when it is not a hive file or any line is malformed (a
// value given twice in one key included), so that nothing is read half.
std::optional<HiveTree> ParseHive(std::string_view text);

}  // namespace platform::registry
