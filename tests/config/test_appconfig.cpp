#include <cmath>
#include <dirent.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <regex>
#include <sys/stat.h>

#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "platform/DateTime.h"
#include "platform/Registry.h"
#include "tests/config/test_appconfig_support.h"
#include "tests/support/TempTree.h"

using namespace pelidor;
using settings_test::FileSizeLimit;
using settings_test::readAll;
using settings_test::ScopedEnv;
using test::TempTree;

namespace {

struct Report {
    std::string version, guid;
    bool operator==(const Report&) const = default;
};

// A settings root, a registry file and a language folder of its own for each test.
class AppConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = tree.path("appdata");
        SetSettingsRoot(root);
        platform::setRegistryFilePath(tree.path("registry/registry.reg"));
        langFolder = tree.mkdir("Languages") + "/";
        SetLanguageFolder(langFolder);
        env.set("LC_ALL", "C.UTF-8");
        OnVersionChanged = [this](const std::string& version, const std::string& guid) {
            reports.push_back({version, guid});
        };
    }
    void TearDown() override {
        OnVersionChanged = nullptr;
        SetSettingsRoot({});
        platform::setRegistryFilePath({});
        SetLanguageFolder({});
    }
    std::string configFile() const { return root + "/Pelidor/Config.ini"; }
    void writeConfig(const std::string& text) const {
        tree.write("appdata/Pelidor/Config.ini", text);
    }

    TempTree tree;
    ScopedEnv env;
    std::string root, langFolder;
    std::vector<Report> reports;
};

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TStringList masksOf(std::initializer_list<int> ids) {
    TStringList list;
    for (int id : ids)
        SplitIntoList(DefaultKeywordMasks[id], list, ";");
    return list;
}

bool localeInstalled(const char* name) {
    locale_t loc = ::newlocale(LC_NUMERIC_MASK, name, static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr))
        return false;
    ::freelocale(loc);
    return true;
}

} // namespace

TEST_F(AppConfigTest, FirstStartWithNothingOnDisk) {
    ASSERT_FALSE(isFolder(root));
    const double before = platform::nowLocalDateTime();
    LoadAppConfig();
    const TAppConfig& c = AppConfig;
    EXPECT_TRUE(isFolder(root + "/Pelidor"));
    EXPECT_EQ(c.DataPath, root + "/Pelidor/");
    EXPECT_EQ(c.ConfigFile, configFile());
    EXPECT_EQ(c.Lang, GetDefaultLanguage());
    EXPECT_EQ(c.Lang, "English");
    EXPECT_EQ(LangFile(), langFolder + "English.ini");
    EXPECT_TRUE(c.bCheckNews);
    EXPECT_EQ(c.AutoUpdate, 0);
    EXPECT_TRUE(c.RecycleDelete);
    EXPECT_TRUE(c.AutoBackup);
    EXPECT_EQ(c.backPath, c.DataPath);
    EXPECT_GE(c.LastUpdate, before);
    EXPECT_LT(c.LastUpdate - before, 1.0 / 1440);
    EXPECT_EQ(c.GroupColor1, 15461355);
    EXPECT_EQ(c.GroupColor2, 16711422);
    EXPECT_EQ(c.header0 | c.header1 | c.header2 | c.header3 | c.header4, 0);
    EXPECT_EQ(c.CompareMode, 2); // a new settings file compares content
    EXPECT_EQ(c.MinSize, -1);
    EXPECT_EQ(c.MaxSize, -1);
    for (const TStringList* list :
         {&c.includePath, &c.includePathCustom, &c.includeKeywords, &c.includeKeywordsCustom,
          &c.excludePath, &c.excludeKeywords, &c.excludePathCustom, &c.excludeKeywordsCustom})
        EXPECT_TRUE(list->empty());
    EXPECT_EQ(VersionText(c.AppInfo), PELIDOR_VERSION_TEXT);

    // The user identifier is created and the new version reported once.
    EXPECT_TRUE(std::regex_match(
        c.SetupGUID, std::regex("\\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-"
                                "[0-9A-F]{12}\\}")))
        << c.SetupGUID;
    EXPECT_EQ(platform::regReadString(UserGuidKey, "Qdx"), c.SetupGUID);
    EXPECT_EQ(reports, (std::vector<Report>{{PELIDOR_VERSION_TEXT, c.SetupGUID}}));
    EXPECT_EQ(c.SetupVer, PELIDOR_VERSION_TEXT);
    EXPECT_FALSE(std::ifstream(configFile()).good()); // loading writes nothing

    AppConfig.LastUpdate = 45678.5;
    ASSERT_TRUE(SaveAppConfig());
    const std::string dataPath = c.DataPath;
    EXPECT_EQ(readAll(configFile()), "[General]\n"
                                     "Language=English\n"
                                     "CheckNews=1\n"
                                     "AutoUpdate=0\n"
                                     "MSGIDs=\n"
                                     "SetupVer=" PELIDOR_VERSION_TEXT "\n"
                                     "RecycleDelete=1\n"
                                     "AutoBackup=1\n"
                                     "backPath=" +
                                         dataPath +
                                         "\n"
                                         "LastUpdate=45678.5\n"
                                         "Color1=15461355\n"
                                         "Color2=16711422\n"
                                         "InCheck=\n"
                                         "ExCheck=\n"
                                         "Header0=0\n"
                                         "Header1=0\n"
                                         "Header2=0\n"
                                         "Header3=0\n"
                                         "Header4=0\n"
                                         "\n"
                                         "[AdvSettings]\n"
                                         "CompareMode=2\n"
                                         "MinSize=-1\n"
                                         "MaxSize=-1\n");

    // Second start with the same program: same identifier, no report.
    const std::string guid = c.SetupGUID;
    LoadAppConfig();
    EXPECT_EQ(AppConfig.SetupGUID, guid);
    EXPECT_EQ(reports.size(), 1u);
    EXPECT_EQ(AppConfig.LastUpdate, 45678.5);
}

