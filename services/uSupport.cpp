#include "services/uSupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QPalette>
#include <QScreen>
#include <QShowEvent>
#include <QTemporaryFile>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "config/uLanguage.h"
#include "services/PageScript.h"
#include "services/ServiceAddresses.h"
#include "services/UCatch.h"
#include "services/UCheckNewThread.h"
#include "services/UnreadAnswer.h"
#include "services/uUploadFile.h"
#include "shell/SharedHelpers.h"
#include "shell/SharedHelpersGui.h"
#include "ui/toolkit/OrlaMsgBox.h"

namespace pelidor {

namespace {

// What the placed script writes to the console when a page link was clicked, followed by
// the link's address.
const QString kPageLinkMarker = QStringLiteral("pelidor-support-link:");

// Placed into every page before its own scripts run, in a script world of its own. It
// catches clicks (mouse or keyboard) on links whose address is exactly one of the three
// page links, before the page sees them, and reports them through the console.
QString PageLinkScript() {
    return QStringLiteral(R"JS(
(function () {
  var links = ["javascript:screenshot;", "javascript:add-image;", "javascript:add-file;"];
  window.addEventListener("click", function (event) {
    var node = event.target;
    while (node && !(node.nodeType === 1 && node.localName === "a"))
      node = node.parentNode;
    if (!node)
      return;
    var href = node.getAttribute("href");
    if (links.indexOf(href) < 0)
      return;
    event.preventDefault();
    event.stopImmediatePropagation();
    console.log("%1" + href);
  }, true);
})();
)JS")
        .arg(kPageLinkMarker);
}

QString PackText(const char* Key, const char* Default) {
    return QString::fromStdString(ReadLangString("Message", Key, Default));
}

// True for a failed load that means the service could not be reached (no connection,
// no name, a broken answer, a refused certificate), as against an aborted load or a page
// the service answered with an error status.
bool ServiceUnreachable(const QWebEngineLoadingInfo& Info) {
    if (Info.status() != QWebEngineLoadingInfo::LoadFailedStatus)
        return false;
    switch (Info.errorDomain()) {
    case QWebEngineLoadingInfo::ConnectionErrorDomain:
    case QWebEngineLoadingInfo::CertificateErrorDomain:
    case QWebEngineLoadingInfo::HttpErrorDomain:
    case QWebEngineLoadingInfo::FtpErrorDomain:
    case QWebEngineLoadingInfo::DnsErrorDomain:
        return true;
    default:
        return false;
    }
}

bool IsPageLink(const QString& Text) {
    return Text == TFrmOrlaSupport::kLinkScreenshot || Text == TFrmOrlaSupport::kLinkAddImage ||
           Text == TFrmOrlaSupport::kLinkAddFile;
}

// An address in the form navigations are compared in.
QString AddressText(const QString& Address) {
    return QUrl(Address).toString(QUrl::FullyEncoded);
}

QString QueryValue(const QString& Value) {
    return QString::fromLatin1(QUrl::toPercentEncoding(Value, "{}"));
}

} // namespace

// ---- TSupportPage ------------------------------------------------------------------------

TSupportPage::TSupportPage(TFrmOrlaSupport* Support, QObject* Parent)
    : QWebEnginePage(Parent), FSupport(Support) {
    QWebEngineScript script;
    script.setName(QStringLiteral("pelidor-page-links"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(true);
    script.setSourceCode(PageLinkScript());
    scripts().insert(script);
}

bool TSupportPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) {
    if (!isMainFrame)
        return true;
    return FSupport->wb1BeforeNavigate2(url);
}

void TSupportPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message,
                                            int, const QString&) {
    if (!message.startsWith(kPageLinkMarker))
        return;
    const QString link = message.mid(kPageLinkMarker.size());
    if (!IsPageLink(link))
        return;
    // Run once the page's event has returned: the link may open modal windows.
    QMetaObject::invokeMethod(
        FSupport, [support = FSupport, link] { support->PageLink(link); }, Qt::QueuedConnection);
}

// ---- TFrmOrlaSupport ---------------------------------------------------------------------

TFrmOrlaSupport* TFrmOrlaSupport::InitOrlaSupport(const QString& GUID, int product_id,
                                                  const QString& version, void*, QWidget* AHandle) {
    auto* support = new TFrmOrlaSupport();
    support->FGUID = GUID;
    support->FProduct = product_id;
    support->FVersion = version;
    if (AHandle != nullptr)
        support->fWinHandle = AHandle;
    support->GetMessage();
    return support;
}

TFrmOrlaSupport::TFrmOrlaSupport(QWidget* Parent)
    : QWidget(Parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FrmOrlaSupport"));
    setWindowTitle(QStringLiteral("Support Center"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    FOsVer = QString::fromStdString(GetWindowsVersionText());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    pnlwork = new QWidget(this);
    pnlwork->setObjectName(QStringLiteral("pnlwork"));
    pnlwork->setAutoFillBackground(true);
    QPalette pal = pnlwork->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pnlwork->setPalette(pal);
    layout->addWidget(pnlwork);

    // The browser is made when the window is first shown: the unread query at start
    // needs none, and the web engine then starts only for users who open the window.
    new QVBoxLayout(pnlwork);
    pnlwork->layout()->setContentsMargins(0, 0, 0, 0);

    wmsg1 = new TOrlaMsgBox(this);
    wmsg1->setBtnCaptionYes(QStringLiteral("Yes"));
    wmsg1->setBtnCaptionNo(QStringLiteral("No"));
    wmsg1->setBtnCaptionOk(QStringLiteral("Ok"));

    setFixedSize(kDesignWidth, kDesignHeight);
    CenterOnScreen();
}

TFrmOrlaSupport::~TFrmOrlaSupport() {
    // A running upload ends here, silently, before the window's parts go; so does its
    // temporary screenshot.
    delete FUploadThread.data();
    if (!FPendingTemporary.isEmpty())
        QFile::remove(FPendingTemporary);
}

TUploadThread* TFrmOrlaSupport::UploadThread() const {
    return FUploadThread.data();
}

QString TFrmOrlaSupport::FeedbackAddress(const QString& To) {
    return QString::fromStdString(FeedbackUrl(ServiceAddresses(), To.toStdString()));
}

QString TFrmOrlaSupport::IdentificationSuffix() const {
    // Joined piece by piece: a value may hold "%" followed by digits.
    return "&guid=" + QueryValue(FGUID) + "&product_id=" + QString::number(FProduct) +
           "&version=" + QueryValue(FVersion) + "&system_info=" + QueryValue(FOsVer) + "&vip=1";
}

bool TFrmOrlaSupport::NeedsIdentification(const QString& Url) {
    if (Url.contains(QLatin1String("guid")))
        return false;
    const QString text = AddressText(Url);
    return text.startsWith(AddressText(FeedbackAddress(QStringLiteral("write-question")))) ||
           text.startsWith(AddressText(FeedbackAddress(QStringLiteral("question")))) ||
           text.compare(AddressText(FeedbackAddress(QStringLiteral("my-feedback"))),
                        Qt::CaseInsensitive) == 0;
}

std::vector<int> TFrmOrlaSupport::ParseUnreadAnswer(const QString& Answer) {
    return pelidor::ParseUnreadAnswer(Answer);
}

bool TFrmOrlaSupport::GetMessage() {
    const QString url =
        FeedbackAddress(QStringLiteral("fetch-unread-message")) + "&guid=" + QueryValue(FGUID);
    GetUrlText(url, this, [this](const QString& Text) {
        if (Text.isEmpty())
            return; // no answer: nothing to report
        FMsgIds = ParseUnreadAnswer(Text);
        emit SupportMessages(GetMessageCount());
    });
    return true;
}

void TFrmOrlaSupport::CreateBrowser() {
    if (wb1 != nullptr)
        return;
    wb1 = new QWebEngineView(pnlwork);
    wb1->setObjectName(QStringLiteral("wb1"));
    wb1->setContextMenuPolicy(Qt::NoContextMenu);
    auto* page = new TSupportPage(this, wb1);
    wb1->setPage(page);
    wb1->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, true);
    pnlwork->layout()->addWidget(wb1);
    connect(page, &QWebEnginePage::loadFinished, this, [this] { wb1NavigateComplete2(); });
    // The engine's own error page is off: an unreachable service gets the window's page.
    wb1->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    connect(page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo& info) {
        if (ServiceUnreachable(info))
            ShowOfflinePage(info.url());
    });
    // A page's new window goes to the user's browser: only after a user's click in the
    // page, and only a web address.
    connect(page, &QWebEnginePage::newWindowRequested, this,
            [](QWebEngineNewWindowRequest& request) {
                const QString url = request.requestedUrl().toString(QUrl::FullyEncoded);
                if (!request.isUserInitiated()) {
                    qWarning("pelidor: the support page asked for a new window without a "
                             "click; ignored: %s",
                             qUtf8Printable(url.left(200)));
                    return;
                }
                OpenWebAddress(url);
            });
}

QString TFrmOrlaSupport::OfflinePage(const QUrl& Retry) {
    const QString title = PackText("SupportOffline", "The Support Center cannot be reached");
    const QString text =
        PackText("SupportOfflineHint", "Check that this computer is connected to the Internet, "
                                       "then try again.");
    const QString button = PackText("SupportRetry", "Try again");
    const QString font = QString::fromStdString(GetLangFontName());
    // A plain link back to the page that failed: it takes the window's usual way through
    // the navigation checks and needs no script.
    return QStringLiteral(R"HTML(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>%1</title>
<style>
html, body { height: 100%; margin: 0; }
body { display: flex; align-items: center; justify-content: center; background: #fff;
       color: #383838; font-family: "%5", "Noto Sans", "DejaVu Sans", sans-serif; }
main { max-width: 460px; padding: 24px; text-align: center; }
svg { margin-bottom: 12px; }
h1 { font-size: 19px; font-weight: 600; margin: 0 0 10px; }
p { font-size: 14px; line-height: 1.5; margin: 0 0 22px; }
a { display: inline-block; padding: 7px 24px; border-radius: 3px; background: #2f7fd8;
    color: #fff; font-size: 14px; text-decoration: none; }
a:hover { background: #2468b5; }
a:focus { outline: 2px solid #1b4f8a; outline-offset: 2px; }
</style></head>
<body><main>
<svg width="56" height="56" viewBox="0 0 56 56" aria-hidden="true">
<path d="M16 40h25a9 9 0 0 0 1-17.9A13 13 0 0 0 17 19a10.5 10.5 0 0 0-1 21z" fill="none"
      stroke="#9aa5b1" stroke-width="3" stroke-linejoin="round"/>
<path d="M12 12l32 32" stroke="#9aa5b1" stroke-width="3" stroke-linecap="round"/>
</svg>
<h1>%2</h1>
<p>%3</p>
<a id="retry" href="%4">%6</a>
</main></body></html>
)HTML")
        .arg(title.toHtmlEscaped(), title.toHtmlEscaped(), text.toHtmlEscaped(),
             Retry.toString(QUrl::FullyEncoded).toHtmlEscaped(), font.toHtmlEscaped(),
             button.toHtmlEscaped());
}

void TFrmOrlaSupport::ShowOfflinePage(const QUrl& Failed) {
    if (wb1 == nullptr || !IsWebAddress(Failed.toString(QUrl::FullyEncoded)))
        return;
    FOfflineRetry = Failed;
    FLoadingOffline = true;
    wb1->page()->setHtml(OfflinePage(Failed));
}

void TFrmOrlaSupport::ShowForm() {
    if (!Finit) {
        CreateBrowser();
        QString target;
        if (FMsgIds.empty())
            target = FeedbackAddress(QStringLiteral("home"));
        else if (FMsgIds.size() == 1)
            target = FeedbackAddress(QStringLiteral("question")) +
                     "&id=" + QString::number(FMsgIds.front());
        else
            target = FeedbackAddress(QStringLiteral("my-feedback"));
        wb1->setUrl(QUrl(target));

        QWidget* over = fWinHandle != nullptr ? fWinHandle.data() : QApplication::activeWindow();
        if (over != nullptr && over != this && over->isVisible())
            move(over->frameGeometry().center() - rect().center());
        else
            CenterOnScreen();
    }
    FMsgIds.clear();
    show();
    raise();
    activateWindow();
}

void TFrmOrlaSupport::CenterOnScreen() {
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFrmOrlaSupport::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFrmOrlaSupport::FormShow() {
    Finit = true;
}

bool TFrmOrlaSupport::wb1BeforeNavigate2(const QUrl& Url) {
    // The window's own page for an unreachable service, set a moment ago.
    if (FLoadingOffline && Url.scheme() == QLatin1String("data")) {
        FLoadingOffline = false;
        return true;
    }
    FLoadingOffline = false; // another navigation came first: the page is not admitted later
    const QString text = Url.toString(QUrl::FullyEncoded);
    if (NeedsIdentification(text)) {
        const QUrl next = QUrl::fromEncoded((text + IdentificationSuffix()).toUtf8());
        QMetaObject::invokeMethod(
            this, [this, next] { wb1->setUrl(next); }, Qt::QueuedConnection);
        return false;
    }
    if (IsPageLink(text)) {
        QMetaObject::invokeMethod(
            this, [this, text] { PageLink(text); }, Qt::QueuedConnection);
        return false;
    }
    // Pages are web pages: other schemes would go to their handlers on the desktop.
    if (!IsWebAddress(text) && text != QLatin1String("about:blank")) {
        qWarning("pelidor: the support page asked for an address that is not a web address; "
                 "refused: %s",
                 qUtf8Printable(text.left(200)));
        return false;
    }
    return true;
}

void TFrmOrlaSupport::wb1NavigateComplete2() {
    // The running upload's result no longer belongs to the page on show.
    FUploadFileName.clear();
    ++FUploadSerial;
}

void TFrmOrlaSupport::PageLink(const QString& Link) {
    if (Link == kLinkScreenshot)
        ScreenshotFlow();
    else if (Link == kLinkAddImage)
        PickAndUpload(kImageFilter);
    else if (Link == kLinkAddFile)
        PickAndUpload(kArchiveFilter);
}

void TFrmOrlaSupport::PickAndUpload(const QString& Filter) {
    const QString file = FilePicker
                             ? FilePicker(Filter)
                             : QFileDialog::getOpenFileName(this, QString(), QString(), Filter);
    if (!file.isEmpty())
        UploadFile(file);
}

void TFrmOrlaSupport::ScreenshotFlow() {
    if (FCapturing)
        return;
    FCapturing = true;
    hide();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 100)
        QApplication::processEvents(QEventLoop::AllEvents, 20);

    if (!FFrmCatch)
        FFrmCatch = std::make_unique<TFrmCatch>();
    const int result = CatchRunner ? CatchRunner(*FFrmCatch) : FFrmCatch->exec();
    show();
    raise();
    activateWindow();
    FCapturing = false;
    if (result != kCatchOk)
        return;

    QTemporaryFile file(QDir::tempPath() + QStringLiteral("/orlaXXXXXX.png"));
    file.setAutoRemove(false);
    if (!file.open())
        return;
    const QString name = file.fileName();
    file.close();
    if (!FFrmCatch->SaveNewPng(name)) {
        QFile::remove(name);
        return;
    }
    FLastScreenshot = name;
    UploadFile(name);
    if (FUploadThread.isNull() || FPendingTemporary != name)
        QFile::remove(name); // not uploaded (another upload runs): not kept either
}

void TFrmOrlaSupport::UploadFile(const QString& FileName) {
    if (!FUploadFileName.isEmpty())
        return; // one upload at a time
    // Only regular files (or links to them): a folder, a device or a FIFO is no attachment
    // (reading a FIFO would wait for a writer for ever).
    if (!QFileInfo(FileName).isFile()) {
        qWarning("pelidor: not a regular file; not uploaded: %s", qUtf8Printable(FileName));
        return;
    }
    if (UploadFileTooLarge(FileName)) {
        wmsg1->OrlaMessageDlg(kTooLargeTitle, kTooLargeMessage, mtError, {mbOK}, this);
        return;
    }
    FUploadFileName = FileName;
    FUploadResult.clear();
    const quint64 serial = ++FUploadSerial;
    auto* thread = new TUploadThread(this);
    thread->AddFile(QStringLiteral("file"), FileName);
    // Runs on the upload thread: only posts.
    thread->FBeginUpload = [this, serial](TUploadThread*) {
        QMetaObject::invokeMethod(
            this, [this, serial] { UploadMessage(0, serial); }, Qt::QueuedConnection);
    };
    // The screenshot flow's picture is the program's own temporary file: it goes once
    // its upload has ended, whatever became of the upload.
    const bool temporary = FileName == FLastScreenshot;
    if (temporary)
        FPendingTemporary = FileName;
    thread->FEndUpload = [this, serial, temporary, FileName](TUploadThread* Sender) {
        if (temporary) {
            QFile::remove(FileName);
            if (FPendingTemporary == FileName)
                FPendingTemporary.clear();
        }
        if (serial != FUploadSerial)
            return; // dropped by a navigation
        const QString answer = Sender->GetResult();
        FUploadResult = answer.isEmpty() ? QString::fromLatin1(kUploadFailureAnswer) : answer;
        QMetaObject::invokeMethod(
            this, [this, serial] { UploadMessage(1, serial); }, Qt::QueuedConnection);
    };
    FUploadThread = thread;
    thread->UpLoad(FeedbackAddress(QStringLiteral("upload-file")));
}

void TFrmOrlaSupport::UploadMessage(int Code, quint64 Serial) {
    if (Serial != FUploadSerial || FUploadFileName.isEmpty())
        return;
    const QFileInfo info(FUploadFileName);
    if (Code == 0) {
        RunPageScript(
            PageScriptCall(QStringLiteral("uploadBegain"), {info.fileName(), info.suffix()}));
    } else if (Code == 1 && !FUploadResult.isEmpty()) {
        RunPageScript(PageScriptCall(QStringLiteral("uploadCallback"),
                                     {info.fileName(), FormUrlEncode(FUploadResult)}));
        FUploadFileName.clear();
    }
}

void TFrmOrlaSupport::RunPageScript(const QString& Script) {
    if (wb1 == nullptr || wb1->url().isEmpty())
        return; // no document
    wb1->page()->runJavaScript(Script, QWebEngineScript::MainWorld);
}

} // namespace pelidor
