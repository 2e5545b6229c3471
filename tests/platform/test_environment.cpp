#include <cstdlib>
#include <gtest/gtest.h>

#include "platform/Environment.h"
#include "tests/support/TempTree.h"

using namespace pelidor::platform;
using pelidor::test::TempTree;

namespace {
// Sets environment variables for one test and restores them after.
class EnvGuard {
public:
    void set(const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old != nullptr, old != nullptr ? old : ""});
        ::setenv(name, value.c_str(), 1);
    }
    void unset(const char* name) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old != nullptr, old != nullptr ? old : ""});
        ::unsetenv(name);
    }
    ~EnvGuard() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->had)
                ::setenv(it->name, it->value.c_str(), 1);
            else
                ::unsetenv(it->name);
        }
    }

private:
    struct Saved {
        const char* name;
        bool had;
        std::string value;
    };
    std::vector<Saved> saved_;
};
} // namespace

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
