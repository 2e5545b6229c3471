// The list box with check boxes and action icons. Each row carries a caption, a
// value (FUserStr), a tick, an icon and its index, a folder marker, and optionally an
// action icon drawn in three states (normal, under the mouse, pressed):
//  - a remove icon at the right end of the row; a click on it emits removeClicked;
//  - an add icon in the place of the check box (the row has none); a click anywhere
//    on that row emits addClicked.
// The list never removes or adds rows by itself: the window answers the signals.
#pragma once

#include <QIcon>
#include <QListWidget>
#include <QString>

namespace pelidor {

class TOrlaCheckListBox : public QListWidget {
    Q_OBJECT

public:
    enum Action { NoAction, RemoveAction, AddAction };
    Q_ENUM(Action)
    // Item data roles beside Qt::DisplayRole (caption), Qt::CheckStateRole (tick) and
    // Qt::DecorationRole (icon).
    enum Role {
        ValueRole = Qt::UserRole + 1, // QString: the row's value
        ActionRole,                   // int: an Action
        FolderRole,                   // bool: the folder marker
        CheckableRole,                // bool: the row has a check box
        IconIndexRole                 // int: the icon's index in the window's list
    };

    static constexpr int kDefaultRowHeight = 25;
    static constexpr int kIconSize = 16;

    explicit TOrlaCheckListBox(QWidget* parent = nullptr);

    // Appends a row with a check box and returns its index.
    int AddRow(const QString& caption, const QString& value = QString(), bool checked = false);
    // Appends a row without check box that shows the add icon; returns its index.
    int AddActionRow(const QString& caption, const QString& value = QString());
    void RemoveRow(int row);
    int rowCount() const { return count(); }

    QString caption(int row) const;
    void setCaption(int row, const QString& caption);
    QString value(int row) const;
    void setValue(int row, const QString& value);
    bool isChecked(int row) const;
    void setChecked(int row, bool checked);
    bool isCheckable(int row) const;
    bool folderMarker(int row) const;
    void setFolderMarker(int row, bool marker);
    Action action(int row) const;
    void setAction(int row, Action action);
    QIcon rowIcon(int row) const;
    void setRowIcon(int row, const QIcon& icon);
    int iconIndex(int row) const;
    void setIconIndex(int row, int index);

    int rowHeight() const { return rowHeight_; }
    void setRowHeight(int height);

    // Where a row's check box and action icon are drawn (empty when it has none).
    QRect checkRect(int row) const;
    QRect actionRect(int row) const;
    // The row whose action icon is under the mouse, or pressed; -1 for none.
    int hoverActionRow() const { return hoverAction_; }
    int pressedActionRow() const { return pressedAction_; }

signals:
    void rowChecked(int row, bool checked);
    void removeClicked(int row);
    void addClicked(int row);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    friend class TOrlaCheckListDelegate;
    // The row whose action the point hits: the remove icon, or anywhere on an add row.
    int actionRowAt(const QPoint& pos) const;
    void setHoverAction(int row);
    void setPressedAction(int row);
    void toggle(int row);

    int rowHeight_ = kDefaultRowHeight;
    int hoverAction_ = -1;
    int pressedAction_ = -1;
    int hoverRow_ = -1;
    int pressedCheckRow_ = -1;
};

} // namespace pelidor
