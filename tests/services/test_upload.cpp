// The attachment upload against the stand-in service on 127.0.0.1: the multipart post as
// it arrives (headers, fields, the file's bytes), the answer handed back, and every way
// it can fail ending with the end event and an empty answer.
#include "ServicesTestSupport.h"

#include "services/ServiceAddresses.h"
#include "services/uUploadFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QPointer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <map>
#include <sys/stat.h>

using namespace pelidor;
using namespace pelidor::test;

namespace {

// One part of a multipart body: its headers (names in lower case) and its content.
struct FormPart {
    std::map<QByteArray, QByteArray> headers;
    QByteArray body;
};

// Splits a multipart/form-data body at the boundary of ContentType.
std::vector<FormPart> parseMultipart(const QByteArray& ContentType, const QByteArray& Body) {
    std::vector<FormPart> parts;
    const qsizetype at = ContentType.indexOf("boundary=");
    if (at < 0)
        return parts;
    QByteArray boundary = ContentType.mid(at + 9).trimmed();
    if (boundary.startsWith('"') && boundary.endsWith('"'))
        boundary = boundary.mid(1, boundary.size() - 2);
    const QByteArray delimiter = "--" + boundary;
    qsizetype pos = Body.indexOf(delimiter);
    while (pos >= 0) {
        pos += delimiter.size();
        if (Body.mid(pos, 2) == "--")
            break; // the closing delimiter
        pos += 2;  // CRLF after the delimiter
        const qsizetype next = Body.indexOf("\r\n" + delimiter, pos);
        if (next < 0)
            break;
        const QByteArray part = Body.mid(pos, next - pos);
        const qsizetype split = part.indexOf("\r\n\r\n");
        FormPart parsed;
        for (const QByteArray& line : part.left(split).split('\n')) {
            const QByteArray trimmed = line.trimmed();
            const qsizetype colon = trimmed.indexOf(':');
            if (colon > 0)
                parsed.headers[trimmed.left(colon).toLower()] = trimmed.mid(colon + 1).trimmed();
        }
        parsed.body = part.mid(split + 4);
        parts.push_back(std::move(parsed));
        pos = next + 2;
    }
    return parts;
}

// What an upload reported; the events record their thread.
struct UploadRun {
    std::atomic<int> begins{0};
    std::atomic<int> errors{0};
    int ends = 0;
    QThread* beginThread = nullptr;
    QThread* endThread = nullptr;
    QString answer;
    qint64 ms = 0;
    QPointer<TUploadThread> thread;
};

class Upload : public StandInTest {
protected:
    QString uploadUrl() const {
        TServiceAddresses addresses;
        addresses.Feedback = service().baseUrl().toStdString();
        return QString::fromStdString(FeedbackUrl(addresses, "upload-file"));
    }

