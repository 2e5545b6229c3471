// The main window: its controls and layout, creation, showing and closing, the scan
// workflow with the progress reports, the results list glue, the selection commands,
// the row menu with the CSV export, and the main menu's entries. The window's services
// (texts, fonts, dialogs, caption-bar and share buttons, the start-up timer) are in
// uQdxMainServices.cpp; the deletion and its backup in uQdxMainDelete.cpp.
#include "ui/main/uQdxMain.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

#include "backup/uBackup.h"
#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "engine/FingerprintCache.h"
#include "platform/DateTime.h"
#include "services/UCheckNewThread.h"
#include "services/uMainFormMenu.h"
#include "services/uSupport.h"
#include "shell/FileManager.h"
#include "shell/SharedHelpers.h"
#include "shell/SharedHelpersGui.h"
#include "ui/main/CsvExport.h"
#include "ui/main/DeleteConfirm.h"
#include "ui/main/ResultsList.h"
#include "ui/main/uProperties.h"
#include "ui/settings/uDFSettings.h"
#include "ui/toolkit/OrlaWindowHint.h"
#include "ui/toolkit/UImagData.h"

namespace pelidor {
namespace {

QString langText(const char* Section, const char* Key) {
    return QString::fromStdString(ReadLangString(Section, Key));
}

QString langText(const char* Section, const char* Key, const char* Default) {
    return QString::fromStdString(ReadLangString(Section, Key, Default));
}

// A path as the file system stores it, for display.
QString displayPath(const std::string& Path) {
    return QFile::decodeName(QByteArray::fromStdString(Path));
}

// Counts are shown as 32-bit numbers.
int64_t asInteger(int64_t Value) {
    return std::clamp<int64_t>(Value, std::numeric_limits<int32_t>::min(),
                               std::numeric_limits<int32_t>::max());
}

// A label that shows its text on one line, cut in the middle with an ellipsis when it
// is too long (the path of the file being compared), and never asks for more room.
class TElidingLabel : public QLabel {
public:
    using QLabel::QLabel;

    QSize sizeHint() const override { return {40, QLabel::sizeHint().height()}; }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = contentsRect();
        const QString shown = fontMetrics().elidedText(text(), Qt::ElideMiddle, area.width());
        style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shown,
                              foregroundRole());
    }
};

// The summary line: one line that never asks for more room. A text too wide for it is
// shown in the regular weight; when that is still too wide, as many whole sentences as
// fit, then an ellipsis (or, when not even the first fits, cut at the end). The whole
// text is its tooltip and its accessible name.
class TSummaryLabel : public QLabel {
public:
    using QLabel::QLabel;

    QSize sizeHint() const override { return {40, QLabel::sizeHint().height()}; }
    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }

    // What the label shows in `width` pixels with `font` (bold as set), and whether the
    // text had to be cut.
    static QString Shown(const QString& text, QFont font, int width, bool* cut) {
        *cut = false;
        if (QFontMetrics(font).horizontalAdvance(text) <= width)
            return text;
        font.setBold(false);
        const QFontMetrics metrics(font);
        if (metrics.horizontalAdvance(text) <= width)
            return text;
        *cut = true;
        const QChar ellipsis(0x2026);
        QString best;
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            const bool end =
                (c == u'.' && i + 1 < text.size() && text.at(i + 1) == u' ') || c == QChar(0x3002);
            if (!end)
                continue;
            const QString head = text.left(i + 1) +
                                 (c.unicode() >= 0x3000 ? QString() : QStringLiteral(" ")) +
                                 ellipsis;
            if (metrics.horizontalAdvance(head) > width)
                break;
            best = head;
        }
        return best.isEmpty() ? metrics.elidedText(text, Qt::ElideRight, width) : best;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = contentsRect();
        bool cut = false;
        const QString shown = Shown(text(), font(), area.width(), &cut);
        QFont drawn = font();
        if (QFontMetrics(drawn).horizontalAdvance(text()) > area.width())
            drawn.setBold(false);
        painter.setFont(drawn);
        if (cut && toolTip() != text())
            setToolTip(text());
        style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(), shown,
                              foregroundRole());
    }
};

QLabel* makeLabel(QWidget* parent, const char* name, bool eliding = false) {
    QLabel* label = eliding ? new TElidingLabel(parent) : new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    // File names may look like markup: labels show plain text only.
    label->setTextFormat(Qt::PlainText);
    return label;
}

