// Path variables: the table built from the user's folders and environment, and the
// expansion of %NAME% placeholders.
#include "engine/EnvironmentStrings.h"
#include "platform/Environment.h"
#include "tests/engine/ScanHelpers.h"

namespace pelidor::test {
namespace {

// A private home with XDG folders and a chosen environment; every variable of the
// table's list is unset first, so that only what a test sets is seen.
class PathVariablesTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = tree.mkdir("home");
        cfg = tree.mkdir("cfg");
        data = tree.mkdir("data");
        cache = tree.mkdir("cache");
        tree.write("cfg/user-dirs.dirs", "# written by xdg-user-dirs-update\n"
                                         "XDG_DESKTOP_DIR=\"$HOME/Desk\"\n"
                                         "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n"
                                         "XDG_MUSIC_DIR=\"/abs/music\"\n");
        for (const auto& name : EnvironmentVariableNames())
            env.unset(name);
        env.set("HOME", home);
        env.set("XDG_CONFIG_HOME", cfg + "/");
        env.set("XDG_DATA_HOME", data);
        env.set("XDG_CACHE_HOME", cache);
    }

    static const TEnvironmentStringRec* find(const TEnvironmentStrings& t, const std::string& n) {
        for (const auto& rec : t.PathList)
            if (rec->Name == n)
                return rec.get();
        return nullptr;
    }

    TempTree tree;
    EnvGuard env;
    std::string home, cfg, data, cache;
};

TEST_F(PathVariablesTest, ExpandsUserFoldersAndEnvironment) {
    env.set("TEMP", "/tmp/t-env");
    env.set("ProgramFiles", "/pf-env");
    const TEnvironmentStrings t;
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"%MYDOCUMENTS%", home + "/Docs"},
        {"%personal%", home + "/Docs"},
        {"%Desktop%/x", home + "/Desk/x"},
        {"%DESKTOPDIRECTORY%", home + "/Desk"},
        {"%MYMUSIC%", "/abs/music"},
        {"%MYVIDEO%", home + "/Videos"},
        {"%MYPICTURES%", home + "/Pictures"},
        {"%TEMPLATES%", home + "/Templates"},
        {"%APPDATA%", cfg},
        {"%LOCAL_APPDATA%", data},
        {"%INTERNET_CACHE%", cache},
        {"%PROFILE%", home},
        {"%FONTS%", data + "/fonts"},
        {"%COMMON_APPDATA%", "/var/lib"},
        {"%PROGRAM_FILES%", "/opt"},
        // The placeholder must equal the whole name: this is the environment variable.
        {"%programfiles%\\internet explorer\\IEXPLORE.EXE",
         "/pf-env\\internet explorer\\IEXPLORE.EXE"},
        {"%temp%/x", "/tmp/t-env/x"},
        {"%TEMP%;%Temp%", "/tmp/t-env;/tmp/t-env"},
        {"%HOME%", home},
        {"%xdg_config_home%", cfg + "/"},
        {"a%TEMP%b%PROFILE%c", "a/tmp/t-env"
                               "b" +
                                   home + "c"},
        // Left as they are.
        {"%NOSUCHNAME%/x", "%NOSUCHNAME%/x"},
        {"%INTERNET%", "%INTERNET%"},
        {"%BITBUCKET%", "%BITBUCKET%"},
        {"%TMP%", "%TMP%"}, // unset: no entry
        {"%TEMP", "%TEMP"},
        {"TEMP%", "TEMP%"},
        {"100% %", "100% %"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(t.ExpandPath(c.in), c.out);
    }
}

TEST_F(PathVariablesTest, EntriesApplyInTableOrder) {
    {
        // TEMP comes before TMP: TMP sees what TEMP inserted.
        env.set("TEMP", "%TMP%/t");
        env.set("TMP", "/tmpdir");
        const TEnvironmentStrings t;
        EXPECT_EQ(t.ExpandPath("%TEMP%"), "/tmpdir/t");
    }
    {
        // ... but TEMP does not see what TMP inserts later.
        env.set("TEMP", "/x");
        env.set("TMP", "%TEMP%");
        const TEnvironmentStrings t;
        EXPECT_EQ(t.ExpandPath("%TMP%"), "%TEMP%");
        // Special folders come before the environment.
        env.set("TEMP", "%PROFILE%/tmp");
        const TEnvironmentStrings t2;
        EXPECT_EQ(t2.ExpandPath("%TEMP%"), "%PROFILE%/tmp");
    }
}

