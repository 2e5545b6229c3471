// The support window against the stand-in service on 127.0.0.1, with the real web engine
// offscreen: the unread query and its signal, the page ShowForm opens, the identification
// suffix on the addresses that need it, the three page links leading to uploads whose
// begin and callback arrive in the page, and the upload rules (the 5 MiB limit, one at a
// time, dropped after a navigation, names that must reach the page intact).
#include "ServicesTestSupport.h"

#include "WebClick.h"
#include "config/uAppConfig.h"
#include "config/uLanguage.h"
#include "services/UCatch.h"
#include "services/uSupport.h"
#include "services/uUploadFile.h"
#include "ui/toolkit/OrlaMsgBox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <sys/stat.h>

// Readable JSON in failure messages.
inline void PrintTo(const QJsonArray& Array, std::ostream* Out) {
    *Out << QJsonDocument(Array).toJson(QJsonDocument::Compact).toStdString();
}

using namespace pelidor;
using namespace pelidor::test;

namespace {

constexpr int kPageTimeoutMs = 30000;
const QString kGuid = QStringLiteral("{3F2504E0-4F89-11D3-9A0C-0305E82C3301}");

class SupportTest : public StandInTest {
protected:
    static void SetUpTestSuite() {
        // The web engine runs with its sandbox, as in the program: this program runs
        // without root rights (pelidor_qt_test_main_unprivileged).
        StandInTest::SetUpTestSuite();
    }

    void SetUp() override {
        StandInTest::SetUp();
        ASSERT_TRUE(dir.isValid());
        pointFeedbackAt(service().baseUrl());
    }

    void TearDown() override {
        support.reset();
        AppConfig.ConfigFile.clear();
    }

    void pointFeedbackAt(const QString& Base) {
        const QString ini = dir.filePath("Config.ini");
        QFile file(ini);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Services]\nFeedback=" + Base.toUtf8() + "\n");
        file.close();
        AppConfig.ConfigFile = ini.toStdString();
    }

    // The window as the main window makes it, once its unread query has been answered.
    void makeWindow() {
        support.reset(TFrmOrlaSupport::InitOrlaSupport(kGuid, 17, "1.2.3.4"));
        QSignalSpy spy(support.get(), &TFrmOrlaSupport::SupportMessages);
        ASSERT_TRUE(spy.count() > 0 || spy.wait(10000));
    }

    QString title() const { return support->wb1->page()->title(); }

    // Waits until the page "to=To" has been loaded.
    bool waitForPage(const QString& To) {
        return QTest::qWaitFor([&] { return title() == "Feedback: " + To && !loading(); },
                               kPageTimeoutMs);
    }
    bool loading() {
        QVariant result = js("document.readyState");
        return result.toString() != QLatin1String("complete");
    }

    // Runs Script in the page's own script world and returns its value.
    QVariant js(const QString& Script) {
        bool done = false;
        QVariant value;
        support->wb1->page()->runJavaScript(Script, QWebEngineScript::MainWorld,
                                            [&](const QVariant& v) {
                                                value = v;
                                                done = true;
                                            });
        (void)QTest::qWaitFor([&] { return done; }, 10000);
        return value;
    }

    // What the page's uploadBegain and uploadCallback received, in order.
    QJsonArray pageCalls() {
        const QString text = js("JSON.stringify(window.pelidorCalls || [])").toString();
        return QJsonDocument::fromJson(text.toUtf8()).array();
    }

    // Clicks the page's element Id in its middle, as a user's mouse does.
    bool clickElement(const QString& Id) {
        const QVariantList at =
            js(QStringLiteral("(function () { var e = document.getElementById('%1');"
                              "  if (!e) return null; var b = e.getBoundingClientRect();"
                              "  return [b.left + b.width / 2, b.top + b.height / 2]; })()")
                   .arg(Id))
                .toList();
        if (at.size() != 2)
            return false;
        QWidget* input =
            support->wb1->focusProxy() != nullptr ? support->wb1->focusProxy() : support->wb1;
        QTest::mouseClick(input, Qt::LeftButton, {},
                          QPoint(qRound(at[0].toDouble()), qRound(at[1].toDouble())));
        return true;
    }

