// The search controller and the progress protocol: codes, arguments and their order
// for whole runs and stopped runs, refused starts, and the result's life.
#include <condition_variable>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <system_error>
#include <thread>

#include "tests/engine/ScanHelpers.h"

namespace pelidor::test {
namespace {

std::vector<CodeArg> C(std::initializer_list<CodeArg> list) {
    return list;
}

Strings sortedRelative(Strings paths, const std::string& root) {
    Groups g = relative({std::move(paths)}, root);
    std::sort(g[0].begin(), g[0].end());
    return g[0];
}

// Folder root with two sub-folders of two files each; three files of 10 bytes, two of
// them equal and equally named.
Strings twoSubFolders(const TempTree& t) {
    t.writeSized("s1/same.txt", 10, 1);
    t.writeSized("s1/x.bin", 10, 2);
    t.writeSized("s2/same.txt", 10, 1);
    t.writeSized("s2/y.bin", 30, 3);
    return {t.root()};
}

struct ProtocolCase {
    const char* name;
    Strings (*build)(const TempTree&);
    TDuplicateType mode;
    std::vector<CodeArg> codes;
    Groups groups;  // relative, normalized
    Strings hashed; // relative, sorted
};

TEST(Protocol, CompleteRunsReportEveryCodeInOrder) {
    const ProtocolCase cases[] = {
        {"two sub-folders, dtFileName",
         twoSubFolders,
         dtFileName,
         C({{9, 0}, {1, 0}, {8, 2}, {8, 4}, {8, 4}, {2, 3}, {6, 0}, {7, 1}, {10, 0}}),
         {{"s1/same.txt", "s2/same.txt"}},
         {}},
        {"two sub-folders, dtDataSize",
         twoSubFolders,
         dtDataSize,
         C({{9, 0}, {1, 0}, {8, 2}, {8, 4}, {8, 4}, {2, 3}, {6, 0}, {7, 1}, {10, 0}}),
         {{"s1/same.txt", "s1/x.bin", "s2/same.txt"}},
         {}},
        {"two sub-folders, dtMd5",
         twoSubFolders,
         dtMd5,
         C({{9, 0},
            {1, 0},
            {8, 2},
            {8, 4},
            {8, 4},
            {2, 3},
            {3, 3},
            {4, 0},
            {4, 0},
            {4, 0},
            {5, 0},
            {6, 0},
            {7, 1},
            {10, 0}}),
         {{"s1/same.txt", "s2/same.txt"}},
         {"s1/same.txt", "s1/x.bin", "s2/same.txt"}},
        {"two sub-folders, dtMd5Part",
         twoSubFolders,
         dtMd5Part,
         C({{9, 0},
            {1, 0},
            {8, 2},
            {8, 4},
            {8, 4},
            {2, 3},
            {3, 3},
            {4, 0},
            {4, 0},
            {4, 0},
            {5, 0},
            {6, 0},
            {7, 1},
            {10, 0}}),
         {{"s1/same.txt", "s2/same.txt"}},
         {"s1/same.txt", "s1/x.bin", "s2/same.txt"}},
        {"empty folder list, dtMd5",
         [](const TempTree&) { return Strings{}; },
         dtMd5,
         C({{9, 0}, {1, 0}, {2, 0}, {3, 0}, {5, 0}, {6, 0}, {7, 0}, {10, 0}}),
         {},
         {}},
        {"empty folder list, dtFileName",
         [](const TempTree&) { return Strings{}; },
         dtFileName,
         C({{9, 0}, {1, 0}, {2, 0}, {6, 0}, {7, 0}, {10, 0}}),
         {},
         {}},
        {"missing start folder: listed as failed",
         [](const TempTree& t) { return Strings{t.path("missing")}; },
         dtDataSize,
         C({{9, 0}, {1, 0}, {8, 0}, {2, 0}, {6, 0}, {7, 0}, {10, 0}}),
         {},
         {}},
        {"start path is a file",
         [](const TempTree& t) { return Strings{t.writeSized("file", 10, 1)}; },
         dtDataSize,
         C({{9, 0}, {1, 0}, {8, 0}, {2, 0}, {6, 0}, {7, 0}, {10, 0}}),
         {},
         {}},
        {"a single file",
         [](const TempTree& t) {
             t.writeSized("only", 10, 1);
             return Strings{t.root()};
         },
         dtMd5Part,
         C({{9, 0}, {1, 0}, {8, 1}, {2, 0}, {3, 0}, {5, 0}, {6, 0}, {7, 0}, {10, 0}}),
         {},
         {}},
        {"sizes 10, 10, 10, 20",
         [](const TempTree& t) {
             t.writeSized("a", 10, 1);
             t.writeSized("b", 10, 2);
             t.writeSized("c", 10, 3);
             t.writeSized("d", 20, 4);
             return Strings{t.root()};
         },
         dtDataSize,
         C({{9, 0}, {1, 0}, {8, 4}, {2, 3}, {6, 0}, {7, 1}, {10, 0}}),
         {{"a", "b", "c"}},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempTree tree;
        const auto out = runScan({.mode = c.mode, .paths = c.build(tree)});
        ASSERT_TRUE(out.finished);
        EXPECT_EQ(codeArgs(out.reports), c.codes);
        EXPECT_EQ(normalized(relative(out.groups, tree.root())), c.groups);
        EXPECT_EQ(sortedRelative(hashedPaths(out.reports), tree.root()), c.hashed);
    }
}

TEST(Protocol, NullReceiverRunsSilently) {
    TempTree tree;
    twoSubFolders(tree);
    TSearchHolper holder;
    const Strings paths{tree.root()};
    ASSERT_EQ(holder.FindDuplicateFiles(nullptr, dtMd5, &paths, nullptr, nullptr, nullptr, 0, -1),
              0u);
    holder.WaitForWorker();
    EXPECT_FALSE(holder.IsSearching());
    ASSERT_NE(holder.DuplicateResult(), nullptr);
    expectWellFormed(*holder.DuplicateResult(), dtMd5, true);
    EXPECT_EQ(relative(groupPaths(*holder.DuplicateResult()), tree.root()),
              (Groups{{"s1/same.txt", "s2/same.txt"}}));
}

// Common tree of the stop cases: A holds x, y (equal, 10 bytes) and z (20 bytes);
// B holds u, v (equal to x). The walk starts from A, then B.
Strings stopTree(const TempTree& t, int64_t size = 10) {
    t.writeSized("A/x", size, 1);
    t.writeSized("A/y", size, 1);
    t.writeSized("A/z", 2 * size, 2);
    t.writeSized("B/u", size, 1);
    t.writeSized("B/v", size, 1);
    return {t.path("B"), t.path("A")};
}

// A stop at every report of a run, with one fingerprint thread and with two (a second
// thread also takes file status calls and folder listings off the walk).
TEST(Protocol, StopAtEachStageEndsTheRightPasses) {
    struct Case {
        const char* name;
        int code; // Stop() is called on the nth report of this code
        int nth;
        TDuplicateType mode;
        std::vector<CodeArg> codes;
        Groups groups;              // relative, normalized
        bool groupOfHashed = false; // instead: one group of the files that were hashed
        int64_t size = 10;          // of the equal files in the tree
    };
    const auto beforeWalk = C({{9, 0}, {1, 0}, {6, 0}, {7, 0}, {10, 0}});
    const auto beforeWalkHashed = C({{9, 0}, {1, 0}, {3, 0}, {5, 0}, {6, 0}, {7, 0}, {10, 0}});
    const auto oneHashed =
        C({{9, 0}, {1, 0}, {8, 3}, {8, 5}, {2, 4}, {3, 4}, {4, 0}, {6, 0}, {7, 0}, {10, 0}});
    const auto twoHashed = C(
        {{9, 0}, {1, 0}, {8, 3}, {8, 5}, {2, 4}, {3, 4}, {4, 0}, {4, 0}, {6, 0}, {7, 0}, {10, 0}});
    const auto completeHashed = C({{9, 0},
                                   {1, 0},
                                   {8, 3},
                                   {8, 5},
                                   {2, 4},
                                   {3, 4},
                                   {4, 0},
                                   {4, 0},
                                   {4, 0},
                                   {4, 0},
                                   {5, 0},
                                   {6, 0},
                                   {7, 1},
                                   {10, 0}});
    const auto completeBySize =
        C({{9, 0}, {1, 0}, {8, 3}, {8, 5}, {2, 4}, {6, 0}, {7, 1}, {10, 0}});
    const Groups allFour{{"A/x", "A/y", "B/u", "B/v"}};
    const Case cases[] = {
        {"at the start, dtDataSize", 9, 1, dtDataSize, beforeWalk, {}},
        {"at the start, dtMd5", 9, 1, dtMd5, beforeWalkHashed, {}},
        {"before the walk, dtFileName", 1, 1, dtFileName, beforeWalk, {}},
        {"before the walk, dtDataSize", 1, 1, dtDataSize, beforeWalk, {}},
        {"before the walk, dtMd5", 1, 1, dtMd5, beforeWalkHashed, {}},
        {"before the walk, dtMd5Part", 1, 1, dtMd5Part, beforeWalkHashed, {}},
        // The first folder done: the second start folder is never entered, the size
        // pre-pass is skipped and grouping works on what was collected.
        {"during the walk, dtDataSize",
         8,
         1,
         dtDataSize,
         C({{9, 0}, {1, 0}, {8, 3}, {6, 0}, {7, 1}, {10, 0}}),
         {{"A/x", "A/y"}}},
        {"during the walk, dtMd5",
         8,
         1,
         dtMd5,
         C({{9, 0}, {1, 0}, {8, 3}, {3, 3}, {4, 0}, {6, 0}, {7, 0}, {10, 0}}),
         {}},
        // A pass that begins after a stop still reports its first file, but gives it up
        // before its first block: it keeps an empty fingerprint.
        {"after the size pre-pass, dtMd5", 2, 1, dtMd5, oneHashed, {}},
        {"after the size pre-pass, dtMd5Part", 2, 1, dtMd5Part, oneHashed, {}},
        {"at the start of the pass, dtMd5", 3, 1, dtMd5, oneHashed, {}},
        {"at the first file, dtMd5", 4, 1, dtMd5, oneHashed, {}},
        {"at the first file, dtMd5Part", 4, 1, dtMd5Part, oneHashed, {}},
        // The file in hand is given up between two blocks (here before its first): it
        // keeps an empty fingerprint and joins no group; no later file is started.
        {"at the second file, dtMd5", 4, 2, dtMd5, twoHashed, {}},
        {"at the second file, dtMd5Part", 4, 2, dtMd5Part, twoHashed, {}},
        // Large files, which the whole-file pass may sample ahead of time.
        {"at the start of the pass, large files", 3, 1, dtMd5, oneHashed, {}, false, 40000},
        {"at the second file, large files", 4, 2, dtMd5, twoHashed, {}, false, 40000},
        // Stops after the last stop test change nothing.
        {"after the fingerprint pass", 5, 1, dtMd5, completeHashed, allFour},
        {"at the grouping pass", 6, 1, dtDataSize, completeBySize, allFour},
        {"at the grouping pass, dtMd5", 6, 1, dtMd5, completeHashed, allFour},
        {"after the grouping pass", 7, 1, dtMd5, completeHashed, allFour},
        {"at the end", 10, 1, dtDataSize, completeBySize, allFour},
    };
    for (unsigned threads : {1u, 2u}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", threads " + std::to_string(threads));
            TempTree tree;
            TSearchHolper holder;
            HookReceiver receiver(c.code, c.nth, [&](const ProgressReport&) { holder.Stop(); });
            const auto out = runScan(
                holder, {.mode = c.mode, .paths = stopTree(tree, c.size), .hashThreads = threads},
                receiver);
            ASSERT_TRUE(out.finished);
            EXPECT_EQ(codeArgs(out.reports), c.codes);
            Groups expected = c.groups;
            if (c.groupOfHashed)
                expected = {hashedPaths(out.reports)};
            EXPECT_EQ(normalized(relative(out.groups, tree.root())),
                      normalized(relative(expected, tree.root())));
        }
    }
}

TEST(Protocol, StoppedWalkFinishesTheListingsItIsIn) {
    // P lists its own two files and two sub-folders in whatever order the file system
    // gives; after the first sub-folder is done, the other one is not entered, but P's
    // own files are still collected and P still reports.
    TempTree tree;
    tree.writeSized("P/p1", 10, 1);
    tree.writeSized("P/p2", 10, 1);
    tree.writeSized("P/Q/q", 10, 1);
    tree.writeSized("P/R/r", 10, 1);
    for (unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(threads);
        TSearchHolper holder;
        HookReceiver receiver(spFolderDone, 1, [&](const ProgressReport&) { holder.Stop(); });
        const auto out =
            runScan(holder, {.mode = dtDataSize, .paths = {tree.path("P")}, .hashThreads = threads},
                    receiver);
        ASSERT_TRUE(out.finished);
        const auto codes = codeArgs(out.reports);
        ASSERT_EQ(codes.size(), 7u) << ::testing::PrintToString(codes);
        EXPECT_EQ(codes[2].code, 8);
        EXPECT_GE(codes[2].arg, 1);
        EXPECT_LE(codes[2].arg, 3);
        EXPECT_EQ(codes[3], (CodeArg{8, 3}));
        EXPECT_EQ((std::vector<CodeArg>{codes[0], codes[1], codes[4], codes[5], codes[6]}),
                  C({{9, 0}, {1, 0}, {6, 0}, {7, 1}, {10, 0}}));
        ASSERT_EQ(out.groups.size(), 1u);
        const Strings group = sortedRelative(out.groups[0], tree.root());
        EXPECT_TRUE(group == (Strings{"P/Q/q", "P/p1", "P/p2"}) ||
                    group == (Strings{"P/R/r", "P/p1", "P/p2"}))
            << ::testing::PrintToString(group);
    }
}

TEST(Protocol, StopAtAnyFolderOfAWideTree) {
    // Folders with sub-folders and many files, so that the second thread lists folders
    // ahead of the walk and takes status calls when the stop comes. Whenever it comes,
    // the walk ends cleanly: the folders it is in report, the size pre-pass is skipped,
    // the fingerprint pass hashes its first file only, and the groups hold files that
    // were collected.
    TempTree tree;
    for (int a = 0; a < 4; ++a)
        for (int b = 0; b < 3; ++b)
            for (int f = 0; f < 6; ++f)
                tree.writeSized("w" + std::to_string(a) + "/s" + std::to_string(b) + "/f" +
                                    std::to_string(f),
                                10 + f, static_cast<uint32_t>(f));
    for (unsigned threads : {1u, 2u}) {
        for (TDuplicateType mode : {dtDataSize, dtMd5}) {
            for (int nth : {1, 2, 4, 7, 11, 16}) {
                SCOPED_TRACE("threads " + std::to_string(threads) + ", mode " +
                             std::to_string(static_cast<int>(mode)) + ", stop at folder " +
                             std::to_string(nth));
                TSearchHolper holder;
                HookReceiver receiver(spFolderDone, nth,
                                      [&](const ProgressReport&) { holder.Stop(); });
                const auto out =
                    runScan(holder, {.mode = mode, .paths = {tree.root()}, .hashThreads = threads},
                            receiver);
                ASSERT_TRUE(out.finished);
                const auto codes = codeArgs(out.reports);
                ASSERT_GE(codes.size(), 5u);
                EXPECT_EQ(codes[0], (CodeArg{9, 0}));
                EXPECT_EQ(codes[1], (CodeArg{1, 0}));
                size_t i = 2;
                int64_t collected = 0;
                int folders = 0;
                for (; i < codes.size() && codes[i].code == spFolderDone; ++i, ++folders) {
                    EXPECT_GE(codes[i].arg, collected);
                    collected = codes[i].arg;
                }
                EXPECT_GE(folders, nth);
                // Only the folders the walk is in (at most two above the stop) report.
                EXPECT_LE(folders, nth + 2) << "the walk went on after the stop";
                std::vector<CodeArg> rest(codes.begin() + static_cast<long>(i), codes.end());
                ASSERT_GE(rest.size(), 3u);
                if (mode == dtMd5) {
                    EXPECT_EQ(rest.front(), (CodeArg{3, collected}));
                    EXPECT_EQ(countCode(out.reports, spHashFile), collected > 0 ? 1 : 0);
                    EXPECT_EQ(countCode(out.reports, spHashDone), 0);
                }
                EXPECT_EQ(countCode(out.reports, spSizePass), 0);
                EXPECT_EQ(rest[rest.size() - 3], (CodeArg{6, 0}));
                EXPECT_EQ(rest[rest.size() - 2].code, 7);
                EXPECT_EQ(rest.back(), (CodeArg{10, 0}));
                size_t grouped = 0;
                for (const auto& g : out.groups)
                    grouped += g.size();
                EXPECT_LE(static_cast<int64_t>(grouped), collected);
            }
        }
    }
}

TEST(Controller, StopWithoutScanDoesNotReachTheNextScan) {
    TempTree tree;
    const Strings paths = stopTree(tree);
    TSearchHolper holder;
    holder.Stop();
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        RecordingReceiver receiver;
        const auto out = runScan(holder, {.mode = dtDataSize, .paths = paths}, receiver);
        EXPECT_EQ(normalized(relative(out.groups, tree.root())),
                  (Groups{{"A/x", "A/y", "B/u", "B/v"}}));
        holder.Stop(); // after the run has ended
    }
}

