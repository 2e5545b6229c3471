// Grouping: which files form groups in each mode, and the order of groups and of
// the records inside them.
#include <filesystem>
#include <map>

#include "tests/engine/ScanHelpers.h"

namespace pelidor::test {
namespace {

namespace fs = std::filesystem;

// The groups in result order, each group's paths sorted (the order inside a group is
// checked by expectWellFormed).
Groups sortInside(Groups groups) {
    for (auto& g : groups)
        std::sort(g.begin(), g.end());
    return groups;
}

struct File {
    std::string path;
    int64_t size;
    uint32_t seed;
};

TEST(Grouping, GroupsAppearInAscendingSize) {
    TempTree tree;
    for (const File& f : {File{"p/a", 300, 1}, File{"q/a", 300, 1}, File{"p/b", 20, 2},
                          File{"q/b", 20, 2}, File{"p/c", 4000, 3}, File{"q/c", 4000, 3}})
        tree.writeSized(f.path, f.size, f.seed);
    for (TDuplicateType mode : {dtFileName, dtDataSize, dtMd5, dtMd5Part}) {
        SCOPED_TRACE(static_cast<int>(mode));
        const auto out = runScan({.mode = mode, .paths = {tree.root()}});
        EXPECT_EQ(sortInside(relative(out.groups, tree.root())),
                  (Groups{{"p/b", "q/b"}, {"p/a", "q/a"}, {"p/c", "q/c"}}));
    }
}

TEST(Grouping, ModeDecidesWhatIsADuplicate) {
    struct Case {
        const char* name;
        TDuplicateType mode;
        std::vector<File> files;
        Groups groups; // result order, paths sorted inside each group
        int64_t beginSize = 0;
        int64_t endSize = -1;
        bool anyGroupOrder = false;
    };
    const Case cases[] = {
        {"same name, other size",
         dtFileName,
         {{"X/a.txt", 5, 1}, {"Y/a.txt", 5, 2}, {"Z/a.txt", 6, 3}},
         {{"X/a.txt", "Y/a.txt"}}},
        {"names differ in ASCII letter case",
         dtFileName,
         {{"X/Report.doc", 9, 1}, {"Y/report.DOC", 9, 2}},
         {{"X/Report.doc", "Y/report.DOC"}}},
        {"names differ in non-ASCII letter case",
         dtFileName,
         {{"X/\xC3\xA9t\xC3\xA9.txt", 9, 1}, {"Y/\xC3\x89T\xC3\x89.txt", 9, 1}},
         {}},
        {"same size, other names", dtFileName, {{"X/a", 9, 1}, {"Y/b", 9, 1}}, {}},
        {"groups of one size ordered by name",
         dtFileName,
         {{"X/b.txt", 7, 1},
          {"Y/b.txt", 7, 2},
          {"Y/_.txt", 7, 3},
          {"X/_.txt", 7, 4},
          {"X/A.txt", 7, 5},
          {"Y/a.txt", 7, 6}},
         {{"X/A.txt", "Y/a.txt"}, {"X/b.txt", "Y/b.txt"}, {"X/_.txt", "Y/_.txt"}}},
        {"empty files only",
         dtDataSize,
         {{"e1", 0, 1}, {"e2", 0, 1}, {"f1", 5, 1}, {"f2", 5, 1}},
         {{"e1", "e2"}},
         0,
         0},
        {"equal size, other content", dtMd5, {{"a", 64, 1}, {"b", 64, 2}}, {}},
        {"equal size, other content, partial", dtMd5Part, {{"a", 64, 1}, {"b", 64, 2}}, {}},
        // Equal sizes: the two groups follow their fingerprints (checked in runScan).
        {"two groups of one size, and a third file",
         dtMd5,
         {{"a1", 100, 1}, {"a2", 100, 1}, {"b1", 100, 2}, {"b2", 100, 2}, {"c", 100, 3}},
         {{"a1", "a2"}, {"b1", "b2"}},
         0,
         -1,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        for (const auto& f : c.files)
            tree.writeSized(f.path, f.size, f.seed);
        const auto out = runScan({.mode = c.mode,
                                  .paths = {tree.root()},
                                  .beginSize = c.beginSize,
                                  .endSize = c.endSize});
        if (c.anyGroupOrder) {
            EXPECT_EQ(normalized(relative(out.groups, tree.root())), normalized(c.groups));
            continue;
        }
        EXPECT_EQ(sortInside(relative(out.groups, tree.root())), c.groups);
    }
}

TEST(Grouping, FingerprintGroupsAreOrderedByPathIgnoringAsciiCase) {
    TempTree tree;
    // Byte order would be B, C, _c, a, c; ignoring ASCII case it is a, B, C, c, _c
    // (with C and c equal, in either order).
    for (const char* f : {"_c/f", "a/f", "B/f", "c/f", "C/f"})
        tree.writeSized(f, 5000, 9);
    for (TDuplicateType mode : {dtMd5, dtMd5Part}) {
        for (unsigned threads : {1u, 2u}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(mode)) + "/" + std::to_string(threads));
            const auto out =
                runScan({.mode = mode, .paths = {tree.root()}, .hashThreads = threads});
            ASSERT_EQ(out.groups.size(), 1u);
            Strings g = relative(out.groups, tree.root())[0];
            ASSERT_EQ(g.size(), 5u);
            EXPECT_EQ(g[0], "a/f");
            EXPECT_EQ(g[1], "B/f");
            EXPECT_TRUE((g[2] == "C/f" && g[3] == "c/f") || (g[2] == "c/f" && g[3] == "C/f"))
                << g[2] << ", " << g[3];
            EXPECT_EQ(g[4], "_c/f");
        }
    }
}

// Many files whose sizes, names and contents repeat in overlapping patterns; the
// expected groups are worked out here from the files themselves.
TEST(Grouping, MixedTreeMatchesIndependentGrouping) {
    TempTree tree;
    const Strings names = {"a.txt", "A.TXT", "b.bin", "c", "C", "dd.x"};
    const int64_t sizes[] = {1, 100, 9000, 20000, 40000};
    struct Made {
        std::string path, name, content;
    };
    std::vector<Made> made;
    for (int i = 0; i < 180; ++i) {
        const std::string name = names[static_cast<size_t>(i % 6)];
        const std::string rel = "f" + std::to_string(i / 6) + "/" + name;
        const int64_t size = sizes[(i * 7 / 3) % 5];
        std::string content = seededContent(size, static_cast<uint32_t>((i * 3) % 5));
        if (size >= 20000 && i % 2 == 1) // same head and tail, other middle
            content[static_cast<size_t>(size / 2)] =
                static_cast<char>(~content[static_cast<size_t>(size / 2)]);
        made.push_back({tree.write(rel, content), name, content});
    }
    auto upper = [](std::string s) {
        for (auto& ch : s)
            if (ch >= 'a' && ch <= 'z')
                ch = static_cast<char>(ch - 'a' + 'A');
        return s;
    };
    auto partial = [](const std::string& c) {
        return c.size() >= 8192 ? c.substr(0, 1024) + c.substr(c.size() - 1024) : c;
    };
    for (TDuplicateType mode : {dtFileName, dtDataSize, dtMd5, dtMd5Part}) {
        std::map<std::string, Strings> byKey;
        for (const auto& m : made) {
            const std::string size = std::to_string(m.content.size()) + "|";
            switch (mode) {
            case dtFileName:
                byKey[size + upper(m.name)].push_back(m.path);
                break;
            case dtDataSize:
                byKey[size].push_back(m.path);
                break;
            case dtMd5:
                byKey[m.content].push_back(m.path);
                break;
            case dtMd5Part:
                byKey[size + partial(m.content)].push_back(m.path);
                break;
            }
        }
        Groups expected;
        for (auto& [key, paths] : byKey)
            if (paths.size() >= 2)
                expected.push_back(paths);
        for (unsigned threads : {1u, 2u}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(mode)) + "/" + std::to_string(threads));
            const auto out =
                runScan({.mode = mode, .paths = {tree.root()}, .hashThreads = threads});
            EXPECT_EQ(normalized(out.groups), normalized(expected));
        }
    }
}

