#include "services/UCheckNewThread.h"

#include "config/IniFile.h"
#include "config/uLanguage.h"
#include "platform/DateTime.h"
#include "services/ServiceAddresses.h"

#include <QByteArray>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>

#include <cmath>

namespace pelidor {

namespace {

// One GET in flight. It lives as a child of the caller's context object, so destroying
// the context aborts the request (the reply is a child of the manager, a child of this).
class UrlTextFetch : public QObject {
public:
    UrlTextFetch(QObject* context, std::function<void(const QString&, const QString&)> done,
                 const TUrlTextOptions& options)
        : QObject(context), done_(std::move(done)), options_(options) {}

    void start(const QString& url) {
        auto* manager = new QNetworkAccessManager(this);
        manager->setAutoDeleteReplies(false);
        QNetworkRequest request{QUrl(url)};
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                             QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        request.setRawHeader("Accept-Charset", "utf-8");
        reply_ = manager->get(request);
        connect(reply_, &QNetworkReply::metaDataChanged, this, [this] {
            const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
            if (length.isValid() && length.toLongLong() > options_.MaxBytes)
                fail(QStringLiteral("The answer is too large."));
        });
        connect(reply_, &QNetworkReply::readyRead, this, [this] { read(); });
        connect(reply_, &QNetworkReply::finished, this, [this] { finished(); });
        auto* timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this,
                [this] { fail(QStringLiteral("The service did not answer in time.")); });
        timer->start(options_.TimeoutMs);
    }

private:
    void read() {
        if (over_)
            return;
        body_ += reply_->readAll();
        if (body_.size() > options_.MaxBytes)
            fail(QStringLiteral("The answer is too large."));
    }

    void finished() {
        if (over_)
            return;
        read();
        if (over_)
            return;
        // A network failure gives no answer; an HTTP error page is an answer like any other.
        const bool gotHttpAnswer =
            reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        if (reply_->error() != QNetworkReply::NoError && !gotHttpAnswer) {
            fail(reply_->errorString());
            return;
        }
        const qsizetype zero = body_.indexOf('\0');
        if (zero >= 0)
            body_.truncate(zero);
        deliver(QString::fromUtf8(body_));
    }

    void fail(const QString& reason) {
        if (over_)
            return;
        deliver(QString(), reason.isEmpty() ? QStringLiteral("-") : reason);
    }

    void deliver(const QString& text, const QString& error = QString()) {
        over_ = true;
        if (reply_ != nullptr && reply_->isRunning())
            reply_->abort();
        auto done = std::move(done_);
        deleteLater();
        if (done)
            done(text, error);
    }

    std::function<void(const QString&, const QString&)> done_;
    TUrlTextOptions options_;
    QNetworkReply* reply_ = nullptr;
    QByteArray body_;
    bool over_ = false;
};

// "yyyy-mm-dd" (one or two digits for month and day) as a date-time value.
bool parseServiceDate(const QJsonValue& value, double& out) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})$"));
    const auto match = pattern.match(value.toString());
    if (!match.hasMatch())
        return false;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(),
                     match.captured(3).toInt());
    if (!date.isValid())
        return false;
    out = static_cast<double>(date.toJulianDay() - QDate(1899, 12, 30).toJulianDay());
    return true;
}

