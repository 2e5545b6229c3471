#include <gtest/gtest.h>
#include <sys/stat.h>

#include "config/IniFile.h"
#include "tests/config/test_appconfig_support.h"
#include "tests/support/TempTree.h"

using pelidor::IniFile;
using pelidor::settings_test::FileSizeLimit;
using pelidor::settings_test::readAll;
using pelidor::test::TempTree;

namespace {

// The UTF-16LE bytes of a text.
std::string bytesOf(const std::u16string& text) {
    std::string out;
    for (char16_t u : text) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

const std::string kBom16 = "\xFF\xFE";

} // namespace

TEST(IniFile, ReadsByThePrivateProfileRules) {
    IniFile ini;
    ini.loadFromBytes("stray=before any section\n"
                      "[General]\n"
                      "Language = English \n"
                      "  MIXED=first\n"
                      "mixed=second\n"
                      "; comment=ignored\n"
                      "novalue\n"
                      "empty=\n"
                      "eq=a=b\n"
                      "[ Second ]\n"
                      "x=1\n"
                      "[general]\n"
                      "late=from the second part\n"
                      "Language=a later duplicate\n"
                      "[broken\n");
    struct Case {
        const char* section;
        const char* key;
        const char* expected;
    } cases[] = {
        {"General", "Language", "English"},
        {"GENERAL", "mixed", "first"},
        {"General", "; comment", "<none>"},
        {"General", "novalue", ""},
        {"General", "empty", ""},
        {"General", "eq", "a=b"},
        {"second", "X", "1"},
        {"General", "late", "from the second part"},
        {"General", "stray", "<none>"},
        {"General", "[broken", ""},
        {"Missing", "x", "<none>"},
        {"Second", "Language", "<none>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.readString(c.section, c.key, "<none>"), c.expected)
            << c.section << "/" << c.key;
    EXPECT_EQ(ini.sections(), (std::vector<std::string>{"General", "Second"}));
    EXPECT_EQ(ini.sectionKeys("general"),
              (std::vector<std::string>{"Language", "MIXED", "mixed", "novalue", "empty", "eq",
                                        "late", "Language", "[broken"}));
}

TEST(IniFile, IntegersParseWholeOrGiveTheDefault) {
    struct Case {
        const char* text;
        int bits;
        bool ok;
        int64_t value;
    } cases[] = {
        {"0", 32, true, 0},
        {"-17", 32, true, -17},
        {"+5", 32, true, 5},
        {" 7 ", 32, true, 7},
        {"$10", 32, true, 16},
        {"0x1F", 32, true, 31},
        {"0X1f", 32, true, 31},
        {"$FFFFFFFF", 32, true, -1},
        {"$100000000", 32, false, 0},
        {"2147483647", 32, true, 2147483647},
        {"2147483648", 32, false, 0},
        {"-2147483648", 32, true, -2147483648LL},
        {"5368709120", 64, true, 5368709120LL},
        {"-9223372036854775808", 64, true, INT64_MIN},
        {"9223372036854775808", 64, false, 0},
        {"$FFFFFFFFFFFFFFFF", 64, true, -1},
        {"12abc", 32, false, 0},
        {"1 2", 32, false, 0},
        {"1e3", 32, false, 0},
        {"", 32, false, 0},
        {"$", 32, false, 0},
        {"0x", 32, false, 0},
        {"-", 32, false, 0},
        {"\xd9\xa3", 32, false, 0}, // an Arabic-Indic digit
    };
    for (const auto& c : cases) {
        int64_t value = 12345;
        EXPECT_EQ(IniFile::parseInteger(c.text, c.bits, value), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(value, c.value) << c.text;
        }
    }
    IniFile ini;
    ini.loadFromBytes("[S]\nbig=5368709120\nodd=2\nzero=0\nbad=x\n");
    EXPECT_EQ(ini.readInteger("S", "big", -1), -1); // does not fit 32 bits
    EXPECT_EQ(ini.readInt64("S", "big", -1), 5368709120LL);
    EXPECT_TRUE(ini.readBool("S", "odd", false));
    EXPECT_FALSE(ini.readBool("S", "zero", true));
    EXPECT_TRUE(ini.readBool("S", "bad", true));
    EXPECT_FALSE(ini.readBool("S", "missing", false));
}

TEST(IniFile, EditsTouchOnlyWhatTheyChange) {
    TempTree t;
    const std::string path = t.write("Config.ini", "; settings\r\n"
                                                   "[General]\r\n"
                                                   "Language=English\r\n"
                                                   "Unknown=kept\r\n"
                                                   "; trailing comment of General\r\n"
                                                   "\r\n"
                                                   "[InPath]\r\n"
                                                   "/a=\r\n"
                                                   "/b=\r\n"
                                                   "\r\n"
                                                   "; about Services\r\n"
                                                   "[Services]\r\n"
                                                   "Update=http://127.0.0.1/\r\n"
                                                   "[inpath]\r\n"
                                                   "/z=");
    ::chmod(path.c_str(), 0640);
    IniFile ini(path);
    ASSERT_EQ(ini.state(), IniFile::LoadState::Loaded);
    EXPECT_EQ(ini.lineBreak(), "\r\n");
    ini.writeString("general", "LANGUAGE", "Deutsch");
    ini.writeString("General", "Added", "1");
    ini.writeString("General", "Unknown", "kept"); // same value: no change
    ini.replaceSection("InPath", {{"/c", ""}, {"/c", ""}});
    ini.eraseSection("SERVICES");
    ini.writeInt64("AdvSettings", "MinSize", -1);
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(readAll(path), "; settings\r\n"
                             "[General]\r\n"
                             "Language=Deutsch\r\n"
                             "Unknown=kept\r\n"
                             "Added=1\r\n"
                             "; trailing comment of General\r\n"
                             "\r\n"
                             "[InPath]\r\n"
                             "/c=\r\n"
                             "/c=\r\n"
                             "\r\n"
                             "; about Services\r\n"
                             "\r\n"
                             "[AdvSettings]\r\n"
                             "MinSize=-1\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u); // the file keeps its mode

    ini.eraseSection("InPath");
    ini.deleteKey("General", "Added");
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(IniFile(path).toBytes(), ini.toBytes());
    EXPECT_FALSE(IniFile(path).sectionExists("inpath"));
    EXPECT_FALSE(IniFile(path).valueExists("General", "Added"));
}

TEST(IniFile, NewFilesAreUtf8WithLineFeeds) {
    TempTree t;
    IniFile ini(t.path("Config.ini"));
    EXPECT_EQ(ini.state(), IniFile::LoadState::Missing);
    ini.writeString("General", "Name", "Größe");
    ini.writeString("AdvSettings", "Two\nLines", "a\r\nb"); // breaks cannot start new lines
    ASSERT_TRUE(ini.save());
    EXPECT_EQ(readAll(t.path("Config.ini")),
              "[General]\nName=Größe\n\n[AdvSettings]\nTwo Lines=a  b\n");
}

TEST(IniFile, EncodingsStayAsFound) {
    TempTree t;
    // UTF-16LE with its mark, CRLF, characters outside the Basic Multilingual Plane.
    const std::string utf16 = kBom16 + bytesOf(u"[General]\r\nName=Größe 日本 😀\r\n");
    const std::string p16 = t.write("utf16.ini", utf16);
    {
        IniFile ini(p16);
        EXPECT_EQ(ini.encoding(), IniFile::Encoding::Utf16LE);
        EXPECT_EQ(ini.readString("General", "Name", {}), "Größe 日本 😀");
        ASSERT_TRUE(ini.save());
        EXPECT_EQ(readAll(p16), utf16); // an unchanged save is byte-exact
        ini.writeString("General", "Other", "ü");
        ASSERT_TRUE(ini.save());
        EXPECT_EQ(readAll(p16), kBom16 + bytesOf(u"[General]\r\nName=Größe 日本 😀\r\nOther=ü\r\n"));
    }
    // Lone surrogates and an odd last byte survive too.
    std::u16string odd = u"[A]\r\nk=";
    odd += char16_t(0xD800);
    odd += u"x";
    odd += char16_t(0xDC85);
    odd += u"\r\n";
    const std::string oddBytes = kBom16 + bytesOf(odd) + "A";
    const std::string pOdd = t.write("odd.ini", oddBytes);
    {
        IniFile ini(pOdd);
        EXPECT_TRUE(ini.canSave());
        ASSERT_TRUE(ini.save());
        EXPECT_EQ(readAll(pOdd), oddBytes);
    }
    // A UTF-8 mark is kept and is not part of the first section's name.
    const std::string p8 = t.write("utf8bom.ini", "\xEF\xBB\xBF[General]\nA=1\n");
    {
        IniFile ini(p8);
        EXPECT_EQ(ini.readString("General", "A", {}), "1");
        ini.writeString("General", "B", "2");
        ASSERT_TRUE(ini.save());
        EXPECT_EQ(readAll(p8), "\xEF\xBB\xBF[General]\nA=1\nB=2\n");
    }
}

TEST(IniFile, DamagedFilesLoadWhatTheyCanAndLoseNothing) {
    TempTree t;
    // Binary noise around readable lines.
    const std::string noise = pelidor::test::seededContent(4096, 7);
    const std::string binary = noise + "\n[General]\nA=5\n" + noise;
    const std::string pBin = t.write("binary.ini", binary);
    {
        IniFile ini(pBin);
        EXPECT_EQ(ini.readInteger("General", "A", 0), 5);
        ini.writeString("General", "A", "6");
        ASSERT_TRUE(ini.save());
        const std::string after = readAll(pBin);
        EXPECT_EQ(after.substr(0, noise.size()), noise);
        EXPECT_EQ(after.substr(after.size() - noise.size()), noise);
        EXPECT_EQ(IniFile(pBin).readInteger("General", "A", 0), 6);
    }
    // UTF-16 cut in the middle of a code unit.
    const std::string cut = kBom16 + bytesOf(u"[General]\r\nA=1\r\nB=") + "\x32";
    const std::string pCut = t.write("cut.ini", cut);
    {
        IniFile ini(pCut);
        EXPECT_EQ(ini.readString("General", "A", {}), "1");
        EXPECT_EQ(ini.readString("General", "B", "-"), "");
        ASSERT_TRUE(ini.save());
        EXPECT_EQ(readAll(pCut), cut);
    }
    // Larger than the cap: the head is read, the file is never saved over.
    std::string huge = "[General]\nA=1\n";
    huge.resize(IniFile::kMaxFileSize + 4096, 'x');
    const std::string pHuge = t.write("huge.ini", huge);
    {
        IniFile ini(pHuge);
        EXPECT_EQ(ini.readString("General", "A", {}), "1");
        EXPECT_FALSE(ini.canSave());
        ini.writeString("General", "A", "2");
        EXPECT_FALSE(ini.save());
        EXPECT_EQ(readAll(pHuge).size(), huge.size());
    }
    // Not a regular file.
    ASSERT_EQ(::mkfifo(t.path("fifo.ini").c_str(), 0600), 0);
    for (const std::string& path : {t.mkdir("dir.ini"), t.path("fifo.ini")}) {
        IniFile ini(path);
        EXPECT_EQ(ini.state(), IniFile::LoadState::Unreadable) << path;
        ini.writeString("General", "A", "1");
        EXPECT_FALSE(ini.save()) << path;
    }
}

TEST(IniFile, AFailedSaveLeavesTheOldFileWhole) {
    TempTree t;
    const std::string old = "[General]\nLanguage=English\n";
    const std::string path = t.write("cfg/Config.ini", old);
    {
        // A disk that fills up while the new content is written.
        IniFile ini(path);
        ini.writeString("General", "Long", std::string(4096, 'v'));
        FileSizeLimit limit(1024);
        EXPECT_FALSE(ini.save());
    }
    EXPECT_EQ(readAll(path), old);
    EXPECT_EQ(pelidor::test::folderNames(t.path("cfg")), std::vector<std::string>{"Config.ini"});

    if (!pelidor::test::runningAsRoot()) { // root writes into read-only folders
        ::chmod(t.path("cfg").c_str(), 0500);
        IniFile ini(path);
        ini.writeString("General", "Language", "Deutsch");
        EXPECT_FALSE(ini.save());
        ::chmod(t.path("cfg").c_str(), 0700);
        EXPECT_EQ(readAll(path), old);
    }
}

TEST(IniFile, EscapedKeysRoundTrip) {
    TempTree t;
    const std::vector<std::string> keys = {
        "/data/a=b", "/data/trail ", " lead", "[x]y", ";semi", "\"q\"", "two\nlines", "/100%/ü", "",
    };
    std::vector<IniFile::Entry> entries;
    for (const auto& k : keys)
        entries.emplace_back(IniFile::escapeKey(k), "");
    IniFile ini(t.path("keys.ini"));
    ini.replaceSection("InPath", entries);
    ASSERT_TRUE(ini.save());
    std::vector<std::string> back;
    for (const auto& k : IniFile(t.path("keys.ini")).sectionKeys("InPath"))
        back.push_back(IniFile::unescapeKey(k));
    EXPECT_EQ(back, keys);
    EXPECT_NE(readAll(t.path("keys.ini")).find("\n/100%/ü=\n"), std::string::npos); // plain
}
