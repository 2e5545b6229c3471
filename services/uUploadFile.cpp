#include "services/uUploadFile.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QHttpPart>
#include <QMetaObject>
#include <QMimeDatabase>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace pelidor {

namespace {

// A text as it may stand between the quotes of a header parameter.
QByteArray quotedParameter(const QString& text) {
    QByteArray out = text.toUtf8();
    out.replace('"', "%22");
    out.replace('\r', "%0D");
    out.replace('\n', "%0A");
    return out;
}

QByteArray fileContentType(const QString& fileName) {
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    return type.isValid() ? type.name().toLatin1() : QByteArrayLiteral("application/octet-stream");
}

} // namespace

bool UploadFileTooLarge(const QString& FileName) {
    const QFileInfo info(FileName);
    if (!info.exists())
        return false;
    return UploadSizeTooLarge(info.size());
}

QByteArray FormDataDisposition(const QString& Key, const QString& FileName, bool IsFile) {
    QByteArray value = "form-data; name=\"" + quotedParameter(Key) + '"';
    if (IsFile)
        value += "; filename=\"" + quotedParameter(FileName) + '"';
    return value;
}

TUploadThread::TUploadThread(QObject* Parent)
    : QThread(Parent), FContentType(kUploadInitialContentType) {
    // The end event and the self-deletion run on this object's thread once the post is over.
    connect(this, &QThread::finished, this, [this] { ended(); });
    // A quitting program never waits for a post: abort it so the thread ends at once.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            FSilent = true;
            Abort();
            wait();
        });
    }
}

TUploadThread::~TUploadThread() {
    // The caller is done with this object: no event reaches it any more.
    FSilent = true;
    Abort();
    wait();
}

void TUploadThread::AddFile(const QString& Key, const QString& FileName) {
    if (!FStarted)
        FS.push_back({Key, FileName, true});
}

void TUploadThread::AddParams(const QString& Key, const QString& Value) {
    if (!FStarted)
        FS.push_back({Key, Value, false});
}

void TUploadThread::UpLoad(const QString& Url) {
    if (FStarted)
        return;
    FStarted = true;
    FUrl = Url;
    start();
}

QString TUploadThread::GetResult() const {
    return QString::fromUtf8(FResponseStream);
}

QByteArray TUploadThread::ContentType() const {
    QMutexLocker lock(&FLock);
    return FContentType;
}

void TUploadThread::Abort() {
    FAborted = true;
    QMutexLocker lock(&FLock);
    // The hook is set and run on the upload thread only.
    if (FWorker)
        QMetaObject::invokeMethod(
            FWorker.data(),
            [this] {
                if (FAbortHook)
                    FAbortHook();
            },
            Qt::QueuedConnection);
}

void TUploadThread::run() {
    if (FBeginUpload && !FSilent)
        FBeginUpload(this);
    const bool ok = !FAborted && post();
    if (!ok) {
        FResponseStream.clear();
        if (FUploadError && !FSilent)
            FUploadError(this);
    }
    FS.clear();
}

bool TUploadThread::post() {
    // Everything of the exchange lives on this thread, in this scope; the manager goes
    // last and takes the reply and the form with it.
    QNetworkAccessManager http;
    http.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    QEventLoop loop;

    auto form = std::make_unique<QHttpMultiPart>(QHttpMultiPart::FormDataType);
    for (const TFormPart& part : FS) {
        QHttpPart item;
        if (part.IsFile) {
            // Only a regular file, and the size rule again as the post starts: the file
            // may have changed since it was chosen. (A FIFO is refused before it is
            // opened, since opening one waits for a writer.)
            if (!QFileInfo(part.Value).isFile())
                return false;
            auto* file = new QFile(part.Value, form.get());
            if (!file->open(QIODevice::ReadOnly) || file->isSequential() ||
                (MaxFileBytes >= 0 && file->size() > MaxFileBytes))
                return false;
            const QString name = QFileInfo(part.Value).fileName();
            item.setRawHeader("Content-Disposition", FormDataDisposition(part.Key, name, true));
            item.setRawHeader("Content-Type", fileContentType(name));
            item.setBodyDevice(file);
        } else {
            item.setRawHeader("Content-Disposition", FormDataDisposition(part.Key));
            item.setRawHeader("Content-Type", "text/plain; charset=UTF-8");
            item.setRawHeader("Content-Transfer-Encoding", "8bit");
            item.setBody(part.Value.toUtf8());
        }
        form->append(item);
    }

    QNetworkRequest request{QUrl(FUrl)};
    const QByteArray contentType = "multipart/form-data; boundary=\"" + form->boundary() + '"';
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);
    request.setRawHeader("User-Agent", kUploadUserAgent);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // The read timeout: the post fails when nothing moves for this long.
    request.setTransferTimeout(ReadTimeoutMs);
    {
        QMutexLocker lock(&FLock);
        FContentType = contentType;
    }

    bool failed = false;
    QNetworkReply* reply = http.post(request, form.get());
    form.release()->setParent(reply);
    const auto fail = [&] {
        if (failed)
            return;
        failed = true;
        reply->abort();
        loop.quit();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [&] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > MaxAnswerBytes)
            fail();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        if (failed)
            return;
        FResponseStream += reply->readAll();
        if (FResponseStream.size() > MaxAnswerBytes)
            fail();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, [&] { loop.quit(); });
    QTimer total;
    total.setSingleShot(true);
    QObject::connect(&total, &QTimer::timeout, &loop, fail);
    total.start(TotalTimeoutMs);

    // Abort() reaches this thread through a queued call on the worker object.
    QObject worker;
    FAbortHook = fail;
    {
        QMutexLocker lock(&FLock);
        FWorker = &worker;
    }
    if (!FAborted && !reply->isFinished())
        loop.exec();
    {
        QMutexLocker lock(&FLock);
        FWorker = nullptr;
    }
    FAbortHook = nullptr;

    if (failed || FAborted || reply->error() != QNetworkReply::NoError)
        return false;
    if (reply->isOpen())
        FResponseStream += reply->readAll();
    if (FResponseStream.size() > MaxAnswerBytes)
        return false;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    return status >= 200 && status < 300;
}

void TUploadThread::ended() {
    wait();
    if (FEndUpload && !FSilent)
        FEndUpload(this);
    if (FreeOnTerminate)
        deleteLater();
}

} // namespace pelidor
