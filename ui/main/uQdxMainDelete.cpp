// The deletion of the ticked files: btnDel with its questions (groups that would lose
// every copy, a deletion that cannot be undone), the backup worker and its end
// notification, the question after an incomplete backup, the deletion loop with its
// failure dialog, and the row menu's permanent delete. The steps that act on the files
// (the check, the byte proof, the trash and the deletion) are those of actions/.
#include "ui/main/uQdxMain.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QMetaObject>

#include <cerrno>
#include <exception>

#include "actions/CopyRules.h"
#include "actions/FileSteps.h"
#include "config/uAppConfig.h"
#include "config/uLanguage.h"
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

QString langText(const char* Section, const char* Key, const char* English) {
    return QString::fromStdString(ReadLangString(Section, Key, English));
}

QString pathText(const std::string& Path) {
    return QString::fromUtf8(Path.data(), qsizetype(Path.size()));
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

std::vector<TListedFile> TfrmQdxMain::ListedFiles() const {
    // One entry per row, so that an entry's index is its row; removed rows have no file.
    std::vector<TListedFile> list(size_t(std::max(model->RowCount(), 0)));
    for (int i = 0; i < model->RowCount(); ++i) {
        const TFileRow* record = model->Row(i);
        if (record == nullptr || record->FileInfo == nullptr || model->IsRemoved(i))
            continue;
        list[size_t(i)] = {record->FileInfo, record->GroupNo, model->IsChecked(i),
                           record->Reference};
    }
    return list;
}

bool TfrmQdxMain::ConfirmEveryCopy(const TActionPlan& Plan) {
    if (!ModeAsksForEveryCopy(FResultMode, FResultEmptySearch) || Plan.EveryCopyGroups().empty())
        return true;
    const QString text =
        FormatMessageText("EveryCopyQuestion",
                          {int64_t(Plan.EveryCopyGroups().size()), int64_t(Plan.EveryCopyFiles())});
    return ShowMessageDlg(mtWarning, text, {mbYes, mbNo}, mbNo) == mrYes;
}

bool TfrmQdxMain::ConfirmPermanentDeletion(const QString& Question, int64_t Bytes, bool Backup) {
    QString text = Question + QStringLiteral("\r\n") +
                   TextFollowedBy(langText("Message", "PermanentDeleteSize", "Space freed:"),
                                  FormatFileSize(Bytes));
    text += QStringLiteral("\r\n") +
            (Backup ? langText("Message", "PermanentDeleteBackup",
                               "A backup archive of them is written first.")
                    : langText("Message", "PermanentDeleteNoBackup",
                               "No backup is written: they cannot be restored."));
    return ShowMessageDlg(mtConfirmation, text, {mbYes, mbNo}, mbNo) == mrYes;
}

void TfrmQdxMain::btnDeleteClick() {
    if (FDeleting || FState == TMainState::Searching)
        return;
    // The files to act on are taken once, here: the backup archives exactly these, and
    // the deletion deletes exactly these.
    auto plan = std::make_unique<TActionPlan>(ListedFiles());
    if (plan->Ticked().empty()) {
        RefreshDeleteButton();
        return;
    }
    // Nothing is deleted before every question has been answered; No leaves every tick.
    if (!ConfirmEveryCopy(*plan))
        return;
    const bool toTrash = AppConfig.RecycleDelete;
    const bool withBackup = !toTrash && AppConfig.AutoBackup;
    if (!toTrash && !ConfirmPermanentDeletion(FormatMessageText("PermanentDeleteQuestion",
                                                                {int64_t(plan->Ticked().size())}),
                                              plan->TickedBytes(), withBackup))
        return;

    btnDel->setEnabled(false);
    FDeletionPlan = std::move(plan);
    FDeletionToTrash = toTrash;
    FDeletionBackup = withBackup;
    if (!withBackup) {
        DeleteCheckedFiles();
        return;
    }

    // Permanent deletion with a backup first. The worker gets everything it needs now,
    // so that it never touches the list or the settings.
    FDeleting = true;
    FBackupPaths.clear();
    for (const size_t row : FDeletionPlan->Ticked())
        if (const TFileRow* record = model->Row(int(row)); record && record->FileInfo)
            FBackupPaths.push_back(record->FileInfo->FileName);
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
        FDeletionPlan.reset();
        RefreshDeleteButton();
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
    // The files taken when the command started (or, called on its own, the ticked ones
    // now), and one mode for the whole run.
    std::unique_ptr<TActionPlan> plan = std::move(FDeletionPlan);
    bool toTrash = FDeletionToTrash;
    if (plan == nullptr) {
        plan = std::make_unique<TActionPlan>(ListedFiles());
        toTrash = AppConfig.RecycleDelete;
        FDeletionBackup = false;
    }
    // What this run does, for the summary line.
    TDeletionSummary summary;
    summary.toTrash = toTrash;
    if (FDeletionBackup && !FBackupReport.archivePath.empty())
        summary.archivePath = FBackupReport.archivePath;
    FDeletionBackup = false;
    const bool prove = ModeNeedsContentProof(FResultMode);
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
            w->RefreshDeleteButton();
            w->SetSummaryLine(DeletionSummaryText(w->FLastDeletion));
        }
    } runEnd{this};

    // A long comparison keeps the window painted.
    const TProofTick tick = [] { QCoreApplication::processEvents(); };
    for (const size_t index : plan->Ticked()) {
        const int row = int(index);
        const TFileRow* record = model->Row(row);
        if (record == nullptr || record->FileInfo == nullptr || model->IsRemoved(row))
            continue;
        const TDuplicateFile& file = *record->FileInfo;
        // A group the user chose to lose whole has nothing to prove against.
        const std::vector<const TDuplicateFile*>* staying =
            prove && !plan->LosesEveryCopy(record->GroupNo) ? &plan->Staying(record->GroupNo)
                                                            : nullptr;
        const TActionResult result = RemoveRecordedFile(file, toTrash, staying, tick);
        if (!result.ok && askOnError) {
            const QString reason = ActionProblemReason(result.problem);
            TfrmDeleteComfirm dlg(this);
            dlg.setMessage(reason.isEmpty() ? DeleteFailureMessage(file.FileName, result.error)
                                            : DeleteFailureMessage(file.FileName, reason));
            const int answer = dlg.exec();
            askOnError = !dlg.chkNoConfirm->isChecked();
            // No or the close box: this row and the later ones stay, ticked.
            if (answer != mrYes) {
                ++summary.failed;
                break;
            }
        }
        if (result.ok) {
            ++summary.done;
            summary.bytes += file.FileSize;
        } else {
            ++summary.failed;
        }
        model->RemoveRow(row);
        QCoreApplication::processEvents();
    }
    FLastDeletion = summary;
    DropLoneRows();
}

