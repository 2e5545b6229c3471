#include <algorithm>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/FileOps.h"
#include "platform/FileSystem.h"
#include "platform/Mounts.h"
#include "platform/Paths.h"
#include "tests/support/SyscallError.h"
#include "tests/support/TempTree.h"

using namespace pelidor::platform;
using pelidor::test::TempTree;

TEST(Paths, SameOrInside) {
    struct Case {
        const char* inner;
        const char* outer;
        char sep;
        bool expected;
    } cases[] = {
        {"/data", "/data", '/', true},          {"/data/x", "/data", '/', true},
        {"/data/", "/data", '/', true},         {"/data2", "/data", '/', false},
        {"/data-x/y", "/data", '/', false},     {"/x", "/", '/', true},
        {"/data", "/data/x", '/', false},       {"/x", "", '/', false},
        {"C:\\Data2", "C:\\Data", '\\', false}, {"C:\\Data\\P", "C:\\Data", '\\', true},
        {"C:\\Data\\P", "C:\\", '\\', true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isSameOrInside(c.inner, c.outer, c.sep), c.expected)
            << c.inner << " in " << c.outer;
    EXPECT_EQ(withTrailingSep("/a"), "/a/");
    EXPECT_EQ(withTrailingSep("/a/"), "/a/");
    EXPECT_EQ(withTrailingSep(""), "");
    EXPECT_EQ(fileNamePart("/a/b.txt"), "b.txt");
}

TEST(Directory, ListsEveryEntryWithItsKindAndNameBytes) {
    TempTree t;
    t.write(".hidden", "h");
    t.write("line\nbreak", "n");
    t.write(std::string("bad\xff\xfe"), "b");
    t.mkdir("sub");
    t.symlink("sub", "link-to-dir");
    ASSERT_EQ(::mkfifo(t.path("fifo").c_str(), 0600), 0);

    Directory dir = Directory::open(t.root());
    ASSERT_TRUE(dir.valid());
    std::vector<RawDirEntry> entries;
    ASSERT_TRUE(dir.list(entries));
    std::vector<std::string> names;
    for (const auto& e : entries)
        names.push_back(e.name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".hidden", "bad\xff\xfe", "fifo", "line\nbreak",
                                               "link-to-dir", "sub"}));

    FileStatus st;
    ASSERT_TRUE(dir.statChild("link-to-dir", st));
    EXPECT_EQ(st.kind, EntryKind::Symlink);
    ASSERT_TRUE(dir.statChild("fifo", st));
    EXPECT_EQ(st.kind, EntryKind::Other);
    ASSERT_TRUE(dir.statChild("line\nbreak", st));
    EXPECT_EQ(st.kind, EntryKind::Regular);
    EXPECT_EQ(st.size, 1);

    // A link to a folder is never opened as a sub-folder.
    int err = 0;
    EXPECT_FALSE(dir.openChild("link-to-dir", &err).valid());
    EXPECT_TRUE(err == ELOOP || err == ENOTDIR) << err;
    EXPECT_TRUE(dir.openChild("sub").valid());
    EXPECT_FALSE(Directory::open(t.path("missing")).valid());
}

TEST(ReadFile, RefusesWhatMustNotBeReadAndReadsTheRest) {
    TempTree t;
    const std::string file = t.write("f", "0123456789");
    t.symlink("f", "link");
    ASSERT_EQ(::mkfifo(t.path("fifo").c_str(), 0600), 0);

    ReadFile r = ReadFile::openShared(file);
    ASSERT_TRUE(r.valid());
    char buf[16] = {};
    EXPECT_EQ(r.readAt(buf, 4, 6), 4);
    EXPECT_EQ(std::string(buf, 4), "6789");
    EXPECT_EQ(r.read(buf, sizeof buf), 10);
    r.close();

    EXPECT_FALSE(ReadFile::openShared(t.path("link")).valid()); // never through a link
    EXPECT_FALSE(ReadFile::openShared(t.path("fifo")).valid()); // and never hangs on a FIFO
    EXPECT_FALSE(ReadFile::openShared(t.root()).valid());
    EXPECT_FALSE(ReadFile::openShared(t.path("missing")).valid());

    // Another holder's exclusive lock refuses the shared one.
    const int holder = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(ReadFile::openShared(file).valid());
    ::close(holder);
    EXPECT_TRUE(ReadFile::openShared(file).valid());
}

TEST(ReadFile, OpensPathsLongerThanTheSystemLimit) {
    TempTree t;
    // Build a chain of folders relative to open handles until the path is > PATH_MAX.
    std::string path = t.root();
    int fd = ::open(t.root().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    const std::string part(200, 'd');
    while (path.size() <= PATH_MAX + 100) {
        ASSERT_EQ(::mkdirat(fd, part.c_str(), 0700), 0);
        const int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        path += "/" + part;
    }
    const int file = ::openat(fd, "deep.txt", O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, "deep", 4), 4);
    ::close(file);
    ::close(fd);

    ReadFile r = ReadFile::openShared(path + "/deep.txt");
    ASSERT_TRUE(r.valid());
    char buf[8];
    EXPECT_EQ(r.read(buf, sizeof buf), 4);
    FileStatus st;
    EXPECT_TRUE(statPath(path + "/deep.txt", st));
    EXPECT_EQ(st.size, 4);
    EXPECT_TRUE(Directory::open(path).valid());
}

