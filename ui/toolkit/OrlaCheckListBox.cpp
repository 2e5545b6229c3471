#include "ui/toolkit/OrlaCheckListBox.h"

#include "ui/toolkit/OrlaStyle.h"
#include "ui/toolkit/UImagData.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace pelidor {

namespace {

constexpr int kLeftMargin = 8;
constexpr int kRightMargin = 8;
constexpr int kGap = 6;

QColor col(QRgb rgb) {
    return QColor::fromRgba(rgb);
}

QRect centredIn(const QRect& row, int x, int size) {
    return QRect(x, row.top() + (row.height() - size) / 2, size, size);
}

} // namespace

// Paints the rows: hover fill, check box or add icon, icon, caption, remove icon.
class TOrlaCheckListDelegate : public QStyledItemDelegate {
public:
    explicit TOrlaCheckListDelegate(TOrlaCheckListBox* list)
        : QStyledItemDelegate(list), list_(list) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        return {option.rect.width() > 0 ? option.rect.width() : 100, list_->rowHeight()};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int row = index.row();
        const QRect r = option.rect;
        const bool enabled = list_->isEnabled();
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (enabled && row == list_->hoverRow_)
            painter->fillRect(r, col(kOrlaHoverFill));

        const auto action =
            TOrlaCheckListBox::Action(index.data(TOrlaCheckListBox::ActionRole).toInt());
        QString actionState;
        if (row == list_->pressedActionRow())
            actionState = QStringLiteral("-pressed");
        else if (row == list_->hoverActionRow())
            actionState = QStringLiteral("-hover");
        const QSize actionSize(TOrlaCheckListBox::kIconSize, TOrlaCheckListBox::kIconSize);

        int x = r.left() + kLeftMargin;
        if (index.data(TOrlaCheckListBox::CheckableRole).toBool()) {
            const QRect box = centredIn(r, x, TOrlaStyle::kIndicatorSize);
            const auto state = Qt::CheckState(index.data(Qt::CheckStateRole).toInt());
            DrawOrlaCheckBox(painter, box, state, enabled, enabled && row == list_->hoverRow_);
            x = box.right() + 1 + kGap;
        } else if (action == TOrlaCheckListBox::AddAction) {
            const QRect place = centredIn(r, x - 1, TOrlaCheckListBox::kIconSize);
            painter->drawPixmap(place, OrlaPixmap(QStringLiteral("add") + actionState, actionSize));
            x = place.right() + 1 + kGap;
        }
        const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
        if (!icon.isNull()) {
            const QRect place = centredIn(r, x, TOrlaCheckListBox::kIconSize);
            icon.paint(painter, place, Qt::AlignCenter, enabled ? QIcon::Normal : QIcon::Disabled);
            x = place.right() + 1 + kGap;
        }
        int right = r.right() - kRightMargin;
        if (action == TOrlaCheckListBox::RemoveAction) {
            const QRect place = list_->actionRect(row);
            painter->drawPixmap(place,
                                OrlaPixmap(QStringLiteral("remove") + actionState, actionSize));
            right = place.left() - kGap;
        }
        const QString caption = index.data(Qt::DisplayRole).toString();
        const QFontMetrics metrics(option.font);
        painter->setFont(option.font);
        painter->setPen(col(enabled ? kOrlaText : kOrlaDisabledText));
        const QRect textRect(x, r.top(), std::max(0, right - x), r.height());
        painter->drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
                          metrics.elidedText(caption, Qt::ElideMiddle, textRect.width()));
        // The current row is outlined once the keyboard has been used to move focus.
        if (list_->hasFocus() && index == list_->currentIndex() &&
            list_->window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
            QColor line = col(kOrlaAccent);
            line.setAlpha(120);
            painter->setPen(QPen(line, 1));
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(QRectF(r).adjusted(1.5, 1.5, -1.5, -1.5), 2, 2);
        }
        painter->restore();
    }

private:
    TOrlaCheckListBox* list_;
};

TOrlaCheckListBox::TOrlaCheckListBox(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new TOrlaCheckListDelegate(this));
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    setFrameShape(QFrame::StyledPanel);
    setFocusPolicy(Qt::StrongFocus);
}