// Lists of 20,000 records and more are sorted in two halves on two threads and merged;
// the groups and their order are those of one sort on one thread, and those worked out
// here from the files.
TEST(Grouping, LargeListsGroupTheSameOnOneAndTwoThreads) {
    TempTree tree;
    const std::string contents[] = {"a", "b", "ab", "ba", "abc", "xyz", "zz"};
    const Strings names = {"f", "F", "g", "h.txt", "H.TXT"};
    std::map<std::string, Strings> byName, byContent;
    for (int i = 0; i < 20200; ++i) {
        const std::string& content = contents[static_cast<size_t>(i * 7 / 5) % 7];
        const std::string& name = names[static_cast<size_t>(i) % names.size()];
        const std::string path = tree.write(
            "d" + std::to_string(i % 101) + "/" + std::to_string(i / 101) + name, content);
        std::string upperName = std::to_string(i / 101) + name;
        for (auto& ch : upperName)
            if (ch >= 'a' && ch <= 'z')
                ch = static_cast<char>(ch - 'a' + 'A');
        byName[std::to_string(content.size()) + "|" + upperName].push_back(path);
        byContent[content].push_back(path);
    }
    for (TDuplicateType mode : {dtFileName, dtMd5Part}) {
        // Expected groups: keys ascend by size first, then by name or fingerprint.
        const auto& byKey = mode == dtFileName ? byName : byContent;
        Groups expected;
        for (const auto& [key, paths] : byKey)
            if (paths.size() >= 2)
                expected.push_back(paths);
        Groups one;
        for (unsigned threads : {1u, 2u}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(mode)) + "/" + std::to_string(threads));
            const auto out = runScan({.mode = mode,
                                      .paths = {tree.root()},
                                      .hashThreads = threads,
                                      .verifyDigests = false});
            EXPECT_EQ(normalized(out.groups), normalized(expected));
            if (threads == 1)
                one = sortInside(out.groups);
            else
                EXPECT_EQ(sortInside(out.groups), one) << "the order of the groups differs";
        }
    }
}

} // namespace
} // namespace pelidor::test