template <typename T>
T* named(T* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

// Turns each report of the worker into a queued event for the window. Runs on worker
// threads; posting never blocks.
class TfrmQdxMain::TProgressReceiver : public TSearchProgressReceiver {
public:
    explicit TProgressReceiver(TfrmQdxMain* window) : window_(window) {}

    void SearchProgress(int code, int64_t arg, std::string path) noexcept override {
        try {
            if (window_->SearchProgressTap)
                window_->SearchProgressTap(code, arg);
            QCoreApplication::postEvent(window_,
                                        new TSearchProgressEvent(code, arg, std::move(path)));
        } catch (...) {
            // Out of memory: the report is lost; the worker goes on.
        }
    }

private:
    TfrmQdxMain* window_;
};

// --- TCaptionBarButton -----------------------------------------------------------------

TCaptionBarButton::TCaptionBarButton(TOrlaNcBtnEnum Btn, QWidget* parent)
    : TOrlaImageButton(parent), btn_(Btn) {
    setKind(Flat);
    // Reached with Tab like every command.
    setFocusPolicy(Qt::StrongFocus);
}

void TCaptionBarButton::paintEvent(QPaintEvent* event) {
    TOrlaImageButton::paintEvent(event);
    if (AfterDraw) {
        QPainter painter(this);
        AfterDraw(this, painter);
    }
}

// --- Creation, showing, closing --------------------------------------------------------

TfrmQdxMain::TfrmQdxMain(QWidget* parent)
    : QWidget(parent), FProgress(std::make_unique<TProgressReceiver>(this)) {
    setObjectName(QStringLiteral("frmQdxMain"));
    setWindowTitle(QStringLiteral("Pelidor"));

    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    UrlOpener = [](const QString& Url) { OpenUrl(Url); };
    Now = [] { return platform::nowLocalDateTime(); };
    TickCount = [] { return uint32_t(platform::monotonicMs()); };
    SupportMessageCounter = [this] {
        return FSupport != nullptr ? FSupport->GetMessageCount() : 0;
    };
    NewsCounter = [this] {
        return FGetNewsThread != nullptr ? int(FGetNewsThread->NewsList().size()) : 0;
    };
    CsvFileChooser = [](QWidget* Owner) {
        // dlgSave1: CSV files, the suffix added when the user leaves it out, and no
        // question before an existing file is replaced.
        QFileDialog dlgSave1(Owner);
        dlgSave1.setObjectName(QStringLiteral("dlgSave1"));
        dlgSave1.setAcceptMode(QFileDialog::AcceptSave);
        dlgSave1.setNameFilter(QStringLiteral("csv (*.csv)"));
        dlgSave1.setDefaultSuffix(QStringLiteral("csv"));
        dlgSave1.setOption(QFileDialog::DontConfirmOverwrite);
        if (dlgSave1.exec() != QDialog::Accepted || dlgSave1.selectedFiles().isEmpty())
            return QString();
        return dlgSave1.selectedFiles().constFirst();
    };
    FolderChooser = [](QWidget* Owner, const QString& Title) {
        QString folder;
        return BrowseForFolder(Owner, Title, QString(), folder) ? folder : QString();
    };

    createControls();

    setMinimumSize(kMinimumClientSize);
    resize(kDesignClientSize);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(CentredPosition(size(), screen->availableGeometry()));

    FormCreate();
}

TfrmQdxMain::~TfrmQdxMain() {
    FormDestroy();
    delete FSupport;
}

void TfrmQdxMain::createControls() {
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    root->setSpacing(0);

    // Top panel: animation, title and folder line / progress, Scan and Stop, and the
    // caption-bar buttons at its right end.
    pnltop = named(new TOrlaPanel(this), "pnltop");
    pnltop->setFixedHeight(70);
    pnltop->setBorders(Qt::BottomEdge);
    auto* top = new QHBoxLayout(pnltop);
    top->setContentsMargins(15, 0, 12, 0);
    top->setSpacing(0);
    ani1 = named(new TOrlaAnimation(pnltop), "ani1");
    ani1->setFixedSize(50, 50);
    top->addWidget(ani1, 0, Qt::AlignVCenter);
    top->addSpacing(19);

    inputArea_ = named(new QWidget(pnltop), "pnlInput");
    auto* input = new QVBoxLayout(inputArea_);
    input->setContentsMargins(0, 8, 0, 0);
    input->setSpacing(5);
    lblcaption = named(new TSummaryLabel(inputArea_), "lblcaption");
    lblcaption->setTextFormat(Qt::PlainText);
    lblcaption->setFixedHeight(18);
    lblcaption->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    QFont captionFont; // bold; family and size follow the window's font
    captionFont.setBold(true);
    lblcaption->setFont(captionFont);
    input->addWidget(lblcaption);
    auto* folderRow = new QHBoxLayout;
    folderRow->setSpacing(0);
    lblLocation = makeLabel(inputArea_, "lblLocation");
    lblLocation->setMinimumWidth(72);
    folderRow->addWidget(lblLocation);
    folderRow->addSpacing(4);
    edPath = named(new QLineEdit(inputArea_), "edPath");
    edPath->setReadOnly(true);
    edPath->setFixedHeight(24);
    edPath->setMinimumWidth(60);
    folderRow->addWidget(edPath, 1);
    btnFolderList = named(new TOrlaImageButton(inputArea_), "btnFolderList");
    btnFolderList->setFixedSize(18, 24);
    btnFolderList->setIcon(OrlaPicture(QStringLiteral("folder-list")));
    folderRow->addWidget(btnFolderList);
    btnFolder = named(new TOrlaImageButton(inputArea_), "btnFolder");
    btnFolder->setFixedSize(24, 24);
    btnFolder->setIcon(OrlaPicture(QStringLiteral("folder")));
    folderRow->addWidget(btnFolder);
    folderRow->addSpacing(15);
    cbbMode = named(new QComboBox(inputArea_), "cbbMode");
    cbbMode->setEditable(false);
    cbbMode->setMaxVisibleItems(8);
    cbbMode->setFixedSize(194, 24);
    folderRow->addWidget(cbbMode);
    input->addLayout(folderRow);
    input->addStretch(1);

    progressArea_ = named(new QWidget(pnltop), "pnlProgress");
    auto* progress = new QVBoxLayout(progressArea_);
    progress->setContentsMargins(16, 22, 19, 0);
    progress->setSpacing(4);
    g1 = named(new TOrlaProgressBar(progressArea_), "g1");
    g1->setFixedHeight(12);
    progress->addWidget(g1);
    lblinfo = makeLabel(progressArea_, "lblinfo", true);
    lblinfo->setFixedHeight(18);
    progress->addWidget(lblinfo);
    progress->addStretch(1);
    g1->hide();
    lblinfo->hide();
    progressArea_->hide();

    auto* middle = new QGridLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->addWidget(inputArea_, 0, 0);
    middle->addWidget(progressArea_, 0, 0);
    top->addLayout(middle, 1);
    top->addSpacing(15);

    auto* right = new QVBoxLayout;
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(2);
    auto* captionRow = new QHBoxLayout;
    captionRow->setSpacing(0);
    captionRow->addStretch(1);
    const struct {
        TCaptionBarButton** button;
        TOrlaNcBtnEnum kind;
        const char* name;
        const char* picture;
    } captionButtons[] = {
        {&btnCaptionNews, wnbCustom1, "btnCaptionNews", "caption-news"},
        {&btnCaptionSupport, wnbSkin, "btnCaptionSupport", "caption-support"},
        {&btnCaptionMenu, wnbMenu, "btnCaptionMenu", "caption-menu"},
    };
    for (const auto& c : captionButtons) {
        auto* button = named(new TCaptionBarButton(c.kind, pnltop), c.name);
        button->setIcon(OrlaPicture(QLatin1String(c.picture)));
        button->setFixedSize(36, 22);
        button->AfterDraw = [this](TCaptionBarButton* b, QPainter& p) { wp1AfterDrawBtn(b, p); };
        connect(button, &QAbstractButton::clicked, this,
                [this, kind = c.kind] { wp1ButtonClick(kind); });
        captionRow->addWidget(button);
        *c.button = button;
    }
    right->addLayout(captionRow);
    auto* scanCell = new QGridLayout;
    scanCell->setContentsMargins(0, 0, 0, 0);
    btnScan = named(new TOrlaImageButton(pnltop), "btnScan");
    btnScan->setKind(TOrlaImageButton::Accent);
    btnScan->setTag(2);
    btnScan->setFixedSize(130, 30);
    btnCancel = named(new TOrlaImageButton(pnltop), "btnCancel");
    btnCancel->setTag(2);
    btnCancel->setFixedSize(130, 30);
    btnCancel->hide();
    scanCell->addWidget(btnScan, 0, 0);
    scanCell->addWidget(btnCancel, 0, 0);
    right->addLayout(scanCell);
    right->addStretch(1);
    top->addLayout(right);
    root->addWidget(pnltop);

    // The results list.
    model = named(new TResultsModel(this), "vtFileModel");
    vtFile = named(new TResultsView(this), "vtFile");
    vtFile->setResultsModel(model);
    // A deletion or replacement works through the rows by index: no sort meanwhile.
    vtFile->SortAllowed = [this] {
        return !FDeleting && FBackupThread == nullptr && !model->InUpdate();
    };
    root->addWidget(vtFile, 1);

    // Bottom panel: the operations panel and the settings link.
    wspnl4 = named(new TOrlaPanel(this), "wspnl4");
    wspnl4->setFixedHeight(26);
    wspnl4->setBorders(Qt::TopEdge);
    auto* bottom = new QHBoxLayout(wspnl4);
    bottom->setContentsMargins(8, 1, 12, 0);
    bottom->setSpacing(0);
    pnlOp = named(new TOrlaPanel(wspnl4), "pnlOp");
    auto* ops = new QHBoxLayout(pnlOp);
    ops->setContentsMargins(0, 0, 0, 0);
    ops->setSpacing(18);
    const struct {
        TOrlaLinkButton** button;
        const char* name;
        int tag;
    } opButtons[] = {{&btnKeepOne, "btnKeepOne", 0},
                     {&btnInvertSelection, "btnInvertSelection", 2},
                     {&btnSelAll, "btnSelAll", 1},
                     {&btnDel, "btnDel", 0}};
    for (const auto& o : opButtons) {
        auto* button = named(new TOrlaLinkButton(pnlOp), o.name);
        button->setTag(o.tag);
        ops->addWidget(button);
        *o.button = button;
    }
    for (TOrlaLinkButton* b : {btnKeepOne, btnInvertSelection, btnSelAll})
        connect(b, &QAbstractButton::clicked, this, [this, b] { btnSelInsteadClick(b->Tag()); });
    connect(btnDel, &QAbstractButton::clicked, this, &TfrmQdxMain::btnDeleteClick);
    btnDel->setEnabled(false);
    CreateReplaceControls(ops);
    pnlOp->hide();
    bottom->addWidget(pnlOp);
    bottom->addStretch(1);
    btnAdvSetting = named(new TOrlaLinkButton(wspnl4), "btnAdvSetting");
    bottom->addWidget(btnAdvSetting);
    root->addWidget(wspnl4);

    // Below the panels: the version and the share buttons.
    auto* footer = new TOrlaPanel(this);
    footer->setObjectName(QStringLiteral("pnlFooter"));
    footer->setColor(QColor(0xF7, 0xF8, 0xFA));
    footer->setBorders(Qt::TopEdge);
    footer->setFixedHeight(24);
    auto* foot = new QHBoxLayout(footer);
    foot->setContentsMargins(12, 1, 12, 0);
    foot->setSpacing(8);
    lblVer = makeLabel(footer, "lblVer");
    QPalette muted = lblVer->palette();
    muted.setColor(QPalette::WindowText, QColor(0x8A, 0x8A, 0x8A));
    lblVer->setPalette(muted);
    foot->addWidget(lblVer);
    // What is ticked, below the commands that act on it: the command row has no room left
    // for it in the longer languages.
    foot->addSpacing(24);
    lblTicked = makeLabel(footer, "lblTicked");
    foot->addWidget(lblTicked);
    foot->addStretch(1);
    const struct {
        TOrlaImageButton** button;
        const char* name;
        int tag;
    } shareButtons[] = {{&btnemail, "btnemail", 0},
                        {&btntwitter, "btntwitter", 1},
                        {&btnfacebook, "btnfacebook", 2}};
    for (const auto& s : shareButtons) {
        auto* button = named(new TOrlaImageButton(footer), s.name);
        button->setFixedSize(16, 16);
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::PointingHandCursor);
        button->setTag(0);
        button->setProperty("ImageIndex", -1);
        foot->addWidget(button);
        *s.button = button;
    }
    root->addWidget(footer);

    // Timers, menus, dialogs.
    tmrInfo = named(new QTimer(this), "tmrInfo");
    tmrInfo->setInterval(100);
    tmr1 = named(new QTimer(this), "tmr1");
    tmr1->setInterval(10);
    tmr1->setSingleShot(true);
    pmPop = named(new TOrlaPopupMenu(this), "pmPop");
    pmKeepOne = named(new TOrlaPopupMenu(this), "pmKeepOne");
    pmFolders = named(new TOrlaPopupMenu(this), "pmFolders");
    pmsys = named(new QMenu(this), "pmsys");
    pmsys->setAttribute(Qt::WA_WindowPropagation);
    wmsg1 = named(new TOrlaMsgBox(this), "wmsg1");
    whintwin1 = named(new TOrlaWindowHint(this), "whintwin1");

    connect(btnScan, &QAbstractButton::clicked, this, &TfrmQdxMain::btnScanClick);
    connect(btnCancel, &QAbstractButton::clicked, this, &TfrmQdxMain::btnCancelClick);
    connect(btnFolder, &QAbstractButton::clicked, this, &TfrmQdxMain::btnPathClick);
    connect(btnFolderList, &QAbstractButton::clicked, this, &TfrmQdxMain::btnFolderListClick);
    connect(btnAdvSetting, &QAbstractButton::clicked, this, &TfrmQdxMain::btnSettingClick);
    connect(cbbMode, &QComboBox::currentIndexChanged, this, &TfrmQdxMain::cbbModeChange);
    connect(edPath, &QLineEdit::textChanged, this, &TfrmQdxMain::edPathChange);
    connect(tmrInfo, &QTimer::timeout, this, &TfrmQdxMain::tmrInfoTimer);
    connect(tmr1, &QTimer::timeout, this, &TfrmQdxMain::tmr1Timer);
    connect(pmKeepOne, &TOrlaPopupMenu::itemClicked, this, &TfrmQdxMain::KeepOneItemClick);
    connect(pmPop, &TOrlaPopupMenu::itemClicked, this, &TfrmQdxMain::PopupItemClick);
    connect(model, &TResultsModel::rowChecked, this, &TfrmQdxMain::vtFileChecked);
    connect(vtFile, &TResultsView::rightButtonReleased, this, &TfrmQdxMain::vtfileMouseUp);
    connect(btnemail, &QAbstractButton::clicked, this, &TfrmQdxMain::btnemailClick);
    connect(btntwitter, &QAbstractButton::clicked, this, &TfrmQdxMain::btntwitterClick);
    connect(btnfacebook, &QAbstractButton::clicked, this, &TfrmQdxMain::btnfacebookClick);

    InstallKeyboard();
    tmr1->start();
}

