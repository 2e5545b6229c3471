// The update check against the stand-in: what each kind of answer gives the finish
// event, and the saved copy of the answer.
#include "ServicesTestSupport.h"

#include "EnvGuard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>

using namespace pelidor;
using namespace pelidor::test;

namespace {

constexpr int kOwnBuild = 100;

struct Finish {
    bool done = false;
    bool begun = false;
    QString infoFile;
    QStringList verInfo;
    QString downLink;
    int build = 0;
    QString blogUrl;
    bool featureInfoAbsent = false;
    bool freed = false;
};

Finish runCheck(const QString& url) {
    Finish f;
    auto* check = new TCheckUpdate(kOwnBuild, url);
    QPointer<TCheckUpdate> alive(check);
    check->FreeOnTerminate = true;
    check->FOnBegin = [&] { f.begun = true; };
    check->FOnFinish = [&](TCheckUpdate* sender, const QString& infoFile,
                           const QStringList& verInfo, const QString& downLink, int build,
                           const QString& blogUrl, const TFeatureInfo* featureInfo) {
        EXPECT_EQ(sender, check);
        f.done = true;
        f.infoFile = infoFile;
        f.verInfo = verInfo;
        f.downLink = downLink;
        f.build = build;
        f.blogUrl = blogUrl;
        f.featureInfoAbsent = featureInfo == nullptr;
    };
    check->Start();
    EXPECT_TRUE(f.begun) << "the begin event comes before the request";
    (void)QTest::qWaitFor([&] { return f.done; }, 20000);
    f.freed = QTest::qWaitFor([&] { return alive.isNull(); }, 2000);
    return f;
}

QString readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class UpdateCheck : public StandInTest {
protected:
    void SetUp() override {
        StandInTest::SetUp();
        ASSERT_TRUE(tmp_.isValid());
        env_.set("TMPDIR", tmp_.path().toStdString());
    }
    QString updateUrl(bool japanese = false) const {
        return url(japanese ? "/software_update/getinfo.php?upro_id=2"
                            : "/software_update/getinfo.php?p_id=2");
    }
    // The saved copy: 8 letters a-z + ".ini" in the temporary folder.
    void expectSavedCopy(const Finish& f, const QString& answer) const {
        const QFileInfo info(f.infoFile);
        EXPECT_EQ(info.absolutePath(), QDir(tmp_.path()).absolutePath());
        EXPECT_TRUE(QRegularExpression("^[a-z]{8}\\.ini$").match(info.fileName()).hasMatch())
            << f.infoFile.toStdString();
        EXPECT_EQ(readFile(f.infoFile), answer + "\n");
    }

    QTemporaryDir tmp_;
    EnvGuard env_;
};

TEST_F(UpdateCheck, AnswersWithStoppedAreTakenAndSaved) {
    struct Case {
        const char* name;
        QString answer;
        int build;
    };
    const QString info = "\"update_info\":\"First line\\r\\nSecond line\\n\"";
    const Case cases[] = {
        {"newer build",
         "{\"stopped\":0,\"build\":101,\"url\":\"http://dl/p\",\"blog_url\":"
         "\"http://blog/p\"," +
             info + "}",
         101},
        {"same build",
         "{\"stopped\":0,\"build\":100,\"url\":\"http://dl/p\",\"blog_url\":"
         "\"http://blog/p\"," +
             info + "}",
         100},
        {"stopped = 1 keeps the own build but takes the rest",
         "{\"stopped\":1,\"build\":250,\"url\":\"http://dl/p\",\"blog_url\":\"http://blog/p\"," +
             info + "}",
         kOwnBuild},
    };
    for (const Case& c : cases) {
        service().setAnswerBody("update", c.answer);
        const Finish f = runCheck(updateUrl());
        ASSERT_TRUE(f.done) << c.name;
        EXPECT_EQ(f.build, c.build) << c.name;
        EXPECT_EQ(f.downLink, "http://dl/p") << c.name;
        EXPECT_EQ(f.blogUrl, "http://blog/p") << c.name;
        EXPECT_EQ(f.verInfo, QStringList({"First line", "Second line"})) << c.name;
        EXPECT_TRUE(f.featureInfoAbsent) << c.name;
        EXPECT_TRUE(f.freed) << c.name;
        expectSavedCopy(f, c.answer);
    }
    EXPECT_EQ(service().requests("update").size(), 3);
}

TEST_F(UpdateCheck, OtherAnswersLeaveTheOwnBuild) {
    struct Case {
        const char* name;
        QJsonObject answer;
        bool unreachable;
        QString infoFile; // what the finish event gets as InfoFile
        QString downLink;
    };
    const QString noStopped = "{\"build\":250,\"url\":\"http://dl/p\"}";
    const QString malformed = "{\"stopped\":0,\"build\":";
    const QString blocked = "<html><body>Website blocked by Malwarebytes</body></html>";
    const Case cases[] = {
        {"no stopped key: the raw answer", {{"body", noStopped}}, false, noStopped, ""},
        {"malformed JSON", {{"body", malformed}}, false, malformed, ""},
        {"an HTML error page",
         {{"body", "<h1>Server error</h1>"}, {"status", 500}},
         false,
         "<h1>Server error</h1>",
         ""},
        {"Malwarebytes block page",
         {{"body", blocked}, {"status", 403}},
         false,
         blocked,
         "Malwarebytes"},
        {"Malwarebytes inside JSON wins over the JSON",
         {{"body", "{\"stopped\":0,\"build\":300,\"url\":\"Malwarebytes.example\"}"}},
         false,
         "{\"stopped\":0,\"build\":300,\"url\":\"Malwarebytes.example\"}",
         "Malwarebytes"},
        {"unreachable service", {}, true, "", ""},
        {"answer over the size cap",
         {{"body", "{\"stopped\":0,\"build\":300}"}, {"size", 5 << 20}},
         false,
         "",
         ""},
    };
    for (const Case& c : cases) {
        service().setAnswer("update", c.answer);
        const QString target = c.unreachable
                                   ? UnreachableBaseUrl() + "/software_update/getinfo.php?p_id=2"
                                   : updateUrl();
        const Finish f = runCheck(target);
        ASSERT_TRUE(f.done) << c.name;
        EXPECT_EQ(f.build, kOwnBuild) << c.name;
        EXPECT_EQ(f.infoFile, c.infoFile) << c.name;
        EXPECT_EQ(f.downLink, c.downLink) << c.name;
        EXPECT_TRUE(f.verInfo.isEmpty()) << c.name;
    }
    EXPECT_TRUE(QDir(tmp_.path()).isEmpty()) << "only answers with stopped are saved";
}

TEST_F(UpdateCheck, JapaneseEditionQueryReachesTheService) {
    service().setAnswerBody("update", "{\"stopped\":0,\"build\":102}");
    const Finish f = runCheck(updateUrl(true));
    EXPECT_EQ(f.build, 102);
    const QJsonArray log = service().requests("update");
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log.at(0).toObject().value("query").toString(), "upro_id=2");
}

