#include "shell/SharedHelpers.h"
#include "tests/support/TempTree.h"
#include "tests/support/Unprivileged.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace pelidor {
namespace {

using test::TempTree;
namespace fs = std::filesystem;

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Another process that holds an exclusive lock on a file until it is released.
class LockHolder {
public:
    explicit LockHolder(const std::string& path) {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            const int fd = ::open(path.c_str(), O_RDONLY);
            const char ok = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &ok, 1);
            char ignored;
            (void)!::read(release[0], &ignored, 1); // until the parent closes its end
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        char ok = 'n';
        locked_ = ::read(ready[0], &ok, 1) == 1 && ok == 'y';
        ::close(ready[0]);
    }
    ~LockHolder() { stop(); }
    void stop() {
        if (release_ >= 0) {
            ::close(release_);
            release_ = -1;
        }
        if (pid_ > 0) {
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }
    bool locked() const { return locked_; }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool locked_ = false;
};

TEST(FileExistsEx, ProbesProgramExtensionsOnlyForNamesWithoutOne) {
    TempTree tree;
    tree.write("bin/tool.exe", "x");
    tree.write("bin/script.cmd", "x");
    tree.write("bin/library.dll", "x");
    tree.write("bin/note.txt.exe", "x");
    tree.write("v1.2/app.com", "x");
    const struct {
        const char* path;
        bool exists;
    } cases[] = {
        {"bin/tool.exe", true},  {"bin/tool", true}, // .exe
        {"bin/script", true},                        // .cmd after .exe, .com and .bat
        {"bin/library", true},                       // .dll last
        {"bin/note.txt", false},                     // has an extension: no probing
        {"bin/missing", false},  {"v1.2/app", true}, // a point in a folder name is no extension
        {"bin", true},                               // folders exist too
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileExistsEx(tree.path(c.path)), c.exists) << c.path;
    EXPECT_FALSE(FileExistsEx(""));
}

TEST(IsFileLocked, ExclusiveLockOfAnotherProcess) {
    TempTree tree;
    const std::string file = tree.write("data.bin", "content");
    EXPECT_FALSE(IsFileLocked(file));
    {
        LockHolder holder(file);
        ASSERT_TRUE(holder.locked());
        EXPECT_TRUE(IsFileLocked(file));
        // A link to the locked file is a link, not the file.
        tree.symlink(file, "link");
        EXPECT_FALSE(IsFileLocked(tree.path("link")));
    }
    EXPECT_FALSE(IsFileLocked(file)); // the holder has ended
    EXPECT_FALSE(IsFileLocked(tree.path("missing")));
    EXPECT_FALSE(IsFileLocked(tree.root())); // a folder is not a file
}

TEST(IsFileLocked, ReadOnlyFileCountsAsLocked) {
    TempTree tree;
    const std::string file = tree.write("readonly.txt", "x");
    ::chmod(file.c_str(), 0444);
    test::giveToUnprivileged(tree.root());
    test::runUnprivileged([&] { EXPECT_TRUE(IsFileLocked(file)); });
}

TEST(ForceDeleteFile, ReadOnlyMissingAndLinks) {
    TempTree tree;
    const std::string readOnly = tree.write("readonly.txt", "x");
    ::chmod(readOnly.c_str(), 0444);
    EXPECT_TRUE(ForceDeleteFile(readOnly));
    EXPECT_FALSE(fs::exists(fs::symlink_status(readOnly)));

    EXPECT_TRUE(ForceDeleteFile(tree.path("missing.txt")));

    // The link goes; its target stays, with its permissions untouched.
    const std::string target = tree.write("target.txt", "keep");
    ::chmod(target.c_str(), 0444);
    tree.symlink(target, "link");
    EXPECT_TRUE(ForceDeleteFile(tree.path("link")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree.path("link"))));
    EXPECT_TRUE(fs::exists(target));
    EXPECT_EQ(modeOf(target), 0444u);

    tree.symlink(tree.path("nowhere"), "dangling");
    EXPECT_TRUE(ForceDeleteFile(tree.path("dangling")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(tree.path("dangling"))));
}