int TOrlaCheckListBox::AddRow(const QString& caption, const QString& value, bool checked) {
    auto* item = new QListWidgetItem(caption);
    item->setFlags(Qt::ItemIsEnabled);
    item->setData(ValueRole, value);
    item->setData(ActionRole, int(NoAction));
    item->setData(FolderRole, false);
    item->setData(CheckableRole, true);
    item->setData(IconIndexRole, -1);
    item->setData(Qt::CheckStateRole, int(checked ? Qt::Checked : Qt::Unchecked));
    addItem(item);
    return count() - 1;
}

int TOrlaCheckListBox::AddActionRow(const QString& caption, const QString& value) {
    const int row = AddRow(caption, value, false);
    QListWidgetItem* it = item(row);
    it->setData(CheckableRole, false);
    it->setData(Qt::CheckStateRole, QVariant());
    it->setData(ActionRole, int(AddAction));
    return row;
}

void TOrlaCheckListBox::RemoveRow(int row) {
    if (row < 0 || row >= count())
        return;
    delete takeItem(row);
    hoverAction_ = pressedAction_ = hoverRow_ = pressedCheckRow_ = -1;
    viewport()->update();
}

QString TOrlaCheckListBox::caption(int row) const {
    const QListWidgetItem* it = item(row);
    return it != nullptr ? it->text() : QString();
}

void TOrlaCheckListBox::setCaption(int row, const QString& caption) {
    if (QListWidgetItem* it = item(row))
        it->setText(caption);
}

QString TOrlaCheckListBox::value(int row) const {
    const QListWidgetItem* it = item(row);
    return it != nullptr ? it->data(ValueRole).toString() : QString();
}

void TOrlaCheckListBox::setValue(int row, const QString& value) {
    if (QListWidgetItem* it = item(row))
        it->setData(ValueRole, value);
}

bool TOrlaCheckListBox::isChecked(int row) const {
    const QListWidgetItem* it = item(row);
    return it != nullptr && it->data(CheckableRole).toBool() &&
           it->data(Qt::CheckStateRole).toInt() == Qt::Checked;
}

void TOrlaCheckListBox::setChecked(int row, bool checked) {
    QListWidgetItem* it = item(row);
    if (it != nullptr && it->data(CheckableRole).toBool())
        it->setData(Qt::CheckStateRole, int(checked ? Qt::Checked : Qt::Unchecked));
}

bool TOrlaCheckListBox::isCheckable(int row) const {
    const QListWidgetItem* it = item(row);
    return it != nullptr && it->data(CheckableRole).toBool();
}

bool TOrlaCheckListBox::folderMarker(int row) const {
    const QListWidgetItem* it = item(row);
    return it != nullptr && it->data(FolderRole).toBool();
}

void TOrlaCheckListBox::setFolderMarker(int row, bool marker) {
    if (QListWidgetItem* it = item(row))
        it->setData(FolderRole, marker);
}

TOrlaCheckListBox::Action TOrlaCheckListBox::action(int row) const {
    const QListWidgetItem* it = item(row);
    return it != nullptr ? Action(it->data(ActionRole).toInt()) : NoAction;
}

void TOrlaCheckListBox::setAction(int row, Action action) {
    if (QListWidgetItem* it = item(row))
        it->setData(ActionRole, int(action));
}

QIcon TOrlaCheckListBox::rowIcon(int row) const {
    const QListWidgetItem* it = item(row);
    return it != nullptr ? it->icon() : QIcon();
}

void TOrlaCheckListBox::setRowIcon(int row, const QIcon& icon) {
    if (QListWidgetItem* it = item(row))
        it->setIcon(icon);
}

int TOrlaCheckListBox::iconIndex(int row) const {
    const QListWidgetItem* it = item(row);
    return it != nullptr ? it->data(IconIndexRole).toInt() : -1;
}

void TOrlaCheckListBox::setIconIndex(int row, int index) {
    if (QListWidgetItem* it = item(row))
        it->setData(IconIndexRole, index);
}

void TOrlaCheckListBox::setRowHeight(int height) {
    rowHeight_ = std::max(1, height);
    scheduleDelayedItemsLayout();
}