TEST_F(AppConfigTest, UserIdentifierAndVersionReports) {
    // An upgrade: one report with the new version and the stored identifier.
    const std::string stored = "{11111111-2222-3333-4444-555555555555}";
    ASSERT_TRUE(platform::regWriteString(UserGuidKey, "Qdx", stored));
    writeConfig("[General]\nSetupVer=0.0.0.1\n");
    LoadAppConfig();
    EXPECT_EQ(AppConfig.SetupGUID, stored);
    EXPECT_EQ(reports, (std::vector<Report>{{PELIDOR_VERSION_TEXT, stored}}));
    EXPECT_EQ(AppConfig.SetupVer, PELIDOR_VERSION_TEXT);

    // The version already reported: nothing.
    writeConfig("[General]\nSetupVer=" PELIDOR_VERSION_TEXT "\n");
    LoadAppConfig();
    EXPECT_EQ(reports.size(), 1u);

    // A stored but empty identifier is replaced, and the new one kept.
    ASSERT_TRUE(platform::regWriteString(UserGuidKey, "Qdx", ""));
    LoadAppConfig();
    const std::string fresh = AppConfig.SetupGUID;
    EXPECT_EQ(fresh.size(), 38u);
    EXPECT_NE(fresh, stored);
    EXPECT_EQ(platform::regReadString(UserGuidKey, "Qdx"), fresh);

    // An identifier that cannot be stored: a new one at every start, and a report handler
    // that throws does not stop the load.
    platform::setRegistryFilePath(tree.write("not-a-folder", "") + "/registry.reg");
    writeConfig("[General]\n");
    OnVersionChanged = [](const std::string&, const std::string&) { throw 1; };
    LoadAppConfig();
    const std::string first = AppConfig.SetupGUID;
    EXPECT_EQ(AppConfig.SetupVer, PELIDOR_VERSION_TEXT);
    LoadAppConfig();
    EXPECT_EQ(first.size(), 38u);
    EXPECT_NE(AppConfig.SetupGUID, first);
}

