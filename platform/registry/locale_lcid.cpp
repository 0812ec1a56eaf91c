#include "platform/registry/locale_lcid.h"

#include <array>

#include "platform/registry/hive.h"

namespace platform::registry {

namespace {

struct Language {
    std::string_view code;
    std::uint32_t lcid;  // the language's main locale
};

struct Region {
    std::string_view language;
    std::string_view territory;
    std::uint32_t lcid;
};

constexpr std::array kLanguages{
    Language{"af", 0x0436}, Language{"ar", 0x0401}, Language{"be", 0x0423}, Language{"bg", 0x0402},
    Language{"ca", 0x0403}, Language{"cs", 0x0405}, Language{"cy", 0x0452}, Language{"da", 0x0406},
    Language{"de", 0x0407}, Language{"el", 0x0408}, Language{"en", 0x0409}, Language{"es", 0x0C0A},
    Language{"et", 0x0425}, Language{"eu", 0x042D}, Language{"fa", 0x0429}, Language{"fi", 0x040B},
    Language{"fo", 0x0438}, Language{"fr", 0x040C}, Language{"gl", 0x0456}, Language{"he", 0x040D},
    Language{"hi", 0x0439}, Language{"hr", 0x041A}, Language{"hu", 0x040E}, Language{"hy", 0x042B},
    Language{"id", 0x0421}, Language{"is", 0x040F}, Language{"it", 0x0410}, Language{"ja", 0x0411},
    Language{"ka", 0x0437}, Language{"kk", 0x043F}, Language{"ko", 0x0412}, Language{"lb", 0x046E},
    Language{"lt", 0x0427}, Language{"lv", 0x0426}, Language{"mk", 0x042F}, Language{"ms", 0x043E},
    Language{"mt", 0x043A}, Language{"nb", 0x0414}, Language{"nl", 0x0413}, Language{"nn", 0x0814},
    Language{"no", 0x0414}, Language{"pl", 0x0415}, Language{"pt", 0x0416}, Language{"rm", 0x0417},
    Language{"ro", 0x0418}, Language{"ru", 0x0419}, Language{"sk", 0x041B}, Language{"sl", 0x0424},
    Language{"sq", 0x041C}, Language{"sv", 0x041D}, Language{"sw", 0x0441}, Language{"th", 0x041E},
    Language{"tr", 0x041F}, Language{"uk", 0x0422}, Language{"ur", 0x0420}, Language{"vi", 0x042A},
    Language{"zh", 0x0804},
};

constexpr std::array kRegions{
    Region{"de", "DE", 0x0407}, Region{"de", "CH", 0x0807}, Region{"de", "AT", 0x0C07},
    Region{"de", "LU", 0x1007}, Region{"de", "LI", 0x1407},

    Region{"en", "US", 0x0409}, Region{"en", "GB", 0x0809}, Region{"en", "AU", 0x0C09},
    Region{"en", "CA", 0x1009}, Region{"en", "NZ", 0x1409}, Region{"en", "IE", 0x1809},
    Region{"en", "ZA", 0x1C09}, Region{"en", "JM", 0x2009}, Region{"en", "BZ", 0x2809},
    Region{"en", "TT", 0x2C09}, Region{"en", "ZW", 0x3009}, Region{"en", "PH", 0x3409},
    Region{"en", "IN", 0x4009}, Region{"en", "MY", 0x4409}, Region{"en", "SG", 0x4809},

    Region{"fr", "FR", 0x040C}, Region{"fr", "BE", 0x080C}, Region{"fr", "CA", 0x0C0C},
    Region{"fr", "CH", 0x100C}, Region{"fr", "LU", 0x140C}, Region{"fr", "MC", 0x180C},

    Region{"it", "IT", 0x0410}, Region{"it", "CH", 0x0810}, Region{"nl", "NL", 0x0413},
    Region{"nl", "BE", 0x0813}, Region{"pt", "BR", 0x0416}, Region{"pt", "PT", 0x0816},
    Region{"sv", "SE", 0x041D}, Region{"sv", "FI", 0x081D}, Region{"ro", "RO", 0x0418},
    Region{"ro", "MD", 0x0818}, Region{"ru", "RU", 0x0419}, Region{"ru", "MD", 0x0819},

    Region{"es", "ES", 0x0C0A}, Region{"es", "MX", 0x080A}, Region{"es", "GT", 0x100A},
    Region{"es", "CR", 0x140A}, Region{"es", "PA", 0x180A}, Region{"es", "DO", 0x1C0A},
    Region{"es", "VE", 0x200A}, Region{"es", "CO", 0x240A}, Region{"es", "PE", 0x280A},
    Region{"es", "AR", 0x2C0A}, Region{"es", "EC", 0x300A}, Region{"es", "CL", 0x340A},
    Region{"es", "UY", 0x380A}, Region{"es", "PY", 0x3C0A}, Region{"es", "BO", 0x400A},
    Region{"es", "SV", 0x440A}, Region{"es", "HN", 0x480A}, Region{"es", "NI", 0x4C0A},
    Region{"es", "PR", 0x500A}, Region{"es", "US", 0x540A},

    Region{"zh", "TW", 0x0404}, Region{"zh", "CN", 0x0804}, Region{"zh", "HK", 0x0C04},
    Region{"zh", "SG", 0x1004}, Region{"zh", "MO", 0x1404},

    Region{"ar", "SA", 0x0401}, Region{"ar", "IQ", 0x0801}, Region{"ar", "EG", 0x0C01},
    Region{"ar", "LY", 0x1001}, Region{"ar", "DZ", 0x1401}, Region{"ar", "MA", 0x1801},
    Region{"ar", "TN", 0x1C01}, Region{"ar", "OM", 0x2001}, Region{"ar", "YE", 0x2401},
    Region{"ar", "SY", 0x2801}, Region{"ar", "JO", 0x2C01}, Region{"ar", "LB", 0x3001},
    Region{"ar", "KW", 0x3401}, Region{"ar", "AE", 0x3801}, Region{"ar", "BH", 0x3C01},
    Region{"ar", "QA", 0x4001},
};

}  // namespace

std::string_view EffectiveLocale(std::string_view lcAll, std::string_view lcMessages,
                                 std::string_view lang) {
    for (std::string_view name : {lcAll, lcMessages, lang}) {
        if (!name.empty()) return name;
    }
    return {};
}

std::uint32_t LcidForLocale(std::string_view posixLocale) {
    const std::string_view name = posixLocale.substr(0, posixLocale.find_first_of(".@"));
    const std::size_t underscore = name.find('_');
    const std::string_view language = name.substr(0, underscore);
    const std::string_view territory =
        underscore == std::string_view::npos ? std::string_view() : name.substr(underscore + 1);
    for (const Region& region : kRegions) {
        if (NamesEqual(region.language, language) && NamesEqual(region.territory, territory)) {
            return region.lcid;
        }
    }
    for (const Language& known : kLanguages) {
        if (NamesEqual(known.code, language)) return known.lcid;
    }
    return kLcidEnglishUs;
}

std::string LcidText(std::uint32_t lcid) {
    constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(8, '0');
    for (std::size_t i = 8; i-- > 0; lcid >>= 4) text[i] = kDigits[lcid & 0x0F];
    return text;
}

}  // namespace platform::registry