void TfrmQdxMain::FormCreate() {
    LoadAppConfig(); // also selects the language

    FJapanese =
        ReadRegInteger(TRegRoot::CurrentUser, "SOFTWARE\\Corvane\\Pelidor", "IsJP", true, -1) == 1;
    if (FJapanese) {
        for (QWidget* w : {static_cast<QWidget*>(btnemail), static_cast<QWidget*>(btntwitter),
                           static_cast<QWidget*>(btnfacebook)})
            w->hide();
    }
    // The news and support pages need the browser engine's sandbox, which refuses to
    // run for root: there they are not offered, as in the Japanese edition.
    FWebPages = !FJapanese && !(RunningAsRoot && RunningAsRoot());
    if (!FWebPages) {
        btnCaptionNews->hide();
        btnCaptionSupport->hide();
    }

    (void)GetSearchHolper();

    TMainFormMenuHost host;
    host.Japanese = FJapanese;
    host.ShowMessageDlg = [this](TMsgDlgType Type, const QString& Text, TMsgDlgButtons Buttons) {
        return ShowMessageDlg(Type, Text, Buttons);
    };
    host.LanguageChanged = [this] { LanguageChanged(); };
    host.OpenUrl = [this](const QString& Url) { UrlOpener(Url); };
    host.ShowSettings = [this] { ppmSettingsClick(); };
    host.ShowBackupManager = [this] { ppmRestoreFileClick(); };
    host.Terminate = [this] { close(); };
    host.Busy = [this] { return FDeleting; };
    FMainMenu = TMainFormMenu::InitMainMenu(pmsys, std::move(host));
    if (FWebPages) {
        FSupport = TFrmOrlaSupport::InitOrlaSupport(
            QString::fromStdString(AppConfig.SetupGUID), kSupportProductId,
            QString::fromStdString(AppConfig.SetupVer), nullptr, this);
        connect(FSupport, &TFrmOrlaSupport::SupportMessages, this, &TfrmQdxMain::SupportMessages);
    }
}

void TfrmQdxMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfrmQdxMain::FormShow() {
    Localize();
    ShowFolderLine();
    const QSignalBlocker block(cbbMode);
    cbbMode->setCurrentIndex(AppConfig.CompareMode >= 0 && AppConfig.CompareMode < cbbMode->count()
                                 ? AppConfig.CompareMode
                                 : -1);
    cbbMode->setToolTip(cbbMode->currentText());
}

void TfrmQdxMain::closeEvent(QCloseEvent* event) {
    // A deletion runs to its end (or to the user's No) before the window may go.
    if (FDeleting) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
    if (!event->isAccepted())
        return;
    // The program ends with this window: the support window goes with it.
    if (FSupport != nullptr)
        FSupport->close();
    emit Closed();
}

void TfrmQdxMain::FormDestroy() {
    // A running search reports to this window: stop it and wait for its worker before
    // the window and its receiver go away. The same for a backup worker.
    TSearchHolper& holper = GetSearchHolper();
    holper.Stop();
    holper.WaitForWorker();
    FScanPending = false;
    if (FBackupThread != nullptr)
        FBackupThread->Join();

    int widths[kResultsColumnCount];
    vtFile->columnWidths(widths);
    AppConfig.header0 = widths[0];
    AppConfig.header1 = widths[1];
    AppConfig.header2 = widths[2];
    AppConfig.header3 = widths[3];
    AppConfig.header4 = widths[4];
    SaveAppConfig();
}

