// The language-file reader: text decoding and the section/key table.
//
// A language file is read in one of two ways:
//  - as a translation table (LangRead::Table): UTF-16LE with or without a byte-order
//    mark, UTF-8 with a mark, or plain UTF-8; without a mark the encoding is told from
//    the bytes (UTF-16LE text has NUL bytes at odd offsets, UTF-8 text has none);
//  - as a profile (LangRead::Profile), the way a single attribute (font, native name,
//    language codes) is read: UTF-16LE only when the file starts with its mark, else
//    UTF-8 (a UTF-8 mark is skipped). A UTF-16LE file without a mark yields nothing.
//
// Syntax: every line is trimmed of surrounding characters up to U+0020 (blanks and
// control characters); empty lines and lines starting with ";" are skipped; "[name]"
// starts a section (name trimmed); other lines are key=value split at the first "=",
// both sides trimmed; lines before the first section and lines without "=" are
// skipped. Section and key names match with only the ASCII letters folded to one
// case. The first occurrence of a key in a section wins, also when the section occurs
// twice (the blocks are merged). Values are kept as written: no escapes, no quotes.
//
// Bad input never fails: an odd trailing byte is dropped, lone surrogates and invalid
// UTF-8 sequences become U+FFFD, and only the first kLangFileCap bytes are read.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace pelidor {

enum class LangRead { Table, Profile };

// The most bytes of a language file that are read.
inline constexpr std::size_t kLangFileCap = 8u * 1024u * 1024u;

// The file's bytes decoded to UTF-8, the byte-order mark removed.
std::string decodeLangText(std::string_view bytes, LangRead mode);

// The parsed content of one language file. Immutable once built.
class LangTable {
public:
    // Parses raw file bytes (decoded as `mode` says).
    static LangTable parse(std::string_view bytes, LangRead mode);
    // Reads and parses a file; nullptr when it does not exist or cannot be read.
    static std::shared_ptr<const LangTable> load(const std::string& path, LangRead mode);

    // The value of Key in Section, or nullptr when either is missing.
    const std::string* find(std::string_view section, std::string_view key) const;
    // The value, or `fallback` when the key is missing.
    std::string value(std::string_view section, std::string_view key,
                      const std::string& fallback = std::string()) const;

    std::size_t sectionCount() const { return sections_.size(); }
    std::size_t keyCount() const;

private:
    using Section = std::unordered_map<std::string, std::string>; // folded key -> value
    std::unordered_map<std::string, Section> sections_;           // folded name -> keys
};

// Reads one value the profile way from the file (read on each call); `fallback` when
// the file or the key is missing.
std::string readProfileString(const std::string& path, std::string_view section,
                              std::string_view key, const std::string& fallback);

// True when `path` names an existing regular file (links followed).
bool langFileExists(const std::string& path);

// The name with the ASCII letters A..Z folded to a..z.
std::string foldLangName(std::string_view name);

} // namespace pelidor
