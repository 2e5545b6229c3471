// The backup manager "frmBackup": a modal window that lists the backup archives of the
// backup folder (AppConfig.backPath), lets the user tick archives, delete them, restore
// them to the places their files came from, and choose another backup folder.
//
// A restore runs on a TRestoreThread behind the busy hint: every ticked archive in turn,
// first to last. When the file an entry names exists, the worker waits while the user
// is asked on the user-interface thread ("File Exists Alert"). An archive whose restore
// completed (every entry written, or kept by the user's No) is deleted and its row
// removed; an archive whose restore failed stays, and the user is told which files could
// not be written and why.
#pragma once

#include "backup/BackupArchive.h"

#include <QDialog>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QLabel;
class QLocale;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;

namespace pelidor {

class TOrlaImageButton;
class TOrlaMsgBox;
class TOrlaPanel;
class TOrlaWindowHint;
class TfrmBackup;

// The restore worker: restores FForm's archives one after another, then hands the
// reports to FForm's RestoreDone on the user-interface thread. It is started once and
// joined (by RestoreDone, or when destroyed).
class TRestoreThread {
public:
    TRestoreThread(TfrmBackup* Form, std::vector<std::string> Archives);
    ~TRestoreThread();
    TRestoreThread(const TRestoreThread&) = delete;
    TRestoreThread& operator=(const TRestoreThread&) = delete;

    void Start();
    void Join();

    TfrmBackup* const FForm;
    const std::vector<std::string> Archives;
    // One report per archive, in order; complete once RestoreDone runs.
    std::vector<backup::RestoreReport> Results;

private:
    void Execute();
    std::thread thread_;
};

class TfrmBackup : public QDialog {
    Q_OBJECT

public:
    static constexpr QSize kClientSize{650, 367};
    static constexpr int kRowHeight = 22;
    static constexpr int kHeaderHeight = 22;
    // At most this many files are named in the message after a failed restore.
    static constexpr int kMaxListedFailures = 10;
    // Item data of a row (column 0): FUserStr, the archive's full path as text, and the
    // path's bytes as the file system stores them.
    static constexpr int kUserStrRole = Qt::UserRole;
    static constexpr int kPathRole = Qt::UserRole + 1;

    // Hint: the main window's busy hint; without one the window makes its own.
    explicit TfrmBackup(QWidget* parent = nullptr, TOrlaWindowHint* Hint = nullptr);
    ~TfrmBackup() override;

    // The folder picker (default: BrowseForFolder); false when the user cancelled.
    std::function<bool(QWidget* Owner, const QString& Title, const QString& Root, QString& Folder)>
        FolderPicker;

    // Window font, caption, columns and the component texts of the active language.
    void localize();
    void InitColumns();
    // Lists the archives of Folder, in the order the folder gives them.
    void LoadBackupList(const std::string& Folder);
    // Delete and Restore enabled exactly when at least one row is ticked.
    void UpdateButtons();
    // Deletes every ticked archive; rows whose file is gone are removed.
    void DeleteTickedArchives();
    // Restores every ticked archive in turn on a TRestoreThread behind the busy hint;
    // returns when the hint has closed (after RestoreDone).
    void RestoreTickedArchives();
    // Restores one archive; runs on the worker (the overwrite question is asked on the
    // user-interface thread meanwhile).
    backup::RestoreReport RestoreArchive(const std::string& FileName);
    // The worker's end: closes the hint, deletes the archives whose restore completed
    // and removes their rows, tells the user about the failures, updates the buttons.
    void RestoreDone();

    // The question asked for an existing file ("File Exists Alert"); true for Yes.
    bool AskReplace(const std::string& Destination);
    // The text after a failed restore (empty when nothing failed).
    QString FailureText(const std::vector<backup::RestoreFailure>& Failures) const;
    // The reason of one failure as the user reads it.
    static QString ReasonText(const backup::RestoreFailure& Failure);

    // The archive path of a row.
    static std::string RowArchive(const QTreeWidgetItem* Item);
    QTreeWidget* Files() const { return lvFiles; }
    TOrlaMsgBox* MsgBox() const { return msgBox_; }
    TOrlaWindowHint* Hint() const { return hint_; }
    bool Restoring() const { return restoreThread_ != nullptr; }
    // The line beside the buttons that says what the last restore did.
    QLabel* StatusLine() const { return lblStatus; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void btnFolderClick();

    TOrlaPanel* pnltop = nullptr;
    QLabel* lblBackup = nullptr;
    QLineEdit* edPath = nullptr;
    TOrlaImageButton* btnFolder = nullptr;
    QTreeWidget* lvFiles = nullptr;
    TOrlaPanel* pnlbottom = nullptr;
    TOrlaImageButton* btnRestore = nullptr;
    TOrlaImageButton* btnDelete = nullptr;
    QLabel* lblStatus = nullptr;

    TOrlaMsgBox* msgBox_ = nullptr;
    TOrlaWindowHint* hint_ = nullptr;
    std::unique_ptr<TRestoreThread> restoreThread_;
};

// Opens the backup manager modally over Owner, using Hint (the main window's busy
// hint; null: the window's own), and destroys it when it closes.
void ShowBackupManager(QWidget* Owner, TOrlaWindowHint* Hint);

// A date-time value as the short date, a space and the long time without a time-zone
// name, in Locale; the date alone at exactly midnight; empty for a value that is no date
// (DateTimeText of the shared routines).
QString BackupTimeText(double Value, const QLocale& Locale);

} // namespace pelidor
