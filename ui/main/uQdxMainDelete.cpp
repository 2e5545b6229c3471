// The deletion of the ticked files: btnDel, the backup worker and its end notification,
// the question after an incomplete backup, and the deletion loop with its failure
// dialog.
#include "ui/main/uQdxMain.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QMetaObject>

#include <cerrno>
#include <exception>

#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "platform/FileOps.h"
#include "platform/Trash.h"
#include "shell/SharedHelpers.h"
#include "ui/main/DeleteConfirm.h"
#include "ui/main/FileCheck.h"
#include "ui/main/ResultsList.h"
#include "ui/toolkit/OrlaWindowHint.h"

namespace pelidor {
namespace {

// How many files the question after an incomplete backup names.
constexpr size_t kListedBackupFailures = 3;

QString langText(const char* Section, const char* Key) {
    return QString::fromStdString(ReadLangString(Section, Key));
}

QString pathText(const std::string& Path) {
    return QString::fromUtf8(Path.data(), qsizetype(Path.size()));
}

// Moves one file to the trash, as ShellDeleteFile(Path, true) does: nothing at Path
// fails, the read-only flag is cleared, a locked file fails before the trash is asked,
// and the file is only ever renamed into the trash of its own file system, so a false
// result always leaves it where it was. On failure Error holds the system's reason of
// the step that failed (taken right there: later calls would overwrite errno).
bool recycleFile(const std::string& Path, int& Error) {
    Error = 0;
    errno = 0;
    if (!platform::pathExists(Path)) {
        Error = errno != 0 ? errno : ENOENT;
        return false;
    }
    platform::addOwnerWrite(Path);
    errno = 0;
    if (IsFileLocked(Path)) {
        Error = errno != 0 ? errno : EBUSY;
        return false;
    }
    return platform::moveToTrash(Path, nullptr, &Error);
}

QString backupFailureReason(const backup::BackupFailure& Failure) {
    switch (Failure.problem) {
    case backup::BackupProblem::NotRegular:
        return langText("Message", "BackupNotAFile");
    case backup::BackupProblem::KeptChanging:
        return langText("Message", "BackupKeptChanging");
    case backup::BackupProblem::SystemError:
    case backup::BackupProblem::NotAbsolute:
    case backup::BackupProblem::ArchiveFailed:
        break;
    }
    return SystemErrorText(Failure.error);
}

} // namespace

// --- The backup worker -----------------------------------------------------------------

TBackupThread::~TBackupThread() {
    Join();
}

void TBackupThread::Start() {
    thread_ = std::thread([this] { Execute(); });
}

void TBackupThread::Join() {
    if (thread_.joinable())
        thread_.join();
}

void TBackupThread::Execute() {
    FForm->BackupMarkedFiles();
    // The end notification runs on the window's thread.
    QMetaObject::invokeMethod(FForm, &TfrmQdxMain::BackupThreadTerminated, Qt::QueuedConnection);
}

// --- btnDel ----------------------------------------------------------------------------

std::vector<std::string> TfrmQdxMain::CheckedPaths() const {
    std::vector<std::string> paths;
    for (const int row : model->CheckedRows()) {
        const TFileRow* record = model->Row(row);
        if (record != nullptr && record->FileInfo != nullptr)
            paths.push_back(record->FileInfo->FileName);
    }
    return paths;
}

void TfrmQdxMain::btnDeleteClick() {
    if (FDeleting)
        return;
    btnDel->setEnabled(false);
    if (AppConfig.RecycleDelete || !AppConfig.AutoBackup) {
        DeleteCheckedFiles();
        return;
    }

    // Permanent deletion with a backup first. The worker gets everything it needs now,
    // so that it never touches the list or the settings.
    FDeleting = true;
    FBackupPaths = CheckedPaths();
    FBackupFolder = AppConfig.backPath;
    FBackupDecimalSeparator = LocaleDecimalSeparator();
    FBackupReport = backup::BackupReport();
    FBackupThread = std::make_unique<TBackupThread>(this);
    FBackupThread->Start();
    // Returns once BackupThreadTerminated has closed the hint and returned.
    whintwin1->ShowOrlaHint(true, 0, 0, true);
}

bool TfrmQdxMain::BackupMarkedFiles() {
    try {
        FBackupReport =
            backup::WriteBackupArchive(FBackupFolder, FBackupPaths, Now(), FBackupDecimalSeparator);
    } catch (const std::exception&) {
        // Out of memory: nothing was stored.
        FBackupReport = backup::BackupReport();
        FBackupReport.archiveFailed = true;
        FBackupReport.archiveError = ENOMEM;
        for (const std::string& path : FBackupPaths)
            FBackupReport.notBackedUp.push_back(
                {path, backup::BackupProblem::ArchiveFailed, ENOMEM});
    }
    return FBackupReport.stored > 0;
}

void TfrmQdxMain::BackupThreadTerminated() {
    btnDel->setEnabled(true);
    whintwin1->CloseOrlaHint();
    if (FBackupThread == nullptr)
        return;
    FBackupThread->Join();
    FBackupThread.reset();
    FBackupPaths.clear();

    // A backup that left out files that exist must not turn silently into a permanent
    // deletion of them: the user decides, and Enter (the default) keeps everything.
    if (!FBackupReport.complete() &&
        ShowMessageDlg(mtWarning, BackupIncompleteMessage(FBackupReport, FBackupFolder),
                       {mbYes, mbNo}, mbNo) != mrYes) {
        FDeleting = false;
        return;
    }
    FDeleting = false;
    DeleteCheckedFiles();
}

// --- The deletion loop -----------------------------------------------------------------

void TfrmQdxMain::DeleteCheckedFiles() {
    if (FDeleting)
        return;
    FDeleting = true;
    // One mode for the whole run, as it was when the run started.
    const bool toTrash = AppConfig.RecycleDelete;
    bool askOnError = true;

    vtFile->setEnabled(false);
    model->BeginUpdate();
    // However the loop ends: the list takes input again, its bracket closes (the
    // processed rows leave it), and the window's commands work again.
    struct RunEnd {
        TfrmQdxMain* w;
        ~RunEnd() {
            w->vtFile->setEnabled(true);
            w->model->EndUpdate();
            w->FDeleting = false;
        }
    } runEnd{this};

    const auto tickedFrom = [this](int from) {
        const int count = model->RowCount();
        for (int i = from; i < count; ++i)
            if (model->IsChecked(i) && !model->IsRemoved(i))
                return i;
        return -1;
    };

    int row = tickedFrom(0);
    while (row >= 0) {
        const int next = tickedFrom(row + 1);
        const TFileRow* record = model->Row(row);
        if (record != nullptr && record->FileInfo != nullptr) {
            const std::string path = record->FileInfo->FileName;
            int error = 0;
            QString reason;
            const bool ok = DeleteRecordedFile(*record->FileInfo, toTrash, error, reason);
            if (!ok && askOnError) {
                TfrmDeleteComfirm dlg(this);
                dlg.setMessage(reason.isEmpty() ? DeleteFailureMessage(path, error)
                                                : DeleteFailureMessage(path, reason));
                const int result = dlg.exec();
                askOnError = !dlg.chkNoConfirm->isChecked();
                // No or the close box: this row and the later ones stay, ticked.
                if (result != mrYes)
                    break;
            }
        }
        model->RemoveRow(row);
        QCoreApplication::processEvents();
        row = next;
    }
}

// --- One file -------------------------------------------------------------------------

bool DeleteRecordedFile(const TDuplicateFile& Record, bool ToTrash, int& Error, QString& Reason) {
    Error = 0;
    Reason.clear();
    const std::string& path = Record.FileName;
    // The check and the deletion are two steps: a file replaced in the moment between
    // them is not caught. That moment is kept as short as it can be: nothing runs in
    // between but the deletion's own preparations. The deletion itself never follows a
    // link at the path (unlink, and a rename into the trash, act on the link).
    const TFileCheck check = CheckFileUnchanged(Record, Error);
    switch (check) {
    case TFileCheck::Changed:
    case TFileCheck::ReplacedByLink:
        Reason = FileCheckReason(check);
        return false;
    case TFileCheck::Failed:
        return false;
    case TFileCheck::Missing:
    case TFileCheck::Unchanged:
        break;
    }
    Error = 0;
    return ToTrash ? recycleFile(path, Error) : ForceDeleteFile(path, &Error);
}

// --- The question after an incomplete backup -------------------------------------------

QString BackupIncompleteMessage(const backup::BackupReport& Report, const std::string& BackPath) {
    const size_t notStored = Report.notBackedUp.size();
    QString text = FormatMessageText("BackupIncomplete",
                                     {int64_t(notStored), int64_t(Report.stored + notStored)});
    if (Report.archiveFailed) {
        // One reason for every file: the archive itself.
        text += QStringLiteral("\r\n") + langText("Message", "BackupArchiveFailed") +
                QStringLiteral(": \"") + pathText(BackPath) + QStringLiteral("\".");
        const QString reason = SystemErrorText(Report.archiveError);
        if (!reason.isEmpty())
            text += u' ' + reason + u'.';
    } else {
        for (size_t i = 0; i < notStored && i < kListedBackupFailures; ++i) {
            const backup::BackupFailure& f = Report.notBackedUp[i];
            text += QStringLiteral("\r\n") + pathText(f.path);
            const QString reason = backupFailureReason(f);
            if (!reason.isEmpty())
                text += QStringLiteral(": ") + reason;
        }
        if (notStored > kListedBackupFailures)
            text += QStringLiteral("\r\n...");
    }
    return text + QStringLiteral("\r\n") + langText("Message", "BackupDeleteAnyway");
}

} // namespace pelidor
