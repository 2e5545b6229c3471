// Restoring archives on real files: the round trip from the writer, the overwrite
// question, entry names that must never be written, damaged archives and whatever can
// stand in the way of a destination.
#include "tests/backup/BackupTestSupport.h"

#include <cerrno>
#include <cstdlib>
#include <unistd.h>
#include <zip.h>

namespace pelidor::backup_test {
namespace {

using backup::RestoreBackupArchive;
using backup::RestoreProblem;

constexpr double kNow = 45634.5;

struct RawEntry {
    std::string name;
    std::string data;
    uint32_t unixMode = S_IFREG | 0644;
};
// An archive made directly with libzip, with names the writer would never store.
std::string makeArchive(const std::string& path, const std::vector<RawEntry>& entries) {
    int error = 0;
    zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (za == nullptr)
        return {};
    for (const RawEntry& e : entries) {
        // The buffers live until zip_close.
        zip_source_t* s = zip_source_buffer(za, e.data.data(), e.data.size(), 0);
        const zip_int64_t index = zip_file_add(za, e.name.c_str(), s, ZIP_FL_ENC_GUESS);
        zip_file_set_external_attributes(za, zip_uint64_t(index), 0, ZIP_OPSYS_UNIX,
                                         e.unixMode << 16);
    }
    zip_close(za);
    return path;
}

// Records the questions and answers them from a list (No when it runs out).
struct Asker {
    std::vector<bool> answers;
    std::vector<std::string> asked;
    backup::ReplaceQuestion question() {
        return [this](const std::string& destination) {
            asked.push_back(destination);
            const bool answer = asked.size() <= answers.size() && answers[asked.size() - 1];
            return answer;
        };
    }
};

class ArchiveRestoreTest : public ::testing::Test {
protected:
    test::TempTree tree;
    std::string bak = tree.mkdir("bak");

    std::string backUp(const std::vector<std::string>& paths) {
        const backup::BackupReport report = backup::WriteBackupArchive(bak, paths, kNow, ".");
        EXPECT_TRUE(report.complete());
        return report.archivePath;
    }
    // No hidden temporary file was left beside the restored files.
    void expectNoTemporaryFiles(const std::string& folder) {
        for (const std::string& name : folderNames(folder))
            EXPECT_NE(name.rfind(".pelidor-", 0), 0u) << folder << "/" << name;
    }
};

TEST_F(ArchiveRestoreTest, PutsFilesBackWithContentTimeAndMode) {
    struct File {
        std::string relative;
        std::string content;
        mode_t mode;
        int64_t mtime;
    };
    const std::vector<File> files = {
        {"docs/report, final.txt", "report", 0640, 1577934245}, // odd second
        {"docs/deep/er/\xE6\x97\xA5\xE6\x9C\xAC.txt", "utf8 name", 0755, 1700000000},
        {"docs/raw-\xFF.bin", std::string("\0\xFF\x01", 3), 0600, 1234567891},
        {"docs/read-only.txt", "ro", 0444, 1600000000},
        {"docs/empty", "", 0644, 1600000001},
        {"big/data", test::seededContent(300000, 3), 0644, 1600000002},
    };
    std::vector<std::string> paths;
    for (const File& f : files) {
        paths.push_back(tree.write(f.relative, f.content));
        setModeAndTime(paths.back(), f.mode, f.mtime);
    }
    const std::string archive = backUp(paths);
    // The deletion took the files, and whole folders went since.
    for (const std::string& p : paths)
        ::unlink(p.c_str());
    ::rmdir(tree.path("docs/deep/er").c_str());
    ::rmdir(tree.path("docs/deep").c_str());
    ::rmdir(tree.path("big").c_str());

    Asker asker;
    const backup::RestoreReport report = RestoreBackupArchive(archive, asker.question());

    EXPECT_TRUE(report.completed());
    EXPECT_EQ(report.entries, files.size());
    EXPECT_EQ(report.written, files.size());
    EXPECT_TRUE(asker.asked.empty());
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].relative);
        EXPECT_EQ(readAll(paths[i]), files[i].content);
        const struct stat st = statOf(paths[i]);
        EXPECT_TRUE(S_ISREG(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, files[i].mode);
        EXPECT_EQ(st.st_mtim.tv_sec, files[i].mtime);
    }
    expectNoTemporaryFiles(tree.path("docs"));
    expectNoTemporaryFiles(tree.path("docs/deep/er"));
    EXPECT_TRUE(pathExists(archive)); // the caller decides about the archive
}