    // The window's page for an unreachable service, in the language selected now.
    bool waitForOfflinePage() {
        const QString offline =
            QString::fromStdString(ReadLangString("Message", "SupportOffline", ""));
        return QTest::qWaitFor([&] { return title() == offline && !loading(); }, kPageTimeoutMs);
    }

    void clickLink(const QString& Id) {
        js(QStringLiteral("document.getElementById('%1').click()").arg(Id));
    }

    // The query of the last request for the page "to=To".
    QUrlQuery lastPageQuery(const QString& To) {
        const QJsonArray requests = service().requests("page-" + To);
        if (requests.isEmpty())
            return {};
        return QUrlQuery(requests.last().toObject().value("query").toString());
    }

    QString makeFile(const QString& Name, qint64 Size) {
        const QString path = dir.filePath(Name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_TRUE(file.resize(Size));
        return path;
    }

    QTemporaryDir dir;
    std::unique_ptr<TFrmOrlaSupport> support;
};

// Answers every message dialog of the window with OK as it appears, and records it.
class DialogAnswerer {
public:
    explicit DialogAnswerer(TOrlaMsgBox* Box) : box_(Box) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            TMessageForm* dlg = box_->OpenDialog();
            if (dlg == nullptr || !dlg->isVisible())
                return;
            shown << dlg->windowTitle() + "|" + dlg->Message->text();
            dlg->finish(mrOk);
        });
        timer_.start(5);
    }
    QStringList shown;

private:
    TOrlaMsgBox* box_;
    QTimer timer_;
};

