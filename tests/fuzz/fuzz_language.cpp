// Language-pack text on arbitrary bytes, read both ways (as a translation table and as
// a profile), then looked up.
//
// Properties:
// - the decoded text is valid UTF-8 (bad input becomes U+FFFD, never passes through);
// - every "key=value" line under a "[section]" line of the decoded text can be found,
//   also with the ASCII letters of both names in the other case;
// - values hold no line breaks and no surrounding blanks;
// - value() agrees with find();
// - a file that starts with a byte-order mark gives the same table both ways.
#include "config/LangTable.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <string>
#include <string_view>

using pelidor::LangRead;
using pelidor::LangTable;

namespace {

bool validUtf8(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        size_t len = 0;
        uint32_t cp = 0;
        uint32_t min = 0;
        if (c < 0x80)
            len = 1, cp = c;
        else if ((c & 0xE0) == 0xC0)
            len = 2, cp = c & 0x1F, min = 0x80;
        else if ((c & 0xF0) == 0xE0)
            len = 3, cp = c & 0x0F, min = 0x800;
        else if ((c & 0xF8) == 0xF0)
            len = 4, cp = c & 0x07, min = 0x10000;
        else
            return false;
        if (i + len > s.size())
            return false;
        for (size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20)
        s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20)
        s.remove_suffix(1);
    return s;
}

std::string swapCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

void checkTable(const LangTable& table, std::string_view text) {
    std::string section;
    bool inSection = false;
    size_t lookups = 0;
    for (size_t pos = 0; pos <= text.size() && lookups < 200;) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';')
            continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            section = std::string(trim(line.substr(1, line.size() - 2)));
            inSection = true;
            continue;
        }
        const size_t eq = line.find('=');
        if (!inSection || eq == std::string_view::npos)
            continue;
        const std::string key(trim(line.substr(0, eq)));
        ++lookups;
        const std::string* value = table.find(section, key);
        FUZZ_CHECK(value != nullptr);
        FUZZ_CHECK(table.find(swapCase(section), swapCase(key)) == value);
        FUZZ_CHECK(value->find_first_of("\r\n") == std::string::npos);
        FUZZ_CHECK(trim(*value).size() == value->size());
        FUZZ_CHECK(table.value(section, key, "\x01") == *value);
    }
    FUZZ_CHECK(table.find("\x01no such section", "Name") == nullptr);
    FUZZ_CHECK(table.value("\x01no such section", "Name", "fallback") == "fallback");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = pelidor::fuzz::asText(data, size);
    for (const LangRead mode : {LangRead::Table, LangRead::Profile}) {
        const std::string text = pelidor::decodeLangText(input, mode);
        FUZZ_CHECK(validUtf8(text));
        const LangTable table = LangTable::parse(input, mode);
        checkTable(table, text);
        table.value("Lang", "Name");
        table.value("Translation", "LangCode");
    }
    const bool marked = input.substr(0, 2) == "\xFF\xFE" || input.substr(0, 3) == "\xEF\xBB\xBF";
    if (marked) {
        FUZZ_CHECK(pelidor::decodeLangText(input, LangRead::Table) ==
                   pelidor::decodeLangText(input, LangRead::Profile));
    }
    return 0;
}