// Holds the worker inside its first report until released (or a minute has passed).
class GateReceiver : public RecordingReceiver {
public:
    void SearchProgress(int code, int64_t arg, std::string path) noexcept override {
        if (code == spStarted) {
            std::unique_lock lock(m_);
            entered_ = true;
            cv_.notify_all();
            cv_.wait_for(lock, std::chrono::seconds(60), [&] { return open_; });
        }
        RecordingReceiver::SearchProgress(code, arg, std::move(path));
    }
    bool waitEntered() {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, std::chrono::seconds(60), [&] { return entered_; });
    }
    void open() {
        std::lock_guard lock(m_);
        open_ = true;
        cv_.notify_all();
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool entered_ = false;
    bool open_ = false;
};

TEST(Controller, SecondStartWhileRunningIsRefusedAndChangesNothing) {
    TempTree tree;
    tree.writeSized("one/a", 10, 1);
    tree.writeSized("one/b", 10, 1);
    tree.writeSized("two/c", 20, 1);
    tree.writeSized("two/d", 20, 1);

    TSearchHolper holder;
    EXPECT_EQ(holder.DuplicateResult(), nullptr);
    EXPECT_FALSE(holder.IsSearching());

    GateReceiver first;
    auto paths = std::make_unique<Strings>(Strings{tree.path("one")});
    auto include = std::make_unique<Strings>(Strings{"*"});
    auto excludeNames = std::make_unique<Strings>(Strings{"nothing"});
    holder.SetHashThreads(1);
    ASSERT_EQ(holder.FindDuplicateFiles(&first, dtMd5, paths.get(), include.get(), nullptr,
                                        excludeNames.get(), 0, -1),
              0u);
    ASSERT_TRUE(first.waitEntered());
    // The worker copied the lists: the caller may change and free its own.
    (*paths)[0] = tree.path("two");
    paths.reset();
    include.reset();
    excludeNames.reset();

    EXPECT_TRUE(holder.IsSearching());
    RecordingReceiver second;
    const Strings otherPaths{tree.path("two")};
    EXPECT_EQ(holder.FindDuplicateFiles(&second, dtDataSize, &otherPaths, nullptr, nullptr, nullptr,
                                        0, -1),
              1u);
    holder.Stop(); // reaches the running scan only
    holder.Stop();
    first.open();
    ASSERT_TRUE(first.waitFinished());
    holder.WaitForWorker();
    EXPECT_FALSE(holder.IsSearching());
    EXPECT_TRUE(second.reports().empty());
    // The running scan was stopped before the walk; the refused call started nothing.
    EXPECT_EQ(codeArgs(first.reports()),
              C({{9, 0}, {1, 0}, {3, 0}, {5, 0}, {6, 0}, {7, 0}, {10, 0}}));
    ASSERT_NE(holder.DuplicateResult(), nullptr);
    EXPECT_TRUE(holder.DuplicateResult()->empty());

    // Once the worker has ended, the next start is accepted and sees its own lists.
    RecordingReceiver third;
    const auto out = runScan(holder, {.mode = dtMd5, .paths = {tree.path("one")}}, third);
    EXPECT_EQ(relative(out.groups, tree.root()), (Groups{{"one/a", "one/b"}}));
}

