// Faults met by a running scan: a folder, or a file, that becomes unreadable while the
// worker runs. The permission change is made from the progress receiver, on the
// worker's thread, at a report that comes before the walk or the fingerprint pass
// reaches the item; the scan then runs without root rights so the change stops it.
#include <sys/stat.h>

#include "tests/engine/ScanHelpers.h"
#include "tests/support/Unprivileged.h"

namespace pelidor::test {
namespace {

// Three start folders; once the first is done, a subfolder of the second and the whole
// third lose their permissions. The scan ends normally (code 10 after code 7) with
// what it could read: the unreadable folders are skipped without a trace.
TEST(ScanFaults, FoldersThatBecomeUnreadableDuringTheWalkAreSkipped) {
    TempTree tree;
    for (const char* f : {"A/a1", "A/a2", "B/b1", "B/sub/b2", "B/sub/deeper/b3", "C/c1"})
        tree.writeSized(f, 64, 1);
    giveToUnprivileged(tree.root());
    runUnprivileged([&] {
        TSearchHolper holder;
        HookReceiver receiver(spFolderDone, 1, [&](const ProgressReport&) {
            ::chmod(tree.path("B/sub").c_str(), 0);
            ::chmod(tree.path("C").c_str(), 0);
        });
        const auto out = runScan(
            holder, {.mode = dtDataSize, .paths = {tree.path("A"), tree.path("B"), tree.path("C")}},
            receiver);
        ::chmod(tree.path("B/sub").c_str(), 0755);
        ::chmod(tree.path("C").c_str(), 0755);
        const std::vector<int> codes = [&] {
            std::vector<int> c;
            for (const auto& r : out.reports)
                c.push_back(r.code);
            return c;
        }();
        ASSERT_GE(codes.size(), 3u);
        EXPECT_EQ(codes.front(), spStarted);
        EXPECT_EQ(codes[codes.size() - 2], spGroupDone);
        EXPECT_EQ(codes.back(), spFinished);
        EXPECT_EQ(relative(normalized(out.groups), tree.root()),
                  (Groups{{"A/a1", "A/a2", "B/b1"}}));
    });
}

// Four equal files compared by content; when the first file is being fingerprinted,
// another one loses its read permission. It gets no fingerprint and joins no group;
// the three others still form theirs. In both MD5 modes.
TEST(ScanFaults, AFileThatBecomesUnreadableDuringTheFingerprintsJoinsNoGroup) {
    for (const TDuplicateType mode : {dtMd5, dtMd5Part}) {
        SCOPED_TRACE(mode == dtMd5 ? "full" : "partial");
        TempTree tree;
        for (const char* f : {"a", "b", "c", "d"})
            tree.writeSized(f, 50000, 2);
        giveToUnprivileged(tree.root());
        runUnprivileged([&] {
            std::string locked;
            TSearchHolper holder;
            HookReceiver receiver(spHashFile, 1, [&](const ProgressReport& r) {
                locked = r.path == tree.path("d") ? "a" : "d";
                ::chmod(tree.path(locked).c_str(), 0);
            });
            const auto out = runScan(holder, {.mode = mode, .paths = {tree.root()}}, receiver);
            ::chmod(tree.path(locked).c_str(), 0644);
            Strings expected;
            for (const char* f : {"a", "b", "c", "d"})
                if (f != locked)
                    expected.push_back(f);
            EXPECT_EQ(relative(normalized(out.groups), tree.root()), Groups{expected});
            EXPECT_EQ(out.reports.back().code, spFinished);
        });
    }
}

} // namespace
} // namespace pelidor::test
