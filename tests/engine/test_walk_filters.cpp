// The folder walk: the size window, name masks, excluded and protected folders,
// links and special files, odd names, folders that cannot be listed, deep trees.
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/Environment.h"
#include "tests/engine/ScanHelpers.h"
#include "tests/support/Unprivileged.h"

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

Strings sorted(Strings s) {
    std::sort(s.begin(), s.end());
    return s;
}

// In dtDataSize, when every file of the tree has one size, the single group is exactly
// the set of collected files (when there are two or more).
void expectCollected(const ScanOutcome& out, const std::string& root, const Strings& expected) {
    EXPECT_EQ(collectedCount(out.reports), static_cast<int64_t>(expected.size()));
    const Groups groups = relative(out.groups, root);
    if (expected.size() >= 2) {
        ASSERT_EQ(groups.size(), 1u);
        EXPECT_EQ(sorted(groups[0]), sorted(expected));
    } else {
        EXPECT_TRUE(groups.empty());
    }
}

TEST(Walk, SizeWindowBoundsAreInclusive) {
    TempTree tree;
    const int64_t sizes[] = {0, 99, 100, 200, 201};
    for (int64_t s : sizes) {
        tree.writeSized("a" + std::to_string(s), s, 1);
        tree.writeSized("b" + std::to_string(s), s, 1);
    }
    struct Case {
        int64_t begin, end;
        std::vector<int64_t> collected;
    };
    const std::vector<int64_t> all(std::begin(sizes), std::end(sizes));
    const Case cases[] = {
        {100, 200, {100, 200}},
        {0, -1, all},
        {0, 0, {0}},
        {99, 99, {99}},
        {201, -1, {201}},
        {1, -1, {99, 100, 200, 201}},
        {101, 199, {}},
        {200, 100, {}},
        {-5, -1, all},
        {0, -7, all}, // any negative end: no upper bound
        {INT64_MIN, INT64_MAX, all},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.begin) + ".." + std::to_string(c.end));
        const auto out = runScan(
            {.mode = dtDataSize, .paths = {tree.root()}, .beginSize = c.begin, .endSize = c.end});
        EXPECT_EQ(collectedCount(out.reports), static_cast<int64_t>(2 * c.collected.size()));
        std::vector<int64_t> groupSizes;
        for (const auto& g : out.groups)
            groupSizes.push_back(static_cast<int64_t>(fs::file_size(g.front())));
        EXPECT_EQ(groupSizes, c.collected);
    }
}