// --- Search controls -------------------------------------------------------------------

void TfrmQdxMain::cbbModeChange(int Index) {
    cbbMode->setToolTip(cbbMode->currentText());
    AppConfig.CompareMode = Index;
    // Settings are kept when they are made, not only when the window closes.
    SaveAppConfig();
}

void TfrmQdxMain::edPathChange(const QString& Text) {
    edPath->setToolTip(Text);
    // Show the start of a long folder line.
    edPath->setCursorPosition(0);
}

void TfrmQdxMain::btnPathClick() {
    if (ShowSettingsDialog(this, QStringLiteral("Path")) == QDialog::Accepted) {
        SaveAppConfig();
        ShowFolderLine();
        MarkReferenceRows();
    }
}

void TfrmQdxMain::btnSettingClick() {
    if (ShowSettingsDialog(this, QStringLiteral("adv")) == QDialog::Accepted)
        SaveAppConfig();
}

void TfrmQdxMain::btnScanClick() {
    if (FDeleting)
        return;
    if (edPath->text().isEmpty()) {
        ShowMessageDlg(mtError, langText("Message", "NoFolder"), {mbOK});
        return;
    }
    StartSearch();
}

void TfrmQdxMain::StartSearch() {
    // A deletion works through the rows, which refer to the current result.
    if (FDeleting || AppConfig.includePath.empty())
        return;
    // Starting a search discards the previous result groups that the rows refer to.
    ClearResults();

    int64_t beginSize = AppConfig.MinSize;
    int64_t endSize = AppConfig.MaxSize;
    TDuplicateType dt;
    switch (AppConfig.CompareMode) {
    case 0:
        dt = dtFileName;
        break;
    case 1:
    case 2:
        dt = AppConfig.CompareMode == 1 ? dtMd5Part : dtMd5;
        if (beginSize <= 0)
            beginSize = 1;
        // Without MD5 every fingerprint would be empty and the search would find nothing.
        if (!Md5Available()) {
            if (!FScanPending)
                ShowMessageDlg(mtError,
                               langText("Message", "NoMd5",
                                        "This system's cryptography library (OpenSSL) refuses "
                                        "MD5, so files cannot be compared by content. Choose "
                                        "another mode, or allow MD5 in the library's settings."),
                               {mbOK});
            return;
        }
        break;
    case 3:
        dt = dtDataSize;
        beginSize = 0;
        endSize = 0;
        break;
    default:
        return;
    }

    // The last search of this window has not reported its end yet: the controller would
    // refuse, and a new result must not replace the one that report is about to read.
    if (FScanPending)
        return;
    TSearchHolper& holper = GetSearchHolper();
    // The previous worker has reported its end; let its thread finish releasing.
    holper.WaitForWorker();
    holper.SetFingerprintCache(AppConfig.RememberFingerprints ? FingerprintCache::defaultPath()
                                                              : std::string());
    // The reference folders are searched as well: their copies are what the other
    // files are compared with, wherever they lie (a folder inside another is entered once).
    std::vector<std::string> folders = AppConfig.includePath;
    for (const std::string& reference : AppConfig.referencePath)
        if (std::find(folders.begin(), folders.end(), reference) == folders.end())
            folders.push_back(reference);
    if (holper.FindDuplicateFiles(FProgress.get(), dt, &folders, &AppConfig.includeKeywords,
                                  &AppConfig.excludePath, &AppConfig.excludeKeywords, beginSize,
                                  endSize) == 0) {
        FScanPending = true;
        FResultMode = dt;
        FResultEmptySearch = AppConfig.CompareMode == 3;
    }
}

