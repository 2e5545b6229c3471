#include <cstdlib>
#include <gtest/gtest.h>

#include "platform/Environment.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/TempTree.h"

using namespace pelidor::platform;
using pelidor::test::EnvGuard;
using pelidor::test::TempTree;

TEST(Environment, XdgBaseFoldersFollowTheVariablesWithFallbacks) {
    EnvGuard env;
    env.set("HOME", "/home/tester");
    env.set("XDG_CONFIG_HOME", "/cfg/");
    env.set("XDG_DATA_HOME", "relative/ignored");
    env.unset("XDG_CACHE_HOME");
    EXPECT_EQ(configHome(), "/cfg");
    EXPECT_EQ(dataHome(), "/home/tester/.local/share");
    EXPECT_EQ(cacheHome(), "/home/tester/.cache");
    EXPECT_EQ(homeTrashDir(), "/home/tester/.local/share/Trash");
    EXPECT_EQ(specialFolder(26), "/cfg");
    EXPECT_EQ(specialFolder(40), "/home/tester");
    EXPECT_EQ(specialFolder(35), "/var/lib");
    EXPECT_EQ(specialFolder(36), ""); // no system folder of that kind here
    EXPECT_EQ(specialFolder(10), ""); // virtual folders have no path
}

TEST(Environment, UserDirsComeFromTheUserDirsFile) {
    TempTree t;
    EnvGuard env;
    env.set("HOME", "/home/tester");
    env.set("XDG_CONFIG_HOME", t.root());
    t.write("user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
                              "XDG_DOCUMENTS_DIR=\"/data/docs/\"\nXDG_MUSIC_DIR=\"relative\"\n");
    EXPECT_EQ(userDir("DESKTOP"), "/home/tester/Schreibtisch");
    EXPECT_EQ(specialFolder(0), "/home/tester/Schreibtisch");
    EXPECT_EQ(specialFolder(5), "/data/docs");
    EXPECT_EQ(specialFolder(12), "/data/docs");
    EXPECT_EQ(userDir("MUSIC"), "/home/tester/Music"); // relative values are ignored
    EXPECT_EQ(specialFolder(39), "/home/tester/Pictures");
}
