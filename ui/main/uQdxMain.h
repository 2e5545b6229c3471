// The main window: the program's only workspace. Its caption is "Pelidor"; its
// client area is 843 x 516 at design size, centred on the screen at start, and
// can be made as small as 800 x 500.
//
// From it the user chooses the folders and the comparison mode, starts and stops a
// search, follows its progress and works on the results list. The search runs on the
// engine's worker thread; its progress reaches the window as queued events (a
// TSearchProgressEvent per report), so the window only ever runs on the user-interface
// thread. States:
//   Idle       after creation: title, folder line, mode list, Scan; the empty list
//   Searching  from the worker's code 9: animation, progress bar and text, Stop
//   Results    from code 10: as Idle with the summary; the operations panel when rows exist
//
// Closing the window stores the column widths and the settings; a search that still
// runs is stopped and waited for first, so that no report reaches a destroyed window.
//
// Deleting (btnDel): the ticked files go to the trash or, without backup, for good at
// once; with AutoBackup on and RecycleDelete off, a TBackupThread first writes them into
// a backup archive while the busy hint holds the window, and its end notification
// (queued to the user-interface thread) runs the deletion. From the click until the
// last row is processed the window counts as deleting (DeletionRunning): a new search,
// the selection commands, the row menu and a second deletion do nothing meanwhile,
// because the deletion loop processes pending events after each row and the failure
// dialog runs its own event loop.
#pragma once

#include <QEvent>
#include <QFont>
#include <QIcon>
#include <QKeySequence>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "actions/CopyRules.h"
#include "actions/ReferenceFolders.h"
#include "actions/ReplaceSteps.h"
#include "backup/BackupArchive.h"
#include "engine/uSearchHolper.h"
#include "platform/System.h"
#include "ui/main/ResultsList.h"
#include "ui/toolkit/OrlaControls.h"
#include "ui/toolkit/OrlaMsgBox.h"

class QBoxLayout;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPainter;
class QTimer;

namespace pelidor {

class TGetNews;
class TMainFormMenu;
class TOrlaWindowHint;
class TResultsModel;
class TResultsView;
class TFrmOrlaSupport;
class TfrmQdxMain;

// The backup worker: runs FForm's BackupMarkedFiles on a thread of its own, then hands
// over to FForm's BackupThreadTerminated on the user-interface thread. Started once;
// joined by BackupThreadTerminated (or when destroyed).
class TBackupThread {
public:
    explicit TBackupThread(TfrmQdxMain* Form) : FForm(Form) {}
    ~TBackupThread();
    TBackupThread(const TBackupThread&) = delete;
    TBackupThread& operator=(const TBackupThread&) = delete;

    void Start();
    void Join();

    TfrmQdxMain* const FForm;

private:
    void Execute();
    std::thread thread_;
};

// One progress report of the search worker, posted to the window (WM_SEARCHPROGRESS).
class TSearchProgressEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = QEvent::Type(QEvent::User + WM_SEARCHPROGRESS);

    TSearchProgressEvent(int code, int64_t arg, std::string path)
        : QEvent(kType), Code(code), Arg(arg), Path(std::move(path)) {}

    int Code;
    int64_t Arg;
    std::string Path; // owned copy; code 4 only
};

// The buttons at the right end of the top panel that stand in for the skinned caption
// bar's extra buttons.
enum TOrlaNcBtnEnum { wnbMenu, wnbSkin, wnbCustom1 };

// A caption-bar button: a flat picture button that lets its window draw over it after
// it has painted itself (the unread markers).
class TCaptionBarButton : public TOrlaImageButton {
public:
    TCaptionBarButton(TOrlaNcBtnEnum Btn, QWidget* parent = nullptr);

    TOrlaNcBtnEnum Btn() const { return btn_; }
    // Called after the button has painted, with a painter on the button.
    std::function<void(TCaptionBarButton*, QPainter&)> AfterDraw;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TOrlaNcBtnEnum btn_;
};

class TfrmQdxMain : public QWidget {
    Q_OBJECT

public:
    static constexpr QSize kDesignClientSize{843, 516};
    static constexpr QSize kMinimumClientSize{800, 500};
    // The colour of the list's texts and of the group brackets (red, green, blue 56).
    static constexpr uint32_t kListTextColor = 3684408;
    // The maker's home page, the target of the share buttons.
    static constexpr const char* kHomePage = "https://www.corvane.example/";

