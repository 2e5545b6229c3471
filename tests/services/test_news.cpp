// The news: the filter rules, the bookkeeping of shown ids, and the fetch against the
// stand-in.
#include "ServicesTestSupport.h"

#include "config/uAppConfig.h"

#include <QDate>
#include <QFile>
#include <QJsonObject>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>

using namespace pelidor;
using namespace pelidor::test;

namespace {

double dateValue(int y, int m, int d) {
    return static_cast<double>(QDate(y, m, d).toJulianDay() - QDate(1899, 12, 30).toJulianDay());
}

std::vector<int> ids(const std::vector<TNewsInfo>& list) {
    std::vector<int> result;
    for (const TNewsInfo& n : list)
        result.push_back(n.id);
    return result;
}

QString newsAnswer(const QString& servertimeMember) {
    return "{" + servertimeMember +
           "\"news\":["
           "{\"id\":1,\"type\":1,\"expired\":\"2024-05-10\",\"lang\":\"\",\"title\":\"One\","
           "\"url\":\"http://n/1\",\"FormWidth\":600,\"FormHeight\":300,\"color\":255},"
           "{\"id\":2,\"type\":1,\"expired\":\"2024-05-09\",\"lang\":\"\"},"
           "{\"id\":3,\"type\":2,\"expired\":\"2024-12-31\",\"lang\":\"1004\"},"
           "{\"id\":4,\"type\":1,\"expired\":\"2024-12-31\",\"lang\":\"0409\"},"
           "{\"id\":5,\"type\":0,\"expired\":\"2024-12-31\",\"lang\":\"\"},"
           "{\"id\":6,\"type\":1,\"expired\":\"2024-12-31\",\"lang\":\"\"},"
           "{\"id\":7,\"type\":1,\"expired\":\"soon\",\"lang\":\"\"},"
           "{\"id\":8,\"type\":1,\"expired\":\"2024-6-1\",\"lang\":\"aBcD\"},"
           "{\"id\":9,\"expired\":\"2024-12-31\"},"
           "{\"id\":10,\"type\":1,\"expired\":\"2024-12-31\",\"lang\":\"\"}]}";
}

} // namespace

TEST(NewsFilter, AppliesEveryRuleInTheAnswersOrder) {
    const std::vector<TNewsInfo> list =
        FilterNews(newsAnswer("\"servertime\":\"2024-05-10\","), ",6,,12", "0804|1004|ABCD",
                   dateValue(2030, 1, 1));
    // 2 expired the day before, 4 is another language, 5 has type 0, 6 was read, 7 has no
    // date, 9 lacks its type and ends the list (10 is never reached).
    EXPECT_EQ(ids(list), (std::vector<int>{1, 3, 8}));
    ASSERT_FALSE(list.empty());
    const TNewsInfo& one = list.front();
    EXPECT_EQ(one.mtype, 1);
    EXPECT_EQ(one.title, "One");
    EXPECT_EQ(one.url, "http://n/1");
    EXPECT_EQ(one.width, 600);
    EXPECT_EQ(one.height, 300);
    EXPECT_EQ(one.color, 255);
    EXPECT_EQ(one.expired, dateValue(2024, 5, 10));
    EXPECT_EQ(list[1].langcode, "1004");
}

TEST(NewsFilter, ServiceDateRules) {
    // Not a date: today counts (2024-05-10 here), so 1 stays and 2 goes.
    EXPECT_EQ(ids(FilterNews(newsAnswer("\"servertime\":\"yesterday\","), "", "",
                             dateValue(2024, 5, 10) + 0.75)),
              (std::vector<int>{1, 6}));
    // Absent, empty or not a text: nothing is accepted.
    for (const QString& member :
         {QString(), QString("\"servertime\":\"\","), QString("\"servertime\":20240510,")})
        EXPECT_TRUE(FilterNews(newsAnswer(member), "", "", dateValue(2024, 5, 10)).empty())
            << member.toStdString();
    // Not a JSON object.
    EXPECT_TRUE(FilterNews("<html>", "", "", 0).empty());
    EXPECT_TRUE(FilterNews("[1,2]", "", "", 0).empty());
}

TEST(NewsIds, AppendKeepsWholeIdsWithinTheLimit) {
    EXPECT_EQ(AppendShownNewsId("", 5), ",5");
    EXPECT_EQ(AppendShownNewsId(",3,4", 5), ",3,4,5");

    std::string ten;
    for (int i = 0; i < 23; ++i)
        ten += ",1000000000";
    const std::string full = ",1" + ten; // 255
    ASSERT_EQ(full.size(), 255u);
    // 255 characters exactly: kept.
    EXPECT_EQ(AppendShownNewsId(full.substr(0, 244), 1234567890),
              full.substr(0, 244) + ",1234567890");
    // Appending makes it 266: ",1" goes, and then the next oldest too.
    const std::string trimmed = AppendShownNewsId(full, 2000000000);
    EXPECT_EQ(trimmed, ten.substr(11) + ",2000000000");
    EXPECT_LE(trimmed.size(), kMaxMsgIdsLength);
}

class NewsFetch : public StandInTest {};

TEST_F(NewsFetch, FetchesFiltersAndReportsTheCount) {
    service().setAnswerBody("news", newsAnswer("\"servertime\":\"2024-05-10\","));
    QTemporaryDir dir;
    QFile config(dir.path() + "/Config.ini");
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write(("[Services]\nNews=" + service().baseUrl() + "\n").toUtf8());
    config.close();
    AppConfig.ConfigFile = config.fileName().toStdString();

    QObject window;
    TGetNews* news = TGetNews::Create(&window, kNewsProductId, ",6");
    news->LangCode = [] { return std::string("0804|1004"); };
    QSignalSpy fetched(news, &TGetNews::NewsFetched);
    EXPECT_TRUE(news->Busy());
    ASSERT_TRUE(fetched.wait(10000));
    EXPECT_EQ(fetched.at(0).at(0).toInt(), 2);
    EXPECT_EQ(ids(news->NewsList()), (std::vector<int>{1, 3}));
    EXPECT_FALSE(news->Busy());
    AppConfig.ConfigFile.clear();

    const QJsonArray log = service().requests("news");
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log.at(0).toObject().value("query").toString(), "to=checknews&pid=8");
}

TEST_F(NewsFetch, FailuresReportNoNewsAndDeletingStopsAHangingFetch) {
    for (const QJsonObject& answer : {QJsonObject{{"body", "{\"servertime\":"}},
                                      QJsonObject{{"status", 500}, {"body", "error"}}}) {
        service().setAnswer("news", answer);
        TGetNews news(url("/messages/index.php?to=checknews&pid=8"), "");
        QSignalSpy fetched(&news, &TGetNews::NewsFetched);
        news.Start();
        ASSERT_TRUE(fetched.wait(10000));
        EXPECT_EQ(fetched.at(0).at(0).toInt(), 0);
        EXPECT_TRUE(news.NewsList().empty());
    }

    service().setAnswer("news", QJsonObject{{"hang", true}});
    auto news = std::make_unique<TGetNews>(url("/messages/index.php?to=checknews&pid=8"), "");
    QSignalSpy fetched(news.get(), &TGetNews::NewsFetched);
    news->Start();
    ASSERT_TRUE(service().waitForRequests("news", 3));
    QElapsedTimer clock;
    clock.start();
    news.reset();
    EXPECT_LT(clock.elapsed(), 500);
    QTest::qWait(200);
    EXPECT_EQ(fetched.count(), 0);
}
