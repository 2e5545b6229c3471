// The engine's text routines (comparison, name masks, folder lists), the time
// conversion, the comparators' marks, and what a collected record holds.
#include <cmath>
#include <ctime>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>

#include "tests/engine/ScanHelpers.h"

namespace pelidor::test {
namespace {

int sign(int v) {
    return (v > 0) - (v < 0);
}

TEST(EngineCompareText, FoldsOnlyAsciiLetters) {
    struct Case {
        const char* a;
        const char* b;
        int expectedSign;
    };
    const Case cases[] = {
        {"", "", 0},
        {"abc", "ABC", 0},
        {"Photo.JPG", "photo.jpg", 0},
        {"a", "b", -1},
        {"B", "a", 1},               // 'B' vs 'A' after folding
        {"_", "a", 1},               // '_' (0x5F) sorts after the folded 'A' (0x41)
        {"Z", "_", -1},              // ... and after 'Z'
        {"ab", "abc", -1},           // a prefix sorts first
        {"abc", "ab", 1},            //
        {"\xC3\xA9", "\xC3\x89", 1}, // é and É are not folded
        {"a\xFF", "A\xFF", 0},       // bytes above 0x7F pass through
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " | " + c.b);
        EXPECT_EQ(sign(EngineCompareText(c.a, c.b)), c.expectedSign);
    }
}

TEST(EngineCompareText, ComparesFileNamePartsOnly) {
    EXPECT_EQ(CompareFileNames("/x/Photo.JPG", "/y/other/photo.jpg"), 0);
    EXPECT_LT(CompareFileNames("/z/a.txt", "/a/b.txt"), 0);
    EXPECT_EQ(CompareFileNames("C:\\a\\X.TXT", "D:\\x.txt", '\\'), 0);
    // With '\' as the separator, '/' is part of the name.
    EXPECT_NE(CompareFileNames("a/x.txt", "b/x.txt", '\\'), 0);
    EXPECT_EQ(CompareFileNames("noseparator", "NOSEPARATOR"), 0);
}

TEST(PathMatchSpec, MatchesLikeTheShell) {
    struct Case {
        const char* name;
        const char* mask;
        bool match;
    };
    const Case cases[] = {
        {"a.txt", "*", true},
        {"a.txt", "*.txt", true},
        {"a.TXT", "*.txt", true},
        {"A.txt", "*.TXT", true},
        {"a.txt", "*.jpg", false},
        {"a.txt.bak", "*.txt", false},
        {"a.txt", "a.txt", true},
        {"a.txt", "a.tx", false},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"abbc", "a?c", false},
        {"abc", "???", true},
        {"ab", "???", false},
        {"noext", "*.*", true},
        {".hidden", "*.*", true},
        {"a.b.c", "*.c", true},
        {"data.tar.gz", "*.tar.*", true},
        {"abcabd", "*abd", true},
        {"aaa", "a*a*a", true},
        {"aa", "a*a*a", false},
        {"IMG_1.jpg", "IMG*", true},
        {"img_1.jpg", "IMG*", true},
        {"xIMG_1.jpg", "IMG*", false},
        {"a.txt", "*.jpg;*.txt", true},
        {"a.txt", " *.jpg ; *.txt ", true},
        {"a.txt", "*.txt;", true},
        {"a.png", "*.jpg; *.txt", false},
        {"\xFF\xFE.bin", "*.bin", true},
        {"\xFF\xFE.bin", "??.BIN", true}, // a byte that is no character's part counts as one
        {"caf\xC3\xA9", "CAF?", true},    // '?' takes a whole UTF-8 character
        {"caf\xC3\xA9", "CAF??", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.name + "' against '" + c.mask + "'");
        EXPECT_EQ(PathMatchSpec(c.name, c.mask), c.match);
    }
}

