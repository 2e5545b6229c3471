// The stand-in's feedback service, which the support window's tests will drive: its
// pages and their links, the unread query and the upload post.
#include "ServicesTestSupport.h"

#include <QFile>
#include <QHttpMultiPart>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace pelidor;
using namespace pelidor::test;

class StandInFeedback : public StandInTest {
protected:
    QString feedback(const QString& to) const {
        return url("/corvane_feedback/index.php?to=" + to);
    }
};

TEST_F(StandInFeedback, PagesCarryTheLinksAndThePageFunctions) {
    for (const QString to : {"home", "question&id=4", "my-feedback", "write-question"}) {
        const QString page = FetchText(feedback(to)).text;
        SCOPED_TRACE(to.toStdString());
        for (const char* link : {"href=\"javascript:screenshot;\"",
                                 "href=\"javascript:add-image;\"", "href=\"javascript:add-file;\"",
                                 "index.php?to=write-question\"", "index.php?to=my-feedback\""})
            EXPECT_TRUE(page.contains(link)) << link;
        EXPECT_TRUE(page.contains("function uploadBegain(name, ext)"));
        EXPECT_TRUE(page.contains("function uploadCallback(name, answer)"));
        EXPECT_TRUE(page.contains(service().baseUrl())) << "links are absolute";
    }
    service().setAnswerBody("page-home", "<html><title>custom</title></html>");
    EXPECT_EQ(FetchText(feedback("home")).text, "<html><title>custom</title></html>");
}

TEST_F(StandInFeedback, UnreadQueryAndUploadPost) {
    EXPECT_EQ(FetchText(feedback("fetch-unread-message&guid=G")).text, "[]");
    service().setAnswerBody("unread", "[{\"id\":3},{\"id\":9}]");
    EXPECT_EQ(FetchText(feedback("fetch-unread-message&guid=G")).text, "[{\"id\":3},{\"id\":9}]");
    EXPECT_EQ(service().requests("unread").at(0).toObject().value("query").toString(),
              "to=fetch-unread-message&guid=G");

    QNetworkAccessManager manager;
    auto* multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   "form-data; name=\"file\"; filename=\"shot.png\"");
    part.setHeader(QNetworkRequest::ContentTypeHeader, "image/png");
    part.setBody(QByteArray("\x89PNG-bytes", 10));
    multi->append(part);
    QNetworkReply* reply = manager.post(QNetworkRequest(QUrl(feedback("upload-file"))), multi);
    multi->setParent(reply);
    QSignalSpy finished(reply, &QNetworkReply::finished);
    ASSERT_TRUE(finished.wait(10000));
    const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    EXPECT_TRUE(answer.contains("err"));
    reply->deleteLater();

    const QJsonArray uploads = service().requests("upload");
    ASSERT_EQ(uploads.size(), 1);
    const QJsonObject post = uploads.at(0).toObject();
    EXPECT_TRUE(StandInService::header(post, "Content-Type").startsWith("multipart/form-data"));
    const QByteArray body = QByteArray::fromBase64(post.value("body_base64").toString().toLatin1());
    EXPECT_TRUE(body.contains("filename=\"shot.png\""));
    EXPECT_TRUE(body.contains(QByteArray("\x89PNG-bytes", 10)));
}

TEST_F(StandInFeedback, AQuitDuringHangingRequestsDoesNotWaitForTheirTimeouts) {
    for (const char* exchange : {"update", "news", "statistics"})
        service().setAnswer(exchange, QJsonObject{{"hang", true}});
    QTemporaryDir dir;
    QFile config(dir.path() + "/Config.ini");
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    const QByteArray base = service().baseUrl().toUtf8();
    config.write("[Services]\nWebSite=" + base + "\nNews=" + base + "\nStatistics=" + base + "\n");
    config.close();

    QProcess probe;
    QElapsedTimer clock;
    clock.start();
    probe.start(PELIDOR_QUIT_PROBE, {config.fileName()});
    ASSERT_TRUE(probe.waitForFinished(20000));
    const qint64 ms = clock.elapsed();
    EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(probe.exitCode(), 0);
    EXPECT_FALSE(probe.readAllStandardOutput().contains("finished"));
    // The probe quits after 300 ms; the requests' own timeouts are 5 s and more.
    EXPECT_LT(ms, 3000);
    EXPECT_EQ(service().requests("update").size(), 1);
    EXPECT_EQ(service().requests("news").size(), 1);
    EXPECT_EQ(service().requests("statistics").size(), 1);
}
