// The scan workflow through the real window: a search in each comparison mode over a
// real tree, the states and the summary, stopping a search while files are collected,
// closing the window during a search, the empty result, and the commands of the
// operations panel on the listed rows.
#include "tests/main/test_main_window_support.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <unistd.h>

using namespace pelidor;
using namespace pelidor::main_window_test;
using Groups = std::vector<std::set<std::string>>;

namespace {

class ScanTest : public MainWindowTest {
protected:
    // Pairs and triples that the four modes tell apart.
    void writeModeTree() {
        data.writeSized("a/same.txt", 100, 1); // same name and size, other content
        data.writeSized("b/same.txt", 100, 2);
        data.writeSized("a/dup1.bin", 3000, 3); // same content
        data.writeSized("b/dup2.bin", 3000, 3);
        std::string big = test::seededContent(20000, 4); // same head and tail only
        data.write("a/big1.bin", big);
        big[10000] = char(big[10000] ^ 0x5A);
        data.write("b/big2.bin", big);
        data.write("a/empty1", "");
        data.write("b/empty2", "");
        data.write("c/empty1", "");
        data.writeSized("c/unique.dat", 777, 5);
    }

    void expectResultsState() {
        EXPECT_EQ(window->State(), TfrmQdxMain::TMainState::Results);
        EXPECT_TRUE(window->btnScan->isVisible());
        EXPECT_FALSE(window->btnCancel->isVisible());
        EXPECT_TRUE(window->lblcaption->isVisible());
        EXPECT_TRUE(window->edPath->isVisible());
        EXPECT_TRUE(window->cbbMode->isVisible());
        EXPECT_FALSE(window->g1->isVisible());
        EXPECT_FALSE(window->lblinfo->isVisible());
        EXPECT_FALSE(window->tmrInfo->isActive());
        EXPECT_EQ(window->ani1->state(), TOrlaAnimation::Complete);
        EXPECT_FALSE(window->btnDel->isEnabled());
    }

