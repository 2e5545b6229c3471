// The update conversation through the main window against the stand-in: the menu's
// check and the automatic one, the upgrade question, the updater beside the executable
// or the download address, the notices, the Malwarebytes warning, the bookkeeping of
// LastUpdate and the start-up schedule.
#include "MenuTestSupport.h"

#include <QSignalSpy>

#include "services/uSupport.h"
#include "shell/SharedHelpers.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>

using namespace pelidor;
using namespace pelidor::menu_test;

namespace {

const QString kNewVer = QStringLiteral("A new version is found. Do you want an upgrade now?");
const QString kNoNewVer = QStringLiteral("No effective update found.");
// A check without a usable answer says that it failed, and why.
const QString kFailed = QStringLiteral("The update check failed: ");
const QString kWarning = QStringLiteral(
    "MalwareBytes is detected to block Pelidor from working. Click OK to get the solution.");

int ownBuild() {
    return int(ProgramVersionInfo().dwFileVersionLS & 0xFFFF);
}

QString updateAnswer(int stopped, int build,
                     const QString& url = QStringLiteral("http://dl.example/pelidor.tar.gz")) {
    return QString::fromUtf8(QJsonDocument(QJsonObject{{"stopped", stopped},
                                                       {"build", build},
                                                       {"url", url},
                                                       {"blog_url", "http://blog.example/"},
                                                       {"update_info", "One\nTwo"}})
                                 .toJson(QJsonDocument::Compact));
}

class UpdateTest : public MenuWindowTest {
protected:
    // A stand-in updater: writes each argument on a line of its own to <folder>/args.
    QString writeUpdater() {
        const std::string folder = settings.mkdir("program");
        const std::string script =
            settings.write("program/Updraft", "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' "
                                              "\"$a\"; done > \"$(dirname \"$0\")/args\"\n");
        ::chmod(script.c_str(), 0755);
        return QString::fromStdString(script);
    }

    // Runs one check (through the menu entry when manual) and waits for its end.
    void check(bool manual) {
        if (manual)
            entry("ppmCheckUpdates")->trigger();
        else
            menu()->DoCheckNewVer(false);
        ASSERT_TRUE(waitForChecks());
    }

