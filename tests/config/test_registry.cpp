#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

#include "platform/Registry.h"
#include "tests/config/test_appconfig_support.h"
#include "tests/support/TempTree.h"

using namespace pelidor::platform;
using pelidor::settings_test::readAll;
using pelidor::settings_test::ScopedEnv;
using pelidor::test::TempTree;

namespace {

const std::string kPelidor = "HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Pelidor";

// Points the registry at a file for one test.
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        file = tree.path("Corvane/registry.reg");
        setRegistryFilePath(file);
    }
    void TearDown() override { setRegistryFilePath({}); }

    TempTree tree;
    std::string file;
};

unsigned modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<unsigned>(st.st_mode & 07777) : 0;
}

} // namespace

TEST(Registry, DefaultFileLivesInTheConfigHome) {
    TempTree t;
    ScopedEnv env;
    env.set("XDG_CONFIG_HOME", t.root());
    setRegistryFilePath({});
    EXPECT_EQ(registryFilePath(), t.root() + "/Corvane/registry.reg");
    ASSERT_TRUE(regWriteDword(kPelidor, "IsJP", 1));
    EXPECT_EQ(regReadDword(kPelidor, "IsJP"), 1u);
    EXPECT_EQ(modeOf(t.root() + "/Corvane"), 0700u);
}

TEST_F(RegistryTest, ValuesKeepTheirTypesAndNamesIgnoreCase) {
    EXPECT_EQ(regReadDword(kPelidor, "IsJP"), std::nullopt); // no file yet
    ASSERT_TRUE(regWriteDword(kPelidor, "IsJP", 1));
    ASSERT_TRUE(regWriteString(kPelidor, "Path", "C:\\a \"q\""));
    ASSERT_TRUE(regWriteString(kPelidor, "Number", "1"));
    EXPECT_EQ(readAll(file), "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Pelidor]\n"
                             "\"IsJP\"=dword:00000001\n"
                             "\"Path\"=\"C:\\\\a \\\"q\\\"\"\n"
                             "\"Number\"=\"1\"\n");
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(tree.path("Corvane")), 0700u);

    const std::string lower = "hkey_current_user\\software\\corvane\\pelidor\\";
    EXPECT_EQ(regReadDword(lower, "isjp"), 1u);
    EXPECT_EQ(regReadString(lower, "PATH"), "C:\\a \"q\"");
    EXPECT_EQ(regReadDword(kPelidor, "Number"), std::nullopt); // text is not a number
    EXPECT_EQ(regReadString(kPelidor, "IsJP"), std::nullopt);
    EXPECT_EQ(regReadDword(kPelidor + "\\Sub", "IsJP"), std::nullopt);

    // A write replaces the value in place; the name keeps its spelling.
    ASSERT_TRUE(regWriteDword(lower, "isjp", 0xFFFFFFFFu));
    EXPECT_EQ(regReadDword(kPelidor, "IsJP"), 0xFFFFFFFFu);
    EXPECT_NE(readAll(file).find("\"IsJP\"=dword:ffffffff\n\"Path\""), std::string::npos);

    // Text the syntax cannot hold is refused, not written half.
    EXPECT_FALSE(regWriteString(kPelidor, "Bad", "two\nlines"));
    EXPECT_EQ(regReadString(kPelidor, "Bad"), std::nullopt);
}