    QString writeFile(const QString& name, const QByteArray& content) {
        const QString path = dir_.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    // Creates an upload, lets Setup add its parts and settings, starts it at Url and
    // waits for the end event.
    void run(UploadRun& r, const QString& url, const std::function<void(TUploadThread&)>& setup,
             int waitMs = 10000) {
        auto* t = new TUploadThread;
        r.thread = t;
        t->FBeginUpload = [&r](TUploadThread*) {
            r.beginThread = QThread::currentThread();
            ++r.begins;
        };
        t->FUploadError = [&r](TUploadThread*) { ++r.errors; };
        t->FEndUpload = [&r](TUploadThread* sender) {
            r.endThread = QThread::currentThread();
            r.answer = sender->GetResult();
            ++r.ends;
        };
        setup(*t);
        QElapsedTimer clock;
        clock.start();
        t->UpLoad(url);
        EXPECT_TRUE(QTest::qWaitFor([&] { return r.ends > 0; }, waitMs));
        r.ms = clock.elapsed();
        // It frees itself after the end event.
        EXPECT_TRUE(QTest::qWaitFor([&] { return r.thread.isNull(); }, 2000));
    }

    QTemporaryDir dir_;
};

TEST_F(Upload, PostsTheMultipartFormAndHandsBackTheAnswer) {
    // Bytes that look like a boundary, line ends and zero bytes must arrive unchanged.
    QByteArray content("\x89PNG\r\n\x1a\n\0\0--boundary\r\n\r\n", 22);
    for (int i = 0; i < 200000; ++i)
        content += static_cast<char>(QRandomGenerator::global()->bounded(256));
    const QString file = writeFile(QStringLiteral("shot.png"), content);
    const QString note = QStringLiteral("Grüße, 世界\r\nline two");
    const QString answer = QStringLiteral("{\"err\":\"\",\"url\":\"http://x.example/é.png\"}");
    service().setAnswerBody("upload", answer);

    UploadRun r;
    QByteArray typeBeforeSending;
    run(r, uploadUrl(), [&](TUploadThread& t) {
        t.AddFile(QStringLiteral("file"), file);
        t.AddParams(QStringLiteral("note"), note);
        typeBeforeSending = t.ContentType();
    });

    EXPECT_EQ(typeBeforeSending, QByteArray("application/x-www-form-urlencoded "));
    EXPECT_EQ(r.begins, 1);
    EXPECT_EQ(r.errors, 0);
    EXPECT_EQ(r.ends, 1);
    EXPECT_NE(r.beginThread, QCoreApplication::instance()->thread());
    EXPECT_EQ(r.endThread, QCoreApplication::instance()->thread());
    EXPECT_EQ(r.answer, answer);

    ASSERT_EQ(service().requests("upload").size(), 1);
    const QJsonObject post = service().requests("upload").at(0).toObject();
    EXPECT_EQ(post.value("method").toString(), "POST");
    EXPECT_EQ(post.value("path").toString(), "/corvane_feedback/index.php");
    EXPECT_EQ(post.value("query").toString(), "to=upload-file");
    EXPECT_EQ(StandInService::header(post, "User-Agent"),
              "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0; Maxthon)");
    const QByteArray type = StandInService::header(post, "Content-Type").toUtf8();
    EXPECT_TRUE(type.startsWith("multipart/form-data; boundary=")) << type.toStdString();

    const QByteArray body = QByteArray::fromBase64(post.value("body_base64").toString().toLatin1());
    const auto parts = parseMultipart(type, body);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].headers.at("content-disposition"),
              "form-data; name=\"file\"; filename=\"shot.png\"");
    EXPECT_EQ(parts[0].headers.at("content-type"), "image/png");
    EXPECT_TRUE(parts[0].body == content) << "file bytes differ";
    EXPECT_EQ(parts[1].headers.at("content-disposition"), "form-data; name=\"note\"");
    EXPECT_EQ(parts[1].headers.at("content-type"), "text/plain; charset=UTF-8");
    EXPECT_EQ(parts[1].headers.at("content-transfer-encoding"), "8bit");
    EXPECT_EQ(QString::fromUtf8(parts[1].body), note);
}

