// A damaged or unwritable Config.ini: loading gives the defaults for whatever cannot be
// read and never fails; saving either writes the whole file in one step or reports
// failure and leaves the old file as it was, with no temporary file behind.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <optional>

#include "config/IniFile.h"
#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "platform/Registry.h"
#include "tests/faults/FaultSupport.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/Unprivileged.h"

namespace pelidor::fault_test {
namespace {

using namespace std::string_literals;

class SettingsFaults : public ::testing::Test {
protected:
    void SetUp() override {
        root = tree.mkdir("appdata");
        SetSettingsRoot(root);
        platform::setRegistryFilePath(tree.path("registry/registry.reg"));
        SetLanguageFolder(tree.mkdir("Languages") + "/");
        env.set("LC_ALL", "C.UTF-8");
    }
    void TearDown() override {
        SetSettingsRoot({});
        platform::setRegistryFilePath({});
        SetLanguageFolder({});
    }
    std::string folder() const { return root + "/Pelidor"; }
    std::string configFile() const { return folder() + "/Config.ini"; }

    // Saves a settings file with values other than the defaults and returns its bytes.
    std::string saveKnownFile() {
        LoadAppConfig();
        AppConfig.RecycleDelete = false;
        AppConfig.CompareMode = 2;
        AppConfig.backPath = "/somewhere/bak/";
        EXPECT_TRUE(SaveAppConfig());
        return readAll(configFile());
    }

