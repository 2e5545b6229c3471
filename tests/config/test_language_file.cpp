// The language-file reader (encodings, syntax, bad input) and the locale and
// character-set tables.
#include <optional>

#include "config/LangCodes.h"
#include "config/LangTable.h"
#include "tests/config/test_language_support.h"

namespace pelidor::test {
namespace {

const char* const kSyntaxSample = R"(; a comment
orphan=before any section
[Translation]
  Key One  =  value with  inner  spaces	
dup=first
DUP=second
empty=
a line without an equals sign
eq=a=b
raw="quoted" %s \n %d
   ;indented=comment
[ Message ]
Text=Umlaut äöü 中文 😀
[translation]
dup=third
late=merged
[]
blank=section)";

TEST(LangTable, SyntaxRulesHoldInEveryEncoding) {
    struct Case {
        const char* section;
        const char* key;
        std::optional<std::string> value; // nullopt: the key is missing
    };
    const Case cases[] = {
        {"Translation", "Key One", "value with  inner  spaces"},
        {"TRANSLATION", "key one", "value with  inner  spaces"}, // names fold case
        {"Translation", "dup", "first"},                         // first occurrence wins
        {"Translation", "empty", ""},                            // present, empty
        {"Translation", "a line without an equals sign", std::nullopt},
        {"Translation", "eq", "a=b"}, // split at the first "="
        {"Translation", "raw", "\"quoted\" %s \\n %d"},
        {"Translation", ";indented", std::nullopt},
        {"Translation", "late", "merged"}, // a repeated section adds its new keys
        {"Message", "Text", "Umlaut äöü 中文 😀"},
        {"", "orphan", std::nullopt}, // lines before the first section are skipped
        {"", "blank", "section"},
        {"Missing", "Text", std::nullopt},
    };
    for (const LangEncoding* enc : {&kUtf16Mark, &kUtf16NoMark, &kUtf8Mark, &kUtf8Plain}) {
        SCOPED_TRACE(enc->name);
        const LangTable table = LangTable::parse(encodeLang(kSyntaxSample, *enc), LangRead::Table);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.section) + "/" + c.key);
            const std::string* found = table.find(c.section, c.key);
            ASSERT_EQ(found != nullptr, c.value.has_value());
            if (found != nullptr) {
                EXPECT_EQ(*found, *c.value);
            }
        }
    }
}

TEST(LangTable, ProfileReadingRecognisesUtf16OnlyByItsMark) {
    const std::string text = "[Lang]\nNativeLanguage=Deutsch";
    for (const LangEncoding* enc : {&kUtf16Mark, &kUtf8Mark, &kUtf8Plain}) {
        SCOPED_TRACE(enc->name);
        EXPECT_EQ(LangTable::parse(encodeLang(text, *enc), LangRead::Profile)
                      .value("Lang", "NativeLanguage"),
                  "Deutsch");
    }
    const std::string noMark = encodeLang(text, kUtf16NoMark);
    EXPECT_EQ(LangTable::parse(noMark, LangRead::Profile).find("Lang", "NativeLanguage"), nullptr);
    EXPECT_EQ(LangTable::parse(noMark, LangRead::Table).value("Lang", "NativeLanguage"), "Deutsch");
}

