// The results list model: rows from groups, bands and brackets, cell texts, check marks,
// update brackets with deferred removal, and the selection commands.
#include "test_results_list_support.h"

#include "platform/DateTime.h"

#include <QColor>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

using namespace pelidor;
using namespace pelidor::test;

namespace {

QColor qcolor(uint32_t bgr) {
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

std::vector<int32_t> groupNumbers(const TResultsModel& model) {
    std::vector<int32_t> v;
    for (int i = 0; i < model.RowCount(); ++i)
        v.push_back(model.Row(i)->GroupNo);
    return v;
}

std::vector<QVariant> bands(const TResultsModel& model) {
    std::vector<QVariant> v;
    for (int i = 0; i < model.rowCount(); ++i)
        v.push_back(model.data(model.index(i, 0), Qt::BackgroundRole));
    return v;
}

double dateTime(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
    double v = 0;
    EXPECT_TRUE(platform::encodeDateTime({y, mo, d, h, mi, s, ms}, v));
    return v;
}

} // namespace

TEST(ResultsList, GroupsBecomeRowsWithAlternatingBandsAndBrackets) {
    ResultsFixture f;
    f.groupsOfSizes({2, 3, 2});
    TResultsModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);

    EXPECT_EQ(f.load(model), 7);
    EXPECT_EQ(f.count, 3);
    ASSERT_EQ(model.rowCount(), 7);
    EXPECT_EQ(inserted.count(), 1); // one bracket, one notice
    EXPECT_EQ(groupNumbers(model), (std::vector<int32_t>{0, 0, 1, 1, 1, 2, 2}));
    const QVariant c1 = qcolor(kColor1), c2 = qcolor(kColor2);
    EXPECT_EQ(bands(model), (std::vector<QVariant>{c1, c1, c2, c2, c2, c1, c1}));
    EXPECT_EQ(brackets(model), "FLFMLFL");
    EXPECT_EQ(marks(model), ".......");
    EXPECT_EQ(model.Row(2)->FileInfo, f.result[1][0].get());

    // An empty group still advances the group count.
    TDuplicateResult empty(1);
    EXPECT_EQ(AppendResultGroups(model, empty, f.count, kColor1, kColor2), 0);
    EXPECT_EQ(f.count, 4);
}