TEST_F(ArchiveRestoreTest, AnExistingFileIsReplacedOnlyWhenTheAnswerIsYes) {
    const std::string path = tree.write("f/a.txt", "archived");
    setModeAndTime(path, 0644, 1500000000);
    const std::string other = tree.write("f/b.txt", "other");
    const std::string archive = backUp({path, other});
    ::unlink(other.c_str());

    for (const bool answer : {false, true}) {
        SCOPED_TRACE(answer ? "Yes" : "No");
        writeAll(path, "newer");
        ::unlink(other.c_str());
        Asker asker{{answer}, {}};

        const backup::RestoreReport report = RestoreBackupArchive(archive, asker.question());

        EXPECT_TRUE(report.completed()); // a No still completes the restore
        EXPECT_EQ(asker.asked, std::vector<std::string>{path});
        EXPECT_EQ(readAll(path), answer ? "archived" : "newer");
        EXPECT_EQ(report.declined, answer ? 0u : 1u);
        EXPECT_EQ(report.written, answer ? 2u : 1u);
        EXPECT_EQ(readAll(other), "other");
        if (answer) {
            EXPECT_EQ(statOf(path).st_mtim.tv_sec, 1500000000);
        }
        expectNoTemporaryFiles(tree.path("f"));
    }
    // Without anyone to ask, nothing is replaced.
    writeAll(path, "newer");
    ::unlink(other.c_str());
    EXPECT_EQ(RestoreBackupArchive(archive, nullptr).declined, 1u);
    EXPECT_EQ(readAll(path), "newer");
}

TEST_F(ArchiveRestoreTest, NeverWritesWhatTheArchiveDoesNotNameExactly) {
    const std::string work = tree.mkdir("work/inner");
    const std::string safe = tree.path("safe/ok.txt");
    const std::vector<RawEntry> entries = {
        {"../evil-up.txt", "x"},
        {"evil-relative.txt", "x"},
        {"work/evil-relative.txt", "x"},
        {tree.path("safe/../evil-dotdot.txt"), "x"},
        {tree.path("safe/./evil-dot.txt"), "x"},
        {"/" + tree.path("evil-double-slash.txt"), "x"},
        {tree.path("safe/evil-folder/"), ""},
        {tree.path("safe/evil-link"), "/etc/passwd", S_IFLNK | 0777},
        {safe, "fine"},
    };
    const std::string archive = makeArchive(bak + "/Qdx1.bak", entries);
    ASSERT_FALSE(archive.empty());
    // Relative names would land below the current folder.
    char* previous = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir(work.c_str()), 0);
    const backup::RestoreReport report = RestoreBackupArchive(archive, nullptr);
    ASSERT_EQ(::chdir(previous), 0);
    std::free(previous);

    EXPECT_FALSE(report.completed());
    EXPECT_EQ(report.written, 1u);
    EXPECT_EQ(readAll(safe), "fine");
    ASSERT_EQ(report.failures.size(), entries.size() - 1);
    for (size_t i = 0; i + 1 < entries.size(); ++i) {
        EXPECT_EQ(report.failures[i].path, entries[i].name);
        EXPECT_EQ(report.failures[i].problem,
                  i == 7 ? RestoreProblem::NotAFile : RestoreProblem::UnsafeName)
            << entries[i].name;
    }
    // Nothing anywhere but the one safe file.
    EXPECT_EQ(folderNames(tree.path("safe")), std::vector<std::string>{"ok.txt"});
    EXPECT_TRUE(folderNames(work).empty());
    EXPECT_TRUE(folderNames(tree.path("work")) == std::vector<std::string>{"inner"});
    EXPECT_FALSE(pathExists(tree.path("evil-dotdot.txt")));
    EXPECT_FALSE(pathExists(tree.path("evil-double-slash.txt")));
}

