#include "config/IniFile.h"

#include "config/Utf8.h"

#include "platform/Registry.h"

#include <algorithm>

namespace pelidor {
namespace {

constexpr size_t npos = std::string::npos;

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string withoutLineBreaks(std::string_view s) {
    std::string out(s);
    std::replace(out.begin(), out.end(), '\n', ' ');
    std::replace(out.begin(), out.end(), '\r', ' ');
    return out;
}

// UTF-16LE to UTF-8 without losing anything: a lone surrogate U+DC80..U+DCFF stands for
// the byte 0x80..0xFF (that is how encodeUtf16 writes bytes that are not UTF-8), other
// lone surrogates are kept in the 3-byte form.
std::string decodeUtf16(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](size_t i) {
        return static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]) |
                                     (static_cast<unsigned char>(bytes[i + 1]) << 8));
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            const uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xDC80 && u <= 0xDCFF)
            out.push_back(static_cast<char>(u - 0xDC00));
        else
            appendUtf8(out, u);
    }
    return out;
}

// The length of the UTF-8 sequence at s[i] and its code point; 0 when the bytes there
// do not form one (3-byte surrogate forms are accepted, see decodeUtf16).
size_t utf8Sequence(std::string_view s, size_t i, uint32_t& cp) {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const auto cont = [&](size_t k) { return i + k < s.size() && (b(k) & 0xC0) == 0x80; };
    const unsigned char c = b(0);
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    if (c >= 0xC2 && c <= 0xDF && cont(1)) {
        cp = ((c & 0x1Fu) << 6) | (b(1) & 0x3Fu);
        return 2;
    }
    if (c >= 0xE0 && c <= 0xEF && cont(1) && cont(2) && !(c == 0xE0 && b(1) < 0xA0)) {
        cp = ((c & 0x0Fu) << 12) | ((b(1) & 0x3Fu) << 6) | (b(2) & 0x3Fu);
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4 && cont(1) && cont(2) && cont(3) && !(c == 0xF0 && b(1) < 0x90) &&
        !(c == 0xF4 && b(1) > 0x8F)) {
        cp = ((c & 0x07u) << 18) | ((b(1) & 0x3Fu) << 12) | ((b(2) & 0x3Fu) << 6) | (b(3) & 0x3Fu);
        return 4;
    }
    return 0;
}

