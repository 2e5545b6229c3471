// The services' base addresses from [Services] of Config.ini, and the request addresses.
#include "services/ServiceAddresses.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace pelidor;

namespace {

std::string writeConfig(const QTemporaryDir& dir, const QByteArray& content) {
    const QString path = dir.path() + "/Config.ini";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    return path.toStdString();
}

} // namespace

TEST(ServiceAddresses, DefaultsLieUnderTheReservedDomain) {
    for (const TServiceAddresses& a :
         {ReadServiceAddresses(""), ReadServiceAddresses("/nonexistent/Config.ini")}) {
        for (const std::string& base : {a.WebSite, a.JapanSite, a.News, a.Statistics, a.Feedback}) {
            EXPECT_TRUE(base.starts_with("http://")) << base;
            EXPECT_TRUE(base.ends_with(".corvane.example")) << base;
        }
    }
}

TEST(ServiceAddresses, ConfigKeysOverrideEachBaseAndBuildTheRequestAddresses) {
    QTemporaryDir dir;
    const std::string config = writeConfig(dir, "[General]\nLanguage=English\n"
                                                "[Services]\n"
                                                "WebSite=http://127.0.0.1:8001/\n"
                                                "JapanSite=http://127.0.0.1:8002\n"
                                                "News=http://127.0.0.1:8003/prefix//\n"
                                                "Statistics=http://127.0.0.1:8004\n"
                                                "Feedback=\n");
    const TServiceAddresses a = ReadServiceAddresses(config);
    EXPECT_EQ(UpdateCheckUrl(a, false), "http://127.0.0.1:8001/software_update/getinfo.php?p_id=2");
    EXPECT_EQ(UpdateCheckUrl(a, true),
              "http://127.0.0.1:8002/software_update/getinfo.php?upro_id=2");
    EXPECT_EQ(NewsUrl(a, 8), "http://127.0.0.1:8003/prefix/messages/index.php?to=checknews&pid=8");
    EXPECT_EQ(InstallStatisticsUrl(a),
              "http://127.0.0.1:8004/install_statistics/index.php?p=install_statistics");
    // An empty value keeps the default.
    EXPECT_EQ(FeedbackUrl(a, "home"),
              TServiceAddresses().Feedback + "/corvane_feedback/index.php?to=home");
}