TEST(UpdateAnswerCopy, TemporaryFolderFallbacks) {
    EnvGuard env;
    // A folder text with an unexpanded variable: the fixed fallback folder.
    env.set("TMPDIR", "/nonexistent/%TEMP%");
    const QString saved = SaveUpdateAnswer("{\"stopped\":0}");
    EXPECT_TRUE(QRegularExpression("^/tmp/[a-z]{8}\\.ini$").match(saved).hasMatch())
        << saved.toStdString();
    EXPECT_EQ(readFile(saved), "{\"stopped\":0}\n");
    QFile::remove(saved);
    // A folder that does not exist: its path instead of a file.
    env.set("TMPDIR", "/nonexistent/pelidor-tmp");
    EXPECT_EQ(SaveUpdateAnswer("{}"), "/nonexistent/pelidor-tmp/");
}

TEST(UpdateAnswer, KeysOfTheWrongTypeKeepTheirDefaults) {
    const TUpdateAnswer a = ParseUpdateAnswer(
        "{\"stopped\":\"0\",\"build\":300,\"url\":5,\"blog_url\":null,\"update_info\":[1]}");
    EXPECT_TRUE(a.HasStopped);
    EXPECT_TRUE(a.Stopped) << "a stopped that is not the number 0 offers nothing";
    EXPECT_FALSE(a.HasBuild);
    EXPECT_TRUE(a.DownloadUrl.isEmpty());
    EXPECT_TRUE(a.VerInfo.isEmpty());
    EXPECT_FALSE(ParseUpdateAnswer("[{\"stopped\":0}]").HasStopped);
    EXPECT_FALSE(ParseUpdateAnswer("{\"stopped\":0,\"build\":1e12}").HasBuild);
}