std::string encodeUtf16(std::string_view s) {
    std::string out;
    out.reserve(s.size() * 2);
    auto put = [&](uint32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    };
    const auto isHigh = [](size_t n, uint32_t cp) {
        return n == 3 && cp >= 0xD800 && cp <= 0xDBFF;
    };
    for (size_t i = 0; i < s.size();) {
        uint32_t cp = 0;
        const size_t n = utf8Sequence(s, i, cp);
        if (isHigh(n, cp)) {
            // A run of high surrogates in their 3-byte form. Followed by a low surrogate
            // (its 3-byte form or an escaped byte), the last one would be read back paired
            // with it as another character: then the whole run is written as escaped bytes.
            size_t end = i + 3;
            uint32_t next = 0;
            size_t m = 0;
            while (end < s.size()) {
                m = utf8Sequence(s, end, next);
                if (!isHigh(m, next))
                    break;
                end += 3;
            }
            const bool escape =
                end < s.size() && (m == 0 || (m == 3 && next >= 0xDC00 && next <= 0xDFFF));
            for (; i < end; i += 3) {
                if (escape) {
                    for (size_t k = 0; k < 3; ++k)
                        put(0xDC00 + static_cast<unsigned char>(s[i + k]));
                } else {
                    utf8Sequence(s, i, next);
                    put(next);
                }
            }
            continue;
        }
        // U+DC80..U+DCFF stand for escaped bytes in the file: their own 3-byte forms are
        // escaped too, byte by byte.
        if (n == 0 || (n == 3 && cp >= 0xDC80 && cp <= 0xDCFF)) {
            put(0xDC00 + static_cast<unsigned char>(s[i]));
            ++i;
            continue;
        }
        i += n;
        if (cp >= 0x10000) {
            put(0xD800 + ((cp - 0x10000) >> 10));
            put(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = asciiLower(c);
    return (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
}

} // namespace

IniFile::Line IniFile::makeLine(std::string text, std::string eol) {
    Line line;
    line.text = std::move(text);
    line.eol = std::move(eol);
    const auto t = trimmed(line.text);
    if (t.empty()) {
        line.kind = Kind::Blank;
    } else if (t.front() == ';') {
        line.kind = Kind::Comment;
    } else if (t.front() == '[' && t.find(']') != std::string_view::npos) {
        line.kind = Kind::Section;
        line.name = trimmed(t.substr(1, t.rfind(']') - 1));
    } else {
        line.kind = Kind::Key;
        const auto eq = t.find('=');
        line.name = trimmed(t.substr(0, eq));
        if (eq != std::string_view::npos)
            line.value = trimmed(t.substr(eq + 1));
    }
    return line;
}

bool IniFile::load(const std::string& fileName) {
    fileName_ = fileName;
    std::string bytes;
    bool truncated = false;
    switch (platform::readFileBounded(fileName, kMaxFileSize, bytes, truncated)) {
    case platform::FileReadResult::Missing:
        parse({});
        state_ = LoadState::Missing;
        return true;
    case platform::FileReadResult::Failed:
        parse({});
        state_ = LoadState::Unreadable;
        return false;
    case platform::FileReadResult::Ok:
        break;
    }
    parse(bytes);
    state_ = LoadState::Loaded;
    complete_ = complete_ && !truncated;
    return true;
}

void IniFile::loadFromBytes(std::string_view bytes) {
    parse(bytes);
    state_ = LoadState::Loaded;
}

void IniFile::parse(std::string_view bytes) {
    lines_.clear();
    oddByte_.clear();
    modified_ = false;
    lineBreak_ = "\n";
    std::string text;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        encoding_ = Encoding::Utf16LE;
        bytes.remove_prefix(2);
        if (bytes.size() % 2 != 0)
            oddByte_.assign(bytes.substr(bytes.size() - 1));
        text = decodeUtf16(bytes);
    } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        encoding_ = Encoding::Utf8Bom;
        text.assign(bytes.substr(3));
    } else {
        encoding_ = Encoding::Utf8;
        text.assign(bytes);
    }
    bool firstBreak = true;
    for (size_t pos = 0; pos < text.size();) {
        const size_t nl = text.find('\n', pos);
        if (nl == npos) {
            lines_.push_back(makeLine(text.substr(pos), {}));
            break;
        }
        const bool crlf = nl > pos && text[nl - 1] == '\r';
        const size_t end = crlf ? nl - 1 : nl;
        lines_.push_back(makeLine(text.substr(pos, end - pos), crlf ? "\r\n" : "\n"));
        if (firstBreak) {
            lineBreak_ = lines_.back().eol;
            firstBreak = false;
        }
        pos = nl + 1;
    }
    // Whatever cannot be written back exactly as read (a UTF-16 file whose escaped bytes
    // happen to form UTF-8) is kept from being saved over.
    complete_ = encoding_ != Encoding::Utf16LE || toBytes() == "\xFF\xFE" + std::string(bytes);
}

std::string IniFile::toBytes() const {
    std::string text;
    for (const auto& line : lines_) {
        text += line.text;
        text += line.eol;
    }
    switch (encoding_) {
    case Encoding::Utf16LE:
        return "\xFF\xFE" + encodeUtf16(text) + oddByte_;
    case Encoding::Utf8Bom:
        return "\xEF\xBB\xBF" + text;
    case Encoding::Utf8:
        break;
    }
    return text;
}

bool IniFile::save() {
    if (!canSave() || fileName_.empty())
        return false;
    if (!platform::replaceFileAtomically(fileName_, toBytes(), 0600))
        return false;
    state_ = LoadState::Loaded;
    modified_ = false;
    return true;
}

std::vector<std::string> IniFile::sections() const {
    std::vector<std::string> names;
    for (const auto& line : lines_)
        if (line.kind == Kind::Section &&
            std::none_of(names.begin(), names.end(),
                         [&](const std::string& n) { return sameName(n, line.name); }))
            names.push_back(line.name);
    return names;
}

size_t IniFile::findSection(std::string_view section) const {
    for (size_t i = 0; i < lines_.size(); ++i)
        if (lines_[i].kind == Kind::Section && sameName(lines_[i].name, section))
            return i;
    return npos;
}

bool IniFile::sectionExists(std::string_view section) const {
    return findSection(section) != npos;
}

size_t IniFile::findKey(std::string_view section, std::string_view key) const {
    bool inside = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        const auto& line = lines_[i];
        if (line.kind == Kind::Section)
            inside = sameName(line.name, section);
        else if (inside && line.kind == Kind::Key && sameName(line.name, key))
            return i;
    }
    return npos;
}

