// Language packs: the translated texts and the window font of the active language.
//
// Language files live in the language folder (the executable's folder + "Languages/",
// or <prefix>/share/pelidor/Languages/ for an installed program); a language is named
// by its file's base name ("English"). "English.ini" is the fallback for every key the
// active file lacks. Lookups are safe while another thread switches the language: the
// tables are replaced, never edited while in use.
#pragma once

#include <string>
#include <vector>

namespace pelidor {

// The translated text of Ident in Section: the active file, then English.ini (the copy
// built into the program when the file cannot be read), then Default.
std::string ReadLangString(const std::string& Section, const std::string& Ident,
                           const std::string& Default = std::string());

// Makes the language with base name Lang active (English when its file is missing).
void SelectLanguage(const std::string& Lang);
// Full path of the active language file (empty before the first SelectLanguage).
std::string LangFile();

// The base name of the first language file (folder order) whose "LangCode" lists the
// user's interface language (LC_ALL, LC_MESSAGES, LANG; LangCodes.h); else of the first
// that lists the same language for another region; else "English".
std::string GetDefaultLanguage();
// "NativeLanguage" of a language file, or its base name when the file, the key or its
// value is missing.
std::string GetNativeLanguage(const std::string& BaseName);
// One line "native name=base name" per language file ("*.ini", suffix in lower case), in
// folder order: by base name with the ASCII letters folded, then byte by byte (the
// order an NTFS listing gives).
void GetLanguageList(std::vector<std::string>& List);

// The window font of the active language file, read from the file on each call.
// Character set: the number of "DefaultCharSet" (see LangCodes.h), ANSI_CHARSET when
// the key is missing, DEFAULT_CHARSET when the name is unknown or the file is missing.
int GetLangCharset();
// "DefaultFont"; "Tahoma" when the file, the key or its value is missing.
std::string GetLangFontName();
// "DefaultFontSize" in points; 8 when missing, not a number or not in 1..kMaxLangFontSize.
int GetLangFontSize();
inline constexpr int kMaxLangFontSize = 200;

// The folder the language files are read from, with a trailing separator.
std::string LanguageFolder();
// Points the lookup at another folder (tests, portable installs); empty text goes back
// to the folder beside the executable or the installed one. Forgets the active file and
// both tables: call SelectLanguage again afterwards.
void SetLanguageFolder(const std::string& Folder);

} // namespace pelidor
