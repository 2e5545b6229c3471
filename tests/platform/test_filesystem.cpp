#include <algorithm>
#include <climits>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/FileSystem.h"
#include "platform/Paths.h"
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