bool IniFile::valueExists(std::string_view section, std::string_view key) const {
    return findKey(section, key) != npos;
}

std::vector<IniFile::Entry> IniFile::sectionEntries(std::string_view section) const {
    std::vector<Entry> entries;
    bool inside = false;
    for (const auto& line : lines_) {
        if (line.kind == Kind::Section)
            inside = sameName(line.name, section);
        else if (inside && line.kind == Kind::Key)
            entries.emplace_back(line.name, line.value);
    }
    return entries;
}

std::vector<std::string> IniFile::sectionKeys(std::string_view section) const {
    std::vector<std::string> keys;
    for (auto& entry : sectionEntries(section))
        keys.push_back(std::move(entry.first));
    return keys;
}

std::string IniFile::readString(std::string_view section, std::string_view key,
                                const std::string& def) const {
    const size_t i = findKey(section, key);
    return i == npos ? def : lines_[i].value;
}

int32_t IniFile::readInteger(std::string_view section, std::string_view key, int32_t def) const {
    int64_t value = 0;
    return parseInteger(readString(section, key, {}), 32, value) ? static_cast<int32_t>(value)
                                                                 : def;
}

int64_t IniFile::readInt64(std::string_view section, std::string_view key, int64_t def) const {
    int64_t value = 0;
    return parseInteger(readString(section, key, {}), 64, value) ? value : def;
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool def) const {
    return readInteger(section, key, def ? 1 : 0) != 0;
}

IniFile::Line IniFile::keyLine(std::string_view key, std::string_view value) const {
    return makeLine(withoutLineBreaks(key) + "=" + withoutLineBreaks(value), lineBreak_);
}

void IniFile::insertLines(size_t at, std::vector<Line> lines) {
    if (lines.empty())
        return;
    if (at > 0 && lines_[at - 1].eol.empty())
        lines_[at - 1].eol = lineBreak_;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at),
                  std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
    modified_ = true;
}

void IniFile::appendSection(std::string_view section, std::vector<Line> lines) {
    std::vector<Line> added;
    if (!lines_.empty() && lines_.back().kind != Kind::Blank)
        added.push_back(makeLine({}, lineBreak_));
    added.push_back(makeLine("[" + withoutLineBreaks(section) + "]", lineBreak_));
    for (auto& line : lines)
        added.push_back(std::move(line));
    insertLines(lines_.size(), std::move(added));
}

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    const size_t existing = findKey(section, key);
    if (existing != npos) {
        Line& line = lines_[existing];
        std::string eol = line.eol;
        Line replaced = makeLine(line.name + "=" + withoutLineBreaks(value), std::move(eol));
        if (replaced.text != line.text) {
            line = std::move(replaced);
            modified_ = true;
        }
        return;
    }
    const size_t header = findSection(section);
    if (header == npos) {
        appendSection(section, {keyLine(key, value)});
        return;
    }
    size_t at = header + 1;
    for (size_t i = header + 1; i < lines_.size() && lines_[i].kind != Kind::Section; ++i)
        if (lines_[i].kind == Kind::Key)
            at = i + 1;
    insertLines(at, {keyLine(key, value)});
}

void IniFile::writeInteger(std::string_view section, std::string_view key, int32_t value) {
    writeString(section, key, std::to_string(value));
}

void IniFile::writeInt64(std::string_view section, std::string_view key, int64_t value) {
    writeString(section, key, std::to_string(value));
}

