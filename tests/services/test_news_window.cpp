// The news through the main window against the stand-in: the fetch at start, the unread
// marker, the news window showing the first announcement's page (Qt WebEngine), the read
// ids, a new-window request going to the user's browser, and the notice without news.
#include "MenuTestSupport.h"

#include "WebClick.h"
#include "services/uNewsletter.h"
#include "services/uSupport.h"

#include <cstdlib>

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QPainter>
#include <QWebEnginePage>
#include <QWebEngineView>

using namespace pelidor;
using namespace pelidor::menu_test;
using namespace pelidor::test;

namespace {

class NewsWindowTest : public MenuWindowTest {
protected:
    QString newsAnswer() const {
        const QString page = service().baseUrl() + "/corvane_feedback/index.php?to=home";
        QJsonArray news;
        news.append(QJsonObject{{"id", 41},
                                {"type", 1},
                                {"expired", "2999-12-31"},
                                {"lang", ""},
                                {"title", "Pelidor news"},
                                {"url", page},
                                {"FormWidth", 520},
                                {"FormHeight", 300},
                                {"color", 255}});
        news.append(QJsonObject{{"id", 42},
                                {"type", 1},
                                {"expired", "2999-12-31"},
                                {"lang", ""},
                                {"title", "Second"},
                                {"url", page}});
        return QString::fromUtf8(
            QJsonDocument(QJsonObject{{"servertime", QDate::currentDate().toString(Qt::ISODate)},
                                      {"news", news}})
                .toJson(QJsonDocument::Compact));
    }
};

TEST_F(NewsWindowTest, FirstAnnouncementShowsInTheNewsWindowAndIsMarkedRead) {
    service().setAnswerBody("news", newsAnswer());
    AppConfig.MsgIds = ",7";
    openWindow();
    ASSERT_TRUE(waitUntil([&] {
        return window->NewsThread() != nullptr && window->NewsThread()->NewsList().size() == 2;
    }));
    const QJsonArray requests = service().requests("news");
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests[0].toObject()["query"].toString(), QStringLiteral("to=checknews&pid=8"));
    EXPECT_TRUE(window->CaptionMarkerShown(wnbCustom1));

    DesktopUrlRecorder browser;
    UrlRecorder files({"file", "pelidor-test"});
    const QString elsewhere = service().baseUrl() + "/elsewhere";
    struct Seen {
        bool window = false;
        QString caption, pageTitle;
        QSize size;
        QColor background;
        bool closedByNewWindow = false;
        bool placedLinks = false;
    } seen;
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
        auto* news = qobject_cast<Tfrmupdate*>(QApplication::activeModalWidget());
        if (news == nullptr || !news->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        seen.window = true;
        seen.caption = news->windowTitle();
        seen.size = news->size();
        seen.background = news->palette().color(QPalette::Window);
        // The page comes from the stand-in.
        if (!MainWindowTest::waitUntil(
                [&] { return news->wb1->page()->title() == QLatin1String("Feedback: home"); },
                30000)) {
            news->reject();
            return;
        }
        seen.pageTitle = news->wb1->page()->title();
        // A new window the page asks for by itself, without a click, is ignored; one for
        // an address that is not a web address is refused, and so is a link to another
        // scheme in the page itself; a clicked link to a web page
        // in a new window goes to the browser and closes the window. (The refused ones
        // come first, so they would have arrived first.)
        news->wb1->page()->runJavaScript("window.open('" + elsewhere + "/by-script', '_blank');");
        seen.placedLinks = userClickLink(news->wb1, "file:///etc/hostname", "_blank") &&
                           userClickLink(news->wb1, "pelidor-test:run", "") &&
                           userClickLink(news->wb1, elsewhere, "_blank");
        seen.closedByNewWindow =
            MainWindowTest::waitUntil([&] { return !news->isVisible(); }, 10000);
        if (!seen.closedByNewWindow)
            news->reject();
    });
    poll->start(10);

    QTest::mouseClick(window->btnCaptionNews, Qt::LeftButton);
    ASSERT_TRUE(seen.window);
    EXPECT_EQ(seen.caption, QStringLiteral("Pelidor news"));
    EXPECT_EQ(seen.size, QSize(520, 300));
    EXPECT_EQ(seen.background, QColor(255, 0, 0));
    EXPECT_EQ(seen.pageTitle, QStringLiteral("Feedback: home"));
    EXPECT_TRUE(seen.placedLinks);
    EXPECT_TRUE(seen.closedByNewWindow);
    EXPECT_EQ(browser.opened, QStringList{elsewhere});
    EXPECT_TRUE(files.urls.isEmpty());

    // Read, the fetch dropped with the second announcement, the marker gone.
    EXPECT_EQ(AppConfig.MsgIds, ",7,41");
    EXPECT_EQ(window->NewsThread(), nullptr);
    EXPECT_FALSE(window->CaptionMarkerShown(wnbCustom1));
    EXPECT_TRUE(answerer->shown.empty());

    // Only one announcement per run: the next click has nothing.
    QTest::mouseClick(window->btnCaptionNews, Qt::LeftButton);
    ASSERT_EQ(answerer->shown.size(), 1u);
    EXPECT_EQ(answerer->shown[0].text, QStringLiteral("You have no unread message."));
    EXPECT_EQ(answerer->shown[0].title, QStringLiteral("Information"));

    // The read id is stored with the settings.
    window.reset();
    EXPECT_NE(readAll(settings.path("Pelidor/Config.ini")).find("MSGIDs=,7,41"), std::string::npos);
}