TEST(ResultsList, BandsAndBracketsAfterRowsAreRemoved) {
    struct Case {
        const char* what;
        uint32_t color2;
        std::vector<int> removeRows; // removed outside a bracket, highest first
        bool inBracket;
        const char* brackets;
        std::vector<uint32_t> bands;
    };
    const std::vector<Case> cases = {
        {"middle group removed",
         kColor2,
         {4, 3, 2},
         false,
         "FLFL",
         {kColor1, kColor1, kColor1, kColor1}},
        {"middle group removed in one bracket",
         kColor2,
         {2, 3, 4},
         true,
         "FLFL",
         {kColor1, kColor1, kColor1, kColor1}},
        {"equal colours",
         kColor1,
         {},
         false,
         "FLFMLFL",
         {kColor1, kColor1, kColor1, kColor1, kColor1, kColor1, kColor1}},
        {"group left with one row",
         kColor2,
         {4, 3},
         false,
         "FL-FL",
         {kColor1, kColor1, kColor2, kColor1, kColor1}},
        {"black means no band",
         0,
         {},
         false,
         "FLFMLFL",
         {kColor1, kColor1, 0, 0, 0, kColor1, kColor1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResultsFixture f;
        f.groupsOfSizes({2, 3, 2});
        TResultsModel model;
        f.load(model, kColor1, c.color2);
        if (c.inBracket)
            model.BeginUpdate();
        for (const int row : c.removeRows)
            model.RemoveRow(row);
        if (c.inBracket) {
            // Removed rows still hold their index and are skipped as neighbours.
            EXPECT_EQ(brackets(model), "FL---FL");
            model.EndUpdate();
        }
        EXPECT_EQ(brackets(model), c.brackets);
        ASSERT_EQ(model.rowCount(), int(c.bands.size()));
        for (int i = 0; i < model.rowCount(); ++i) {
            const QVariant band = model.data(model.index(i, 3), Qt::BackgroundRole);
            if (c.bands[size_t(i)] == 0)
                EXPECT_FALSE(band.isValid()) << "row " << i;
            else
                EXPECT_EQ(band, QVariant(qcolor(c.bands[size_t(i)]))) << "row " << i;
        }
    }
}

TEST(ResultsList, RowWithoutRecordShowsNothingAndBelongsToNoGroup) {
    ResultsFixture f;
    f.groupsOfSizes({2});
    TResultsModel model;
    f.load(model);
    model.AppendRow({nullptr, 0, kColor1});
    EXPECT_EQ(brackets(model), "FL-");
    for (int col = 0; col < kResultsColumnCount; ++col)
        EXPECT_TRUE(model.CellText(2, col).isEmpty());
    EXPECT_FALSE(model.data(model.index(2, 0), Qt::BackgroundRole).isValid());
    EXPECT_EQ(model.data(model.index(2, 1), Qt::DisplayRole).toString(), QString());
}

TEST(ResultsList, NameAndFolderSplitAtTheLastSeparator) {
    struct Case {
        std::string path;
        QString name;
        QString folder;
    };
    const std::vector<Case> cases = {
        {"/a.txt", "a.txt", "/"},
        {"/home/ann/Pictures/beach 2019.jpg", "beach 2019.jpg", "/home/ann/Pictures/"},
        {"/home/ann/.hidden", ".hidden", "/home/ann/"},
        {"plain", "plain", ""},
        {"/home/ann/Bilder/Straße ü.png", QString::fromUtf8("Straße ü.png"), "/home/ann/Bilder/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(NamePart(c.path), c.name);
        EXPECT_EQ(FolderPart(c.path), c.folder);
    }
}

TEST(ResultsList, InvalidUtf8NamesAreShownWithoutHarm) {
    ResultsFixture f;
    f.group({{std::string("/data/bad\xff\xfe name.txt")},
             {std::string("/data/\xc3(/x\x80.bin")},
             {std::string("\xff")}});
    TResultsModel model;
    f.load(model);
    EXPECT_TRUE(model.CellText(0, colFileName).startsWith(QLatin1String("bad")));
    EXPECT_TRUE(model.CellText(0, colFileName).endsWith(QLatin1String(" name.txt")));
    EXPECT_TRUE(model.CellText(0, colFileName).contains(QChar(0xFFFD)));
    EXPECT_EQ(model.CellText(0, colFolderName), "/data/");
    EXPECT_TRUE(model.CellText(1, colFolderName).startsWith(QLatin1String("/data/")));
    EXPECT_FALSE(model.CellText(2, colFileName).isEmpty());
    EXPECT_TRUE(model.CellText(2, colFolderName).isEmpty());
}

TEST(ResultsList, DateTimeTextFollowsTheLocaleAndDropsMidnight) {
    const double afternoon = dateTime(2024, 3, 5, 14, 7, 9, 400);
    const double midnight = dateTime(2024, 3, 5);
    struct Case {
        const char* locale;
        double value;
        QString text;
    };
    const std::vector<Case> cases = {
        {"en_US", afternoon, "3/5/24 2:07:09 PM"},
        {"en_US", midnight, "3/5/24"},
        {"de_DE", afternoon, "05.03.24 14:07:09"},
        {"es_ES", afternoon, "5/3/24 14:07:09"},   // zone written "(t)"
        {"zh_CN", afternoon, "2024/3/5 14:07:09"}, // zone in front
        {"ja_JP", midnight + 1.0 / 86400, QString::fromUtf8("2024/03/05 0時00分01秒")},
        // A fraction that rounds to the next midnight shows that day alone.
        {"de_DE", midnight - 0.0000000001, "05.03.24"},
        // One millisecond after midnight is not midnight.
        {"de_DE", midnight + 0.001 / 86400, "05.03.24 00:00:00"},
        {"de_DE", dateTime(1899, 12, 30, 6), "30.12.99 06:00:00"},
        {"de_DE", std::nan(""), ""},
        {"de_DE", std::numeric_limits<double>::infinity(), ""},
        {"de_DE", 1e12, ""},
        {"de_DE", -1e9, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " " + std::to_string(c.value));
        EXPECT_EQ(DateTimeText(c.value, QLocale(QString::fromLatin1(c.locale))), c.text);
    }
}

TEST(ResultsList, CellsShowNameFolderSizeAndTimes) {
    ResultsFixture f;
    f.group({{"/srv/photos/a.jpg", dateTime(2023, 1, 2, 3, 4, 5), dateTime(2023, 6, 7), 1023},
             {"/srv/backup/a.jpg", dateTime(2023, 1, 2), dateTime(2023, 6, 7, 8, 9, 10), 1536}});
    TResultsModel model;
    model.setLocale(QLocale(QLocale::English, QLocale::UnitedStates));
    f.load(model);
    EXPECT_EQ(model.data(model.index(0, colFileName)).toString(), "a.jpg");
    EXPECT_EQ(model.data(model.index(0, colFolderName)).toString(), "/srv/photos/");
    EXPECT_EQ(model.data(model.index(0, colFileSize)).toString(), "1,023 Bytes");
    EXPECT_EQ(model.data(model.index(1, colFileSize)).toString(), "1.5 KB");
    EXPECT_EQ(model.data(model.index(0, colLastDate)).toString(), "6/7/23");
    EXPECT_EQ(model.data(model.index(0, colCreateDate)).toString(), "1/2/23 3:04:05 AM");
    EXPECT_EQ(model.data(model.index(1, colLastDate)).toString(), "6/7/23 8:09:10 AM");
    EXPECT_EQ(model.data(model.index(1, colCreateDate)).toString(), "1/2/23");

    model.setColumnCaption(colFolderName, "Pfad");
    EXPECT_EQ(model.headerData(colFolderName, Qt::Horizontal).toString(), "Pfad");
    EXPECT_EQ(model.headerData(colFileName, Qt::Horizontal).toString(), "File Name");
}

TEST(ResultsList, OnlyTheUsersTicksAreReportedAndBulkMarksRepaintOnce) {
    ResultsFixture f;
    f.groupsOfSizes({2, 3});
    TResultsModel model;
    f.load(model);
    QSignalSpy checked(&model, &TResultsModel::rowChecked);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    // The user's tick (through the model interface the view uses).
    EXPECT_TRUE(model.setData(model.index(3, 0), Qt::Checked, Qt::CheckStateRole));
    ASSERT_EQ(checked.count(), 1);
    EXPECT_EQ(checked.at(0).at(0).toInt(), 3);
    EXPECT_EQ(model.data(model.index(3, 0), Qt::CheckStateRole), QVariant(Qt::Checked));
    EXPECT_EQ(model.CheckedCount(), 1);
    // The same value again is no change.
    EXPECT_TRUE(model.setData(model.index(3, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(checked.count(), 1);
    EXPECT_TRUE(model.setData(model.index(3, 0), Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(checked.count(), 2);
    EXPECT_EQ(model.CheckedCount(), 0);
    // Only column 0 holds a box.
    EXPECT_FALSE(model.setData(model.index(3, 2), Qt::Checked, Qt::CheckStateRole));
    EXPECT_FALSE(model.flags(model.index(3, 2)) & Qt::ItemIsUserCheckable);
    EXPECT_TRUE(model.flags(model.index(3, 0)) & Qt::ItemIsUserCheckable);

    // Program marks: no rowChecked; one repaint per row outside a bracket...
    changed.clear();
    model.SetChecked(0, true);
    EXPECT_EQ(changed.count(), 1);
    // ...and one for the whole bracket inside one.
    changed.clear();
    model.BeginUpdate();
    model.SetChecked(1, true);
    model.SetChecked(2, true);
    model.BeginUpdate();
    model.SetChecked(4, true);
    model.EndUpdate();
    EXPECT_EQ(changed.count(), 0);
    model.EndUpdate();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(marks(model), "xxx.x");

    changed.clear();
    SelectAllRows(model);
    InvertRows(model);
    KeepOneRows(model, 1);
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(checked.count(), 2);
}

TEST(ResultsList, RowsRemovedInsideABracketKeepTheirIndexUntilItCloses) {
    ResultsFixture f;
    f.groupsOfSizes({3, 3, 4});
    TResultsModel model;
    f.load(model);
    setMarks(model, "xx.x.xx.x.");
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    const TDuplicateFile* sixth = model.Row(6)->FileInfo;

    model.BeginUpdate();
    for (int row = 0; row < model.RowCount(); ++row) // the deletion's walk
        if (model.IsChecked(row) && row % 2 == 1)
            model.RemoveRow(row); // rows 1, 3, 5
    model.RemoveRow(3);           // twice: nothing more
    model.RemoveRow(-1);
    model.RemoveRow(10);
    model.BeginUpdate();
    model.RemoveRow(8);
    model.EndUpdate();

    EXPECT_EQ(model.RowCount(), 10);
    EXPECT_EQ(model.rowCount(), 10);
    EXPECT_EQ(model.Row(6)->FileInfo, sixth);
    EXPECT_TRUE(model.IsRemoved(1));
    EXPECT_TRUE(model.IsRemoved(8));
    EXPECT_FALSE(model.IsRemoved(2));
    EXPECT_EQ(model.CheckedCount(), 2);
    EXPECT_EQ(model.CheckedRows(), (std::vector<int>{0, 6}));
    EXPECT_EQ(model.RowAfterCompaction(6), 3);
    EXPECT_EQ(model.RowAfterCompaction(3), 2); // a removed row maps to the next kept one
    EXPECT_EQ(model.RowAfterCompaction(10), -1);
    EXPECT_TRUE(model.CellText(1, colFileName).isEmpty());
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(removed.count(), 0);

    // Bulk commands pass over removed rows.
    SelectAllRows(model);
    EXPECT_EQ(model.CheckedCount(), 6);
    model.EndUpdate();

    EXPECT_EQ(reset.count(), 1);
    ASSERT_EQ(model.RowCount(), 6);
    EXPECT_EQ(model.rowCount(), 6);
    EXPECT_EQ(model.Row(3)->FileInfo, sixth);
    EXPECT_EQ(marks(model), "xxxxxx");
    EXPECT_EQ(groupNumbers(model), (std::vector<int32_t>{0, 0, 1, 2, 2, 2}));
    EXPECT_EQ(brackets(model), "FL-FML");
    for (int row = 0; row < model.RowCount(); ++row)
        EXPECT_FALSE(model.IsRemoved(row));

    // Outside a bracket a removal is immediate.
    model.RemoveRow(0);
    EXPECT_EQ(removed.count(), 1);
    EXPECT_EQ(model.RowCount(), 5);
    EXPECT_EQ(brackets(model), "--FML");

    // RemoveRowsIf: one pass, one reset.
    reset.clear();
    model.RemoveRowsIf([](int, const TFileRow& r) { return r.GroupNo == 2; });
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(groupNumbers(model), (std::vector<int32_t>{0, 1}));
}

TEST(ResultsList, ClearAndRefillInsideOneBracket) {
    ResultsFixture first;
    first.groupsOfSizes({2, 2});
    TResultsModel model;
    first.load(model);
    model.SetChecked(1, true);

    ResultsFixture second;
    second.groupsOfSizes({3});
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    model.BeginUpdate();
    model.Clear();
    EXPECT_EQ(model.RowCount(), 0);
    EXPECT_EQ(model.CheckedCount(), 0);
    second.load(model);
    EXPECT_EQ(model.RowAfterCompaction(0), -1);
    model.EndUpdate();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(marks(model), "...");
    EXPECT_EQ(model.Row(0)->FileInfo, second.result[0][0].get());

    model.Clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.Row(0), nullptr);
    EXPECT_EQ(brackets(model), "");
}

TEST(ResultsList, KeepOneKeepsTheChosenFileOfEachGroup) {
    const double d10 = 10.5, d20 = 20.5, d30 = 30.5;
    struct Case {
        const char* what;
        std::vector<std::vector<std::pair<double, double>>> groups; // (created, modified)
        int rule;
        const char* marks;
    };
    const std::vector<Case> cases = {
        {"newest created", {{{d10, 1}, {d30, 1}, {d20, 1}}}, 1, "x.x"},
        {"oldest created", {{{d10, 1}, {d30, 1}, {d20, 1}}}, 2, ".xx"},
        {"newest modified, equal times keep the first", {{{1, d10}, {1, d30}, {1, d30}}}, 4, "x.x"},
        {"oldest modified, equal times keep the first", {{{1, d20}, {1, d10}, {1, d10}}}, 5, "x.x"},
        {"a group of one row stays unticked",
         {{{d10, d10}, {d20, d20}}, {{d30, d30}}, {{d30, d30}, {d10, d10}}},
         2,
         ".x.x."},
        {"each group counts from its first row",
         {{{d30, 0}, {d10, 0}}, {{d20, 0}, {d10, 0}}, {{d10, 0}, {d10, 0}}},
         1,
         ".x.x.x"},
        // The first group starts from 0, not from its first row's time: rows created
        // before 1899-12-30 never replace the first row under "newest".
        {"first group before the epoch", {{{-5, 0}, {-3, 0}}, {{-5, 0}, {-3, 0}}}, 1, ".xx."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ResultsFixture f;
        for (const auto& g : c.groups) {
            TDuplicateGroup group;
            for (const auto& [created, modified] : g)
                group.push_back(ResultsFixture::make({"/x/y", created, modified}));
            f.result.push_back(std::move(group));
        }
        TResultsModel model;
        f.load(model);
        EXPECT_TRUE(KeepOneRows(model, c.rule));
        EXPECT_EQ(marks(model), c.marks);
    }
}

TEST(ResultsList, KeepOneAfterSelectAllLeavesExactlyOnePerGroup) {
    // Groups in the same band colour next to each other (the middle one removed) and a
    // group reduced to one row.
    ResultsFixture f;
    f.groupsOfSizes({3, 2, 4, 1, 5, 2});
    for (size_t g = 0; g < f.result.size(); ++g)
        for (size_t i = 0; i < f.result[g].size(); ++i) {
            f.result[g][i]->CreateTime = double((g * 7 + i * 3) % 5);
            f.result[g][i]->LastTime = double((g * 3 + i * 5) % 4);
        }
    for (const int rule : {1, 2, 4, 5}) {
        SCOPED_TRACE(rule);
        TResultsModel model;
        int32_t count = 0;
        AppendResultGroups(model, f.result, count, kColor1, kColor2);
        model.RemoveRowsIf([](int, const TFileRow& r) { return r.GroupNo == 1; });
        SelectAllRows(model);
        ASSERT_TRUE(KeepOneRows(model, rule));
        std::map<int32_t, int> untickedPerGroup;
        for (int i = 0; i < model.RowCount(); ++i)
            untickedPerGroup[model.Row(i)->GroupNo] += model.IsChecked(i) ? 0 : 1;
        EXPECT_EQ(untickedPerGroup,
                  (std::map<int32_t, int>{{0, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 1}}));
        EXPECT_EQ(model.CheckedCount(), model.RowCount() - 5);
    }
}

TEST(ResultsList, KeepOnePassesOverRowsWithoutARecord) {
    ResultsFixture f;
    f.group({{"/a", 1}, {"/b", 3}});
    f.group({{"/c", 2}, {"/d", 1}});
    TResultsModel model;
    f.load(model);
    // A row without a record inside the first group and one between the groups.
    TResultsModel mixed;
    mixed.AppendRow(*model.Row(0));
    mixed.AppendRow({nullptr, 0, kColor1});
    mixed.AppendRow(*model.Row(1));
    mixed.AppendRow({nullptr, 7, kColor1});
    mixed.AppendRow(*model.Row(2));
    mixed.AppendRow(*model.Row(3));
    setMarks(mixed, ".x....");
    ASSERT_TRUE(KeepOneRows(mixed, 1));
    EXPECT_EQ(marks(mixed), "xx...x");
    InvertRows(mixed);
    EXPECT_EQ(marks(mixed), ".xx.x.");

    // Nothing to do: an empty list, a first row without a record, an unknown rule.
    TResultsModel empty;
    EXPECT_FALSE(KeepOneRows(empty, 1));
    SelectAllRows(empty);
    InvertRows(empty);
    EXPECT_EQ(empty.CheckedCount(), 0);
    TResultsModel headless;
    headless.AppendRow({nullptr, 0, 0});
    headless.AppendRow(*model.Row(0));
    EXPECT_FALSE(KeepOneRows(headless, 1));
    EXPECT_EQ(marks(headless), "..");
    EXPECT_FALSE(KeepOneRows(model, 3));
    EXPECT_FALSE(KeepOneRows(model, 0));
    EXPECT_EQ(marks(model), "....");
}

TEST(ResultsList, SelectAllAndInvert) {
    ResultsFixture f;
    f.groupsOfSizes({2, 3, 2});
    TResultsModel model;
    f.load(model);
    setMarks(model, "x..x.xx");
    InvertRows(model);
    EXPECT_EQ(marks(model), ".xx.x..");
    InvertRows(model);
    EXPECT_EQ(marks(model), "x..x.xx");
    SelectAllRows(model);
    EXPECT_EQ(marks(model), "xxxxxxx");
    EXPECT_EQ(model.CheckedCount(), 7);
    InvertRows(model);
    EXPECT_EQ(model.CheckedCount(), 0);
}

// Sorting moves whole rows: the record, the tick and the place of a selected row go
// together; a sort waits while a bracket is open (callers walk rows by index), and rows
// added in a bracket while a sort is chosen are sorted when it closes.
TEST(ResultsList, SortMovesRowsWithTheirTicksAndSortsRowsAddedLater) {
    ResultsFixture f;
    f.group({{"/d/b.txt", 1, 1, 300}, {"/d/a.txt", 1, 1, 300}});
    f.group({{"/d/c.txt", 1, 1, 100}, {"/d/d.txt", 1, 1, 100}});
    TResultsModel model;
    f.load(model);
    model.SetChecked(1, true);                                // a.txt
    const QPersistentModelIndex selected = model.index(3, 0); // d.txt
    const auto names = [&] {
        std::string out;
        for (int i = 0; i < model.RowCount(); ++i)
            out += model.CellText(i, colFileName).left(1).toStdString();
        return out;
    };
    ASSERT_EQ(names(), "bacd");

    ASSERT_TRUE(model.SortRows(colFileName, Qt::AscendingOrder));
    EXPECT_EQ(names(), "abcd");
    EXPECT_TRUE(model.IsChecked(0));
    EXPECT_EQ(model.CheckedCount(), 1);
    EXPECT_EQ(selected.row(), 3);
    EXPECT_EQ(model.RowOf(model.Row(2)->FileInfo), 2);
    EXPECT_EQ(brackets(model), "FLFL");
    ASSERT_TRUE(model.SortRows(colFileName, Qt::DescendingOrder));
    EXPECT_EQ(names(), "dcba");
    EXPECT_EQ(selected.row(), 0);
    ASSERT_TRUE(model.SortRows(colFileSize, Qt::AscendingOrder));
    EXPECT_EQ(names(), "cdba"); // groups by size; inside them the default order

    model.BeginUpdate();
    EXPECT_FALSE(model.SortRows(-1));
    f.group({{"/d/e.txt", 1, 1, 50}, {"/d/f.txt", 1, 1, 50}});
    AppendGroupRows(model, f.result.back(), f.count, kColor1, kColor2);
    model.EndUpdate();
    EXPECT_EQ(names(), "efcdba");
    EXPECT_TRUE(model.SortRows(-1));
    EXPECT_EQ(names(), "bacdef");
    EXPECT_TRUE(model.IsChecked(1));
}
