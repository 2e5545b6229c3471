#include "services/uInstallStatus.h"

#include "config/uAppConfig.h"
#include "services/ServiceAddresses.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace pelidor {

QByteArray InstallStatusBody(const QString& SoftName, const QString& SoftVer,
                             const QString& UserGuid) {
    return "product_ver=" + QUrl::toPercentEncoding(SoftVer) +
           "&product_id=" + QUrl::toPercentEncoding(SoftName) +
           "&gu_id=" + QUrl::toPercentEncoding(UserGuid);
}

TSetupPostThread::TSetupPostThread(const QString& ASoftName, const QString& ASoftVer,
                                   const QString& AUserGuid, QObject* Parent)
    : QObject(Parent), FSoftName(ASoftName), FSoftVer(ASoftVer), FUserGuid(AUserGuid),
      FidHttp(new QNetworkAccessManager(this)) {}

void TSetupPostThread::Start(const QString& Url) {
    QNetworkRequest request{QUrl(Url)};
    request.setRawHeader("Content-Type", kInstallStatusContentType);
    request.setRawHeader("User-Agent", kInstallStatusUserAgent);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // The read timeout: the post fails when nothing moves for this long.
    request.setTransferTimeout(kInstallStatusTimeoutMs);
    FReply = FidHttp->post(request, InstallStatusBody(FSoftName, FSoftVer, FUserGuid));
    // The answer is not used: drop it as it comes, so its size does not matter.
    connect(FReply, &QNetworkReply::readyRead, this,
            [this] { FReply->skip(FReply->bytesAvailable()); });
    connect(FReply, &QNetworkReply::finished, this, [this] { finished(); });
}

void TSetupPostThread::finished() {
    FIsError = FReply->error() != QNetworkReply::NoError;
    deleteLater();
}

void StartInstallStatusReport(const std::string& Version, const std::string& UserGuid) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr)
        return;
    auto* post = new TSetupPostThread(QString::number(kInstallReportProduct),
                                      QString::fromStdString(Version),
                                      QString::fromStdString(UserGuid), app);
    post->Start(QString::fromStdString(InstallStatisticsUrl(ServiceAddresses())));
}

void InstallStatusReporter() {
    OnVersionChanged = [](const std::string& Version, const std::string& UserGuid) {
        StartInstallStatusReport(Version, UserGuid);
    };
}

} // namespace pelidor
