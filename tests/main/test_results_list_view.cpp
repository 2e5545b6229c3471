// The results list view, shown on the offscreen platform: ticking with the mouse and the
// keyboard, the right button, column widths, and what is painted.
#include "test_results_list_support.h"

#include "ui/toolkit/OrlaStyle.h"

#include <QAccessible>
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace pelidor;
using namespace pelidor::test;

namespace {

class ResultsViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.setResultsModel(&model);
        view.resize(843, 400);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    }

    void load(std::initializer_list<int> sizes) {
        fixture.groupsOfSizes(sizes);
        fixture.load(model);
        QCoreApplication::processEvents();
    }

    QRect cell(int row, int column) const { return view.visualRect(model.index(row, column)); }

    QImage grab() {
        view.viewport()->repaint();
        return view.viewport()->grab().toImage();
    }

    ResultsFixture fixture;
    TResultsModel model;
    TResultsView view;
};

QRgb rgb(uint32_t bgr) {
    return qRgb(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

} // namespace

TEST_F(ResultsViewTest, ClickingTheBoxTicksTheRowAndReportsIt) {
    load({2, 3});
    QSignalSpy checked(&model, &TResultsModel::rowChecked);
    const QPoint box = TResultsView::checkBoxRect(cell(3, 0)).center();

    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, box);
    ASSERT_EQ(checked.count(), 1);
    EXPECT_EQ(checked.at(0).at(0).toInt(), 3);
    EXPECT_TRUE(model.IsChecked(3));
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, box);
    EXPECT_EQ(checked.count(), 2);
    EXPECT_FALSE(model.IsChecked(3));

    // A click beside the box, or on another column, only selects.
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell(1, 2).center());
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell(1, 0).topRight() + QPoint(-5, 5));
    EXPECT_EQ(checked.count(), 2);
    EXPECT_EQ(model.CheckedCount(), 0);
    EXPECT_EQ(view.selectedRow(), 1);

    // The space bar ticks the current row, whichever column is current.
    view.setFocus();
    view.setCurrentIndex(model.index(4, 3));
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_EQ(checked.count(), 3);
    EXPECT_TRUE(model.IsChecked(4));
}

// What assistive technology sees: a table with the header row first, then the cells row
// by row; a row's check box cell is a check box and its one action, Toggle, ticks and
// unticks the row as a click does (rowChecked included). A reference row's cell is not
// checkable and offers nothing; cells follow rows that leave the list.
TEST_F(ResultsViewTest, AssistiveTechnologyTicksARowThroughItsCheckBoxCell) {
    load({2, 3});
    model.Row(1)->Reference = true;
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&view);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->role(), QAccessible::Table);
    QAccessibleTableInterface* grid = table->tableInterface();
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->rowCount(), 5);
    EXPECT_EQ(grid->columnCount(), kResultsColumnCount);
    EXPECT_EQ(table->childCount(), 6 * kResultsColumnCount);
    EXPECT_EQ(table->child(1)->role(), QAccessible::ColumnHeader);
    EXPECT_EQ(table->child(1)->text(QAccessible::Name), model.headerData(1, Qt::Horizontal));

    QAccessibleInterface* box = grid->cellAt(3, 0);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(table->child(4 * kResultsColumnCount), box);
    EXPECT_EQ(table->indexOfChild(box), 4 * kResultsColumnCount);
    EXPECT_EQ(box->text(QAccessible::Name), model.CellText(3, colFileName));
    EXPECT_EQ(box->role(), QAccessible::CheckBox);
    EXPECT_TRUE(box->state().checkable);
    EXPECT_FALSE(box->state().checked);
    ASSERT_NE(box->actionInterface(), nullptr);
    EXPECT_EQ(box->actionInterface()->actionNames(),
              QStringList{QAccessibleActionInterface::toggleAction()});
    EXPECT_EQ(grid->cellAt(3, 2)->role(), QAccessible::Cell);
    EXPECT_FALSE(grid->cellAt(3, 2)->state().checkable);

    QSignalSpy checked(&model, &TResultsModel::rowChecked);
    box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    ASSERT_EQ(checked.count(), 1);
    EXPECT_EQ(checked.at(0).at(0).toInt(), 3);
    EXPECT_TRUE(model.IsChecked(3));
    EXPECT_TRUE(box->state().checked);
    box->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(checked.count(), 2);
    EXPECT_FALSE(model.IsChecked(3));

    QAccessibleInterface* reference = grid->cellAt(1, 0);
    EXPECT_EQ(reference->role(), QAccessible::Cell);
    EXPECT_FALSE(reference->state().checkable);
    EXPECT_TRUE(reference->actionInterface()->actionNames().isEmpty());
    reference->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(checked.count(), 2);
    EXPECT_FALSE(model.IsChecked(1));

    // Row 0 leaves the list: the cell asked for at (2, 0) is the row that moved there.
    const QString third = model.CellText(3, colFileName);
    model.RemoveRow(0);
    EXPECT_EQ(grid->rowCount(), 4);
    EXPECT_EQ(grid->cellAt(2, 0)->text(QAccessible::Name), third);
    model.Clear();
    EXPECT_EQ(grid->cellAt(0, 0), nullptr);
    EXPECT_EQ(table->childCount(), kResultsColumnCount);
}

