// The text lookup, the language choice and list, and the font attributes, over real
// language folders.
#include <atomic>
#include <filesystem>
#include <thread>

#include "config/LangCodes.h"
#include "tests/config/test_language_support.h"

namespace pelidor::test {
namespace {

using LanguageLookup = LanguageFolderTest;

TEST_F(LanguageLookup, ActiveFileThenEnglishThenDefault) {
    writePack("English",
              "[Translation]\nHello=Hello\nEmpty=English text\nOnlyEnglish=Only\n"
              "[Message]\nNoNews=No news",
              kUtf8Mark);
    writePack("German", "[Translation]\n hello = Hallo \nEmpty=\n[Message]\nnonews=Keine",
              kUtf16NoMark);

    EXPECT_EQ(LangFile(), "");
    EXPECT_EQ(ReadLangString("Translation", "Hello"), "Hello"); // nothing selected yet

    SelectLanguage("German");
    EXPECT_EQ(LangFile(), tree.path("German.ini"));
    EXPECT_EQ(ReadLangString("Translation", "Hello", "dflt"), "Hallo");
    EXPECT_EQ(ReadLangString("translation", "HELLO"), "Hallo");
    EXPECT_EQ(ReadLangString("Message", "NoNews"), "Keine");
    EXPECT_EQ(ReadLangString("Translation", "Empty"), "English text"); // empty counts as missing
    EXPECT_EQ(ReadLangString("Translation", "OnlyEnglish"), "Only");
    EXPECT_EQ(ReadLangString("Translation", "Nowhere", "design text"), "design text");
    EXPECT_EQ(ReadLangString("Translation", "Nowhere"), "");
    EXPECT_EQ(ReadLangString("NoSection", "Hello", "dflt"), "dflt");
}

TEST_F(LanguageLookup, MissingLanguageSelectsEnglish) {
    writePack("English", "[Translation]\nHello=Hello");
    writePack("German", "[Translation]\nHello=Hallo");
    for (const char* lang : {"French", "", "../German", "German/"}) {
        SCOPED_TRACE(lang);
        SelectLanguage("German");
        SelectLanguage(lang);
        EXPECT_EQ(LangFile(), tree.path("English.ini"));
        EXPECT_EQ(ReadLangString("Translation", "Hello"), "Hello");
    }
}

TEST_F(LanguageLookup, WithoutEnglishTheDefaultsApplyUntilTheFileAppears) {
    writePack("German", "[Translation]\nHello=Hallo");
    SelectLanguage("French");
    EXPECT_EQ(LangFile(), tree.path("English.ini"));
    EXPECT_EQ(ReadLangString("Translation", "Hello", "dflt"), "dflt");
    EXPECT_EQ(GetLangCharset(), kDefaultCharset);
    EXPECT_EQ(GetLangFontName(), "Tahoma");
    EXPECT_EQ(GetLangFontSize(), 8);

    // The active file is loaded by the first lookup after it appears.
    writePack("English", "[Translation]\nHello=Hello");
    EXPECT_EQ(ReadLangString("Translation", "Hello", "dflt"), "Hello");
}

TEST_F(LanguageLookup, EnglishFallbackIsLoadedOnceAndKeptAcrossSwitches) {
    writePack("German", "[Translation]\nHello=Hallo");
    writePack("French", "[Translation]\nHello=Bonjour");
    SelectLanguage("German");
    EXPECT_EQ(ReadLangString("Translation", "OnlyEnglish", "dflt"), "dflt");

    writePack("English", "[Translation]\nOnlyEnglish=one"); // tried again while missing
    EXPECT_EQ(ReadLangString("Translation", "OnlyEnglish", "dflt"), "one");

    writePack("English", "[Translation]\nOnlyEnglish=two"); // loaded tables stay as read
    SelectLanguage("French");
    EXPECT_EQ(ReadLangString("Translation", "Hello"), "Bonjour");
    EXPECT_EQ(ReadLangString("Translation", "OnlyEnglish", "dflt"), "one");
}

TEST_F(LanguageLookup, MalformedFilesGiveDefaults) {
    writePack("English", "[Translation]\nHello=Hello");
    tree.write("Junk.ini", seededContent(256 * 1024, 3));
    tree.write("Empty.ini", "");
    tree.mkdir("Folder.ini");
    for (const char* lang : {"Junk", "Empty"}) {
        SCOPED_TRACE(lang);
        SelectLanguage(lang);
        EXPECT_EQ(LangFile(), tree.path(std::string(lang) + ".ini"));
        EXPECT_EQ(ReadLangString("Translation", "Hello"), "Hello");
        EXPECT_EQ(ReadLangString("Translation", "Missing", "dflt"), "dflt");
        EXPECT_EQ(GetLangFontSize(), 8);
        EXPECT_EQ(GetNativeLanguage(lang), lang);
    }
    SelectLanguage("Folder");
    EXPECT_EQ(LangFile(), tree.path("English.ini"));
}

TEST_F(LanguageLookup, LanguageListShowsNativeNamesInFolderOrder) {
    writePack("beta", "[Lang]\nNativeLanguage=Beta native");
    writePack("Alpha", "[Translation]\nLangCode=0409");
    writePack("Gamma", "[Lang]\nNativeLanguage=Same");
    writePack("delta", "[Lang]\nNativeLanguage=Same");
    writePack("Empty", "[Lang]\nNativeLanguage=");
    writePack("NoMark", "[Lang]\nNativeLanguage=Unreadable", kUtf16NoMark);
    tree.write("readme.txt", "x");
    tree.write("Upper.INI", encodeLang("[Lang]\nNativeLanguage=Upper"));
    tree.mkdir("Folder.ini");

    std::vector<std::string> list{"stale"};
    GetLanguageList(list);
    const std::vector<std::string> expected{"Alpha=Alpha", "Beta native=beta", "Same=delta",
                                            "Empty=Empty", "Same=Gamma",       "NoMark=NoMark"};
    EXPECT_EQ(list, expected);
    EXPECT_EQ(GetNativeLanguage("Missing"), "Missing");
    EXPECT_EQ(GetNativeLanguage("../beta"), "../beta");
}

TEST_F(LanguageLookup, DefaultLanguageFollowsTheLocale) {
    writePack("English", "[Lang]\nNativeLanguage=English\n[Translation]\nLangCode=0409");
    writePack("German", "[Translation]\nLangCode=0407");
    writePack("ChineseSimplified", "[Translation]\nLangCode=0804|1004", kUtf8Mark);
    writePack("Spanish", "[Translation]\nLangCode=0C0A");
    writePack("AaaNoCode", "[Lang]\nNativeLanguage=No code\n[Translation]\nHello=x");
    writePack("Italian", "[Translation]\nLangCode=0410", kUtf16NoMark); // unreadable as profile

    struct Case {
        const char* lcAll;
        const char* lcMessages;
        const char* lang;
        const char* expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, "de_DE.UTF-8", "German"},
        {nullptr, nullptr, "zh_SG.UTF-8", "ChineseSimplified"}, // second code of "0804|1004"
        {"zh_CN.UTF-8", "ja_JP.UTF-8", "de_DE.UTF-8", "ChineseSimplified"},
        {nullptr, "es_ES.UTF-8", "de_DE.UTF-8", "Spanish"}, // upper-case code matches
        {"", "", "es_ES.UTF-8", "Spanish"},                 // empty variables are skipped
        {nullptr, nullptr, "de_AT.UTF-8", "German"},        // same language, other region
        {nullptr, nullptr, "es_MX.UTF-8", "Spanish"},
        {nullptr, nullptr, "zh_HK.UTF-8", "English"}, // Traditional Chinese: no pack
        {nullptr, nullptr, "it_IT.UTF-8", "English"},
        {nullptr, nullptr, "fr_FR.UTF-8", "English"},
        {nullptr, nullptr, "C", "English"},
        {nullptr, nullptr, nullptr, "English"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.lang ? c.lang : "(unset)") + " / " +
                     (c.lcMessages ? c.lcMessages : "-") + " / " + (c.lcAll ? c.lcAll : "-"));
        EnvGuard env;
        env.set("LC_ALL", c.lcAll);
        env.set("LC_MESSAGES", c.lcMessages);
        env.set("LANG", c.lang);
        EXPECT_EQ(GetDefaultLanguage(), c.expected);
    }
}