TEST(LangTable, BadBytesLoadWhatTheyCan) {
    const std::string fffd = "\xEF\xBF\xBD";
    const std::string head = encodeLang("[S]\nkeep=yes\nv=");
    struct Case {
        const char* name;
        std::string bytes;
        std::string expected; // value of "v"
    };
    const Case cases[] = {
        {"odd byte count", head + toUtf16Le("ab") + "c", "ab"},
        {"lone high surrogate", head + toUtf16Le("a") + std::string("\x00\xD8", 2) + toUtf16Le("b"),
         "a" + fffd + "b"},
        {"lone low surrogate at the end", head + toUtf16Le("a") + std::string("\x00\xDC", 2),
         "a" + fffd},
        {"surrogate pair", head + std::string("\x3D\xD8\x00\xDE", 4), "😀"},
        {"invalid UTF-8",
         encodeLang("[S]\nkeep=yes\nv=a\xC3(\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80z", kUtf8Mark),
         "a" + fffd + "(" + fffd + fffd + fffd + fffd + fffd + fffd + fffd + fffd + fffd + "z"},
        {"NUL bytes in UTF-8", std::string("[S]\nkeep=yes\nv=a\0b", 18), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LangTable table = LangTable::parse(c.bytes, LangRead::Table);
        EXPECT_EQ(table.value("S", "keep"), "yes");
        EXPECT_EQ(table.value("S", "v"), c.expected);
    }
    // Random bytes and truncated marks never fail.
    for (const std::string& junk :
         {seededContent(1 << 20, 7), std::string("\xFF"), std::string("\xFF\xFE"),
          std::string("\xEF\xBB"), std::string()}) {
        const LangTable table = LangTable::parse(junk, LangRead::Table);
        EXPECT_EQ(table.find("S", "keep"), nullptr);
    }
}

TEST(LangTable, ReadsAtMostTheCapOfAFile) {
    TempTree tree;
    std::string text = "[S]\nfirst=1\n";
    const std::string filler = "; " + std::string(1000, 'x') + "\n";
    while (text.size() < kLangFileCap)
        text += filler;
    text += "late=2\n";
    const std::string path = tree.write("Huge.ini", text);
    const auto table = LangTable::load(path, LangRead::Table);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->value("S", "first"), "1");
    EXPECT_EQ(table->find("S", "late"), nullptr);

    tree.mkdir("Folder.ini");
    EXPECT_EQ(LangTable::load(tree.path("Folder.ini"), LangRead::Table), nullptr);
    EXPECT_EQ(LangTable::load(tree.path("Missing.ini"), LangRead::Table), nullptr);
    EXPECT_EQ(readProfileString(tree.path("Missing.ini"), "S", "first", "dflt"), "dflt");
}

TEST(LangCodes, LocalesMapToWindowsLanguageIdentifiers) {
    const std::pair<const char*, uint16_t> cases[] = {
        {"en_US.UTF-8", 0x0409},
        {"de_DE.UTF-8", 0x0407},
        {"de_AT.UTF-8@euro", 0x0C07},
        {"de_LI", 0x1407},
        {"de_XX", 0x0407},
        {"de", 0x0407},
        {"de-CH", 0x0807},
        {"es_ES.UTF-8", 0x0C0A},
        {"ES_es", 0x0C0A},
        {"pt_BR", 0x0416},
        {"pt_PT", 0x0816},
        {"ja_JP.eucJP", 0x0411},
        {"zh_CN.GB18030", 0x0804},
        {"zh_SG", 0x1004},
        {"zh_TW", 0x0404},
        {"sr_RS", 0x281A},
        {"sr_RS@latin", 0x241A},
        {"C.UTF-8", 0x0409},
        {"POSIX", 0x0409},
        {"", 0x0409},
        {"xx_YY", 0},
        {".UTF-8", 0},
    };
    for (const auto& [locale, id] : cases)
        EXPECT_EQ(langIdFromLocale(locale), id) << locale;
    EXPECT_EQ(langIdText(0x0C0A), "0C0A");
    EXPECT_EQ(langIdText(0x0409), "0409");
}

TEST(LangCodes, SameLanguageKeepsScriptsApart) {
    EXPECT_TRUE(sameLanguage(0x0C07, 0x0407));
    EXPECT_TRUE(sameLanguage(0x080A, 0x0C0A));
    EXPECT_TRUE(sameLanguage(0x1004, 0x0804));
    EXPECT_FALSE(sameLanguage(0x0C04, 0x0804)); // Traditional vs Simplified Chinese
    EXPECT_TRUE(sameLanguage(0x0C04, 0x0404));
    EXPECT_FALSE(sameLanguage(0x241A, 0x041A)); // Serbian vs Croatian
    EXPECT_FALSE(sameLanguage(0x0407, 0x0409));
}

TEST(LangCodes, CharacterSetNamesAndNumbers) {
    EXPECT_EQ(fontCharsets().size(), 18u);
    for (const FontCharset& cs : fontCharsets()) {
        EXPECT_EQ(fontCharsetFromName(cs.name), cs.number);
        EXPECT_EQ(fontCharsetName(cs.number), cs.name);
    }
    EXPECT_EQ(fontCharsetFromName("shiftjis_charset"), 128);
    EXPECT_EQ(fontCharsetFromName("GB2312"), std::nullopt);
    EXPECT_EQ(fontCharsetName(3), "");
}

} // namespace
} // namespace pelidor::test
