// The file actions on real files found by real scans: the byte proof against a copy
// that stays, the every-copy rule, and the trash and delete steps.
#include "actions/ContentProof.h"
#include "actions/CopyRules.h"
#include "actions/FileCheck.h"
#include "actions/FileSteps.h"
#include "engine/uSearchHolper.h"
#include "platform/FileSystem.h"
#include "tests/actions/ScannedTree.h"
#include "tests/engine/ScanHelpers.h"
#include "tests/support/Md5Collision.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace pelidor {
namespace {

using test::Scanned;
using test::TempTree;

const std::string& kCollisionA = test::kMd5CollisionA;
const std::string& kCollisionB = test::kMd5CollisionB;

// Files that the fingerprints group although their bytes differ: each mode's proof
// must refuse to delete either.
TEST(ContentProof, FingerprintTwinsThatDifferAreNeverDeleted) {
    struct Case {
        const char* what;
        TDuplicateType mode;
        std::string a, b;
    };
    const std::string head(1024, 'h'), tail(1024, 't');
    const std::vector<Case> cases = {
        {"an MD5 collision pair, full mode", dtMd5, kCollisionA + "same suffix",
         kCollisionB + "same suffix"},
        {"equal head and tail, another middle, partial mode", dtMd5Part,
         head + std::string(20000, 'x') + tail, head + std::string(20000, 'y') + tail},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempTree tree;
        tree.write("one/a.bin", c.a);
        tree.write("two/b.bin", c.b);
        const Scanned scan(tree, c.mode);
        ASSERT_TRUE(scan.sameGroup("one/a.bin", "two/b.bin")) << "the fingerprints differ";
        const TDuplicateFile* a = scan.file("one/a.bin");
        const TDuplicateFile* b = scan.file("two/b.bin");
        for (const bool toTrash : {false, true}) {
            test::EnvGuard env;
            env.set("XDG_DATA_HOME", tree.path("xdg-data"));
            const std::vector<const TDuplicateFile*> staying{b};
            const TActionResult r = RemoveRecordedFile(*a, toTrash, &staying);
            EXPECT_FALSE(r.ok);
            EXPECT_EQ(r.problem, TActionProblem::CopiesDiffer);
            EXPECT_EQ(test::readAll(tree.path("one/a.bin")), c.a);
            EXPECT_EQ(test::readAll(tree.path("two/b.bin")), c.b);
        }
    }
}

// Equal files are proven and removed, to the trash or for good; the staying copy is
// untouched. A staying copy that changed since the search, or that is the same entry
// reached by a second path, proves nothing.
TEST(ContentProof, EqualCopiesProveAndChangedOrSameEntryCopiesDoNot) {
    for (const bool toTrash : {false, true}) {
        SCOPED_TRACE(toTrash ? "trash" : "for good");
        TempTree tree;
        test::EnvGuard env;
        env.set("XDG_DATA_HOME", tree.path("xdg-data"));
        const std::string content = test::seededContent(300000, 7);
        tree.write("data/keep.bin", content);
        tree.write("data/dup.bin", content);
        tree.write("data/dup2.bin", content);
        tree.write("data/dup3.bin", content);
        const Scanned scan(tree, dtMd5);
        const TDuplicateFile* keep = scan.file("data/keep.bin");
        const TDuplicateFile* dup = scan.file("data/dup.bin");
        const TDuplicateFile* dup2 = scan.file("data/dup2.bin");
        const TDuplicateFile* dup3 = scan.file("data/dup3.bin");
        ASSERT_TRUE(keep && dup && dup2 && dup3);

        std::vector<const TDuplicateFile*> staying{keep};
        const TActionResult ok = RemoveRecordedFile(*dup, toTrash, &staying);
        EXPECT_TRUE(ok.ok) << ok.error;
        EXPECT_FALSE(test::pathExists(tree.path("data/dup.bin")));
        EXPECT_EQ(test::readAll(tree.path("data/keep.bin")), content);
        if (toTrash) {
            EXPECT_EQ(test::folderNames(tree.path("xdg-data/Trash/files")),
                      std::vector<std::string>{"dup.bin"});
        }

        // The kept copy is rewritten with the same bytes: a new time, so it is no longer
        // the file the search saw, and it proves nothing.
        tree.write("data/keep.bin", content);
        tree.setMTime("data/keep.bin", 1000);
        const TActionResult changed = RemoveRecordedFile(*dup2, toTrash, &staying);
        EXPECT_FALSE(changed.ok);
        EXPECT_EQ(changed.problem, TActionProblem::NoStayingCopy);
        EXPECT_TRUE(test::pathExists(tree.path("data/dup2.bin")));

        // The only staying copy is the ticked file itself, or nothing.
        staying = {dup3};
        EXPECT_EQ(RemoveRecordedFile(*dup3, toTrash, &staying).problem,
                  TActionProblem::NoStayingCopy);
        staying.clear();
        EXPECT_EQ(RemoveRecordedFile(*dup3, toTrash, &staying).problem,
                  TActionProblem::NoStayingCopy);
        EXPECT_TRUE(test::pathExists(tree.path("data/dup3.bin")));

        // Without a proof asked for (the user chose to lose the group), it goes.
        EXPECT_TRUE(RemoveRecordedFile(*dup3, toTrash, nullptr).ok);
        EXPECT_FALSE(test::pathExists(tree.path("data/dup3.bin")));
    }
}

// Two records of one inode: hard links are two entries (deleting one loses nothing),
// while one entry reached through a linked folder is no copy of itself.
TEST(ContentProof, HardLinksAreCopiesAndOneEntryTwiceIsNot) {
    TempTree tree;
    tree.write("data/a.txt", "the same file");
    ASSERT_EQ(::link(tree.path("data/a.txt").c_str(), tree.path("data/b.txt").c_str()), 0);
    tree.symlink(tree.path("data"), "alias");
    TDuplicateFile a, b, viaLink;
    platform::FileStatus st;
    ASSERT_TRUE(platform::statPath(tree.path("data/a.txt"), st));
    const std::pair<TDuplicateFile*, std::string> records[] = {
        {&a, tree.path("data/a.txt")},
        {&b, tree.path("data/b.txt")},
        {&viaLink, tree.path("alias/a.txt")}};
    for (const auto& [rec, path] : records) {
        rec->FileName = path;
        rec->FileSize = st.size;
        rec->Device = st.device;
        rec->Inode = st.inode;
        rec->MTimeSec = st.mtimeSec;
        rec->MTimeNsec = st.mtimeNsec;
    }
    int error = 0;
    bool firstFailed = false;
    EXPECT_EQ(CompareRecordedFiles(a, b, error, firstFailed), TCompareResult::Equal);
    EXPECT_EQ(CompareRecordedFiles(a, viaLink, error, firstFailed), TCompareResult::SameEntry);

    std::vector<const TDuplicateFile*> staying{&viaLink};
    EXPECT_EQ(RemoveRecordedFile(a, false, &staying).problem, TActionProblem::NoStayingCopy);
    EXPECT_TRUE(test::pathExists(tree.path("data/a.txt")));
    staying = {&viaLink, &b};
    EXPECT_TRUE(RemoveRecordedFile(a, false, &staying).ok);
    EXPECT_EQ(test::readAll(tree.path("data/b.txt")), "the same file");
}

// The ticked file itself: changed since the search, replaced by a link, gone, or
// locked by another process.
TEST(ContentProof, TheTickedFileMustStillBeTheRecordedOne) {
    TempTree tree;
    test::EnvGuard env;
    env.set("XDG_DATA_HOME", tree.path("xdg-data"));
    for (const char* name : {"keep", "changed", "link", "gone", "locked"})
        tree.write(std::string("d/") + name, "content!");
    const Scanned scan(tree, dtMd5);
    const std::vector<const TDuplicateFile*> staying{scan.file("d/keep")};
    ASSERT_NE(staying[0], nullptr);

    tree.write("d/changed", "CONTENT!");
    ASSERT_EQ(::unlink(tree.path("d/link").c_str()), 0);
    tree.symlink(tree.path("d/keep"), "d/link");
    ASSERT_EQ(::unlink(tree.path("d/gone").c_str()), 0);
    const int lockFd = ::open(tree.path("d/locked").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(lockFd, 0);
    ASSERT_EQ(::flock(lockFd, LOCK_EX), 0);

    const auto remove = [&](const char* name, bool toTrash) {
        const TDuplicateFile* f = scan.file(std::string("d/") + name);
        EXPECT_NE(f, nullptr) << name;
        return f != nullptr ? RemoveRecordedFile(*f, toTrash, &staying) : TActionResult();
    };
    EXPECT_EQ(remove("changed", false).problem, TActionProblem::Changed);
    EXPECT_EQ(remove("link", true).problem, TActionProblem::ReplacedByLink);
    const TActionResult goneForGood = remove("gone", false);
    EXPECT_TRUE(goneForGood.ok);
    EXPECT_TRUE(goneForGood.wasGone);
    const TActionResult goneToTrash = remove("gone", true);
    EXPECT_FALSE(goneToTrash.ok);
    EXPECT_EQ(goneToTrash.error, ENOENT);
    const TActionResult locked = remove("locked", false);
    EXPECT_FALSE(locked.ok);
    EXPECT_EQ(locked.problem, TActionProblem::SystemError);
    EXPECT_EQ(locked.error, EWOULDBLOCK);
    ::close(lockFd);

    EXPECT_EQ(test::readAll(tree.path("d/changed")), "CONTENT!");
    EXPECT_TRUE(test::pathExists(tree.path("d/link")));
    EXPECT_TRUE(test::pathExists(tree.path("d/locked")));
    EXPECT_EQ(test::readAll(tree.path("d/keep")), "content!");
}

// The plan of a command: ticked entries in list order, groups that would lose every
// copy, and the files that stay to prove the others.
TEST(ActionPlan, GroupsLosingEveryCopyAndStayingCopies) {
    std::vector<std::unique_ptr<TDuplicateFile>> files;
    const auto file = [&](int64_t size) {
        files.push_back(std::make_unique<TDuplicateFile>());
        files.back()->FileSize = size;
        return files.back().get();
    };
    TDuplicateFile* a1 = file(10);
    TDuplicateFile* a2 = file(10);
    TDuplicateFile* b1 = file(20);
    TDuplicateFile* b2 = file(20);
    TDuplicateFile* c1 = file(30);
    TDuplicateFile* d1 = file(40);
    TDuplicateFile* d2 = file(40);
    const std::vector<TListedFile> list = {{a1, 1, true},       {a2, 1, false}, // one stays
                                           {b1, 2, true},       {b2, 2, true},  // every copy ticked
                                           {nullptr, 3, false},                 // a removed row
                                           {c1, 3, true}, // the last row left of its group
                                           {d1, 4, false},      {d2, 4, false}}; // nothing ticked
    const TActionPlan plan(list);
    EXPECT_EQ(plan.Ticked(), (std::vector<size_t>{0, 2, 3, 5}));
    EXPECT_EQ(plan.EveryCopyGroups(), (std::vector<int32_t>{2, 3}));
    EXPECT_EQ(plan.EveryCopyFiles(), 3u);
    EXPECT_FALSE(plan.LosesEveryCopy(1));
    EXPECT_TRUE(plan.LosesEveryCopy(2));
    EXPECT_FALSE(plan.LosesEveryCopy(4));
    EXPECT_EQ(plan.Staying(1), (std::vector<const TDuplicateFile*>{a2}));
    EXPECT_TRUE(plan.Staying(2).empty());
    EXPECT_EQ(plan.Staying(4), (std::vector<const TDuplicateFile*>{d1, d2}));
    EXPECT_EQ(plan.TickedBytes(), 10 + 20 + 20 + 30);

    EXPECT_TRUE(ModeNeedsContentProof(dtMd5));
    EXPECT_TRUE(ModeNeedsContentProof(dtMd5Part));
    EXPECT_FALSE(ModeNeedsContentProof(dtFileName));
    EXPECT_TRUE(ModeAsksForEveryCopy(dtFileName, false));
    EXPECT_FALSE(ModeAsksForEveryCopy(dtDataSize, true));
}

} // namespace
} // namespace pelidor
