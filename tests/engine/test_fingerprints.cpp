// Content fingerprints: known digests, the partial rule, files that cannot be read,
// files that change after the walk, and the order of code 4 with several threads.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <tuple>
#include <unistd.h>

#include "tests/engine/ScanHelpers.h"
#include "tests/support/SyscallError.h"
#include "tests/support/Unprivileged.h"

namespace pelidor::test {
namespace {

namespace fs = std::filesystem;

TEST(GetFileMd5, KnownDigests) {
    TempTree tree;
    struct Case {
        std::string content;
        const char* md5;
    };
    const Case cases[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "D174AB98D277D9F5A5611C2C9F419D9F"},
        {std::string(2048, 'a'), "B7EA2D21AD2EF3E28085D30247603E0B"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.content.substr(0, 20));
        const std::string p = tree.write("f", c.content);
        EXPECT_EQ(GetFileMd5(p, true), c.md5);
        EXPECT_EQ(GetFileMd5(p, false), c.md5); // small files are digested whole
    }
    // A large file: whole, and by its first and last 1024 bytes.
    const std::string big = tree.write("big", std::string(1000000, 'a'));
    EXPECT_EQ(GetFileMd5(big, true), "7707D6AE4E027C70EEA2A935C2296F21");
    EXPECT_EQ(GetFileMd5(big, false), "B7EA2D21AD2EF3E28085D30247603E0B");
}

TEST(GetFileMd5, PartialDigestTakesHeadAndTailFrom8192Bytes) {
    TempTree tree;
    for (int64_t size : {0, 1, 1024, 2047, 2048, 2049, 5000, 8191, 8192, 8193, 10000, 1 << 20}) {
        SCOPED_TRACE(size);
        const std::string content = seededContent(size, static_cast<uint32_t>(size));
        const std::string p = tree.write("f", content);
        const std::string whole = GetFileMd5(p, true);
        EXPECT_TRUE(isUpperHex32(whole));
        if (size < 8192) {
            EXPECT_EQ(GetFileMd5(p, false), whole);
        } else {
            const std::string headTail = tree.write(
                "ht", content.substr(0, 1024) + content.substr(static_cast<size_t>(size) - 1024));
            EXPECT_EQ(GetFileMd5(p, false), GetFileMd5(headTail, true));
            EXPECT_NE(GetFileMd5(p, false), whole);
        }
    }
}

TEST(GetFileMd5, UnreadableInputsGiveEmptyText) {
    TempTree tree;
    const std::string file = tree.write("file", "abc");
    tree.symlink(file, "link");
    tree.mkdir("dir");
    const std::string fifo = tree.path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A device node that reads as empty, where the system lets us make one.
    const bool haveDevice =
        ::mknod(tree.path("nulldev").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0;
    for (bool whole : {true, false}) {
        SCOPED_TRACE(whole);
        EXPECT_EQ(GetFileMd5(tree.path("missing"), whole), "");
        EXPECT_EQ(GetFileMd5(tree.path("dir"), whole), "");
        EXPECT_EQ(GetFileMd5(tree.path("link"), whole), ""); // links are not followed
        EXPECT_EQ(GetFileMd5("", whole), "");
        if (haveDevice) {
            EXPECT_EQ(GetFileMd5(tree.path("nulldev"), whole), "");
        }
        auto pending = std::async(std::launch::async, [&] { return GetFileMd5(fifo, whole); });
        if (pending.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            const int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (w >= 0)
                ::close(w);
            ADD_FAILURE() << "reading a pipe blocks";
        }
        EXPECT_EQ(pending.get(), "");
    }
}

TEST(GetFileMd5, FileUnderAnExclusiveLockGivesEmptyText) {
    TempTree tree;
    const std::string p = tree.write("f", "abc");
    const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_EQ(GetFileMd5(p, true), "");
    EXPECT_EQ(GetFileMd5(p, false), "");
    ::close(fd);
    EXPECT_EQ(GetFileMd5(p, true), "900150983CD24FB0D6963F7D28E17F72");
    // A shared lock held elsewhere does not stop the digest.
    const int shared = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(shared, LOCK_SH), 0);
    EXPECT_EQ(GetFileMd5(p, true), "900150983CD24FB0D6963F7D28E17F72");
    ::close(shared);
}

TEST(GetFileMd5, FileWithoutReadPermissionGivesEmptyText) {
    TempTree tree;
    const std::string p = tree.write("f", "abc");
    giveToUnprivileged(tree.root());
    runUnprivileged([&] {
        ASSERT_EQ(::chmod(p.c_str(), 0), 0);
        EXPECT_EQ(GetFileMd5(p, true), "");
        EXPECT_EQ(GetFileMd5(p, false), "");
    });
}

TEST(Fingerprints, PartialModeComparesHeadAndTailOnly) {
    struct Case {
        const char* name;
        int64_t size;
        std::vector<std::pair<int64_t, int64_t>> changed; // [from, to) of the second file
        bool groupInPart;
        bool groupInWhole;
    };
    const Case cases[] = {
        {"10000 bytes, middle differs", 10000, {{2000, 7000}}, true, false},
        {"8192 bytes, byte 1024 .. 7167 differ", 8192, {{1024, 7168}}, true, false},
        {"10000 bytes, last 1024 differ", 10000, {{8976, 10000}}, false, false},
        {"10000 bytes, last byte differs", 10000, {{9999, 10000}}, false, false},
        {"10000 bytes, first byte differs", 10000, {{0, 1}}, false, false},
        {"8191 bytes, one middle byte differs", 8191, {{4000, 4001}}, false, false},
        {"equal files", 9000, {}, true, true},
        // From 32 KiB the whole-file pass may first compare samples of head and tail.
        {"40000 bytes, byte 3000 differs", 40000, {{3000, 3001}}, true, false},
        {"40000 bytes, byte 5000 differs", 40000, {{5000, 5001}}, true, false},
        {"40000 bytes, middle byte differs", 40000, {{20000, 20001}}, true, false},
        {"40000 bytes, byte 36000 differs", 40000, {{36000, 36001}}, true, false},
        {"40000 bytes, last byte differs", 40000, {{39999, 40000}}, false, false},
        {"40000 bytes, equal", 40000, {}, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        std::string content = seededContent(c.size, 5);
        tree.write("one", content);
        for (auto [from, to] : c.changed)
            for (int64_t i = from; i < to; ++i)
                content[static_cast<size_t>(i)] =
                    static_cast<char>(~content[static_cast<size_t>(i)]);
        tree.write("two", content);
        for (unsigned threads : {1u, 2u}) {
            const auto part =
                runScan({.mode = dtMd5Part, .paths = {tree.root()}, .hashThreads = threads});
            EXPECT_EQ(part.groups.size(), c.groupInPart ? 1u : 0u) << "dtMd5Part";
            const auto whole =
                runScan({.mode = dtMd5, .paths = {tree.root()}, .hashThreads = threads});
            EXPECT_EQ(whole.groups.size(), c.groupInWhole ? 1u : 0u) << "dtMd5";
        }
    }
}

TEST(Fingerprints, LockedFileNeverJoinsAGroup) {
    for (int64_t size : {20000, 40000}) {
        TempTree tree;
        for (const char* f : {"a", "b", "c"})
            tree.writeSized(f, size, 3);
        const std::string locked = tree.path("c");
        const int fd = ::open(locked.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::flock(fd, LOCK_EX), 0);
        for (TDuplicateType mode : {dtMd5, dtMd5Part}) {
            for (unsigned threads : {1u, 2u}) {
                SCOPED_TRACE(std::to_string(size) + " " + std::to_string(static_cast<int>(mode)) +
                             "/" + std::to_string(threads));
                const auto out =
                    runScan({.mode = mode, .paths = {tree.root()}, .hashThreads = threads});
                EXPECT_EQ(countCode(out.reports, spHashFile), 3);
                EXPECT_EQ(relative(out.groups, tree.root()), (Groups{{"a", "b"}}));
            }
        }
        ::close(fd);
    }
}

// A file system without locks (NFS without its lock service: flock fails with ENOLCK,
// EOPNOTSUPP or EINVAL; made so here in a child process) is fingerprinted without
// locks, so both content modes still find its duplicates. A lock held elsewhere
// (EWOULDBLOCK) still keeps every file out.
TEST(Fingerprints, FileSystemWithoutLocksIsStillFingerprinted) {
    TempTree tree;
    tree.writeSized("a", 20000, 3);
    tree.writeSized("b", 20000, 3);
    tree.writeSized("c", 20000, 4);
    for (int error : {ENOLCK, EOPNOTSUPP, EINVAL, EWOULDBLOCK}) {
        SCOPED_TRACE(std::strerror(error));
        const Groups expected = error == EWOULDBLOCK ? Groups{} : Groups{{"a", "b"}};
        runWithSyscallError(SYS_flock, error, [&] {
            for (TDuplicateType mode : {dtMd5, dtMd5Part}) {
                SCOPED_TRACE(static_cast<int>(mode));
                const auto out = runScan({.mode = mode, .paths = {tree.root()}, .hashThreads = 2});
                EXPECT_EQ(relative(out.groups, tree.root()), expected);
            }
        });
    }
}

TEST(Fingerprints, UnreadableFileNeverJoinsAGroup) {
    TempTree tree;
    for (const char* f : {"a", "b", "c"})
        tree.writeSized(f, 20000, 3);
    giveToUnprivileged(tree.root());
    runUnprivileged([&] {
        ASSERT_EQ(::chmod(tree.path("b").c_str(), 0), 0);
        for (TDuplicateType mode : {dtMd5, dtMd5Part}) {
            SCOPED_TRACE(static_cast<int>(mode));
            const auto out = runScan({.mode = mode, .paths = {tree.root()}});
            EXPECT_EQ(relative(out.groups, tree.root()), (Groups{{"a", "c"}}));
        }
    });
}

TEST(Fingerprints, FileChangedAfterTheWalkNeverJoinsAGroup) {
    // Four equal files; after the size pre-pass, before any file is read, "d" changes.
    struct Case {
        const char* name;
        void (*change)(const TempTree&, int64_t size);
    };
    const Case cases[] = {
        {"removed", [](const TempTree& t, int64_t) { fs::remove(t.path("d")); }},
        {"replaced by an equal file with the same times",
         [](const TempTree& t, int64_t size) {
             struct stat st {};
             ::stat(t.path("d").c_str(), &st);
             t.writeSized("new", size, 3);
             const timespec times[2] = {st.st_atim, st.st_mtim};
             ::utimensat(AT_FDCWD, t.path("new").c_str(), times, 0);
             fs::rename(t.path("new"), t.path("d"));
         }},
        {"modification time changed",
         [](const TempTree& t, int64_t) { t.setMTime("d", 1000000000); }},
        {"grown", [](const TempTree& t, int64_t size) { t.writeSized("d", size + 1, 3); }},
        {"replaced by a folder",
         [](const TempTree& t, int64_t) {
             fs::remove(t.path("d"));
             t.mkdir("d");
         }},
    };
    for (const auto& c : cases) {
        for (auto [mode, size, threads] :
             {std::tuple{dtMd5, 20000, 1u}, std::tuple{dtMd5, 40000, 2u},
              std::tuple{dtMd5Part, 20000, 2u}, std::tuple{dtMd5Part, 40000, 1u}}) {
            SCOPED_TRACE(std::string(c.name) + " " + std::to_string(static_cast<int>(mode)) + " " +
                         std::to_string(size) + "/" + std::to_string(threads));
            TempTree tree;
            for (const char* f : {"a", "b", "c", "d"})
                tree.writeSized(f, size, 3);
            TSearchHolper holder;
            HookReceiver receiver(spSizePass, 1,
                                  [&](const ProgressReport&) { c.change(tree, size); });
            const auto out = runScan(
                holder, {.mode = mode, .paths = {tree.root()}, .hashThreads = threads}, receiver);
            EXPECT_EQ(countCode(out.reports, spHashFile), 4);
            EXPECT_EQ(relative(out.groups, tree.root()), (Groups{{"a", "b", "c"}}));
        }
    }
}

TEST(Fingerprints, EachRecordIsReportedOnceInListOrder) {
    // Pairs of equal files of many sizes, written in an order unrelated to size. After
    // the size pre-pass the working list is in ascending size order, and so are the
    // code 4 reports, whatever the number of threads.
    TempTree tree;
    Strings all;
    for (int i = 0; i < 24; ++i) {
        const int64_t size = ((i * 7) % 24 + 1) * 3000 + (i % 2 == 0 ? 0 : 100000);
        const std::string name = std::to_string((i * 5) % 24);
        all.push_back(tree.writeSized("x/" + name, size, static_cast<uint32_t>(i)));
        all.push_back(tree.writeSized("y/" + name, size, static_cast<uint32_t>(i)));
    }
    std::sort(all.begin(), all.end());
    for (TDuplicateType mode : {dtMd5, dtMd5Part}) {
        for (unsigned threads : {1u, 2u, 0u}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(mode)) + "/" + std::to_string(threads));
            const auto out =
                runScan({.mode = mode, .paths = {tree.root()}, .hashThreads = threads});
            const Strings hashed = hashedPaths(out.reports);
            Strings sortedHashed = hashed;
            std::sort(sortedHashed.begin(), sortedHashed.end());
            EXPECT_EQ(sortedHashed, all);
            for (size_t i = 1; i < hashed.size(); ++i)
                EXPECT_LE(fs::file_size(hashed[i - 1]), fs::file_size(hashed[i]))
                    << hashed[i - 1] << " reported before " << hashed[i];
            for (const auto& r : out.reports) {
                if (r.code == spHashStart) {
                    EXPECT_EQ(r.arg, 48);
                }
            }
            EXPECT_EQ(out.groups.size(), 24u);
        }
    }
}