    enum class TMainState { Idle, Searching, Results };

    explicit TfrmQdxMain(QWidget* parent = nullptr);
    ~TfrmQdxMain() override;

    // ---- Controls (component names are their object names) ----------------------
    TOrlaPanel* pnltop = nullptr;
    TOrlaAnimation* ani1 = nullptr;
    QLabel* lblcaption = nullptr;
    QLabel* lblLocation = nullptr;
    QLineEdit* edPath = nullptr;
    TOrlaImageButton* btnFolder = nullptr;
    // Beside the folder line: the list of the search folders and the reference folders
    // (pmFolders), where a folder is marked as a reference folder or unmarked.
    TOrlaImageButton* btnFolderList = nullptr;
    TOrlaPopupMenu* pmFolders = nullptr;
    // The padlock at the start of the folder line, shown while reference folders exist;
    // its hint names them.
    QAction* actReferenceMark = nullptr;
    QComboBox* cbbMode = nullptr;
    TOrlaImageButton* btnScan = nullptr;
    TOrlaImageButton* btnCancel = nullptr;
    TOrlaProgressBar* g1 = nullptr;
    QLabel* lblinfo = nullptr;
    TCaptionBarButton* btnCaptionNews = nullptr;    // wnbCustom1
    TCaptionBarButton* btnCaptionSupport = nullptr; // wnbSkin
    TCaptionBarButton* btnCaptionMenu = nullptr;    // wnbMenu
    TResultsView* vtFile = nullptr;
    TResultsModel* model = nullptr;
    TOrlaPanel* wspnl4 = nullptr;
    TOrlaPanel* pnlOp = nullptr;
    TOrlaLinkButton* btnKeepOne = nullptr;
    TOrlaLinkButton* btnInvertSelection = nullptr;
    TOrlaLinkButton* btnSelAll = nullptr;
    TOrlaLinkButton* btnDel = nullptr;
    // Beside btnDel: opens pmReplace (replace the ticked files by hard links or clones).
    TOrlaLinkButton* btnReplace = nullptr;
    TOrlaPopupMenu* pmReplace = nullptr;
    TOrlaLinkButton* btnAdvSetting = nullptr;
    // Beside the bottom buttons: how many files are ticked and their size.
    QLabel* lblTicked = nullptr;
    QLabel* lblVer = nullptr;
    // The share buttons: 16 x 16 pictures, translated as link buttons. Their property
    // "ImageIndex" is the picture of the share image list they show (0 e-mail, 1
    // Twitter, 2 Facebook, 3 QZone, 4 Weibo, 5 Baidu Tieba).
    TOrlaImageButton* btnemail = nullptr;
    TOrlaImageButton* btntwitter = nullptr;
    TOrlaImageButton* btnfacebook = nullptr;
    QTimer* tmrInfo = nullptr;
    QTimer* tmr1 = nullptr;
    TOrlaPopupMenu* pmPop = nullptr;
    TOrlaPopupMenu* pmKeepOne = nullptr;
    QMenu* pmsys = nullptr;
    TOrlaMsgBox* wmsg1 = nullptr;
    TOrlaWindowHint* whintwin1 = nullptr;

    // ---- Injectable services (tests replace them) -------------------------------
    // Opens a web page or a new e-mail message (default: OpenUrl).
    std::function<void(const QString& Url)> UrlOpener;
    // The current local date-time value (default: the system clock).
    std::function<double()> Now;
    // A millisecond count that only grows (default: the monotonic clock).
    std::function<uint32_t()> TickCount;
    // Called on the worker thread for every progress report, before the report is
    // posted to the window. It must be thread-safe; it may hold the worker back.
    std::function<void(int Code, int64_t Arg)> SearchProgressTap;
    // The number of fetched news items (default: those the news fetch holds) and of
    // unread support messages (default: those the support window knows).
    std::function<int()> NewsCounter;
    std::function<int()> SupportMessageCounter;
    // Asks where to save the CSV export; an empty name when the user cancelled
    // (default: the save dialog dlgSave1).
    std::function<QString(QWidget* Owner)> CsvFileChooser;
    // Asks for a folder to add as a reference folder; an empty text when the user
    // cancelled (default: the folder picker).
    std::function<QString(QWidget* Owner, const QString& Title)> FolderChooser;
    // Whether the program runs as root, asked once when a window is created (default:
    // the effective user). Root gets no news and support windows.
    static inline std::function<bool()> RunningAsRoot = [] {
        return platform::effectiveUserIsRoot();
    };