TEST(Controller, ThreadCountChangedDuringAScanAppliesToTheNextScan) {
    // The caller may set the thread count at any time; a running scan keeps the count
    // it started with and still finds every group.
    TempTree tree;
    for (int d = 0; d < 6; ++d)
        for (int f = 0; f < 8; ++f)
            tree.writeSized("d" + std::to_string(d) + "/f" + std::to_string(f), 100 + f,
                            static_cast<uint32_t>(f));
    TSearchHolper holder;
    for (unsigned threads : {1u, 2u}) {
        SCOPED_TRACE(threads);
        holder.SetHashThreads(threads);
        RecordingReceiver receiver;
        const Strings paths{tree.root()};
        ASSERT_EQ(
            holder.FindDuplicateFiles(&receiver, dtMd5, &paths, nullptr, nullptr, nullptr, 0, -1),
            0u);
        for (unsigned i = 0; holder.IsSearching(); ++i)
            holder.SetHashThreads(i % 3);
        ASSERT_TRUE(receiver.waitFinished());
        holder.WaitForWorker();
        ASSERT_NE(holder.DuplicateResult(), nullptr);
        expectWellFormed(*holder.DuplicateResult(), dtMd5, true);
        EXPECT_EQ(holder.DuplicateResult()->size(), 8u);
    }
}

