// Deleting into the trash with real trash folders: XDG_DATA_HOME points at a
// temporary folder (not created beforehand), and for the trash of another file
// system a folder on /dev/shm is used when it is a separate, writable file system.
#include "platform/Trash.h"
#include "shell/SharedHelpers.h"
#include "tests/shell/ShellTestSupport.h"
#include "tests/support/TempTree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace pelidor {
namespace {

using test::ScopedEnv;
using test::TempTree;
namespace fs = std::filesystem;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The Path= value of a .trashinfo file, decoded; empty when the record is malformed.
std::string recordedPath(const std::string& infoFile) {
    static const std::regex shape(
        "\\[Trash "
        "Info\\]\nPath=([^\n]+)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n");
    std::smatch m;
    const std::string text = readText(infoFile);
    if (!std::regex_match(text, m, shape))
        return {};
    return unescape(m[1].str());
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

class TrashTest : public ::testing::Test {
protected:
    TempTree tree;
    std::string data = tree.path("data"); // not created: the trash makes it
    ScopedEnv dataHome{"XDG_DATA_HOME", data};
    std::string trash = data + "/Trash";
};

TEST_F(TrashTest, FileAndRecordAppearInTheHomeTrash) {
    const std::string file = tree.write("docs/report.txt", "annual report");
    ASSERT_TRUE(ShellDeleteFile(file, true));

    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(readText(trash + "/files/report.txt"), "annual report");
    EXPECT_EQ(recordedPath(trash + "/info/report.txt.trashinfo"), file);
    EXPECT_EQ(modeOf(trash), 0700u);
    EXPECT_EQ(modeOf(trash + "/files"), 0700u);
    EXPECT_EQ(modeOf(trash + "/info"), 0700u);
}

TEST_F(TrashTest, NameCollisionsGetNumberedNames) {
    for (const char* folder : {"a", "b", "c"})
        tree.write(std::string(folder) + "/photo.jpg", folder);
    tree.write("a/README", "1");
    tree.write("b/README", "2");
    for (const char* path : {"a/photo.jpg", "b/photo.jpg", "c/photo.jpg", "a/README", "b/README"})
        ASSERT_TRUE(ShellDeleteFile(tree.path(path), true)) << path;

    const struct {
        const char* name;
        const char* original;
    } expected[] = {{"photo.jpg", "a/photo.jpg"},
                    {"photo.2.jpg", "b/photo.jpg"},
                    {"photo.3.jpg", "c/photo.jpg"},
                    {"README", "a/README"},
                    {"README.2", "b/README"}};
    for (const auto& e : expected) {
        EXPECT_TRUE(fs::exists(trash + "/files/" + e.name)) << e.name;
        EXPECT_EQ(recordedPath(trash + "/info/" + e.name + ".trashinfo"), tree.path(e.original));
    }
    EXPECT_EQ(readText(trash + "/files/photo.3.jpg"), "c");
}

TEST_F(TrashTest, OddNamesAreRecordedEscaped) {
    // Blanks, a percent sign, a line break and a byte that is not UTF-8.
    const std::string name = std::string("50% off\nsale \xff.txt");
    const std::string file = tree.write(name, "x");
    platform::TrashedItem item;
    ASSERT_TRUE(platform::moveToTrash(file, &item));
    const std::string info = readText(item.infoPath);
    EXPECT_NE(info.find("Path=" + platform::trashInfoEscape(file) + "\n"), std::string::npos);
    EXPECT_NE(info.find("50%25%20off%0Asale%20%FF.txt"), std::string::npos);
    EXPECT_EQ(recordedPath(item.infoPath), file);
    EXPECT_TRUE(fs::exists(item.trashedPath));
}

TEST_F(TrashTest, FoldersAndLinksMoveAsTheyAre) {
    tree.write("album/one.jpg", "1");
    tree.write("album/sub/two.jpg", "2");
    ASSERT_TRUE(ShellDeleteFile(tree.path("album"), true));
    EXPECT_FALSE(fs::exists(tree.path("album")));
    EXPECT_EQ(readText(trash + "/files/album/sub/two.jpg"), "2");

    // The link itself goes to the trash; its target stays.
    const std::string target = tree.write("target.txt", "keep");
    tree.symlink(target, "link.txt");
    ASSERT_TRUE(ShellDeleteFile(tree.path("link.txt"), true));
    EXPECT_TRUE(fs::is_symlink(trash + "/files/link.txt"));
    EXPECT_EQ(readText(target), "keep");
}

TEST_F(TrashTest, RelativePathsAndARelativeDataHome) {
    // A relative XDG_DATA_HOME is ignored ($HOME/.local/share is used), and a
    // relative item path is taken from the current folder; nothing may land in the
    // current folder itself.
    const std::string work = tree.mkdir("work");
    tree.write("work/draft.txt", "draft");
    ScopedEnv home("HOME", tree.path("home"));
    ScopedEnv relative("XDG_DATA_HOME", std::string("relative/data"));
    const auto previous = fs::current_path();
    fs::current_path(work);
    const bool trashed = ShellDeleteFile("draft.txt", true);
    fs::current_path(previous);

    ASSERT_TRUE(trashed);
    const std::string homeTrash = tree.path("home/.local/share/Trash");
    EXPECT_TRUE(fs::exists(homeTrash + "/files/draft.txt"));
    EXPECT_EQ(recordedPath(homeTrash + "/info/draft.txt.trashinfo"), work + "/draft.txt");
    EXPECT_FALSE(fs::exists(work + "/files"));
    EXPECT_FALSE(fs::exists(work + "/relative"));
}

TEST_F(TrashTest, UnusableTrashLeavesTheFileInPlace) {
    // The data home is a file: no trash can be made there, and the file must stay
    // where it is (no copy, no permanent deletion, nothing in the current folder).
    const std::string blocker = tree.write("blocker", "not a folder");
    ScopedEnv blocked("XDG_DATA_HOME", blocker);
    const std::string work = tree.mkdir("work");
    const std::string file = tree.write("work/keep.txt", "keep");
    const auto previous = fs::current_path();
    fs::current_path(work);
    int error = 0;
    const bool trashed = platform::moveToTrash("keep.txt", nullptr, &error);
    const bool shellTrashed = ShellDeleteFile("keep.txt", true);
    fs::current_path(previous);

    EXPECT_FALSE(trashed);
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_FALSE(shellTrashed);
    EXPECT_EQ(readText(file), "keep");
    EXPECT_FALSE(fs::exists(work + "/files"));
    EXPECT_FALSE(ShellDeleteFile(tree.path("missing.txt"), true));
    EXPECT_FALSE(platform::moveToTrash(""));
}

// A file on another file system goes to that file system's own trash, recorded
// relative to its top folder.
TEST_F(TrashTest, OtherFileSystemUsesItsTopFolderTrash) {
    const std::string top = "/dev/shm";
    struct stat topStat {};
    struct stat treeStat {};
    if (::stat(top.c_str(), &topStat) != 0 || ::stat(tree.root().c_str(), &treeStat) != 0 ||
        topStat.st_dev == treeStat.st_dev || ::access(top.c_str(), W_OK) != 0)
        GTEST_SKIP() << "/dev/shm is not a separate writable file system here";
    struct stat parentStat {};
    if (::stat("/dev", &parentStat) != 0 || parentStat.st_dev == topStat.st_dev)
        GTEST_SKIP() << "/dev/shm is not the top of its file system";

    const std::string uid = std::to_string(::getuid());
    const std::string topTrash = top + "/.Trash-" + uid;
    const bool trashExisted = fs::exists(topTrash);
    std::string folder = top + "/pelidor-trash-test-XXXXXX";
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    const std::string file = folder + "/on-shm.txt";
    std::ofstream(file) << "shm";

    platform::TrashedItem item;
    const bool trashed = platform::moveToTrash(file, &item);
    const std::string recorded = trashed ? recordedPath(item.infoPath) : std::string();

    std::error_code ec;
    if (trashed) {
        fs::remove(item.trashedPath, ec);
        fs::remove(item.infoPath, ec);
    }
    if (!trashExisted)
        fs::remove_all(topTrash, ec);
    fs::remove_all(folder, ec);

    ASSERT_TRUE(trashed);
    EXPECT_EQ(item.trashDir, topTrash);
    EXPECT_EQ(recorded, folder.substr(top.size() + 1) + "/on-shm.txt");
    EXPECT_FALSE(fs::exists(trash + "/files/on-shm.txt"));
}

} // namespace
} // namespace pelidor
