// Archive names, their parsing, the listing of a backup folder and the deletion of
// archives.
#include "tests/backup/BackupTestSupport.h"

#include <cerrno>
#include <set>
#include <tuple>

namespace pelidor::backup_test {
namespace {

using backup::BackupArchiveName;
using backup::ParseBackupArchiveName;

TEST(ArchiveNames, CarryTheTimeWithEightDecimalsAndTheLocaleSeparator) {
    const std::vector<std::tuple<std::string, double, std::string, std::string>> cases = {
        {"/b", 45634.5, ".", "/b/Qdx45634.50000000.bak"},
        {"/b/", 45634.5, ",", "/b/Qdx45634,50000000.bak"},
        {"/b", 45634.123456789, ".", "/b/Qdx45634.12345679.bak"},
        {"/b", 45634.0, ".", "/b/Qdx45634.00000000.bak"},
        {"/b", 100000.25, ",", "/b/Qdx100000,25000000.bak"}, // no thousands separator
    };
    for (const auto& [folder, when, sep, expected] : cases)
        EXPECT_EQ(BackupArchiveName(folder, when, sep), expected);
}

TEST(ArchiveNames, ParseBackOnlyNamesOfTheExactForm) {
    struct Case {
        const char* name;
        const char* sep;
        bool listed;
        double value;
    };
    const Case cases[] = {
        {"Qdx45634.50000000.bak", ".", true, 45634.5},
        {"Qdx45634.5.bak", ".", true, 45634.5},
        {"Qdx45634,50000000.bak", ",", true, 45634.5},
        {"Qdx45634,5.bak", ".", false, 0}, // written under another locale
        {"Qdx45634.5.bak", ",", false, 0}, // ... and the other way round
        {"QdxFOO.bak", ".", false, 0},
        {"Qdx45634.5.BAK", ".", false, 0}, // extension case
        {"qdx45634.5.bak", ".", false, 0}, // prefix case
        {"Qdx.bak", ".", false, 0},
        {"Qdx 45634.5.bak", ".", false, 0}, // blanks
        {"Qdx45634.5 .bak", ".", false, 0},
        {"Qdx1e300.bak", ".", false, 0}, // a number, but no date
        {"Qdx45634.5.bak.tmp", ".", false, 0},
        {"Xdx45634.5.bak", ".", false, 0},
    };
    for (const Case& c : cases) {
        double value = -1;
        EXPECT_EQ(ParseBackupArchiveName(c.name, c.sep, value), c.listed) << c.name;
        if (c.listed) {
            EXPECT_DOUBLE_EQ(value, c.value) << c.name;
        }
    }
    // Every written name reads back to its time.
    double value = 0;
    ASSERT_TRUE(ParseBackupArchiveName("Qdx45634.12345679.bak", ".", value));
    EXPECT_NEAR(value, 45634.123456789, 1e-8);
}

TEST(ArchiveListing, ListsTheArchivesOfAFolderAndNothingElse) {
    test::TempTree tree;
    const std::string folder = tree.mkdir("bak");
    tree.write("bak/Qdx45634.50000000.bak", "12345");
    tree.write("bak/Qdx45635.25000000.bak", "");
    for (const char* other : {"QdxFOO.bak", "Qdx45634.5.BAK", "qdx45634.5.bak", ".Qdx45634.5.bak",
                              "Qdx45634,5.bak", "notes.txt"})
        tree.write(std::string("bak/") + other, "x");
    tree.mkdir("bak/Qdx45636.5.bak");                               // a folder
    tree.symlink(tree.path("bak/notes.txt"), "bak/Qdx45637.5.bak"); // a link

    const auto archives = backup::ListBackupArchives(folder, ".");

    std::set<std::tuple<std::string, std::string, double, int64_t>> got;
    for (const auto& a : archives)
        got.insert({a.fileName, a.path, a.dateTime, a.size});
    const std::set<std::tuple<std::string, std::string, double, int64_t>> expected = {
        {"Qdx45634.50000000.bak", folder + "/Qdx45634.50000000.bak", 45634.5, 5},
        {"Qdx45635.25000000.bak", folder + "/Qdx45635.25000000.bak", 45635.25, 0},
    };
    EXPECT_EQ(archives.size(), 2u);
    EXPECT_EQ(got, expected);
    // A trailing separator on the folder changes nothing.
    EXPECT_EQ(backup::ListBackupArchives(folder + "/", ".").size(), 2u);
    // Under a decimal-comma locale only the comma name is listed.
    const auto comma = backup::ListBackupArchives(folder, ",");
    ASSERT_EQ(comma.size(), 1u);
    EXPECT_EQ(comma[0].fileName, "Qdx45634,5.bak");
}

TEST(ArchiveListing, AMissingOrUnreadableFolderListsNothing) {
    test::TempTree tree;
    EXPECT_TRUE(backup::ListBackupArchives(tree.path("missing"), ".").empty());
    EXPECT_TRUE(backup::ListBackupArchives(tree.write("file", "x"), ".").empty());
    EXPECT_TRUE(backup::ListBackupArchives("", ".").empty());
}

TEST(ArchiveDeletion, DeletesReadOnlyArchivesAndCountsMissingOnesAsDeleted) {
    test::TempTree tree;
    const std::string archive = tree.write("bak/Qdx45634.5.bak", "x");
    ::chmod(archive.c_str(), 0400);
    ::chmod(tree.path("bak").c_str(), 0755);
    EXPECT_TRUE(backup::DeleteBackupArchive(archive));
    EXPECT_FALSE(pathExists(archive));
    EXPECT_TRUE(backup::DeleteBackupArchive(archive));
    // A folder of that name is not an archive and stays.
    const std::string folder = tree.mkdir("bak/Qdx45635.5.bak");
    int error = 0;
    EXPECT_FALSE(backup::DeleteBackupArchive(folder, &error));
    EXPECT_NE(error, 0);
}

} // namespace
} // namespace pelidor::backup_test