TEST(Controller, NextScanClearsTheResultInPlace) {
    TempTree tree;
    tree.writeSized("full/a", 10, 1);
    tree.writeSized("full/b", 10, 1);
    tree.mkdir("empty");
    TSearchHolper holder;

    RecordingReceiver r1;
    runScan(holder, {.mode = dtFileName, .paths = {tree.path("full")}}, r1);
    ASSERT_NE(holder.DuplicateResult(), nullptr);
    EXPECT_TRUE(holder.DuplicateResult()->empty()); // different names
    const TDuplicateResult* list = holder.DuplicateResult();

    RecordingReceiver r2;
    runScan(holder, {.mode = dtDataSize, .paths = {tree.path("full")}}, r2);
    EXPECT_EQ(holder.DuplicateResult(), list);
    EXPECT_EQ(holder.DuplicateResult()->size(), 1u);

    RecordingReceiver r3;
    runScan(holder, {.mode = dtMd5, .paths = {tree.path("empty")}}, r3);
    EXPECT_EQ(holder.DuplicateResult(), list);
    EXPECT_TRUE(holder.DuplicateResult()->empty());
}

#if !defined(_WIN32)
// Makes the system refuse every new thread of this process while it lives: the default
// stack of a new thread becomes larger than the address space (pthread_create fails with
// EAGAIN, std::thread throws). The old default comes back at the end.
class ThreadsRefused {
public:
    ThreadsRefused() {
        ok_ = ::pthread_getattr_default_np(&saved_) == 0;
        pthread_attr_t huge;
        ::pthread_attr_init(&huge);
        ::pthread_attr_setstacksize(&huge, size_t{1} << 50);
        ok_ = ok_ && ::pthread_setattr_default_np(&huge) == 0;
        ::pthread_attr_destroy(&huge);
    }
    ~ThreadsRefused() { restore(); }
    ThreadsRefused(const ThreadsRefused&) = delete;
    ThreadsRefused& operator=(const ThreadsRefused&) = delete;
    bool ok() const { return ok_; }
    void restore() {
        if (restored_)
            return;
        restored_ = true;
        ::pthread_setattr_default_np(&saved_);
        ::pthread_attr_destroy(&saved_);
    }
    // True when a thread can be made now.
    static bool threadStarts() {
        try {
            std::thread([] {}).join();
            return true;
        } catch (const std::system_error&) {
            return false;
        }
    }

private:
    pthread_attr_t saved_{};
    bool ok_ = false;
    bool restored_ = false;
};

