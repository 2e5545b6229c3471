#include "services/uNewsletter.h"

#include <QGuiApplication>
#include <QPalette>
#include <QPointer>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "config/uLanguage.h"
#include "services/UCheckNewThread.h"
#include "shell/SharedHelpersGui.h"
#include "ui/toolkit/OrlaStyle.h"

namespace pelidor {

namespace {

// The news page: its main frame goes only to web addresses; another scheme would be
// handed to that scheme's handler on the desktop.
class TNewsPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        const QString text = url.toString(QUrl::FullyEncoded);
        if (!isMainFrame || IsWebAddress(text) || text == QLatin1String("about:blank"))
            return true;
        qWarning("pelidor: the news page asked for an address that is not a web address; "
                 "refused: %s",
                 qUtf8Printable(text.left(200)));
        return false;
    }
};

} // namespace

Tfrmupdate::Tfrmupdate(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint) {
    setObjectName(QStringLiteral("frmupdate"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ColorOf(kDefaultColor));
    setPalette(pal);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    wb1 = new QWebEngineView(this);
    wb1->setObjectName(QStringLiteral("wb1"));
    wb1->setContextMenuPolicy(Qt::NoContextMenu);
    wb1->setPage(new TNewsPage(wb1));
    wb1->settings()->setAttribute(QWebEngineSettings::ShowScrollBars, false);
    layout->addWidget(wb1);
    connect(wb1->page(), &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) {
                // Not opened here (the request stays unhandled, so it is dropped). A page
                // opens nothing by itself: only a request that follows a user's click.
                if (!request.isUserInitiated()) {
                    qWarning("pelidor: a news page asked for a new window without a click; "
                             "ignored: %s",
                             qUtf8Printable(request.requestedUrl().toString().left(200)));
                    return;
                }
                wb1NewWindow3(request.requestedUrl());
            });

    setFixedSize(kDesignWidth, kDesignHeight);
}

QColor Tfrmupdate::ColorOf(int64_t Value) {
    return QColor(int(Value & 0xFF), int((Value >> 8) & 0xFF), int((Value >> 16) & 0xFF));
}

void Tfrmupdate::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void Tfrmupdate::FormShow() {
    ApplyLangFont(this);
    LoadNews();
}

void Tfrmupdate::LoadNews() {
    wb1->setUrl(QUrl(Link));
}

void Tfrmupdate::wb1NewWindow3(const QUrl& Url) {
    // The address comes from the page: only a web address goes to the browser.
    if (!OpenWebAddress(Url.toString(QUrl::FullyEncoded)))
        return;
    // Closed once the page's event has returned.
    QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
}

void Tfrmupdate::ShowNewsletter(const QString& Title, const QString& NewsURL, int, int FormWidth,
                                int FormHeight, int64_t CaptionColor, QWidget* CenterOver) {
    Tfrmupdate window;
    window.Title = Title;
    window.setWindowTitle(Title);
    if (FormWidth > 0 && FormHeight > 0)
        window.setFixedSize(FormWidth, FormHeight);
    if (CaptionColor > 0) {
        QPalette pal = window.palette();
        pal.setColor(QPalette::Window, ColorOf(CaptionColor));
        window.setPalette(pal);
    }
    window.Link = NewsURL;
    // Centred over the main window (the screen without one).
    QRect area = CenterOver != nullptr ? CenterOver->window()->frameGeometry() : QRect();
    if (area.isEmpty())
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            area = screen->availableGeometry();
    if (!area.isEmpty())
        window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
    window.exec();
}

bool ShowNews(TGetNews*& News, std::string& MsgIds, QWidget* CenterOver,
              const std::function<void(const QString& Notice)>& ShowMessage) {
    if (News == nullptr || News->NewsList().empty()) {
        if (ShowMessage)
            ShowMessage(QString::fromStdString(
                ReadLangString("Message", "NoNews", "You have no unread message.")));
        return false;
    }
    const TNewsInfo first = News->NewsList().front();
    Tfrmupdate::ShowNewsletter(first.title, first.url, first.id, first.width, first.height,
                               first.color, CenterOver);
    MsgIds = AppendShownNewsId(MsgIds, first.id);
    // Only one announcement per run: the others go with the fetch, and the marker ends.
    TGetNews* done = News;
    News = nullptr;
    delete done;
    return true;
}

} // namespace pelidor
