// The fingerprint cache: a scan with it finds exactly what a scan without it finds,
// whatever happened to the files or to the cache file in between.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "engine/FingerprintCache.h"
#include "tests/engine/ScanHelpers.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/Unprivileged.h"

namespace pelidor::test {
namespace {

namespace fs = std::filesystem;

// A scan of `req` with the cache at `cachePath` (empty: none).
ScanOutcome scanWithCache(const std::string& cachePath, ScanRequest req) {
    TSearchHolper holder;
    holder.SetFingerprintCache(cachePath);
    RecordingReceiver receiver;
    return runScan(holder, req, receiver);
}

// Runs SQL on the cache file with a connection of the test's own.
class Db {
public:
    explicit Db(const std::string& path) {
        EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                                  nullptr),
                  SQLITE_OK);
        sqlite3_busy_timeout(db_, 5000);
    }
    ~Db() { sqlite3_close_v2(db_); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;
    int exec(const std::string& sql) {
        return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr);
    }
    int64_t number(const std::string& sql) {
        sqlite3_stmt* st = nullptr;
        int64_t value = -1;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            value = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        return value;
    }

private:
    sqlite3* db_ = nullptr;
};

int64_t inodeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return static_cast<int64_t>(st.st_ino);
}

// A tree with groups in every mode: small files (one digest for both kinds), files of
// one size that differ only in the middle (a group in partial mode only), large files
// whose samples differ, and files above the read block.
void fillTree(const TempTree& t) {
    for (const char* f : {"s/a", "s/b", "t/a"})
        t.writeSized(f, 700, 1);
    t.writeSized("s/c", 700, 2);
    std::string mid = seededContent(20000, 5);
    t.write("m/x", mid);
    mid[10000] ^= 0x55;
    t.write("m/y", mid);
    t.write("m/z", mid);
    for (const char* f : {"big/1", "big/2"})
        t.writeSized(f, 100000, 7);
    t.writeSized("big/3", 100000, 8);
    for (const char* f : {"huge/1", "q/huge/1"})
        t.writeSized(f, 3 * 1024 * 1024 + 5, 9);
    t.writeSized("huge/2", 3 * 1024 * 1024 + 5, 10);
    t.writeSized("empty/a", 0, 0);
    t.writeSized("empty/b", 0, 0);
}

// Fingerprints of files changed in the last moments are not remembered (they could
// change again within one tick of the file system's clock): a tree whose fingerprints a
// test expects in the cache is left alone for a while first.
void settle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