// --- The row menu's permanent delete -----------------------------------------------------

void TfrmQdxMain::DeleteRowFile(int Row) {
    const TFileRow* record = model->Row(Row);
    if (record == nullptr || record->FileInfo == nullptr || RefuseReferenceRow(Row))
        return;
    const TDuplicateFile& file = *record->FileInfo;
    // The copies of its group that stay in the list.
    std::vector<const TDuplicateFile*> others;
    for (int i = 0; i < model->RowCount(); ++i) {
        const TFileRow* r = model->Row(i);
        if (i != Row && r != nullptr && r->FileInfo != nullptr && !model->IsRemoved(i) &&
            r->GroupNo == record->GroupNo)
            others.push_back(r->FileInfo);
    }
    const bool lastCopy = others.empty();
    if (lastCopy && ModeAsksForEveryCopy(FResultMode, FResultEmptySearch) &&
        ShowMessageDlg(mtWarning,
                       langText("Message", "RowLastCopyQuestion",
                                "This is the last copy of its group in the list: deleting it "
                                "leaves no copy of the file. Delete it anyway?"),
                       {mbYes, mbNo}, mbNo) != mrYes)
        return;
    const QString question = langText("Message", "RowPermanentQuestion",
                                      "Delete this file permanently? It does not go to the "
                                      "Trash.") +
                             QStringLiteral("\r\n") + pathText(file.FileName);
    if (!ConfirmPermanentDeletion(question, file.FileSize, false))
        return;
    // The row menu deletes for good, whatever RecycleDelete says, and without a backup.
    const bool prove = ModeNeedsContentProof(FResultMode) && !lastCopy;
    const TActionResult result = RemoveRecordedFile(file, false, prove ? &others : nullptr,
                                                    [] { QCoreApplication::processEvents(); });
    if (result.ok) {
        // The list may have been sorted while the copies were compared: the row is the
        // record's, wherever it is now.
        model->RemoveRow(model->RowOf(&file));
        return;
    }
    const QString reason = ActionProblemReason(result.problem);
    ShowMessageDlg(mtError,
                   reason.isEmpty() ? RowDeleteFailureMessage(result.error)
                                    : RowDeleteFailureMessage(reason),
                   {mbOK});
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
