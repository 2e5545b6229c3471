// Sorting the results list from its header on a real scan: every column in both
// directions, the header's clicks and menu, the default order coming back, and the
// commands that act on rows (ticks, Keep One, deletion, the row menu's delete) acting
// on the same files after a sort.
#include "tests/main/test_main_window_support.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>

#include <algorithm>
#include <chrono>
#include <filesystem>

using namespace pelidor;
using namespace pelidor::main_window_test;

namespace {

class SortTest : public MainWindowTest {
protected:
    using Groups = std::vector<std::set<std::string>>;

    // Four groups whose files differ in name, folder, size and modification time, so
    // that every column gives another order than the default one.
    void writeTree() {
        const struct {
            const char* path;
            int size;
            int seed;
            int minutes; // modification time after a fixed start
        } files[] = {
            {"x/file10.txt", 300, 1, 50}, {"a/File2.txt", 300, 1, 10},
            {"m/zeta.bin", 50, 2, 5},     {"b/alpha.bin", 50, 2, 70},
            {"c/Beta.dat", 4000, 3, 30},  {"z/gamma.dat", 4000, 3, 20},
            {"k/gamma.dat", 4000, 3, 60}, {"d/omega.log", 1200, 4, 40},
            {"y/Delta.log", 1200, 4, 1},
        };
        const auto start = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
        for (const auto& f : files) {
            data.writeSized(f.path, f.size, f.seed);
            std::filesystem::last_write_time(data.path(f.path),
                                             start + std::chrono::minutes(f.minutes));
        }
    }

    void openAndScan() {
        writeTree();
        AppConfig.includePath = {data.root()};
        AppConfig.CompareMode = 2; // whole content
        AppConfig.RememberFingerprints = false;
        AppConfig.RecycleDelete = false;
        AppConfig.AutoBackup = false;
        open();
        ASSERT_TRUE(scan());
        ASSERT_EQ(window->model->RowCount(), 9);
    }

    // The order of two files by a column of numbers.
    static int compare(int column, const TDuplicateFile& a, const TDuplicateFile& b) {
        switch (column) {
        case colFileSize:
            return (a.FileSize > b.FileSize) - (a.FileSize < b.FileSize);
        case colLastDate:
            return (a.LastTime > b.LastTime) - (a.LastTime < b.LastTime);
        default:
            return (a.CreateTime > b.CreateTime) - (a.CreateTime < b.CreateTime);
        }
    }

    // The listed groups keep their members, the rows of each group are in order, and
    // the groups are in the order of their first rows (columns of numbers).
    void expectSorted(int column, Qt::SortOrder order, const Groups& members) {
        const int sign = order == Qt::AscendingOrder ? 1 : -1;
        const TResultsModel& m = *window->model;
        std::vector<const TDuplicateFile*> firsts;
        for (int i = 0; i < m.RowCount(); ++i) {
            const TFileRow* r = m.Row(i);
            ASSERT_NE(r->FileInfo, nullptr);
            const TFileRow* previous = i > 0 ? m.Row(i - 1) : nullptr;
            if (previous == nullptr || previous->GroupNo != r->GroupNo) {
                firsts.push_back(r->FileInfo);
            } else {
                EXPECT_LE(sign * compare(column, *previous->FileInfo, *r->FileInfo), 0)
                    << "row " << i;
            }
        }
        for (size_t g = 1; g < firsts.size(); ++g)
            EXPECT_LE(sign * compare(column, *firsts[g - 1], *firsts[g]), 0) << "group " << g;
        EXPECT_EQ(sortedSets(groups()), sortedSets(members));
    }

    static Groups sortedSets(Groups g) {
        std::sort(g.begin(), g.end());
        return g;
    }

    // The centre of a column's header section.
    QPoint sectionCentre(int column) const {
        const QHeaderView* h = window->vtFile->header();
        return {h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2};
    }