    static QString summary(int groups, int files, int seconds) {
        return QStringLiteral("Search finished. Duplicate groups: %1, files: %2, time: %3 s")
            .arg(groups)
            .arg(files)
            .arg(seconds);
    }
};

TEST_F(ScanTest, EachModeListsItsGroupsWithBandsAndSummary) {
    writeModeTree();
    AppConfig.includePath = {data.root()};
    AppConfig.GroupColor1 = 0x112233;
    AppConfig.GroupColor2 = 0x445566;
    open();
    EXPECT_EQ(window->State(), TfrmQdxMain::TMainState::Idle);
    EXPECT_FALSE(window->pnlOp->isVisible());
    EXPECT_EQ(window->edPath->text(), QString::fromStdString(data.root() + ";"));
    // 1999 ms from code 9 to code 10: whole seconds, rounded down.
    uint32_t tick = 5000;
    window->TickCount = [&tick] {
        const uint32_t now = tick;
        tick += 1999;
        return now;
    };

    const struct {
        int mode;
        int64_t minSize, maxSize;
        Groups expected;
    } cases[] = {
        // Same name and size; no size window with the stored defaults, so the empty
        // files with equal names count too.
        {0, -1, -1, {{"a/empty1", "c/empty1"}, {"a/same.txt", "b/same.txt"}}},
        // Partial fingerprint: a lower bound of 0 becomes 1, so no empty files.
        {1, 0, -1, {{"a/dup1.bin", "b/dup2.bin"}, {"a/big1.bin", "b/big2.bin"}}},
        {2, -1, -1, {{"a/dup1.bin", "b/dup2.bin"}}},
        // Empty files, whatever the stored bounds say.
        {3, 5, 10, {{"a/empty1", "b/empty2", "c/empty1"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("mode " + std::to_string(c.mode));
        window->cbbMode->setCurrentIndex(c.mode);
        EXPECT_EQ(AppConfig.CompareMode, c.mode);
        AppConfig.MinSize = c.minSize;
        AppConfig.MaxSize = c.maxSize;
        ASSERT_TRUE(scan());

        EXPECT_EQ(groups(), c.expected);
        int files = 0;
        // The space beyond one copy per group (the largest one stays).
        std::map<int, std::pair<int64_t, int64_t>> sizes;
        for (int i = 0; i < window->model->RowCount(); ++i) {
            const TFileRow* r = window->model->Row(i);
            auto& g = sizes[r->GroupNo];
            g.first += r->FileInfo->FileSize;
            g.second = std::max(g.second, r->FileInfo->FileSize);
        }
        int64_t extra = 0;
        for (const auto& [group, s] : sizes)
            extra += s.first - s.second;
        for (const Row& r : rows()) {
            EXPECT_EQ(r.band, r.group % 2 == 0 ? 0x112233u : 0x445566u) << r.path;
            EXPECT_FALSE(r.checked);
            ++files;
        }
        EXPECT_EQ(window->GroupCount(), int(c.expected.size()));
        EXPECT_EQ(window->lblcaption->text(),
                  summary(int(c.expected.size()), files, 1) +
                      QStringLiteral(". Space taken by the extra copies: ") +
                      FormatFileSize(extra) + u'.');
        expectResultsState();
        EXPECT_TRUE(window->pnlOp->isVisible());
    }
}

TEST_F(ScanTest, NothingFoundShowsAnEmptyListAndNoOperations) {
    data.writeSized("x/one", 10, 1);
    data.writeSized("y/two", 20, 2);
    AppConfig.includePath = {data.root()};
    AppConfig.CompareMode = 2;
    open();
    ASSERT_TRUE(scan());
    EXPECT_EQ(window->model->RowCount(), 0);
    EXPECT_EQ(window->lblcaption->text(), summary(0, 0, 0));
    expectResultsState();
    EXPECT_FALSE(window->pnlOp->isVisible());

    // The commands of an empty list change nothing; keep-one does not open its menu.
    window->btnSelInsteadClick(1);
    window->btnSelInsteadClick(0);
    EXPECT_FALSE(window->pmKeepOne->isVisible());
    EXPECT_FALSE(window->btnDel->isEnabled());
}

TEST_F(ScanTest, StopWhileCollectingShowsWhatWasFound) {
    // Stopped after the first folder: the other one is never entered, so one group of
    // two empty files instead of one group of four.
    data.write("P/Q/e1", "");
    data.write("P/Q/e2", "");
    data.write("P/R/e3", "");
    data.write("P/R/e4", "");
    AppConfig.includePath = {data.path("P")};
    AppConfig.CompareMode = 3;
    open();

    std::promise<void> cancelled;
    std::shared_future<void> released = cancelled.get_future().share();
    std::atomic<bool> held{false};
    window->SearchProgressTap = [&](int code, int64_t) {
        if (code == spFolderDone && !held.exchange(true))
            released.wait_for(std::chrono::seconds(20)); // the worker waits for Stop
    };
    QSignalSpy ended(window.get(), &TfrmQdxMain::SearchEnded);
    QTest::mouseClick(window->btnScan, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return window->btnCancel->isVisible(); }));
    EXPECT_EQ(window->State(), TfrmQdxMain::TMainState::Searching);
    EXPECT_FALSE(window->btnScan->isVisible());
    EXPECT_TRUE(window->g1->isVisible());
    EXPECT_TRUE(window->lblinfo->isVisible());
    EXPECT_FALSE(window->edPath->isVisible());
    EXPECT_TRUE(window->tmrInfo->isActive());
    EXPECT_EQ(window->ani1->state(), TOrlaAnimation::Running);
    ASSERT_TRUE(waitUntil([&] { return held.load(); }));
    QTest::mouseClick(window->btnCancel, Qt::LeftButton);
    cancelled.set_value();
    ASSERT_TRUE(ended.count() > 0 || ended.wait(30000));

    const Groups found = groups();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0] == (std::set<std::string>{"P/Q/e1", "P/Q/e2"}) ||
                found[0] == (std::set<std::string>{"P/R/e3", "P/R/e4"}))
        << *found[0].begin();
    expectResultsState();
    EXPECT_TRUE(window->pnlOp->isVisible());
    EXPECT_TRUE(window->lblcaption->text().startsWith(
        QStringLiteral("Search finished. Duplicate groups: 1, files: 2, time: ")));

    // The next search runs to the end.
    window->SearchProgressTap = nullptr;
    ASSERT_TRUE(scan());
    EXPECT_EQ(groups(), (Groups{{"P/Q/e1", "P/Q/e2", "P/R/e3", "P/R/e4"}}));
}

TEST_F(ScanTest, ClosingDuringASearchStopsAndJoinsTheWorker) {
    for (int i = 0; i < 40; ++i)
        data.writeSized("d" + std::to_string(i % 4) + "/f" + std::to_string(i), 5000, i % 10);
    AppConfig.includePath = {data.root()};
    AppConfig.CompareMode = 2;
    open();

    std::atomic<bool> closing{false}, finished{false};
    window->SearchProgressTap = [&](int code, int64_t) {
        // The worker is held at the start of the collection until the window closes,
        // and a little longer, so that it is still running when the window goes.
        if (code == spCollect) {
            for (int i = 0; !closing && i < 2000; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        if (code == spFinished)
            finished = true;
    };
    QTest::mouseClick(window->btnScan, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return window->State() == TfrmQdxMain::TMainState::Searching; }));
    ASSERT_FALSE(finished.load());
    closing = true;
    window.reset(); // while the worker still collects
    EXPECT_TRUE(finished.load());
    EXPECT_FALSE(GetSearchHolper().IsSearching());
    // Reports still queued for the closed window go with it.
    QTest::qWait(50);
    QCoreApplication::processEvents();

    // The settings were stored on the way out.
    LoadAppConfig();
    EXPECT_EQ(AppConfig.CompareMode, 2);
    EXPECT_GT(AppConfig.header0, 0);
}