TEST_F(PathVariablesTest, TableHoldsOneEntryPerName) {
    env.set("TMPDIR", "/tmpdir-env");
    env.set("ProgramFiles", "/pf-env");
    env.set("TMP", "");
    TEnvironmentStrings t;
    ASSERT_GT(t.PathCount(), 0);
    EXPECT_NE(find(t, "LOCAL_APPDATA_LOW"), nullptr);
    ASSERT_NE(find(t, "ProgramFiles"), nullptr); // the name as the list writes it
    EXPECT_EQ(find(t, "ProgramFiles")->Value, "/pf-env");
    EXPECT_EQ(find(t, "TMP"), nullptr); // an empty variable leaves no entry
    for (int i = 0; i < t.PathCount(); ++i)
        for (int j = i + 1; j < t.PathCount(); ++j)
            EXPECT_NE(EngineCompareText(t.PathList[i]->Name, t.PathList[j]->Name), 0)
                << t.PathList[i]->Name;

    // The first entry of a name wins, whatever the letter case.
    const int count = t.PathCount();
    t.Add("profile", "/elsewhere");
    t.Add("PROFILE", "/elsewhere");
    EXPECT_EQ(t.PathCount(), count);
    EXPECT_EQ(t.ExpandPath("%PROFILE%"), home);
    t.Add("NewName", "/new");
    EXPECT_EQ(t.PathCount(), count + 1);
    EXPECT_EQ(t.ExpandPath("%NEWNAME%"), "/new");

    EXPECT_EQ(t.GetPathName(-1), "");
    EXPECT_EQ(t.GetPathName(t.PathCount()), "");
    for (int i = 0; i < t.PathCount(); ++i)
        EXPECT_EQ(t.GetPathName(i), t.PathList[static_cast<size_t>(i)]->Value);
}

TEST(PathVariableNames, SpecialFolderAndVariableLists) {
    int named = 0;
    for (int i = 0; i <= 60; ++i) {
        ASSERT_NE(SpecialFolderNames[i], nullptr);
        named += SpecialFolderNames[i][0] != 0;
    }
    EXPECT_EQ(named, 56);
    for (int hole : {15, 50, 51, 52, 60})
        EXPECT_STREQ(SpecialFolderNames[hole], "") << hole;
    const std::pair<int, const char*> anchors[] = {
        {0, "DESKTOP"},       {5, "PERSONAL"},    {14, "MYVIDEO"}, {16, "DESKTOPDIRECTORY"},
        {26, "APPDATA"},      {36, "WINDOWS"},    {40, "PROFILE"}, {49, "CONNECTIONS"},
        {53, "COMMON_MUSIC"}, {59, "CDBURN_AREA"}};
    for (const auto& [i, name] : anchors)
        EXPECT_STREQ(SpecialFolderNames[i], name) << i;
    EXPECT_EQ(EnvironmentVariableNames(), (Strings{"ALLUSERSPROFILE",
                                                   "CommonProgramFiles",
                                                   "HOMEDRIVE",
                                                   "HOMEPATH",
                                                   "LOCALAPPDATA",
                                                   "ProgramData",
                                                   "ProgramFiles",
                                                   "PUBLIC",
                                                   "SystemDrive",
                                                   "SystemRoot",
                                                   "TEMP",
                                                   "TMP",
                                                   "USERPROFILE",
                                                   "windir",
                                                   "ProgramW6432",
                                                   "CommonProgramW6432",
                                                   "HOME",
                                                   "TMPDIR",
                                                   "XDG_CONFIG_HOME",
                                                   "XDG_DATA_HOME",
                                                   "XDG_CACHE_HOME"}));
}

TEST(PathVariableNames, ProgramTableAndSettingsFolder) {
    ASSERT_NE(PathVariables(), nullptr);
    EXPECT_EQ(PathVariables(), PathVariables());
    EXPECT_EQ(ExpandVars("%NOSUCHNAME%\\x"), "%NOSUCHNAME%\\x");
    EXPECT_EQ(ExpandVars("%PROFILE%/x"), PathVariables()->ExpandPath("%PROFILE%/x"));
    const std::string& dir = AppDataDir();
    EXPECT_EQ(dir, platform::configHome() + "/");
    EXPECT_EQ(&dir, &AppDataDir());
}

} // namespace
} // namespace pelidor::test
