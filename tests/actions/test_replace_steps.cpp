// Replacing ticked files by hard links to, or clones of, a copy that stays, on real file
// systems: hard links on the temporary folder's file system, clones on Btrfs and XFS
// images mounted through loop devices (skipped with the reason where the machine does
// not allow that), and every refusal, each of which must leave the path as it was and
// no temporary file behind.
#include "actions/ReplaceSteps.h"
#include "engine/uSearchHolper.h"
#include "platform/FileSystem.h"
#include "tests/actions/LoopMount.h"
#include "tests/actions/ScannedTree.h"
#include "tests/support/PrivateMount.h"
#include "tests/support/TempTree.h"
#include "tests/support/Unprivileged.h"

#include <gtest/gtest.h>

#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace pelidor {
namespace {

using test::Scanned;
using test::TempTree;

std::string fromHex(const char* hex) {
    std::string out;
    for (const char* p = hex; p[0] != 0 && p[1] != 0; p += 2)
        out.push_back(char(std::stoi(std::string(p, 2), nullptr, 16)));
    return out;
}

// Two different 128-byte blocks with one MD5 (a published collision pair).
const std::string kCollisionA =
    fromHex("d131dd02c5e6eec4693d9a0698aff95c2fcab58712467eab4004583eb8fb7f89"
            "55ad340609f4b30283e488832571415a085125e8f7cdc99fd91dbdf280373c5b"
            "d8823e3156348f5bae6dacd436c919c6dd53e2b487da03fd02396306d248cda0"
            "e99f33420f577ee8ce54b67080a80d1ec69821bcb6a8839396f9652b6ff72a70");
const std::string kCollisionB =
    fromHex("d131dd02c5e6eec4693d9a0698aff95c2fcab50712467eab4004583eb8fb7f89"
            "55ad340609f4b30283e4888325f1415a085125e8f7cdc99fd91dbd7280373c5b"
            "d8823e3156348f5bae6dacd436c919c6dd53e23487da03fd02396306d248cda0"
            "e99f33420f577ee8ce54b67080280d1ec69821bcb6a8839396f965ab6ff72a70");

struct stat statOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

// The names of a folder that a replacement may have left there.
std::vector<std::string> leftOvers(const std::string& folder) {
    std::vector<std::string> found;
    for (const std::string& name : test::folderNames(folder))
        if (name.rfind(".pelidor-", 0) == 0)
            found.push_back(name);
    return found;
}

const char* kindName(TReplaceKind kind) {
    return kind == TReplaceKind::HardLink ? "hard link" : "clone";
}

// The ticked path becomes a link to the staying copy: same inode, same bytes, the space
// given back once; a path that is a link of the copy already is left as it is, and a
// file with other links frees nothing.
TEST(ReplaceSteps, HardLinkKeepsThePathAndFreesTheBytes) {
    TempTree tree;
    const std::string content = test::seededContent(200000, 3);
    tree.write("d/keep.bin", content);
    tree.write("d/dup.bin", content);
    tree.write("e/far.bin", content);
    ASSERT_EQ(::link(tree.path("d/keep.bin").c_str(), tree.path("d/linked.bin").c_str()), 0);
    tree.write("m/multi.bin", content);
    ASSERT_EQ(::link(tree.path("m/multi.bin").c_str(), tree.path("m/multi2.bin").c_str()), 0);
    ::chmod(tree.path("d/dup.bin").c_str(), 0600);
    const Scanned scan(tree, dtMd5);
    const TDuplicateFile* keep = scan.file("d/keep.bin");
    const TDuplicateFile* dup = scan.file("d/dup.bin");
    const TDuplicateFile* far = scan.file("e/far.bin");
    const TDuplicateFile* linked = scan.file("d/linked.bin");
    const TDuplicateFile* multi = scan.file("m/multi.bin");
    ASSERT_TRUE(keep && dup && far && linked && multi);
    const std::vector<const TDuplicateFile*> staying{keep};

    const TReplaceResult r = ReplaceRecordedFile(*dup, TReplaceKind::HardLink, staying);
    ASSERT_TRUE(r.ok) << int(r.problem) << " " << r.error;
    EXPECT_EQ(r.copy, keep);
    EXPECT_EQ(r.freedBytes, int64_t(content.size()));
    EXPECT_FALSE(r.alreadyShared);
    EXPECT_EQ(statOf(tree.path("d/dup.bin")).st_ino, statOf(tree.path("d/keep.bin")).st_ino);
    // One set of permissions: the copy's.
    EXPECT_EQ(statOf(tree.path("d/dup.bin")).st_mode & 07777,
              statOf(tree.path("d/keep.bin")).st_mode & 07777);
    EXPECT_EQ(test::readAll(tree.path("d/dup.bin")), content);

    // Another folder of the same file system.
    const TReplaceResult rf = ReplaceRecordedFile(*far, TReplaceKind::HardLink, staying);
    ASSERT_TRUE(rf.ok) << int(rf.problem) << " " << rf.error;
    EXPECT_EQ(statOf(tree.path("e/far.bin")).st_ino, statOf(tree.path("d/keep.bin")).st_ino);

    // The record of dup is no longer the file at its path.
    EXPECT_EQ(ReplaceRecordedFile(*dup, TReplaceKind::HardLink, staying).problem,
              TActionProblem::Changed);

    const TReplaceResult same = ReplaceRecordedFile(*linked, TReplaceKind::HardLink, staying);
    EXPECT_TRUE(same.ok);
    EXPECT_TRUE(same.alreadyShared);
    EXPECT_EQ(same.freedBytes, 0);

    const TReplaceResult shared = ReplaceRecordedFile(*multi, TReplaceKind::HardLink, staying);
    ASSERT_TRUE(shared.ok) << int(shared.problem);
    EXPECT_EQ(shared.freedBytes, 0) << "m/multi2.bin still holds the old file";
    EXPECT_EQ(test::readAll(tree.path("m/multi2.bin")), content);

    for (const char* folder : {"d", "e", "m"})
        EXPECT_TRUE(leftOvers(tree.path(folder)).empty()) << folder;
}

// Every refusal before anything is made: the path keeps its file (or its link), and
// no temporary file is left, for both kinds.
TEST(ReplaceSteps, RefusalsLeaveThePathAsItWas) {
    for (const TReplaceKind kind : {TReplaceKind::HardLink, TReplaceKind::Clone}) {
        SCOPED_TRACE(kindName(kind));
        TempTree tree;
        tree.write("c/a.bin", kCollisionA + "tail");
        tree.write("c/b.bin", kCollisionB + "tail");
        for (const char* name : {"keep", "changed", "link", "gone", "lonely"})
            tree.write(std::string("d/") + name, "same bytes!");
        tree.write("s/keep", "other bytes");
        tree.write("s/dup", "other bytes");
        const Scanned scan(tree, dtMd5);
        const auto file = [&](const char* name) {
            const TDuplicateFile* f = scan.file(name);
            EXPECT_NE(f, nullptr) << name;
            return f;
        };
        ASSERT_TRUE(scan.sameGroup("c/a.bin", "c/b.bin"));

        tree.write("d/changed", "SAME BYTES!");
        ASSERT_EQ(::unlink(tree.path("d/link").c_str()), 0);
        tree.symlink(tree.path("d/keep"), "d/link");
        ASSERT_EQ(::unlink(tree.path("d/gone").c_str()), 0);
        tree.write("s/keep", "other bytes");
        tree.setMTime("s/keep", 1000); // the staying copy is no longer the recorded one

        const std::vector<const TDuplicateFile*> keep{file("d/keep")};
        const struct {
            const char* what;
            const char* ticked;
            std::vector<const TDuplicateFile*> staying;
            TActionProblem problem;
            int error;
        } cases[] = {
            {"an MD5 twin with other bytes",
             "c/a.bin",
             {file("c/b.bin")},
             TActionProblem::CopiesDiffer,
             0},
            {"changed since the search", "d/changed", keep, TActionProblem::Changed, 0},
            {"replaced by a link", "d/link", keep, TActionProblem::ReplacedByLink, 0},
            {"gone", "d/gone", keep, TActionProblem::SystemError, ENOENT},
            {"no staying copy", "d/lonely", {}, TActionProblem::NoStayingCopy, 0},
            {"only itself stays", "d/lonely", {file("d/lonely")}, TActionProblem::NoStayingCopy, 0},
            {"the staying copy changed",
             "s/dup",
             {file("s/keep")},
             TActionProblem::NoStayingCopy,
             0},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.what);
            const TDuplicateFile* ticked = file(c.ticked);
            ASSERT_NE(ticked, nullptr);
            const std::string before = test::readAll(tree.path(c.ticked));
            const bool existed = test::pathExists(tree.path(c.ticked));
            const TReplaceResult r = ReplaceRecordedFile(*ticked, kind, c.staying);
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.problem, c.problem);
            if (c.error != 0) {
                EXPECT_EQ(r.error, c.error);
            }
            EXPECT_EQ(test::pathExists(tree.path(c.ticked)), existed);
            EXPECT_EQ(test::readAll(tree.path(c.ticked)), before);
            EXPECT_TRUE(r.leftOver.empty());
        }
        struct stat st {};
        EXPECT_EQ(::lstat(tree.path("d/link").c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        for (const char* folder : {"c", "d", "s"})
            EXPECT_TRUE(leftOvers(tree.path(folder)).empty()) << folder;
    }
}

// A copy on another file system gives no hard link and no clone; a file system
// without clones refuses the clone. Both leave the file and no temporary file.
TEST(ReplaceSteps, OtherFileSystemAndNoClonesAreRefused) {
    TempTree tree;
    tree.mkdir("other");
    tree.mkdir("plain");
    test::PrivateMount other = test::PrivateMount::fileSystem("tmpfs", tree.path("other"));
    if (!other.mounted())
        GTEST_SKIP() << other.error();
    test::PrivateMount plain = test::PrivateMount::fileSystem("tmpfs", tree.path("plain"));
    if (!plain.mounted())
        GTEST_SKIP() << plain.error();
    const std::string content = test::seededContent(50000, 9);
    tree.write("here/dup.bin", content);
    tree.write("other/keep.bin", content);
    tree.write("plain/keep.bin", content + "x");
    tree.write("plain/dup.bin", content + "x");
    const Scanned scan(tree, dtMd5, {tree.path("here"), tree.path("other"), tree.path("plain")});
    const TDuplicateFile* dup = scan.file("here/dup.bin");
    const TDuplicateFile* far = scan.file("other/keep.bin");
    const TDuplicateFile* plainKeep = scan.file("plain/keep.bin");
    const TDuplicateFile* plainDup = scan.file("plain/dup.bin");
    ASSERT_TRUE(dup && far && plainKeep && plainDup);
    const struct stat before = statOf(tree.path("here/dup.bin"));

    for (const TReplaceKind kind : {TReplaceKind::HardLink, TReplaceKind::Clone}) {
        SCOPED_TRACE(kindName(kind));
        const TReplaceResult r = ReplaceRecordedFile(*dup, kind, {far});
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.problem, TActionProblem::OtherFileSystem);
        EXPECT_EQ(statOf(tree.path("here/dup.bin")).st_ino, before.st_ino);
    }
    // tmpfs shares no extents.
    const TReplaceResult r = ReplaceRecordedFile(*plainDup, TReplaceKind::Clone, {plainKeep});
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.problem, TActionProblem::NoClones) << r.error;
    EXPECT_EQ(test::readAll(tree.path("plain/dup.bin")), content + "x");
    // The same pair takes a hard link.
    EXPECT_TRUE(ReplaceRecordedFile(*plainDup, TReplaceKind::HardLink, {plainKeep}).ok);
    for (const char* folder : {"here", "other", "plain"})
        EXPECT_TRUE(leftOvers(tree.path(folder)).empty()) << folder;
}

