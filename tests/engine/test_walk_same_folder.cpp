// One file is one record: a folder reached twice (a start folder given with a link to
// it, a link to a folder inside another start folder, a bind mount, a mount loop) is
// walked once, protected folders are recognised by what they are (the home trash
// through a link, pseudo file systems mounted anywhere), and removable media under
// /run/media are scanned.
//
// The mounts are made in a private mount namespace of the test program; where the
// system does not allow that, those tests are skipped with the reason.
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/engine/ScanHelpers.h"
#include "tests/support/PrivateMount.h"

namespace pelidor::test {
namespace {

namespace fs = std::filesystem;

// The number of records the walk collected: the argument of the last code 8.
int64_t collectedCount(const std::vector<ProgressReport>& reports) {
    int64_t n = 0;
    for (const auto& r : reports)
        if (r.code == spFolderDone)
            n = r.arg;
    return n;
}

#define SKIP_UNLESS_MOUNTED(m)                                                                     \
    if (!(m).mounted())                                                                            \
    GTEST_SKIP() << (m).error()

TEST(WalkSameFolder, StartFoldersReachedThroughLinksAreWalkedOnce) {
    TempTree tree;
    tree.writeSized("Photos/a.jpg", 3000, 1);
    tree.writeSized("Photos/trip/b.jpg", 3000, 1);
    tree.writeSized("Photos/trip/c.jpg", 4000, 2);
    // Hard links are two entries of one file: deleting one loses nothing, so they stay
    // two records.
    tree.writeSized("Photos/h1", 5000, 3);
    ASSERT_EQ(::link(tree.path("Photos/h1").c_str(), tree.path("Photos/trip/h2").c_str()), 0);
    tree.writeSized("Other/c.jpg", 4000, 2);
    tree.symlink(tree.path("Photos"), "link-to-Photos");
    tree.symlink(tree.path("Photos/trip"), "link-to-trip");
    tree.symlink("../Photos/", "Other/relative-link");
    const std::string r = tree.root();

    struct Case {
        const char* name;
        Strings paths;
        const char* spelling; // how Photos is spelled in the records
        Groups expected;      // with Photos written as "P"
    };
    const Groups photosOnly = {{"P/a.jpg", "P/trip/b.jpg"}, {"P/h1", "P/trip/h2"}};
    const Case cases[] = {
        {"folder, then a link to it", {r + "/Photos", r + "/link-to-Photos"}, "Photos", photosOnly},
        {"link first: its spelling stays",
         {r + "/link-to-Photos/", r + "/Photos"},
         "link-to-Photos",
         photosOnly},
        {"a link to a folder inside the other",
         {r + "/link-to-trip", r + "/Photos"},
         "Photos",
         photosOnly},
        {"two links", {r + "/link-to-Photos", r + "/link-to-trip"}, "link-to-Photos", photosOnly},
        {"a relative link first",
         {r + "/Other/relative-link", r + "/Photos"},
         "Other/relative-link",
         photosOnly},
        {"a link inside another start folder is not followed",
         {r + "/Other", r + "/Photos"},
         "Photos",
         {{"P/a.jpg", "P/trip/b.jpg"}, {"Other/c.jpg", "P/trip/c.jpg"}, {"P/h1", "P/trip/h2"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Groups expected = c.expected;
        for (auto& g : expected)
            for (auto& p : g)
                if (p.rfind("P/", 0) == 0)
                    p = std::string(c.spelling) + p.substr(1);
        for (unsigned threads : {1u, 2u}) {
            const auto out = runScan({.mode = dtMd5, .paths = c.paths, .hashThreads = threads});
            EXPECT_EQ(normalized(relative(out.groups, r)), normalized(expected)) << threads;
        }
    }
}

// A bind mount of a scanned folder beside it, and a mount loop (the tree mounted inside
// itself): every file is collected once.
TEST(WalkSameFolder, BindMountsAndMountLoopsAreWalkedOnce) {
    TempTree tree;
    tree.writeSized("data/a", 3000, 1);
    tree.writeSized("data/sub/b", 3000, 1);
    tree.mkdir("mirror");
    tree.mkdir("data/sub/loop");
    const std::string r = tree.root();
    const PrivateMount loop = PrivateMount::bind(r, r + "/data/sub/loop");
    SKIP_UNLESS_MOUNTED(loop);
    const PrivateMount mirror = PrivateMount::bind(r + "/data", r + "/mirror", true);
    SKIP_UNLESS_MOUNTED(mirror);

    const Groups viaData = {{"data/a", "data/sub/b"}};
    const Groups viaMirror = {{"mirror/a", "mirror/sub/b"}};
    // With a second thread, the walk's helper opens folders ahead of it, the same
    // folder again among them.
    for (unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(threads);
        // From the top: data and mirror are one folder; whichever the listing gives first
        // is walked, and the loop back to the top is not entered.
        auto out = runScan({.mode = dtMd5, .paths = {r}, .hashThreads = threads});
        EXPECT_EQ(collectedCount(out.reports), 2);
        EXPECT_EQ(countCode(out.reports, spFolderDone), 3); // the top, one of the two, sub
        ASSERT_EQ(out.groups.size(), 1u);
        const Groups got = normalized(relative(out.groups, r));
        EXPECT_TRUE(got == viaData || got == viaMirror) << ::testing::PrintToString(got);

        // Both given as start folders: the spelling given first stays.
        out =
            runScan({.mode = dtMd5, .paths = {r + "/mirror", r + "/data"}, .hashThreads = threads});
        EXPECT_EQ(normalized(relative(out.groups, r)), viaMirror);
        out =
            runScan({.mode = dtMd5, .paths = {r + "/data", r + "/mirror"}, .hashThreads = threads});
        EXPECT_EQ(normalized(relative(out.groups, r)), viaData);
        // The loop given as a start folder beside a folder it leads back to: each file once.
        out = runScan({.mode = dtMd5,
                       .paths = {r + "/mirror/sub/loop", r + "/data"},
                       .hashThreads = threads});
        EXPECT_EQ(collectedCount(out.reports), 2);
        EXPECT_EQ(normalized(relative(out.groups, r)), viaData);
    }
}

// A pseudo file system mounted inside a scanned folder (a chroot's /proc, /sys, /dev)
// is never entered, reached from above, as a start folder or through a link.
TEST(WalkSameFolder, PseudoFileSystemsMountedAnywhereAreNotEntered) {
    TempTree tree;
    tree.write("chroot/a", "");
    tree.write("chroot/b", "");
    const std::string r = tree.root();
    std::vector<PrivateMount> mounts;
    Strings mounted;
    std::string reasons;
    for (const char* type : {"proc", "sysfs", "devtmpfs", "cgroup2"}) {
        const std::string at = tree.mkdir(std::string("chroot/") + type);
        tree.symlink(at, std::string("link-to-") + type);
        PrivateMount m = PrivateMount::fileSystem(type, at);
        if (m.mounted()) {
            mounted.push_back(type);
            mounts.push_back(std::move(m));
        } else {
            reasons += "\n" + m.error();
        }
    }
    if (std::find(mounted.begin(), mounted.end(), "proc") == mounted.end())
        GTEST_SKIP() << reasons;
    SCOPED_TRACE("mounted: " + ::testing::PrintToString(mounted) + reasons);

    for (unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(threads);
        // Empty files, so that every file of a pseudo file system entered would count.
        auto out =
            runScan({.mode = dtDataSize, .paths = {r}, .endSize = 0, .hashThreads = threads});
        EXPECT_EQ(countCode(out.reports, spFolderDone), 2); // the top and chroot
        EXPECT_EQ(normalized(relative(out.groups, r)), (Groups{{"chroot/a", "chroot/b"}}));

        for (const std::string& type : mounted) {
            SCOPED_TRACE(type);
            out = runScan({.mode = dtDataSize,
                           .paths = {r + "/chroot/" + type, r + "/link-to-" + type},
                           .endSize = 0,
                           .hashThreads = threads});
            EXPECT_EQ(countCode(out.reports, spFolderDone), 0);
            EXPECT_TRUE(out.groups.empty());
        }
    }
}

// The home trash is the home trash whatever path leads to it: through a link to the
// home folder, or with the data folder spelled through one.
TEST(WalkSameFolder, HomeTrashIsSkippedThroughALink) {
    TempTree tree;
    tree.writeSized("home/.local/share/Trash/files/a", 3000, 1);
    tree.writeSized("home/.local/share/Trash/files/b", 3000, 1);
    tree.writeSized("home/docs/c", 3000, 2);
    tree.writeSized("home/docs/d", 3000, 2);
    tree.symlink(tree.path("home"), "home-link");
    const std::string r = tree.root();
    struct Case {
        const char* dataHome;
        const char* start;
        Groups expected;
    };
    const Case cases[] = {
        {"home/.local/share", "home-link", {{"home-link/docs/c", "home-link/docs/d"}}},
        {"home-link/.local/share", "home", {{"home/docs/c", "home/docs/d"}}},
        {"home/.local/share", "home-link/.local/share/Trash", {}},
        {"home-link/.local/share", "home/.local/share/Trash/files", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.dataHome) + " " + c.start);
        EnvGuard env;
        env.set("XDG_DATA_HOME", r + "/" + c.dataHome);
        const auto out = runScan({.mode = dtMd5, .paths = {r + "/" + c.start}});
        EXPECT_EQ(normalized(relative(out.groups, r)), c.expected);
    }
}

// Removable media are mounted under /run/media: they are scanned, the rest of /run is
// not. /run is replaced by a tmpfs of the test's own (the system's /run is untouched),
// and the "disk" is a second tmpfs mounted under /run/media/USER/.
TEST(WalkSameFolder, RemovableMediaUnderRunMediaAreScanned) {
    struct stat st {};
    if (::stat("/run", &st) != 0 || !S_ISDIR(st.st_mode))
        GTEST_SKIP() << "no /run folder here";
    PrivateMount run = PrivateMount::fileSystem("tmpfs", "/run", "size=1m,mode=0755");
    SKIP_UNLESS_MOUNTED(run);
    const std::string disk = "/run/media/tester/DISK";
    fs::create_directories(disk);
    fs::create_directories("/run/user/1000");
    PrivateMount media = PrivateMount::fileSystem("tmpfs", disk, "size=1m");
    SKIP_UNLESS_MOUNTED(media);
    for (const std::string& f : Strings{disk + "/photos/a.jpg", disk + "/b.jpg",
                                        "/run/user/1000/c.jpg", "/run/user/1000/d.jpg"}) {
        fs::create_directories(fs::path(f).parent_path());
        std::ofstream(f, std::ios::binary) << "the same content";
        ASSERT_TRUE(pathExists(f)) << f;
    }
    const Groups onDisk = {{disk + "/b.jpg", disk + "/photos/a.jpg"}};
    struct Case {
        Strings paths;
        Groups expected;
    };
    const Case cases[] = {
        {{disk}, onDisk},         {{"/run/media"}, onDisk}, {{"/run/media/"}, onDisk},
        {{"/run/user/1000"}, {}}, {{"/run"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.paths.front());
        const auto out = runScan({.mode = dtMd5, .paths = c.paths});
        EXPECT_EQ(normalized(out.groups), c.expected);
    }
    media.unmount();
    run.unmount();
}

} // namespace
} // namespace pelidor::test