TEST(RemoveSubPaths, KeepsOnlyOutermostFolders) {
    struct Case {
        char sep;
        Strings in;
        Strings out;
    };
    const Case cases[] = {
        {'/', {}, {}},
        {'/', {"/data", "/data/photos", "/data2"}, {"/data", "/data2"}},
        {'/', {"/b", "/a", "/a/x/y", "/a"}, {"/a", "/b"}},
        {'/', {"/a/b", "/a"}, {"/a"}},
        {'/', {"/data/", "/data/x"}, {"/data/"}},
        {'/', {"/data", "/data/"}, {"/data"}},
        {'/', {"/", "/x", "/y/z"}, {"/"}},
        // Folders differ in letter case: two folders, sorted by byte value.
        {'/', {"/data/Photos", "/Data"}, {"/Data", "/data/Photos"}},
        // "/a-b" sorts between "/a" and "/a/b"; "/a/b" still lies inside "/a".
        {'/', {"/a/b", "/a-b", "/a"}, {"/a", "/a-b"}},
        {'\\', {"C:\\Data", "C:\\Data\\Photos", "D:\\"}, {"C:\\Data", "D:\\"}},
        {'\\', {"C:\\Data", "C:\\Data2"}, {"C:\\Data", "C:\\Data2"}},
        {'\\', {"C:\\Data", "c:\\data\\Photos"}, {"C:\\Data", "c:\\data\\Photos"}},
        {'\\', {"C:\\a\\b", "C:\\a-b", "C:\\a"}, {"C:\\a", "C:\\a-b"}},
        // With '\' as the separator, '/' does not make a sub-folder.
        {'\\', {"/a/b", "/a"}, {"/a", "/a/b"}},
    };
    for (const auto& c : cases) {
        Strings list = c.in;
        RemoveSubPaths(list, c.sep);
        std::string trace = std::string("sep ") + c.sep + ":";
        for (const auto& s : c.in)
            trace += " " + s;
        SCOPED_TRACE(trace);
        EXPECT_EQ(list, c.out);
    }
}

TEST(FileTimeToDateTime, ConvertsWithTheOffsetInForceAtThatTime) {
    EnvGuard env;
    struct Case {
        const char* tz;
        int64_t seconds;
        int32_t nanoseconds;
        double expected;
    };
    const double ms = 1.0 / 86400000.0;
    const Case cases[] = {
        {"UTC0", 0, 0, 25569.0},
        {"UTC0", 86400, 0, 25570.0},
        {"UTC0", -86400, 0, 25568.0},
        {"UTC0", 43200, 0, 25569.5},
        {"UTC0", 43200, 500000000, 25569.5 + 500 * ms},
        {"UTC0", 0, 123999999, 25569.0 + 123 * ms}, // milliseconds kept, the rest dropped
        {"UTC0", 1700000000, 0, 25569.0 + 1700000000.0 / 86400.0},
        {"UTC0", -2209226400, 0, -1.25}, // 1899-12-29 06:00
        // Central European time: +1 in winter, +2 in summer, whatever today's offset.
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1609459200, 0, 44197.0 + 1.0 / 24}, // 2021-01-01
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1625097600, 0, 44378.0 + 2.0 / 24}, // 2021-07-01
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.tz) + " " + std::to_string(c.seconds) + "." +
                     std::to_string(c.nanoseconds));
        env.set("TZ", c.tz);
        EXPECT_NEAR(FileTimeToDateTime(c.seconds, c.nanoseconds), c.expected, 1e-10);
    }
}

TEST(FileTimeToDateTime, UnconvertibleTimeGivesNow) {
    EnvGuard env;
    env.set("TZ", "UTC0");
    const double now = 25569.0 + static_cast<double>(std::time(nullptr)) / 86400.0;
    for (int64_t seconds : {std::numeric_limits<int64_t>::max(),
                            std::numeric_limits<int64_t>::min(), int64_t{253402300800}}) {
        SCOPED_TRACE(seconds);
        const double v = FileTimeToDateTime(seconds, 0);
        EXPECT_TRUE(std::isfinite(v));
        EXPECT_NEAR(v, now, 1.0);
    }
}