    void clickHeader(int column) {
        QTest::mouseClick(window->vtFile->header()->viewport(), Qt::LeftButton, Qt::NoModifier,
                          sectionCentre(column));
    }
};

TEST_F(SortTest, EveryColumnSortsInBothDirectionsAndTheDefaultOrderComesBack) {
    openAndScan();
    const std::vector<std::string> initial = listed();
    const Groups members = groups();
    // The default order: groups by size, ascending.
    EXPECT_EQ(members.front(), (std::set<std::string>{"b/alpha.bin", "m/zeta.bin"}));
    // The band colour of each group by its place in the list.
    const auto groupBands = [this] {
        std::vector<uint32_t> out;
        const std::vector<Row> listedRows = rows();
        for (size_t i = 0; i < listedRows.size(); ++i)
            if (i == 0 || listedRows[i].group != listedRows[i - 1].group) {
                out.push_back(listedRows[i].band);
            } else {
                EXPECT_EQ(listedRows[i].band, listedRows[i - 1].band);
            }
        return out;
    };
    const std::vector<uint32_t> bands = groupBands();
    const uint32_t c1 = uint32_t(AppConfig.GroupColor1), c2 = uint32_t(AppConfig.GroupColor2);
    ASSERT_EQ(bands, (std::vector<uint32_t>{c1, c2, c1, c2}));

    // Names and folders without regard to case, numbers in them by value; ties (the two
    // gamma.dat) keep the default order in both directions.
    const struct {
        int column;
        Qt::SortOrder order;
        std::vector<std::string> rows;
    } texts[] = {
        {colFileName,
         Qt::AscendingOrder,
         {"b/alpha.bin", "m/zeta.bin", "c/Beta.dat", "k/gamma.dat", "z/gamma.dat", "y/Delta.log",
          "d/omega.log", "a/File2.txt", "x/file10.txt"}},
        {colFileName,
         Qt::DescendingOrder,
         {"m/zeta.bin", "b/alpha.bin", "d/omega.log", "y/Delta.log", "k/gamma.dat", "z/gamma.dat",
          "c/Beta.dat", "x/file10.txt", "a/File2.txt"}},
        {colFolderName,
         Qt::AscendingOrder,
         {"a/File2.txt", "x/file10.txt", "b/alpha.bin", "m/zeta.bin", "c/Beta.dat", "k/gamma.dat",
          "z/gamma.dat", "d/omega.log", "y/Delta.log"}},
        {colFolderName,
         Qt::DescendingOrder,
         {"z/gamma.dat", "k/gamma.dat", "c/Beta.dat", "y/Delta.log", "d/omega.log", "x/file10.txt",
          "a/File2.txt", "m/zeta.bin", "b/alpha.bin"}},
    };
    for (const auto& t : texts) {
        SCOPED_TRACE(testing::Message() << "column " << t.column << " order " << int(t.order));
        ASSERT_TRUE(window->vtFile->sortBy(t.column, t.order));
        EXPECT_EQ(listed(), t.rows);
        EXPECT_EQ(groupBands(), bands);
    }
    for (int column : {colFileSize, colLastDate, colCreateDate}) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            SCOPED_TRACE(testing::Message() << "column " << column << " order " << int(order));
            ASSERT_TRUE(window->vtFile->sortBy(column, order));
            expectSorted(column, order, members);
            EXPECT_EQ(window->vtFile->header()->sortIndicatorSection(), column);
            EXPECT_EQ(window->vtFile->header()->sortIndicatorOrder(), order);
            // The band colours stay with the places: they still alternate by group.
            EXPECT_EQ(groupBands(), bands);
        }
    }

    // The header's menu restores the default order.
    window->vtFile->openHeaderMenu(window->vtFile->mapToGlobal(QPoint(5, 5)), true);
    QMenu* menu = window->vtFile->headerMenu();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QAction* restore = menu->findChild<QAction*>(QStringLiteral("ppmDefaultOrder"));
    ASSERT_NE(restore, nullptr);
    EXPECT_EQ(restore->text(), QStringLiteral("Default Order (by Size)"));
    EXPECT_EQ(menu->activeAction(), menu->actions().constFirst()); // from the keyboard
    restore->trigger();
    menu->close();
    EXPECT_EQ(listed(), initial);
    EXPECT_EQ(window->model->SortColumn(), -1);
    EXPECT_EQ(window->vtFile->header()->sortIndicatorSection(), -1);
}

TEST_F(SortTest, HeaderClicksSortAscendingThenReverse) {
    openAndScan();
    clickHeader(colFileSize);
    EXPECT_EQ(window->model->SortColumn(), colFileSize);
    EXPECT_EQ(window->model->SortOrder(), Qt::AscendingOrder);
    EXPECT_EQ(groups().front(), (std::set<std::string>{"b/alpha.bin", "m/zeta.bin"}));
    clickHeader(colFileSize);
    EXPECT_EQ(window->model->SortOrder(), Qt::DescendingOrder);
    EXPECT_EQ(groups().front(),
              (std::set<std::string>{"c/Beta.dat", "z/gamma.dat", "k/gamma.dat"}));
    // Another column starts ascending again.
    clickHeader(colLastDate);
    EXPECT_EQ(window->model->SortColumn(), colLastDate);
    EXPECT_EQ(window->model->SortOrder(), Qt::AscendingOrder);
    EXPECT_EQ(listed().front(), "y/Delta.log"); // the oldest file leads its group and the list

    // The same menu opens on a right click on the header and from the keyboard in the list.
    window->vtFile->setFocus();
    QTest::keyClick(window->vtFile, Qt::Key_F10, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window->vtFile->headerMenu()));
    window->vtFile->headerMenu()->close();

    // A new search keeps the chosen order.
    ASSERT_TRUE(scan());
    EXPECT_EQ(window->model->SortColumn(), colLastDate);
    EXPECT_EQ(listed().front(), "y/Delta.log");
}