TEST_F(Upload, FileNamesCannotBreakThePartHeader) {
    struct Case {
        const char* name;
        QString fileName;
        QByteArray sent; // as it stands in the header
        QByteArray type;
    };
    const Case cases[] = {
        {"quote and line break", QStringLiteral("a\"b\nc.zip"), "a%22b%0Ac.zip", "application/zip"},
        {"non-ASCII", QStringLiteral("снимок экрана.jpg"),
         QStringLiteral("снимок экрана.jpg").toUtf8(), "image/jpeg"},
        {"no extension", QStringLiteral("notes"), "notes", "application/octet-stream"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service().resetLog();
        const QString file = writeFile(c.fileName, "payload");
        UploadRun r;
        run(r, uploadUrl(), [&](TUploadThread& t) { t.AddFile(QStringLiteral("file"), file); });
        EXPECT_EQ(r.errors, 0);
        EXPECT_FALSE(r.answer.isEmpty());
        ASSERT_EQ(service().requests("upload").size(), 1);
        const QJsonObject post = service().requests("upload").at(0).toObject();
        const auto parts =
            parseMultipart(StandInService::header(post, "Content-Type").toUtf8(),
                           QByteArray::fromBase64(post.value("body_base64").toString().toLatin1()));
        ASSERT_EQ(parts.size(), 1u);
        EXPECT_EQ(parts[0].headers.at("content-disposition"),
                  "form-data; name=\"file\"; filename=\"" + c.sent + "\"");
        EXPECT_EQ(parts[0].headers.at("content-type"), c.type);
        EXPECT_EQ(parts[0].body, QByteArray("payload"));
    }
}

TEST_F(Upload, FailuresEndWithAnEmptyAnswer) {
    const QString file = writeFile(QStringLiteral("a.png"), "png");
    struct Case {
        const char* name;
        QJsonObject answer;
        bool unreachable = false;
        bool missingFile = false;
        int64_t cap = kUploadMaxAnswerBytes;
    };
    const Case cases[] = {
        {"unreachable service", {}, true},
        {"HTTP error status", {{"status", 500}, {"body", "{\"err\":\"broken\"}"}}},
        {"redirect", {{"status", 302}, {"body", ""}}},
        {"connection closed without an answer", {{"close", true}}},
        {"announced answer over the cap", {{"size", 4 * 1024 * 1024 + 1}}},
        {"unannounced answer over the cap",
         {{"size", 5000}, {"no_length", true}},
         false,
         false,
         4096},
        {"file that cannot be read", {}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service().clearAnswers();
        service().resetLog();
        if (!c.answer.isEmpty())
            service().setAnswer("upload", c.answer);
        UploadRun r;
        const QString url =
            c.unreachable ? UnreachableBaseUrl() + "/corvane_feedback/index.php?to=upload-file"
                          : uploadUrl();
        run(r, url, [&](TUploadThread& t) {
            t.AddFile(QStringLiteral("file"), c.missingFile ? dir_.filePath("missing.png") : file);
            t.MaxAnswerBytes = c.cap;
        });
        EXPECT_EQ(r.ends, 1);
        EXPECT_EQ(r.begins, 1);
        EXPECT_EQ(r.errors, 1);
        EXPECT_TRUE(r.answer.isEmpty()) << r.answer.left(80).toStdString();
        if (c.missingFile) {
            EXPECT_EQ(service().requests("upload").size(), 0);
        }
    }
}

// The post itself sends only a regular file within the limit, whatever was checked when
// the file was chosen: a file that grew past 5 MiB, a folder and a FIFO (whose opening
// would wait for a writer for ever) fail as the post starts, and nothing reaches the
// service. A link to a regular file is that file.
TEST_F(Upload, OnlyRegularFilesWithinTheLimitAreSent) {
    const QString exact =
        writeFile(QStringLiteral("exact.zip"), QByteArray(kMaxUploadFileSize, 'x'));
    const QString over =
        writeFile(QStringLiteral("over.zip"), QByteArray(kMaxUploadFileSize + 1, 'x'));
    const QString folder = dir_.filePath(QStringLiteral("folder.zip"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString fifo = dir_.filePath(QStringLiteral("fifo.zip"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString link = dir_.filePath(QStringLiteral("link.zip"));
    ASSERT_TRUE(QFile::link(exact, link));
    const struct {
        const char* name;
        QString path;
        bool sent;
    } cases[] = {
        {"exactly 5 MiB", exact, true},
        {"one byte over 5 MiB", over, false},
        {"a folder", folder, false},
        {"a FIFO", fifo, false},
        {"a link to a regular file", link, true},
    };
    service().setAnswerBody("upload", QStringLiteral("{\"err\":\"\"}"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        service().resetLog();
        UploadRun r;
        run(r, uploadUrl(), [&](TUploadThread& t) { t.AddFile(QStringLiteral("file"), c.path); });
        EXPECT_EQ(r.ends, 1);
        EXPECT_EQ(r.errors, c.sent ? 0 : 1);
        EXPECT_EQ(r.answer.isEmpty(), !c.sent);
        EXPECT_EQ(service().requests("upload").size(), c.sent ? 1 : 0);
    }
}

TEST_F(Upload, SlowServiceTimesOut) {
    const QString file = writeFile(QStringLiteral("a.png"), "png");
    struct Case {
        const char* name;
        QJsonObject answer;
        int readTimeout, totalTimeout;
    };
    const Case cases[] = {
        // Nothing arrives: the read timeout ends it.
        {"no answer", {{"hang", true}}, 700, 60000},
        // A trickle keeps the read timeout from firing; the whole exchange is still bounded.
        {"endless trickle", {{"drip", 0.1}, {"drip_bytes", 1}, {"size", 100000}}, 2000, 1500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        service().setAnswer("upload", c.answer);
        UploadRun r;
        run(r, uploadUrl(), [&](TUploadThread& t) {
            t.AddFile(QStringLiteral("file"), file);
            t.ReadTimeoutMs = c.readTimeout;
            t.TotalTimeoutMs = c.totalTimeout;
        });
        EXPECT_EQ(r.ends, 1);
        EXPECT_EQ(r.errors, 1);
        EXPECT_TRUE(r.answer.isEmpty());
        EXPECT_GE(r.ms, std::min(c.readTimeout, c.totalTimeout) - 100);
        EXPECT_LT(r.ms, std::min(c.readTimeout, c.totalTimeout) + 4000);
    }
}

TEST_F(Upload, DestroyingARunningUploadAbortsAtOnce) {
    service().setAnswer("upload", QJsonObject{{"hang", true}});
    const QString file = writeFile(QStringLiteral("a.png"), "png");
    int ends = 0;
    std::atomic<int> errors{0};
    auto* t = new TUploadThread;
    t->FreeOnTerminate = false;
    t->FEndUpload = [&](TUploadThread*) { ++ends; };
    t->FUploadError = [&](TUploadThread*) { ++errors; };
    t->AddFile(QStringLiteral("file"), file);
    t->UpLoad(uploadUrl());
    ASSERT_TRUE(service().waitForRequests("upload", 1));
    QElapsedTimer clock;
    clock.start();
    delete t;
    EXPECT_LT(clock.elapsed(), 2000);
    QTest::qWait(100);
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(errors, 0);
}

TEST_F(Upload, AbortEndsARunningPostAsAFailure) {
    service().setAnswer("upload", QJsonObject{{"hang", true}});
    const QString file = writeFile(QStringLiteral("a.png"), "png");
    UploadRun r;
    run(r, uploadUrl(), [&](TUploadThread& t) {
        t.AddFile(QStringLiteral("file"), file);
        QTimer::singleShot(0, &t, [&t, this] {
            if (service().waitForRequests("upload", 1))
                t.Abort();
        });
    });
    EXPECT_EQ(r.ends, 1);
    EXPECT_EQ(r.errors, 1);
    EXPECT_TRUE(r.answer.isEmpty());
    EXPECT_LT(r.ms, 3000);
}

TEST(UploadSize, FiveMebibytesIsTheLimit) {
    EXPECT_FALSE(UploadSizeTooLarge(0));
    EXPECT_FALSE(UploadSizeTooLarge(5 * 1024 * 1024));
    EXPECT_TRUE(UploadSizeTooLarge(5 * 1024 * 1024 + 1));

    QTemporaryDir dir;
    const auto sized = [&](const char* name, qint64 size) {
        QFile file(dir.filePath(QLatin1String(name)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_TRUE(file.resize(size));
        return file.fileName();
    };
    EXPECT_FALSE(UploadFileTooLarge(sized("exact.zip", 5 * 1024 * 1024)));
    EXPECT_TRUE(UploadFileTooLarge(sized("over.zip", 5 * 1024 * 1024 + 1)));
    // A size that cannot be read is not refused.
    EXPECT_FALSE(UploadFileTooLarge(dir.filePath(QStringLiteral("missing.zip"))));
}

} // namespace