    // ---- State ------------------------------------------------------------------
    TMainState State() const { return FState; }
    bool JapaneseEdition() const { return FJapanese; }
    // The news and support windows are offered (not the Japanese edition, not root).
    bool WebPagesOffered() const { return FWebPages; }
    bool AutoCheckUpdate() const { return FAutoCheckUpdate; }
    // The news fetch started by the start-up timer; null before it, in the Japanese
    // edition, and after the news button has shown an announcement.
    TGetNews* NewsThread() const { return FGetNewsThread; }
    TFrmOrlaSupport* Support() const { return FSupport; }
    int32_t GroupCount() const { return FCount; }
    const QString& InfoText() const { return InfoMsg; }
    int FingerprintedCount() const { return gPos; }
    // The content modes' progress by bytes: the bytes of the files fingerprinted before
    // the one in hand, of all bytes the fingerprint pass reads (0 when it reads none or
    // has not planned yet). The bar shows their ratio on kByteScale steps.
    int64_t FingerprintedBytes() const { return FHashedBytes; }
    int64_t BytesToFingerprint() const { return FHashPlan ? FHashPlan->Total : 0; }
    static constexpr int kByteScale = 10000;

    // ---- Scan workflow ------------------------------------------------------------
    void btnScanClick();
    void btnCancelClick();
    void btnPathClick();
    void btnSettingClick();
    void StartSearch();
    void SearchStarted();
    void SearchFinished(uint32_t Elapsed);
    void ShowProgressArea();
    void ShowInputArea();
    void tmrInfoTimer();

    // ---- Results list ---------------------------------------------------------------
    // Adds the rows of every group in one update bracket; returns the number of files.
    int LoadResultGroups(const TDuplicateResult& Groups);
    void AddGroupRows(const TDuplicateGroup& Group);
    void ClearResults();
    void LocalizeColumns();
    int CheckedCount() const;

    // ---- Selection commands ---------------------------------------------------------
    // Tag 0 keep-one menu, 1 select all, 2 invert.
    void btnSelInsteadClick(int Tag);
    // The entries of the keep-one menu (their Tags). The four time rules keep one file
    // per group by its time; reference rows stay unticked under every rule. koReference
    // keeps every copy inside reference folders and ticks the rest of their groups, and
    // keeps the newest by modification time (koLastWrite) in groups without one.
    enum TKeepOneTag {
        koLastCreate = 1,
        koFirstCreate = 2,
        koLastWrite = 4,
        koFirstWrite = 5,
        koReference = 7
    };
    // Where the keep-one menu opens: directly above the bottom panel, left-aligned.
    QPoint pmKeepOnePopup() const;
    void KeepOneItemClick(int Tag);
    void BuildPopupMenus();

    // ---- Deletion -------------------------------------------------------------------
    void btnDeleteClick();
    // Runs on the backup worker: writes the archive of the ticked files (collected on
    // the user-interface thread when the deletion started) into backPath. True when at
    // least one file was stored; the whole report is LastBackupReport.
    bool BackupMarkedFiles();
    // The backup worker's end (user-interface thread): enables btnDel, closes the busy
    // hint, and runs the deletion; when the backup left out files that exist, the user
    // is asked first whether to delete permanently anyway (default No).
    void BackupThreadTerminated();
    // Deletes the file of every ticked row (trash or for good, as RecycleDelete says)
    // and removes the processed rows; a failure asks whether to go on. In the content
    // modes a file is deleted only when a copy of its group that stays holds the same
    // bytes, except in groups the user chose to lose whole.
    void DeleteCheckedFiles();
    // The row menu's permanent delete of one row's file (with its questions).
    void DeleteRowFile(int Row);
    bool DeletionRunning() const { return FDeleting; }

