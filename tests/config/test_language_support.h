// Helpers for the language tests: language files in the encodings packs come in, a
// temporary language folder, and locale variables set for one test.
#pragma once

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

#include "config/uLanguage.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/TempTree.h"

namespace pelidor::test {

struct LangEncoding {
    const char* name;
    bool utf16;
    bool mark;
    const char* eol;
};

inline const LangEncoding kUtf16Mark{"UTF-16LE with mark, CRLF", true, true, "\r\n"};
inline const LangEncoding kUtf16NoMark{"UTF-16LE without mark, CRLF", true, false, "\r\n"};
inline const LangEncoding kUtf8Mark{"UTF-8 with mark, LF", false, true, "\n"};
inline const LangEncoding kUtf8Plain{"UTF-8 without mark, CR", false, false, "\r"};

// UTF-16LE code units of UTF-8 text (the text is valid UTF-8 in every test).
inline void appendUtf16(std::string& out, char16_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

inline std::string toUtf16Le(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const int len = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k < len; ++k)
            c = (c << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += len;
        if (c >= 0x10000) {
            appendUtf16(out, static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            appendUtf16(out, static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            appendUtf16(out, static_cast<char16_t>(c));
        }
    }
    return out;
}

// The bytes of a language file whose lines are `text` split at "\n".
inline std::string encodeLang(std::string_view text, const LangEncoding& enc = kUtf16Mark) {
    std::string lines;
    for (char c : text) {
        if (c == '\n')
            lines += enc.eol;
        else
            lines.push_back(c);
    }
    if (enc.utf16)
        return (enc.mark ? std::string("\xFF\xFE") : std::string()) + toUtf16Le(lines);
    return (enc.mark ? std::string("\xEF\xBB\xBF") : std::string()) + lines;
}

// A fresh language folder for one test; the lookup goes back to its own folder after.
class LanguageFolderTest : public ::testing::Test {
protected:
    void SetUp() override { SetLanguageFolder(tree.root()); }
    void TearDown() override { SetLanguageFolder(std::string()); }

    std::string writePack(const std::string& baseName, std::string_view text,
                          const LangEncoding& enc = kUtf16Mark) const {
        return tree.write(baseName + ".ini", encodeLang(text, enc));
    }

    TempTree tree;
};

} // namespace pelidor::test