TEST_F(SupportTest, UnreadQueryCountsTheIdsOfAJsonArray) {
    struct Case {
        const char* answer;
        std::vector<int> ids;
    };
    const Case cases[] = {
        {R"([{"id": 12}, {"id": 30, "title": "x"}, {"id": 7}])", {12, 30, 7}},
        {R"([{"id": 5}])", {5}},
        {"[]", {}},
        {R"([{"id": 4}, "text", {"id": "9"}, {"no": 1}, {"id": 8}])", {4, 8}},
        {R"({"id": 5})", {}},
        {R"([{"id": 5},)", {}},
        {"<html>busy</html>", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        service().resetLog();
        service().setAnswerBody("unread", c.answer);
        support.reset(TFrmOrlaSupport::InitOrlaSupport(kGuid, 17, "1.2.3.4"));
        QSignalSpy spy(support.get(), &TFrmOrlaSupport::SupportMessages);
        ASSERT_TRUE(spy.wait(10000));
        EXPECT_EQ(spy.takeFirst().value(0).toInt(), int(c.ids.size()));
        EXPECT_EQ(support->FMsgIds, c.ids);
        EXPECT_EQ(support->GetMessageCount(), int(c.ids.size()));
        // One query, with the user identifier.
        const QJsonArray requests = service().requests("unread");
        ASSERT_EQ(requests.size(), 1);
        const QUrlQuery query(requests[0].toObject().value("query").toString());
        EXPECT_EQ(query.queryItemValue("guid", QUrl::FullyDecoded), kGuid);
    }
}

TEST_F(SupportTest, UnreachableServiceLeavesTheCountAtZeroAndSignalsNothing) {
    pointFeedbackAt(UnreachableBaseUrl());
    support.reset(TFrmOrlaSupport::InitOrlaSupport(kGuid, 17, "1.2.3.4"));
    QSignalSpy spy(support.get(), &TFrmOrlaSupport::SupportMessages);
    EXPECT_FALSE(spy.wait(1500));
    EXPECT_EQ(support->GetMessageCount(), 0);
    // The window still opens.
    support->ShowForm();
    EXPECT_TRUE(support->isVisible());
}

// Selects a language pack for one test; English again at its end.
class LanguageScope {
public:
    explicit LanguageScope(const char* Language) {
        SetLanguageFolder(PELIDOR_LANGUAGES_DIR);
        SelectLanguage(Language);
    }
    ~LanguageScope() {
        SelectLanguage("English");
        SetLanguageFolder({});
    }
};

// A service that cannot be reached (a closed port on 127.0.0.1) gets the window's own
// page in the pack's language, not the engine's error page; its "try again" loads the
// page that failed, identification included, once the service is up.
TEST_F(SupportTest, UnreachableServiceShowsTheWindowsPageAndTryAgainLoadsTheRealOne) {
    LanguageScope german("German");
    const struct {
        std::vector<int> unread;
        const char* page;
        bool identified;
    } cases[] = {{{}, "home", false}, {{42}, "question", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.page);
        const QString base = UnreachableBaseUrl();
        pointFeedbackAt(base);
        support.reset(TFrmOrlaSupport::InitOrlaSupport(kGuid, 17, "1.2.3.4"));
        support->FMsgIds = c.unread;
        support->ShowForm();
        ASSERT_TRUE(waitForOfflinePage()) << title().toStdString();
        EXPECT_EQ(title(), QStringLiteral("Das Support-Center ist nicht erreichbar"));
        const QString text = js("document.body.innerText").toString();
        EXPECT_TRUE(text.contains(QStringLiteral("mit dem Internet verbunden")))
            << text.toStdString();
        EXPECT_EQ(js("document.getElementById('retry').textContent").toString(),
                  QStringLiteral("Erneut versuchen"));
        const QUrlQuery retry(support->OfflineRetry());
        EXPECT_EQ(retry.queryItemValue("to"), c.page);
        EXPECT_EQ(retry.hasQueryItem("guid"), c.identified);

        // Still down: trying again shows the page again.
        ASSERT_TRUE(clickElement("retry"));
        ASSERT_TRUE(waitForOfflinePage());

        StandInService later;
        ASSERT_TRUE(later.start(QUrl(base).port())) << later.error().toStdString();
        later.setAnswerBody("unread", "[]");
        ASSERT_TRUE(clickElement("retry"));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return title() == QStringLiteral("Feedback: ") + c.page && !loading(); },
            kPageTimeoutMs))
            << title().toStdString();
        const QJsonArray requests = later.requests(QStringLiteral("page-") + c.page);
        ASSERT_FALSE(requests.isEmpty());
        for (const QJsonValue& request : requests) {
            const QUrlQuery query(request.toObject().value("query").toString());
            EXPECT_EQ(query.hasQueryItem("guid"), c.identified)
                << QJsonDocument(request.toObject()).toJson().toStdString();
        }
        support.reset();
    }
}

