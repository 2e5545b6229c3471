// The Windows platform layer on real files: listings, status and identity, long paths,
// share modes and locks, the read-only attribute, local times, the registry,
// environment values and known folders, path text and whole-file replacement.
#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/DateTime.h"
#include "platform/Environment.h"
#include "platform/FileOps.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/Registry.h"
#include "platform/win32/WinText.h"
#include "tests/support/TempTree.h"

namespace pelidor::test {
namespace {

using namespace platform;
using win32::longPath;

std::vector<std::string> listed(const Directory& dir) {
    std::vector<RawDirEntry> entries;
    EXPECT_TRUE(dir.list(entries));
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back(e.name + (e.kind == EntryKind::Directory ? "/" : ""));
    std::sort(names.begin(), names.end());
    return names;
}

TEST(WinText, Utf16RoundTripKeepsEveryName) {
    const std::wstring cases[] = {L"plain",
                                  L"caf\u00e9",
                                  L"\u65e5\u672c",
                                  L"\U0001F600",
                                  std::wstring(L"lone\xD800"),
                                  std::wstring(L"\xDC00tail")};
    for (const auto& w : cases)
        EXPECT_EQ(win32::toWide(win32::toUtf8(w)), w);
    EXPECT_EQ(win32::toUtf8(L"\u00e9\U0001F600"), "\xC3\xA9\xF0\x9F\x98\x80");
    // Bytes that are not UTF-8 become U+FFFD, never a crash or a lost terminator.
    EXPECT_EQ(win32::toWide("a\xFF"
                            "b"),
              L"a\uFFFDb");
    EXPECT_EQ(win32::longPath("C:/x/./y/../z"), L"\\\\?\\C:\\x\\z");
    EXPECT_EQ(win32::longPath("\\\\server\\share\\d"), L"\\\\?\\UNC\\server\\share\\d");
}

TEST(WinFileSystem, ListsEveryEntryWithItsKindAndStatus) {
    TempTree tree;
    tree.write("plain.txt", "12345");
    tree.write("\xE6\x97\xA5\xE6\x9C\xAC.txt", "abc");
    tree.mkdir("sub");
    tree.write(".hidden", "");
    SetFileAttributesW(longPath(tree.path(".hidden")).c_str(),
                       FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    tree.setMTime("plain.txt", 1234567890);

    Directory dir = Directory::open(tree.root());
    ASSERT_TRUE(dir.valid());
    EXPECT_EQ(listed(dir), (std::vector<std::string>{".hidden", "plain.txt", "sub/",
                                                     "\xE6\x97\xA5\xE6\x9C\xAC.txt"}));
    FileStatus st;
    ASSERT_TRUE(dir.statChild("plain.txt", st));
    EXPECT_EQ(st.kind, EntryKind::Regular);
    EXPECT_EQ(st.size, 5);
    EXPECT_EQ(st.mtimeSec, 1234567890);
    EXPECT_EQ(st.mtimeNsec, 0);
    // The identity is the same however the file is reached.
    FileStatus byPath;
    ASSERT_TRUE(statPath(tree.path("plain.txt"), byPath));
    {
        const ReadFile file = ReadFile::openShared(tree.path("plain.txt"));
        ASSERT_TRUE(file.valid());
        EXPECT_EQ(file.openStatus().inode, st.inode);
        EXPECT_EQ(file.openStatus().device, st.device);
    }
    EXPECT_EQ(byPath.inode, st.inode);
    EXPECT_NE(st.inode, 0u);

    Directory sub = dir.openChild("sub");
    ASSERT_TRUE(sub.valid());
    Directory up = sub.openParent();
    ASSERT_TRUE(up.valid());
    FileStatus a, b;
    ASSERT_TRUE(up.status(a));
    ASSERT_TRUE(dir.status(b));
    EXPECT_EQ(a.inode, b.inode);
    int error = 0;
    EXPECT_FALSE(dir.openChild("plain.txt", &error).valid());
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_FALSE(statPath(tree.path("missing"), st, &error));
    EXPECT_EQ(error, ENOENT);
}

TEST(WinFileSystem, PathsLongerThan260CharactersWork) {
    TempTree tree;
    std::string rel = "long";
    while (rel.size() < 400)
        rel += "/segment-" + std::to_string(rel.size());
    const std::string file = tree.write(rel + "/f.txt", "deep content");
    ASSERT_GT(file.size(), 400u);
    EXPECT_EQ(readAll(file), "deep content");
    FileStatus st;
    ASSERT_TRUE(statPath(file, st));
    EXPECT_EQ(st.size, 12);
    Directory dir = Directory::open(tree.path(rel));
    ASSERT_TRUE(dir.valid());
    EXPECT_EQ(listed(dir), (std::vector<std::string>{"f.txt"}));
    ReadFile rf = ReadFile::openShared(file);
    ASSERT_TRUE(rf.valid());
    char buffer[32] = {};
    EXPECT_EQ(rf.read(buffer, sizeof buffer), 12);
    EXPECT_EQ(std::string(buffer), "deep content");
    rf.close();
    dir.close();
    EXPECT_TRUE(isRegularFile(file));
    EXPECT_FALSE(isFileLocked(file));
    EXPECT_TRUE(removeTree(tree.path("long")));
    EXPECT_FALSE(pathExists(tree.path("long")));
}

TEST(WinFileSystem, ReadingRefusesAFileOthersHoldOpen) {
    TempTree tree;
    const std::string path = tree.write("f.bin", "data");
    {
        // Another program reading with every share mode still blocks an exclusive open.
        const HANDLE other = CreateFileW(longPath(path).c_str(), GENERIC_READ,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(other, INVALID_HANDLE_VALUE);
        int error = 0;
        EXPECT_FALSE(ReadFile::openShared(path, &error).valid());
        EXPECT_EQ(error, EBUSY);
        EXPECT_TRUE(isFileLocked(path));
        CloseHandle(other);
    }
    ReadFile mine = ReadFile::openShared(path);
    ASSERT_TRUE(mine.valid());
    // While it is read, no one else opens it.
    const HANDLE late = CreateFileW(longPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(late, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    mine.close();
    EXPECT_FALSE(isFileLocked(path));
    // A folder is not a file to read.
    int error = 0;
    EXPECT_FALSE(ReadFile::openShared(tree.root(), &error).valid());
}

TEST(WinFileOps, ReadOnlyAttributeStandsForTheWriteBit) {
    TempTree tree;
    const std::string path = tree.write("ro.txt", "x");
    ASSERT_TRUE(SetFileAttributesW(longPath(path).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(isFileLocked(path)); // cannot be opened for writing
    FileStatus st;
    ASSERT_TRUE(statPath(path, st));
    EXPECT_EQ(st.mode & 0200, 0u);
    EXPECT_TRUE(ReadFile::openShared(path).valid()); // reading is allowed
    addOwnerWrite(path);
    EXPECT_FALSE(isFileLocked(path));
    // A read-only file is not deleted until its attribute is cleared.
    ASSERT_TRUE(SetFileAttributesW(longPath(path).c_str(), FILE_ATTRIBUTE_READONLY));
    int error = 0;
    EXPECT_FALSE(removeFile(path, &error));
    EXPECT_EQ(error, EACCES);
    addOwnerWrite(path);
    EXPECT_TRUE(removeFile(path));
}

TEST(WinFileOps, SizesIdentitiesAndRemoval) {
    TempTree tree;
    const std::string a = tree.write("a.txt", "1234");
    int64_t size = -1;
    ASSERT_TRUE(fileSize(a, size));
    EXPECT_EQ(size, 4);
    EXPECT_TRUE(sameFile(a, tree.root() + "\\.\\A.TXT"));
    EXPECT_FALSE(sameFile(a, tree.write("b.txt", "1234")));
    int error = 0;
    EXPECT_FALSE(removeFile(tree.root(), &error));
    EXPECT_TRUE(removeFile(a));
    EXPECT_FALSE(pathExists(a));
    EXPECT_FALSE(removeFile(a, &error));
    EXPECT_EQ(error, ENOENT);
}

TEST(WinDateTime, FileTimesBecomeLocalDateTimes) {
    // The test programs run with TZ=UTC: local time is UTC.
    EXPECT_DOUBLE_EQ(localDateTimeFromUnix(0, 0), 25569.0);
    EXPECT_NEAR(localDateTimeFromUnix(86400 + 3600, 250000000), 25570.0 + (3600.25) / 86400.0,
                1e-10);
    // Before 1601 a file time does not exist: the current local time.
    const double now = nowLocalDateTime();
    EXPECT_NEAR(localDateTimeFromUnix(-20000000000LL, 0), now, 1.0 / 24);
    EXPECT_NEAR(localDateTimeFromUnix(0, -1), now, 1.0 / 24);
    LocalTimeConverter converter;
    EXPECT_EQ(converter.convert(1500000000, 5000000), localDateTimeFromUnix(1500000000, 5000000));
}

TEST(WinRegistry, TypedValuesInTheSystemRegistry) {
    const std::string key = "HKEY_CURRENT_USER\\SOFTWARE\\Corvane\\PelidorTest";
    ASSERT_TRUE(regWriteDword(key, "IsJP", 1));
    ASSERT_TRUE(regWriteString(key, "Qdx", "{caf\xC3\xA9-\xE6\x97\xA5}"));
    EXPECT_EQ(regReadDword(key, "IsJP"), 1u);
    EXPECT_EQ(regReadString(key, "Qdx"), "{caf\xC3\xA9-\xE6\x97\xA5}");
    // Types are kept: text is not an integer and an integer is not text.
    EXPECT_EQ(regReadDword(key, "Qdx"), std::nullopt);
    EXPECT_EQ(regReadString(key, "IsJP"), std::nullopt);
    EXPECT_EQ(regReadDword(key, "Missing"), std::nullopt);
    EXPECT_EQ(regReadString("HKEY_NOWHERE\\x", "y"), std::nullopt);
    // Key and value names compare without regard to case.
    EXPECT_EQ(regReadDword("hkey_current_user\\software\\corvane\\pelidortest", "isjp"), 1u);
    RegDeleteTreeW(HKEY_CURRENT_USER, L"SOFTWARE\\Corvane\\PelidorTest");
}

TEST(WinEnvironment, ValuesAndKnownFolders) {
    ASSERT_TRUE(SetEnvironmentVariableW(L"PELIDOR_TEST_VALUE", L"\u65e5\u672c caf\u00e9"));
    EXPECT_EQ(getEnv("PELIDOR_TEST_VALUE"), "\xE6\x97\xA5\xE6\x9C\xAC caf\xC3\xA9");
    SetEnvironmentVariableW(L"PELIDOR_TEST_VALUE", nullptr);
    EXPECT_EQ(getEnv("PELIDOR_TEST_VALUE"), "");
    for (const std::string& folder : {configHome(), dataHome(), homeDir(), specialFolder(36)}) {
        SCOPED_TRACE(folder);
        ASSERT_GE(folder.size(), 3u);
        EXPECT_EQ(folder[1], ':');
        EXPECT_NE(folder.back(), '\\');
    }
    const SystemFolders sys = systemFolders();
    EXPECT_EQ(sys.windowsDir, specialFolder(36) + "\\");
    EXPECT_EQ(specialFolder(15), ""); // no such folder number
}

TEST(WinPaths, FolderTextsCompareWithoutCase) {
    EXPECT_TRUE(samePathText("C:\\Data\\Caf\xC3\x89", "c:\\DATA\\caf\xC3\xA9"));
    EXPECT_FALSE(samePathText("C:\\Data", "C:\\Dat"));
    EXPECT_TRUE(pathTextLess("c:\\a", "C:\\B"));
    EXPECT_TRUE(isSameOrInside("C:\\DATA\\x", "c:\\data"));
    EXPECT_TRUE(isSameOrInside("C:\\DATA\\", "c:\\data"));
    EXPECT_FALSE(isSameOrInside("C:\\Data2", "C:\\Data"));
    EXPECT_EQ(kPathSep, '\\');
}

TEST(WinFiles, WholeFileReplacementAndBoundedReads) {
    TempTree tree;
    const std::string folder = tree.path("\xE6\x97\xA5\xE6\x9C\xAC/deeper");
    ASSERT_TRUE(makeFolders(folder, 0700));
    const std::string file = folder + "\\Config.ini";
    std::string out;
    bool truncated = false;
    EXPECT_EQ(readFileBounded(file, 100, out, truncated), FileReadResult::Missing);
    ASSERT_TRUE(replaceFileAtomically(file, "first", 0600));
    ASSERT_TRUE(replaceFileAtomically(file, "second content", 0600));
    EXPECT_EQ(readFileBounded(file, 100, out, truncated), FileReadResult::Ok);
    EXPECT_EQ(out, "second content");
    EXPECT_FALSE(truncated);
    EXPECT_EQ(readFileBounded(file, 6, out, truncated), FileReadResult::Ok);
    EXPECT_EQ(out, "second");
    EXPECT_TRUE(truncated);
    EXPECT_EQ(readFileBounded(folder, 6, out, truncated), FileReadResult::Failed);
    // Nothing but the file is left in the folder.
    EXPECT_EQ(folderNames(folder), (std::vector<std::string>{"Config.ini"}));
    // A read-only file stays read-only after a replacement.
    SetFileAttributesW(longPath(file).c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(replaceFileAtomically(file, "third", 0600));
    EXPECT_EQ(readAll(file), "third");
    EXPECT_TRUE(GetFileAttributesW(longPath(file).c_str()) & FILE_ATTRIBUTE_READONLY);
    SetFileAttributesW(longPath(file).c_str(), FILE_ATTRIBUTE_NORMAL);
}

} // namespace
} // namespace pelidor::test
