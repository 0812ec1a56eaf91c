// The bilingual message catalogue: text N of the program is entry N + LanguageOffset, the
// offset being 0 for German and 1000 for English. Texts are UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

constexpr int kGerman = 0;
constexpr int kEnglish = 1000;

// The entry of exactly that id; empty for an id without one.
std::string_view CatalogueText(int id);

// Every id the catalogue holds, ascending.
std::vector<int> CatalogueIds();

// The language from the user's "Locale" value (an 8-digit LCID): German for the German
// locales (compared without regard to case) and for a value that could not be read, English
// for every other.
int LanguageOffsetFor(const std::optional<std::string>& locale);

}  // namespace app