TEST_F(SupportTest, ShowFormOpensHomeQuestionOrMyFeedback) {
    struct Case {
        const char* unread;
        const char* page;
        const char* id; // the "id" the page is opened with; null: none
        bool identified;
    };
    const Case cases[] = {
        {"[]", "home", nullptr, false},
        {R"([{"id": 42}])", "question", "42", true},
        {R"([{"id": 42}, {"id": 43}])", "my-feedback", nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.page);
        service().resetLog();
        service().setAnswerBody("unread", c.unread);
        makeWindow();
        support->ShowForm();
        EXPECT_EQ(support->GetMessageCount(), 0) << "the unread list is emptied";
        EXPECT_TRUE(support->isVisible());
        ASSERT_TRUE(waitForPage(c.page));

        const QUrlQuery query = lastPageQuery(c.page);
        EXPECT_EQ(query.queryItemValue("id"), c.id ? QString(c.id) : QString());
        EXPECT_EQ(query.hasQueryItem("guid"), c.identified);
        if (c.identified) {
            // No unidentified request for the page reached the service.
            EXPECT_EQ(service().requests(QStringLiteral("page-") + c.page).size(), 1);
            EXPECT_EQ(query.queryItemValue("guid", QUrl::FullyDecoded), kGuid);
            EXPECT_EQ(query.queryItemValue("product_id"), "17");
            EXPECT_EQ(query.queryItemValue("version"), "1.2.3.4");
            EXPECT_EQ(query.queryItemValue("system_info"), support->FOsVer);
            EXPECT_EQ(query.queryItemValue("vip"), "1");
            EXPECT_FALSE(support->FOsVer.isEmpty());
        }

        // Shown again: the page stays, the unread list is emptied again.
        const qsizetype pageRequests = service().requests(QStringLiteral("page-") + c.page).size();
        support->hide();
        support->FMsgIds = {1, 2};
        support->ShowForm();
        QTest::qWait(300);
        EXPECT_EQ(support->GetMessageCount(), 0);
        EXPECT_EQ(service().requests(QStringLiteral("page-") + c.page).size(), pageRequests);
        EXPECT_EQ(title(), QStringLiteral("Feedback: ") + c.page);
    }
}

TEST_F(SupportTest, IdentificationOnlyWhereThePagesNeedIt) {
    makeWindow();
    support->ShowForm();
    ASSERT_TRUE(waitForPage("home"));
    EXPECT_FALSE(lastPageQuery("home").hasQueryItem("guid"));

    // The service's own links, followed as a user would.
    const struct {
        const char* link;
        const char* page;
        bool identified;
    } links[] = {
        {"link-write-question", "write-question", true},
        {"link-home", "home", false},
        {"link-question", "question", true},
        {"link-my-feedback", "my-feedback", true},
    };
    for (const auto& l : links) {
        SCOPED_TRACE(l.link);
        service().resetLog();
        clickLink(l.link);
        ASSERT_TRUE(waitForPage(l.page));
        const QUrlQuery query = lastPageQuery(l.page);
        EXPECT_EQ(query.hasQueryItem("guid"), l.identified);
        EXPECT_EQ(query.hasQueryItem("vip"), l.identified);
        // Each page is asked for once: the unidentified address never reaches the service.
        EXPECT_EQ(service().requests(QStringLiteral("page-") + l.page).size(), 1);
    }

    // The rule itself, on the addresses of the configured service.
    const QString base = service().baseUrl() + "/corvane_feedback/index.php?to=";
    const struct {
        QString url;
        bool needs;
    } rules[] = {
        {base + "write-question", true},
        {base + "write-question&type=2", true},
        {base + "question", true},
        {base + "question&id=3", true},
        {base + "my-feedback", true},
        {base + "MY-FEEDBACK", true},
        {base + "my-feedback&page=2", false},
        {base + "home", false},
        {base + "question&id=3&guid=x", false},
        {base + "my-feedback&guid=", false},
        {"http://elsewhere.example/corvane_feedback/index.php?to=question", false},
    };
    for (const auto& r : rules)
        EXPECT_EQ(TFrmOrlaSupport::NeedsIdentification(r.url), r.needs) << r.url.toStdString();

    // The suffix's values are kept apart from the query around them.
    support->FGUID = "a&b=c%2";
    support->FVersion = "1.0 beta";
    EXPECT_EQ(support->IdentificationSuffix(),
              "&guid=a%26b%3Dc%252&product_id=17&version=1.0%20beta"
              "&system_info=" +
                  support->FOsVer + "&vip=1");
}