// A stop gives up the files being fingerprinted between two blocks, however large they
// are: two equal sparse files of 50 GB, each taken by one of two threads, are both in hand
// when the stop comes (at the second one's code 4). Both keep an empty fingerprint, so
// they form no group, and the scan ends without hashing them to their end (which takes
// minutes: the test's time limit fails a scan that does).
TEST(Fingerprints, StopGivesUpLargeFilesBetweenBlocks) {
    constexpr int64_t kLarge = int64_t{50} << 30;
    TempTree tree;
    for (const char* name : {"big1.img", "big2.img"}) {
        const std::string path = tree.write(name, "");
        if (::truncate(path.c_str(), kLarge) != 0)
            GTEST_SKIP() << "no sparse file of 50 GB here: " << std::strerror(errno);
    }
    for (const TDuplicateType mode : {dtMd5, dtMd5Part}) {
        SCOPED_TRACE(mode == dtMd5 ? "dtMd5" : "dtMd5Part");
        TSearchHolper holder;
        HookReceiver receiver(spHashFile, 2, [&](const ProgressReport&) { holder.Stop(); });
        const auto out =
            runScan(holder, {.mode = mode, .paths = {tree.root()}, .hashThreads = 2}, receiver);
        ASSERT_TRUE(out.finished);
        EXPECT_EQ(countCode(out.reports, spHashFile), 2);
        EXPECT_EQ(countCode(out.reports, spHashDone), 0);
        EXPECT_TRUE(out.groups.empty()) << ::testing::PrintToString(out.groups);
    }
}

} // namespace
} // namespace pelidor::test
