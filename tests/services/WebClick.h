// Acting on a page of an embedded browser as a user does: a real mouse click on the
// browser's input widget, so that the page sees a user's gesture (a script's click()
// is none).
#pragma once

#include <QDesktopServices>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QTest>
#include <QUrl>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QWidget>

namespace pelidor::test {

// Records what the program hands to the desktop for the given schemes (instead of
// starting a browser or a scheme's handler).
class UrlRecorder : public QObject {
    Q_OBJECT

public:
    explicit UrlRecorder(QStringList schemes) : schemes_(std::move(schemes)) {
        for (const QString& scheme : schemes_)
            QDesktopServices::setUrlHandler(scheme, this, "open");
    }
    ~UrlRecorder() override {
        for (const QString& scheme : schemes_)
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QStringList urls;

public slots:
    void open(const QUrl& url) { urls << url.toString(); }

private:
    QStringList schemes_;
};

// Runs Script in the page (its own script world) and waits for its value.
inline QVariant runPageScript(QWebEnginePage* page, const QString& script, int timeoutMs = 10000) {
    bool done = false;
    QVariant value;
    page->runJavaScript(script, QWebEngineScript::ApplicationWorld, [&](const QVariant& v) {
        value = v;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, timeoutMs))
        return {};
    return value;
}

// Puts a link to Href (opening in Target, e.g. "_blank"; empty: this page) over the
// top-left corner of the page, replacing the one put there before, and clicks it with
// the mouse. False when the link could not be placed.
inline bool userClickLink(QWebEngineView* view, const QString& href, const QString& target) {
    const QString script =
        QStringLiteral("(function () {"
                       "  var old = document.getElementById('pelidor-test-link');"
                       "  if (old) old.remove();"
                       "  var a = document.createElement('a');"
                       "  a.id = 'pelidor-test-link';"
                       "  a.href = %1; if (%2) a.target = %2;"
                       "  a.textContent = 'link';"
                       "  a.style.cssText = 'position:fixed;left:0;top:0;width:120px;height:40px;"
                       "display:block;z-index:2147483647;background:#fff';"
                       "  document.body.appendChild(a);"
                       "  return a.getBoundingClientRect().height;"
                       "})()")
            .arg(QStringLiteral("'") + href + QStringLiteral("'"),
                 QStringLiteral("'") + target + QStringLiteral("'"));
    if (runPageScript(view->page(), script).toDouble() < 40)
        return false;
    QWidget* input = view->focusProxy() != nullptr ? view->focusProxy() : view;
    QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(40, 20));
    return true;
}

} // namespace pelidor::test
