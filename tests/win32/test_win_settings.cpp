// The settings store and the language packs on Windows: Config.ini in UTF-16LE and in
// the ANSI code page, Windows folder names through a save and a load, and language
// packs found beside the program and read from folders with any name.
#include <string>
#include <windows.h>

#include <gtest/gtest.h>

#include "config/IniFile.h"
#include "config/LangCodes.h"
#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "platform/System.h"
#include "tests/config/test_language_support.h"
#include "tests/support/TempTree.h"

namespace pelidor::test {
namespace {

const std::string kBom16 = "\xFF\xFE";
// "C:\Données\日本" in UTF-8.
const std::string kFolder = "C:\\Donn\xC3\xA9"
                            "es\\\xE6\x97\xA5\xE6\x9C\xAC";

TEST(WinSettings, Utf16FileStaysUtf16AndKeepsEveryCharacter) {
    TempTree tree;
    const std::string file = tree.path("\xE6\x97\xA5/Config.ini");
    tree.write("\xE6\x97\xA5/Config.ini",
               kBom16 + toUtf16Le("[Search]\r\nFolder=" + kFolder + "\r\nMode=2\r\n"));
    IniFile ini(file);
    EXPECT_EQ(ini.readString("search", "folder", ""), kFolder);
    ini.writeString("Search", "Other", "D:\\\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE");
    ASSERT_TRUE(ini.save());
    const std::string bytes = readAll(file);
    EXPECT_EQ(bytes,
              kBom16 + toUtf16Le("[Search]\r\nFolder=" + kFolder +
                                 "\r\nMode=2\r\nOther=D:\\\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE\r\n"));
    IniFile again(file);
    EXPECT_EQ(again.readString("Search", "Other", ""), "D:\\\xD0\xA4\xD0\xBE\xD1\x82\xD0\xBE");
}

TEST(WinSettings, AnsiFileIsKeptByteForByte) {
    TempTree tree;
    // Windows-1252: "é" is the single byte E9, not UTF-8.
    const std::string file = tree.write("Config.ini", "[Options]\r\nName=caf\xE9\r\n");
    IniFile ini(file);
    EXPECT_EQ(ini.readString("Options", "Name", ""), "caf\xE9");
    ini.writeInteger("Options", "Count", 3);
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(readAll(file), "[Options]\r\nName=caf\xE9\r\nCount=3\r\n");
}

class WinAppConfig : public ::testing::Test {
protected:
    void SetUp() override {
        SetSettingsRoot(tree.root());
        SetLanguageFolder(tree.mkdir("Languages"));
    }
    void TearDown() override {
        SetSettingsRoot(std::string());
        SetLanguageFolder(std::string());
    }
    TempTree tree;
};

TEST_F(WinAppConfig, WindowsFoldersSurviveASaveAndALoadInEitherEncoding) {
    LoadAppConfig();
    EXPECT_EQ(AppConfig.DataPath, tree.root() + "\\Pelidor\\");
    EXPECT_EQ(AppConfig.ConfigFile, tree.root() + "\\Pelidor\\Config.ini");
    AppConfig.includePath = {"C:\\Data", kFolder};
    AppConfig.includePathCustom = {"C:\\Data", kFolder, "\\\\server\\share\\x"};
    AppConfig.MinSize = 1024;
    ASSERT_TRUE(SaveAppConfig());
    const std::string utf8 = readAll(AppConfig.ConfigFile);
    ASSERT_NE(utf8.find(kFolder), std::string::npos);

    AppConfig = TAppConfig{};
    LoadAppConfig();
    EXPECT_EQ(AppConfig.includePath, (TStringList{"C:\\Data", kFolder}));
    EXPECT_EQ(AppConfig.includePathCustom,
              (TStringList{"C:\\Data", kFolder, "\\\\server\\share\\x"}));
    EXPECT_EQ(AppConfig.MinSize, 1024);

    // The same file written by another program in UTF-16LE reads the same, and is saved
    // back in UTF-16LE.
    tree.write("Pelidor/Config.ini", kBom16 + toUtf16Le(utf8));
    AppConfig = TAppConfig{};
    LoadAppConfig();
    EXPECT_EQ(AppConfig.includePathCustom,
              (TStringList{"C:\\Data", kFolder, "\\\\server\\share\\x"}));
    AppConfig.MaxSize = 4096;
    ASSERT_TRUE(SaveAppConfig());
    EXPECT_EQ(readAll(AppConfig.ConfigFile).substr(0, 2), kBom16);
    AppConfig = TAppConfig{};
    LoadAppConfig();
    EXPECT_EQ(AppConfig.MaxSize, 4096);
    EXPECT_EQ(AppConfig.includePath, (TStringList{"C:\\Data", kFolder}));
    // The user identifier lives in the registry, never in the file.
    EXPECT_FALSE(AppConfig.SetupGUID.empty());
    EXPECT_EQ(readAll(AppConfig.ConfigFile).find(toUtf16Le(AppConfig.SetupGUID)),
              std::string::npos);
}

TEST(WinLanguage, TheDefaultFollowsTheWindowsInterfaceLanguage) {
    EXPECT_EQ(userInterfaceLanguageId(), GetUserDefaultUILanguage());
    TempTree tree;
    tree.write("English.ini", "[Translation]\nLangCode=0409\nLanguage=English\n");
    tree.write("Mine.ini", "[Translation]\nLangCode=" + langIdText(GetUserDefaultUILanguage()) +
                               "\nLanguage=Mine\n");
    SetLanguageFolder(tree.root());
    EXPECT_EQ(GetDefaultLanguage(), GetUserDefaultUILanguage() == 0x0409 ? "English" : "Mine");
    SetLanguageFolder(std::string());
}

TEST(WinLanguage, PacksAreReadFromFoldersWithAnyName) {
    TempTree tree;
    const std::string folder = tree.mkdir("\xE8\xAF\xAD\xE8\xA8\x80 packs");
    tree.write("\xE8\xAF\xAD\xE8\xA8\x80 packs/Chinese.ini",
               kBom16 +
                   toUtf16Le("[Translation]\r\nLangCode=0804\r\nLanguage=\xE4\xB8\xAD\xE6\x96\x87"
                             "\r\nHello=\xE4\xBD\xA0\xE5\xA5\xBD\r\n"));
    tree.write("\xE8\xAF\xAD\xE8\xA8\x80 packs/English.ini",
               "[Translation]\nLangCode=0409\nLanguage=English\nHello=Hello\nOnly=English only\n");
    SetLanguageFolder(folder);
    EXPECT_EQ(LanguageFolder(), folder + "\\");
    SelectLanguage("Chinese");
    EXPECT_EQ(LangFile(), folder + "\\Chinese.ini");
    EXPECT_EQ(ReadLangString("Translation", "Hello", "?"), "\xE4\xBD\xA0\xE5\xA5\xBD");
    EXPECT_EQ(ReadLangString("Translation", "Only", "?"), "English only");
    std::vector<std::string> list;
    GetLanguageList(list);
    EXPECT_EQ(list.size(), 2u);
    SetLanguageFolder(std::string());
    // By default the packs are looked for beside the program.
    const std::string exe = platform::executablePath();
    ASSERT_FALSE(exe.empty());
    const std::string exeDir = exe.substr(0, exe.rfind('\\') + 1);
    const std::string found = LanguageFolder();
    EXPECT_TRUE(found == exeDir + "Languages\\" || found.rfind(exeDir, 0) == 0) << found;
    SelectLanguage("English");
}

} // namespace
} // namespace pelidor::test
