// The results list: one row per file of every duplicate group, group after group,
// each row with a two-state check box. The rows only refer to the engine's records
// (TFileRow::FileInfo); the records stay owned by the search controller until the next
// scan starts, so the list must be emptied before a scan starts.
//
// The list is flat and keeps the order in which rows were added. Cell texts are made
// on demand when a cell is painted; nothing is cached per row. Per row the list keeps
// its TFileRow and one byte of state.
//
// Sorting (SortRows): the rows of each group by a column's value (names and folders
// without regard to case, numbers in them by value), and the groups by the
// value of their first row; ties keep the default order, the order in which the rows
// were added (the search's: groups by size, ascending). A row keeps its record, tick
// and reference mark wherever it goes, and the band colours stay with the places, so
// they still alternate. While a sort is chosen, rows added in a bracket are sorted
// when it closes.
//
// Update brackets (BeginUpdate / EndUpdate, nestable): no repaint and no model signal
// per row inside; the view is brought up to date once when the outermost bracket
// closes. Rows removed inside a bracket keep their index until it closes (they are
// marked and then dropped in one pass), so a caller may walk the rows by index and
// remove the ones it has processed.
//
// Used only on the user-interface thread, except that a backup writer may read the
// ticked rows from its own thread while the window is blocked and no row changes.
#pragma once

#include <QAbstractTableModel>
#include <QLocale>
#include <QPointer>
#include <QTreeView>

class QMenu;

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/uSearchHolper.h"
#include "shell/SharedHelpersGui.h" // DateTimeText, FormatFileSize

namespace pelidor {

// The record behind one row.
struct TFileRow {
    TDuplicateFile* FileInfo = nullptr; // not owned; null: the row shows empty cells
    int32_t GroupNo = 0;                // the window's group count when the group was added
    uint32_t BandColor = 0;             // 0x00BBGGRR; 0 (black) means no band
    // The file lies in a reference folder: the row shows a mark instead of a check box
    // and can never be ticked (by hand or by a bulk command).
    bool Reference = false;
};

// The five columns.
enum ResultsColumn : int {
    colFileName = 0,
    colFolderName = 1,
    colFileSize = 2,
    colLastDate = 3,
    colCreateDate = 4,
    kResultsColumnCount = 5
};

// How the group bracket is drawn beside a row.
enum class BracketKind { None, First, Middle, Last };

class TResultsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit TResultsModel(QObject* parent = nullptr);
    ~TResultsModel() override;

    // QAbstractTableModel: display texts of the five columns, the check state of
    // column 0 (Qt::CheckStateRole), the band colour (Qt::BackgroundRole, none for 0),
    // the column captions.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value,
                 int role = Qt::EditRole) override; // a user's tick: emits rowChecked
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    void setColumnCaption(int column, const QString& caption);
    // The locale of the size and date-time texts (QLocale::system() by default).
    void setLocale(const QLocale& locale);

    // Update bracket (see the file comment).
    void BeginUpdate();
    void EndUpdate();
    bool InUpdate() const;

    // Appends one row, unticked. Inside a bracket the view learns of the new rows when
    // the outermost bracket closes (rowCount() lags RowCount() until then).
    void AppendRow(const TFileRow& row);
    // Makes room for `rows` rows in all, so that loading a big result allocates once.
    void Reserve(int rows);
    // Removes every row.
    void Clear();
    // Removes one row (deferred inside a bracket, see the file comment). Removing a row
    // twice or out of range does nothing.
    void RemoveRow(int row);
    // Removes every row for which `pred` is true, in one pass.
    void RemoveRowsIf(const std::function<bool(int row, const TFileRow&)>& pred);
    // True for a row removed inside the open bracket (it still has its index).
    bool IsRemoved(int row) const;
    // The index `row` will have once the rows removed inside the open bracket are dropped:
    // `row` less the removed rows before it (for a removed row: the index of the first
    // row after it that stays). -1 out of range, or when the list was cleared inside the
    // bracket. Outside a bracket a row keeps its index.
    int RowAfterCompaction(int row) const;

    int RowCount() const;               // rows, including those marked removed in an open bracket
    const TFileRow* Row(int row) const; // null out of range
    TFileRow* Row(int row);

    // Check marks. SetChecked neither emits rowChecked nor repaints per row inside a
    // bracket. A row without a record can still be read but keeps its mark in bulk
    // commands. A reference row is never ticked: SetChecked(row, true) and the bulk
    // commands leave it unticked.
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    int CheckedCount() const;
    std::vector<int> CheckedRows() const; // in list order, not removed
    void SetAllChecked(bool checked);     // rows with a record only
    void InvertChecked();                 // rows with a record only

    // The group bracket of a row: rows of a group share GroupNo; rows without a record
    // belong to no group.
    BracketKind Bracket(int row) const;

    // Sorts the rows (see the file comment); column -1 is the default order. Refused
    // (false) inside an update bracket, where callers walk the rows by index. Views keep
    // their selection and current row on the same records.
    bool SortRows(int column, Qt::SortOrder order = Qt::AscendingOrder);
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int SortColumn() const;          // -1: the default order
    Qt::SortOrder SortOrder() const; // ascending for the default order
    // The row that shows `file` (not removed), -1 when none.
    int RowOf(const TDuplicateFile* file) const;

    // Cell text of a row (also used by the export).
    QString CellText(int row, int column) const;
    // The hint of a reference row's mark (Qt::ToolTipRole of its cells).
    void setReferenceHint(const QString& hint);