TEST_F(NewsWindowTest, ReadOrNoAnnouncementsGiveNoMarkerAndTheNotice) {
    const struct {
        const char* name;
        std::string msgIds;
        bool reachable;
    } cases[] = {{"all read", ",41,42", true}, {"unreachable", "", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pointServicesAt(c.reachable ? service().baseUrl() : test::UnreachableBaseUrl());
        service().setAnswerBody("news", newsAnswer());
        service().resetLog();
        AppConfig.MsgIds = c.msgIds;
        openWindow();
        ASSERT_TRUE(waitUntil(
            [&] { return window->NewsThread() != nullptr && !window->NewsThread()->Busy(); }));
        EXPECT_TRUE(window->NewsThread()->NewsList().empty());
        EXPECT_FALSE(window->CaptionMarkerShown(wnbCustom1));
        QTest::mouseClick(window->btnCaptionNews, Qt::LeftButton);
        ASSERT_EQ(answerer->shown.size(), 1u);
        EXPECT_EQ(answerer->shown[0].text, QStringLiteral("You have no unread message."));
        EXPECT_EQ(AppConfig.MsgIds, c.msgIds);
        window.reset();
    }
}

// Saves pictures of the main menu with its language submenu and of the news window into
// $PELIDOR_SCREENSHOTS (skipped without it).
TEST_F(NewsWindowTest, Screenshots) {
    const char* dir = std::getenv("PELIDOR_SCREENSHOTS");
    if (dir == nullptr || *dir == 0)
        GTEST_SKIP() << "set PELIDOR_SCREENSHOTS to a folder to save pictures";
    const QString folder = QString::fromLocal8Bit(dir) + u'/';
    const QString page = service().baseUrl() + "/news/spring.html";
    service().setAnswer(
        "other",
        QJsonObject{{"status", 200},
                    {"content_type", "text/html"},
                    {"body", "<!DOCTYPE html><html><head><meta charset='utf-8'>"
                             "<title>Pelidor 1.1</title></head>"
                             "<body style='font-family:sans-serif;margin:18px;color:#383838'>"
                             "<h2 style='color:#2b82d5;margin-top:0'>Pelidor 1.1 is out</h2>"
                             "<p>Faster full-content comparison of large folders, and backups "
                             "that keep file permissions.</p>"
                             "<p><a href='http://www.corvane.example/pelidor/' "
                             "target='_blank'>Read what is new</a></p></body></html>"}});
    service().setAnswerBody(
        "news",
        QString::fromUtf8(
            QJsonDocument(QJsonObject{{"servertime", "2026-01-01"},
                                      {"news", QJsonArray{QJsonObject{{"id", 5},
                                                                      {"type", 1},
                                                                      {"expired", "2999-12-31"},
                                                                      {"title", "Pelidor news"},
                                                                      {"url", page}}}}})
                .toJson(QJsonDocument::Compact)));
    AppConfig.Lang = "English";
    openWindow();
    ASSERT_TRUE(waitUntil(
        [&] { return window->NewsThread() != nullptr && !window->NewsThread()->Busy(); }));

    // The main menu below its button, the language submenu beside its entry.
    window->activateWindow();
    window->pmsys->popup(window->MainMenuPosition());
    QTest::qWait(100);
    QMenu* languages = languageMenu();
    const QRect entryRect = window->pmsys->actionGeometry(entry("ppmLanguage"));
    // Left of the menu: the menu sits at the screen's right edge.
    languages->popup(QPoint(window->pmsys->x() - languages->sizeHint().width() + 4,
                            window->pmsys->mapToGlobal(entryRect.topLeft()).y() - 4));
    QTest::qWait(100);
    QImage shot = window->grab().toImage();
    {
        QPainter painter(&shot);
        const QPoint origin = window->mapToGlobal(QPoint(0, 0));
        painter.drawPixmap(window->pmsys->pos() - origin, window->pmsys->grab());
        painter.drawPixmap(languages->pos() - origin, languages->grab());
    }
    EXPECT_TRUE(shot.save(folder + "main-menu.png"));
    languages->close();
    window->pmsys->close();

    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
        auto* news = qobject_cast<Tfrmupdate*>(QApplication::activeModalWidget());
        if (news == nullptr || !news->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        MainWindowTest::waitUntil(
            [&] { return news->wb1->page()->title() == QLatin1String("Pelidor 1.1"); }, 30000);
        QTest::qWait(500);
        EXPECT_TRUE(news->grab().save(folder + "news.png"));
        news->reject();
    });
    poll->start(10);
    QTest::mouseClick(window->btnCaptionNews, Qt::LeftButton);
}

} // namespace