TEST_F(LanguageLookup, DefaultLanguageIsEnglishWithoutPacks) {
    EnvGuard env;
    env.set("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(GetDefaultLanguage(), "English");
    SetLanguageFolder(tree.path("missing-folder"));
    EXPECT_EQ(GetDefaultLanguage(), "English");
}

TEST_F(LanguageLookup, FontAttributesComeFromTheActiveFile) {
    struct Case {
        const char* text;
        const LangEncoding* enc;
        int charset;
        const char* font;
        int size;
    };
    const Case cases[] = {
        {"DefaultCharSet=SHIFTJIS_CHARSET\nDefaultFont=MS UI Gothic\nDefaultFontSize=9",
         &kUtf16Mark, 128, "MS UI Gothic", 9},
        {"DefaultCharSet=russian_charset\nDefaultFontSize=$A", &kUtf8Mark, 204, "Tahoma", 10},
        {"Hello=no font keys", &kUtf16Mark, kAnsiCharset, "Tahoma", 8},
        {"DefaultCharSet=KLINGON_CHARSET\nDefaultFont=\nDefaultFontSize=abc", &kUtf16Mark,
         kDefaultCharset, "Tahoma", 8},
        {"DefaultFontSize=0", &kUtf16Mark, kAnsiCharset, "Tahoma", 8},
        {"DefaultFontSize=-3", &kUtf16Mark, kAnsiCharset, "Tahoma", 8},
        // Without its mark a UTF-16 file serves texts but not the font attributes.
        {"DefaultCharSet=GREEK_CHARSET\nDefaultFont=Arial\nDefaultFontSize=12", &kUtf16NoMark,
         kAnsiCharset, "Tahoma", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        writePack("Pack", std::string("[Translation]\n") + c.text, *c.enc);
        SelectLanguage("Pack");
        EXPECT_EQ(GetLangCharset(), c.charset);
        EXPECT_EQ(GetLangFontName(), c.font);
        EXPECT_EQ(GetLangFontSize(), c.size);
    }
    // The file is read on each call, not kept.
    writePack("Pack", "[Translation]\nDefaultFont=Noto Sans");
    EXPECT_EQ(GetLangFontName(), "Noto Sans");
}

TEST_F(LanguageLookup, SwitchingWhileAnotherThreadReads) {
    writePack("English", "[Translation]\nLangCode=0409\nHello=Hello\nOnlyEnglish=Only");
    writePack("German", "[Translation]\nLangCode=0407\nHello=Hallo", kUtf8Mark);
    SelectLanguage("German");

    std::atomic<bool> stop{false};
    std::atomic<int> wrong{0};
    std::atomic<long> reads{0};
    const auto reader = [&] {
        while (!stop.load()) {
            const std::string code = ReadLangString("Translation", "LangCode");
            const std::string hello = ReadLangString("Translation", "Hello");
            if ((code != "0409" && code != "0407") || (hello != "Hello" && hello != "Hallo") ||
                ReadLangString("Translation", "OnlyEnglish") != "Only")
                ++wrong;
            ++reads;
        }
    };
    std::thread first(reader);
    std::thread second(reader);
    for (int i = 0; i < 1000; ++i)
        SelectLanguage(i % 2 == 0 ? "English" : "German");
    while (reads.load() < 100)
        std::this_thread::yield();
    stop = true;
    first.join();
    second.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(LangFile(), tree.path("German.ini"));
}

TEST(LanguageFolder, BesideTheExecutableUnlessSetOtherwise) {
    SetLanguageFolder("/some/where");
    EXPECT_EQ(LanguageFolder(), "/some/where/");
    SetLanguageFolder(std::string());
    namespace fs = std::filesystem;
    const fs::path exeDir = fs::read_symlink("/proc/self/exe").parent_path();
    if (!fs::is_directory(exeDir / "Languages") &&
        !fs::is_directory(exeDir / ".." / "share" / "pelidor" / "Languages")) {
        EXPECT_EQ(LanguageFolder(), (exeDir / "Languages").string() + "/");
    }
}

} // namespace
} // namespace pelidor::test