TEST(Walk, NameMasksIncludeThenExclude) {
    TempTree tree;
    const Strings names = {"IMG_1.jpg", "photo.JPG", "doc.txt", "noext",
                           ".hidden",   "README.Md", "a.b.c"};
    for (size_t i = 0; i < names.size(); ++i) {
        tree.writeSized("d1/" + names[i], static_cast<int64_t>(10 + i), 1);
        tree.writeSized("d2/" + names[i], static_cast<int64_t>(10 + i), 1);
    }
    struct Case {
        const char* name;
        std::optional<Strings> include, exclude;
        Strings collected;
    };
    const Case cases[] = {
        {"no lists", std::nullopt, std::nullopt, names},
        {"empty lists", Strings{}, Strings{}, names},
        {"*.jpg", Strings{"*.jpg"}, std::nullopt, {"IMG_1.jpg", "photo.JPG"}},
        {"exclusion wins", Strings{"*.jpg"}, Strings{"IMG*"}, {"photo.JPG"}},
        {"one mask, two patterns",
         Strings{" *.txt ; *.md"},
         std::nullopt,
         {"doc.txt", "README.Md"}},
        {"two masks",
         Strings{"*.jpg", "*.txt"},
         std::nullopt,
         {"IMG_1.jpg", "photo.JPG", "doc.txt"}},
        {"*.*", Strings{"*.*"}, std::nullopt, names},
        {"?", Strings{"?oc.txt"}, std::nullopt, {"doc.txt"}},
        {"exclude dot files",
         std::nullopt,
         Strings{".*"},
         {"IMG_1.jpg", "photo.JPG", "doc.txt", "noext", "README.Md", "a.b.c"}},
        {"exclude all", std::nullopt, Strings{"*"}, {}},
        {"exclude two",
         std::nullopt,
         Strings{"*.C", "NOEXT"},
         {"IMG_1.jpg", "photo.JPG", "doc.txt", ".hidden", "README.Md"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto out = runScan({.mode = dtFileName,
                                  .paths = {tree.root()},
                                  .include = c.include,
                                  .excludeNames = c.exclude});
        EXPECT_EQ(collectedCount(out.reports), static_cast<int64_t>(2 * c.collected.size()));
        Strings got;
        for (const auto& g : relative(out.groups, tree.root())) {
            EXPECT_EQ(g.size(), 2u);
            got.push_back(std::string(platform::fileNamePart(g.front())));
        }
        EXPECT_EQ(sorted(got), sorted(c.collected));
    }
}

TEST(Walk, ExcludedFoldersAreNeverEntered) {
    TempTree tree;
    for (const char* f : {"anchor", "keep/f", "keep/g", "skip/f", "skip/inner/f"})
        tree.writeSized(f, 10, 1);
    const std::string r = tree.root();
    struct Case {
        const char* name;
        Strings paths;
        Strings exclude;
        Strings collected;
        int folderReports;
    };
    const Strings all = {"anchor", "keep/f", "keep/g", "skip/f", "skip/inner/f"};
    const Case cases[] = {
        {"nothing excluded", {r}, {}, all, 4},
        {"excluded", {r}, {r + "/skip"}, {"anchor", "keep/f", "keep/g"}, 2},
        {"excluded with trailing separator",
         {r},
         {r + "/skip/"},
         {"anchor", "keep/f", "keep/g"},
         2},
        {"other letter case is another folder", {r}, {r + "/SKIP"}, all, 4},
        {"a prefix is not the folder", {r}, {r + "/sk"}, all, 4},
        {"an inner folder", {r}, {r + "/skip/inner"}, {"anchor", "keep/f", "keep/g", "skip/f"}, 3},
        {"excluded start folder",
         {r + "/skip", r + "/keep"},
         {r + "/skip"},
         {"keep/f", "keep/g"},
         1},
        {"start folder inside an excluded one",
         {r + "/skip/inner", r + "/keep"},
         {r + "/skip"},
         {"skip/inner/f", "keep/f", "keep/g"},
         2},
        {"the root", {r}, {r}, {}, 0},
        {"the root with separator", {r}, {r + "/"}, {}, 0},
        {"an empty entry names no folder", {r}, {"", r + "/nothing"}, all, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto out = runScan({.mode = dtDataSize, .paths = c.paths, .excludePaths = c.exclude});
        EXPECT_EQ(countCode(out.reports, spFolderDone), c.folderReports);
        expectCollected(out, r, c.collected);
    }
}

TEST(Walk, SystemFoldersAreNotEnteredByDefault) {
    const auto& f = EngineFolders();
    EXPECT_EQ(f.WindowsDir, "/usr/");
    EXPECT_EQ(f.ProgramFilesDir, "/opt/");
    EXPECT_EQ(f.ProgramW6432Dir, "/etc/");
    EXPECT_EQ(f.CommonAppDataDir, "/var/lib");
    // Default exclusions and pseudo file systems: none is visited, so none reports.
    const auto out =
        runScan({.mode = dtDataSize,
                 .paths = {"/usr", "/opt/", "/etc", "/var/lib", "/proc", "/sys", "/dev", "/run"}});
    EXPECT_EQ(codeArgs(out.reports),
              (std::vector<CodeArg>{{9, 0}, {1, 0}, {2, 0}, {6, 0}, {7, 0}, {10, 0}}));
}

TEST(Walk, ProtectedFolders) {
    const std::string uid = std::to_string(::getuid());
    struct Case {
        std::string path;
        bool isProtected;
    };
    const Case cases[] = {
        {"/proc", true},
        {"/sys", true},
        {"/dev", true},
        {"/run", true},
        {"/run/user/1000", true},
        {"/run/media", false}, // removable media are scanned
        {"/run/media/u/DISK", false},
        {"/run/mediaX", true},
        {"/process", false},
        {"/devices", false},
        {"/home/u/proc", false},
        {"/", false},
        {"/home/u/data", false},
        {"/media/disk/.Trash", true},
        {"/media/disk/.Trash-" + uid, true},
        {"/media/disk/.Trash/" + uid + "/files", true},
        {"/media/disk/.Trashy", false},
        {"/media/disk/my.Trash", false},
        {"/home/u/Trash", false},
        {platform::homeTrashDir(), true},
        {"/mnt/win/$RECYCLE.BIN", true},
        {"/mnt/win/$RECYCLE.BIN/S-1-5-21-x", true},
        {"/mnt/win/x$RECYCLE.BINy", true},
        {"/mnt/win/RECYCLE.BIN", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(IsProtectedFolder(c.path), c.isProtected);
    }
}

TEST(Walk, TrashAndRecycleFoldersAreSkippedWithEverythingBelow) {
    TempTree tree;
    const std::string uid = std::to_string(::getuid());
    for (const std::string& f :
         Strings{"anchor", "normal/f", ".Trashy/f", "Trash/f", ".Trash/f", ".Trash/sub/f",
                 ".Trash-" + uid + "/files/f", "$RECYCLE.BIN/S-1-5-21-x/f", "x$RECYCLE.BINy/f"})
        tree.writeSized(f, 10, 1);
    auto out = runScan({.mode = dtDataSize, .paths = {tree.root()}});
    EXPECT_EQ(countCode(out.reports, spFolderDone), 4); // root, normal, .Trashy, Trash
    expectCollected(out, tree.root(), {"anchor", "normal/f", ".Trashy/f", "Trash/f"});

    // Given as start folders, they are not entered either.
    out = runScan(
        {.mode = dtDataSize, .paths = {tree.path(".Trash"), tree.path("$RECYCLE.BIN/S-1-5-21-x")}});
    EXPECT_EQ(countCode(out.reports, spFolderDone), 0);
    EXPECT_TRUE(out.groups.empty());
}

TEST(Walk, LinksAreNeitherFollowedNorCollected) {
    TempTree tree;
    tree.writeSized("real.txt", 10, 1);
    tree.writeSized("dir/copy.txt", 10, 1);
    tree.symlink(tree.path("real.txt"), "link_to_file");
    tree.symlink("real.txt", "relative_link");
    tree.symlink(tree.path("dir"), "link_to_dir");
    tree.symlink(tree.root(), "dir/loop");
    tree.symlink(tree.path("nowhere"), "dangling");
    const auto out = runScan({.mode = dtDataSize, .paths = {tree.root()}});
    EXPECT_EQ(countCode(out.reports, spFolderDone), 2); // root and dir
    expectCollected(out, tree.root(), {"real.txt", "dir/copy.txt"});
}

TEST(Walk, SpecialFilesAreNotCollectedAndDoNotHang) {
    TempTree tree;
    tree.writeSized("a", 0, 1);
    tree.writeSized("b", 0, 1);
    const std::string fifo = tree.path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = tree.path("sock");
    ASSERT_LT(sockPath.size(), sizeof addr.sun_path);
    std::copy(sockPath.begin(), sockPath.end(), addr.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    // A device node that reads as empty, where the system lets us make one.
    const bool haveDevice =
        ::mknod(tree.path("nulldev").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0;

    for (TDuplicateType mode : {dtDataSize, dtMd5}) {
        SCOPED_TRACE(static_cast<int>(mode));
        TSearchHolper holder;
        RecordingReceiver receiver;
        const Strings paths{tree.root()};
        ASSERT_EQ(
            holder.FindDuplicateFiles(&receiver, mode, &paths, nullptr, nullptr, nullptr, 0, -1),
            0u);
        if (!receiver.waitFinished(std::chrono::seconds(30))) {
            // Let a reader blocked on the pipe go before failing.
            const int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (w >= 0)
                ::close(w);
            FAIL() << "the scan hangs";
        }
        holder.WaitForWorker();
        const auto reports = receiver.reports();
        EXPECT_EQ(collectedCount(reports), 2) << (haveDevice ? "with a device node" : "");
        ASSERT_NE(holder.DuplicateResult(), nullptr);
        EXPECT_EQ(normalized(relative(groupPaths(*holder.DuplicateResult()), tree.root())),
                  (Groups{{"a", "b"}}));
    }
    ::close(sock);
}

TEST(Walk, OddNamesAreKeptByteForByte) {
    TempTree tree;
    const Strings names = {"new\nline.txt", "bad\xFF\xFE.bin", "tab\there", " lead and trail ",
                           "back\\slash",   "quote\"s",        "star*?",    "caf\xC3\xA9.txt",
                           "-dash",         "semi;colon",      "%HOME%",    "..."};
    Groups expected;
    for (size_t i = 0; i < names.size(); ++i) {
        tree.writeSized("d1/" + names[i], static_cast<int64_t>(100 + i), static_cast<uint32_t>(i));
        tree.writeSized("d2/" + names[i], static_cast<int64_t>(100 + i), static_cast<uint32_t>(i));
        expected.push_back({"d1/" + names[i], "d2/" + names[i]});
    }
    for (TDuplicateType mode : {dtFileName, dtMd5}) {
        SCOPED_TRACE(static_cast<int>(mode));
        const auto out = runScan({.mode = mode, .paths = {tree.root()}});
        EXPECT_EQ(normalized(relative(out.groups, tree.root())), normalized(expected));
        if (mode == dtMd5) {
            Strings all;
            for (const auto& g : expected)
                all.insert(all.end(), g.begin(), g.end());
            Strings hashed = relative({hashedPaths(out.reports)}, tree.root())[0];
            EXPECT_EQ(sorted(hashed), sorted(all));
        }
    }
}

TEST(Walk, UnreadableFolderIsSkippedAndStillReports) {
    TempTree tree;
    tree.writeSized("open/a", 10, 1);
    tree.writeSized("open/b", 10, 1);
    tree.writeSized("locked/c", 10, 1);
    giveToUnprivileged(tree.root());
    runUnprivileged([&] {
        ASSERT_EQ(::chmod(tree.path("locked").c_str(), 0), 0);
        const auto out = runScan({.mode = dtDataSize, .paths = {tree.root()}});
        EXPECT_EQ(countCode(out.reports, spFolderDone), 3);
        expectCollected(out, tree.root(), {"open/a", "open/b"});
    });
}

TEST(Walk, FolderRemovedDuringTheScanIsSkippedAndStillReports) {
    TempTree tree;
    tree.writeSized("A/a1", 10, 1);
    tree.writeSized("A/a2", 10, 1);
    tree.writeSized("B/b1", 10, 1);
    tree.writeSized("B/sub/b2", 10, 1);
    TSearchHolper holder;
    HookReceiver receiver(spFolderDone, 1, [&](const ProgressReport&) {
        std::error_code ec;
        fs::remove_all(tree.path("B"), ec);
    });
    const auto out =
        runScan(holder, {.mode = dtDataSize, .paths = {tree.path("A"), tree.path("B")}}, receiver);
    EXPECT_EQ(
        codeArgs(out.reports),
        (std::vector<CodeArg>{{9, 0}, {1, 0}, {8, 2}, {8, 2}, {2, 2}, {6, 0}, {7, 1}, {10, 0}}));
    EXPECT_EQ(relative(normalized(out.groups), tree.root()), (Groups{{"A/a1", "A/a2"}}));
}

TEST(Walk, OverlappingStartFoldersAreWalkedOnce) {
    TempTree tree;
    tree.writeSized("data/sub/f", 10, 1);
    tree.writeSized("data/g", 10, 2);
    tree.writeSized("data2/h", 10, 3);
    const std::string d = tree.path("data");
    auto out = runScan({.mode = dtDataSize, .paths = {d, d + "/sub", d, d + "/"}});
    EXPECT_EQ(countCode(out.reports, spFolderDone), 2);
    expectCollected(out, tree.root(), {"data/sub/f", "data/g"});

    // data2 does not lie inside data: both are walked.
    out = runScan({.mode = dtDataSize, .paths = {d, tree.path("data2")}});
    expectCollected(out, tree.root(), {"data/sub/f", "data/g", "data2/h"});
}

TEST(Walk, DeepTreeIsWalkedToTheBottom) {
    // 300 nested folders, each holding a file beside its sub-folder, so the walk has
    // to come back up through every level and go on listing there.
    TempTree tree;
    std::string rel;
    Strings level;
    for (int i = 0; i < 300; ++i) {
        // Names vary, so that the file is listed after the sub-folder at many levels.
        level.push_back(tree.write(rel + "f" + std::to_string(i), "level"));
        rel += "d" + std::to_string(i % 10) + "/";
    }
    tree.writeSized(rel + "deep.bin", 5000, 7);
    tree.writeSized("top.bin", 5000, 7);
    for (unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(threads);
        const auto out = runScan({.mode = dtMd5, .paths = {tree.root()}, .hashThreads = threads});
        EXPECT_EQ(countCode(out.reports, spFolderDone), 301);
        EXPECT_EQ(collectedCount(out.reports), 302);
        ASSERT_EQ(out.groups.size(), 2u);
        EXPECT_EQ(out.groups[0].size(), level.size());
        EXPECT_TRUE(sorted(out.groups[0]) == sorted(level)) << "not every level's file is there";
        EXPECT_EQ(relative({out.groups[1]}, tree.root()), (Groups{{rel + "deep.bin", "top.bin"}}));
    }
}

// Removes a tree below an open folder, one level at a time, so that paths of any length
// go away.
void removeBelow(int dirFd, const char* name) {
    const int fd = ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
        DIR* dir = ::fdopendir(fd);
        Strings entries;
        while (dirent* e = ::readdir(dir))
            if (std::string n = e->d_name; n != "." && n != "..")
                entries.push_back(n);
        for (const auto& e : entries)
            if (::unlinkat(::dirfd(dir), e.c_str(), 0) != 0)
                removeBelow(::dirfd(dir), e.c_str());
        ::closedir(dir);
    }
    ::unlinkat(dirFd, name, AT_REMOVEDIR);
}

TEST(Walk, PathLongerThanThePathLimitIsWalkedAndFingerprinted) {
    TempTree tree;
    const std::string top = tree.writeSized("top.bin", 5000, 7);
    const std::string level(200, 'n');
    // The temporary tree's own removal cannot reach that deep: remove the chain first.
    struct Cleanup {
        const std::string& root;
        const std::string& level;
        ~Cleanup() {
            const int rootFd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (rootFd >= 0) {
                removeBelow(rootFd, level.c_str());
                ::close(rootFd);
            }
        }
    } cleanup{tree.root(), level};
    std::string full = tree.root();
    int fd = ::open(tree.root().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    while (full.size() <= PATH_MAX + 200) {
        ASSERT_EQ(::mkdirat(fd, level.c_str(), 0700), 0);
        const int next = ::openat(fd, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        full += "/" + level;
    }
    const std::string content = seededContent(5000, 7);
    const int file = ::openat(fd, "long.bin", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(file, 0);
    ASSERT_EQ(::write(file, content.data(), content.size()), 5000);
    ::close(file);
    ::close(fd);
    full += "/long.bin";
    ASSERT_GT(full.size(), static_cast<size_t>(PATH_MAX));

    for (TDuplicateType mode : {dtMd5, dtMd5Part}) {
        SCOPED_TRACE(static_cast<int>(mode));
        const auto out = runScan({.mode = mode, .paths = {tree.root()}});
        EXPECT_EQ(out.groups, (Groups{{full, top}}));
    }
}

} // namespace
} // namespace pelidor::test
