// The install-status report: once per new program version, the version, the product
// number and the user identifier are posted to the maker's install-statistics service.
//
// The settings store decides when (LoadAppConfig calls OnVersionChanged when the running
// version differs from the one last reported); InstallStatusReporter connects that seam
// to StartInstallStatusReport. The post runs asynchronously on the calling thread's event
// loop; nothing waits for it, its answer is read and dropped, and a failure is silent.
// Pending posts are aborted when the application object goes away, so they never delay
// the end of the program.
#pragma once

#include <QObject>
#include <QString>

#include <string>

class QNetworkAccessManager;
class QNetworkReply;

namespace pelidor {

// The fixed parts of the post.
inline constexpr const char* kInstallStatusContentType = "application/x-www-form-urlencoded ";
inline constexpr const char* kInstallStatusUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0; Maxthon)";
inline constexpr int kInstallStatusTimeoutMs = 5000;

// The form body: "product_ver=<v>&product_id=<n>&gu_id=<g>", each value URL-encoded.
QByteArray InstallStatusBody(const QString& SoftName, const QString& SoftVer,
                             const QString& UserGuid);

// One post to Url. Created by StartInstallStatusReport; deletes itself when done.
class TSetupPostThread : public QObject {
public:
    TSetupPostThread(const QString& ASoftName, const QString& ASoftVer, const QString& AUserGuid,
                     QObject* Parent);
    void Start(const QString& Url);
    bool IsError() const { return FIsError; }

private:
    void finished();

    QString FSoftName;
    QString FSoftVer;
    QString FUserGuid;
    bool FIsError = false;
    QNetworkAccessManager* FidHttp = nullptr;
    QNetworkReply* FReply = nullptr;
};

// Starts the report of Version and UserGuid (product number 35) to the install-statistics
// service of ServiceAddresses() and returns at once. Without an application object
// nothing is sent.
void StartInstallStatusReport(const std::string& Version, const std::string& UserGuid);

// Makes LoadAppConfig start the report when the version changed. Call once at start,
// before the settings are loaded.
void InstallStatusReporter();

} // namespace pelidor
