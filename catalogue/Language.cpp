#include "catalogue/Language.h"

#include <optional>
#include <string>

#include "catalogue/MessageCatalogue.h"
#include "settings/MiniReg.h"

namespace app {

int DecideLanguage() {
    std::string locale;
    if (!ReadRegString(Root::CurrentUser, "Control Panel\\International\\Locale", locale)) {
        return LanguageOffsetFor(std::nullopt);
    }
    return LanguageOffsetFor(locale);
}

}  // namespace app