// The support window through the main window: created at start outside the Japanese
// edition, its unread count marks the support button, and the button opens it.
TEST_F(NewsWindowTest, SupportWindowMarksTheButtonAndOpensFromIt) {
    service().setAnswerBody("unread", QStringLiteral("[{\"id\":5},{\"id\":9}]"));
    for (const bool japanese : {false, true}) {
        SCOPED_TRACE(japanese ? "Japanese edition" : "normal edition");
        std::remove(settings.path("Corvane/registry.reg").c_str());
        if (japanese) {
            ASSERT_TRUE(platform::regWriteDword(main_window_test::kPelidorKey, "IsJP", 1));
        }
        service().resetLog();
        openWindow();
        if (japanese) {
            EXPECT_EQ(window->Support(), nullptr);
            QTest::qWait(200);
            EXPECT_TRUE(service().requests("unread").isEmpty());
            EXPECT_FALSE(window->CaptionMarkerShown(wnbSkin));
        } else {
            ASSERT_NE(window->Support(), nullptr);
            ASSERT_TRUE(waitUntil([&] { return window->CaptionMarkerShown(wnbSkin); }));
            EXPECT_EQ(window->Support()->GetMessageCount(), 2);
            window->wp1ButtonClick(wnbSkin);
            EXPECT_TRUE(window->Support()->isVisible());
            EXPECT_FALSE(window->CaptionMarkerShown(wnbSkin)); // opened: nothing unread
        }
        window.reset();
    }
}
