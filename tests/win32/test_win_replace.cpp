// Replacing a ticked file by a hard link to, or a clone of, a copy that stays, on
// Windows: real files found by a real scan, the steps of actions/ over the Windows
// platform layer. Every refusal must leave the path as it was and no temporary file
// behind.
#include <cstdlib>
#include <string>
#include <vector>
#include <windows.h>

#include <gtest/gtest.h>

#include "actions/ReplaceSteps.h"
#include "engine/uSearchHolper.h"
#include "platform/FileSystem.h"
#include "platform/Replace.h"
#include "platform/win32/WinText.h"
#include "tests/engine/ScanHelpers.h"
#include "tests/support/TempTree.h"

namespace pelidor::test {
namespace {

using platform::win32::longPath;

// A scan in the full-hash mode of the given folders, its result kept.
class Scan {
public:
    explicit Scan(std::vector<std::string> folders) {
        ScanRequest req;
        req.mode = dtMd5;
        req.paths = std::move(folders);
        req.beginSize = 1;
        RecordingReceiver receiver;
        EXPECT_TRUE(runScan(holder_, req, receiver).finished);
    }
    const TDuplicateFile* file(const std::string& path) const {
        for (const TDuplicateGroup& g : *holder_.DuplicateResult())
            for (const auto& r : g)
                if (r->FileName == path)
                    return r.get();
        return nullptr;
    }

private:
    TSearchHolper holder_;
};

platform::FileStatus statusOf(const std::string& path) {
    platform::FileStatus st;
    EXPECT_TRUE(platform::statPath(path, st)) << path;
    return st;
}

// Names in a folder that a replacement may have left there.
std::vector<std::string> leftOvers(const std::string& folder) {
    std::vector<std::string> found;
    for (const std::string& name : folderNames(folder))
        if (name.rfind(".pelidor-replace-", 0) == 0)
            found.push_back(name);
    return found;
}

void setReadOnly(const std::string& path, bool on) {
    const std::wstring p = longPath(path);
    const DWORD a = GetFileAttributesW(p.c_str());
    SetFileAttributesW(p.c_str(),
                       on ? (a | FILE_ATTRIBUTE_READONLY) : (a & ~DWORD(FILE_ATTRIBUTE_READONLY)));
}

bool readOnly(const std::string& path) {
    return (GetFileAttributesW(longPath(path).c_str()) & FILE_ATTRIBUTE_READONLY) != 0;
}

// The ticked file becomes a second name of the staying copy; a read-only ticked file
// too (the attribute is lifted for the rename), and a read-only staying copy keeps its
// attribute. Nothing is left behind.
TEST(WinReplace, HardLinkReplacesTheTickedFile) {
    const struct {
        const char* name;
        bool tickedReadOnly;
        bool copyReadOnly;
    } cases[] = {{"plain", false, false},
                 {"read-only ticked file", true, false},
                 {"read-only staying copy", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        const std::string content = seededContent(70000, 3);
        const std::string keep = tree.write("keep\\song.flac", content);
        const std::string dup = tree.write("inbox\\song.flac", content);
        if (c.tickedReadOnly)
            setReadOnly(dup, true);
        if (c.copyReadOnly)
            setReadOnly(keep, true);
        const Scan scan({tree.root()});
        const TDuplicateFile* ticked = scan.file(dup);
        const TDuplicateFile* staying = scan.file(keep);
        ASSERT_NE(ticked, nullptr);
        ASSERT_NE(staying, nullptr);

        const TReplaceResult r = ReplaceRecordedFile(*ticked, TReplaceKind::HardLink, {staying});
        ASSERT_TRUE(r.ok) << int(r.problem) << " " << r.error;
        EXPECT_EQ(r.copy, staying);
        EXPECT_EQ(r.freedBytes, int64_t(content.size()));
        const platform::FileStatus a = statusOf(keep), b = statusOf(dup);
        EXPECT_EQ(a.device, b.device);
        EXPECT_EQ(a.inode, b.inode);
        EXPECT_EQ(readAll(dup), content);
        EXPECT_EQ(readOnly(keep), c.copyReadOnly);
        EXPECT_TRUE(leftOvers(tree.path("inbox")).empty());
        setReadOnly(keep, false);
    }
}

// A changed ticked file and a missing one are refused before anything is made.
TEST(WinReplace, RefusalsLeaveThePathAsItWas) {
    TempTree tree;
    const std::string content = seededContent(5000, 9);
    const std::string keep = tree.write("a\\x.bin", content);
    const std::string dup = tree.write("b\\x.bin", content);
    const std::string gone = tree.write("c\\x.bin", content);
    const Scan scan({tree.root()});
    ASSERT_NE(scan.file(dup), nullptr);
    ASSERT_NE(scan.file(gone), nullptr);
    tree.write("b\\x.bin", content + "more");
    ASSERT_TRUE(DeleteFileW(longPath(gone).c_str()));

    TReplaceResult r =
        ReplaceRecordedFile(*scan.file(dup), TReplaceKind::HardLink, {scan.file(keep)});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.problem, TActionProblem::Changed);
    EXPECT_EQ(readAll(dup), content + "more");
    r = ReplaceRecordedFile(*scan.file(gone), TReplaceKind::HardLink, {scan.file(keep)});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.problem, TActionProblem::SystemError);
    for (const char* folder : {"a", "b", "c"})
        EXPECT_TRUE(leftOvers(tree.path(folder)).empty()) << folder;
}

// The platform steps on their own: a hard link of a read-only copy is made, and when it
// must go again (here: the rename finds no file to replace) it goes, while the copy
// keeps its attribute, which the two names share.
TEST(WinReplace, StagedLinkOfAReadOnlyCopyGoesAgain) {
    TempTree tree;
    const std::string keep = tree.write("keep.txt", "kept words");
    setReadOnly(keep, true);
    int error = 0;
    platform::StagedFile staged =
        platform::StagedFile::hardLink(keep, tree.path("sub\\gone.txt"), &error);
    ASSERT_FALSE(staged.valid()); // no folder "sub"
    EXPECT_EQ(error, ENOENT);
    tree.mkdir("sub");
    staged = platform::StagedFile::hardLink(keep, tree.path("sub\\gone.txt"), &error);
    ASSERT_TRUE(staged.valid()) << error;
    EXPECT_EQ(leftOvers(tree.path("sub")).size(), 1u);
    platform::FileStatus st;
    ASSERT_TRUE(staged.status(st));
    EXPECT_EQ(st.inode, statusOf(keep).inode);
    EXPECT_FALSE(staged.renameOver(tree.path("sub\\gone.txt"), nullptr, &error));
    EXPECT_EQ(error, ENOENT);
    EXPECT_TRUE(staged.discard(&error)) << error;
    EXPECT_TRUE(leftOvers(tree.path("sub")).empty());
    EXPECT_TRUE(readOnly(keep));
    EXPECT_EQ(readAll(keep), "kept words");
    setReadOnly(keep, false);
}

// A volume without block cloning: the clone is not offered, the ticked file stays the
// file it was, and no temporary file is left.
TEST(WinReplace, CloneIsNotOfferedWithoutBlockCloning) {
    TempTree tree;
    const std::string content = seededContent(9000, 4);
    const std::string keep = tree.write("keep.bin", content);
    const std::string dup = tree.write("sub\\dup.bin", content);
    DWORD flags = 0;
    const HANDLE h = CreateFileW(longPath(keep).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const bool asked =
        GetVolumeInformationByHandleW(h, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
    CloseHandle(h);
    if (asked && (flags & 0x08000000 /* FILE_SUPPORTS_BLOCK_REFCOUNTING */))
        GTEST_SKIP() << "this volume offers block cloning";

    const Scan scan({tree.root()});
    ASSERT_NE(scan.file(dup), nullptr);
    const platform::FileStatus before = statusOf(dup);
    const TReplaceResult r =
        ReplaceRecordedFile(*scan.file(dup), TReplaceKind::Clone, {scan.file(keep)});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.problem, TActionProblem::NoClones) << r.error;
    EXPECT_TRUE(r.leftOver.empty());
    EXPECT_EQ(statusOf(dup).inode, before.inode);
    EXPECT_EQ(readAll(dup), content);
    EXPECT_TRUE(leftOvers(tree.path("sub")).empty());

    // The platform step alone says the same and makes nothing.
    platform::FileStatus a, b;
    int error = 0;
    const platform::StagedFile staged = platform::StagedFile::clone(keep, dup, a, b, &error);
    EXPECT_FALSE(staged.valid());
    EXPECT_EQ(error, EOPNOTSUPP);
    EXPECT_TRUE(leftOvers(tree.path("sub")).empty());
}

// A copy on another volume: a hard link cannot reach it. scripts/wintest maps drive D:
// to a folder on another file system and names it in PELIDOR_WIN_SECOND_DRIVE.
TEST(WinReplace, HardLinkAcrossVolumesIsRefused) {
    const char* drive = std::getenv("PELIDOR_WIN_SECOND_DRIVE");
    if (drive == nullptr || *drive == 0)
        GTEST_SKIP() << "no second drive on another file system (PELIDOR_WIN_SECOND_DRIVE "
                        "unset: scripts/wintest sets it where Wine can map one)";
    std::string other = std::string(drive);
    if (other.back() != '\\')
        other.push_back('\\');
    other += "pelidor-replace-test-" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(CreateDirectoryW(longPath(other).c_str(), nullptr)) << other;
    TempTree tree;
    const std::string content = seededContent(12000, 5);
    const std::string dup = tree.write("dup.bin", content);
    const std::string keep = other + "\\keep.bin";
    {
        const HANDLE h = CreateFileW(longPath(keep).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr);
        CloseHandle(h);
    }
    const Scan scan({tree.root(), other});
    const TDuplicateFile* ticked = scan.file(dup);
    const TDuplicateFile* staying = scan.file(keep);
    ASSERT_NE(ticked, nullptr);
    ASSERT_NE(staying, nullptr);

    const platform::FileStatus before = statusOf(dup);
    const TReplaceResult r = ReplaceRecordedFile(*ticked, TReplaceKind::HardLink, {staying});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.problem, TActionProblem::OtherFileSystem) << r.error;
    EXPECT_EQ(statusOf(dup).inode, before.inode);
    EXPECT_EQ(readAll(dup), content);
    // The platform step on its own: the system refuses the link across volumes.
    int error = 0;
    const platform::StagedFile staged = platform::StagedFile::hardLink(keep, dup, &error);
    EXPECT_FALSE(staged.valid());
    EXPECT_EQ(error, EXDEV);
    EXPECT_TRUE(leftOvers(tree.root()).empty());

    DeleteFileW(longPath(keep).c_str());
    RemoveDirectoryW(longPath(other).c_str());
}

} // namespace
} // namespace pelidor::test
