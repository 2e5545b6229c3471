// A tiny program that starts the update check, the news fetch and the install-status
// report against the services of the given Config.ini, quits its event loop after
// 300 ms and ends. The tests time it: a hanging service must not delay the end.
// Prints "finished" when the update check or the news fetch reports (which a hanging
// service never lets happen).
#include "config/uAppConfig.h"
#include "services/ServiceAddresses.h"
#include "services/UCheckNewThread.h"
#include "services/uInstallStatus.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    pelidor::AppConfig.ConfigFile = argv[1];
    const pelidor::TServiceAddresses addresses = pelidor::ServiceAddresses();

    QObject window; // stands for the main window that owns the requests
    auto* check = new pelidor::TCheckUpdate(
        1, QString::fromStdString(pelidor::UpdateCheckUrl(addresses, false)), &window);
    check->FOnFinish = [](auto*, const QString&, const QStringList&, const QString&, int,
                          const QString&, const pelidor::TFeatureInfo*) { std::puts("finished"); };
    check->Start();
    auto* news = pelidor::TGetNews::Create(&window, pelidor::kNewsProductId, "");
    QObject::connect(news, &pelidor::TGetNews::NewsFetched, [] { std::puts("finished"); });
    pelidor::StartInstallStatusReport("9.9.9.9", "{00000000-0000-0000-0000-000000000000}");

    QTimer::singleShot(300, &app, &QCoreApplication::quit);
    const int rc = app.exec();
    std::fflush(stdout);
    return rc;
}