// Each page link leads to an upload of the chosen file whose begin and callback arrive in
// the page; a name with a quote, a backslash and a line break arrives intact.
TEST_F(SupportTest, PageLinksUploadAndReportToThePage) {
    makeWindow();
    support->ShowForm();
    ASSERT_TRUE(waitForPage("home"));

    const QString answer =
        QStringLiteral(R"({"err":"","url":"http://x.example/a b+c.png","n":"ü"})");
    service().setAnswerBody("upload", answer);

    QStringList filters;
    QString picked;
    support->FilePicker = [&](const QString& Filter) {
        filters << Filter;
        return picked;
    };
    bool hiddenDuringCapture = false;
    QImage picture(40, 30, QImage::Format_ARGB32);
    picture.fill(QColor(10, 120, 200));
    int captureResult = kCatchOk;
    support->CatchRunner = [&](TFrmCatch& Catch) {
        hiddenDuringCapture = !support->isVisible();
        if (captureResult == kCatchOk)
            Catch.NewPng = picture;
        return captureResult;
    };

    struct Case {
        const char* link;
        QString name; // the picked file's name; empty: the screenshot
        QString filter;
    };
    const Case cases[] = {
        {"link-add-image", QStringLiteral("say \"hi\" \\ now\nlater.png"),
         TFrmOrlaSupport::kImageFilter},
        {"link-add-file", QStringLiteral("logs.zip"), TFrmOrlaSupport::kArchiveFilter},
        {"link-screenshot", QString(), QString()},
    };
    int uploads = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        js("window.pelidorCalls = []");
        filters.clear();
        QByteArray content;
        if (!c.name.isEmpty()) {
            picked = makeFile(c.name, 1000);
            content = QByteArray(1000, '\0');
        }
        clickLink(c.link);
        ASSERT_TRUE(service().waitForRequests("upload", ++uploads, 10000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return pageCalls().size() == 2; }, 10000));

        QString name = c.name;
        if (c.name.isEmpty()) {
            EXPECT_TRUE(hiddenDuringCapture);
            EXPECT_TRUE(support->isVisible());
            const QFileInfo shot(support->LastScreenshotFile());
            EXPECT_TRUE(shot.fileName().startsWith("orla"));
            EXPECT_EQ(shot.suffix(), "png");
            name = shot.fileName();
            // The temporary picture is gone once its upload has ended; the service got it.
            EXPECT_FALSE(QFileInfo::exists(shot.filePath()));
            const QByteArray body = QByteArray::fromBase64(service()
                                                               .requests("upload")
                                                               .last()
                                                               .toObject()
                                                               .value("body_base64")
                                                               .toString()
                                                               .toLatin1());
            const qsizetype start = body.indexOf("\x89PNG");
            const qsizetype end = body.indexOf("IEND", start);
            ASSERT_TRUE(start >= 0 && end > start);
            content = body.mid(start, end + 8 - start);
            EXPECT_EQ(QImage::fromData(content, "PNG").size(), picture.size());
        } else {
            EXPECT_EQ(filters, QStringList{c.filter});
        }
        const QJsonObject request = service().requests("upload").last().toObject();
        EXPECT_TRUE(QByteArray::fromBase64(request.value("body_base64").toString().toLatin1())
                        .contains(content));

        const QJsonArray calls = pageCalls();
        EXPECT_EQ(calls[0].toArray(), (QJsonArray{"uploadBegain", name, QFileInfo(name).suffix()}));
        EXPECT_EQ(calls[1].toArray(), (QJsonArray{"uploadCallback", name, answer}));
        EXPECT_TRUE(support->FUploadFileName.isEmpty());
    }

    // A cancelled capture uploads nothing and shows the window again.
    captureResult = kCatchCancel;
    hiddenDuringCapture = false;
    js("window.pelidorCalls = []");
    clickLink("link-screenshot");
    ASSERT_TRUE(QTest::qWaitFor([&] { return hiddenDuringCapture && support->isVisible(); }, 5000));
    QTest::qWait(300);
    EXPECT_EQ(service().requests("upload").size(), uploads);
    EXPECT_TRUE(pageCalls().isEmpty());

    // No file chosen: nothing uploaded.
    picked.clear();
    clickLink("link-add-file");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !filters.isEmpty(); }, 5000));
    QTest::qWait(300);
    EXPECT_EQ(service().requests("upload").size(), uploads);
}