TEST(FingerprintCache, SecondScanEqualsTheFirstInEveryMode) {
    // The mode order makes one scan find entries of the other kind in the cache.
    TempTree tree;
    fillTree(tree);
    settle();
    TempTree home;
    const std::string cache = home.path("pelidor/fingerprints.sqlite");
    for (TDuplicateType first : {dtMd5, dtMd5Part}) {
        ASSERT_TRUE(FingerprintCache::clear(cache));
        for (int round = 0; round < 2; ++round) {
            for (TDuplicateType mode :
                 {first, first == dtMd5 ? dtMd5Part : dtMd5, dtFileName, dtDataSize}) {
                SCOPED_TRACE(testing::Message() << "first " << static_cast<int>(first) << " round "
                                                << round << " mode " << static_cast<int>(mode));
                const ScanRequest req{.mode = mode, .paths = {tree.root()}, .hashThreads = 2};
                const auto plain = scanWithCache({}, req);
                const auto cached = scanWithCache(cache, req);
                // The walk's order of one folder's entries may differ from run to run.
                EXPECT_EQ(normalized(cached.groups), normalized(plain.groups));
                EXPECT_EQ(codeArgs(cached.reports), codeArgs(plain.reports));
                auto hashedCached = hashedPaths(cached.reports);
                auto hashedPlain = hashedPaths(plain.reports);
                std::sort(hashedCached.begin(), hashedCached.end());
                std::sort(hashedPlain.begin(), hashedPlain.end());
                EXPECT_EQ(hashedCached, hashedPlain);
            }
        }
    }
    // The file and its folder are the user's alone; the content modes filled it.
    struct stat st {};
    ASSERT_EQ(::stat(cache.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(home.path("pelidor").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    Db db(cache);
    EXPECT_GE(db.number("SELECT count(*) FROM fingerprints"), 10);
}

TEST(FingerprintCache, RememberedFingerprintsAreUsedAndEveryChangeIsSeen) {
    // The cache is told a lie: "b" is said to hold the content of "a". A scan that
    // believes it groups them, which shows the lookup is used; each change of "b" below
    // must make the scan read it again.
    struct Case {
        const char* name;
        void (*change)(const TempTree&);
    };
    const Case cases[] = {
        {"nothing changed", [](const TempTree&) {}},
        {"content rewritten in place, modification time set back",
         [](const TempTree& t) {
             struct stat before {};
             ASSERT_EQ(::stat(t.path("b").c_str(), &before), 0);
             const std::string other = seededContent(5000, 3);
             const int fd = ::open(t.path("b").c_str(), O_WRONLY);
             ASSERT_GE(fd, 0);
             ASSERT_EQ(::pwrite(fd, other.data(), other.size(), 0),
                       static_cast<ssize_t>(other.size()));
             ::close(fd);
             const timespec times[2] = {before.st_atim, before.st_mtim};
             ASSERT_EQ(::utimensat(AT_FDCWD, t.path("b").c_str(), times, 0), 0);
         }},
        {"replaced by another file of the same size and times",
         [](const TempTree& t) {
             struct stat before {};
             ASSERT_EQ(::stat(t.path("b").c_str(), &before), 0);
             t.writeSized("b.new", 5000, 3);
             const timespec times[2] = {before.st_atim, before.st_mtim};
             ASSERT_EQ(::utimensat(AT_FDCWD, t.path("b.new").c_str(), times, 0), 0);
             fs::rename(t.path("b.new"), t.path("b"));
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        tree.writeSized("a", 5000, 1);
        tree.writeSized("b", 5000, 2);
        settle();
        TempTree home;
        const std::string cache = home.path("fingerprints.sqlite");
        const ScanRequest req{.mode = dtMd5, .paths = {tree.root()}, .verifyDigests = false};
        EXPECT_TRUE(scanWithCache(cache, req).groups.empty());
        {
            Db db(cache);
            ASSERT_EQ(db.exec("UPDATE fingerprints SET full = (SELECT full FROM fingerprints"
                              " WHERE inode = " +
                              std::to_string(inodeOf(tree.path("a"))) +
                              ") WHERE inode = " + std::to_string(inodeOf(tree.path("b")))),
                      SQLITE_OK);
        }
        c.change(tree);
        const auto out = scanWithCache(cache, req);
        if (std::string(c.name) == "nothing changed")
            EXPECT_EQ(relative(out.groups, tree.root()), (Groups{{"a", "b"}}));
        else
            EXPECT_TRUE(out.groups.empty());
    }
}

TEST(FingerprintCache, RememberedSamplesSpareTheReadAndAChangeIsSeen) {
    // Two large files of one size whose samples differ are ruled out without a full
    // read; their samples are kept. The cache is then told that "b" has the sample of
    // "a": a scan that believes it reads both in full (their fingerprints appear), which
    // shows the samples are used; when "b" changed meanwhile, its sample is read again
    // and nothing is read in full. The result is the same every time.
    for (const bool changed : {false, true}) {
        SCOPED_TRACE(changed ? "b changed" : "b unchanged");
        TempTree tree;
        tree.writeSized("a", 65536, 1);
        tree.writeSized("b", 65536, 2);
        settle();
        TempTree home;
        const std::string cache = home.path("fingerprints.sqlite");
        const ScanRequest req{.mode = dtMd5, .paths = {tree.root()}};
        EXPECT_TRUE(scanWithCache(cache, req).groups.empty());
        const std::string a = std::to_string(inodeOf(tree.path("a")));
        const std::string b = std::to_string(inodeOf(tree.path("b")));
        {
            Db db(cache);
            EXPECT_EQ(db.number("SELECT count(*) FROM fingerprints WHERE sample IS NOT NULL"
                                " AND full IS NULL"),
                      2);
            ASSERT_EQ(db.exec("UPDATE fingerprints SET sample = (SELECT sample FROM fingerprints"
                              " WHERE inode = " +
                              a + ") WHERE inode = " + b),
                      SQLITE_OK);
        }
        if (changed) {
            struct stat before {};
            ASSERT_EQ(::stat(tree.path("b").c_str(), &before), 0);
            const std::string other = seededContent(65536, 3);
            const int fd = ::open(tree.path("b").c_str(), O_WRONLY);
            ASSERT_GE(fd, 0);
            ASSERT_EQ(::pwrite(fd, other.data(), other.size(), 0),
                      static_cast<ssize_t>(other.size()));
            ::close(fd);
            const timespec times[2] = {before.st_atim, before.st_mtim};
            ASSERT_EQ(::utimensat(AT_FDCWD, tree.path("b").c_str(), times, 0), 0);
            settle();
        }
        EXPECT_TRUE(scanWithCache(cache, req).groups.empty());
        Db db(cache);
        EXPECT_EQ(db.number("SELECT count(*) FROM fingerprints WHERE full IS NOT NULL"),
                  changed ? 0 : 2);
    }
}

TEST(FingerprintCache, ACacheOfTheFirstFormatIsKeptAndGainsSamples) {
    TempTree home;
    const std::string cache = home.path("fingerprints.sqlite");
    {
        Db db(cache);
        ASSERT_EQ(db.exec("CREATE TABLE fingerprints(device INTEGER NOT NULL,"
                          " inode INTEGER NOT NULL, size INTEGER NOT NULL,"
                          " mtime INTEGER NOT NULL, ctime INTEGER NOT NULL, full BLOB,"
                          " part BLOB, seen INTEGER NOT NULL, PRIMARY KEY(device, inode))"
                          " WITHOUT ROWID;"
                          "CREATE TABLE state(name TEXT PRIMARY KEY, value INTEGER) WITHOUT ROWID;"
                          "INSERT INTO fingerprints VALUES(1, 2, 3, 4, 5,"
                          " x'00112233445566778899AABBCCDDEEFF', NULL, 99999);"
                          "PRAGMA user_version = 1"),
                  SQLITE_OK);
    }
    auto c = FingerprintCache::open(cache);
    ASSERT_NE(c, nullptr);
    std::vector<FingerprintCache::Entry> out;
    c->lookup({{1, 2, 3, 4, 5}}, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].full, "00112233445566778899AABBCCDDEEFF");
    c.reset();
    Db db(cache);
    EXPECT_EQ(db.number("PRAGMA user_version"), 2);
    EXPECT_EQ(db.number("SELECT count(sample) FROM fingerprints"), 0);
}

// Cache files a scan must pass over without a change of its result.
TEST(FingerprintCache, UnusableCacheNeverChangesTheResult) {
    struct Case {
        const char* name;
        void (*spoil)(const std::string& cache);
        bool setAside; // the file is moved to .damaged and a new one takes its place
    };
    const Case cases[] = {
        {"not a database",
         [](const std::string& p) { std::ofstream(p, std::ios::trunc) << std::string(5000, 'x'); },
         true},
        {"database header destroyed",
         [](const std::string& p) {
             Db(p).exec("PRAGMA wal_checkpoint(TRUNCATE)");
             const int fd = ::open(p.c_str(), O_WRONLY);
             ASSERT_GE(fd, 0);
             ASSERT_EQ(::pwrite(fd, "garbage!garbage!", 16, 0), 16);
             ::close(fd);
         },
         true},
        {"pages destroyed",
         [](const std::string& p) {
             Db(p).exec("PRAGMA wal_checkpoint(TRUNCATE)");
             const int fd = ::open(p.c_str(), O_WRONLY);
             ASSERT_GE(fd, 0);
             const std::string junk(4096, '\xA5');
             for (off_t at = 4096; at < 4 * 4096; at += 4096)
                 ASSERT_EQ(::pwrite(fd, junk.data(), junk.size(), at), 4096);
             ::close(fd);
         },
         true},
        {"another table of the same name",
         [](const std::string& p) {
             Db db(p);
             db.exec("DROP TABLE fingerprints");
             db.exec("CREATE TABLE fingerprints(x)");
         },
         true},
        {"from a newer version",
         [](const std::string& p) { Db(p).exec("PRAGMA user_version = 99"); }, false},
    };
    TempTree tree;
    fillTree(tree);
    settle();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree home;
        const std::string cache = home.path("fingerprints.sqlite");
        const ScanRequest req{.mode = dtMd5, .paths = {tree.root()}, .hashThreads = 2};
        const auto plain = scanWithCache({}, req);
        ASSERT_FALSE(plain.groups.empty());
        scanWithCache(cache, req);
        c.spoil(cache);
        for (TDuplicateType mode : {dtMd5, dtMd5Part}) {
            ScanRequest r = req;
            r.mode = mode;
            EXPECT_EQ(normalized(scanWithCache(cache, r).groups),
                      normalized(scanWithCache({}, r).groups));
        }
        EXPECT_EQ(pathExists(cache + ".damaged"), c.setAside);
        if (c.setAside) {
            Db db(cache);
            EXPECT_GT(db.number("SELECT count(*) FROM fingerprints"), 0);
        } else {
            EXPECT_EQ(Db(cache).number("PRAGMA user_version"), 99);
        }
    }
}

TEST(FingerprintCache, LockedCacheNeverChangesTheResult) {
    TempTree tree;
    fillTree(tree);
    settle();
    const ScanRequest req{.mode = dtMd5, .paths = {tree.root()}};
    const auto plain = scanWithCache({}, req);
    for (const char* lock : {"BEGIN IMMEDIATE", "BEGIN EXCLUSIVE"}) {
        SCOPED_TRACE(lock);
        TempTree home;
        const std::string cache = home.path("fingerprints.sqlite");
        // A cache in the older journal mode, held by another program: no one else may
        // even read it until that program is done.
        {
            Db db(cache);
            ASSERT_EQ(db.exec("PRAGMA journal_mode=DELETE"), SQLITE_OK);
        }
        Db holder(cache);
        ASSERT_EQ(holder.exec(lock), SQLITE_OK);
        ASSERT_EQ(holder.exec("CREATE TABLE IF NOT EXISTS held(x)"), SQLITE_OK);
        EXPECT_EQ(normalized(scanWithCache(cache, req).groups), normalized(plain.groups));
        ASSERT_EQ(holder.exec("COMMIT"), SQLITE_OK);
        // Released, it works again.
        EXPECT_EQ(normalized(scanWithCache(cache, req).groups), normalized(plain.groups));
        EXPECT_GT(holder.number("SELECT count(*) FROM fingerprints"), 0);
    }
}

TEST(FingerprintCache, CacheInUseByAnotherWriterIsWaitedForOrPassedOver) {
    // A write-ahead-log cache with an open write transaction elsewhere: lookups go on,
    // the new fingerprints are dropped.
    TempTree tree;
    fillTree(tree);
    settle();
    TempTree home;
    const std::string cache = home.path("fingerprints.sqlite");
    const ScanRequest req{.mode = dtMd5Part, .paths = {tree.root()}};
    const auto plain = scanWithCache({}, req);
    scanWithCache(cache, {.mode = dtMd5, .paths = {tree.root()}});
    Db holder(cache);
    ASSERT_EQ(holder.exec("BEGIN IMMEDIATE"), SQLITE_OK);
    ASSERT_EQ(holder.exec("DELETE FROM fingerprints WHERE size > 50000"), SQLITE_OK);
    EXPECT_EQ(normalized(scanWithCache(cache, req).groups), normalized(plain.groups));
    ASSERT_EQ(holder.exec("ROLLBACK"), SQLITE_OK);
    EXPECT_EQ(normalized(scanWithCache(cache, req).groups), normalized(plain.groups));
}

TEST(FingerprintCache, ReadOnlyCacheIsReadAndNeverChangesTheResult) {
    TempTree tree;
    fillTree(tree);
    settle();
    tree.writeSized("late/a", 3000, 77);
    TempTree home;
    const std::string cache = home.path("c/fingerprints.sqlite");
    const ScanRequest req{.mode = dtMd5, .paths = {tree.root()}};
    const auto plain = scanWithCache({}, req);
    scanWithCache(cache, req);
    tree.writeSized("late/b", 3000, 77); // a new group the cache knows half of
    const auto expected = normalized(scanWithCache({}, req).groups);
    EXPECT_NE(expected, normalized(plain.groups));
    Db(cache).exec("PRAGMA wal_checkpoint(TRUNCATE)");
    giveToUnprivileged(tree.root());
    // The cache stays root's: the unprivileged scan may read it but not write to it.
    ASSERT_EQ(::chmod(home.root().c_str(), 0755), 0);
    ASSERT_EQ(::chmod(home.path("c").c_str(), 0755), 0);
    ASSERT_EQ(::chmod(cache.c_str(), 0644), 0);
    runUnprivileged([&] {
        EXPECT_EQ(normalized(scanWithCache(cache, req).groups), expected);
        const ScanRequest part{.mode = dtMd5Part, .paths = {tree.root()}};
        EXPECT_EQ(normalized(scanWithCache(cache, part).groups),
                  normalized(scanWithCache({}, part).groups));
        // A cache in a folder this user cannot write to is not made at all.
        const std::string none = home.path("c/other.sqlite");
        EXPECT_EQ(normalized(scanWithCache(none, req).groups), expected);
        EXPECT_FALSE(pathExists(none));
    });
}

TEST(FingerprintCache, FullDiskNeverChangesTheResult) {
    TempTree tree;
    for (int i = 0; i < 300; ++i)
        tree.writeSized("f/" + std::to_string(i), 2000 + i % 150, static_cast<uint32_t>(i % 150));
    const ScanRequest req{.mode = dtMd5, .paths = {tree.root()}};
    const auto plain = scanWithCache({}, req);
    ASSERT_EQ(plain.groups.size(), 150u);
    for (rlim_t room : {rlim_t{0}, rlim_t{4096}, rlim_t{12288}}) {
        SCOPED_TRACE(room);
        TempTree home;
        const std::string cache = home.path("fingerprints.sqlite");
        {
            FileSizeLimit limit(room);
            EXPECT_EQ(normalized(scanWithCache(cache, req).groups), normalized(plain.groups));
        }
        // With room again, the cache (as far as it got) still works.
        EXPECT_EQ(normalized(scanWithCache(cache, req).groups), normalized(plain.groups));
        EXPECT_EQ(normalized(scanWithCache(cache, req).groups), normalized(plain.groups));
    }
}

TEST(FingerprintCache, TwoScansAtOnceBothFinishWithTheSameResult) {
    TempTree tree;
    for (int i = 0; i < 400; ++i)
        tree.writeSized("f/" + std::to_string(i), 1000 + i % 100, static_cast<uint32_t>(i % 100));
    settle();
    TempTree home;
    const std::string cache = home.path("fingerprints.sqlite");
    const auto plain = scanWithCache({}, {.mode = dtMd5, .paths = {tree.root()}});
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        TSearchHolper one, two;
        one.SetFingerprintCache(cache);
        two.SetFingerprintCache(cache);
        RecordingReceiver r1, r2;
        const Strings paths{tree.root()};
        ASSERT_EQ(one.FindDuplicateFiles(&r1, dtMd5, &paths, nullptr, nullptr, nullptr, 0, -1), 0u);
        ASSERT_EQ(two.FindDuplicateFiles(&r2, dtMd5Part, &paths, nullptr, nullptr, nullptr, 0, -1),
                  0u);
        ASSERT_TRUE(r1.waitFinished());
        ASSERT_TRUE(r2.waitFinished());
        one.WaitForWorker();
        two.WaitForWorker();
        EXPECT_EQ(normalized(groupPaths(*one.DuplicateResult())), normalized(plain.groups));
        EXPECT_EQ(normalized(groupPaths(*two.DuplicateResult())), normalized(plain.groups));
    }
    EXPECT_EQ(Db(cache).number("SELECT count(*) FROM fingerprints"), 400);
}

TEST(FingerprintCache, OldEntriesAreDroppedAndTheFileStaysBounded) {
    TempTree home;
    const std::string cache = home.path("fingerprints.sqlite");
    const std::string md5 = "0123456789ABCDEF0123456789ABCDEF";
    std::vector<std::pair<FingerprintCache::Key, FingerprintCache::Entry>> batch;
    for (uint64_t i = 1; i <= 100; ++i)
        batch.push_back({{1, i, 10, 20, 30}, {md5, {}}});
    {
        auto c = FingerprintCache::open(cache);
        ASSERT_NE(c, nullptr);
        c->store(batch);
    }
    {
        // Half of them last seen 100 days ago, and no pruning yet today.
        Db db(cache);
        const int64_t today = static_cast<int64_t>(::time(nullptr)) / 86400;
        ASSERT_EQ(db.exec("UPDATE fingerprints SET seen = " + std::to_string(today - 100) +
                          " WHERE inode <= 50"),
                  SQLITE_OK);
        ASSERT_EQ(db.exec("UPDATE state SET value = 0"), SQLITE_OK);
    }
    {
        auto c = FingerprintCache::open(cache);
        ASSERT_NE(c, nullptr);
        std::vector<FingerprintCache::Entry> out;
        c->lookup({{1, 10, 10, 20, 30}, {1, 60, 10, 20, 30}, {1, 60, 10, 20, 31}}, out);
        ASSERT_EQ(out.size(), 3u);
        EXPECT_EQ(out[0].full, "");
        EXPECT_EQ(out[1].full, md5);
        EXPECT_EQ(out[1].partial, "");
        EXPECT_EQ(out[2].full, ""); // another status-change time
    }
    // A size limit far below what is stored: the oldest rows make room, the file stays
    // under the limit, the newest rows are there.
    const int64_t limit = 256 * 1024;
    auto c = FingerprintCache::open(cache, limit);
    ASSERT_NE(c, nullptr);
    for (uint64_t round = 0; round < 40; ++round) {
        batch.clear();
        for (uint64_t i = 0; i < 500; ++i)
            batch.push_back({{2, round * 1000 + i, 10, 20, 30}, {md5, md5}});
        c->store(batch);
        ASSERT_TRUE(c->writable()) << round;
    }
    std::vector<FingerprintCache::Entry> out;
    c->lookup({{2, 39 * 1000 + 499, 10, 20, 30}}, out);
    EXPECT_EQ(out[0].partial, md5);
    c.reset();
    EXPECT_LE(static_cast<int64_t>(fs::file_size(cache)), limit);
}

TEST(Fingerprints, ReadsInFlightNeverChangeTheResultOrTheReports) {
    // One read at a time or many: the same groups, code 4 for every record in list order.
    TempTree tree;
    fillTree(tree);
    settle();
    for (int i = 0; i < 40; ++i)
        tree.writeSized("n/" + std::to_string(i), 40000, static_cast<uint32_t>(i % 4));
    for (TDuplicateType mode : {dtMd5, dtMd5Part}) {
        std::optional<Groups> first;
        for (unsigned depth : {1u, 2u, 16u, 64u}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(mode) << " depth " << depth);
            TSearchHolper holder;
            holder.SetReadDepth(depth);
            RecordingReceiver receiver;
            const auto out =
                runScan(holder, {.mode = mode, .paths = {tree.root()}, .hashThreads = 1}, receiver);
            // Code 4 names every record of code 3's count once.
            const Strings hashed = hashedPaths(out.reports);
            EXPECT_EQ(std::set<std::string>(hashed.begin(), hashed.end()).size(), hashed.size());
            const auto start = std::find_if(out.reports.begin(), out.reports.end(),
                                            [](const auto& r) { return r.code == spHashStart; });
            ASSERT_NE(start, out.reports.end());
            EXPECT_EQ(static_cast<int64_t>(hashed.size()), start->arg);
            if (!first)
                first = normalized(out.groups);
            else
                EXPECT_EQ(normalized(out.groups), *first);
        }
    }
}

TEST(FingerprintCache, LookupsFindEveryStoredRowAndNothingElse) {
    // Few keys are searched one by one, many in one pass over the table, and a table read
    // ahead into memory answers from there; every way gives the same answers, for files
    // listed twice (hard links) and for device and inode numbers above 2^63 too.
    TempTree home;
    auto c = FingerprintCache::open(home.path("fingerprints.sqlite"));
    ASSERT_NE(c, nullptr);
    const auto hex = [](uint64_t n) {
        char text[33];
        std::snprintf(text, sizeof text, "%016llX%016llX", static_cast<unsigned long long>(n),
                      static_cast<unsigned long long>(~n));
        return std::string(text);
    };
    const uint64_t high = uint64_t{1} << 63;
    std::vector<std::pair<FingerprintCache::Key, FingerprintCache::Entry>> batch;
    for (uint64_t i = 0; i < 600; ++i) {
        const uint64_t device = i % 3 == 0 ? high + 5 : 7;
        batch.push_back({{device, (i % 2 ? high : 0) + i * 2, static_cast<int64_t>(i), 1, 2},
                         {hex(i), i % 5 == 0 ? hex(i + 1) : std::string()}});
    }
    c->store(batch);
    ASSERT_TRUE(c->writable());
    std::vector<FingerprintCache::Key> keys;
    std::vector<FingerprintCache::Entry> expected;
    for (uint64_t i = 0; i < 600; ++i) {
        keys.push_back(batch[i].first);
        expected.push_back(batch[i].second);
        if (i % 7 == 0) { // the same file again, and a file next to it that is not stored
            keys.push_back(batch[i].first);
            expected.push_back(batch[i].second);
            FingerprintCache::Key other = batch[i].first;
            ++other.inode;
            keys.push_back(other);
            expected.push_back({});
        }
        if (i % 11 == 0) { // the same file with another size
            FingerprintCache::Key changed = batch[i].first;
            ++changed.size;
            keys.push_back(changed);
            expected.push_back({});
        }
    }
    std::vector<FingerprintCache::Entry> many;
    c->lookup(keys, many);
    ASSERT_EQ(many.size(), keys.size());
    for (size_t start = 0; start < keys.size(); start += 97) {
        const std::vector<FingerprintCache::Key> few(keys.begin() + start,
                                                     keys.begin() + start + 1);
        std::vector<FingerprintCache::Entry> one;
        c->lookup(few, one);
        ASSERT_EQ(one.size(), 1u);
        EXPECT_EQ(one[0].full, expected[start].full) << start;
        EXPECT_EQ(one[0].partial, expected[start].partial) << start;
    }
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(many[i].full, expected[i].full) << i;
        EXPECT_EQ(many[i].partial, expected[i].partial) << i;
    }
    // Read ahead: too large for the limit, nothing is read; within it, the next lookup
    // (and only the next one) is answered from memory.
    EXPECT_FALSE(c->preload(1024));
    ASSERT_TRUE(c->preload(int64_t{64} << 20));
    std::vector<FingerprintCache::Entry> ahead;
    c->lookup(keys, ahead);
    ASSERT_EQ(ahead.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(ahead[i].full, expected[i].full) << i;
        EXPECT_EQ(ahead[i].partial, expected[i].partial) << i;
    }
    c->lookup(keys, many);
    EXPECT_EQ(many.size(), keys.size());
    EXPECT_EQ(many[1].full, expected[1].full);
}

TEST(FingerprintCache, ClearEmptiesTheCache) {
    TempTree tree;
    fillTree(tree);
    settle();
    TempTree home;
    const std::string cache = home.path("fingerprints.sqlite");
    scanWithCache(cache, {.mode = dtMd5, .paths = {tree.root()}});
    ASSERT_GT(Db(cache).number("SELECT count(*) FROM fingerprints"), 0);
    EXPECT_TRUE(FingerprintCache::clear(cache));
    EXPECT_EQ(Db(cache).number("SELECT count(*) FROM fingerprints"), 0);
    // A damaged file goes; a missing one is empty already.
    std::ofstream(cache, std::ios::trunc) << "not a database";
    EXPECT_TRUE(FingerprintCache::clear(cache));
    EXPECT_FALSE(pathExists(cache));
    EXPECT_TRUE(FingerprintCache::clear(cache));
}

} // namespace
} // namespace pelidor::test
