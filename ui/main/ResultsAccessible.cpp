#include "ui/main/ResultsAccessible.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPersistentModelIndex>
#include <QPointer>

#include "ui/main/ResultsList.h"

namespace pelidor {
namespace {

// One cell of the list, or (Row -1) one column header.
class ResultsCellAccessible : public QAccessibleInterface,
                              public QAccessibleTableCellInterface,
                              public QAccessibleActionInterface {
public:
    ResultsCellAccessible(TResultsView* View, int Row, int Column)
        : view_(View), row_(Row), column_(Column) {
        if (Row >= 0 && View->model() != nullptr)
            index_ = View->model()->index(Row, Column);
    }

    // Still the cell at (Row, Column) of the view's model.
    bool isAt(int Row, int Column) const {
        if (view_.isNull() || view_->model() == nullptr || Row != row_ || Column != column_)
            return false;
        if (Row < 0)
            return Column < view_->model()->columnCount();
        return index_.isValid() && index_.model() == view_->model() && index_.row() == Row &&
               index_.column() == Column;
    }

    bool isValid() const override { return isAt(row_, column_); }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override {
        return view_.isNull() ? nullptr : view_->window()->windowHandle();
    }
    QAccessibleInterface* parent() const override {
        return view_.isNull() ? nullptr : QAccessible::queryAccessibleInterface(view_.data());
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }

    QString text(QAccessible::Text Kind) const override {
        if (!isValid())
            return {};
        if (row_ < 0)
            return Kind == QAccessible::Name
                       ? view_->model()->headerData(column_, Qt::Horizontal).toString()
                       : QString();
        if (Kind == QAccessible::Name)
            return index_.data(Qt::DisplayRole).toString();
        if (Kind == QAccessible::Description)
            return index_.data(Qt::ToolTipRole).toString();
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid())
            return {};
        if (row_ < 0) {
            const QHeaderView* h = view_->header();
            if (h->isHidden())
                return {};
            const QRect r(h->sectionViewportPosition(column_), 0, h->sectionSize(column_),
                          h->height());
            return r.translated(h->viewport()->mapToGlobal(QPoint(0, 0)));
        }
        const QRect r = view_->visualRect(index_);
        return r.isEmpty() ? QRect() : r.translated(view_->viewport()->mapToGlobal(QPoint(0, 0)));
    }