// A worker the system refuses to create ends the scan at once (codes 9 and 10, an empty
// result), and the controller takes the next scan, which runs normally.
TEST(Controller, WorkerThatCannotBeCreatedEndsTheScanEmpty) {
    TempTree tree;
    const Strings paths = twoSubFolders(tree);
    TSearchHolper holder;
    {
        ThreadsRefused refused;
        ASSERT_TRUE(refused.ok());
        if (ThreadsRefused::threadStarts())
            GTEST_SKIP() << "threads with an oversized stack still start here";
        RecordingReceiver receiver;
        const auto out = runScan(holder, {.mode = dtFileName, .paths = paths}, receiver);
        ASSERT_TRUE(out.finished);
        EXPECT_EQ(codeArgs(out.reports), C({{9, 0}, {10, 0}}));
        EXPECT_TRUE(out.groups.empty());
        EXPECT_FALSE(holder.IsSearching());
        EXPECT_TRUE(holder.StartFailed());
    }
    RecordingReceiver receiver;
    const auto out = runScan(holder, {.mode = dtFileName, .paths = paths}, receiver);
    EXPECT_EQ(normalized(relative(out.groups, tree.root())),
              (Groups{{"s1/same.txt", "s2/same.txt"}}));
    EXPECT_FALSE(holder.StartFailed());
}