TEST_F(SupportTest, UploadLimitIsFiveMiB) {
    makeWindow();
    support->ShowForm();
    ASSERT_TRUE(waitForPage("home"));
    DialogAnswerer answerer(support->wmsg1);

    support->UploadFile(makeFile("over.zip", kMaxUploadFileSize + 1));
    EXPECT_EQ(answerer.shown, QStringList{"Confirm|The file can't be larger than 5M"});
    EXPECT_TRUE(support->FUploadFileName.isEmpty());

    support->UploadFile(makeFile("exact.zip", kMaxUploadFileSize));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pageCalls().size() == 2; }, 20000));
    EXPECT_EQ(pageCalls()[1].toArray()[1].toString(), "exact.zip");
    const QJsonArray uploads = service().requests("upload");
    ASSERT_EQ(uploads.size(), 1);
    EXPECT_GT(
        QByteArray::fromBase64(uploads[0].toObject().value("body_base64").toString().toLatin1())
            .size(),
        kMaxUploadFileSize);
    EXPECT_EQ(answerer.shown.size(), 1);
}

TEST_F(SupportTest, OneUploadAtATimeAndAFailureReachesThePage) {
    makeWindow();
    support->ShowForm();
    ASSERT_TRUE(waitForPage("home"));
    service().setAnswer("upload", QJsonObject{{"delay", 1.0}, {"body", "{\"err\":\"\"}"}});

    const QString first = makeFile("first.png", 100);
    support->UploadFile(first);
    support->UploadFile(makeFile("second.png", 100));
    EXPECT_EQ(support->FUploadFileName, first);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pageCalls().size() == 2; }, 10000));
    QTest::qWait(300);
    EXPECT_EQ(service().requests("upload").size(), 1);
    EXPECT_EQ(pageCalls()[1].toArray(),
              (QJsonArray{"uploadCallback", "first.png", "{\"err\":\"\"}"}));

    // Once it has ended the next one goes; an upload that gets no answer is reported as a
    // failure.
    service().setAnswer("upload", QJsonObject{{"close", true}});
    support->UploadFile(makeFile("third.png", 100));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pageCalls().size() == 4; }, 15000));
    EXPECT_EQ(pageCalls()[3].toArray(),
              (QJsonArray{"uploadCallback", "third.png", QString(kUploadFailureAnswer)}));
}

TEST_F(SupportTest, NavigationDropsTheRunningUpload) {
    makeWindow();
    support->ShowForm();
    ASSERT_TRUE(waitForPage("home"));

    // A slow upload, then a move to another page while it runs.
    service().setAnswer("upload", QJsonObject{{"delay", 5.0}, {"body", "slow"}});
    support->UploadFile(makeFile("slow.png", 100));
    ASSERT_TRUE(service().waitForRequests("upload", 1, 5000));
    QPointer<TUploadThread> slow = support->UploadThread();
    clickLink("link-write-question");
    ASSERT_TRUE(waitForPage("write-question"));
    EXPECT_TRUE(support->FUploadFileName.isEmpty());

    // A second upload on the new page that is still running when the first one ends: the
    // page hears only the second one.
    service().setAnswer("upload", QJsonObject{{"delay", 4.0}, {"body", "second"}});
    ASSERT_FALSE(slow.isNull());
    support->UploadFile(makeFile("second.png", 100));
    ASSERT_TRUE(QTest::qWaitFor([&] { return slow.isNull(); }, 10000));
    EXPECT_EQ(support->FUploadFileName, dir.filePath("second.png"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pageCalls().size() == 2; }, 10000));
    QTest::qWait(300);
    const QJsonArray calls = pageCalls();
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0].toArray(), (QJsonArray{"uploadBegain", "second.png", "png"}));
    EXPECT_EQ(calls[1].toArray(), (QJsonArray{"uploadCallback", "second.png", "second"}));
    EXPECT_EQ(service().requests("upload").size(), 2);
}

