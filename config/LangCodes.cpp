#include "config/LangCodes.h"

#include <array>
#include <cstdio>
#if defined(_WIN32)
#include <windows.h>
#endif

#include "config/LangTable.h"
#include "platform/Environment.h"

namespace pelidor {
namespace {

struct LocaleId {
    std::string_view language; // lower case, with "@modifier" where the script matters
    std::string_view region;   // upper case; empty = the language's usual identifier
    uint16_t id;
};

// clang-format off
constexpr LocaleId kLocaleIds[] = {
    // The usual identifier of each language.
    {"af", "", 0x0436}, {"am", "", 0x045E}, {"ar", "", 0x0401}, {"az", "", 0x042C},
    {"be", "", 0x0423}, {"bg", "", 0x0402}, {"bn", "", 0x0445}, {"bs", "", 0x141A},
    {"ca", "", 0x0403}, {"cs", "", 0x0405}, {"cy", "", 0x0452}, {"da", "", 0x0406},
    {"de", "", 0x0407}, {"el", "", 0x0408}, {"en", "", 0x0409}, {"es", "", 0x0C0A},
    {"et", "", 0x0425}, {"eu", "", 0x042D}, {"fa", "", 0x0429}, {"fi", "", 0x040B},
    {"fil", "", 0x0464}, {"fo", "", 0x0438}, {"fr", "", 0x040C}, {"fy", "", 0x0462},
    {"ga", "", 0x083C}, {"gd", "", 0x0491}, {"gl", "", 0x0456}, {"gu", "", 0x0447},
    {"he", "", 0x040D}, {"iw", "", 0x040D}, {"hi", "", 0x0439}, {"hr", "", 0x041A},
    {"hu", "", 0x040E}, {"hy", "", 0x042B}, {"id", "", 0x0421}, {"in", "", 0x0421},
    {"is", "", 0x040F}, {"it", "", 0x0410}, {"ja", "", 0x0411}, {"ka", "", 0x0437},
    {"kk", "", 0x043F}, {"km", "", 0x0453}, {"kn", "", 0x044B}, {"ko", "", 0x0412},
    {"ky", "", 0x0440}, {"lb", "", 0x046E}, {"lo", "", 0x0454}, {"lt", "", 0x0427},
    {"lv", "", 0x0426}, {"mk", "", 0x042F}, {"ml", "", 0x044C}, {"mn", "", 0x0450},
    {"mr", "", 0x044E}, {"ms", "", 0x043E}, {"mt", "", 0x043A}, {"nb", "", 0x0414},
    {"ne", "", 0x0461}, {"nl", "", 0x0413}, {"nn", "", 0x0814}, {"no", "", 0x0414},
    {"pa", "", 0x0446}, {"pl", "", 0x0415}, {"ps", "", 0x0463}, {"pt", "", 0x0416},
    {"rm", "", 0x0417}, {"ro", "", 0x0418}, {"ru", "", 0x0419}, {"si", "", 0x045B},
    {"sk", "", 0x041B}, {"sl", "", 0x0424}, {"sq", "", 0x041C}, {"sr", "", 0x281A},
    {"sr@latin", "", 0x241A}, {"sv", "", 0x041D}, {"sw", "", 0x0441}, {"ta", "", 0x0449},
    {"te", "", 0x044A}, {"tg", "", 0x0428}, {"th", "", 0x041E}, {"tk", "", 0x0442},
    {"tr", "", 0x041F}, {"tt", "", 0x0444}, {"uk", "", 0x0422}, {"ur", "", 0x0420},
    {"uz", "", 0x0443}, {"uz@cyrillic", "", 0x0843}, {"vi", "", 0x042A}, {"zh", "", 0x0804},
    // Regions with their own identifier.
    {"ar", "IQ", 0x0801}, {"ar", "EG", 0x0C01}, {"ar", "LY", 0x1001}, {"ar", "DZ", 0x1401},
    {"ar", "MA", 0x1801}, {"ar", "TN", 0x1C01}, {"ar", "OM", 0x2001}, {"ar", "YE", 0x2401},
    {"ar", "SY", 0x2801}, {"ar", "JO", 0x2C01}, {"ar", "LB", 0x3001}, {"ar", "KW", 0x3401},
    {"ar", "AE", 0x3801}, {"ar", "BH", 0x3C01}, {"ar", "QA", 0x4001},
    {"bn", "BD", 0x0845},
    {"de", "CH", 0x0807}, {"de", "AT", 0x0C07}, {"de", "LU", 0x1007}, {"de", "LI", 0x1407},
    {"en", "GB", 0x0809}, {"en", "AU", 0x0C09}, {"en", "CA", 0x1009}, {"en", "NZ", 0x1409},
    {"en", "IE", 0x1809}, {"en", "ZA", 0x1C09}, {"en", "JM", 0x2009}, {"en", "BZ", 0x2809},
    {"en", "TT", 0x2C09}, {"en", "ZW", 0x3009}, {"en", "PH", 0x3409}, {"en", "IN", 0x4009},
    {"en", "MY", 0x4409}, {"en", "SG", 0x4809},
    {"es", "MX", 0x080A}, {"es", "GT", 0x100A}, {"es", "CR", 0x140A}, {"es", "PA", 0x180A},
    {"es", "DO", 0x1C0A}, {"es", "VE", 0x200A}, {"es", "CO", 0x240A}, {"es", "PE", 0x280A},
    {"es", "AR", 0x2C0A}, {"es", "EC", 0x300A}, {"es", "CL", 0x340A}, {"es", "UY", 0x380A},
    {"es", "PY", 0x3C0A}, {"es", "BO", 0x400A}, {"es", "SV", 0x440A}, {"es", "HN", 0x480A},
    {"es", "NI", 0x4C0A}, {"es", "PR", 0x500A}, {"es", "US", 0x540A},
    {"fr", "BE", 0x080C}, {"fr", "CA", 0x0C0C}, {"fr", "CH", 0x100C}, {"fr", "LU", 0x140C},
    {"fr", "MC", 0x180C},
    {"hr", "BA", 0x101A},
    {"it", "CH", 0x0810},
    {"ms", "BN", 0x083E},
    {"nl", "BE", 0x0813},
    {"pt", "PT", 0x0816},
    {"ro", "MD", 0x0818},
    {"ru", "MD", 0x0819},
    {"sr", "ME", 0x301A}, {"sr@latin", "ME", 0x2C1A}, {"sr", "BA", 0x1C1A},
    {"sr@latin", "BA", 0x181A},
    {"sv", "FI", 0x081D},
    {"ta", "LK", 0x0849},
    {"ur", "IN", 0x0820},
    {"zh", "TW", 0x0404}, {"zh", "HK", 0x0C04}, {"zh", "SG", 0x1004}, {"zh", "MO", 0x1404},
};

constexpr std::array<FontCharset, 18> kCharsets = {{
    {"ANSI_CHARSET", 0},        {"DEFAULT_CHARSET", 1},     {"SYMBOL_CHARSET", 2},
    {"MAC_CHARSET", 77},        {"SHIFTJIS_CHARSET", 128},  {"HANGEUL_CHARSET", 129},
    {"JOHAB_CHARSET", 130},     {"GB2312_CHARSET", 134},    {"CHINESEBIG5_CHARSET", 136},
    {"GREEK_CHARSET", 161},     {"TURKISH_CHARSET", 162},   {"HEBREW_CHARSET", 177},
    {"ARABIC_CHARSET", 178},    {"BALTIC_CHARSET", 186},    {"RUSSIAN_CHARSET", 204},
    {"THAI_CHARSET", 222},      {"EASTEUROPE_CHARSET", 238}, {"OEM_CHARSET", 255},
}};
// clang-format on

std::optional<uint16_t> findLocaleId(std::string_view language, std::string_view region) {
    for (const LocaleId& entry : kLocaleIds) {
        if (entry.language == language && entry.region == region)
            return entry.id;
    }
    return std::nullopt;
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Croatian, Serbian and Bosnian share the primary language 0x1A.
int serboCroatianGroup(uint16_t id) {
    switch (id) {
    case 0x041A:
    case 0x101A:
        return 1; // Croatian
    case 0x141A:
    case 0x201A:
        return 3; // Bosnian
    default:
        return 2; // Serbian, Latin or Cyrillic
    }
}

bool traditionalChinese(uint16_t id) {
    return id == 0x0404 || id == 0x0C04 || id == 0x1404;
}

} // namespace

uint16_t langIdFromLocale(std::string_view locale) {
    // language[_REGION][.codeset][@modifier]; "-" is taken as "_" too.
    const std::size_t at = locale.find('@');
    const std::string_view modifier =
        at == std::string_view::npos ? std::string_view() : locale.substr(at + 1);
    const std::string_view name = locale.substr(0, std::min(locale.find('.'), at));
    if (locale.empty() || name == "C" || name == "POSIX")
        return 0x0409;
    if (name.empty())
        return 0;
    const std::size_t sep = name.find_first_of("_-");
    const std::string language = foldLangName(name.substr(0, sep));
    std::string region;
    if (sep != std::string_view::npos) {
        for (char c : name.substr(sep + 1, name.find_first_of("_-", sep + 1) - sep - 1))
            region.push_back(upper(c));
    }
    std::string scripted = language;
    if (modifier == "latin" || modifier == "cyrillic")
        scripted += "@" + std::string(modifier);
    for (const std::string& lang : {scripted, language}) {
        if (const auto id = findLocaleId(lang, region))
            return *id;
        if (const auto id = findLocaleId(lang, ""))
            return *id;
    }
    return 0;
}

uint16_t userInterfaceLanguageId() {
#if defined(_WIN32)
    // The language of the user's Windows interface.
    return GetUserDefaultUILanguage();
#endif
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::string value = platform::getEnv(name);
        if (!value.empty())
            return langIdFromLocale(value);
    }
    return 0x0409;
}

std::string langIdText(uint16_t id) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", static_cast<unsigned>(id));
    return text;
}

bool sameLanguage(uint16_t a, uint16_t b) {
    const uint16_t primary = a & 0x3FF;
    if (primary != (b & 0x3FF) || primary == 0)
        return false;
    if (primary == 0x04)
        return traditionalChinese(a) == traditionalChinese(b);
    if (primary == 0x1A)
        return serboCroatianGroup(a) == serboCroatianGroup(b);
    return true;
}

std::span<const FontCharset> fontCharsets() {
    return kCharsets;
}

std::optional<int> fontCharsetFromName(std::string_view name) {
    const std::string folded = foldLangName(name);
    for (const FontCharset& cs : kCharsets) {
        if (foldLangName(cs.name) == folded)
            return cs.number;
    }
    return std::nullopt;
}

std::string fontCharsetName(int number) {
    for (const FontCharset& cs : kCharsets) {
        if (cs.number == number)
            return cs.name;
    }
    return {};
}

} // namespace pelidor
