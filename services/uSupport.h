// The support window: the feedback service's web pages in an embedded browser (Qt
// WebEngine), with the user's identity added to the pages that need it, three page links
// turned into program actions (a screenshot, an image, an archive) and attachment uploads
// reported back to the page.
//
// The unread query: InitOrlaSupport asks the feedback service once
// ("to=fetch-unread-message&guid=..." through GetUrlText, asynchronous) how many answers
// are unread. The answer must be a JSON array; each element that is an object with a
// numeric "id" is one unread answer (other elements are skipped). Anything else gives a
// count of 0. When the answer has been handled, SupportMessages(count) is emitted; the
// main window repaints its caption bar then and asks GetMessageCount. A failed query emits
// nothing and leaves the count at 0.
//
// Page links: "javascript:" addresses never reach the browser's navigation handler, so a
// script placed into every page (in its own script world, out of the page's reach) catches
// clicks on links whose address is exactly "javascript:screenshot;",
// "javascript:add-image;" or "javascript:add-file;", cancels them and hands them to the
// window.
//
// Uploads: one at a time (a request while one runs is ignored); only regular files;
// files above 5 MiB are refused with a message (exactly 5 MiB passes), and the upload
// checks the size again when it starts. A screenshot's temporary file is removed once
// its upload has ended. Addresses from the pages: main-frame navigations go only to web
// addresses (other schemes are refused and logged); a page's new window goes to the
// user's browser only after a click in the page and only for an http or https address. The page
// hears uploadBegain(name, ext) when the post starts and uploadCallback(name, answer) when it ends,
// the answer form-URL-encoded; both texts are escaped as JavaScript string literals. Any completed
// navigation drops the running upload: its events no longer reach any page, nor can they
// be taken for those of a later upload.
//
// An unreachable service (no connection, no name, a broken answer, a refused certificate)
// gets the window's own short page in the language pack's words instead of the browser
// engine's error page (which is off): a title, a hint and a "try again" link to the
// address that failed. A page the service answers with an error status is shown as it is.
#pragma once

#include <QImage>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWebEnginePage>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

class QWebEngineView;

namespace pelidor {

class TFrmCatch;
class TOrlaMsgBox;
class TUploadThread;
class TFrmOrlaSupport;

// The browser page of the support window: it hands every main-frame navigation to the
// window first, and the page-link messages of the placed script.
class TSupportPage : public QWebEnginePage {
    Q_OBJECT

public:
    TSupportPage(TFrmOrlaSupport* Support, QObject* Parent);

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override;
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message,
                                  int lineNumber, const QString& sourceID) override;

private:
    TFrmOrlaSupport* FSupport;
};

// The product number the main window sends to the feedback service.
inline constexpr int kSupportProductId = 17;

class TFrmOrlaSupport : public QWidget {
    Q_OBJECT

public:
    // The client size at design time.
    static constexpr int kDesignWidth = 682;
    static constexpr int kDesignHeight = 481;
    // The page links.
    static inline const QString kLinkScreenshot = QStringLiteral("javascript:screenshot;");
    static inline const QString kLinkAddImage = QStringLiteral("javascript:add-image;");
    static inline const QString kLinkAddFile = QStringLiteral("javascript:add-file;");
    // The file picker's filters (pictures; archives).
    static inline const QString kImageFilter = QStringLiteral("(*.png *.jpg *.jpeg *.gif)");
    static inline const QString kArchiveFilter = QStringLiteral("(*.zip *.rar *.7z)");
    // The message for a file above the upload limit, and its title (not translated).
    static inline const QString kTooLargeMessage =
        QStringLiteral("The file can't be larger than 5M");
    static inline const QString kTooLargeTitle = QStringLiteral("Confirm");

    // Creates the hidden window (the caller owns it) with the user identifier, the product
    // number and the version text, and starts the unread query. AHandle, when given, is the
    // window the count is meant for (kept as fWinHandle). ncres is not used.
    static TFrmOrlaSupport* InitOrlaSupport(const QString& GUID, int product_id,
                                            const QString& version, void* ncres = nullptr,
                                            QWidget* AHandle = nullptr);