// Saves a picture of the window on the stand-in's home page into $PELIDOR_SCREENSHOTS
// (skipped without it).
TEST_F(SupportTest, Screenshot) {
    const char* folder = std::getenv("PELIDOR_SCREENSHOTS");
    if (folder == nullptr || *folder == 0)
        GTEST_SKIP() << "set PELIDOR_SCREENSHOTS to a folder to save pictures";
    makeWindow();
    support->ShowForm();
    ASSERT_TRUE(waitForPage("home"));
    QTest::qWait(800);
    EXPECT_TRUE(support->grab().save(QString::fromLocal8Bit(folder) + "/support.png"));
}

// Saves pictures of the window's page for an unreachable service in English, German and
// Chinese into $PELIDOR_SCREENSHOTS (skipped without it).
TEST_F(SupportTest, ScreenshotOffline) {
    const char* folder = std::getenv("PELIDOR_SCREENSHOTS");
    if (folder == nullptr || *folder == 0)
        GTEST_SKIP() << "set PELIDOR_SCREENSHOTS to a folder to save pictures";
    for (const char* language : {"English", "German", "ChineseSimplified"}) {
        LanguageScope scope(language);
        pointFeedbackAt(UnreachableBaseUrl());
        support.reset(TFrmOrlaSupport::InitOrlaSupport(kGuid, 17, "1.2.3.4"));
        support->ShowForm();
        ASSERT_TRUE(waitForOfflinePage());
        QTest::qWait(800);
        EXPECT_TRUE(support->grab().save(QString::fromLocal8Bit(folder) +
                                         QStringLiteral("/support-offline-%1.png").arg(language)));
        support.reset();
    }
}

// Addresses from the pages reach the desktop only as web addresses and only after a
// user's click: a window.open without a click, a new window for a "file:" address and
// a link to a custom scheme open nothing; a clicked link to a web page in a new window
// goes to the user's browser. (Each refused request comes before the accepted one, so
// it would have arrived first.)
TEST_F(SupportTest, PagesOpenOnlyWebAddressesAfterAClick) {
    makeWindow();
    support->ShowForm();
    ASSERT_TRUE(waitForPage("home"));
    UrlRecorder opened({"http", "https", "file", "pelidor-test"});
    const QString elsewhere = service().baseUrl() + "/elsewhere";

    js("window.open('" + service().baseUrl() + "/by-script', '_blank')");
    ASSERT_TRUE(userClickLink(support->wb1, QStringLiteral("file:///etc/hostname"), "_blank"));
    ASSERT_TRUE(userClickLink(support->wb1, QStringLiteral("pelidor-test:hello"), ""));
    ASSERT_TRUE(userClickLink(support->wb1, elsewhere, "_blank"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !opened.urls.isEmpty(); }, 10000));
    EXPECT_EQ(opened.urls, QStringList{elsewhere});
    EXPECT_EQ(title(), QStringLiteral("Feedback: home"));
}

// Only regular files are uploaded: a folder or a FIFO chosen in the picker starts no
// upload (reading a FIFO would wait for ever), a regular file does.
TEST_F(SupportTest, OnlyRegularFilesAreUploaded) {
    makeWindow();
    support->ShowForm();
    ASSERT_TRUE(waitForPage("home"));
    const QString folder = dir.filePath("folder.zip");
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString fifo = dir.filePath("fifo.zip");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {folder, fifo}) {
        SCOPED_TRACE(path.toStdString());
        support->UploadFile(path);
        EXPECT_EQ(support->UploadThread(), nullptr);
        EXPECT_TRUE(support->FUploadFileName.isEmpty());
    }
    support->UploadFile(makeFile("fine.zip", 100));
    EXPECT_NE(support->UploadThread(), nullptr);
    ASSERT_TRUE(service().waitForRequests("upload", 1, 10000));
}

} // namespace