// Closing while a file of 400 GB (sparse) is being fingerprinted returns at once: the
// stop gives the file up between two blocks instead of hashing it to its end, which
// takes a quarter of an hour or more on any machine (the test's time limit fails that).
TEST_F(ScanTest, ClosingWhileALargeFileIsFingerprintedReturnsAtOnce) {
    constexpr int64_t kLarge = int64_t{400} << 30;
    for (const char* name : {"big1.img", "big2.img"}) {
        const std::string path = data.write(name, "");
        if (::truncate(path.c_str(), kLarge) != 0)
            GTEST_SKIP() << "no sparse file of 400 GB here";
    }
    AppConfig.includePath = {data.root()};
    AppConfig.CompareMode = 2;
    open();
    std::atomic<bool> hashing{false}, finished{false};
    window->SearchProgressTap = [&](int code, int64_t) {
        if (code == spHashFile)
            hashing = true;
        if (code == spFinished)
            finished = true;
    };
    QTest::mouseClick(window->btnScan, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return hashing.load(); }, 60000));
    window.reset(); // stops the search and waits for its worker
    EXPECT_TRUE(finished.load());
    EXPECT_FALSE(GetSearchHolper().IsSearching());
}

// The bar of the content modes counts bytes: with many small files and two large ones
// (listed last, by size), it stays far from full while the large ones are read, never
// fills before the last bytes are done, and the text says how many bytes of how many.
// In the partial mode the bytes are those read: head and tail of the large files.
TEST_F(ScanTest, ProgressCountsTheBytesToFingerprint) {
    constexpr int kSmall = 60;
    constexpr int64_t kSmallSize = 1000;
    constexpr int64_t kLarge = 8 << 20;
    for (int i = 0; i < kSmall; ++i)
        data.writeSized("small/s" + std::to_string(i), kSmallSize, 100 + i % 7);
    data.writeSized("large/one.bin", kLarge, 9);
    data.writeSized("large/two.bin", kLarge, 9);
    AppConfig.includePath = {data.root()};
    AppConfig.RememberFingerprints = false;
    open();

    const struct {
        int mode;
        int64_t largeBytes; // bytes read of each large file
    } cases[] = {{2, kLarge}, {1, 2048}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        window->cbbMode->setCurrentIndex(c.mode);
        const int64_t total = kSmall * kSmallSize + 2 * c.largeBytes;

        // The worker waits before it reports the end of the pass until the window has
        // shown the state after the last file began.
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        struct Release {
            std::promise<void>& p;
            bool done = false;
            void operator()() {
                if (!done)
                    p.set_value();
                done = true;
            }
            ~Release() { (*this)(); }
        } letGo{release};
        std::atomic<bool> hashEnded{false};
        window->SearchProgressTap = [&, released](int code, int64_t) {
            if (code == spHashDone) {
                hashEnded = true;
                released.wait();
            }
        };
        // Every tick of the progress timer: the bar is never full before the last bytes.
        struct Tick {
            int value, maximum;
            int64_t done;
        };
        std::vector<Tick> ticks;
        QMetaObject::Connection sample = QObject::connect(window->tmrInfo, &QTimer::timeout, [&] {
            if (window->FingerprintedCount() > 0)
                ticks.push_back(
                    {window->g1->value(), window->g1->maximum(), window->FingerprintedBytes()});
        });
        QSignalSpy ended(window.get(), &TfrmQdxMain::SearchEnded);
        QTest::mouseClick(window->btnScan, Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] {
            return hashEnded && window->FingerprintedCount() == kSmall + 2 && !ticks.empty() &&
                   ticks.back().done == window->FingerprintedBytes();
        }));
        const int shownAtLast = window->g1->value();
        const QString text = window->lblinfo->text();
        letGo();
        ASSERT_TRUE(ended.count() > 0 || ended.wait(60000));
        QObject::disconnect(sample);
        window->SearchProgressTap = nullptr;

        EXPECT_EQ(window->BytesToFingerprint(), total);
        // The last file has begun: everything before it is counted, not the file itself.
        const int64_t before = total - c.largeBytes;
        EXPECT_EQ(window->g1->maximum(), TfrmQdxMain::kByteScale);
        EXPECT_EQ(shownAtLast, int(before * TfrmQdxMain::kByteScale / total));
        EXPECT_TRUE(text.startsWith(FormatFileSize(before) + QStringLiteral(" of ") +
                                    FormatFileSize(total)))
            << text.toStdString();
        EXPECT_TRUE(text.contains(QStringLiteral("Comparing: ")));
        ASSERT_FALSE(ticks.empty());
        for (const Tick& t : ticks) {
            EXPECT_EQ(t.maximum, TfrmQdxMain::kByteScale);
            if (t.done < total) {
                EXPECT_LT(t.value, t.maximum) << t.done;
            }
        }
        if (c.mode == 2) {
            // Counting files would show 61 of 62 done here.
            EXPECT_LT(shownAtLast, TfrmQdxMain::kByteScale * 6 / 10);
        }
        EXPECT_EQ(groups().size(), 8u);
    }
}