TEST_F(SortTest, TicksAndDeletionFollowTheFilesAfterASort) {
    openAndScan();
    tick({"x/file10.txt", "z/gamma.dat", "y/Delta.log"});
    window->vtFile->selectionModel()->setCurrentIndex(
        window->model->index(rowOf("k/gamma.dat"), colFileName),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ASSERT_TRUE(window->vtFile->sortBy(colFolderName, Qt::DescendingOrder));
    // The ticks and the selected row went with their files.
    std::vector<std::string> ticked;
    for (const Row& r : rows())
        if (r.checked)
            ticked.push_back(r.path);
    std::sort(ticked.begin(), ticked.end());
    EXPECT_EQ(ticked, (std::vector<std::string>{"x/file10.txt", "y/Delta.log", "z/gamma.dat"}));
    EXPECT_EQ(window->vtFile->selectedRow(), rowOf("k/gamma.dat"));
    EXPECT_EQ(window->lblTicked->text().left(16), QStringLiteral("Ticked: 3 files "));

    // The deletion removes exactly the ticked files, from disk and from the list.
    ModalAnswerer answer([](QWidget* w) { confirmPermanentDeletion(w); });
    QTest::mouseClick(window->btnDel, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !window->DeletionRunning() && answer.count > 0; }));
    for (const char* gone : {"x/file10.txt", "z/gamma.dat", "y/Delta.log"})
        EXPECT_FALSE(std::filesystem::exists(data.path(gone))) << gone;
    for (const char* kept :
         {"a/File2.txt", "m/zeta.bin", "b/alpha.bin", "c/Beta.dat", "k/gamma.dat", "d/omega.log"})
        EXPECT_TRUE(std::filesystem::exists(data.path(kept))) << kept;
    // Groups left with one row leave the list.
    EXPECT_EQ(sortedSets(groups()),
              sortedSets(Groups{{"b/alpha.bin", "m/zeta.bin"}, {"c/Beta.dat", "k/gamma.dat"}}));
    // The rows left keep their places: a deletion does not sort again.
    EXPECT_EQ(listed(),
              (std::vector<std::string>{"k/gamma.dat", "c/Beta.dat", "m/zeta.bin", "b/alpha.bin"}));

    // Keep One after a sort ticks all but one file of each group, by the group's times.
    ASSERT_TRUE(window->vtFile->sortBy(colFileName, Qt::AscendingOrder));
    window->KeepOneItemClick(4); // keep the newest by modification time
    std::vector<std::string> after;
    for (const Row& r : rows())
        if (r.checked)
            after.push_back(r.path);
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, (std::vector<std::string>{"c/Beta.dat", "m/zeta.bin"}));
}

TEST_F(SortTest, TheRowMenuDeletesTheSelectedFileAfterASort) {
    openAndScan();
    ASSERT_TRUE(window->vtFile->sortBy(colLastDate, Qt::DescendingOrder));
    const int row = rowOf("d/omega.log");
    window->vtFile->selectionModel()->setCurrentIndex(window->model->index(row, colFileName),
                                                      QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    // The list is sorted again while the question is open: the row that leaves is still
    // the file's.
    ModalAnswerer answer([this](QWidget* w) {
        window->vtFile->sortBy(colFileName, Qt::DescendingOrder);
        confirmPermanentDeletion(w);
    });
    window->PopupItemClick(5);
    EXPECT_EQ(answer.count, 1);
    EXPECT_EQ(window->model->SortColumn(), colFileName);
    EXPECT_FALSE(std::filesystem::exists(data.path("d/omega.log")));
    EXPECT_TRUE(std::filesystem::exists(data.path("y/Delta.log")));
    EXPECT_EQ(rowOf("d/omega.log"), -1);
    for (const char* listedFile : {"x/file10.txt", "a/File2.txt", "m/zeta.bin", "b/alpha.bin",
                                   "c/Beta.dat", "z/gamma.dat", "k/gamma.dat"})
        EXPECT_GE(rowOf(listedFile), 0) << listedFile;
}

} // namespace