TEST(Comparators, ClearMarksOfDifferentRecordsWithEqualKeys) {
    auto rec = [](const char* name, int64_t size, const char* md5) {
        auto r = std::make_unique<TDuplicateFile>();
        r->FileName = name;
        r->FileSize = size;
        r->Md5 = md5;
        return r;
    };
    auto a = rec("/x/a.txt", 10, "AA");
    auto b = rec("/y/A.TXT", 10, "AA");
    auto c = rec("/z/c.txt", 10, "BB");
    auto big = rec("/z/a.txt", 20, "AA");

    // Sizes decide first, and leave the marks alone.
    EXPECT_LT(CompareBySize(*a, *big), 0);
    EXPECT_GT(CompareByName(*big, *a), 0);
    EXPECT_GT(CompareByHash(*big, *a), 0);
    EXPECT_TRUE(a->bDel && big->bDel);

    // A record compared with itself keeps its mark.
    EXPECT_EQ(CompareBySize(*a, *a), 0);
    EXPECT_EQ(CompareByName(*a, *a), 0);
    EXPECT_EQ(CompareByHash(*a, *a), 0);
    EXPECT_TRUE(a->bDel);

    // Different keys of equal size: ordered by the key, marks kept.
    EXPECT_LT(CompareByName(*a, *c), 0);
    EXPECT_LT(CompareByHash(*a, *c), 0);
    EXPECT_TRUE(a->bDel && c->bDel);

    // Equal keys: both marks cleared, and a total order remains.
    EXPECT_NE(CompareBySize(*a, *c), 0);
    EXPECT_EQ(sign(CompareBySize(*a, *c)), -sign(CompareBySize(*c, *a)));
    EXPECT_FALSE(a->bDel || c->bDel);
    a->bDel = b->bDel = true;
    EXPECT_NE(CompareByName(*a, *b), 0); // same name, different records
    EXPECT_FALSE(a->bDel || b->bDel);
    a->bDel = b->bDel = true;
    EXPECT_EQ(sign(CompareByHash(*a, *b)), sign(EngineCompareText(a->FileName, b->FileName)));
    EXPECT_FALSE(a->bDel || b->bDel);
}

TEST(Records, DescribeTheCollectedFile) {
    TempTree tree;
    const std::string p1 = tree.writeSized("d/f.bin", 123, 1);
    tree.writeSized("e/f.bin", 123, 1);
    const timespec times[2] = {{1600000000, 0}, {1600000000, 250999000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, p1.c_str(), times, 0), 0);
    struct stat st {};
    ASSERT_EQ(::stat(p1.c_str(), &st), 0);

    TSearchHolper holder;
    RecordingReceiver receiver;
    const auto out = runScan(holder, {.mode = dtFileName, .paths = {tree.root() + "/"}}, receiver);
    ASSERT_TRUE(out.finished);
    ASSERT_EQ(holder.DuplicateResult()->size(), 1u);
    const TDuplicateFile* rec = nullptr;
    for (const auto& r : holder.DuplicateResult()->front())
        if (r->FileName == p1)
            rec = r.get();
    ASSERT_NE(rec, nullptr) << "exactly one separator between folder and name";
    EXPECT_EQ(rec->FileSize, 123);
    EXPECT_TRUE(rec->Md5.empty());
    for (const auto& r : holder.DuplicateResult()->front())
        EXPECT_EQ(r->Device, rec->Device) << "one file system, one device";
    EXPECT_EQ(rec->Inode, static_cast<uint64_t>(st.st_ino));
    EXPECT_EQ(rec->MTimeSec, 1600000000);
    EXPECT_EQ(rec->MTimeNsec, 250999000);
    EXPECT_NEAR(rec->LastTime, FileTimeToDateTime(1600000000, 250999000), 1e-10);
    // Created just now (birth or status-change time).
    EXPECT_NEAR(rec->CreateTime, FileTimeToDateTime(std::time(nullptr), 0), 1.0);
}

} // namespace
} // namespace pelidor::test