    // ---- Replacing by hard links or clones (uQdxMainReplace.cpp) ------------------------
    // Tags of pmReplace, and of the row menu's entries (after its export entry).
    enum TReplaceTag { rtHardLinks = 1, rtClones = 2 };
    static constexpr int kRowMenuHardLink = 9;
    static constexpr int kRowMenuClone = 10;
    // The ticked files of the content modes become hard links to, or clones of, a copy
    // of their group that stays: refused when a group has every copy ticked, asked first
    // (default No), each proven byte for byte; failed rows stay with the reason shown,
    // replaced rows leave the list, and the summary line says how many paths were
    // replaced and how much space was freed.
    void ReplaceCheckedFiles(TReplaceKind Kind);
    // The row menu's replacement of one row's file by a link to or clone of a copy of
    // its group that stays in the list.
    void ReplaceRowFile(int Row, TReplaceKind Kind);
    int64_t LastReplacedPaths() const { return FReplacedPaths; }
    int64_t LastFreedBytes() const { return FFreedBytes; }
    // Marks the rows inside the reference folders of the settings (unticking them), and
    // clears the mark elsewhere. Runs when a result is listed and after the settings.
    void MarkReferenceRows();
    // Keep One's reference rule (koReference): groups with a reference copy keep every
    // reference copy and have every other copy ticked; the others keep their newest by
    // modification time. False when the list is empty (nothing changed).
    bool KeepReferenceCopiesRule();

    // ---- The folder line and its list of folders (uQdxMainFolders.cpp) -----------------
    // Shows the folders to search on the folder line, and the reference mark.
    void ShowFolderLine();
    // Opens the folder list below the folder line, its first entry active.
    void btnFolderListClick();
    // Refills pmFolders: the folders to search, then the reference folders that are not
    // among them, each with a check mark that says whether it is a reference folder; a
    // folder inside a reference folder is marked and cannot be unmarked by itself; last
    // "Add reference folder...".
    void BuildFolderList();
    // Marks Folder as a reference folder or unmarks it, writes the settings at once and
    // marks the listed rows again. False when nothing changed.
    bool SetReferenceFolder(const std::string& Folder, bool Reference);
    // Asks for a folder (FolderChooser) and marks it as a reference folder.
    void AddReferenceFolderClick();
    // What the last deletion of the ticked files did; shown as the summary line.
    struct TDeletionSummary {
        bool toTrash = true;
        int done = 0;            // files moved to the trash or deleted
        int64_t bytes = 0;       // their size
        int failed = 0;          // files that could not be removed (or were left after No)
        std::string archivePath; // the backup archive written first, if any
    };
    const TDeletionSummary& LastDeletion() const { return FLastDeletion; }
    // The summary line's text for a deletion.
    static QString DeletionSummaryText(const TDeletionSummary& Summary);
    // The space the listed duplicates take beyond one copy per group.
    int64_t ExtraCopiesBytes() const;
    const backup::BackupReport& LastBackupReport() const { return FBackupReport; }

    // ---- Row menu and CSV export ------------------------------------------------------
    // Whether the row menu may open: the list has rows, one is selected, and no
    // deletion runs.
    bool pmPopBeforPopup() const;
    // Tag 1 open, 2 properties, 3 show in folder, 5 delete permanently, 7 export.
    void PopupItemClick(int Tag);
    void ExportToCsv();

    // ---- Main menu ----------------------------------------------------------------------
    // The main menu object that fills pmsys (TMainFormMenu), and the window's part of
    // its entries: the settings (page "Sys") and the backup manager.
    TMainFormMenu* MainMenu() const { return FMainMenu; }
    void ppmSettingsClick();
    void ppmRestoreFileClick();

    // ---- Services ---------------------------------------------------------------------
    // DefaultBtn: the button Enter presses (the first one when not given).
    int ShowMessageDlg(TMsgDlgType msgType, const QString& MSG, TMsgDlgButtons Buttons,
                       std::optional<TMsgDlgBtn> DefaultBtn = std::nullopt);
    void Localize();
    void FillModeList(QComboBox* List);
    void tmr1Timer();
    void CheckAutoUpdate();
    void StartNewsFetch();
    void wp1ButtonClick(TOrlaNcBtnEnum Btn);
    void wp1AfterDrawBtn(TCaptionBarButton* Button, QPainter& Canvas);
    // Where the main menu opens below the menu button (screen co-ordinates).
    QPoint MainMenuPosition() const;
    // Whether a caption-bar button shows its unread marker, and where (button
    // co-ordinates).
    bool CaptionMarkerShown(TOrlaNcBtnEnum Btn) const;
    static QRect CaptionMarkerRect(const QRect& ButtonRect);
    void btnemailClick();
    void btntwitterClick();
    void btnfacebookClick();
    // The address a share button opens for the active language.
    QString ShareUrl(int Tag) const;
    bool ChineseShareTargets() const;