TEST_F(RegistryTest, ForeignContentSurvivesEveryWrite) {
    const std::string original = "Windows Registry Editor Version 5.00\r\n"
                                 "\r\n"
                                 "; exported by hand\r\n"
                                 "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
                                 "\"Blob\"=hex:01,02,03,\\\r\n"
                                 "  04,05\r\n"
                                 "\"Small\"=hex(4):0a,00,00,00\r\n"
                                 "\"Broken=dword:1\r\n"
                                 "garbage ][ line\r\n"
                                 "\r\n"
                                 "[-HKEY_CURRENT_USER\\Software\\Gone]\r\n"
                                 "\"Ghost\"=dword:00000001\r\n"
                                 "\r\n"
                                 "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Pelidor]\r\n"
                                 "\"IsJP\"=\"1\"";
    tree.write("Corvane/registry.reg", original);

    EXPECT_EQ(regReadDword("HKEY_CURRENT_USER\\Software\\Other", "Small"), 10u);
    EXPECT_EQ(regReadDword("HKEY_CURRENT_USER\\Software\\Other", "Blob"), std::nullopt);
    EXPECT_EQ(regReadDword("HKEY_CURRENT_USER\\Software\\Gone", "Ghost"), std::nullopt);
    EXPECT_EQ(regReadDword(kPelidor, "IsJP"), std::nullopt);
    EXPECT_EQ(regReadString(kPelidor, "IsJP"), "1");

    ASSERT_TRUE(regWriteDword("HKEY_CURRENT_USER\\Software\\Other", "New", 5));
    ASSERT_TRUE(regWriteString(kPelidor, "Qdx", "{G}"));
    ASSERT_TRUE(regWriteDword("HKEY_CURRENT_USER\\Software\\Fresh", "A", 1));
    EXPECT_EQ(readAll(file), "Windows Registry Editor Version 5.00\r\n"
                             "\r\n"
                             "; exported by hand\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
                             "\"Blob\"=hex:01,02,03,\\\r\n"
                             "  04,05\r\n"
                             "\"Small\"=hex(4):0a,00,00,00\r\n"
                             "\"New\"=dword:00000005\r\n"
                             "\"Broken=dword:1\r\n"
                             "garbage ][ line\r\n"
                             "\r\n"
                             "[-HKEY_CURRENT_USER\\Software\\Gone]\r\n"
                             "\"Ghost\"=dword:00000001\r\n"
                             "\r\n"
                             "[HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\Pelidor]\r\n"
                             "\"IsJP\"=\"1\"\r\n"
                             "\"Qdx\"=\"{G}\"\r\n"
                             "\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Fresh]\r\n"
                             "\"A\"=dword:00000001\r\n");
}

TEST_F(RegistryTest, FilesThatCannotBeRewrittenWholeAreLeftAlone) {
    // Binary content: what parses is read, nothing is written over it.
    const std::string binary = std::string("\0\1\2\xff", 4) + "\n[HKEY_X]\n\"A\"=dword:00000002\n";
    tree.write("Corvane/registry.reg", binary);
    EXPECT_EQ(regReadDword("HKEY_X", "A"), 2u);
    EXPECT_FALSE(regWriteDword("HKEY_X", "A", 3));
    EXPECT_EQ(readAll(file), binary);

    // A folder in place of the file, and a file in place of the folder.
    setRegistryFilePath(tree.mkdir("dir.reg"));
    EXPECT_FALSE(regWriteDword(kPelidor, "IsJP", 1));
    EXPECT_EQ(regReadDword(kPelidor, "IsJP"), std::nullopt);
    setRegistryFilePath(tree.write("plain", "x") + "/Corvane/registry.reg");
    EXPECT_FALSE(regWriteDword(kPelidor, "IsJP", 1));
    EXPECT_EQ(readAll(tree.path("plain")), "x");
}

TEST_F(RegistryTest, WritesFromTwoThreadsAreNotLost) {
    auto writer = [](const std::string& prefix) {
        for (uint32_t i = 0; i < 20; ++i)
            regWriteDword(kPelidor, prefix + std::to_string(i), i);
    };
    std::thread a(writer, "A"), b(writer, "B");
    a.join();
    b.join();
    for (uint32_t i = 0; i < 20; ++i) {
        EXPECT_EQ(regReadDword(kPelidor, "A" + std::to_string(i)), i);
        EXPECT_EQ(regReadDword(kPelidor, "B" + std::to_string(i)), i);
    }
}