// Helper threads the system refuses (the walk's status helper, the fingerprint threads,
// the second sorting thread) leave their work to the worker: the scan's outcome is the
// one of a scan that got them. The refusal starts inside the run, at code 1.
TEST(Controller, HelperThreadsThatCannotBeCreatedLeaveTheirShare) {
    TempTree tree;
    const Strings paths = twoSubFolders(tree);
    tree.writeSized("s3/same.txt", 10, 1);
    tree.writeSized("s3/big1.bin", 100000, 7);
    tree.writeSized("s3/big2.bin", 100000, 7);
    for (const TDuplicateType mode : {dtMd5, dtMd5Part, dtFileName}) {
        SCOPED_TRACE(static_cast<int>(mode));
        std::unique_ptr<ThreadsRefused> refused;
        TSearchHolper holder;
        HookReceiver receiver(spCollect, 1, [&](const ProgressReport&) {
            refused = std::make_unique<ThreadsRefused>();
        });
        const auto out =
            runScan(holder, {.mode = mode, .paths = paths, .hashThreads = 4}, receiver);
        ASSERT_NE(refused, nullptr);
        EXPECT_TRUE(refused->ok());
        refused.reset();
        ASSERT_TRUE(out.finished);
        Groups expected{{"s1/same.txt", "s2/same.txt", "s3/same.txt"}};
        if (mode != dtFileName)
            expected.push_back({"s3/big1.bin", "s3/big2.bin"});
        EXPECT_EQ(normalized(relative(out.groups, tree.root())), normalized(expected));
    }
}
#endif // !_WIN32

} // namespace
} // namespace pelidor::test
