// The engine on Windows, on real trees: folder lists compared without regard to case,
// paths beyond 260 characters, names outside the ANSI code page, files held open by
// another handle, read-only, hidden and system files, the Recycle Bin and the Windows
// folder.
#include <algorithm>
#include <string>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

#include "engine/uSearchHolper.h"
#include "platform/Environment.h"
#include "platform/win32/WinText.h"
#include "tests/engine/ScanHelpers.h"

namespace pelidor::test {
namespace {

using platform::win32::longPath;

// A handle to the file that another program would hold: read access, others may read.
class OpenHandle {
public:
    OpenHandle(const std::string& path, DWORD share)
        : h_(CreateFileW(longPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr,
                         OPEN_EXISTING, 0, nullptr)) {}
    ~OpenHandle() {
        if (valid())
            CloseHandle(h_);
    }
    OpenHandle(const OpenHandle&) = delete;
    OpenHandle& operator=(const OpenHandle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

void setAttributes(const std::string& path, DWORD attributes) {
    ASSERT_TRUE(SetFileAttributesW(longPath(path).c_str(), attributes)) << path;
}

TEST(WinWalk, FolderListsIgnoreLetterCase) {
    TempTree tree;
    tree.writeSized("Data/a.bin", 100, 1);
    tree.writeSized("Data/Skip/b.bin", 100, 1);
    tree.writeSized("Data/Keep/c.bin", 100, 1);
    tree.writeSized("Data2/d.bin", 100, 1);
    const std::string upper = tree.root() + "\\DATA";
    // The exclusion in other letter case, with and without the trailing backslash.
    for (const std::string& excluded : {upper + "\\SKIP", upper + "\\skip\\"}) {
        SCOPED_TRACE(excluded);
        const auto out = runScan({.mode = dtDataSize,
                                  .paths = {tree.path("Data"), tree.path("Data2")},
                                  .excludePaths = Strings{excluded}});
        EXPECT_EQ(normalized(relative(out.groups, tree.root())),
                  (Groups{{"Data/Keep/c.bin", "Data/a.bin", "Data2/d.bin"}}));
    }
    // A start folder that is the other one in other letter case is scanned once; a folder
    // whose name only begins with another's is its own folder.
    Strings list{tree.root() + "\\data", upper, upper + "\\keep", tree.root() + "\\Data2"};
    RemoveSubPaths(list);
    EXPECT_EQ(list, (Strings{tree.root() + "\\data", tree.root() + "\\Data2"}));
    const auto once = runScan({.mode = dtDataSize, .paths = {upper, tree.path("data")}});
    EXPECT_EQ(once.groups.size(), 1u);
    ASSERT_FALSE(once.groups.empty());
    EXPECT_EQ(once.groups[0].size(), 3u);
}

TEST(WinWalk, PathsBeyondTheOldLimitAreWalkedAndFingerprinted) {
    TempTree tree;
    std::string deep = "deep";
    while (deep.size() < 320)
        deep += "/folder-with-a-long-name-" + std::to_string(deep.size());
    tree.writeSized(deep + "/copy1.bin", 20000, 7);
    tree.writeSized(deep + "/sub/copy2.bin", 20000, 7);
    tree.writeSized("near.bin", 20000, 7);
    for (TDuplicateType mode : {dtMd5, dtMd5Part}) {
        const auto out = runScan({.mode = mode, .paths = {tree.root()}, .hashThreads = 2});
        ASSERT_EQ(out.groups.size(), 1u);
        EXPECT_EQ(normalized(relative(out.groups, tree.root())),
                  (Groups{{deep + "/copy1.bin", deep + "/sub/copy2.bin", "near.bin"}}));
        for (const auto& p : out.groups[0])
            EXPECT_GT(p.size(), 260u * (p.find("deep") != std::string::npos));
    }
}

TEST(WinWalk, DeepChainsReopenTheirFoldersThroughTheParent) {
    // More levels than the walk keeps folder handles open: finished folders go back to
    // their parents through ".." and every level's files are still found.
    TempTree tree;
    std::string rel = "chain";
    Strings expected;
    for (int level = 0; level < 90; ++level) {
        rel += "/d" + std::to_string(level);
        if (level % 15 == 0) {
            tree.writeSized(rel + "/copy.bin", 300, 4);
            expected.push_back(rel + "/copy.bin");
        }
    }
    tree.writeSized("chain/d0/after.bin", 300, 4);
    expected.push_back("chain/d0/after.bin");
    const auto out = runScan({.mode = dtMd5, .paths = {tree.root()}, .hashThreads = 2});
    EXPECT_EQ(normalized(relative(out.groups, tree.root())), normalized(Groups{expected}));
}

TEST(WinWalk, NamesOutsideTheAnsiCodePageKeepTheirText) {
    TempTree tree;
    const std::vector<std::string> names = {
        "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.txt", // Japanese
        "\xCE\xA9mega \xD0\x96.txt",                // Greek and Cyrillic
        "\xF0\x9F\x98\x80 smile.txt",               // outside the basic plane
        "caf\xC3\xA9.txt",
    };
    for (size_t i = 0; i < names.size(); ++i)
        tree.write("\xE4\xB8\xAD/" + names[i], "same content");
    // NTFS allows a name that is not valid UTF-16: a lone surrogate (Wine, which keeps
    // names as UTF-8 on the Unix side, refuses to create one).
    const std::wstring odd = longPath(tree.path("\xE4\xB8\xAD")) + L"\\x\xD800y.txt";
    const HANDLE h = CreateFileW(odd.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    const bool haveOdd = h != INVALID_HANDLE_VALUE;
    if (haveOdd) {
        DWORD wrote = 0;
        WriteFile(h, "same content", 12, &wrote, nullptr);
        CloseHandle(h);
    }

    const auto out = runScan({.mode = dtMd5, .paths = {tree.root()}});
    ASSERT_EQ(out.groups.size(), 1u);
    Strings expected;
    for (const auto& n : names)
        expected.push_back("\xE4\xB8\xAD/" + n);
    if (haveOdd)
        expected.push_back("\xE4\xB8\xAD/x\xED\xA0\x80y.txt");
    EXPECT_EQ(normalized(relative(out.groups, tree.root())), normalized(Groups{expected}));
    // Every reported path opens again (expectWellFormed re-hashed each one).
}

TEST(WinWalk, FileHeldOpenByAnotherHandleGetsNoFingerprint) {
    TempTree tree;
    tree.writeSized("a.bin", 5000, 3);
    tree.writeSized("b.bin", 5000, 3);
    const std::string held = tree.writeSized("held.bin", 5000, 3);
    const std::string locked = tree.writeSized("locked.bin", 5000, 3);
    OpenHandle other(held, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(other.valid());
    // A byte-range lock by a handle that allows sharing.
    OpenHandle ranges(locked, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_TRUE(ranges.valid());
    OVERLAPPED where{};
    ASSERT_TRUE(LockFileEx(ranges.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                           MAXDWORD, MAXDWORD, &where));

    EXPECT_EQ(GetFileMd5(held, true), "");
    EXPECT_EQ(GetFileMd5(locked, true), "");
    for (TDuplicateType mode : {dtMd5, dtMd5Part}) {
        const auto out = runScan({.mode = mode, .paths = {tree.root()}});
        EXPECT_EQ(relative(out.groups, tree.root()), (Groups{{"a.bin", "b.bin"}}));
    }
    // In the modes without fingerprints the files are ordinary members.
    const auto sized = runScan({.mode = dtDataSize, .paths = {tree.root()}});
    ASSERT_EQ(sized.groups.size(), 1u);
    EXPECT_EQ(sized.groups[0].size(), 4u);
    UnlockFileEx(ranges.get(), 0, MAXDWORD, MAXDWORD, &where);
}

TEST(WinWalk, HardLinksAreTwoRecordsAndBothGetFingerprints) {
    // Both names of one file sit side by side in the list, so two hash threads open the
    // file at the same moment: share mode 0 must not cost one of them its fingerprint.
    TempTree tree;
    Groups expected;
    for (int i = 0; i < 6; ++i) {
        const std::string n = std::to_string(i);
        const std::string first = tree.writeSized("f" + n + ".bin", 300000 + i, 11 + i);
        ASSERT_TRUE(CreateHardLinkW(longPath(tree.path("g" + n + ".bin")).c_str(),
                                    longPath(first).c_str(), nullptr));
        tree.writeSized("h" + n + ".bin", 300000 + i, 11 + i);
        expected.push_back({"f" + n + ".bin", "g" + n + ".bin", "h" + n + ".bin"});
    }
    for (TDuplicateType mode : {dtMd5, dtMd5Part}) {
        const auto out = runScan({.mode = mode, .paths = {tree.root()}, .hashThreads = 2});
        EXPECT_EQ(normalized(relative(out.groups, tree.root())), normalized(expected));
    }
}

TEST(WinWalk, ReadOnlyHiddenAndSystemFilesAreCollected) {
    TempTree tree;
    const std::string ro = tree.writeSized("ro.bin", 3000, 9);
    const std::string hidden = tree.writeSized("h/hidden.bin", 3000, 9);
    const std::string system = tree.writeSized("s/system.bin", 3000, 9);
    setAttributes(ro, FILE_ATTRIBUTE_READONLY);
    setAttributes(hidden, FILE_ATTRIBUTE_HIDDEN);
    setAttributes(system, FILE_ATTRIBUTE_SYSTEM);
    setAttributes(tree.path("h"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    const auto out = runScan({.mode = dtMd5, .paths = {tree.root()}});
    EXPECT_EQ(normalized(relative(out.groups, tree.root())),
              (Groups{{"h/hidden.bin", "ro.bin", "s/system.bin"}}));
    setAttributes(ro, FILE_ATTRIBUTE_NORMAL);
}

TEST(WinWalk, RecycleBinAndWindowsFolderAreNeverEntered) {
    TempTree tree;
    tree.writeSized("a.bin", 700, 2);
    tree.writeSized("$RECYCLE.BIN/S-1-5-21-1/b.bin", 700, 2);
    tree.writeSized("x/$RECYCLE.BIN/c.bin", 700, 2);
    tree.writeSized("keep/d.bin", 700, 2);
    const auto out = runScan({.mode = dtDataSize, .paths = {tree.root()}});
    EXPECT_EQ(normalized(relative(out.groups, tree.root())), (Groups{{"a.bin", "keep/d.bin"}}));

    const std::string windows = platform::specialFolder(36);
    ASSERT_FALSE(windows.empty());
    EXPECT_TRUE(IsProtectedFolder(windows));
    EXPECT_TRUE(IsProtectedFolder(windows + "\\"));
    std::string lower = windows;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    EXPECT_TRUE(IsProtectedFolder(lower));
    EXPECT_FALSE(IsProtectedFolder(windows + "\\system32"));
    EXPECT_FALSE(IsProtectedFolder(tree.root()));
    // The default exclusions: the Windows folder and the program and data folders.
    const auto& f = EngineFolders();
    EXPECT_EQ(f.WindowsDir, windows + "\\");
    EXPECT_EQ(f.ProgramFilesDir.back(), '\\');
    EXPECT_FALSE(f.CommonAppDataDir.empty());
    EXPECT_NE(f.CommonAppDataDir.back(), '\\');
}

TEST(WinWalk, LinksAreNeitherFollowedNorCollected) {
    TempTree tree;
    tree.writeSized("real/a.bin", 400, 5);
    tree.writeSized("other/b.bin", 400, 5);
    try {
        tree.symlink(tree.path("real"), "linkdir");
        tree.symlink(tree.path("real/a.bin"), "linkfile.bin");
    } catch (const std::exception& e) {
        GTEST_SKIP() << "this system makes no symbolic links: " << e.what();
    }
    const auto out = runScan({.mode = dtMd5, .paths = {tree.root()}});
    EXPECT_EQ(relative(out.groups, tree.root()), (Groups{{"other/b.bin", "real/a.bin"}}));
}

TEST(WinWalk, RecordTimesAreTheFileTimesInLocalTime) {
    TempTree tree;
    tree.writeSized("a.bin", 10, 1);
    tree.writeSized("b.bin", 10, 1);
    tree.setMTime("a.bin", 1500000000); // 2017-07-14 02:40:00 UTC
    TSearchHolper holder;
    RecordingReceiver receiver;
    runScan(holder, {.mode = dtDataSize, .paths = {tree.root()}}, receiver);
    ASSERT_NE(holder.DuplicateResult(), nullptr);
    ASSERT_EQ(holder.DuplicateResult()->size(), 1u);
    const auto& group = holder.DuplicateResult()->front();
    const auto a = std::find_if(group.begin(), group.end(), [](const auto& r) {
        return platform::fileNamePart(r->FileName) == "a.bin";
    });
    ASSERT_NE(a, group.end());
    // TZ=UTC for the test programs: local time is UTC.
    EXPECT_NEAR((*a)->LastTime, 42930.0 + (2 * 60 + 40) / 1440.0, 1e-9);
    EXPECT_EQ((*a)->MTimeSec, 1500000000);
}

} // namespace
} // namespace pelidor::test