TEST_F(AppConfigTest, FilterListsFollowTheTickLists) {
    const std::string lists = "[InKey]\n*.a;*.b=\n*.c=8\n*.d\n*.e;*.f=\n"
                              "[ExPath]\n/x=\n/y=5\n"
                              "[ExKey]\n*.tmp=\n*.bak=7\n"
                              "[InPath]\n/home/u/Pictures=\n/srv/data=\n"
                              "[UserPath]\n/home/u/Pictures=\n/mnt/old=\n";
    // Ids 0, 3 (never offered by the dialog) and 6, then the third [InKey] line (id 9);
    // "104" does not tick the fourth line (id 10).
    writeConfig("[General]\nInCheck=,0,6,9,3,104,\nExCheck=,####,2,#####,\n" + lists);
    LoadAppConfig();
    const TAppConfig& c = AppConfig;
    TStringList include = masksOf({0, 3, 6});
    include.push_back("*.d");
    EXPECT_EQ(c.includeKeywords, include);
    EXPECT_EQ(c.includeKeywordsCustom, (TStringList{"*.a;*.b=7", "*.c=8", "*.d=9", "*.e;*.f=10"}));
    EXPECT_EQ(c.excludePath, TStringList{"/x"});
    EXPECT_EQ(c.excludePathCustom, (TStringList{"/x=####", "/y=5"}));
    TStringList exclude = masksOf({2});
    exclude.push_back("*.tmp");
    EXPECT_EQ(c.excludeKeywords, exclude);
    EXPECT_EQ(c.excludeKeywordsCustom, (TStringList{"*.tmp=#####", "*.bak=7"}));
    EXPECT_EQ(c.includePath, (TStringList{"/home/u/Pictures", "/srv/data"}));
    EXPECT_EQ(c.includePathCustom, (TStringList{"/home/u/Pictures", "/mnt/old"}));
    EXPECT_EQ(JoinList(c.includePath), "/home/u/Pictures;/srv/data;");
    EXPECT_EQ(c.includeKeywords.size(), 8u + 8u + 3u + 1u);

    // "####" is ticked only between commas: ",#####," ticks the [ExKey] placeholder only.
    writeConfig("[General]\nExCheck=,#####,\n" + lists);
    LoadAppConfig();
    EXPECT_TRUE(AppConfig.excludePath.empty());
    EXPECT_EQ(AppConfig.excludeKeywords, TStringList{"*.tmp"});
    EXPECT_TRUE(AppConfig.includeKeywords.empty());
}