TEST_F(ArchiveRestoreTest, DamagedOrForeignArchivesFailCleanly) {
    const std::string a = tree.write("f/a.txt", test::seededContent(20000, 1));
    const std::string b = tree.write("f/b.txt", "b");
    const std::string archive = backUp({a, b});
    const std::string whole = readAll(archive);
    ::unlink(a.c_str());
    ::unlink(b.c_str());

    struct Case {
        const char* what;
        std::string content;
    };
    const std::vector<Case> cases = {
        {"empty file", ""},
        {"garbage", "this is not a zip file at all, just text"},
        {"first half", whole.substr(0, whole.size() / 2)},
        {"all but the last byte", whole.substr(0, whole.size() - 1)},
        {"central directory cut off", whole.substr(0, whole.size() - 30)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bad = bak + "/Qdx2.bak";
        writeAll(bad, c.content);
        const backup::RestoreReport report = RestoreBackupArchive(bad, nullptr);
        EXPECT_FALSE(report.completed());
        ASSERT_FALSE(report.failures.empty());
        EXPECT_EQ(report.failures[0].path, bad);
        EXPECT_EQ(report.failures[0].problem, RestoreProblem::BadArchive);
        EXPECT_EQ(report.written, 0u);
        EXPECT_FALSE(pathExists(a));
    }
    // A folder, a link and nothing at all in place of the archive.
    const std::string folder = tree.mkdir("bak/Qdx3.bak");
    EXPECT_EQ(RestoreBackupArchive(folder, nullptr).failures.at(0).problem,
              RestoreProblem::BadArchive);
    tree.symlink(archive, "bak/Qdx4.bak");
    EXPECT_EQ(RestoreBackupArchive(tree.path("bak/Qdx4.bak"), nullptr).failures.at(0).problem,
              RestoreProblem::BadArchive);
    const backup::RestoreReport missing = RestoreBackupArchive(tree.path("bak/none.bak"), nullptr);
    EXPECT_EQ(missing.failures.at(0).problem, RestoreProblem::SystemError);
    EXPECT_EQ(missing.failures.at(0).error, ENOENT);
    EXPECT_FALSE(pathExists(a));

    // One entry's data damaged: that entry fails, leaves nothing, and the other one
    // is still restored.
    std::string flipped = whole;
    // The first entry's data starts after its local header (30 bytes), its name and
    // its extended-timestamp field (9 bytes).
    const size_t data = 30 + a.size() + 9 + 100;
    flipped[data] = static_cast<char>(flipped[data] ^ 0x55);
    const std::string damaged = bak + "/Qdx5.bak";
    writeAll(damaged, flipped);
    const backup::RestoreReport report = RestoreBackupArchive(damaged, nullptr);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].path, a);
    EXPECT_EQ(report.failures[0].problem, RestoreProblem::Damaged);
    EXPECT_FALSE(pathExists(a));
    EXPECT_EQ(readAll(b), "b");
    expectNoTemporaryFiles(tree.path("f"));
}

TEST_F(ArchiveRestoreTest, WhatStandsInTheWayIsReportedAndLeftAlone) {
    const std::vector<std::string> names = {"link", "folder", "pipe", "read-only", "under-file/x"};
    std::vector<std::string> paths;
    for (const std::string& name : names)
        paths.push_back(tree.write("f/" + name, "archived " + name));
    const std::string archive = backUp(paths);
    for (const std::string& p : paths)
        ::unlink(p.c_str());
    ::rmdir(tree.path("f/under-file").c_str());

    const std::string target = tree.write("elsewhere/target", "target");
    tree.symlink(target, "f/link");
    tree.mkdir("f/folder");
    ASSERT_EQ(::mkfifo(paths[2].c_str(), 0644), 0);
    writeAll(paths[3], "mine");
    ::chmod(paths[3].c_str(), 0444);
    writeAll(tree.path("f/under-file"), "a file where a folder was");
    Asker asker;

    const backup::RestoreReport report = RestoreBackupArchive(archive, asker.question());

    EXPECT_TRUE(asker.asked.empty());
    EXPECT_EQ(report.written, 0u);
    ASSERT_EQ(report.failures.size(), names.size());
    const RestoreProblem expected[] = {RestoreProblem::LinkInTheWay, RestoreProblem::FolderInTheWay,
                                       RestoreProblem::SpecialInTheWay,
                                       RestoreProblem::ReadOnlyInTheWay,
                                       RestoreProblem::SystemError};
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(report.failures[i].path, paths[i]);
        EXPECT_EQ(report.failures[i].problem, expected[i]) << names[i];
    }
    EXPECT_EQ(report.failures[4].error, ENOTDIR);
    EXPECT_EQ(readAll(target), "target");
    EXPECT_TRUE(S_ISLNK(statOf(paths[0]).st_mode));
    EXPECT_TRUE(S_ISDIR(statOf(paths[1]).st_mode));
    EXPECT_TRUE(S_ISFIFO(statOf(paths[2]).st_mode));
    EXPECT_EQ(readAll(paths[3]), "mine");
    expectNoTemporaryFiles(tree.path("f"));
}

TEST_F(ArchiveRestoreTest, AFullDiskNeverLeavesAPartialFileUnderTheRealName) {
    const std::string big = tree.write("f/big", test::seededContent(2 << 20, 9));
    const std::string kept = tree.write("f/kept", test::seededContent(2 << 20, 10));
    const std::string archive = backUp({big, kept});
    ::unlink(big.c_str());
    writeAll(kept, "the newer copy");
    Asker asker{{true}, {}};
    backup::RestoreReport report;
    {
        FileSizeLimit limit(1 << 20);
        report = RestoreBackupArchive(archive, asker.question());
    }
    ASSERT_EQ(report.failures.size(), 2u);
    EXPECT_EQ(report.failures[0].error, EFBIG);
    EXPECT_EQ(report.failures[1].error, EFBIG);
    EXPECT_FALSE(pathExists(big));
    EXPECT_EQ(readAll(kept), "the newer copy");
    expectNoTemporaryFiles(tree.path("f"));
}

} // namespace
} // namespace pelidor::backup_test
