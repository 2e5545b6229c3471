// Inputs the fuzz targets (tests/fuzz/fuzz_*.cpp) found faults with, kept as plain tests
// so that the normal build guards the fixes. Each input is written out as bytes.
#include "config/IniFile.h"
#include "tests/support/TempTree.h"

#ifdef PELIDOR_FUZZ_REGRESSIONS_QT
#include "services/UCheckNewThread.h"

#include <QString>
#endif

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace pelidor {
namespace {

using namespace std::string_literals;

// ---- INI layer ------------------------------------------------------------------------

// A UTF-16LE file that holds a lone high surrogate (read as its 3-byte form ED A0 80) and
// a lone U+DC80 (read as the byte 0x80). Written next to each other in one value, the two
// were saved as a surrogate pair and read back as another character.
const std::string kUtf16LoneSurrogates =
    "\xFF\xFE[\0G\0]\0\n\0x\0=\0\x80\xDC\n\0k\0=\0\x00\xD8\n\0"s;

TEST(FuzzRegressionsIni, Utf16ValueJoiningSurrogateFormsReadsBackAsWritten) {
    IniFile ini;
    ini.loadFromBytes(kUtf16LoneSurrogates);
    ASSERT_EQ(ini.encoding(), IniFile::Encoding::Utf16LE);
    ASSERT_TRUE(ini.canSave());
    EXPECT_EQ(ini.toBytes(), kUtf16LoneSurrogates);
    const std::string joined = ini.readString("G", "k", "") + ini.readString("G", "x", "");
    ASSERT_EQ(joined, "\xED\xA0\x80\x80");
    ini.writeString("G", "x", joined);

    test::TempTree tree;
    const std::string path = tree.write("Config.ini", ini.toBytes());
    IniFile saved(path);
    saved.writeString("G", "y", "\xED\xA0\x80\xED\xB0\x80"); // high then low 3-byte form
    ASSERT_TRUE(saved.save());

    const IniFile again(path);
    EXPECT_TRUE(again.canSave());
    EXPECT_EQ(again.readString("G", "x", ""), "\xED\xA0\x80\x80");
    EXPECT_EQ(again.readString("G", "y", ""), "\xED\xA0\x80\xED\xB0\x80");
    EXPECT_EQ(again.readString("G", "k", ""), "\xED\xA0\x80");
    EXPECT_EQ(again.toBytes(), saved.toBytes());
}

// A run of lone high surrogates written right before an escaped byte: escaping only the
// last of them put an escape (a low surrogate) right after the one before it.
TEST(FuzzRegressionsIni, Utf16ValueWithHighSurrogateRunReadsBackAsWritten) {
    const std::string input = "\xFF\xFE[\0]\0\n\0=\0\x80\xDC\n\0=\0\x80\xD8\x00\xD8"s;
    IniFile ini;
    ini.loadFromBytes(input);
    ASSERT_TRUE(ini.canSave());
    EXPECT_EQ(ini.toBytes(), input);
    const auto entries = ini.sectionEntries("");
    ASSERT_EQ(entries.size(), 2u);
    const std::string value = entries[1].second + entries[0].second;
    ASSERT_EQ(value, "\xED\xA2\x80\xED\xA0\x80\x80");
    ini.writeString("", "", value);
    ini.writeString("", "run", "a\xED\xA0\x80\xED\xAF\xBF\xED\xA0\x80\xED\xB0\x80z");

    IniFile again;
    again.loadFromBytes(ini.toBytes());
    EXPECT_TRUE(again.canSave());
    EXPECT_EQ(again.readString("", "", ""), value);
    EXPECT_EQ(again.readString("", "run", ""),
              "a\xED\xA0\x80\xED\xAF\xBF\xED\xA0\x80\xED\xB0\x80z");
    EXPECT_EQ(again.sectionEntries(""), ini.sectionEntries(""));
}

// U+DC80..U+DCFF in a UTF-16 file stand for single bytes. A value holding the 3-byte form
// of one of them (here the file's own first bytes, written back as a value) was saved as
// that unit and read back as one byte.
TEST(FuzzRegressionsIni, Utf16ValueWithEscapeLookalikeReadsBackAsWritten) {
    const std::string input = "\xFF\xFE\xED\xB2\x80"s;
    IniFile ini;
    ini.loadFromBytes(input);
    ASSERT_TRUE(ini.canSave());
    EXPECT_EQ(ini.toBytes(), input);
    ini.writeString("General", "FuzzAdded", input);
    ini.writeString("General", "Forms", "\xED\xB2\x80|\xED\xB3\xBF|\xED\xB2\x7F");

    IniFile again;
    again.loadFromBytes(ini.toBytes());
    EXPECT_TRUE(again.canSave());
    EXPECT_EQ(again.readString("General", "FuzzAdded", ""), input);
    EXPECT_EQ(again.readString("General", "Forms", ""), "\xED\xB2\x80|\xED\xB3\xBF|\xED\xB2\x7F");
    EXPECT_EQ(again.toBytes(), ini.toBytes());
}

#ifdef PELIDOR_FUZZ_REGRESSIONS_QT

// ---- News answer ----------------------------------------------------------------------

// "color" beyond the 64-bit range was converted to an integer (undefined behaviour).
TEST(FuzzRegressionsNews, ColourOutsideTheIntegerRangeIsNoColour) {
    const QString answer =
        QString::fromUtf8("{\"servertime\":\"yesterday\",\"news\":[{\"id\":1,\"type\":1,"
                          "\"expired\":\"9999-12-31\",\"color\":1e300}]}");
    const auto news = FilterNews(answer, "", "", 45634.5);
    ASSERT_EQ(news.size(), 1u);
    EXPECT_EQ(news[0].color, 0);

    const auto kept = FilterNews(
        QString::fromUtf8("{\"servertime\":\"2024-12-08\",\"news\":["
                          "{\"id\":2,\"type\":1,\"expired\":\"2025-01-01\",\"color\":16711680},"
                          "{\"id\":3,\"type\":1,\"expired\":\"2025-01-01\",\"color\":-1e300},"
                          "{\"id\":4,\"type\":1,\"expired\":\"2025-01-01\",\"color\":9.3e18}]}"),
        "", "", 45634.5);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0].color, 16711680);
    EXPECT_EQ(kept[1].color, 0);
    EXPECT_EQ(kept[2].color, 0);
}

#endif

} // namespace
} // namespace pelidor