    QStringList texts() const {
        QStringList out;
        for (const ShownDialog& d : answerer->shown)
            out << d.text;
        return out;
    }
};

TEST_F(UpdateTest, ConversationByAnswerAndByWhoStartedTheCheck) {
    const int own = ownBuild();
    const struct {
        const char* name;
        QString body; // the update answer; null: the service is unreachable
        bool manual;
        QStringList shown; // dialog texts
        bool download;     // the download address was opened
    } cases[] = {
        {"newer build, manual", updateAnswer(0, own + 1), true, {kNewVer}, true},
        {"newer build, automatic", updateAnswer(0, own + 1), false, {kNewVer}, true},
        {"same build, manual", updateAnswer(0, own), true, {kNoNewVer}, false},
        {"same build, automatic", updateAnswer(0, own), false, {}, false},
        {"stopped, higher build", updateAnswer(1, own + 5), true, {kNoNewVer}, false},
        {"no stopped key", QStringLiteral("{\"build\":999999}"), true, {kFailed}, false},
        {"malformed JSON, manual",
         QStringLiteral("{\"stopped\":0,\"build\":"),
         true,
         {kFailed},
         false},
        {"malformed JSON, automatic", QStringLiteral("{\"stopped\":0,"), false, {}, false},
        {"unreachable, manual", QString(), true, {kFailed}, false},
        {"unreachable, automatic", QString(), false, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pointServicesAt(c.body.isNull() ? test::UnreachableBaseUrl() : service().baseUrl());
        service().setAnswerBody("update", c.body.isNull() ? QStringLiteral("{}") : c.body);
        service().resetLog();
        openWindow();
        // No updater beside the program: Yes opens the download address.
        menu()->UpdaterPath = QString::fromStdString(settings.path("program/Updraft"));
        AppConfig.LastUpdate = 1000;
        const double before = platform::nowLocalDateTime();
        check(c.manual);
        if (c.shown == QStringList{kFailed}) {
            // The reason follows: the network's, or that the answer could not be read.
            ASSERT_EQ(texts().size(), 1);
            EXPECT_TRUE(texts()[0].startsWith(kFailed)) << texts()[0].toStdString();
            EXPECT_GT(texts()[0].size(), kFailed.size() + 3);
        } else {
            EXPECT_EQ(texts(), c.shown);
        }
        EXPECT_EQ(opened,
                  c.download ? QStringList{"http://dl.example/pelidor.tar.gz"} : QStringList{});
        EXPECT_TRUE(window->isVisible());
        EXPECT_GE(AppConfig.LastUpdate, before - 1.0 / 86400);
        // Cleared when a check ends without a newer build.
        EXPECT_EQ(menu()->ShowNewVerInfo(), c.manual && c.download);
        if (!c.body.isNull()) {
            const QJsonArray requests = service().requests("update");
            ASSERT_EQ(requests.size(), 1);
            EXPECT_EQ(requests[0].toObject()["query"].toString(), QStringLiteral("p_id=2"));
        }
        window.reset();
        opened.clear();
    }
}

// The download address comes from the network: without the updater, Yes opens it only
// when it is an http or https address; anything else is refused (and logged).
TEST_F(UpdateTest, OnlyAWebDownloadAddressIsOpened) {
    const struct {
        QString url;
        bool opened;
    } cases[] = {
        {QStringLiteral("https://dl.example/pelidor.tar.gz"), true},
        {QStringLiteral("HTTP://dl.example/pelidor.tar.gz"), true},
        {QStringLiteral("file:///etc/hostname"), false},
        {QStringLiteral("/usr/bin/xterm"), false},
        {QStringLiteral("pelidor-test:run"), false},
        {QStringLiteral("javascript:alert(1)"), false},
        {QStringLiteral("http:relative"), false},
        {QString(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url.toStdString());
        service().setAnswerBody("update", updateAnswer(0, ownBuild() + 1, c.url));
        openWindow();
        menu()->UpdaterPath = QString::fromStdString(settings.path("program/Updraft"));
        check(true);
        EXPECT_EQ(texts(), QStringList{kNewVer});
        EXPECT_EQ(opened, c.opened ? QStringList{c.url} : QStringList{});
        EXPECT_TRUE(window->isVisible());
        window.reset();
        opened.clear();
    }
}

TEST_F(UpdateTest, YesStartsTheUpdaterWithTheSavedAnswerAndTheLanguageFileThenEnds) {
    const QString updater = writeUpdater();
    const QString body = updateAnswer(0, ownBuild() + 1);
    service().setAnswerBody("update", body);
    openWindow();
    menu()->UpdaterPath = updater;
    // The program ends even with the support window open: the main window closes and
    // says so (the entry then quits), and the support window goes with it.
    ASSERT_NE(window->Support(), nullptr);
    window->Support()->show();
    QSignalSpy closed(window.get(), &TfrmQdxMain::Closed);
    check(true);
    ASSERT_EQ(texts(), QStringList{kNewVer});
    const std::string args = settings.path("program/args");
    ASSERT_TRUE(waitUntil([&] { return !readAll(args).empty(); }, 10000));
    const QStringList lines =
        QString::fromStdString(readAll(args)).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2);
    // The saved copy of the answer, and the active language file.
    EXPECT_TRUE(QFileInfo(lines[0]).isAbsolute());
    EXPECT_EQ(QString::fromStdString(readAll(lines[0].toStdString())).trimmed(), body);
    EXPECT_EQ(lines[1].toStdString(), LangFile());
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("English.ini")));
    EXPECT_TRUE(opened.isEmpty());
    // The program ends in the orderly way: the window closes.
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(window->Support()->isVisible());
    QFile::remove(lines[0]);
}