    // ---- Keyboard and assistive technology ------------------------------------------------
    // The shortcuts of the frequent commands (window-wide; listed in the README).
    static QKeySequence KeyScan() { return QKeySequence(Qt::Key_F5); }
    static QKeySequence KeyStop() { return QKeySequence(Qt::Key_Escape); }
    static QKeySequence KeySelectAll() { return QKeySequence(Qt::CTRL | Qt::Key_A); }
    static QKeySequence KeyInvert() { return QKeySequence(Qt::CTRL | Qt::Key_I); }
    static QKeySequence KeyDelete() { return QKeySequence(Qt::Key_Delete); }
    static QKeySequence KeyExport() { return QKeySequence(Qt::CTRL | Qt::Key_E); }
    static QKeySequence KeySettings() { return QKeySequence(Qt::CTRL | Qt::Key_Comma); }
    // F10 / the Menu key: the main menu with its first entry active.
    void OpenMainMenuFromKeyboard();
    // Shift+F10 / the Menu key in the list: the row menu on the current row.
    void OpenRowMenuFromKeyboard();
    // Adds folders to the folders to scan (a folder already there is not added again),
    // stores the settings and shows the new folder line; returns how many were added.
    int AddFolders(const QStringList& Folders);

public slots:
    // WM_LANGUAGECHANGED: translate everything again and rebuild the main menu.
    void LanguageChanged();
    // WM_ASKQUESTION: a Yes/No question in an error dialog; returns its modal result.
    int AskQuestion(const QString& Question, const QString& Title);
    // WM_NEWSFETCHED, WM_SUPPORTMESSAGES: repaint the caption-bar buttons.
    void NewsFetched(int Count);
    void SupportMessages(int Count);

signals:
    // The window has closed: the program ends (the entry quits the event loop).
    void Closed();
    // A search has ended (code 10): its rows are listed and the summary is shown.
    void SearchEnded();

protected:
    void customEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Folders dropped from a file manager are added to the folders to scan.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class TProgressReceiver;
    class TKeyFilter;
    void InstallKeyboard();
    // The shortcuts in the hints and menus, and the accessible names (after Localize).
    void ApplyKeyboardHints();

    void FormCreate();
    void FormShow();
    void FormDestroy();
    void createControls();
    void SearchProgress(int Code, int64_t Arg, const std::string& Path);
    // The progress text while fingerprinting: the bytes done of the total, then the path.
    QString HashProgressText() const;
    void cbbModeChange(int Index);
    void edPathChange(const QString& Text);
    void vtFileChecked();
    void vtfileMouseUp(const QPoint& GlobalPos, int Row);
    // btnDel is enabled exactly when a row is ticked and no deletion, backup or search
    // runs; the ticked-files line follows the ticks.
    void RefreshDeleteButton();
    void CreateReplaceControls(QBoxLayout* Operations);
    void BuildReplaceMenus();
    void RefreshReplaceButton();
    // A row inside a reference folder is never deleted or replaced: says so, true.
    bool RefuseReferenceRow(int Row);
    // Shows a text on the summary line (with its tooltip) and tells assistive technology.
    void SetSummaryLine(const QString& Text);
    // Drops the groups a deletion left with one row (inside the open update bracket).
    void DropLoneRows();
    void ShowNews();
    void RebuildMainMenu();
    // One entry per row (removed rows without a file), for the file actions' rules.
    std::vector<TListedFile> ListedFiles() const;
    // The question before deleting groups whose every copy is ticked (default No); true
    // when there are none or the user said Yes.
    bool ConfirmEveryCopy(const TActionPlan& Plan);
    // The question before a deletion that cannot be undone: Question, the space freed
    // and whether a backup is written first (default No).
    bool ConfirmPermanentDeletion(const QString& Question, int64_t Bytes, bool Backup);

