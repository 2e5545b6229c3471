// The update check, the news fetch and the small HTTP download they share.
//
// Threading: every request runs asynchronously through QNetworkAccessManager on the
// thread that starts it (normally the user-interface thread), so nothing here blocks
// that thread and nothing needs a worker thread of its own. Results are delivered on
// the same thread, from its event loop. A request belongs to a context object: when
// that object is destroyed (the window closes, the program ends) the request is
// aborted at once, its result is dropped and nothing waits for a timeout.
//
// Failures are silent: an unreachable service, a network error, an answer larger than
// the size cap, an answer that does not arrive in time or that is not the expected
// JSON all end as "no answer" (empty text, no newer build, no news).
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pelidor {

// ---- GetUrlText ------------------------------------------------------------------------

struct TUrlTextOptions {
    // The whole exchange must end within this time, else it counts as failed.
    int TimeoutMs = 15000;
    // Answers longer than this count as failed (checked against the announced length
    // and while reading).
    int64_t MaxBytes = int64_t{4} << 20;
};

// The defaults used by GetUrlText, TCheckUpdate and TGetNews when no options are given.
TUrlTextOptions& DefaultUrlTextOptions();

// Fetches Url with HTTP GET, always from the network (nothing read from or written to a
// cache), with the extra header "Accept-Charset: utf-8". Done receives the body up to
// its end or its first zero byte, as UTF-8 text, or empty text on any failure. The body
// of an HTTP error page counts as an answer. Done runs later on the calling thread's
// event loop, never inside this call, and never once Context has been destroyed.
void GetUrlText(const QString& Url, QObject* Context, std::function<void(const QString&)> Done,
                const TUrlTextOptions& Options = DefaultUrlTextOptions());
// The same, and on a failure Error tells why (the network's reason, the time limit, the
// size cap); Error is empty when an answer arrived.
void GetUrlTextOrError(const QString& Url, QObject* Context,
                       std::function<void(const QString& Text, const QString& Error)> Done,
                       const TUrlTextOptions& Options = DefaultUrlTextOptions());

// ---- Update check ----------------------------------------------------------------------

struct TFeatureInfo {
    QString FeatureID, FeatureURL, FeatureThURL, PrviewFile, SkinFile;
};

class TCheckUpdate;
// Sender, InfoFile, VerInfo, DownLink, Build, BlogURL, FeatureInfo (always null).
using TFindNewVerEvent = std::function<void(
    TCheckUpdate* Sender, const QString& InfoFile, const QStringList& VerInfo,
    const QString& DownLink, int Build, const QString& BlogURL, const TFeatureInfo* FeatureInfo)>;

// What the update service's answer says, decoded (see ParseUpdateAnswer).
struct TUpdateAnswer {
    bool Malwarebytes = false; // the answer mentions "Malwarebytes": not parsed
    bool HasStopped = false;   // a JSON object with the key "stopped"
    bool Stopped = false;      // "stopped" is not 0: no update is offered
    bool HasBuild = false;     // "stopped" is 0 and "build" is a number
    int Build = 0;
    QString DownloadUrl, BlogUrl;
    QStringList VerInfo; // "update_info", one line each
};

// Decodes an answer text. Missing or mistyped keys keep their defaults; text that is not
// a JSON object gives HasStopped false.
TUpdateAnswer ParseUpdateAnswer(const QString& Answer);

// Saves Answer as a file of 8 random letters "a" to "z" plus ".ini" in the temporary
// folder ($TMPDIR, else /tmp; a folder text that still holds "%", an unexpanded variable,
// gives /tmp). Returns the file's full path; when the folder does not exist, the folder
// path. A failed write is ignored. An existing file is never replaced.
QString SaveUpdateAnswer(const QString& Answer);

// One update check (see Start). Create it with new; with FreeOnTerminate set it deletes
// itself after the finish event. Deleting it (or its parent) while the request runs
// aborts the request: no finish event follows.
class TCheckUpdate : public QObject {
    Q_OBJECT
public:
    TCheckUpdate(int BuildNumber, const QString& URL, QObject* Parent = nullptr);

    // Calls FOnBegin, then sends the request and returns at once; FOnFinish follows on
    // this thread when the answer has been handled (also after a failure).
    void Start();

    std::function<void()> FOnBegin;
    TFindNewVerEvent FOnFinish;
    bool FreeOnTerminate = false;
    TUrlTextOptions Options = DefaultUrlTextOptions();

    bool Busy() const { return FBusy; }
    int CurBuild() const { return FCurBuild; }
    const QString& InfoData() const { return FInfoData; }
    const QString& DownLoadUrl() const { return FDownLoadUrl; }
    // Why the check got no usable answer (the service unreachable, no answer in time, an
    // answer that is not the service's); empty when it got one.
    const QString& Failure() const { return FFailure; }

private:
    void answered(const QString& Text);

    int FCurBuild;
    bool FBusy = false;
    QString FCheckURL;
    QString FDownLoadUrl;
    QString FBlogUrl;
    QString FInfoData;
    QStringList FVerInfo;
    QString FFailure;
};

// ---- News --------------------------------------------------------------------------------

struct TNewsInfo {
    int id = 0;
    int mtype = 0;
    QString title;
    QString url;
    int width = 0;
    int height = 0;
    double expired = 0; // date-time value (whole days)
    QString langcode;
    int64_t color = 0; // used only when greater than 0
};

// The announcements of a news answer that are to be shown, in the answer's order:
// - none when "servertime" is absent or empty; a "servertime" that is not a "yyyy-mm-dd"
//   date counts as Today (a date-time value; its time of day is ignored);
// - an id listed in MsgIds (comma-separated decimal ids, empty entries never match),
//   an "expired" date that does not parse or lies before the service's date, a "lang"
//   that is not empty and none of the "|"-separated LangCode parts (ASCII case ignored),
//   and "type" 0 are skipped;
// - an element that is not an object or lacks a numeric "id" or "type" ends the list
//   (the announcements accepted before it stay). Text that is not a JSON object: none.
std::vector<TNewsInfo> FilterNews(const QString& Answer, const std::string& MsgIds,
                                  const std::string& LangCode, double Today);

// The MSGIDs setting after the announcement Id has been shown: ",Id" appended, then the
// oldest ids (each with one comma) removed until the text is at most 255 characters.
std::string AppendShownNewsId(const std::string& MsgIds, int Id);
inline constexpr size_t kMaxMsgIdsLength = 255;

// The news product number the main window passes.
inline constexpr int kNewsProductId = 8;

// The news fetch: started by Create, it reports with NewsFetched(count) on the creating
// thread. The owner keeps it (the list stays readable) and deletes it; deleting it while
// the request runs aborts the request.
class TGetNews : public QObject {
    Q_OBJECT
public:
    // Builds the address from the news service's base (ServiceAddresses) and pid, and
    // starts the fetch. LangCode defaults to the active language file's "LangCode".
    static TGetNews* Create(QObject* Parent, int pid, const std::string& MsgIDs);
    TGetNews(const QString& NewsUrl, const std::string& MsgIDs, QObject* Parent = nullptr);

    void Start();

    bool Busy() const { return FBusy; }
    const std::vector<TNewsInfo>& NewsList() const { return fNewsList; }
    const QString& Msg() const { return FMsg; }
    const QString& NewsUrl() const { return FNewsUrl; }

    // Seams: the options of the request, the language codes and today's date used by the
    // filter (default: the active language file's "LangCode" and the local date when the
    // answer arrives).
    TUrlTextOptions Options = DefaultUrlTextOptions();
    std::function<std::string()> LangCode;
    std::function<double()> Today;

signals:
    // The fetch has ended; Count is the number of accepted announcements.
    void NewsFetched(int Count);

private:
    void answered(const QString& Text);

    std::vector<TNewsInfo> fNewsList;
    bool FBusy = false;
    QString FNewsUrl;
    QString FMsg;
    std::string FMsgIDs;
};

} // namespace pelidor
