#include "platform/Registry.h"
#include "platform/System.h"
#include "shell/SharedHelpers.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sys/utsname.h>

namespace pelidor {
namespace {

using test::TempTree;

TEST(GetFixedFileVersion, OwnExecutableCarriesTheBuildVersion) {
    const std::string self = platform::executablePath();
    ASSERT_FALSE(self.empty());
    TempTree tree;
    tree.symlink(self, "link-to-self");

    for (const std::string& path : {self, tree.path("link-to-self")}) {
        TVSFixedFileInfo info;
        GetFixedFileVersion(path, info);
        EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(info.dwFileVersionMS >> 16, unsigned{PELIDOR_VERSION_MAJOR});
        EXPECT_EQ(info.dwFileVersionMS & 0xFFFF, unsigned{PELIDOR_VERSION_MINOR});
        EXPECT_EQ(info.dwFileVersionLS >> 16, unsigned{PELIDOR_VERSION_RELEASE});
        EXPECT_EQ(info.dwFileVersionLS & 0xFFFF, unsigned{PELIDOR_VERSION_BUILD});
        EXPECT_EQ(info.dwProductVersionMS, info.dwFileVersionMS);
        EXPECT_EQ(info.dwProductVersionLS, info.dwFileVersionLS);
    }
    // The version text of the program, as the version routines build it.
    const auto info = ProgramVersionInfo();
    const std::string text = std::to_string(info.dwFileVersionMS >> 16) + "." +
                             std::to_string(info.dwFileVersionMS & 0xFFFF) + "." +
                             std::to_string(info.dwFileVersionLS >> 16) + "." +
                             std::to_string(info.dwFileVersionLS & 0xFFFF);
    EXPECT_EQ(text, PELIDOR_VERSION_TEXT);
}

TEST(GetFixedFileVersion, OtherFilesLeaveInfoAsItWas) {
    TempTree tree;
    const std::string other = tree.write("other.exe", "MZ not a program of ours");
    for (const std::string& path : {other, tree.path("missing"), std::string()}) {
        TVSFixedFileInfo info;
        info.dwSignature = 7;
        info.dwFileVersionMS = 0x00050006;
        GetFixedFileVersion(path, info);
        EXPECT_EQ(info.dwSignature, 7u) << path;
        EXPECT_EQ(info.dwFileVersionMS, 0x00050006u) << path;
        EXPECT_EQ(info.dwFileVersionLS, 0u) << path;
    }
}

TEST(SystemVersion, KernelReleaseNumbers) {
    struct utsname names {};
    ASSERT_EQ(::uname(&names), 0);
    const std::string text = GetWindowsVersionText();
    ASSERT_TRUE(std::regex_match(text, std::regex("\\d+\\.\\d+\\.\\d+"))) << text;
    // "6.1.0-18-amd64" gives "6.1.0"; "5.15" gives "5.15.0".
    const std::string release = names.release;
    EXPECT_EQ(release.rfind(text.substr(0, text.rfind('.')), 0), 0u) << release << " / " << text;

    UpdateWindowsVersion();
    const auto& v = WindowsVersion();
    EXPECT_EQ(std::to_string(v.MajorVersion) + "." + std::to_string(v.MinorVersion) + "." +
                  std::to_string(v.BuildNumber),
              text);
    EXPECT_EQ(v.Platform, kPlatformMultiUser);
    EXPECT_LE(v.CSDVersion.size(), 128u);

    // A native program: no 64-bit emulation and nothing to redirect.
    EXPECT_FALSE(IsWin64());
    EXPECT_FALSE(Win64System());
    EXPECT_FALSE(IsOldWin64());
    EXPECT_FALSE(DisableFsRedirection());
    EXPECT_FALSE(RevertFsRedirection());
}

class ReadRegIntegerTest : public ::testing::Test {
protected:
    void SetUp() override { platform::setRegistryFilePath(file); }
    void TearDown() override { platform::setRegistryFilePath(""); }
    TempTree tree;
    std::string file = tree.path("Corvane/registry.reg");
};

TEST_F(ReadRegIntegerTest, IntegersOnlyFromIntegerValues) {
    tree.write("Corvane/registry.reg", "Windows Registry Editor Version 5.00\r\n\r\n"
                                       "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Pelidor]\r\n"
                                       "\"IsJP\"=dword:00000001\r\n"
                                       "\"Text\"=\"1\"\r\n"
                                       "\"All\"=dword:ffffffff\r\n"
                                       "\"Binary\"=hex:01,00,00,00\r\n");
    const std::string key = "SOFTWARE\\Corvane\\Pelidor";
    const struct {
        TRegRoot root;
        const char* key;
        const char* name;
        int32_t expected;
    } cases[] = {
        {TRegRoot::CurrentUser, "SOFTWARE\\Corvane\\Pelidor", "IsJP", 1},
        {TRegRoot::CurrentUser, "software\\corvane\\pelidor", "isjp", 1}, // names ignore case
        {TRegRoot::CurrentUser, "\\SOFTWARE\\Corvane\\Pelidor", "IsJP", 1},
        {TRegRoot::CurrentUser, "SOFTWARE\\Corvane\\Pelidor", "All", -1},
        {TRegRoot::CurrentUser, "SOFTWARE\\Corvane\\Pelidor", "Text", 42},   // text: default
        {TRegRoot::CurrentUser, "SOFTWARE\\Corvane\\Pelidor", "Binary", 42}, // bytes: default
        {TRegRoot::CurrentUser, "SOFTWARE\\Corvane\\Pelidor", "Missing", 42},
        {TRegRoot::CurrentUser, "SOFTWARE\\Corvane\\Other", "IsJP", 42},
        {TRegRoot::LocalMachine, "SOFTWARE\\Corvane\\Pelidor", "IsJP", 42},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadRegInteger(c.root, c.key, c.name, true, 42), c.expected)
            << RegRootName(c.root) << "\\" << c.key << " " << c.name;

    // Values written through the registry keep their types.
    ASSERT_TRUE(platform::regWriteString("HKEY_CURRENT_USER\\" + key, "IsJP", "1"));
    EXPECT_EQ(ReadRegInteger(TRegRoot::CurrentUser, key, "IsJP", true, -1), -1);
    ASSERT_TRUE(platform::regWriteDword("HKEY_CURRENT_USER\\" + key, "IsJP", 0x80000000u));
    EXPECT_EQ(ReadRegInteger(TRegRoot::CurrentUser, key, "IsJP", true, -1), INT32_MIN);
}

TEST_F(ReadRegIntegerTest, MissingOrBrokenFileGivesTheDefault) {
    EXPECT_EQ(ReadRegInteger(TRegRoot::CurrentUser, "SOFTWARE\\Corvane\\Pelidor", "IsJP", true, -1),
              -1);
    tree.write("Corvane/registry.reg",
               std::string("\xff\xfe\x00\x01garbage\n[HKEY_CURRENT_USER", 22));
    EXPECT_EQ(ReadRegInteger(TRegRoot::CurrentUser, "SOFTWARE\\Corvane\\Pelidor", "IsJP", true, -1),
              -1);
}

TEST(RegistryAccessFlags, ReadOrFullAccessWithoutViewsForANativeProgram) {
    EXPECT_EQ(RegistryAccessFlags("SOFTWARE\\Corvane\\Pelidor", true, false), 0x20019u);
    EXPECT_EQ(RegistryAccessFlags("SOFTWARE\\Corvane\\Pelidor", false, false), 0xF003Fu);
    EXPECT_EQ(RegistryAccessFlags("SOFTWARE\\Wow6432Node\\Corvane", true, true), 0x20019u);
}

} // namespace
} // namespace pelidor
