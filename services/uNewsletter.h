// The news window: one announcement of the news service, a web page shown in an
// embedded browser (Qt WebEngine) in a small modal window that stays on top.
//
// The page is shown as it comes. When it asks for a new window (a link with a target,
// window.open) after a user's click in the page, that address goes to the user's browser
// instead (only an http or https address: anything else is refused and logged), the
// request is dropped and the news window closes. A request without a click is ignored.
#pragma once

#include <QColor>
#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>

class QWebEngineView;

namespace pelidor {

class TGetNews;
struct TNewsInfo;

class Tfrmupdate : public QDialog {
    Q_OBJECT

public:
    // The client size at design time.
    static constexpr int kDesignWidth = 490;
    static constexpr int kDesignHeight = 242;
    // The caption, client and border colour (a 0x00BBGGRR colour value).
    static constexpr int64_t kDefaultColor = 13992491;

    explicit Tfrmupdate(QWidget* parent = nullptr);

    QString Title;
    QString Link;
    QWebEngineView* wb1 = nullptr;

    // Shows one announcement modally and returns when the window has closed. The client
    // size becomes FormWidth x FormHeight when both are non-zero; CaptionColor (0x00BBGGRR)
    // colours the window when it is greater than 0. MsgID is not used by the window.
    // CenterOver: the window to centre on (the main window).
    static void ShowNewsletter(const QString& Title, const QString& NewsURL, int MsgID,
                               int FormWidth, int FormHeight, int64_t CaptionColor,
                               QWidget* CenterOver = nullptr);

    // The colour of a 0x00BBGGRR value.
    static QColor ColorOf(int64_t Value);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormShow();
    void LoadNews();
    void wb1NewWindow3(const QUrl& Url);
};

// The news button's click: when News holds an announcement, the first one is shown, its id
// appended to MsgIds (AppendShownNewsId) and News freed (which ends the unread marker);
// else the notice "NoNews" is shown through ShowMessage. Returns whether an announcement
// was shown.
bool ShowNews(TGetNews*& News, std::string& MsgIds, QWidget* CenterOver,
              const std::function<void(const QString& Notice)>& ShowMessage);

} // namespace pelidor
