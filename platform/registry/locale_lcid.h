// The user's locale as the Windows locale identifier (LCID) that "Control Panel\International"
// "Locale" reports. Pure functions of their arguments; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::registry {

inline constexpr std::uint32_t kLcidEnglishUs = 0x0409;

// The locale that governs messages: the first non-empty of LC_ALL, LC_MESSAGES and LANG, as
// given; empty when all three are.
std::string_view EffectiveLocale(std::string_view lcAll, std::string_view lcMessages,
                                 std::string_view lang);

// The LCID of a POSIX locale name "language[_TERRITORY][.codeset][@modifier]": the regional one
// when the territory is known (de_AT 0x0C07), else the language's main one (de 0x0407); en_US
// for C, POSIX, an empty name and languages not known.
std::uint32_t LcidForLocale(std::string_view posixLocale);

// The LCID as the registry shows it: eight upper-case hex digits ("00000C07").
std::string LcidText(std::uint32_t lcid);

}  // namespace platform::registry