TEST_F(ResultsViewTest, RightButtonSelectsTheRowUnderThePointer) {
    load({2, 3});
    view.setCurrentIndex(model.index(0, 0));
    QSignalSpy released(&view, &TResultsView::rightButtonReleased);

    const QPoint at = cell(2, 1).center();
    QTest::mouseClick(view.viewport(), Qt::RightButton, {}, at);
    ASSERT_EQ(released.count(), 1);
    EXPECT_EQ(released.at(0).at(0).toPoint(), view.viewport()->mapToGlobal(at));
    EXPECT_EQ(released.at(0).at(1).toInt(), 2);
    EXPECT_EQ(view.selectedRow(), 2);
    EXPECT_EQ(model.CheckedCount(), 0);

    // Below the last row: no row, the selection stays.
    QTest::mouseClick(view.viewport(), Qt::RightButton, {}, QPoint(100, cell(4, 0).bottom() + 40));
    ASSERT_EQ(released.count(), 2);
    EXPECT_EQ(released.at(1).at(1).toInt(), -1);
    EXPECT_EQ(view.selectedRow(), 2);
}

TEST_F(ResultsViewTest, HeaderRowsAndColumnWidths) {
    load({2});
    EXPECT_EQ(view.header()->height(), TResultsView::kHeaderHeight);
    EXPECT_EQ(cell(0, 0).height(), TResultsView::kRowHeight);
    EXPECT_EQ(cell(1, 0).top(), TResultsView::kRowHeight);

    // Column 1 takes the width the others leave.
    int widths[kResultsColumnCount];
    view.columnWidths(widths);
    EXPECT_EQ(widths[0], 150);
    EXPECT_EQ(widths[2], 100);
    EXPECT_EQ(widths[1], view.viewport()->width() - 150 - 100 - 130 - 130);

    const int saved[kResultsColumnCount] = {200, 50, 90, 120, 110};
    view.setColumnWidths(saved);
    view.resize(1000, 400);
    QCoreApplication::processEvents();
    view.columnWidths(widths);
    EXPECT_EQ(widths[0], 200);
    EXPECT_EQ(widths[3], 120);
    EXPECT_EQ(widths[1], view.viewport()->width() - 200 - 90 - 120 - 110);

    // A very narrow list still leaves column 1 a little room; the others keep theirs.
    view.resize(300, 400);
    QCoreApplication::processEvents();
    view.columnWidths(widths);
    EXPECT_EQ(widths[1], TResultsView::kMinSpareWidth);
    EXPECT_EQ(widths[0], 200);

    // Fitting a column to its contents leaves room for the whole text.
    view.resizeColumnToContents(colFileName);
    const int nameWidth = view.fontMetrics().horizontalAdvance(model.CellText(0, colFileName));
    EXPECT_GE(view.header()->sectionSize(colFileName),
              TResultsView::kCheckBoxLeft + TResultsView::kCheckBoxSize + nameWidth);
    EXPECT_LT(view.header()->sectionSize(colFileName),
              TResultsView::kCheckBoxLeft + TResultsView::kCheckBoxSize + nameWidth + 30);

    // Dropping rows (a model reset) keeps the widths.
    view.resize(1000, 400);
    QCoreApplication::processEvents();
    int before[kResultsColumnCount];
    view.columnWidths(before);
    model.RemoveRowsIf([](int row, const TFileRow&) { return row == 0; });
    view.columnWidths(widths);
    EXPECT_TRUE(std::equal(std::begin(widths), std::end(widths), std::begin(before)));
}