// A folder the user may not write to: the link or clone cannot be made there, and the
// system's reason comes back.
TEST(ReplaceSteps, ReadOnlyFolderIsRefusedWithTheSystemsReason) {
    TempTree tree;
    const std::string content = test::seededContent(30000, 5);
    tree.write("rw/keep.bin", content);
    tree.write("ro/dup.bin", content);
    const Scanned scan(tree, dtMd5);
    const TDuplicateFile* keep = scan.file("rw/keep.bin");
    const TDuplicateFile* dup = scan.file("ro/dup.bin");
    ASSERT_TRUE(keep && dup);
    test::giveToUnprivileged(tree.root());
    ASSERT_EQ(::chmod(tree.path("ro").c_str(), 0555), 0);
    test::runUnprivileged([&] {
        for (const TReplaceKind kind : {TReplaceKind::HardLink, TReplaceKind::Clone}) {
            SCOPED_TRACE(kindName(kind));
            const TReplaceResult r = ReplaceRecordedFile(*dup, kind, {keep});
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.problem, TActionProblem::SystemError);
            EXPECT_EQ(r.error, EACCES);
            EXPECT_EQ(test::readAll(tree.path("ro/dup.bin")), content);
        }
    });
    ::chmod(tree.path("ro").c_str(), 0755);
    EXPECT_TRUE(leftOvers(tree.path("ro")).empty());
    EXPECT_TRUE(leftOvers(tree.path("rw")).empty());
}

