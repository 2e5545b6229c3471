#include "cli/ScanOutput.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "platform/DateTime.h"
#include "tests/cli/MiniJson.h"

namespace pelidor::cli {
namespace {

struct FileRow {
    std::string path;
    int64_t size = 0;
    double mtime = 0;
    double ctime = 0;
};

TDuplicateResult makeGroups(const std::vector<std::vector<FileRow>>& rows) {
    TDuplicateResult groups;
    for (const auto& g : rows) {
        TDuplicateGroup group;
        for (const auto& f : g) {
            auto rec = std::make_unique<TDuplicateFile>();
            rec->FileName = f.path;
            rec->FileSize = f.size;
            rec->LastTime = f.mtime;
            rec->CreateTime = f.ctime;
            group.push_back(std::move(rec));
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

double dateTime(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
    double v = 0;
    EXPECT_TRUE(platform::encodeDateTime({y, mo, d, h, mi, s, ms}, v));
    return v;
}

template <class Fn>
std::string render(Fn fn) {
    std::ostringstream out;
    fn(out);
    return out.str();
}

TEST(ScanOutput, TextHasOneParagraphPerGroup) {
    const auto groups = makeGroups({{{"/a/x"}, {"/b/x"}}, {{"/c, d"}, {"/e"}, {"/f"}}});
    EXPECT_EQ(render([&](std::ostream& o) { writeText(o, groups); }),
              "/a/x\n/b/x\n\n/c, d\n/e\n/f\n");
    EXPECT_EQ(render([&](std::ostream& o) { writeText(o, TDuplicateResult{}); }), "");
}

TEST(ScanOutput, FormatsLocalDateTimes) {
    EXPECT_EQ(isoDateTime(dateTime(2023, 11, 14, 22, 13, 20, 999)), "2023-11-14T22:13:20");
    EXPECT_EQ(isoDateTime(dateTime(1999, 1, 2, 3, 4, 5)), "1999-01-02T03:04:05");
    EXPECT_EQ(isoDateTime(-1.25), "1899-12-29T06:00:00");
    EXPECT_EQ(isoDateTime(std::nan("")), "");
    EXPECT_EQ(isoDateTime(1e12), "");
}

TEST(ScanOutput, CsvQuotesFieldsAsRfc4180) {
    const std::pair<std::string, std::string> cases[] = {
        {"/plain/path.txt", "/plain/path.txt"},
        {"", ""},
        {"/a,b", "\"/a,b\""},
        {"/say \"hi\"", "\"/say \"\"hi\"\"\""},
        {"/line\nbreak", "\"/line\nbreak\""},
        {"/cr\r", "\"/cr\r\""},
        {"/semi;colon 'x'", "/semi;colon 'x'"},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(csvField(in), out);

    const double t1 = dateTime(2023, 11, 14, 22, 13, 20);
    const double t2 = dateTime(2020, 2, 29, 0, 0, 1);
    const auto groups = makeGroups({{{"/d/a,b", 3, t1, t2}, {"/d/q\"\n", 3, t2, t1}},
                                    {{"/d/x", 10, t1, t1}, {"/d/y", 10, t2, t2}}});
    EXPECT_EQ(render([&](std::ostream& o) { writeCsv(o, groups); }),
              "group,path,size,mtime,ctime\r\n"
              "1,\"/d/a,b\",3,2023-11-14T22:13:20,2020-02-29T00:00:01\r\n"
              "1,\"/d/q\"\"\n\",3,2020-02-29T00:00:01,2023-11-14T22:13:20\r\n"
              "2,/d/x,10,2023-11-14T22:13:20,2023-11-14T22:13:20\r\n"
              "2,/d/y,10,2020-02-29T00:00:01,2020-02-29T00:00:01\r\n");
    EXPECT_EQ(render([&](std::ostream& o) { writeCsv(o, TDuplicateResult{}); }),
              "group,path,size,mtime,ctime\r\n");
}

TEST(ScanOutput, ChecksUtf8) {
    const std::pair<std::string, bool> cases[] = {
        {"", true},
        {"plain", true},
        {"\xc3\xa4\xe6\x97\xa5\xf0\x9f\x98\x80", true}, // a-umlaut, a CJK letter, an emoji
        {"\xef\xbf\xbd", true},
        {"\xff", false},
        {"caf\xe9", false},          // Latin-1
        {"\xe6\x97", false},         // cut short
        {"\xc0\xaf", false},         // overlong '/'
        {"\xe0\x80\xaf", false},     // overlong '/'
        {"\xed\xa0\x80", false},     // surrogate
        {"\xf4\x90\x80\x80", false}, // above U+10FFFF
        {"\x80", false},             // stray continuation byte
    };
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(isValidUtf8(text), valid) << ::testing::PrintToString(text);
}

TEST(ScanOutput, JsonStringEscapes) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "\"plain\""},
        {"a\"b\\c/", "\"a\\\"b\\\\c/\""},
        {std::string("\x01\n\t\x1f\x7f", 5), "\"\\u0001\\u000a\\u0009\\u001f\\u007f\""},
        {std::string("\0", 1), "\"\\u0000\""},
        {"\xc3\xa4\xe6\x97\xa5", "\"\xc3\xa4\xe6\x97\xa5\""},
        {"x\xffy", "\"x\xef\xbf\xbdy\""},
        {"\xe6\x97", "\"\xef\xbf\xbd\xef\xbf\xbd\""}, // one U+FFFD per stray byte
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(jsonString(in), out) << ::testing::PrintToString(in);
}

TEST(ScanOutput, Base64MatchesRfc4648) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"\xff\xfe\xfd", "//79"},
        {std::string("\0\xfb", 2), "APs="},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(base64Encode(in), out);
}

// Every byte of every path survives the JSON output, whether it is UTF-8 or not.
TEST(ScanOutput, JsonKeepsEveryPathByte) {
    const double t = dateTime(2023, 11, 14, 22, 13, 20);
    const std::vector<std::string> paths = {
        "/data/plain.txt",
        "/data/quote\"back\\slash",
        std::string("/data/ctl\x01\n\t\x7f", 13),
        "/data/\xc3\x84/\xe6\x97\xa5\xe6\x9c\xac.txt",
        "/data/caf\xe9.txt",
        "/data/cut\xe6\x97",
        "/data/overlong\xc0\xaf",
        "/data/surrogate\xed\xa0\x80",
        "/data/\xff\xfe",
    };
    std::vector<std::vector<FileRow>> rows(2);
    for (size_t i = 0; i < paths.size(); ++i)
        rows[i % 2].push_back({paths[i], static_cast<int64_t>(1000 + i), t, t});
    const auto groups = makeGroups(rows);
    const std::string out = render([&](std::ostream& o) { writeJson(o, groups, ScanMode::Name); });
    ASSERT_TRUE(isValidUtf8(out));

    const auto doc = test::JsonReader::parse(out);
    EXPECT_EQ(doc.at("mode").str(), "name");
    const auto& jgroups = doc.at("groups").array();
    ASSERT_EQ(jgroups.size(), 2u);
    size_t seen = 0;
    for (size_t g = 0; g < 2; ++g) {
        const auto& files = jgroups[g].at("files").array();
        ASSERT_EQ(files.size(), rows[g].size());
        for (size_t i = 0; i < files.size(); ++i, ++seen) {
            const auto& f = files[i];
            const std::string& original = rows[g][i].path;
            SCOPED_TRACE(::testing::PrintToString(original));
            EXPECT_EQ(f.at("size").integer(), rows[g][i].size);
            EXPECT_EQ(f.at("mtime").str(), "2023-11-14T22:13:20");
            EXPECT_EQ(f.at("ctime").str(), "2023-11-14T22:13:20");
            if (isValidUtf8(original)) {
                EXPECT_EQ(f.at("path").str(), original);
                EXPECT_FALSE(f.has("path_base64"));
            } else {
                EXPECT_EQ(test::decodeBase64(f.at("path_base64").str()), original);
                // The readable form keeps the valid parts and marks each stray byte.
                const std::string& shown = f.at("path").str();
                EXPECT_TRUE(isValidUtf8(shown));
                EXPECT_NE(shown.find("\xef\xbf\xbd"), std::string::npos);
                EXPECT_EQ(shown.rfind("/data/", 0), 0u);
            }
        }
    }
    EXPECT_EQ(seen, paths.size());
    // Each stray byte stands for one U+FFFD.
    EXPECT_EQ(test::JsonReader::parse(jsonString("/data/cut\xe6\x97")).str(),
              "/data/cut\xef\xbf\xbd\xef\xbf\xbd");
}

TEST(ScanOutput, JsonOfNoGroupsAndOfBadTimes) {
    const auto empty = test::JsonReader::parse(
        render([&](std::ostream& o) { writeJson(o, TDuplicateResult{}, ScanMode::Full); }));
    EXPECT_EQ(empty.at("mode").str(), "full");
    EXPECT_TRUE(empty.at("groups").array().empty());

    const auto groups = makeGroups({{{"/a", 0, std::nan(""), 1e12}, {"/b", 0, 0, 0}}});
    const auto doc = test::JsonReader::parse(
        render([&](std::ostream& o) { writeJson(o, groups, ScanMode::Empty); }));
    const auto& files = doc.at("groups").array().at(0).at("files").array();
    EXPECT_TRUE(files.at(0).at("mtime").isNull());
    EXPECT_TRUE(files.at(0).at("ctime").isNull());
    EXPECT_EQ(files.at(1).at("mtime").str(), "1899-12-30T00:00:00");
}

} // namespace
} // namespace pelidor::cli
