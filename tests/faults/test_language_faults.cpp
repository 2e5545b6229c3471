// Language packs that cannot be used: a missing language folder, a folder or a pack
// that cannot be read, an empty pack. The lookup then falls back (active pack, then
// English.ini, then the built-in text) and never fails; the language list shows what
// it can. The permission cases run without root rights.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "platform/Registry.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/TempTree.h"
#include "tests/support/Unprivileged.h"

namespace pelidor::fault_test {
namespace {

// A UTF-16LE pack with its mark and CR LF line ends, as the packs come.
std::string pack(const std::string& text) {
    std::string out = "\xFF\xFE";
    for (char c : text) {
        if (c == '\n') {
            out += std::string("\r\0\n\0", 4);
            continue;
        }
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

class LanguageFaults : public ::testing::Test {
protected:
    void SetUp() override {
        langs = tree.mkdir("Languages");
        tree.write("Languages/English.ini",
                   pack("[Lang]\nNativeLanguage=English\n[Translation]\nHello=Hello\n"
                        "OnlyEnglish=English only"));
        tree.write("Languages/German.ini",
                   pack("[Lang]\nNativeLanguage=Deutsch\n[Translation]\nHello=Hallo"));
        SetLanguageFolder(langs + "/");
    }
    void TearDown() override { SetLanguageFolder({}); }

    std::vector<std::string> languageList() const {
        std::vector<std::string> list;
        GetLanguageList(list);
        return list;
    }

    test::TempTree tree;
    std::string langs;
};

TEST_F(LanguageFaults, AMissingFolderGivesTheBuiltInTexts) {
    SetLanguageFolder(tree.path("no-such-folder") + "/");
    SelectLanguage("German");
    EXPECT_EQ(ReadLangString("Translation", "Hello", "built in"), "built in");
    EXPECT_EQ(ReadLangString("Translation", "Hello"), "");
    // The program's own copy of English.ini still gives every window its captions.
    EXPECT_EQ(ReadLangString("Translation", "frmQdxMain.btnScan.caption"), "Scan");
    EXPECT_TRUE(languageList().empty());
    EXPECT_EQ(GetNativeLanguage("German"), "German");
    EXPECT_EQ(GetLangFontSize(), 8);

    // The whole start-up of the settings: English, defaults, a file that saves.
    test::EnvGuard env;
    env.set("LC_ALL", "de_DE.UTF-8");
    SetSettingsRoot(tree.mkdir("appdata"));
    platform::setRegistryFilePath(tree.path("registry.reg"));
    LoadAppConfig();
    EXPECT_EQ(AppConfig.Lang, "English");
    EXPECT_TRUE(SaveAppConfig());
    SetSettingsRoot({});
    platform::setRegistryFilePath({});
}

// An empty pack, and packs of only a mark, a mark and half a character, or lines
// without any section: the texts come from English.ini.
TEST_F(LanguageFaults, AnEmptyPackFallsBackToEnglish) {
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"a mark alone", "\xFF\xFE"},
        {"a mark and half a character", "\xFF\xFE\x48"},
        {"no section", pack("Hello=Hallo")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        tree.write("Languages/German.ini", c.bytes);
        SelectLanguage("German");
        EXPECT_EQ(LangFile(), tree.path("Languages/German.ini"));
        EXPECT_EQ(ReadLangString("Translation", "Hello"), "Hello");
        EXPECT_EQ(ReadLangString("Translation", "Missing", "built in"), "built in");
        EXPECT_EQ(GetNativeLanguage("German"), "German");
        EXPECT_EQ(GetLangFontName(), "Tahoma");
    }
}

TEST_F(LanguageFaults, AnUnreadablePackFallsBackToEnglishThenToTheBuiltInTexts) {
    test::giveToUnprivileged(tree.root());
    ASSERT_EQ(::chmod(tree.path("Languages/German.ini").c_str(), 0), 0);
    test::runUnprivileged([&] {
        SelectLanguage("German");
        EXPECT_EQ(ReadLangString("Translation", "Hello"), "Hello");
        EXPECT_EQ(GetNativeLanguage("German"), "German");
        EXPECT_EQ(languageList(), (std::vector<std::string>{"English=English", "German=German"}));

        ASSERT_EQ(::chmod(tree.path("Languages/English.ini").c_str(), 0), 0);
        SetLanguageFolder(langs + "/"); // forgets the tables read so far
        SelectLanguage("German");
        EXPECT_EQ(ReadLangString("Translation", "Hello", "built in"), "built in");
        EXPECT_EQ(GetLangFontSize(), 8);
    });
}

TEST_F(LanguageFaults, AnUnreadableFolderGivesTheBuiltInTexts) {
    test::giveToUnprivileged(tree.root());
    ASSERT_EQ(::chmod(langs.c_str(), 0), 0);
    test::runUnprivileged([&] {
        SelectLanguage("German");
        EXPECT_EQ(ReadLangString("Translation", "Hello", "built in"), "built in");
        EXPECT_TRUE(languageList().empty());
        EXPECT_EQ(GetDefaultLanguage(), "English");
    });
    ::chmod(langs.c_str(), 0755);
}

} // namespace
} // namespace pelidor::fault_test