TEST_F(UpdateTest, NoToTheQuestionDoesNothing) {
    const QString updater = writeUpdater();
    service().setAnswerBody("update", updateAnswer(0, ownBuild() + 1));
    openWindow();
    menu()->UpdaterPath = updater;
    answerer->Answer = mrNo;
    check(true);
    EXPECT_EQ(texts(), QStringList{kNewVer});
    QTest::qWait(200);
    EXPECT_TRUE(readAll(settings.path("program/args")).empty());
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_TRUE(window->isVisible());
}

TEST_F(UpdateTest, MalwarebytesPageWarnsOnceForAutomaticChecksAndAlwaysForTheUser) {
    service().setAnswerBody("update",
                            QStringLiteral("<html>Website blocked by Malwarebytes</html>"));
    openWindow();
    const QString article = TMainFormMenu::MalwarebytesArticleUrl();
    const struct {
        bool manual;
        int warnings; // shown so far
    } steps[] = {{false, 1}, {false, 1}, {true, 2}, {false, 2}, {true, 3}};
    for (const auto& s : steps) {
        check(s.manual);
        ASSERT_EQ(int(answerer->shown.size()), s.warnings);
        EXPECT_EQ(answerer->shown.back().text, kWarning);
        EXPECT_EQ(answerer->shown.back().title, QStringLiteral("Warning"));
        EXPECT_EQ(opened.size(), s.warnings);
        EXPECT_EQ(opened.back(), article);
    }
}

TEST_F(UpdateTest, StartUpScheduleThroughTheWindow) {
    const double now = platform::nowLocalDateTime();
    const struct {
        int schedule;
        double daysAgo;
        bool japanese;
        bool due;
    } cases[] = {{0, 1.5, false, true},   {1, 6.5, false, false}, {1, 7.5, false, true},
                 {2, 29.0, false, false}, {3, 400, false, false}, {0, 2, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.schedule) + " after " + std::to_string(c.daysAgo) +
                     (c.japanese ? " (Japanese edition)" : ""));
        std::remove(settings.path("Corvane/registry.reg").c_str());
        if (c.japanese) {
            ASSERT_TRUE(platform::regWriteDword(main_window_test::kPelidorKey, "IsJP", 1));
        }
        pointServicesAt(service().baseUrl(), "");
        service().setAnswerBody("update", updateAnswer(0, ownBuild()));
        service().resetLog();
        AppConfig.AutoUpdate = c.schedule;
        AppConfig.LastUpdate = now - c.daysAgo;
        openWindow();
        ASSERT_TRUE(waitUntil([&] { return !window->tmr1->isActive(); }, 5000));
        EXPECT_EQ(window->AutoCheckUpdate(), c.due);
        // The news fetch starts in the same tick (not in the Japanese edition); its
        // request arriving means the check's would have arrived too.
        if (!c.japanese) {
            EXPECT_TRUE(service().waitForRequests("news", 1));
        }
        if (c.due) {
            ASSERT_TRUE(service().waitForRequests("update", 1));
            EXPECT_EQ(service().requests("update")[0].toObject()["query"].toString(),
                      c.japanese ? QStringLiteral("upro_id=2") : QStringLiteral("p_id=2"));
            EXPECT_GT(AppConfig.LastUpdate, now - 1.0 / 86400);
        } else {
            QTest::qWait(300);
            EXPECT_EQ(service().requests("update").size(), 0);
            EXPECT_NEAR(AppConfig.LastUpdate, now - c.daysAgo, 1.0 / 86400);
        }
        if (c.japanese) {
            QTest::qWait(100);
            EXPECT_EQ(service().requests("news").size(), 0);
            EXPECT_EQ(window->NewsThread(), nullptr);
        }
        ASSERT_TRUE(waitForChecks());
        EXPECT_TRUE(answerer->shown.empty()); // automatic, same build: silent
        window.reset();
    }
}

} // namespace