void TfrmQdxMain::btnCancelClick() {
    GetSearchHolper().Stop();
}

// --- Progress --------------------------------------------------------------------------

void TfrmQdxMain::customEvent(QEvent* event) {
    if (event->type() == TSearchProgressEvent::kType) {
        const auto* report = static_cast<TSearchProgressEvent*>(event);
        SearchProgress(report->Code, report->Arg, report->Path);
        return;
    }
    QWidget::customEvent(event);
}

void TfrmQdxMain::SearchProgress(int Code, int64_t Arg, const std::string& Path) {
    switch (Code) {
    case spCollect:
        InfoMsg = langText("Message", "BeginCountFiles");
        break;
    case spFolderDone:
        InfoMsg = FormatMessageText("CountFiles", {asInteger(Arg)});
        break;
    case spSizePass:
        g1->setValue(0);
        g1->setMaximum(int(asInteger(Arg)));
        InfoMsg = FormatMessageText("EndCountFiles", {asInteger(Arg)});
        break;
    case spHashFile:
        ++gPos;
        // The plan is there before the first code 4; the records are reported in its order.
        if (gPos == 1)
            FHashPlan = GetSearchHolper().FingerprintPlan();
        if (FHashPlan && gPos >= 2 && size_t(gPos - 2) < FHashPlan->Bytes.size())
            FHashedBytes += FHashPlan->Bytes[size_t(gPos - 2)];
        FHashPath = displayPath(Path);
        InfoMsg = HashProgressText();
        break;
    case spHashDone:
        if (FHashPlan) {
            FHashedBytes = FHashPlan->Total;
            InfoMsg = HashProgressText();
        }
        break;
    case spGroupStart:
        InfoMsg = langText("Message", "CountResult");
        break;
    case spStarted:
        FTickt = TickCount();
        SearchStarted();
        break;
    case spFinished:
        FScanPending = false;
        SearchFinished(uint32_t(TickCount() - FTickt));
        break;
    default:
        break;
    }
}

QString TfrmQdxMain::HashProgressText() const {
    const QString comparing = TextFollowedBy(langText("Message", "HashFiles"), FHashPath);
    const int64_t total = BytesToFingerprint();
    if (total <= 0)
        return comparing;
    // The bytes first: a long path is cut in the middle, never them.
    return FormatStringsText("HashedBytes", "%s of %s",
                             {FormatFileSize(FHashedBytes), FormatFileSize(total)}) +
           QStringLiteral(" \u2014 ") + comparing;
}

void TfrmQdxMain::SearchStarted() {
    ClearResults();
    FCount = 0;
    lblinfo->clear();
    InfoMsg.clear();
    gPos = 0;
    FHashPlan.reset();
    FHashedBytes = 0;
    FHashPath.clear();
    tmrInfo->start();
    ani1->setState(TOrlaAnimation::Running);
    ShowProgressArea();
    btnScan->hide();
    btnCancel->show();
    FState = TMainState::Searching;
    vtFile->setEmptyText(QString());
    RefreshDeleteButton();
    repaint();
}

void TfrmQdxMain::tmrInfoTimer() {
    lblinfo->setText(InfoMsg);
    if (gPos != 0) {
        if (g1->isRunning())
            g1->setRunning(false);
        const int64_t total = BytesToFingerprint();
        if (total > 0) {
            // Bytes, not files: a few large files do not show as nearly done. Rounded
            // down, so the bar is full only when the last bytes are.
            if (g1->maximum() != kByteScale)
                g1->setMaximum(kByteScale);
            const int64_t done = std::clamp<int64_t>(FHashedBytes, 0, total);
            int value = total <= std::numeric_limits<int64_t>::max() / kByteScale
                            ? int(done * kByteScale / total)
                            : int(std::floor(double(done) / double(total) * kByteScale));
            if (done < total)
                value = std::min(value, kByteScale - 1);
            g1->setValue(value);
        } else {
            g1->setValue(gPos);
        }
    } else {
        g1->setValue(g1->maximum());
        if (!g1->isRunning())
            g1->setRunning(true);
    }
}