TEST_F(AppConfigTest, ValuesParseOrTakeDefaultsAndSurviveASave) {
    writeConfig("; my settings\n"
                "[General]\n"
                "Language=Deutsch\n"
                "AutoUpdate=$2\n"
                "Color1=0x00FF00\n"
                "Color2=12abc\n"
                "Header0=99999999999\n"
                "Header1=120\n"
                "CheckNews=0\n"
                "RecycleDelete=x\n"
                "AutoBackup=0\n"
                "backPath=\n"
                "LastUpdate=not a date\n"
                "Foo=kept\n"
                "[AdvSettings]\n"
                "CompareMode=2\n"
                "MinSize=-7\n"
                "MaxSize=5368709120\n"
                "Extra=also kept\n"
                "[Services]\n"
                "Update=http://127.0.0.1:8080/\n");
    const double before = platform::nowLocalDateTime();
    LoadAppConfig();
    TAppConfig& c = AppConfig;
    EXPECT_EQ(c.Lang, "Deutsch"); // kept although no such pack exists
    EXPECT_EQ(LangFile(), langFolder + "English.ini");
    EXPECT_EQ(c.AutoUpdate, 2);
    EXPECT_EQ(c.GroupColor1, 0xFF00);
    EXPECT_EQ(c.GroupColor2, 16711422);
    EXPECT_EQ(c.header0, 0);
    EXPECT_EQ(c.header1, 120);
    EXPECT_FALSE(c.bCheckNews);
    EXPECT_TRUE(c.RecycleDelete);
    EXPECT_FALSE(c.AutoBackup);
    EXPECT_EQ(c.backPath, ""); // present but empty is not absent
    EXPECT_GE(c.LastUpdate, before);
    EXPECT_EQ(c.CompareMode, 2);
    EXPECT_EQ(c.MinSize, -7);
    EXPECT_EQ(c.MaxSize, int64_t{5} << 30);

    // Folder names that the plain key form cannot hold come back as they were.
    c.includePath = {"/data/a=b", "/data/trail ", "/data/Data", "/data/data", "/data/data"};
    c.includePathCustom = {"/data/a=b", "[odd]"};
    c.excludePathCustom = {"/x/y z =####", "/w=12", "/data/a=b=9"};
    c.includeKeywordsCustom = {"*.txt;*.log=7", "[0-9]*.jpg=8"};
    c.MinSize = INT64_MIN;
    ASSERT_TRUE(SaveAppConfig());
    const TAppConfig saved = c;
    LoadAppConfig();
    EXPECT_EQ(c.MaxSize, int64_t{5} << 30);
    EXPECT_EQ(c.MinSize, INT64_MIN);
    EXPECT_EQ(c.includePath, saved.includePath);
    EXPECT_EQ(c.includePathCustom, saved.includePathCustom);
    EXPECT_EQ(c.excludePathCustom, saved.excludePathCustom);
    EXPECT_EQ(c.includeKeywordsCustom, saved.includeKeywordsCustom);
    EXPECT_EQ(c.GroupColor1, 0xFF00);
    EXPECT_FALSE(c.AutoBackup);
    const std::string text = readAll(configFile());
    for (const char* kept : {"; my settings\n", "Foo=kept\n", "Extra=also kept\n",
                             "[Services]\nUpdate=http://127.0.0.1:8080/\n"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept;
}

TEST_F(AppConfigTest, RememberFingerprintsIsOnUnlessTurnedOff) {
    const struct {
        const char* line;
        bool expected;
    } cases[] = {{"", true},
                 {"RememberFingerprints=0\n", false},
                 {"RememberFingerprints=1\n", true},
                 {"RememberFingerprints=maybe\n", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        writeConfig(std::string("[General]\n") + c.line);
        LoadAppConfig();
        EXPECT_EQ(AppConfig.RememberFingerprints, c.expected);
        AppConfig.RememberFingerprints = !c.expected;
        ASSERT_TRUE(SaveAppConfig());
        LoadAppConfig();
        EXPECT_EQ(AppConfig.RememberFingerprints, !c.expected);
    }
}

// Text values with surrounding blanks, line breaks or quotes survive a save and a load
// unchanged (a backup folder whose name ends in a blank stays that folder); plain values
// are still written plainly, and a value written by hand is read as it stands.
TEST_F(AppConfigTest, TextValuesSurviveASaveAndALoadUnchanged) {
    writeConfig("[General]\nbackPath=/plain/backups/\n");
    LoadAppConfig();
    TAppConfig& c = AppConfig;
    EXPECT_EQ(c.backPath, "/plain/backups/");
    ASSERT_TRUE(SaveAppConfig());
    EXPECT_NE(readAll(configFile()).find("backPath=/plain/backups/\n"), std::string::npos);

    const std::string values[] = {
        "/data/backups ",
        " /data/backups",
        "/data/two\nlines/",
        "/data/cr\r/",
        "\"quoted\"",
        "/data/%41/ ",
        "\t",
        "=/data/eq",
        "/data/semi;colon/ ",
        "/data/plain/",
        "",
    };
    for (const std::string& value : values) {
        SCOPED_TRACE(::testing::PrintToString(value));
        LoadAppConfig();
        c.backPath = value;
        c.Lang = value.empty() ? "English" : value;
        c.MsgIds = "," + value;
        c.CheckedIncludes = value;
        ASSERT_TRUE(SaveAppConfig());
        LoadAppConfig();
        EXPECT_EQ(c.backPath, value);
        EXPECT_EQ(c.Lang, value.empty() ? "English" : value);
        EXPECT_EQ(c.MsgIds, "," + value);
        EXPECT_EQ(c.CheckedIncludes, value);
    }
}

// The reference folders live in [RefPath] beside the folder lists; a file without the
// section has none, and odd folder names survive a save and a load.
TEST_F(AppConfigTest, ReferenceFoldersSurviveASaveAndAreOptional) {
    writeConfig("[InPath]\n/srv/data=\n");
    LoadAppConfig();
    EXPECT_TRUE(AppConfig.referencePath.empty());
    EXPECT_EQ(AppConfig.includePath, TStringList{"/srv/data"});

    const TStringList folders = {"/srv/data/archive", "/srv/with=equals", "/srv/[brackets]",
                                 "/srv/semi;colon", " /srv/blank "};
    AppConfig.referencePath = folders;
    ASSERT_TRUE(SaveAppConfig());
    EXPECT_NE(readAll(configFile()).find("[RefPath]"), std::string::npos);
    LoadAppConfig();
    EXPECT_EQ(AppConfig.referencePath, folders);
    EXPECT_EQ(AppConfig.includePath, TStringList{"/srv/data"});

    AppConfig.referencePath.clear();
    ASSERT_TRUE(SaveAppConfig());
    LoadAppConfig();
    EXPECT_TRUE(AppConfig.referencePath.empty());
}

TEST_F(AppConfigTest, ABackupFolderWithANulByteCountsAsAbsent) {
    using namespace std::string_literals;
    writeConfig("[General]\nbackPath=/tmp/backups\0/elsewhere/\n"s);
    LoadAppConfig();
    EXPECT_EQ(AppConfig.backPath, AppConfig.DataPath);
}

TEST_F(AppConfigTest, LastUpdateUsesTheLocaleDecimalSeparator) {
    struct FormatCase {
        double value;
        const char* sep;
        const char* text;
    } formats[] = {
        {45678.5432175926, ".", "45678.5432175926"},
        {45678.5, ",", "45678,5"},
        {45678.0, ",", "45678"},
        {45678.25, "\xd9\xab",
         "45678\xd9\xab"
         "25"}, // Arabic decimal separator
        {-1.25, ".", "-1.25"},
    };
    for (const auto& f : formats) {
        EXPECT_EQ(FormatDateTimeValue(f.value, f.sep), f.text);
        double back = 0;
        EXPECT_TRUE(ParseDateTimeValue(f.text, f.sep, back)) << f.text;
        EXPECT_EQ(back, f.value);
    }
    struct ParseCase {
        const char* text;
        const char* sep;
        bool ok;
    } parses[] = {
        {"45678.5", ",", false}, {"45.678,5", ",", false}, {"1,5,3", ",", false},
        {"+2.5", ".", true},     {" 3.5 ", ".", true},     {"1e3", ".", true},
        {"", ".", false},        {"nan", ".", false},      {"inf", ".", false},
        {"0x10", ".", false},    {"12abc", ".", false},    {"1e999", ".", false},
    };
    for (const auto& p : parses) {
        double value = 0;
        EXPECT_EQ(ParseDateTimeValue(p.text, p.sep, value), p.ok) << p.text;
    }

    // Through the file: C.UTF-8 writes ".", and a "," written elsewhere reads as now.
    EXPECT_EQ(LocaleDecimalSeparator(), ".");
    writeConfig("[General]\nLastUpdate=45678,5\n");
    const double before = platform::nowLocalDateTime();
    LoadAppConfig();
    EXPECT_GE(AppConfig.LastUpdate, before);
    AppConfig.LastUpdate = 45678.5;
    ASSERT_TRUE(SaveAppConfig());
    EXPECT_NE(readAll(configFile()).find("LastUpdate=45678.5\n"), std::string::npos);

    if (!localeInstalled("de_DE.UTF-8"))
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    env.set("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(LocaleDecimalSeparator(), ",");
    LoadAppConfig(); // "45678.5" does not parse here
    EXPECT_GE(AppConfig.LastUpdate, before);
    AppConfig.LastUpdate = 45678.5;
    ASSERT_TRUE(SaveAppConfig());
    EXPECT_NE(readAll(configFile()).find("LastUpdate=45678,5\n"), std::string::npos);
    LoadAppConfig();
    EXPECT_EQ(AppConfig.LastUpdate, 45678.5);
}

TEST_F(AppConfigTest, LanguageComesFromTheFileOrTheLocale) {
    tree.write("Languages/English.ini",
               "\xFF\xFE" + settings_test::utf16le("[Translation]\r\nLangCode=0409\r\n"));
    tree.write("Languages/German.ini",
               "\xFF\xFE" + settings_test::utf16le("[Translation]\r\nLangCode=0407\r\n"));
    env.set("LC_ALL", "de_DE.UTF-8");
    for (const char* file : {"", "[General]\nLanguage=\n"}) {
        writeConfig(file);
        LoadAppConfig();
        EXPECT_EQ(AppConfig.Lang, GetDefaultLanguage());
        EXPECT_EQ(AppConfig.Lang, "German");
        EXPECT_EQ(LangFile(), langFolder + "German.ini");
    }
    writeConfig("[General]\nLanguage=English\n");
    LoadAppConfig();
    EXPECT_EQ(AppConfig.Lang, "English");
    EXPECT_EQ(LangFile(), langFolder + "English.ini");
}

TEST_F(AppConfigTest, AFailedSaveKeepsTheOldFileAndTheProgramRunning) {
    LoadAppConfig();
    ASSERT_TRUE(SaveAppConfig());
    const std::string old = readAll(configFile());

    { // The disk fills up while the new file is written.
        AppConfig.MsgIds = std::string(8192, '7');
        FileSizeLimit limit(1024);
        EXPECT_FALSE(SaveAppConfig());
    }
    EXPECT_EQ(readAll(configFile()), old);
    std::vector<std::string> names;
    if (DIR* dir = ::opendir((root + "/Pelidor").c_str())) {
        while (const dirent* e = ::readdir(dir))
            names.push_back(e->d_name);
        ::closedir(dir);
    }
    EXPECT_EQ(names.size(), 3u) << "a temporary file was left behind";

    if (!test::runningAsRoot()) { // root writes into read-only folders
        ::chmod((root + "/Pelidor").c_str(), 0500);
        EXPECT_FALSE(SaveAppConfig());
        ::chmod((root + "/Pelidor").c_str(), 0700);
        EXPECT_EQ(readAll(configFile()), old);
    }

    // The settings folder cannot be created: defaults, and the save reports failure.
    SetSettingsRoot(tree.write("file", "x") + "/appdata");
    LoadAppConfig();
    EXPECT_EQ(AppConfig.MaxSize, -1);
    EXPECT_FALSE(SaveAppConfig());

    // Something else than a file where Config.ini should be.
    const std::string other = tree.path("other");
    SetSettingsRoot(other);
    tree.mkdir("other/Pelidor/Config.ini");
    LoadAppConfig();
    EXPECT_TRUE(AppConfig.RecycleDelete);
    EXPECT_FALSE(SaveAppConfig());
    EXPECT_TRUE(isFolder(other + "/Pelidor/Config.ini"));
}

TEST(AppConfigText, SplitJoinAndTicks) {
    struct Case {
        const char* text;
        const char* sep;
        TStringList expected;
    } cases[] = {
        {"", ";", {"x"}},
        {"a", ";", {"x", "a"}},
        {"a;b", ";", {"x", "a", "b"}},
        {"a;;b;", ";", {"x", "a", "", "b"}},
        {";", ";", {"x", ""}},
        {"a--b--c", "--", {"x", "a", "b", "c"}},
    };
    for (const auto& c : cases) {
        TStringList list{"x"}; // pieces are appended
        SplitIntoList(c.text, list, c.sep);
        EXPECT_EQ(list, c.expected) << c.text;
    }
    EXPECT_EQ(JoinList({}), "");
    EXPECT_EQ(JoinList({"a"}), "a;");
    EXPECT_EQ(JoinList({"a", ""}), "a;;");
    EXPECT_EQ(ListIndexOf({"/A", "/b", "/a"}, "/a"), 0);
    EXPECT_EQ(ListIndexOf({"/A"}, "/B"), -1);
    EXPECT_TRUE(IsIdChecked(",0,4,7,", "4"));
    EXPECT_FALSE(IsIdChecked(",10,", "1"));
    EXPECT_FALSE(IsIdChecked("4", "4"));
}