bool listsId(const std::string& msgIds, const std::string& id) {
    size_t start = 0;
    while (start <= msgIds.size()) {
        size_t end = msgIds.find(',', start);
        if (end == std::string::npos)
            end = msgIds.size();
        if (end > start && msgIds.compare(start, end - start, id) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

bool langCodeMatches(const QString& lang, const std::string& langCode) {
    const QStringList parts = QString::fromStdString(langCode).split(QLatin1Char('|'));
    for (const QString& part : parts) {
        if (part.compare(lang, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString activeLangCode() {
    const std::string file = LangFile();
    if (file.empty())
        return QString();
    return QString::fromStdString(IniFile(file).readString("Translation", "LangCode", ""));
}

} // namespace

// ---- GetUrlText ------------------------------------------------------------------------

TUrlTextOptions& DefaultUrlTextOptions() {
    static TUrlTextOptions options;
    return options;
}

void GetUrlText(const QString& Url, QObject* Context, std::function<void(const QString&)> Done,
                const TUrlTextOptions& Options) {
    GetUrlTextOrError(
        Url, Context,
        [Done = std::move(Done)](const QString& Text, const QString&) {
            if (Done)
                Done(Text);
        },
        Options);
}

void GetUrlTextOrError(const QString& Url, QObject* Context,
                       std::function<void(const QString& Text, const QString& Error)> Done,
                       const TUrlTextOptions& Options) {
    auto* fetch = new UrlTextFetch(Context, std::move(Done), Options);
    fetch->start(Url);
}

// ---- Update check ----------------------------------------------------------------------

TUpdateAnswer ParseUpdateAnswer(const QString& Answer) {
    TUpdateAnswer result;
    if (Answer.contains(QStringLiteral("Malwarebytes"))) {
        result.Malwarebytes = true;
        return result;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(Answer.toUtf8());
    if (!doc.isObject())
        return result;
    const QJsonObject obj = doc.object();
    const QJsonValue stopped = obj.value(QStringLiteral("stopped"));
    if (stopped.isUndefined())
        return result;
    result.HasStopped = true;
    result.Stopped = !(stopped.isDouble() && stopped.toDouble() == 0);
    const QJsonValue build = obj.value(QStringLiteral("build"));
    if (!result.Stopped && build.isDouble() && std::isfinite(build.toDouble()) &&
        std::abs(build.toDouble()) < 2147483648.0) {
        result.HasBuild = true;
        result.Build = static_cast<int>(build.toDouble());
    }
    result.BlogUrl = obj.value(QStringLiteral("blog_url")).toString();
    result.DownloadUrl = obj.value(QStringLiteral("url")).toString();
    QString info = obj.value(QStringLiteral("update_info")).toString();
    if (!info.isEmpty()) {
        static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
        result.VerInfo = info.split(breaks);
        if (result.VerInfo.size() > 1 && result.VerInfo.back().isEmpty())
            result.VerInfo.removeLast(); // a final line break ends the last line
    }
    return result;
}

QString SaveUpdateAnswer(const QString& Answer) {
    QString folder = qEnvironmentVariable("TMPDIR");
    if (folder.isEmpty())
        folder = QStringLiteral("/tmp");
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (folder.contains(QLatin1Char('%')))
        folder = QStringLiteral("/tmp/");
    if (!QDir(folder).exists())
        return folder;

    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = Answer.split(breaks);
    if (lines.size() > 1 && lines.back().isEmpty())
        lines.removeLast();
    const QByteArray content = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();

    QString path;
    for (int attempt = 0; attempt < 16; ++attempt) {
        QString name;
        for (int i = 0; i < 8; ++i)
            name += QChar(u'a' + QRandomGenerator::global()->bounded(26));
        path = folder + name + QStringLiteral(".ini");
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            file.write(content);
            break;
        }
        if (!file.exists())
            break; // the folder cannot be written: the failure is ignored
    }
    return path;
}

TCheckUpdate::TCheckUpdate(int BuildNumber, const QString& URL, QObject* Parent)
    : QObject(Parent), FCurBuild(BuildNumber), FCheckURL(URL) {}

void TCheckUpdate::Start() {
    FBusy = true;
    if (FOnBegin)
        FOnBegin();
    GetUrlTextOrError(
        FCheckURL, this,
        [this](const QString& text, const QString& error) {
            FFailure = error;
            answered(text);
        },
        Options);
}

void TCheckUpdate::answered(const QString& Text) {
    FInfoData = Text;
    // An answer that is not the service's JSON is a failure too.
    if (FFailure.isEmpty() && !Text.isEmpty()) {
        const TUpdateAnswer answer = ParseUpdateAnswer(Text);
        if (!answer.Malwarebytes && !answer.HasStopped)
            FFailure = QStringLiteral("The service's answer could not be read.");
    } else if (FFailure.isEmpty()) {
        FFailure = QStringLiteral("The service sent an empty answer.");
    }
    if (!Text.isEmpty()) {
        const TUpdateAnswer answer = ParseUpdateAnswer(Text);
        if (answer.Malwarebytes) {
            FDownLoadUrl = QStringLiteral("Malwarebytes");
        } else if (answer.HasStopped) {
            if (answer.HasBuild)
                FCurBuild = answer.Build;
            FBlogUrl = answer.BlogUrl;
            FDownLoadUrl = answer.DownloadUrl;
            FVerInfo = answer.VerInfo;
            FInfoData = SaveUpdateAnswer(Text);
        }
    }
    if (FOnFinish)
        FOnFinish(this, FInfoData, FVerInfo, FDownLoadUrl, FCurBuild, FBlogUrl, nullptr);
    FBusy = false;
    if (FreeOnTerminate)
        deleteLater();
}

// ---- News --------------------------------------------------------------------------------

std::vector<TNewsInfo> FilterNews(const QString& Answer, const std::string& MsgIds,
                                  const std::string& LangCode, double Today) {
    std::vector<TNewsInfo> list;
    const QJsonDocument doc = QJsonDocument::fromJson(Answer.toUtf8());
    if (!doc.isObject())
        return list;
    const QJsonObject obj = doc.object();
    const QJsonValue servertime = obj.value(QStringLiteral("servertime"));
    if (!servertime.isString() || servertime.toString().isEmpty())
        return list;
    double serviceDate = 0;
    if (!parseServiceDate(servertime, serviceDate))
        serviceDate = std::floor(Today);

    const QJsonArray news = obj.value(QStringLiteral("news")).toArray();
    for (const QJsonValue& value : news) {
        if (!value.isObject())
            break;
        const QJsonObject item = value.toObject();
        const QJsonValue id = item.value(QStringLiteral("id"));
        const QJsonValue type = item.value(QStringLiteral("type"));
        if (!id.isDouble() || !type.isDouble())
            break;
        TNewsInfo info;
        info.id = id.toInt();
        info.mtype = type.toInt();
        if (listsId(MsgIds, std::to_string(info.id)))
            continue;
        if (!parseServiceDate(item.value(QStringLiteral("expired")), info.expired) ||
            serviceDate > info.expired)
            continue;
        info.langcode = item.value(QStringLiteral("lang")).toString();
        if (!info.langcode.isEmpty() && !langCodeMatches(info.langcode, LangCode))
            continue;
        if (info.mtype == 0)
            continue;
        info.title = item.value(QStringLiteral("title")).toString();
        info.url = item.value(QStringLiteral("url")).toString();
        info.width = item.value(QStringLiteral("FormWidth")).toInt();
        info.height = item.value(QStringLiteral("FormHeight")).toInt();
        // A number beyond the 64-bit range (or not a number at all) is no colour.
        const double color = item.value(QStringLiteral("color")).toDouble();
        info.color = std::fabs(color) < 9.2e18 ? static_cast<int64_t>(color) : 0;
        list.push_back(std::move(info));
    }
    return list;
}

std::string AppendShownNewsId(const std::string& MsgIds, int Id) {
    std::string result = MsgIds + "," + std::to_string(Id);
    while (result.size() > kMaxMsgIdsLength) {
        // The oldest id and the comma before it: the text up to the next comma.
        const size_t next = result.find(',', 1);
        if (next == std::string::npos)
            result.clear();
        else
            result.erase(0, next);
    }
    return result;
}

TGetNews* TGetNews::Create(QObject* Parent, int pid, const std::string& MsgIDs) {
    auto* news = new TGetNews(QString::fromStdString(pelidor::NewsUrl(ServiceAddresses(), pid)),
                              MsgIDs, Parent);
    news->Start();
    return news;
}

TGetNews::TGetNews(const QString& NewsUrl, const std::string& MsgIDs, QObject* Parent)
    : QObject(Parent), FNewsUrl(NewsUrl), FMsgIDs(MsgIDs) {}

void TGetNews::Start() {
    FBusy = true;
    GetUrlText(
        FNewsUrl, this, [this](const QString& text) { answered(text); }, Options);
}

void TGetNews::answered(const QString& Text) {
    FMsg = Text;
    if (!FMsg.isEmpty()) {
        const std::string codes = LangCode ? LangCode() : activeLangCode().toStdString();
        const double today = Today ? Today() : platform::nowLocalDateTime();
        fNewsList = FilterNews(FMsg, FMsgIDs, codes, today);
    }
    FBusy = false;
    emit NewsFetched(static_cast<int>(fNewsList.size()));
}

} // namespace pelidor