    test::TempTree tree;
    test::EnvGuard env;
    std::string root;
};

// Every kind of damage: the window's start-up reads what it can (defaults for the
// rest) and a later save either keeps what it did not understand or, for a file it
// cannot hold whole, refuses and leaves it untouched.
TEST_F(SettingsFaults, ADamagedFileLoadsWithDefaultsAndSavesWithoutLoss) {
    const std::string noise = test::seededContent(64 * 1024, 11);
    std::string hugeLine = "[General]\nbackPath=/" + std::string(4 << 20, 'x') + "\n";
    hugeLine += "RecycleDelete=0\n[AdvSettings]\nCompareMode=2\n";
    std::string overCap = "[General]\nRecycleDelete=0\n";
    overCap.resize(IniFile::kMaxFileSize + 1, 'z');
    std::string utf16NoMark;
    for (char c : std::string("[General]\r\nRecycleDelete=0\r\n")) {
        utf16NoMark.push_back(c);
        utf16NoMark.push_back('\0');
    }
    std::string cutUtf16 = "\xFF\xFE";
    for (char c : std::string("[General]\r\nRecycleDelete=0\r\nbackPath=/b"))
        cutUtf16 += std::string{c, '\0'};
    cutUtf16 += "/"; // half a code unit

    const struct Case {
        const char* what;
        std::string content;
        bool recycleDelete; // as loaded
        int32_t compareMode;
        std::optional<std::string> backPath; // unset: the default
        bool saves;
    } cases[] = {
        {"binary noise", noise, true, 2, {}, true},
        {"noise around good lines",
         noise + "\n[General]\nRecycleDelete=0\n" + noise,
         false,
         2,
         {},
         true},
        {"NUL bytes inside lines",
         "[General]\nRecycle\0Delete=0\n[AdvSettings]\nCompareMode=1\0\n"s,
         true,
         2,
         {},
         true},
        {"UTF-16 without its mark", utf16NoMark, true, 2, {}, true},
        {"UTF-16 cut in a code unit", cutUtf16, false, 2, "/b", true},
        {"Latin-1 text", "[General]\nbackPath=/caf\xE9/\nRecycleDelete=0\n", false, 2, "/caf\xE9/",
         true},
        {"a line of 4 MiB", hugeLine, false, 2, "/" + std::string(4 << 20, 'x'), true},
        {"larger than the settings file may be", overCap, false, 2, {}, false},
        {"values that are no numbers",
         "[AdvSettings]\nCompareMode=1x\nMinSize=\xFF\n",
         true,
         2,
         {},
         true},
    };
    LoadAppConfig();
    const TAppConfig defaults = AppConfig;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tree.write("appdata/Pelidor/Config.ini", c.content);
        LoadAppConfig();
        EXPECT_EQ(AppConfig.RecycleDelete, c.recycleDelete);
        EXPECT_EQ(AppConfig.CompareMode, c.compareMode);
        EXPECT_TRUE(AppConfig.backPath == c.backPath.value_or(defaults.backPath))
            << AppConfig.backPath.substr(0, 80);
        EXPECT_EQ(AppConfig.MinSize, defaults.MinSize);
        EXPECT_EQ(AppConfig.MaxSize, defaults.MaxSize);
        EXPECT_EQ(AppConfig.Lang, "English");

        AppConfig.header0 = 123;
        EXPECT_EQ(SaveAppConfig(), c.saves);
        const std::string after = readAll(configFile());
        if (c.saves) {
            LoadAppConfig();
            EXPECT_EQ(AppConfig.header0, 123);
            EXPECT_EQ(AppConfig.RecycleDelete, c.recycleDelete);
        } else {
            EXPECT_TRUE(after == c.content) << "the file was changed";
        }
        EXPECT_TRUE(hiddenNames(folder()).empty());
    }
}

// Config.ini in a folder that cannot be written, and a read-only Config.ini: without
// root rights, as a user meets them.
TEST_F(SettingsFaults, AnUnwritableFolderFailsTheSaveAndKeepsTheFile) {
    const std::string old = saveKnownFile();
    test::giveToUnprivileged(tree.root());
    ASSERT_EQ(::chmod(folder().c_str(), 0500), 0);
    test::runUnprivileged([&] {
        LoadAppConfig();
        EXPECT_FALSE(AppConfig.RecycleDelete);
        AppConfig.CompareMode = 1;
        EXPECT_FALSE(SaveAppConfig());
        EXPECT_EQ(readAll(configFile()), old);
        EXPECT_EQ(test::folderNames(folder()), std::vector<std::string>{"Config.ini"});
    });
    ::chmod(folder().c_str(), 0700);
}

// A Config.ini that cannot be read: the program starts with the defaults, and saving
// them must not replace the settings it could not read.
TEST_F(SettingsFaults, AnUnreadableFileGivesDefaultsAndIsNeverSavedOver) {
    const std::string old = saveKnownFile();
    test::giveToUnprivileged(tree.root());
    ASSERT_EQ(::chmod(configFile().c_str(), 0), 0);
    test::runUnprivileged([&] {
        LoadAppConfig();
        EXPECT_TRUE(AppConfig.RecycleDelete);
        EXPECT_EQ(AppConfig.CompareMode, 2);
        EXPECT_FALSE(SaveAppConfig());
        EXPECT_EQ(test::folderNames(folder()), std::vector<std::string>{"Config.ini"});
    });
    ::chmod(configFile().c_str(), 0600);
    EXPECT_EQ(readAll(configFile()), old);
}

// A read-only Config.ini in a writable folder: the file is replaced as a whole (the
// folder allows it), keeping its read-only permissions.
TEST_F(SettingsFaults, AReadOnlyFileIsReplacedWholeAndStaysReadOnly) {
    saveKnownFile();
    test::giveToUnprivileged(tree.root());
    ASSERT_EQ(::chmod(configFile().c_str(), 0400), 0);
    test::runUnprivileged([&] {
        LoadAppConfig();
        AppConfig.CompareMode = 1;
        EXPECT_TRUE(SaveAppConfig());
        LoadAppConfig();
        EXPECT_EQ(AppConfig.CompareMode, 1);
        EXPECT_FALSE(AppConfig.RecycleDelete);
        struct stat st {};
        ASSERT_EQ(::stat(configFile().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0400u);
        EXPECT_EQ(test::folderNames(folder()), std::vector<std::string>{"Config.ini"});
    });
}

// A file system that is full when the settings are saved (a real ENOSPC, not a size
// limit of the process): the save fails, the old file stays whole.
TEST_F(SettingsFaults, AFullDiskFailsTheSaveAndKeepsTheFile) {
    PrivateTmpfs volume(tree.mkdir("volume"), 64 * 1024);
    if (!volume.mounted())
        GTEST_SKIP() << "no private file system here: " << volume.error();
    root = tree.path("volume");
    SetSettingsRoot(root);
    const std::string old = saveKnownFile();
    ASSERT_FALSE(old.empty());
    // Fill the file system up.
    const int fd = ::open(tree.path("volume/filler").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'f');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    ::close(fd);

    LoadAppConfig();
    AppConfig.MsgIds = std::string(16 * 1024, '7');
    EXPECT_FALSE(SaveAppConfig());
    EXPECT_EQ(readAll(configFile()), old);
    EXPECT_TRUE(hiddenNames(folder()).empty());
    LoadAppConfig();
    EXPECT_FALSE(AppConfig.RecycleDelete);
    EXPECT_EQ(AppConfig.MsgIds, "");
}

} // namespace
} // namespace pelidor::fault_test