TEST_F(ScanTest, OperationsPanelTicksRowsAndKeepsOnePerGroup) {
    data.writeSized("a/same.txt", 100, 1);
    data.writeSized("b/same.txt", 100, 2);
    data.write("a/empty1", "");
    data.write("c/empty1", "");
    data.setMTime("a/same.txt", 1000000000);
    data.setMTime("b/same.txt", 1500000000);
    data.setMTime("a/empty1", 1600000000);
    data.setMTime("c/empty1", 1600000000); // equal times: the first row is kept
    AppConfig.includePath = {data.root()};
    AppConfig.CompareMode = 0;
    open();
    ASSERT_TRUE(scan());
    ASSERT_EQ(groups(), (Groups{{"a/empty1", "c/empty1"}, {"a/same.txt", "b/same.txt"}}));
    TResultsModel& m = *window->model;

    // A tick by the user enables Delete, taking it away disables it again.
    const QModelIndex first = m.index(0, 0);
    ASSERT_TRUE(m.setData(first, Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(window->btnDel->isEnabled());
    ASSERT_TRUE(m.setData(first, Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_FALSE(window->btnDel->isEnabled());

    QTest::mouseClick(window->btnSelAll, Qt::LeftButton);
    EXPECT_EQ(window->CheckedCount(), 4);
    EXPECT_TRUE(window->btnDel->isEnabled());
    QTest::mouseClick(window->btnInvertSelection, Qt::LeftButton);
    EXPECT_EQ(window->CheckedCount(), 0);
    EXPECT_FALSE(window->btnDel->isEnabled());

    // The keep-one menu opens upward, directly above the bottom panel.
    QTest::mouseClick(window->btnKeepOne, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return window->pmKeepOne->isVisible(); }, 5000));
    const QRect menu = window->pmKeepOne->geometry();
    const QPoint panel = window->wspnl4->mapToGlobal(QPoint(0, 0));
    EXPECT_EQ(menu.left(), panel.x());
    EXPECT_EQ(menu.bottom() + 1, panel.y());
    const QList<QAction*> entries = window->pmKeepOne->actions();
    ASSERT_EQ(entries.size(), 7);
    const char* const captions[] = {
        "Keep the Newest by Creation Time",
        "Keep the Oldest by Creation Time",
        "",
        "Keep the Newest by Modification Time",
        "Keep the Oldest by Modification Time",
        "",
        "Keep the Copies in Reference Folders, Else the Newest Modified"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(OrlaMenuTag(entries[i]), i + 1);
        EXPECT_EQ(entries[i]->isSeparator(), i == 2 || i == 5);
        if (!entries[i]->isSeparator()) {
            EXPECT_EQ(entries[i]->text(), QLatin1String(captions[i]));
        }
    }
    entries[3]->trigger(); // newest modified
    window->pmKeepOne->hide();
    // In the group of equal times the first listed row stays unticked.
    const std::vector<Row> listed = rows();
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed[0].path.substr(2), "empty1");
    EXPECT_FALSE(listed[0].checked);
    EXPECT_TRUE(listed[1].checked);
    for (int i = 2; i < 4; ++i)
        EXPECT_EQ(listed[i].checked, listed[i].path == "a/same.txt") << listed[i].path;
    EXPECT_TRUE(window->btnDel->isEnabled());

    // A new search empties the list at once; the commands then act on nothing.
    window->SearchProgressTap = nullptr;
    ASSERT_TRUE(scan());
    EXPECT_EQ(window->CheckedCount(), 0);
    EXPECT_FALSE(window->btnDel->isEnabled());
}

} // namespace