// True when the first extent of the file is shared with another file.
bool firstExtentShared(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // A fiemap header followed by room for a few extents.
    alignas(fiemap) char buffer[sizeof(fiemap) + 8 * sizeof(fiemap_extent)] = {};
    auto* map = reinterpret_cast<fiemap*>(buffer);
    map->fm_length = ~0ULL;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = 8;
    const bool ok = ::ioctl(fd, FS_IOC_FIEMAP, map) == 0;
    ::close(fd);
    return ok && map->fm_mapped_extents > 0 &&
           (map->fm_extents[0].fe_flags & FIEMAP_EXTENT_SHARED) != 0;
}

// On file systems that share extents the ticked file becomes a clone with its own
// inode, permissions, owner, extended attributes and times; the staying copy is
// untouched; a hard link works there too.
TEST(ReplaceSteps, ClonesOnBtrfsAndXfsKeepTheirOwnMetadata) {
    for (const char* type : {"btrfs", "xfs"}) {
        SCOPED_TRACE(type);
        TempTree tree;
        test::LoopMount fs(type, tree.path(std::string(type) + ".img"), tree.path("mnt"));
        if (!fs.mounted()) {
            std::printf("[  SKIPPED ] %s: %s\n", type, fs.reason().c_str());
            continue;
        }
        const std::string content = test::seededContent(1 << 20, 11);
        tree.write("mnt/keep.bin", content);
        tree.write("mnt/dup.bin", content);
        tree.write("mnt/also.bin", content);
        ASSERT_EQ(::chmod(tree.path("mnt/dup.bin").c_str(), 0640), 0);
        ASSERT_EQ(::chown(tree.path("mnt/dup.bin").c_str(), 1234, 2345), 0);
        ASSERT_EQ(::lsetxattr(tree.path("mnt/dup.bin").c_str(), "user.note", "mine", 4, 0), 0);
        tree.setMTime("mnt/dup.bin", 1500000000);
        tree.setMTime("mnt/keep.bin", 1600000000);
        const struct stat keepBefore = statOf(tree.path("mnt/keep.bin"));
        const Scanned scan(tree, dtMd5, {tree.path("mnt")});
        const TDuplicateFile* keep = scan.file("mnt/keep.bin");
        const TDuplicateFile* dup = scan.file("mnt/dup.bin");
        const TDuplicateFile* also = scan.file("mnt/also.bin");
        ASSERT_TRUE(keep && dup && also);
        const struct stat dupBefore = statOf(tree.path("mnt/dup.bin"));

        const TReplaceResult r = ReplaceRecordedFile(*dup, TReplaceKind::Clone, {keep});
        ASSERT_TRUE(r.ok) << int(r.problem) << " " << std::strerror(r.error);
        EXPECT_EQ(r.copy, keep);
        EXPECT_EQ(r.freedBytes, int64_t(content.size()));
        const struct stat after = statOf(tree.path("mnt/dup.bin"));
        EXPECT_NE(after.st_ino, keepBefore.st_ino);
        EXPECT_NE(after.st_ino, dupBefore.st_ino);
        EXPECT_EQ(after.st_mode & 07777, 0640u);
        EXPECT_EQ(after.st_uid, 1234u);
        EXPECT_EQ(after.st_gid, 2345u);
        EXPECT_EQ(after.st_mtim.tv_sec, dupBefore.st_mtim.tv_sec);
        EXPECT_EQ(after.st_mtim.tv_nsec, dupBefore.st_mtim.tv_nsec);
        char note[16] = {};
        EXPECT_EQ(::lgetxattr(tree.path("mnt/dup.bin").c_str(), "user.note", note, sizeof note), 4);
        EXPECT_STREQ(note, "mine");
        EXPECT_EQ(test::readAll(tree.path("mnt/dup.bin")), content);
        EXPECT_TRUE(firstExtentShared(tree.path("mnt/dup.bin")));
        const struct stat keepAfter = statOf(tree.path("mnt/keep.bin"));
        EXPECT_EQ(keepAfter.st_ino, keepBefore.st_ino);
        EXPECT_EQ(keepAfter.st_mtim.tv_sec, keepBefore.st_mtim.tv_sec);
        EXPECT_EQ(keepAfter.st_mode, keepBefore.st_mode);

        const TReplaceResult link = ReplaceRecordedFile(*also, TReplaceKind::HardLink, {keep});
        EXPECT_TRUE(link.ok) << int(link.problem);
        EXPECT_EQ(statOf(tree.path("mnt/also.bin")).st_ino, keepBefore.st_ino);
        EXPECT_TRUE(leftOvers(tree.path("mnt")).empty());
    }
}

} // namespace
} // namespace pelidor
