// Windows language identifiers for the user's locale, and the font character sets
// that language files name.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pelidor {

// The Windows language identifier (primary language in the low 10 bits, region in
// the high 6) of a POSIX locale name such as "de_AT.UTF-8@euro" or "sr_RS@latin".
// A known language with an unknown or missing region gives the language's usual
// identifier ("de_LI" and "de" give 0407, "es" 0C0A, "zh" 0804); empty text, "C" and
// "POSIX" give 0409; an unknown language gives 0.
uint16_t langIdFromLocale(std::string_view locale);

// The user's interface language: the first non-empty of LC_ALL, LC_MESSAGES and LANG,
// mapped by langIdFromLocale; 0409 when none is set. On Windows the language of the
// user's Windows interface (GetUserDefaultUILanguage).
uint16_t userInterfaceLanguageId();

// The identifier as 4 upper-case hexadecimal digits ("0C0A").
std::string langIdText(uint16_t id);

// True when two identifiers name the same language in different regions: the same
// primary language, except that Traditional (0404, 0C04, 1404) and Simplified (0804,
// 1004) Chinese differ, and Croatian, Serbian and Bosnian (which share a primary
// language) differ.
bool sameLanguage(uint16_t a, uint16_t b);

// A font character set: its Windows name and number.
struct FontCharset {
    const char* name;
    int number;
};

inline constexpr int kAnsiCharset = 0;
inline constexpr int kDefaultCharset = 1;

// The 18 character sets a language file may name, ANSI_CHARSET first.
std::span<const FontCharset> fontCharsets();
// The number of a character-set name (letters without regard to case).
std::optional<int> fontCharsetFromName(std::string_view name);
// The name of a character-set number, or empty text when it has none.
std::string fontCharsetName(int number);

} // namespace pelidor
