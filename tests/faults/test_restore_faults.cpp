// Restoring a backup archive to a destination that cannot be written: a read-only
// folder (without root rights, so the permissions apply) and a read-only file system
// (a private tmpfs remounted read-only, which stops root as well). Every file must be
// reported with the system's reason, nothing written, no temporary file left, and an
// existing file at a destination must stay as it was.
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "backup/BackupArchive.h"
#include "tests/faults/FaultSupport.h"
#include "tests/support/Unprivileged.h"

namespace pelidor::fault_test {
namespace {

using backup::RestoreProblem;

constexpr double kNow = 45634.5;

struct Seen {
    std::string path;
    RestoreProblem problem;
    int error;
    friend bool operator==(const Seen&, const Seen&) = default;
};
void PrintTo(const Seen& s, std::ostream* os) {
    *os << s.path << " problem " << int(s.problem) << " " << std::strerror(s.error);
}

std::vector<Seen> seen(const backup::RestoreReport& report) {
    std::vector<Seen> out;
    for (const auto& f : report.failures)
        out.push_back({f.path, f.problem, f.error});
    return out;
}

// An archive of new.txt, existing.txt and sub/deep.txt in `folder`; afterwards only
// existing.txt is there, with other content.
std::string archiveOfThree(const test::TempTree& tree, const std::string& folder,
                           const std::string& bak) {
    const std::vector<std::string> paths = {tree.write(folder + "/new.txt", "new"),
                                            tree.write(folder + "/existing.txt", "old"),
                                            tree.write(folder + "/sub/deep.txt", "deep")};
    const backup::BackupReport report = backup::WriteBackupArchive(bak, paths, kNow, ".");
    EXPECT_TRUE(report.complete());
    ::unlink(paths[0].c_str());
    ::unlink(paths[2].c_str());
    ::rmdir(tree.path(folder + "/sub").c_str());
    tree.write(folder + "/existing.txt", "changed since");
    return report.archivePath;
}

void expectNothingWritten(const test::TempTree& tree, const std::string& folder) {
    EXPECT_EQ(test::folderNames(tree.path(folder)), std::vector<std::string>{"existing.txt"});
    EXPECT_EQ(readAll(tree.path(folder + "/existing.txt")), "changed since");
}

TEST(RestoreFaults, AReadOnlyDestinationFolderFailsEachFileAndWritesNothing) {
    test::TempTree tree;
    const std::string bak = tree.mkdir("bak");
    const std::string archive = archiveOfThree(tree, "dest", bak);
    ASSERT_FALSE(archive.empty());
    test::giveToUnprivileged(tree.root());
    ASSERT_EQ(::chmod(tree.path("dest").c_str(), 0555), 0);
    test::runUnprivileged([&] {
        int asked = 0;
        const backup::RestoreReport report =
            backup::RestoreBackupArchive(archive, [&](const std::string&) {
                ++asked;
                return true;
            });
        EXPECT_EQ(report.entries, 3u);
        EXPECT_EQ(report.written, 0u);
        EXPECT_FALSE(report.completed());
        EXPECT_EQ(seen(report),
                  (std::vector<Seen>{
                      {tree.path("dest/new.txt"), RestoreProblem::SystemError, EACCES},
                      {tree.path("dest/existing.txt"), RestoreProblem::SystemError, EACCES},
                      {tree.path("dest/sub/deep.txt"), RestoreProblem::SystemError, EACCES}}));
        EXPECT_LE(asked, 1);
        expectNothingWritten(tree, "dest");
        EXPECT_TRUE(pathExists(archive));
    });
    ::chmod(tree.path("dest").c_str(), 0755);
}

TEST(RestoreFaults, AReadOnlyFileSystemFailsEachFileAndWritesNothing) {
    test::TempTree tree;
    const std::string bak = tree.mkdir("bak");
    PrivateTmpfs volume(tree.mkdir("volume"), 1 << 20);
    if (!volume.mounted())
        GTEST_SKIP() << "no private file system here: " << volume.error();
    const std::string archive = archiveOfThree(tree, "volume", bak);
    ASSERT_FALSE(archive.empty());
    ASSERT_TRUE(volume.makeReadOnly());
    const backup::RestoreReport report =
        backup::RestoreBackupArchive(archive, [](const std::string&) { return true; });
    EXPECT_EQ(report.written, 0u);
    EXPECT_EQ(seen(report),
              (std::vector<Seen>{
                  {tree.path("volume/new.txt"), RestoreProblem::SystemError, EROFS},
                  {tree.path("volume/existing.txt"), RestoreProblem::SystemError, EROFS},
                  {tree.path("volume/sub/deep.txt"), RestoreProblem::SystemError, EROFS}}));
    expectNothingWritten(tree, "volume");
}

} // namespace
} // namespace pelidor::fault_test