TEST(ForceDeleteFile, FailureLeavesThePathAndReportsTheReason) {
    TempTree tree;
    const std::string folder = tree.mkdir("folder");
    int error = 0;
    errno = 0;
    EXPECT_FALSE(ForceDeleteFile(folder, &error));
    EXPECT_EQ(error, EISDIR);
    EXPECT_EQ(errno, EISDIR);
    EXPECT_TRUE(fs::is_directory(folder));

    // A folder that may not be written, and one that may not even be searched: the
    // file is there, so neither counts as deleted.
    test::giveToUnprivileged(tree.root());
    test::runUnprivileged([&] {
        const std::string file = tree.write("locked-folder/file.txt", "x");
        const std::string hidden = tree.write("closed-folder/file.txt", "x");
        ::chmod(tree.path("locked-folder").c_str(), 0555);
        ::chmod(tree.path("closed-folder").c_str(), 0600);
        for (auto remove : {&ForceDeleteFile, &NtForceDeleteFile}) {
            int code = 0;
            EXPECT_FALSE(remove(file, &code));
            EXPECT_EQ(code, EACCES);
            EXPECT_FALSE(remove(hidden, &code));
            EXPECT_EQ(code, EACCES);
        }
        ::chmod(tree.path("locked-folder").c_str(), 0755);
        ::chmod(tree.path("closed-folder").c_str(), 0755);
        EXPECT_TRUE(fs::exists(file));
        EXPECT_TRUE(fs::exists(hidden));
    });
}

TEST(NtForceDeleteFile, FilesAndEmptyFolders) {
    TempTree tree;
    const std::string file = tree.write("file.txt", "x");
    ::chmod(file.c_str(), 0444);
    EXPECT_TRUE(NtForceDeleteFile(file));
    EXPECT_FALSE(fs::exists(file));
    EXPECT_TRUE(NtForceDeleteFile(tree.path("missing")));
    EXPECT_TRUE(NtForceDeleteFile(tree.mkdir("empty")));
    EXPECT_FALSE(fs::exists(tree.path("empty")));
    tree.write("full/inside.txt", "x");
    EXPECT_FALSE(NtForceDeleteFile(tree.path("full")));
    EXPECT_TRUE(fs::exists(tree.path("full/inside.txt")));
}

TEST(ShellDeleteFile, PermanentDeletion) {
    TempTree tree;
    EXPECT_FALSE(ShellDeleteFile(tree.path("missing"), false));

    const std::string file = tree.write("plain.txt", "x");
    ::chmod(file.c_str(), 0444);
    EXPECT_TRUE(ShellDeleteFile(file, false));
    EXPECT_FALSE(fs::exists(file));

    // A folder goes with everything inside, read-only sub-folders included; a link
    // inside it is removed without touching its target.
    const std::string outside = tree.write("outside/keep.txt", "keep");
    tree.write("tree/a/b/c.txt", "x");
    tree.write("tree/ro/d.txt", "x");
    tree.symlink(tree.path("outside"), "tree/a/link-to-outside");
    ::chmod(tree.path("tree/ro").c_str(), 0555);
    EXPECT_TRUE(ShellDeleteFile(tree.path("tree"), false));
    EXPECT_FALSE(fs::exists(tree.path("tree")));
    EXPECT_TRUE(fs::exists(outside));
}

TEST(ShellDeleteFile, LockedFileStaysInPlace) {
    TempTree tree;
    const std::string file = tree.write("busy.txt", "busy");
    LockHolder holder(file);
    ASSERT_TRUE(holder.locked());
    EXPECT_FALSE(ShellDeleteFile(file, false));
    EXPECT_FALSE(ShellDeleteFile(file, true));
    EXPECT_TRUE(fs::exists(file));
}

TEST(GetFileSizeByName, SizesOfFilesFoldersAndMissingPaths) {
    TempTree tree;
    const std::string file = tree.writeSized("sized.bin", 12345, 7);
    tree.symlink(file, "link");
    EXPECT_EQ(GetFileSizeByName(file), 12345);
    EXPECT_EQ(GetFileSizeByName(tree.path("link")), 12345);
    EXPECT_EQ(GetFileSizeByName(tree.path("missing")), 0);
    EXPECT_EQ(GetFileSizeByName(tree.root()), 0);
    EXPECT_EQ(GetFileSizeByName(""), 0);

    // A relative path counts from the current folder.
    const auto previous = fs::current_path();
    fs::current_path(tree.root());
    EXPECT_EQ(GetFileSizeByName("sized.bin"), 12345);
    fs::current_path(previous);
}

} // namespace
} // namespace pelidor