signals:
    // The user changed a row's box (through setData).
    void rowChecked(int row);
    // The rows were sorted (SortRows).
    void rowsSorted();

private:
    struct Impl;
    Impl* d;
};

// Folder and name of a record's FileName: the folder up to and including the last
// separator, the name after it.
QString FolderPart(const std::string& FileName);
QString NamePart(const std::string& FileName);

// The order of two texts as people read them: runs of digits compare as numbers
// ("file2" before "file10"), other characters by their code. Callers fold case first.
int NaturalCompare(QStringView a, QStringView b);

// Appends the rows of one group (AddGroupRows): GroupNo := count, BandColor := color2
// when count is odd, else color1; then count := count + 1 (an empty group counts too).
void AppendGroupRows(TResultsModel& model, const TDuplicateGroup& group, int32_t& count,
                     uint32_t color1, uint32_t color2);
// Appends the rows of all groups in one update bracket (LoadResultGroups) and returns
// the number of files added.
int AppendResultGroups(TResultsModel& model, const TDuplicateResult& groups, int32_t& count,
                       uint32_t color1, uint32_t color2);

// Bulk commands over a model (each in one update bracket). KeepOne ticks every row of
// each group but one, chosen by `rule` (1 newest created, 2 oldest created, 4 newest
// modified, 5 oldest modified); other rules do nothing. Returns false when the list is
// empty or its first row has no record (then nothing changes).
void SelectAllRows(TResultsModel& model);
void InvertRows(TResultsModel& model);
bool KeepOneRows(TResultsModel& model, int rule);

// The list view: bands, brackets, check boxes, the empty-list picture.
class TResultsView : public QTreeView {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 28;
    static constexpr int kHeaderHeight = 20;
    static constexpr int kIndent = 10;
    static constexpr int kTextMargin = 12;
    static constexpr int kDefaultWidths[kResultsColumnCount] = {150, 330, 100, 130, 130};
    // The check box of column 0: kCheckBoxSize square, kCheckBoxLeft from the cell's
    // left edge (right of the group bracket), centred vertically.
    static constexpr int kCheckBoxSize = 16;
    static constexpr int kCheckBoxLeft = 24;
    // The least width column 1 is given when it takes up the spare width.
    static constexpr int kMinSpareWidth = 10;
    // The empty-list picture's name (UImagData).
    static constexpr const char* kEmptyPicture = "empty-list";

    explicit TResultsView(QWidget* parent = nullptr);

    TResultsModel* resultsModel() const;
    void setResultsModel(TResultsModel* model);
    void setModel(QAbstractItemModel* model) override;

    // Column widths; column 1 takes the width left over when the list is resized.
    void setColumnWidths(const int (&widths)[kResultsColumnCount]);
    void columnWidths(int (&widths)[kResultsColumnCount]) const;

    // The selected row (one at most), -1 when none.
    int selectedRow() const;

    // Sorting from the header: a click on a column sorts by it, ascending; a second click
    // reverses. The header's menu (right click, or Ctrl+Shift+F10 in the list) offers
    // every column and the default order. SortAllowed (when set) may refuse a sort.
    bool sortBy(int column, Qt::SortOrder order);
    // The header's menu at `globalPos`, its first entry active when asked from the keyboard.
    void openHeaderMenu(const QPoint& globalPos, bool fromKeyboard);
    QMenu* headerMenu() const { return headerMenu_; }
    // The text of the header menu's entry that restores the default order.
    void setDefaultOrderText(const QString& text) { defaultOrderText_ = text; }
    std::function<bool()> SortAllowed;

    // The check box of a column-0 cell whose rectangle is `cell`.
    static QRect checkBoxRect(const QRect& cell);
    // The rectangle, in viewport coordinates, the empty-list picture is drawn into.
    QRect emptyPictureRect() const;
    // The text the empty list shows above its picture (none by default): a search that
    // found nothing says so.
    void setEmptyText(const QString& text);
    QString emptyText() const { return emptyText_; }

signals:
    // The right mouse button was released over the list; `row` is the row under the
    // pointer (now selected) or -1.
    void rightButtonReleased(const QPoint& globalPos, int row);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;

private:
    friend class TResultsDelegate;
    void fitSpareColumn();
    void paintCell(QPainter* painter, const QRect& cell, int row, int column,
                   const TFileRow& record, const QFont& font) const;
    void saveScrollState();
    void restoreScrollState();

    void showSortIndicator();

    QPointer<TResultsModel> model_;
    QString emptyText_;
    QString defaultOrderText_ = QStringLiteral("Default order");
    QMenu* headerMenu_ = nullptr;
    // Kept across a model reset that drops removed rows.
    int keepSelected_ = -1;
    int keepTop_ = -1;
    int keepOffset_ = 0;
};

} // namespace pelidor
