// Reference folders: which files lie inside them (nested in a searched folder, around
// one, through another spelling), the selection rules, and that neither the deletion
// nor the replacements ever act on their files while those count as staying copies.
#include "actions/CopyRules.h"
#include "actions/FileSteps.h"
#include "actions/ReferenceFolders.h"
#include "actions/ReplaceSteps.h"
#include "engine/uSearchHolper.h"
#include "tests/actions/ScannedTree.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

namespace pelidor {
namespace {

using test::Scanned;
using test::TempTree;

TEST(ReferenceFolders, WhichPathsLieInside) {
    TempTree tree;
    tree.write("data/ref/a.txt", "a");
    tree.write("data/ref/deep/b.txt", "b");
    tree.write("data/refx/c.txt", "c");
    tree.write("data/d.txt", "d");
    tree.symlink(tree.path("data/ref"), "alias");
    const TReferenceFolders refs({tree.path("data/ref"), ""});
    EXPECT_FALSE(refs.empty());
    EXPECT_TRUE(refs.Contains(tree.path("data/ref/a.txt")));
    EXPECT_TRUE(refs.Contains(tree.path("data/ref/deep/b.txt")));
    EXPECT_FALSE(refs.Contains(tree.path("data/refx/c.txt"))) << "a longer name is not inside";
    EXPECT_FALSE(refs.Contains(tree.path("data/d.txt")));
    EXPECT_TRUE(refs.Contains(tree.path("alias/a.txt"))) << "another spelling of the folder";
    // A reference folder given through the link, files by their real path.
    const TReferenceFolders viaLink({tree.path("alias") + "/"});
    EXPECT_TRUE(viaLink.Contains(tree.path("data/ref/deep/b.txt")));
    EXPECT_FALSE(viaLink.Contains(tree.path("data/d.txt")));
    EXPECT_FALSE(TReferenceFolders().Contains(tree.path("data/d.txt")));
    EXPECT_TRUE(TReferenceFolders().empty());
}

// The selection rules over a list: reference entries are never ticked, Keep One keeps
// the reference copies of their groups and ticks the rest, and the plan of a command
// never takes a reference entry while it counts as a copy that stays.
TEST(ReferenceFolders, SelectionRulesAndThePlan) {
    std::vector<std::unique_ptr<TDuplicateFile>> files;
    const auto file = [&]() {
        files.push_back(std::make_unique<TDuplicateFile>());
        files.back()->FileSize = 10;
        return files.back().get();
    };
    // Group 1: one reference copy and two others; group 2: no reference copy; group 3:
    // every copy is a reference copy; a removed row between.
    std::vector<TListedFile> list = {
        {file(), 1, false, true},  {file(), 1, false, false}, {file(), 1, true, false},
        {file(), 2, false, false}, {file(), 2, true, false},  {nullptr, 0, false, false},
        {file(), 3, false, true},  {file(), 3, false, true},
    };
    const auto ticks = [](const std::vector<TListedFile>& l) {
        std::vector<bool> t;
        for (const TListedFile& e : l)
            t.push_back(e.Ticked);
        return t;
    };
    std::vector<TListedFile> all = list;
    SelectAllFiles(all);
    EXPECT_EQ(ticks(all), (std::vector<bool>{false, true, true, true, true, false, false, false}));
    std::vector<TListedFile> inverted = list;
    InvertFiles(inverted);
    EXPECT_EQ(ticks(inverted),
              (std::vector<bool>{false, true, false, true, false, false, false, false}));
    std::vector<TListedFile> kept = list;
    const std::vector<bool> decided = KeepReferenceCopies(kept);
    EXPECT_EQ(decided, (std::vector<bool>{true, true, true, false, false, false, true, true}));
    EXPECT_EQ(ticks(kept),
              (std::vector<bool>{false, true, true, false, true, false, false, false}));
    EXPECT_TRUE(GroupHasActionableFiles(list, 1));
    EXPECT_FALSE(GroupHasActionableFiles(list, 3));

    // A reference entry that is ticked anyway is not acted on, and stays as a copy.
    std::vector<TListedFile> forced = list;
    forced[0].Ticked = true;
    forced[1].Ticked = true;
    forced[6].Ticked = true;
    const TActionPlan plan(forced);
    EXPECT_EQ(plan.Ticked(), (std::vector<size_t>{1, 2, 4}));
    EXPECT_TRUE(plan.EveryCopyGroups().empty());
    EXPECT_EQ(plan.Staying(1), (std::vector<const TDuplicateFile*>{list[0].File}));
}

// A reference folder inside the searched one, and a searched folder inside a reference
// folder: Select All, then the deletion or a replacement of every ticked entry, as the
// window runs them. The reference files are never touched and serve as staying copies.
TEST(ReferenceFolders, CommandsNeverActOnReferenceFiles) {
    enum class Command { Delete, HardLink, Clone };
    for (const Command command : {Command::Delete, Command::HardLink, Command::Clone}) {
        SCOPED_TRACE(int(command));
        TempTree tree;
        const std::string content = test::seededContent(40000, 21);
        tree.write("root/archive/master.bin", content);
        tree.write("root/archive/master-copy.bin", content);
        tree.write("root/work/copy.bin", content);
        tree.write("root/work/copy2.bin", content);
        const struct stat master = [&] {
            struct stat st {};
            ::lstat(tree.path("root/archive/master.bin").c_str(), &st);
            return st;
        }();

        // Nested: the reference folder lies in the searched one.
        {
            const Scanned scan(tree, dtMd5, {tree.path("root")});
            std::vector<TListedFile> list;
            for (const TDuplicateGroup& g : scan.groups())
                for (const auto& f : g)
                    list.push_back({f.get(), 1, false, false});
            ASSERT_EQ(list.size(), 4u);
            MarkReferenceFiles(list, TReferenceFolders({tree.path("root/archive")}));
            SelectAllFiles(list);
            const TActionPlan plan(list);
            ASSERT_EQ(plan.Ticked().size(), 2u);
            EXPECT_TRUE(plan.EveryCopyGroups().empty());
            for (const size_t i : plan.Ticked()) {
                const TDuplicateFile& f = *list[i].File;
                EXPECT_EQ(f.FileName.find("/archive/"), std::string::npos) << f.FileName;
                const auto& staying = plan.Staying(1);
                if (command == Command::Delete) {
                    EXPECT_TRUE(RemoveRecordedFile(f, false, &staying).ok);
                } else {
                    const TReplaceResult r = ReplaceRecordedFile(
                        f,
                        command == Command::HardLink ? TReplaceKind::HardLink : TReplaceKind::Clone,
                        staying);
                    // Clones need a file system that shares extents; the temporary
                    // folder's may not.
                    EXPECT_TRUE(r.ok || r.problem == TActionProblem::NoClones) << int(r.problem);
                    if (r.ok) {
                        EXPECT_NE(r.copy->FileName.find("/archive/"), std::string::npos);
                    }
                }
            }
            struct stat now {};
            ASSERT_EQ(::lstat(tree.path("root/archive/master.bin").c_str(), &now), 0);
            EXPECT_EQ(now.st_mtim.tv_sec, master.st_mtim.tv_sec);
            EXPECT_EQ(test::readAll(tree.path("root/archive/master.bin")), content);
            EXPECT_EQ(test::readAll(tree.path("root/archive/master-copy.bin")), content);
        }
        // The reverse: the searched folder lies in the reference folder. Nothing can
        // be ticked, so nothing is acted on.
        {
            const Scanned scan(tree, dtMd5, {tree.path("root/archive")});
            std::vector<TListedFile> list;
            for (const TDuplicateGroup& g : scan.groups())
                for (const auto& f : g)
                    list.push_back({f.get(), 1, false, false});
            ASSERT_EQ(list.size(), 2u);
            MarkReferenceFiles(list, TReferenceFolders({tree.path("root")}));
            SelectAllFiles(list);
            KeepReferenceCopies(list);
            EXPECT_TRUE(TActionPlan(list).Ticked().empty());
            EXPECT_FALSE(GroupHasActionableFiles(list, 1));
        }
    }
}

} // namespace
} // namespace pelidor