QRect TOrlaCheckListBox::checkRect(int row) const {
    if (!isCheckable(row))
        return QRect();
    const QRect r = visualItemRect(item(row));
    return centredIn(r, r.left() + kLeftMargin, TOrlaStyle::kIndicatorSize);
}

QRect TOrlaCheckListBox::actionRect(int row) const {
    const Action kind = action(row);
    if (kind == NoAction)
        return QRect();
    const QRect r = visualItemRect(item(row));
    if (kind == AddAction)
        return centredIn(r, r.left() + kLeftMargin - 1, kIconSize);
    return centredIn(r, r.right() - kRightMargin - kIconSize + 1, kIconSize);
}

int TOrlaCheckListBox::actionRowAt(const QPoint& pos) const {
    const QListWidgetItem* it = itemAt(pos);
    if (it == nullptr)
        return -1;
    const int row = this->row(it);
    switch (action(row)) {
    case AddAction:
        return row;
    case RemoveAction:
        return actionRect(row).adjusted(-2, -2, 2, 2).contains(pos) ? row : -1;
    default:
        return -1;
    }
}

void TOrlaCheckListBox::setHoverAction(int row) {
    if (row == hoverAction_)
        return;
    hoverAction_ = row;
    viewport()->update();
}

void TOrlaCheckListBox::setPressedAction(int row) {
    if (row == pressedAction_)
        return;
    pressedAction_ = row;
    viewport()->update();
}

void TOrlaCheckListBox::toggle(int row) {
    if (!isCheckable(row))
        return;
    const bool checked = !isChecked(row);
    setChecked(row, checked);
    emit rowChecked(row, checked);
}

void TOrlaCheckListBox::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QListWidget::mousePressEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    setFocus(Qt::MouseFocusReason);
    const QListWidgetItem* it = itemAt(pos);
    if (it != nullptr)
        setCurrentItem(const_cast<QListWidgetItem*>(it));
    const int actionRow = actionRowAt(pos);
    if (actionRow >= 0) {
        setPressedAction(actionRow);
    } else if (it != nullptr && isCheckable(row(it))) {
        pressedCheckRow_ = row(it);
    }
    event->accept();
}

void TOrlaCheckListBox::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QListWidgetItem* it = itemAt(pos);
    const int rowUnder = it != nullptr ? row(it) : -1;
    if (rowUnder != hoverRow_) {
        hoverRow_ = rowUnder;
        viewport()->update();
    }
    setHoverAction(actionRowAt(pos));
    event->accept();
}

void TOrlaCheckListBox::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QListWidget::mouseReleaseEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    const int pressedAction = pressedAction_;
    const int pressedCheck = pressedCheckRow_;
    setPressedAction(-1);
    pressedCheckRow_ = -1;
    event->accept();
    if (pressedAction >= 0) {
        if (actionRowAt(pos) == pressedAction) {
            if (action(pressedAction) == RemoveAction)
                emit removeClicked(pressedAction);
            else
                emit addClicked(pressedAction);
        }
        // The window may have changed the rows: find what is under the mouse again.
        setHoverAction(actionRowAt(pos));
        return;
    }
    if (pressedCheck >= 0) {
        const QListWidgetItem* it = itemAt(pos);
        if (it != nullptr && row(it) == pressedCheck)
            toggle(pressedCheck);
    }
}

void TOrlaCheckListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    // A second click of a double click counts as a click of its own.
    mousePressEvent(event);
}

void TOrlaCheckListBox::keyPressEvent(QKeyEvent* event) {
    const int row = currentRow();
    if (row >= 0) {
        const bool space = event->key() == Qt::Key_Space;
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (space && isCheckable(row)) {
            toggle(row);
            event->accept();
            return;
        }
        if ((space || enter) && action(row) == AddAction) {
            emit addClicked(row);
            event->accept();
            return;
        }
        if (event->key() == Qt::Key_Delete && action(row) == RemoveAction) {
            emit removeClicked(row);
            event->accept();
            return;
        }
    }
    QListWidget::keyPressEvent(event);
}

bool TOrlaCheckListBox::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) {
        hoverRow_ = -1;
        hoverAction_ = -1;
        pressedAction_ = -1;
        pressedCheckRow_ = -1;
        viewport()->update();
    }
    return QListWidget::viewportEvent(event);
}

} // namespace pelidor