// Only a lock that another open file holds refuses a file; the lock results of real
// locks, and of a file system that has none.
TEST(Locks, OnlyALockHeldElsewhereRefusesTheFile) {
    TempTree t;
    const std::string file = t.write("f", "0123456789");
    struct Case {
        const char* name;
        int held; // what another open file holds: 0, LOCK_SH or LOCK_EX
        bool exclusive;
        LockResult expected;
    };
    const Case cases[] = {
        {"nothing held, shared", 0, false, LockResult::Taken},
        {"nothing held, exclusive", 0, true, LockResult::Taken},
        {"shared held, shared", LOCK_SH, false, LockResult::Taken},
        {"shared held, exclusive", LOCK_SH, true, LockResult::HeldElsewhere},
        {"exclusive held, shared", LOCK_EX, false, LockResult::HeldElsewhere},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int holder = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(holder, 0);
        if (c.held != 0) {
            ASSERT_EQ(::flock(holder, c.held | LOCK_NB), 0);
        }
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
        int error = -1;
        EXPECT_EQ(tryLock(fd, c.exclusive, &error), c.expected);
        EXPECT_EQ(error, c.expected == LockResult::Taken ? 0 : EWOULDBLOCK);
        ::close(fd);
        if (!c.exclusive) {
            const ReadFile r = ReadFile::openShared(file);
            EXPECT_EQ(r.lock(), c.expected);
            EXPECT_EQ(r.valid(), c.expected == LockResult::Taken);
        }
        EXPECT_EQ(isFileLocked(file), c.held != 0);
        ::close(holder);
    }
    int error = 0;
    EXPECT_EQ(tryLock(-1, false, &error), LockResult::Failed);
    EXPECT_EQ(error, EBADF);
    EXPECT_EQ(ReadFile::openShared(t.path("missing")).lock(), LockResult::Failed);

    // A file system without locks (NFS without its lock service) answers flock with
    // ENOLCK, EOPNOTSUPP or EINVAL: the file is read without a lock, and it does not
    // count as locked. Here flock is made to fail that way in a child process.
    const struct {
        int error;
        LockResult expected;
    } noLocks[] = {
        {ENOLCK, LockResult::NotOffered}, {EOPNOTSUPP, LockResult::NotOffered},
        {EINVAL, LockResult::NotOffered}, {EWOULDBLOCK, LockResult::HeldElsewhere},
        {EIO, LockResult::Failed},
    };
    for (const auto& c : noLocks) {
        SCOPED_TRACE(std::strerror(c.error));
        pelidor::test::runWithSyscallError(SYS_flock, c.error, [&] {
            const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
            int got = 0;
            EXPECT_EQ(tryLock(fd, false, &got), c.expected);
            EXPECT_EQ(got, c.error);
            ::close(fd);
            const bool readable = c.expected == LockResult::NotOffered;
            const ReadFile r = ReadFile::openShared(file);
            EXPECT_EQ(r.lock(), c.expected);
            ASSERT_EQ(r.valid(), readable);
            if (readable) {
                char buf[16] = {};
                EXPECT_EQ(r.read(buf, sizeof buf), 10);
                EXPECT_EQ(std::string(buf, 10), "0123456789");
            }
            EXPECT_EQ(isFileLocked(file), !readable);
        });
    }
}

TEST(Mounts, PseudoFileSystemDevicesComeFromTheMountTable) {
    const std::string mountinfo = "22 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
                                  "23 22 0:21 / /proc rw,nosuid - proc proc rw\n"
                                  "24 22 0:5 / /dev rw,nosuid - devtmpfs udev rw,size=10k\n"
                                  "25 24 0:22 / /dev/shm rw - tmpfs tmpfs rw\n"
                                  "26 22 0:23 / /sys rw - sysfs sysfs rw\n"
                                  "27 26 0:26 / /sys/fs/cgroup rw shared:9 - cgroup2 cgroup2 rw\n"
                                  "28 22 0:21 / /srv/chroot/proc rw - proc proc rw\n"
                                  "29 22 0:31 / /net rw - autofs systemd-1 rw,fd=1\n"
                                  "30 22 0:40 / /run/media/u/DISK rw - vfat /dev/sdb1 rw\n"
                                  "broken line\n";
    const auto dev = [](unsigned major, unsigned minor) {
        return static_cast<uint64_t>(makedev(major, minor));
    };
    std::vector<uint64_t> expected = {dev(0, 21), dev(0, 5), dev(0, 23), dev(0, 26), dev(0, 31)};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(pseudoFileSystemDevices(mountinfo), expected);
    EXPECT_TRUE(pseudoFileSystemDevices("").empty());
    // This system's /proc is one of them, where the table can be read.
    struct stat st {};
    const auto here = pseudoFileSystemDevices();
    if (!here.empty() && ::stat("/proc/self", &st) == 0) {
        EXPECT_TRUE(std::binary_search(here.begin(), here.end(), static_cast<uint64_t>(st.st_dev)));
    }
    EXPECT_TRUE(Directory::open("/proc").onPseudoFileSystem());
    EXPECT_FALSE(Directory::open(TempTree().root()).onPseudoFileSystem());
}