void IniFile::writeBool(std::string_view section, std::string_view key, bool value) {
    writeString(section, key, value ? "1" : "0");
}

void IniFile::deleteKey(std::string_view section, std::string_view key) {
    const size_t i = findKey(section, key);
    if (i == npos)
        return;
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i));
    modified_ = true;
}

void IniFile::eraseSection(std::string_view section) {
    replaceSection(section, {});
}

void IniFile::replaceSection(std::string_view section, const std::vector<Entry>& entries) {
    std::vector<Line> added;
    for (const auto& [key, value] : entries)
        added.push_back(keyLine(key, value));
    size_t first = npos;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].kind != Kind::Section || !sameName(lines_[i].name, section))
            continue;
        size_t end = i + 1; // past the last key (blank lines right after it go too)
        for (size_t j = i + 1; j < lines_.size() && lines_[j].kind != Kind::Section; ++j)
            if (lines_[j].kind == Kind::Key)
                end = j + 1;
        while (end < lines_.size() && lines_[end].kind == Kind::Blank)
            ++end;
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(i),
                     lines_.begin() + static_cast<std::ptrdiff_t>(end));
        modified_ = true;
        if (first == npos)
            first = i;
        --i;
    }
    if (added.empty())
        return;
    if (first == npos) {
        appendSection(section, std::move(added));
        return;
    }
    std::vector<Line> block;
    block.push_back(makeLine("[" + withoutLineBreaks(section) + "]", lineBreak_));
    for (auto& line : added)
        block.push_back(std::move(line));
    // Keep a blank line between this section and the next one.
    if (first < lines_.size())
        block.push_back(makeLine({}, lineBreak_));
    insertLines(first, std::move(block));
}

bool IniFile::parseInteger(std::string_view text, int bits, int64_t& out) {
    text = trimmed(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    const uint64_t mask = bits >= 64 ? ~uint64_t{0} : (uint64_t{1} << bits) - 1;
    uint64_t value = 0;
    bool hex = false;
    if (!text.empty() && text[0] == '$') {
        hex = true;
        text.remove_prefix(1);
    } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        hex = true;
        text.remove_prefix(2);
    }
    if (text.empty())
        return false;
    for (char c : text) {
        const int digit = hex ? hexValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (digit < 0)
            return false;
        const uint64_t base = hex ? 16 : 10;
        if (value > (mask - static_cast<uint64_t>(digit)) / base)
            return false;
        value = value * base + static_cast<uint64_t>(digit);
    }
    if (hex) {
        // All bits of the width, read as two's complement.
        if (bits < 64 && (value >> (bits - 1)) != 0)
            value |= ~mask;
        out = static_cast<int64_t>(value);
        if (negative)
            out = static_cast<int64_t>(0 - static_cast<uint64_t>(out));
        return true;
    }
    const uint64_t limit = uint64_t{1} << (bits - 1); // |minimum|
    if (negative ? value > limit : value >= limit)
        return false;
    out = negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
    return true;
}

std::string IniFile::escapeKey(std::string_view key) {
    const bool plain = key.empty() || (key.find_first_of("=\r\n") == std::string_view::npos &&
                                       trimmed(key).size() == key.size() && key.front() != ';' &&
                                       key.front() != '[' && key.front() != '"');
    if (plain)
        return std::string(key);
    static const char digits[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (char c : key) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || c == '%' || c == '"' || c == '=' || c == ';' || c == '[' || u == 0x7F) {
            out.push_back('%');
            out.push_back(digits[u >> 4]);
            out.push_back(digits[u & 0xF]);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
    return out;
}

std::string IniFile::unescapeKey(std::string_view key) {
    if (key.size() < 2 || key.front() != '"' || key.back() != '"')
        return std::string(key);
    key = key.substr(1, key.size() - 2);
    std::string out;
    for (size_t i = 0; i < key.size(); ++i) {
        if (key[i] == '%' && i + 2 < key.size() && hexValue(key[i + 1]) >= 0 &&
            hexValue(key[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(key[i + 1]) * 16 + hexValue(key[i + 2])));
            i += 2;
        } else {
            out.push_back(key[i]);
        }
    }
    return out;
}

} // namespace pelidor