void TfrmQdxMain::SearchFinished(uint32_t Elapsed) {
    const TDuplicateResult* result = GetSearchHolper().DuplicateResult();
    const int files = result != nullptr ? LoadResultGroups(*result) : 0;
    MarkReferenceRows();
    const int64_t groups = result != nullptr ? int64_t(result->size()) : 0;
    g1->setValue(0);
    g1->setRunning(false);
    ani1->setState(TOrlaAnimation::Complete);
    QString summary =
        FormatMessageText("searchduplicateover", {asInteger(groups), files, Elapsed / 1000});
    if (files > 0)
        summary =
            JoinSentences({summary, TextFollowedBy(langText("Message", "ExtraCopiesSize",
                                                            "Space taken by the extra copies:"),
                                                   FormatFileSize(ExtraCopiesBytes()))});
    SetSummaryLine(summary);
    tmrInfo->stop();
    ShowInputArea();
    btnScan->show();
    btnCancel->hide();
    pnlOp->setVisible(model->RowCount() > 0);
    vtFile->setEmptyText(files == 0 ? langText("Message", "NoDuplicates", "No duplicates found")
                                    : QString());
    FState = TMainState::Results;
    RefreshDeleteButton();
    repaint();
    emit SearchEnded();
}

void TfrmQdxMain::ShowProgressArea() {
    for (QWidget* w :
         {static_cast<QWidget*>(lblcaption), static_cast<QWidget*>(lblLocation),
          static_cast<QWidget*>(edPath), static_cast<QWidget*>(btnFolder),
          static_cast<QWidget*>(btnFolderList), static_cast<QWidget*>(cbbMode), inputArea_})
        w->hide();
    for (QWidget* w : {static_cast<QWidget*>(lblinfo), static_cast<QWidget*>(g1), progressArea_})
        w->show();
}

void TfrmQdxMain::ShowInputArea() {
    for (QWidget* w : {static_cast<QWidget*>(lblinfo), static_cast<QWidget*>(g1), progressArea_})
        w->hide();
    for (QWidget* w :
         {static_cast<QWidget*>(lblcaption), static_cast<QWidget*>(lblLocation),
          static_cast<QWidget*>(edPath), static_cast<QWidget*>(btnFolder),
          static_cast<QWidget*>(btnFolderList), static_cast<QWidget*>(cbbMode), inputArea_})
        w->show();
}

// --- Results list ----------------------------------------------------------------------

int TfrmQdxMain::LoadResultGroups(const TDuplicateResult& Groups) {
    return AppendResultGroups(*model, Groups, FCount, uint32_t(AppConfig.GroupColor1),
                              uint32_t(AppConfig.GroupColor2));
}

void TfrmQdxMain::AddGroupRows(const TDuplicateGroup& Group) {
    AppendGroupRows(*model, Group, FCount, uint32_t(AppConfig.GroupColor1),
                    uint32_t(AppConfig.GroupColor2));
}

void TfrmQdxMain::ClearResults() {
    model->BeginUpdate();
    model->Clear();
    model->EndUpdate();
    // No row is ticked any more: nothing to delete or replace.
    RefreshDeleteButton();
}

void TfrmQdxMain::LocalizeColumns() {
    static const struct {
        const char* key;
        const char* caption;
    } columns[kResultsColumnCount] = {{"FileName", "File Name"},
                                      {"FolderName", "Path"},
                                      {"FileSize", "File Size"},
                                      {"LastDate", "Modify time"},
                                      {"CreateDate", "Create time"}};
    const int count = std::min<int>(kResultsColumnCount, model->columnCount());
    for (int i = 0; i < count; ++i)
        model->setColumnCaption(i, QString::fromStdString(ReadLangString("Message", columns[i].key,
                                                                         columns[i].caption)));
    vtFile->setDefaultOrderText(
        langText("Translation", "ppmDefaultOrder", "Default Order (by Size)"));

    int widths[kResultsColumnCount];
    DefaultResultColumnWidths(vtFile->font(), QLocale::system(), widths);
    const int saved[kResultsColumnCount] = {AppConfig.header0, AppConfig.header1, AppConfig.header2,
                                            AppConfig.header3, AppConfig.header4};
    if (std::all_of(std::begin(saved), std::end(saved), [](int w) { return w > 0; }))
        std::copy(std::begin(saved), std::end(saved), widths);
    vtFile->setColumnWidths(widths);
}

int TfrmQdxMain::CheckedCount() const {
    return model->CheckedCount();
}

void TfrmQdxMain::vtFileChecked() {
    RefreshDeleteButton();
}

void TfrmQdxMain::vtfileMouseUp(const QPoint& GlobalPos, int) {
    if (pmPopBeforPopup())
        pmPop->popup(GlobalPos);
}

// --- Selection commands ----------------------------------------------------------------

