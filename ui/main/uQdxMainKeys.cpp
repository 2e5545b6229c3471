// The main window from the keyboard and for assistive technology: the shortcuts of the
// frequent commands (shown in the hints and the menus), F10 and the Menu key for the
// main menu, Shift+F10 and the Menu key for the row menu, Enter for Scan in the top
// panel, folders dropped from a file manager, and the accessible names of the controls
// that show only a picture.
#include "ui/main/uQdxMain.h"

#include <QAction>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QShortcut>
#include <QUrl>

#include <algorithm>

#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "platform/Paths.h"
#include "shell/SharedHelpers.h"
#include "ui/main/ResultsList.h"

namespace pelidor {
namespace {

// The hint of a control with its shortcut after it, once.
void setHintWithShortcut(QWidget* Control, const QKeySequence& Keys) {
    const QString keys = Keys.toString(QKeySequence::NativeText);
    QString hint = Control->toolTip();
    const QString suffix = QStringLiteral(" (") + keys + u')';
    if (hint.endsWith(suffix))
        return;
    Control->setToolTip(hint.isEmpty() ? keys : hint + suffix);
}

// The folders among dropped URLs, as local paths.
QStringList droppedFolders(const QMimeData* Data) {
    QStringList folders;
    if (Data == nullptr || !Data->hasUrls())
        return folders;
    for (const QUrl& url : Data->urls())
        if (url.isLocalFile() && QFileInfo(url.toLocalFile()).isDir())
            folders << url.toLocalFile();
    return folders;
}

} // namespace

// Enter in the top panel's folder line and mode list presses Scan, Alt+Down and F4 in
// the folder line open its list of folders; the Menu key and
// Shift+F10 in the list open the row menu on the current row.
class TfrmQdxMain::TKeyFilter : public QObject {
public:
    explicit TKeyFilter(TfrmQdxMain* Window) : QObject(Window), w_(Window) {}

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override {
        if (Event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(Event);
        // Alt+Down or F4 in the folder line: its list of folders, as in a drop-down list.
        // The arrow may come from the keypad.
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (Watched == w_->edPath &&
            ((key->key() == Qt::Key_Down && modifiers == Qt::AltModifier) ||
             (key->key() == Qt::Key_F4 && modifiers == Qt::NoModifier))) {
            w_->btnFolderListClick();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (Watched == w_->edPath || Watched == w_->cbbMode || Watched == w_->btnScan) &&
            key->modifiers() == Qt::NoModifier) {
            if (w_->btnScan->isVisible())
                w_->btnScanClick();
            return true;
        }
        return false;
    }

private:
    TfrmQdxMain* w_;
};

void TfrmQdxMain::InstallKeyboard() {
    auto* filter = new TKeyFilter(this);
    for (QObject* o : {static_cast<QObject*>(edPath), static_cast<QObject*>(cbbMode),
                       static_cast<QObject*>(btnScan)})
        o->installEventFilter(filter);

    const auto add = [this](const QKeySequence& Keys, std::function<void()> Run) {
        auto* shortcut = new QShortcut(Keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, std::move(Run));
        return shortcut;
    };
    add(KeyScan(), [this] {
        if (FState != TMainState::Searching)
            btnScanClick();
    });
    add(KeyStop(), [this] {
        if (FState == TMainState::Searching)
            btnCancelClick();
    });
    add(KeySelectAll(), [this] {
        if (FState != TMainState::Searching && model->RowCount() > 0)
            btnSelInsteadClick(1);
    });
    add(KeyInvert(), [this] {
        if (FState != TMainState::Searching && model->RowCount() > 0)
            btnSelInsteadClick(2);
    });
    add(KeyDelete(), [this] {
        if (btnDel->isEnabled())
            btnDeleteClick();
    });
    add(KeyExport(), [this] {
        if (!FDeleting && FState != TMainState::Searching)
            ExportToCsv();
    });
    add(KeySettings(), [this] { ppmSettingsClick(); });
    add(QKeySequence(Qt::Key_F10), [this] { OpenMainMenuFromKeyboard(); });
    add(QKeySequence(Qt::SHIFT | Qt::Key_F10), [this] { OpenRowMenuFromKeyboard(); });
    add(QKeySequence(Qt::Key_Menu), [this] {
        if (vtFile->hasFocus() && vtFile->currentIndex().isValid())
            OpenRowMenuFromKeyboard();
        else
            OpenMainMenuFromKeyboard();
    });

    setAcceptDrops(true);
}

void TfrmQdxMain::OpenMainMenuFromKeyboard() {
    if (pmsys->isEmpty() || pmsys->isVisible())
        return;
    pmsys->popup(MainMenuPosition());
    // The first entry is active, so that the arrows and Enter work at once.
    for (QAction* a : pmsys->actions())
        if (!a->isSeparator() && a->isEnabled() && a->isVisible()) {
            pmsys->setActiveAction(a);
            break;
        }
}

void TfrmQdxMain::OpenRowMenuFromKeyboard() {
    QModelIndex current = vtFile->currentIndex();
    if (!current.isValid() && vtFile->selectedRow() >= 0)
        current = model->index(vtFile->selectedRow(), 0);
    if (!current.isValid())
        return;
    // The row menu works on the selected row: the current one.
    vtFile->selectionModel()->select(current, QItemSelectionModel::ClearAndSelect |
                                                  QItemSelectionModel::Rows);
    if (!pmPopBeforPopup())
        return;
    const QRect cell = vtFile->visualRect(current.siblingAtColumn(colFileName));
    pmPop->popup(vtFile->viewport()->mapToGlobal(cell.bottomLeft() +
                                                 QPoint(TResultsView::kCheckBoxLeft, 0)));
    if (!pmPop->actions().isEmpty())
        pmPop->setActiveAction(pmPop->actions().constFirst());
}

void TfrmQdxMain::ApplyKeyboardHints() {
    setHintWithShortcut(btnScan, KeyScan());
    setHintWithShortcut(btnCancel, KeyStop());
    setHintWithShortcut(btnSelAll, KeySelectAll());
    setHintWithShortcut(btnInvertSelection, KeyInvert());
    setHintWithShortcut(btnDel, KeyDelete());
    setHintWithShortcut(btnCaptionMenu, QKeySequence(Qt::Key_F10));
    // The menus show the keys beside their entries; the entries' own shortcuts only
    // work while the menu is open, the window's shortcuts do the rest.
    for (QAction* a : pmsys->actions())
        if (a->objectName() == QLatin1String("ppmSettings"))
            a->setShortcut(KeySettings());
    const QList<QAction*> rowEntries = pmPop->actions();
    for (QAction* a : rowEntries)
        if (a->data().toInt() == 7)
            a->setShortcut(KeyExport());

    // Accessible names: a picture button is named by its hint (without the keys), a
    // field by its label.
    for (TOrlaImageButton* b :
         {static_cast<TOrlaImageButton*>(btnCaptionNews),
          static_cast<TOrlaImageButton*>(btnCaptionSupport),
          static_cast<TOrlaImageButton*>(btnCaptionMenu), btnFolder, btnFolderList, btnemail,
          btntwitter, btnfacebook, btnScan, btnCancel}) {
        QString name = b->text();
        if (name.isEmpty())
            name = b->toolTip().section(QStringLiteral(" ("), 0, 0);
        b->setAccessibleName(name);
    }
    pmFolders->setAccessibleName(btnFolderList->accessibleName());
    lblLocation->setBuddy(edPath);
    edPath->setAccessibleName(lblLocation->text());
    cbbMode->setAccessibleName(cbbMode->currentText());
    vtFile->setAccessibleName(
        QString::fromStdString(ReadLangString("Message", "ResultsList", "Duplicate files")));
    g1->setAccessibleName(lblinfo->text().isEmpty() ? btnScan->text() : lblinfo->text());
}

void TfrmQdxMain::dragEnterEvent(QDragEnterEvent* Event) {
    if (!FDeleting && FState != TMainState::Searching &&
        !droppedFolders(Event->mimeData()).isEmpty())
        Event->acceptProposedAction();
}

void TfrmQdxMain::dropEvent(QDropEvent* Event) {
    if (FDeleting || FState == TMainState::Searching)
        return;
    if (AddFolders(droppedFolders(Event->mimeData())) >= 0)
        Event->acceptProposedAction();
}

int TfrmQdxMain::AddFolders(const QStringList& Folders) {
    int added = 0;
    for (const QString& folder : Folders) {
        std::string path = QFile::encodeName(QFileInfo(folder).absoluteFilePath()).toStdString();
        while (path.size() > 1 && path.back() == '/')
            path.pop_back();
        // A folder already listed (with or without its final separator) is not added again.
        const bool listed = std::any_of(AppConfig.includePath.begin(), AppConfig.includePath.end(),
                                        [&](const std::string& p) {
                                            std::string q = p;
                                            while (q.size() > 1 && q.back() == '/')
                                                q.pop_back();
                                            return q == path;
                                        });
        if (listed)
            continue;
        AppConfig.includePath.push_back(path);
        // The settings page lists it as a folder the user added.
        if (std::find(AppConfig.includePathCustom.begin(), AppConfig.includePathCustom.end(),
                      path) == AppConfig.includePathCustom.end())
            AppConfig.includePathCustom.push_back(path);
        ++added;
    }
    if (added > 0) {
        SaveAppConfig();
        ShowFolderLine();
    }
    return added;
}

} // namespace pelidor