    explicit TFrmOrlaSupport(QWidget* Parent = nullptr);
    ~TFrmOrlaSupport() override;

    // Starts the unread query; always true.
    bool GetMessage();
    // The number of unread answers known.
    int GetMessageCount() const { return int(FMsgIds.size()); }
    // Opens the window: on its first showing at "to=home" (nothing unread), "to=question"
    // with the id (one unread) or "to=my-feedback" (several); a window shown before keeps
    // its page. Empties the unread list either way.
    void ShowForm();

    // The feedback service's address for To ("home", "question", ...), read from the
    // settings each time.
    static QString FeedbackAddress(const QString& To);
    // "&guid=...&product_id=...&version=...&system_info=...&vip=1" of this window's values
    // (each value percent-encoded where it holds characters that do not belong in a query).
    QString IdentificationSuffix() const;
    // True when the address Url must carry the identification suffix: it holds no "guid"
    // and begins with the "to=write-question" or the "to=question" address, or equals the
    // "to=my-feedback" address without regard to case.
    static bool NeedsIdentification(const QString& Url);
    // The unread answers in a query answer; empty for anything but a JSON array.
    static std::vector<int> ParseUnreadAnswer(const QString& Answer);

    // Before a navigation of the main frame: false cancels it (and may start another one).
    bool wb1BeforeNavigate2(const QUrl& Url);
    // A page link caught by the placed script.
    void PageLink(const QString& Link);
    // Uploads FileName unless an upload runs or the file is above the limit.
    void UploadFile(const QString& FileName);
    // The page shown instead of the service's when it cannot be reached (no connection,
    // no name, a broken answer): the pack's texts and a "try again" link to Retry.
    static QString OfflinePage(const QUrl& Retry);
    // The address the offline page on show tries again (empty before the first one).
    QUrl OfflineRetry() const { return FOfflineRetry; }

    QPointer<QWidget> fWinHandle;
    QString FUploadFileName;
    QString FUploadResult;
    QString FGUID = QStringLiteral("TFrmSupport");
    int FProduct = 1;
    QString FVersion;
    bool Finit = false;
    QString FOsVer;
    std::vector<int> FMsgIds;

    QWidget* pnlwork = nullptr;
    QWebEngineView* wb1 = nullptr; // made on the first showing
    TOrlaMsgBox* wmsg1 = nullptr;

    // Seams. FilePicker(Filter) asks for a file (empty: none chosen); default: a file
    // dialog for existing files. CatchRunner shows the capture window modally and returns
    // its result (kCatchOk when NewPng holds a picture); default: Catch.exec().
    std::function<QString(const QString& Filter)> FilePicker;
    std::function<int(TFrmCatch& Catch)> CatchRunner;
    // Where the screenshot flow saved its last picture (empty before); the file itself
    // is removed once its upload has ended.
    QString LastScreenshotFile() const { return FLastScreenshot; }
    // The running upload (null when none).
    TUploadThread* UploadThread() const;

signals:
    // The unread query has ended with Count unread answers.
    void SupportMessages(int Count);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void wb1NavigateComplete2();
    // Makes the browser wb1 on the first showing.
    void CreateBrowser();
    void ScreenshotFlow();
    void PickAndUpload(const QString& Filter);
    // Message 2390: 0 upload started, 1 upload finished; Serial names the upload.
    void UploadMessage(int Code, quint64 Serial);
    void RunPageScript(const QString& Script);
    void ShowOfflinePage(const QUrl& Failed);
    void CenterOnScreen();

    QString FLastScreenshot;
    QString FPendingTemporary; // the screenshot file of the running upload
    std::unique_ptr<TFrmCatch> FFrmCatch;
    QPointer<TUploadThread> FUploadThread;
    quint64 FUploadSerial = 0;
    bool FCapturing = false;
    QUrl FOfflineRetry;
    bool FLoadingOffline = false;
};

} // namespace pelidor