void TfrmQdxMain::btnSelInsteadClick(int Tag) {
    if (FDeleting)
        return;
    model->BeginUpdate();
    switch (Tag) {
    case 0:
        if (model->RowCount() == 0) {
            model->EndUpdate();
            return;
        }
        pmKeepOne->popup(pmKeepOnePopup());
        break;
    case 1:
        SelectAllRows(*model);
        break;
    case 2:
        InvertRows(*model);
        break;
    default:
        break;
    }
    model->EndUpdate();
    RefreshDeleteButton();
}

QPoint TfrmQdxMain::pmKeepOnePopup() const {
    const QPoint corner = wspnl4->mapToGlobal(QPoint(0, 0));
    return {corner.x(), corner.y() - pmKeepOne->sizeHint().height()};
}

void TfrmQdxMain::KeepOneItemClick(int Tag) {
    if (FDeleting)
        return;
    // A time rule never ticks a reference row (the list refuses), so reference copies
    // stay beside the kept file; the reference rule keeps them instead of one by time.
    if (Tag == koReference ? KeepReferenceCopiesRule() : KeepOneRows(*model, Tag))
        RefreshDeleteButton();
}

void TfrmQdxMain::BuildPopupMenus() {
    QStringList captions;
    for (const char* key : {"ppmLastCreate", "ppmFirstCreate", "-", "ppmLastWrite", "ppmFirstWrite",
                            "-", "ppmKeepReference"})
        captions << QString::fromStdString(ReadLangString("Translation", key, key));
    pmKeepOne->Build(captions);
    // The entries' Tags count from 1.
    const QList<QAction*> entries = pmKeepOne->actions();
    for (qsizetype i = 0; i < entries.size(); ++i)
        entries[i]->setData(int(i + 1));

    // The row menu: an entry whose text the pack lacks becomes a separator.
    captions.clear();
    for (const char* key :
         {"ppmExecute", "ppmFileProperties", "ppmOpen", "-", "ppmDelete", "-", "ppmExport"})
        captions << QString::fromStdString(ReadLangString("Translation", key, "-"));
    pmPop->Build(captions);
    const QList<QAction*> rowEntries = pmPop->actions();
    for (qsizetype i = 0; i < rowEntries.size(); ++i)
        rowEntries[i]->setData(int(i + 1));
    BuildReplaceMenus();
}

// --- Row menu and CSV export -----------------------------------------------------------

bool TfrmQdxMain::pmPopBeforPopup() const {
    return !FDeleting && model->RowCount() > 0 && vtFile->selectedRow() >= 0;
}

void TfrmQdxMain::PopupItemClick(int Tag) {
    if (FDeleting)
        return;
    const int row = vtFile->selectedRow();
    if (row < 0)
        return;
    const TFileRow* record = model->Row(row);
    if (record == nullptr || record->FileInfo == nullptr)
        return;
    const std::string path = record->FileInfo->FileName;
    switch (Tag) {
    case 1:
        OpenWithAssociatedProgram(path);
        break;
    case 2:
        ShowFileProperties(path, this);
        break;
    case 3:
        ShowInFolder(path);
        break;
    case 5:
        // Always for good, whatever RecycleDelete says; no backup.
        DeleteRowFile(row);
        break;
    case 7:
        ExportToCsv();
        break;
    case kRowMenuHardLink:
    case kRowMenuClone:
        ReplaceRowFile(row, Tag == kRowMenuClone ? TReplaceKind::Clone : TReplaceKind::HardLink);
        break;
    default:
        break;
    }
}

void TfrmQdxMain::ExportToCsv() {
    if (model->RowCount() == 0 || !CsvFileChooser)
        return;
    const QString fileName = CsvFileChooser(this);
    if (fileName.isEmpty())
        return;
    QString error;
    if (!ExportResultsToCsv(*model, fileName, &error))
        ShowMessageDlg(mtError, CsvExportErrorMessage(fileName, error), {mbOK});
}

// --- Main menu -------------------------------------------------------------------------

void TfrmQdxMain::ppmSettingsClick() {
    if (FDeleting)
        return;
    if (ShowSettingsDialog(this, QStringLiteral("Sys")) == QDialog::Accepted) {
        SaveAppConfig();
        ShowFolderLine();
    }
}

void TfrmQdxMain::ppmRestoreFileClick() {
    if (FDeleting)
        return;
    ShowBackupManager(this, whintwin1);
}

void DefaultResultColumnWidths(const QFont& Font, const QLocale& Locale,
                               int (&Widths)[kResultsColumnCount]) {
    std::copy(std::begin(TResultsView::kDefaultWidths), std::end(TResultsView::kDefaultWidths),
              Widths);
    // A wide date-time: two-digit day and month, a late hour with seconds.
    double sample = 0;
    platform::encodeDateTime({2026, 12, 28, 23, 58, 58, 0}, sample);
    const int needed = QFontMetrics(Font).horizontalAdvance(DateTimeText(sample, Locale)) +
                       2 * TResultsView::kTextMargin + 4;
    for (int column : {colLastDate, colCreateDate})
        Widths[column] = std::max(Widths[column], needed);
}

QPoint CentredPosition(const QSize& size, const QRect& available) {
    const int x = available.x() + std::max(0, (available.width() - size.width()) / 2);
    const int y = available.y() + std::max(0, (available.height() - size.height()) / 2);
    return {x, y};
}

} // namespace pelidor