    TMainState FState = TMainState::Idle;
    int32_t FCount = 0;
    QString InfoMsg;
    int gPos = 0;
    // The fingerprint pass's plan (taken at its first code 4), the bytes of the records
    // before the one in hand, and that record's path.
    std::shared_ptr<const TFingerprintPlan> FHashPlan;
    int64_t FHashedBytes = 0;
    QString FHashPath;
    uint32_t FTickt = 0;
    bool FJapanese = false;
    bool FWebPages = false;
    bool FAutoCheckUpdate = false;
    // A search this window started has not yet reported its end (code 10).
    bool FScanPending = false;
    // The online functions: the support window (owned; none in the Japanese edition), the
    // news fetch (a child of the window) and the process's main menu object.
    TFrmOrlaSupport* FSupport = nullptr;
    TGetNews* FGetNewsThread = nullptr;
    TMainFormMenu* FMainMenu = nullptr;
    std::unique_ptr<TProgressReceiver> FProgress;
    // A deletion (with its backup) runs: see the file comment.
    bool FDeleting = false;
    // The backup of the running deletion: the worker, what it archives (fixed before it
    // starts) and its report (read after it has ended).
    std::unique_ptr<TBackupThread> FBackupThread;
    // The files of the running deletion, taken when the command started, and its mode.
    std::unique_ptr<TActionPlan> FDeletionPlan;
    bool FDeletionToTrash = true;
    // The last replacement run: paths replaced, bytes freed.
    int64_t FReplacedPaths = 0;
    int64_t FFreedBytes = 0;
    bool FDeletionBackup = false;
    TDeletionSummary FLastDeletion;
    // The mode of the search whose result is listed.
    TDuplicateType FResultMode = dtMd5;
    bool FResultEmptySearch = false;
    std::vector<std::string> FBackupPaths;
    std::string FBackupFolder;
    std::string FBackupDecimalSeparator;
    backup::BackupReport FBackupReport;
    QWidget* inputArea_ = nullptr;
    QWidget* progressArea_ = nullptr;
};

// The default widths of the results list's columns: the design widths, with the two
// date-time columns widened where the font and the locale's date-time text need more.
void DefaultResultColumnWidths(const QFont& Font, const QLocale& Locale,
                               int (&Widths)[kResultsColumnCount]);

// The top-left corner that centres a window of `size` in `available`; a window
// larger than the area starts at the area's top or left edge.
QPoint CentredPosition(const QSize& size, const QRect& available);

// The question after a backup that could not store every file that exists: how many
// were not stored, why (the archive's failure, or the first few files with their
// reasons), and whether to delete the ticked files permanently anyway.
QString BackupIncompleteMessage(const backup::BackupReport& Report, const std::string& BackPath);

// Format texts of the language packs. FormatTextFits tells whether Text holds exactly
// Count integer conversions ("%d", optionally with "-", a width and a precision) and
// no other conversion ("%%" is a percent sign). FormatIntegers fills such a text.
bool FormatTextFits(const QString& Text, int Count);
QString FormatIntegers(const QString& Text, std::initializer_list<int64_t> Values);
// The "Message" text Key of the active pack filled with Values; the program's English
// text when the pack's text does not take exactly these values. Keys: "CountFiles",
// "EndCountFiles" (one number), "searchduplicateover" (groups, files, seconds),
// "BackupIncomplete" (files not stored, files to store).
//
// Texts that count things have a second key, Key + "One", for a count of one (and, in
// French, of zero); the first value is the count that chooses: "DeletedToTrash",
// "DeletedPermanently", "DeleteFailedCount", "TickedFiles", "PermanentDeleteQuestion",
// "EveryCopyQuestion" (groups), "BackupIncomplete" (files not stored).
QString FormatMessageText(const char* Key, std::initializer_list<int64_t> Values);
// Whether a count takes the singular form in the active language.
bool CountIsSingular(int64_t Count);
// The "Message" text Key with its "%s" placeholders filled by Values in order; English
// when the pack's text does not hold exactly that many "%s" and no other conversion.
QString FormatStringsText(const char* Key, const char* English,
                          std::initializer_list<QString> Values);
// A pack's text followed by a value ("Version:" and the version, "Comparing:" and a path):
// the packs cannot end a text in a blank, so a blank goes between them unless the text
// ends in one or in a full-width punctuation mark.
QString TextFollowedBy(const QString& Text, const QString& Value);
// Sentences of a summary line, each ending in a full stop (a full-width one after a
// text in full-width characters), with a blank between them unless full-width.
QString JoinSentences(const QStringList& Sentences);

} // namespace pelidor