TEST_F(ResultsViewTest, DroppingRowsKeepsTheSelectionAndTheScrollPosition) {
    std::vector<int> sizes(400, 3);
    for (const int n : sizes)
        fixture.groupsOfSizes({n});
    fixture.load(model);
    QCoreApplication::processEvents();
    view.selectionModel()->setCurrentIndex(
        model.index(520, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view.verticalScrollBar()->setValue(500 * TResultsView::kRowHeight + 7);
    const TDuplicateFile* selected = model.Row(520)->FileInfo;
    const TDuplicateFile* top = model.Row(500)->FileInfo;

    model.BeginUpdate();
    for (int row = 0; row < 100; ++row)
        model.RemoveRow(row * 3); // 100 rows above the top row
    model.RemoveRow(1199);
    model.EndUpdate();
    QCoreApplication::processEvents();

    ASSERT_EQ(model.RowCount(), 1099);
    ASSERT_EQ(view.selectedRow(), 520 - 100);
    EXPECT_EQ(model.Row(view.selectedRow())->FileInfo, selected);
    const QModelIndex topIndex = view.indexAt(QPoint(5, 0));
    EXPECT_EQ(model.Row(topIndex.row())->FileInfo, top);
    EXPECT_EQ(view.verticalScrollBar()->value() % TResultsView::kRowHeight, 7);

    // The selected row itself removed: no selection.
    model.BeginUpdate();
    model.RemoveRow(view.selectedRow());
    model.EndUpdate();
    EXPECT_EQ(view.selectedRow(), -1);
}

TEST_F(ResultsViewTest, PaintsBandsBracketsAndNeverTheSelection) {
    // Empty: the picture in the bottom right corner.
    const QRect picture = view.emptyPictureRect();
    auto differsFromWhite = [&](const QImage& image) {
        const qreal dpr = image.devicePixelRatio();
        for (int y = picture.top(); y <= picture.bottom(); y += 2)
            for (int x = picture.left(); x <= picture.right(); x += 2)
                if (image.pixel(int(x * dpr), int(y * dpr)) != qRgb(255, 255, 255))
                    return true;
        return false;
    };
    EXPECT_TRUE(differsFromWhite(grab()));

    load({2, 3, 2});
    view.selectionModel()->setCurrentIndex(model.index(3, 0), QItemSelectionModel::ClearAndSelect |
                                                                  QItemSelectionModel::Rows);
    const QImage image = grab();
    const qreal dpr = image.devicePixelRatio();
    auto pixel = [&](int x, int y) { return image.pixel(int(x * dpr), int(y * dpr)); };
    EXPECT_FALSE(differsFromWhite(image)); // seven rows end well above the picture

    // Inside the band, clear of the current row's focus frame at the edge.
    const int right = view.viewport()->width() - 6;
    const int mid = TResultsView::kRowHeight / 2;
    EXPECT_EQ(pixel(right, 0 * TResultsView::kRowHeight + mid), rgb(kColor1));
    EXPECT_EQ(pixel(right, 3 * TResultsView::kRowHeight + mid), rgb(kColor2)); // selected
    EXPECT_EQ(pixel(right, 5 * TResultsView::kRowHeight + 2), rgb(kColor1));
    EXPECT_EQ(pixel(right, 8 * TResultsView::kRowHeight), qRgb(255, 255, 255));

    // Brackets: the first row's stub and line, a middle row's line, nothing on the far
    // side of the stub.
    EXPECT_EQ(pixel(10, mid), QColor(kOrlaText).rgb());
    EXPECT_EQ(pixel(15, mid), QColor(kOrlaText).rgb());
    EXPECT_EQ(pixel(10, mid - 3), rgb(kColor1));
    EXPECT_EQ(pixel(10, 3 * TResultsView::kRowHeight + 1), QColor(kOrlaText).rgb());
    EXPECT_EQ(pixel(15, 3 * TResultsView::kRowHeight + mid), rgb(kColor2));
}
