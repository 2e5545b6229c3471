#include "backup/uBackup.h"

#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "shell/SharedHelpers.h"
#include "shell/SharedHelpersGui.h"
#include "ui/toolkit/OrlaControls.h"
#include "ui/toolkit/OrlaMsgBox.h"
#include "ui/toolkit/OrlaStyle.h"
#include "ui/toolkit/OrlaWindowHint.h"
#include "ui/toolkit/UImagData.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QByteArray>
#include <QCloseEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMetaObject>
#include <QShowEvent>
#include <QThread>
#include <QTreeWidget>

#include <utility>

namespace pelidor {
namespace {

const QString kWindowName = QStringLiteral("frmBackup");
const QColor kTextColor(0x38, 0x38, 0x38);
const QColor kLineColor(0xDF, 0xDF, 0xDF);

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

QString lang(const char* section, const QString& key, const QString& def = QString()) {
    return qs(ReadLangString(section, key.toStdString(), def.toStdString()));
}

QString componentKey(const QWidget* w, const char* property) {
    return kWindowName + QLatin1Char('.') + w->objectName() + QLatin1Char('.') +
           QLatin1String(property);
}

// A path's bytes as text for the user to read.
QString pathText(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

TOrlaPanel* makePanel(QWidget* parent, const char* name, Qt::Edges line, int y, int height) {
    auto* panel =
        PlaceControl(new TOrlaPanel, parent, name, 0, y, TfrmBackup::kClientSize.width(), height);
    panel->setColor(Qt::white);
    panel->setBorderColor(kLineColor);
    panel->setBorders(line);
    return panel;
}

} // namespace

QString BackupTimeText(double Value, const QLocale& Locale) {
    return DateTimeText(Value, Locale);
}

// ---------------------------------------------------------------------------- worker

TRestoreThread::TRestoreThread(TfrmBackup* Form, std::vector<std::string> Archives)
    : FForm(Form), Archives(std::move(Archives)) {}

TRestoreThread::~TRestoreThread() {
    Join();
}

void TRestoreThread::Start() {
    thread_ = std::thread([this] { Execute(); });
}

void TRestoreThread::Join() {
    if (thread_.joinable())
        thread_.join();
}

void TRestoreThread::Execute() {
    for (const std::string& archive : Archives) {
        try {
            Results.push_back(FForm->RestoreArchive(archive));
        } catch (...) {
            backup::RestoreReport failed;
            failed.failures.push_back({archive, backup::RestoreProblem::SystemError, ENOMEM});
            Results.push_back(std::move(failed));
        }
    }
    // The end notification runs on the window's thread.
    QMetaObject::invokeMethod(FForm, &TfrmBackup::RestoreDone, Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------- window

TfrmBackup::TfrmBackup(QWidget* parent, TOrlaWindowHint* Hint)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      msgBox_(new TOrlaMsgBox(this)), hint_(Hint) {
    setObjectName(kWindowName);
    setFixedSize(kClientSize);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::WindowText, kTextColor);
    pal.setColor(QPalette::Text, kTextColor);
    setPalette(pal);
    if (hint_ == nullptr) {
        hint_ = new TOrlaWindowHint(this);
        hint_->Localize();
    }

    // The folder row.
    pnltop = makePanel(this, "pnltop", Qt::BottomEdge, 0, 70);
    lblBackup = PlaceControl(new QLabel, pnltop, "lblBackup", 10, 23, 95, 24);
    lblBackup->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edPath = PlaceControl(new QLineEdit, pnltop, "edPath", 111, 23, 430, 24);
    edPath->setReadOnly(true);
    btnFolder = PlaceControl(new TOrlaImageButton, pnltop, "btnFolder", 547, 23, 24, 24);
    btnFolder->setKind(TOrlaImageButton::Flat);
    btnFolder->setIcon(OrlaPicture(QStringLiteral("folder")));
    btnFolder->setIconSize(QSize(16, 16));
    connect(btnFolder, &QAbstractButton::clicked, this, [this] { btnFolderClick(); });

    // The archives.
    const int listTop = 70;
    const int listHeight = kClientSize.height() - 70 - 58;
    lvFiles =
        PlaceControl(new QTreeWidget, this, "lvFiles", 0, listTop, kClientSize.width(), listHeight);
    lvFiles->setColumnCount(2);
    lvFiles->setRootIsDecorated(false);
    lvFiles->setUniformRowHeights(true);
    lvFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    lvFiles->setFrameShape(QFrame::NoFrame);
    lvFiles->header()->setFixedHeight(kHeaderHeight);
    lvFiles->header()->setSectionsMovable(false);
    lvFiles->header()->setStretchLastSection(false);
    connect(lvFiles, &QTreeWidget::itemChanged, this, [this] { UpdateButtons(); });

    // The commands.
    pnlbottom = makePanel(this, "pnlbottom", Qt::TopEdge, kClientSize.height() - 58, 58);
    btnDelete = PlaceControl(new TOrlaImageButton, pnlbottom, "btnDelete", 505, 14, 130, 30);
    btnRestore = PlaceControl(new TOrlaImageButton, pnlbottom, "btnRestore", 365, 14, 130, 30);
    btnRestore->setKind(TOrlaImageButton::Accent);
    lblStatus = PlaceControl(new QLabel, pnlbottom, "lblStatus", 10, 14, 345, 30);
    lblStatus->setTextFormat(Qt::PlainText);
    lblStatus->setWordWrap(true);
    btnRestore->setEnabled(false);
    btnDelete->setEnabled(false);
    connect(btnRestore, &QAbstractButton::clicked, this, [this] { RestoreTickedArchives(); });
    connect(btnDelete, &QAbstractButton::clicked, this, [this] { DeleteTickedArchives(); });

    FolderPicker = [](QWidget* owner, const QString& title, const QString& root, QString& folder) {
        return BrowseForFolder(owner, title, root, folder);
    };

    edPath->setText(qs(AppConfig.backPath));
    edPath->setCursorPosition(0);
    edPath->setToolTip(edPath->text());
    InitColumns();
}

TfrmBackup::~TfrmBackup() {
    // Never reached while a restore runs (the busy hint holds the window), but a worker
    // must not outlive the window it reports to.
    restoreThread_.reset();
}

void TfrmBackup::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        localize();
        LoadBackupList(AppConfig.backPath);
    }
    QDialog::showEvent(event);
}

void TfrmBackup::closeEvent(QCloseEvent* event) {
    if (Restoring()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmBackup::reject() {
    if (!Restoring())
        QDialog::reject();
}

void TfrmBackup::localize() {
    ApplyLangFont(this);
    setWindowTitle(lang("Translation", QStringLiteral("frmBackup.Caption")));
    InitColumns();
    for (TOrlaImageButton* b : {btnDelete, btnRestore, btnFolder}) {
        const QString caption = lang("Translation", componentKey(b, "caption"));
        b->setText(caption);
        b->setToolTip(lang("Translation", componentKey(b, "Hint"), caption));
    }
    lblBackup->setText(lang("Translation", componentKey(lblBackup, "Caption")));
    msgBox_->Localize();
    // Names for assistive technology: the field by its label, the picture button by its
    // hint, the list by the window.
    lblBackup->setBuddy(edPath);
    QString label = lblBackup->text();
    while (label.endsWith(u':') || label.endsWith(QChar(0xFF1A)) || label.endsWith(u' '))
        label.chop(1);
    edPath->setAccessibleName(label);
    btnFolder->setAccessibleName(btnFolder->text().isEmpty() ? btnFolder->toolTip()
                                                             : btnFolder->text());
    lvFiles->setAccessibleName(windowTitle());
}

void TfrmBackup::InitColumns() {
    lvFiles->setHeaderLabels(
        {lang("Message", QStringLiteral("FileName")), lang("Message", QStringLiteral("FileSize"))});
    lvFiles->setColumnWidth(0, 400);
    lvFiles->setColumnWidth(1, 100);
}

void TfrmBackup::LoadBackupList(const std::string& Folder) {
    lvFiles->setUpdatesEnabled(false);
    {
        const QSignalBlocker quiet(lvFiles);
        lvFiles->clear();
        const QLocale locale;
        for (const backup::BackupArchiveInfo& a :
             backup::ListBackupArchives(Folder, LocaleDecimalSeparator())) {
            auto* item = new QTreeWidgetItem(lvFiles);
            item->setText(0, BackupTimeText(a.dateTime, locale));
            item->setText(1, FormatFileSize(a.size));
            item->setData(0, kUserStrRole, pathText(a.path));
            item->setData(0, kPathRole, QByteArray::fromStdString(a.path));
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(0, Qt::Unchecked);
            item->setSizeHint(0, QSize(0, kRowHeight));
        }
    }
    lvFiles->setUpdatesEnabled(true);
    UpdateButtons();
}

void TfrmBackup::UpdateButtons() {
    bool ticked = false;
    for (int i = 0; i < lvFiles->topLevelItemCount() && !ticked; ++i)
        ticked = lvFiles->topLevelItem(i)->checkState(0) == Qt::Checked;
    btnDelete->setEnabled(ticked);
    btnRestore->setEnabled(btnDelete->isEnabled());
}

std::string TfrmBackup::RowArchive(const QTreeWidgetItem* Item) {
    return Item != nullptr ? Item->data(0, kPathRole).toByteArray().toStdString() : std::string();
}

void TfrmBackup::DeleteTickedArchives() {
    int row = 0;
    while (row < lvFiles->topLevelItemCount()) {
        QTreeWidgetItem* item = lvFiles->topLevelItem(row);
        if (item->checkState(0) == Qt::Checked && backup::DeleteBackupArchive(RowArchive(item))) {
            delete lvFiles->takeTopLevelItem(row);
            continue; // the next row moved up to this position
        }
        ++row;
    }
    UpdateButtons();
}

void TfrmBackup::btnFolderClick() {
    QString folder;
    if (!FolderPicker || !FolderPicker(this, btnFolder->toolTip(), edPath->text(), folder) ||
        folder.isEmpty())
        return;
    const std::string path =
        platform::withTrailingSep(QFile::encodeName(folder).toStdString(), platform::kPathSep);
    AppConfig.backPath = path;
    // Kept at once, not only when the program ends.
    SaveAppConfig();
    LoadBackupList(path);
    edPath->setText(qs(path));
    edPath->setCursorPosition(0);
    edPath->setToolTip(edPath->text());
}

// ---------------------------------------------------------------------------- restore

void TfrmBackup::RestoreTickedArchives() {
    if (Restoring())
        return;
    std::vector<std::string> archives;
    for (int i = 0; i < lvFiles->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = lvFiles->topLevelItem(i);
        if (item->checkState(0) == Qt::Checked)
            archives.push_back(RowArchive(item));
    }
    if (archives.empty())
        return;
    btnRestore->setEnabled(false);
    btnDelete->setEnabled(false);
    restoreThread_ = std::make_unique<TRestoreThread>(this, std::move(archives));
    restoreThread_->Start();
    hint_->ShowOrlaHint(false, 0, 0, true);
}

backup::RestoreReport TfrmBackup::RestoreArchive(const std::string& FileName) {
    return backup::RestoreBackupArchive(
        FileName, [this](const std::string& destination) { return AskReplace(destination); });
}

bool TfrmBackup::AskReplace(const std::string& Destination) {
    if (QThread::currentThread() != thread()) {
        // The worker waits for the answer.
        bool answer = false;
        QMetaObject::invokeMethod(
            this, [this, &Destination, &answer] { answer = AskReplace(Destination); },
            Qt::BlockingQueuedConnection);
        return answer;
    }
    const QString name = pathText(std::string(platform::fileNamePart(Destination, '/')));
    return msgBox_->OrlaMessageDlg(QStringLiteral("File Exists Alert"),
                                   QStringLiteral("Replace existing file ") + name +
                                       QLatin1Char('?'),
                                   mtConfirmation, {mbYes, mbNo}, this, false,
                                   mbNo) == mrYes; // a stray Enter keeps the current file
}

void TfrmBackup::RestoreDone() {
    hint_->CloseOrlaHint();
    if (restoreThread_ == nullptr)
        return;
    restoreThread_->Join();
    const std::unique_ptr<TRestoreThread> done = std::move(restoreThread_);

    std::vector<backup::RestoreFailure> failures;
    size_t written = 0;
    int removed = 0;
    for (size_t i = 0; i < done->Results.size() && i < done->Archives.size(); ++i) {
        const backup::RestoreReport& report = done->Results[i];
        const std::string& archive = done->Archives[i];
        written += report.written;
        if (!report.completed()) {
            failures.insert(failures.end(), report.failures.begin(), report.failures.end());
            continue;
        }
        if (!NtForceDeleteFile(archive))
            continue; // the row stays, ticked
        ++removed;
        for (int row = 0; row < lvFiles->topLevelItemCount(); ++row) {
            if (RowArchive(lvFiles->topLevelItem(row)) == archive) {
                delete lvFiles->takeTopLevelItem(row);
                break;
            }
        }
    }
    UpdateButtons();
    // What was done, on the status line (assistive technology hears the change).
    QString status =
        lang("Message", QStringLiteral("RestoreDone"), QStringLiteral("Files restored:")) + u' ' +
        QString::number(written) + u'.';
    if (removed > 0)
        status += u' ' + lang("Message", QStringLiteral("RestoreArchiveRemoved"),
                              QStringLiteral("The archive was removed."));
    lblStatus->setText(status);
    QAccessibleEvent changed(lblStatus, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
    if (!failures.empty())
        msgBox_->OrlaMessageDlg(lang("Translation", QStringLiteral("Error")), FailureText(failures),
                                mtError, {mbOK}, this);
}

QString TfrmBackup::ReasonText(const backup::RestoreFailure& Failure) {
    using backup::RestoreProblem;
    switch (Failure.problem) {
    case RestoreProblem::SystemError:
        return Failure.error != 0 ? qs(platform::errorText(Failure.error)) : QString();
    case RestoreProblem::UnsafeName:
        return lang("Message", QStringLiteral("RestoreUnsafeName"));
    case RestoreProblem::NotAFile:
        return lang("Message", QStringLiteral("RestoreNotAFile"));
    case RestoreProblem::Damaged:
    case RestoreProblem::BadArchive:
        return lang("Message", QStringLiteral("RestoreDamaged"));
    case RestoreProblem::LinkInTheWay:
    case RestoreProblem::FolderInTheWay:
    case RestoreProblem::SpecialInTheWay:
        return lang("Message", QStringLiteral("RestoreInTheWay"));
    case RestoreProblem::ReadOnlyInTheWay:
        return lang("Message", QStringLiteral("RestoreReadOnly"));
    }
    return QString();
}

QString TfrmBackup::FailureText(const std::vector<backup::RestoreFailure>& Failures) const {
    if (Failures.empty())
        return QString();
    QString text = lang("Message", QStringLiteral("RestoreFailed"));
    int listed = 0;
    for (const backup::RestoreFailure& f : Failures) {
        if (listed == kMaxListedFailures) {
            text += QStringLiteral("\r\n...");
            break;
        }
        text += QStringLiteral("\r\n") + pathText(f.path);
        const QString reason = ReasonText(f);
        if (!reason.isEmpty())
            text += QStringLiteral(": ") + reason;
        ++listed;
    }
    return text;
}

void ShowBackupManager(QWidget* Owner, TOrlaWindowHint* Hint) {
    TfrmBackup window(Owner, Hint);
    window.exec();
}

} // namespace pelidor
