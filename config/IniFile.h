// An INI file read and edited by the rules of the private-profile functions:
//
// - "[name]" starts a section (the name is the text up to the last "]", trimmed); other
//   lines are key=value, split at the first "=", key and value trimmed; a line without
//   "=" is a key without a value; lines starting with ";" are comments; lines before the
//   first section belong to no section.
// - Section and key names compare without regard to ASCII case. A section that occurs
//   twice is read as one (its parts in file order); when a key occurs twice the first
//   occurrence counts.
// - Values are read as written (trimmed): no escapes, no quote removal.
// - A write replaces the value of the key's first occurrence in place (the key keeps its
//   spelling), else adds the key after the last key of the section, else adds the section
//   at the end of the file. Everything else (unknown keys and sections, comments, blank
//   lines, line order, the line breaks of untouched lines) stays as it was.
// - Encoding: a file that starts with a UTF-16LE byte-order mark is decoded and written
//   back as UTF-16LE with the mark; a file with a UTF-8 mark keeps it; any other file is
//   taken byte for byte (UTF-8 for text this program writes). A new file is UTF-8 without
//   a mark.
// - Line breaks: new lines take the break of the file's first line (CRLF or LF); a new
//   file uses LF.
// - Saving replaces the file atomically (temporary file + rename). A file that was read
//   only in part (larger than kMaxFileSize), could not be read, or would not be written
//   back byte for byte as read, is never saved over: save() returns false.
//
// Keys cannot hold "=" or line breaks, and keys and values lose surrounding blanks and
// line breaks; escapeKey/unescapeKey give such texts (folder names on Linux may hold any
// of these) a quoted form, for keys and for values alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelidor {

class IniFile {
public:
    enum class Encoding { Utf8, Utf8Bom, Utf16LE };
    enum class LoadState { Missing, Loaded, Unreadable };
    using Entry = std::pair<std::string, std::string>; // key, value

    // Files are read up to this size; larger ones load in part and are not saved over.
    static constexpr size_t kMaxFileSize = size_t{16} << 20;

    IniFile() = default;
    explicit IniFile(const std::string& fileName) { load(fileName); }

    // Reads the file. A missing file gives an empty one (saved as a new file); a file
    // that cannot be read (not a regular file, no access) gives an empty one that
    // save() refuses to write. False only in that last case.
    bool load(const std::string& fileName);
    // Takes the content from memory (the file name stays; state becomes Loaded).
    void loadFromBytes(std::string_view bytes);

    const std::string& fileName() const { return fileName_; }
    LoadState state() const { return state_; }
    Encoding encoding() const { return encoding_; }
    // "\r\n" or "\n": the break given to new lines.
    const std::string& lineBreak() const { return lineBreak_; }
    // False when a save would lose content that the file holds.
    bool canSave() const { return state_ != LoadState::Unreadable && complete_; }
    bool modified() const { return modified_; }

    // Section names in file order (each name once).
    std::vector<std::string> sections() const;
    bool sectionExists(std::string_view section) const;
    bool valueExists(std::string_view section, std::string_view key) const;
    // Every key line of the section in file order, duplicates included.
    std::vector<Entry> sectionEntries(std::string_view section) const;
    std::vector<std::string> sectionKeys(std::string_view section) const;

    // The value of the key's first occurrence, or `def` when the key is missing.
    std::string readString(std::string_view section, std::string_view key,
                           const std::string& def) const;
    // The value as a number (see parseInteger), or `def` when missing or not a number.
    int32_t readInteger(std::string_view section, std::string_view key, int32_t def) const;
    int64_t readInt64(std::string_view section, std::string_view key, int64_t def) const;
    // readInteger(section, key, def ? 1 : 0) != 0.
    bool readBool(std::string_view section, std::string_view key, bool def) const;

    // Line breaks in names and values are written as blanks (they would start new lines).
    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int32_t value);
    void writeInt64(std::string_view section, std::string_view key, int64_t value);
    void writeBool(std::string_view section, std::string_view key, bool value);
    void deleteKey(std::string_view section, std::string_view key);
    // Removes every part of the section: its header and its lines up to its last key (a
    // comment block after the last key stays, it usually belongs to the next section).
    void eraseSection(std::string_view section);
    // eraseSection, then the section written anew, at the place of its first part (or at
    // the end), with one line per entry in order; duplicates are kept. No entries: the
    // section is only erased.
    void replaceSection(std::string_view section, const std::vector<Entry>& entries);

    // The file's content as it would be saved.
    std::string toBytes() const;
    // Writes the content to fileName() atomically. False (the file untouched) when
    // canSave() is false or writing fails.
    bool save();

    // Integer text: optional sign, then decimal digits, or hexadecimal digits after "$" or
    // "0x"; nothing else. Decimal values must fit the range; hexadecimal ones may use all
    // the bits of the width (as the two's complement: "$FFFFFFFF" is -1 for 32 bits).
    static bool parseInteger(std::string_view text, int bits, int64_t& out);

    // A key in a form the file keeps: unchanged when it can be written as is, else quoted
    // with percent escapes ("\"/data/a%3Db\"" for "/data/a=b"). unescapeKey reverses it
    // (and leaves keys that are not in the quoted form as they are).
    static std::string escapeKey(std::string_view key);
    static std::string unescapeKey(std::string_view key);

private:
    enum class Kind : uint8_t { Blank, Comment, Section, Key };
    struct Line {
        std::string text; // without the line break, UTF-8 for UTF-16 files
        std::string eol;  // "\r\n", "\n" or "" (last line)
        Kind kind = Kind::Blank;
        std::string name;  // section or key name, trimmed
        std::string value; // key value, trimmed
    };

    static Line makeLine(std::string text, std::string eol);
    void parse(std::string_view bytes);
    // The first key line of the section, or npos.
    size_t findKey(std::string_view section, std::string_view key) const;
    // Index of the first header of the section, or npos.
    size_t findSection(std::string_view section) const;
    void insertLines(size_t at, std::vector<Line> lines);
    void appendSection(std::string_view section, std::vector<Line> lines);
    Line keyLine(std::string_view key, std::string_view value) const;

    std::string fileName_;
    LoadState state_ = LoadState::Missing;
    Encoding encoding_ = Encoding::Utf8;
    std::string lineBreak_ = "\n";
    std::vector<Line> lines_;
    std::string oddByte_; // a UTF-16 file's last byte when its length is odd
    bool complete_ = true;
    bool modified_ = false;
};

} // namespace pelidor
