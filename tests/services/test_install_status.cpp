// The install-status report: the exact post, and that loading the settings starts it
// once per new version.
#include "ServicesTestSupport.h"

#include "config/IniFile.h"
#include "config/uAppConfig.h"
#include "services/uInstallStatus.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

using namespace pelidor;
using namespace pelidor::test;

class InstallStatus : public StandInTest {
protected:
    void TearDown() override {
        OnVersionChanged = nullptr;
        SetSettingsRoot("");
        AppConfig = TAppConfig();
    }
    // The settings folder under a temporary root, with [Services] pointing at the stand-in.
    std::string prepareSettings(const QTemporaryDir& root) {
        SetSettingsRoot(root.path().toStdString());
        const QString folder = root.path() + "/Pelidor";
        QDir().mkpath(folder);
        QFile config(folder + "/Config.ini");
        EXPECT_TRUE(config.open(QIODevice::WriteOnly));
        config.write(("[Services]\nStatistics=" + service().baseUrl() + "\n").toUtf8());
        return config.fileName().toStdString();
    }
};

TEST_F(InstallStatus, PostsTheFormWithItsExactHeadersAndBody) {
    QTemporaryDir root;
    AppConfig.ConfigFile = prepareSettings(root);
    StartInstallStatusReport("1.2.3.4", "{0A1B2C3D-0000-4000-8000-00000000ABCD}");
    ASSERT_TRUE(service().waitForRequests("statistics", 1));
    const QJsonObject post = service().requests("statistics").at(0).toObject();
    EXPECT_EQ(post.value("method").toString(), "POST");
    EXPECT_EQ(post.value("path").toString(), "/install_statistics/index.php");
    EXPECT_EQ(post.value("query").toString(), "p=install_statistics");
    EXPECT_EQ(StandInService::header(post, "Content-Type"), "application/x-www-form-urlencoded ");
    EXPECT_EQ(StandInService::header(post, "User-Agent"),
              "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0; Maxthon)");
    EXPECT_EQ(post.value("body").toString(),
              "product_ver=1.2.3.4&product_id=35&gu_id=%7B0A1B2C3D-0000-4000-8000-00000000ABCD%7D");
}

TEST_F(InstallStatus, LoadingTheSettingsReportsOncePerVersion) {
    QTemporaryDir root;
    const std::string config = prepareSettings(root);
    InstallStatusReporter();
    const std::string version = VersionText(ProgramVersionInfo());

    // First start: one report, then SetupVer holds the version.
    LoadAppConfig();
    ASSERT_TRUE(service().waitForRequests("statistics", 1));
    const std::string guid = AppConfig.SetupGUID;
    EXPECT_EQ(AppConfig.SetupVer, version);
    ASSERT_TRUE(SaveAppConfig());

    // Second start with the same version: no report.
    LoadAppConfig();
    QTest::qWait(500);
    EXPECT_EQ(service().requests("statistics").size(), 1);

    // Start after an upgrade (the file remembers an older version): one more report with
    // the new version and the same user identifier.
    IniFile ini(config);
    ini.writeString("General", "SetupVer", "0.0.0.1");
    ASSERT_TRUE(ini.save());
    LoadAppConfig();
    ASSERT_TRUE(service().waitForRequests("statistics", 2));
    const QJsonArray posts = service().requests("statistics");
    EXPECT_EQ(posts.size(), 2);
    const QString expected =
        "product_ver=" + QString::fromStdString(version) +
        "&product_id=35&gu_id=" + QUrl::toPercentEncoding(QString::fromStdString(guid));
    for (const QJsonValue& post : posts)
        EXPECT_EQ(post.toObject().value("body").toString(), expected);
}