    // The check box cell of a row that can be ticked is a check box (so a screen reader
    // says what it is before it is ticked); the others are cells.
    QAccessible::Role role() const override {
        if (row_ < 0)
            return QAccessible::ColumnHeader;
        return checkable() ? QAccessible::CheckBox : QAccessible::Cell;
    }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const QRect area(view_->viewport()->mapToGlobal(QPoint(0, 0)), view_->viewport()->size());
        const QRect r = rect();
        if (!view_->isVisible() || r.isEmpty() || (row_ >= 0 && !area.intersects(r)))
            s.invisible = true;
        if (row_ < 0)
            return s;
        const Qt::ItemFlags flags = index_.flags();
        s.selectable = (flags & Qt::ItemIsSelectable) != 0;
        s.selected = isSelected();
        s.focusable = true;
        s.focused = view_->hasFocus() && view_->currentIndex().row() == row_;
        if (flags & Qt::ItemIsUserCheckable) {
            s.checkable = true;
            s.checked = index_.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        }
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType Type) override {
        if (row_ < 0)
            return nullptr;
        if (Type == QAccessible::TableCellInterface)
            return static_cast<QAccessibleTableCellInterface*>(this);
        if (Type == QAccessible::ActionInterface)
            return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override {
        return isValid() && row_ >= 0 && view_->selectionModel() != nullptr &&
               view_->selectionModel()->isSelected(index_);
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override {
        QAccessibleInterface* t = table();
        QAccessibleInterface* h = t != nullptr ? t->child(column_) : nullptr;
        return h != nullptr ? QList<QAccessibleInterface*>{h} : QList<QAccessibleInterface*>();
    }
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return column_; }
    int rowIndex() const override { return row_; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

    // QAccessibleActionInterface: the check box cell ticks and unticks its row.
    QStringList actionNames() const override {
        return checkable() ? QStringList{toggleAction()} : QStringList();
    }
    void doAction(const QString& Name) override {
        if (Name != toggleAction() || !checkable())
            return;
        const bool checked = index_.data(Qt::CheckStateRole).toInt() == Qt::Checked;
        view_->model()->setData(index_, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    }
    QStringList keyBindingsForAction(const QString& Name) const override {
        return Name == toggleAction() && checkable() ? QStringList{QStringLiteral("Space")}
                                                     : QStringList();
    }

private:
    bool checkable() const {
        return isValid() && row_ >= 0 && (index_.flags() & Qt::ItemIsUserCheckable);
    }

    QPointer<TResultsView> view_;
    int row_;
    int column_;
    QPersistentModelIndex index_;
};

class ResultsTableAccessible : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit ResultsTableAccessible(TResultsView* View)
        : QAccessibleWidget(View, QAccessible::Table) {}
    ~ResultsTableAccessible() override { dropCells(); }

    void* interface_cast(QAccessible::InterfaceType Type) override {
        if (Type == QAccessible::TableInterface)
            return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(Type);
    }

    // The header row, then the rows (see the header file).
    int childCount() const override {
        const int columns = columnCount();
        return columns == 0 ? 0 : (rowCount() + 1) * columns;
    }
    QAccessibleInterface* child(int Index) const override {
        const int columns = columnCount();
        if (Index < 0 || columns == 0 || Index >= childCount())
            return nullptr;
        return cell(Index / columns - 1, Index % columns);
    }
    int indexOfChild(const QAccessibleInterface* Child) const override {
        const int columns = columnCount();
        if (Child == nullptr || columns == 0)
            return -1;
        for (auto it = cells_.cbegin(); it != cells_.cend(); ++it)
            if (QAccessible::accessibleInterface(it.value()) == Child) {
                const auto* c = static_cast<const ResultsCellAccessible*>(Child);
                return (c->rowIndex() + 1) * columns + c->columnIndex();
            }
        return -1;
    }
    QAccessibleInterface* childAt(int X, int Y) const override {
        const QHeaderView* h = view()->header();
        const QPoint inHeader = h->viewport()->mapFromGlobal(QPoint(X, Y));
        if (!h->isHidden() && h->viewport()->rect().contains(inHeader)) {
            const int column = h->logicalIndexAt(inHeader.x());
            return column >= 0 ? cell(-1, column) : nullptr;
        }
        const QModelIndex index = view()->indexAt(view()->viewport()->mapFromGlobal(QPoint(X, Y)));
        return index.isValid() ? cell(index.row(), index.column()) : nullptr;
    }
    QAccessibleInterface* focusChild() const override {
        const QModelIndex current = view()->currentIndex();
        return view()->hasFocus() && current.isValid() ? cell(current.row(), current.column())
                                                       : nullptr;
    }

    // QAccessibleTableInterface
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int Row, int Column) const override {
        if (Row < 0 || Row >= rowCount() || Column < 0 || Column >= columnCount())
            return nullptr;
        return cell(Row, Column);
    }
    int selectedCellCount() const override { return int(selectedRows().size()) * columnCount(); }
    QList<QAccessibleInterface*> selectedCells() const override {
        QList<QAccessibleInterface*> list;
        for (int row : selectedRows())
            for (int column = 0; column < columnCount(); ++column)
                list.append(cell(row, column));
        return list;
    }
    QString columnDescription(int Column) const override {
        const QAbstractItemModel* m = view()->model();
        return m != nullptr ? m->headerData(Column, Qt::Horizontal).toString() : QString();
    }
    QString rowDescription(int) const override { return {}; }
    int columnCount() const override {
        const QAbstractItemModel* m = view()->model();
        return m != nullptr ? m->columnCount() : 0;
    }
    int rowCount() const override {
        const QAbstractItemModel* m = view()->model();
        return m != nullptr ? m->rowCount() : 0;
    }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return int(selectedRows().size()); }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override {
        QList<int> rows;
        if (const QItemSelectionModel* s = view()->selectionModel())
            for (const QModelIndex& i : s->selectedRows())
                rows.append(i.row());
        return rows;
    }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int Row) const override {
        const QItemSelectionModel* s = view()->selectionModel();
        return s != nullptr && s->isRowSelected(Row, QModelIndex());
    }
    bool selectRow(int Row) override {
        QItemSelectionModel* s = view()->selectionModel();
        if (s == nullptr || Row < 0 || Row >= rowCount())
            return false;
        s->setCurrentIndex(view()->model()->index(Row, 0),
                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return true;
    }
    bool selectColumn(int) override { return false; }
    bool unselectRow(int Row) override {
        QItemSelectionModel* s = view()->selectionModel();
        if (s == nullptr || Row < 0 || Row >= rowCount())
            return false;
        s->select(view()->model()->index(Row, 0),
                  QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        return true;
    }
    bool unselectColumn(int) override { return false; }
    // Rows came, went or were reset: the cells made so far may stand elsewhere now. Data
    // changed in place: the cells stay, and the check box cells known to assistive
    // technology say that their mark may have changed.
    void modelChange(QAccessibleTableModelChangeEvent* Event) override {
        if (Event->modelChangeType() != QAccessibleTableModelChangeEvent::DataChanged) {
            dropCells();
            return;
        }
        const int first = Event->firstRow();
        const int last = Event->lastRow();
        QList<QAccessibleInterface*> boxes;
        for (auto it = cells_.cbegin(); it != cells_.cend(); ++it) {
            QAccessibleInterface* c = QAccessible::accessibleInterface(it.value());
            auto* cell = static_cast<ResultsCellAccessible*>(c);
            if (cell != nullptr && cell->isValid() && cell->columnIndex() == colFileName &&
                cell->rowIndex() >= 0 && (first < 0 || cell->rowIndex() >= first) &&
                (last < 0 || cell->rowIndex() <= last))
                boxes.append(c);
        }
        QAccessible::State changed;
        changed.checked = true;
        for (QAccessibleInterface* box : boxes) {
            QAccessibleStateChangeEvent event(box, changed);
            QAccessible::updateAccessibility(&event);
        }
    }

private:
    TResultsView* view() const { return static_cast<TResultsView*>(widget()); }

    // The cell's interface, made once and kept while it stays at its place.
    QAccessibleInterface* cell(int Row, int Column) const {
        const quint64 key = (quint64(qint64(Row) + 1) << 16) | quint64(Column);
        const auto it = cells_.constFind(key);
        if (it != cells_.cend()) {
            auto* known =
                static_cast<ResultsCellAccessible*>(QAccessible::accessibleInterface(*it));
            if (known != nullptr && known->isAt(Row, Column))
                return known;
            QAccessible::deleteAccessibleInterface(*it);
            cells_.erase(it);
        }
        auto* made = new ResultsCellAccessible(view(), Row, Column);
        cells_.insert(key, QAccessible::registerAccessibleInterface(made));
        return made;
    }

    void dropCells() {
        for (const QAccessible::Id id : std::as_const(cells_))
            QAccessible::deleteAccessibleInterface(id);
        cells_.clear();
    }

    mutable QHash<quint64, QAccessible::Id> cells_;
};

QAccessibleInterface* resultsFactory(const QString& ClassName, QObject* Object) {
    if (ClassName == QLatin1String("pelidor::TResultsView") && Object != nullptr &&
        Object->isWidgetType())
        return new ResultsTableAccessible(static_cast<TResultsView*>(Object));
    return nullptr;
}

} // namespace

void InstallResultsAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(resultsFactory);
        return true;
    }();
    (void)installed;
}

} // namespace pelidor
