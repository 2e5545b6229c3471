// The attachment upload: one multipart form post of files and text fields to the
// feedback service, on a thread of its own, handing back the service's answer.
//
// Wire format: HTTP POST to the address given to UpLoad, content type
// "multipart/form-data" with the stream's boundary, user agent kUploadUserAgent. Each
// file part carries its field name, the file's name and a content type derived from the
// name's extension; each text field is sent as "text/plain; charset=UTF-8" with the
// transfer encoding "8bit". The answer is read as UTF-8 text.
//
// Threading: the post runs on the upload thread with its own event loop, so nothing
// here blocks the thread that starts it. FBeginUpload and FUploadError run on the upload
// thread (they may only do thread-safe work); FEndUpload runs on the thread the object
// lives on (the user-interface thread) once the post is over, in every case: after a
// failure GetResult is empty. Failures: an unreachable service, a network error, an HTTP
// status other than 2xx, a file that cannot be read, is not a regular file or is larger
// than MaxFileBytes when the post starts, an answer larger than MaxAnswerBytes,
// nothing received for ReadTimeoutMs, or the whole exchange taking longer than
// TotalTimeoutMs. When the application quits, or the object is destroyed, a running post
// is aborted at once and no event follows. Abort() ends a post as a failure (error and end
// events as usual).
#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

namespace pelidor {

inline constexpr const char* kUploadUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0; Maxthon)";
// The content type set at creation; the multipart type replaces it when sending.
inline constexpr const char* kUploadInitialContentType = "application/x-www-form-urlencoded ";
inline constexpr int kUploadReadTimeoutMs = 10000;
inline constexpr int kUploadTotalTimeoutMs = 300000;
inline constexpr int64_t kUploadMaxAnswerBytes = int64_t{4} << 20;

// The largest attachment the support window uploads: 5 MiB (a file of exactly this size
// is accepted).
inline constexpr int64_t kMaxUploadFileSize = int64_t{5} * 1024 * 1024;
// True when a file of Size bytes is too large to upload.
constexpr bool UploadSizeTooLarge(int64_t Size) {
    return Size > kMaxUploadFileSize;
}
// True when the file at FileName is larger than kMaxUploadFileSize. A file whose size
// cannot be read (missing, no permission) is not refused here.
bool UploadFileTooLarge(const QString& FileName);

// The answer the support window hands to its page when an upload returned nothing.
inline constexpr const char* kUploadFailureAnswer = "{\"err\":\"upload failure\"}";

// The Content-Disposition value of a form part: form-data; name="Key"[; filename="Name"].
// Quotes, CR and LF in the texts are written as %22, %0D and %0A so that a name can never
// end the value or the header; the texts are sent as UTF-8.
QByteArray FormDataDisposition(const QString& Key, const QString& FileName = QString(),
                               bool IsFile = false);

class TUploadThread : public QThread {
    Q_OBJECT

public:
    using TNotifyEvent = std::function<void(TUploadThread* Sender)>;

    // Created idle ("suspended"); UpLoad starts it. With FreeOnTerminate (the default) the
    // object deletes itself after FEndUpload.
    explicit TUploadThread(QObject* Parent = nullptr);
    // Aborts a running post and waits for the thread to end (it ends at once).
    ~TUploadThread() override;

    // Adds a file part (field Key, the file's name without its folder). The file is read
    // when the post is sent. Ignored once the upload has started.
    void AddFile(const QString& Key, const QString& FileName);
    // Adds a text field. Ignored once the upload has started.
    void AddParams(const QString& Key, const QString& Value);
    // Stores the address and starts the thread. Only the first call starts it.
    void UpLoad(const QString& Url);
    // The whole answer (empty after a failure). Valid once FEndUpload runs.
    QString GetResult() const;
    // Ends a running post as a failure, from any thread. Safe when nothing runs.
    void Abort();

    // The request's content type before sending (kUploadInitialContentType) and, once the
    // post is sent, the multipart type with its boundary.
    QByteArray ContentType() const;
    const QString& Url() const { return FUrl; }

    TNotifyEvent FBeginUpload; // upload thread, just before sending
    TNotifyEvent FUploadError; // upload thread, when the post failed
    TNotifyEvent FEndUpload;   // the object's thread, after the post, in every case
    void* FTag = nullptr;      // free for the caller
    bool FreeOnTerminate = true;

    int ReadTimeoutMs = kUploadReadTimeoutMs;
    int TotalTimeoutMs = kUploadTotalTimeoutMs;
    int64_t MaxAnswerBytes = kUploadMaxAnswerBytes;
    // The largest file part; a larger file fails the post as it starts (negative: none).
    int64_t MaxFileBytes = kMaxUploadFileSize;

protected:
    void run() override;

private:
    struct TFormPart {
        QString Key;
        QString Value; // the file's path for a file part
        bool IsFile = false;
    };

    bool post();
    void ended();

    QString FUrl;
    std::vector<TFormPart> FS;
    QByteArray FResponseStream;
    QByteArray FContentType;
    mutable QMutex FLock; // FContentType, FWorker
    QPointer<QObject> FWorker;
    std::function<void()> FAbortHook;
    std::atomic<bool> FAborted{false};
    std::atomic<bool> FSilent{false}; // destroyed or quitting: no events any more
    bool FStarted = false;
};

} // namespace pelidor
