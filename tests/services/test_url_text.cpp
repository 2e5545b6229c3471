// GetUrlText against the stand-in: the request it sends, the text it hands back, and
// every way an answer turns into "no answer" (size cap, slowness, network failures), plus
// a request abandoned by its owner.
#include "ServicesTestSupport.h"

#include <QJsonObject>

using namespace pelidor;
using namespace pelidor::test;

namespace {

const QString kUpdatePath = QStringLiteral("/software_update/getinfo.php?p_id=2");

TUrlTextOptions options(int timeoutMs, int64_t maxBytes) {
    TUrlTextOptions o;
    o.TimeoutMs = timeoutMs;
    o.MaxBytes = maxBytes;
    return o;
}

} // namespace

class UrlText : public StandInTest {};

TEST_F(UrlText, SendsAFreshGetWithTheCharsetHeaderEveryTime) {
    service().setAnswerBody("update", QStringLiteral("Grüße, 更新"));
    for (int i = 0; i < 2; ++i) {
        const FetchResult r = FetchText(url(kUpdatePath));
        ASSERT_TRUE(r.done);
        EXPECT_EQ(r.text, QStringLiteral("Grüße, 更新"));
    }
    const QJsonArray log = service().requests("update");
    ASSERT_EQ(log.size(), 2) << "the second fetch must not come from a cache";
    for (const QJsonValue& v : log) {
        const QJsonObject entry = v.toObject();
        EXPECT_EQ(entry.value("method").toString(), "GET");
        EXPECT_EQ(entry.value("query").toString(), "p_id=2");
        EXPECT_EQ(StandInService::header(entry, "Accept-Charset"), "utf-8");
    }
}

TEST_F(UrlText, CutsTheBodyAtItsFirstZeroByteAndKeepsErrorPages) {
    service().setAnswerBody("update", QStringLiteral("{\"a\":1}") + QChar(0) + "trailing junk");
    EXPECT_EQ(FetchText(url(kUpdatePath)).text, QStringLiteral("{\"a\":1}"));

    service().setAnswer("update", QJsonObject{{"body", "blocked page"}, {"status", 403}});
    EXPECT_EQ(FetchText(url(kUpdatePath)).text, QStringLiteral("blocked page"));
}

TEST_F(UrlText, AnswersOverTheSizeCapCountAsNoAnswer) {
    constexpr qint64 cap = 64 * 1024;
    struct Case {
        const char* name;
        QJsonObject answer;
        TUrlTextOptions options;
        qsizetype expected; // length of the text handed back
    };
    const Case cases[] = {
        {"exactly the cap", {{"body", "x"}, {"size", double(cap)}}, options(10000, cap), cap},
        {"one byte over, length announced",
         {{"body", "x"}, {"size", double(cap + 1)}},
         options(10000, cap),
         0},
        {"one byte over, no length announced",
         {{"body", "x"}, {"size", double(cap + 1)}, {"no_length", true}},
         options(10000, cap),
         0},
        {"5 MiB against the default cap",
         {{"body", "x"}, {"size", 5 << 20}},
         DefaultUrlTextOptions(),
         0},
    };
    for (const Case& c : cases) {
        service().setAnswer("update", c.answer);
        const FetchResult r = FetchText(url(kUpdatePath), c.options);
        ASSERT_TRUE(r.done) << c.name;
        EXPECT_EQ(r.text.size(), c.expected) << c.name;
    }
}

TEST_F(UrlText, SlowBrokenOrMissingServicesGiveNoAnswerWithinTheTimeout) {
    struct Case {
        const char* name;
        QJsonObject answer;
        bool unreachable;
    };
    const Case cases[] = {
        {"no answer before the timeout", {{"delay", 20}}, false},
        {"an answer trickling in past the timeout",
         {{"body", "x"}, {"size", 4000}, {"drip", 0.2}, {"drip_bytes", 16}},
         false},
        {"the connection closed without an answer", {{"close", true}}, false},
        {"nothing listening", {}, true},
    };
    for (const Case& c : cases) {
        service().setAnswer("update", c.answer);
        const QString base = c.unreachable ? UnreachableBaseUrl() : service().baseUrl();
        const FetchResult r = FetchText(base + kUpdatePath, options(800, 1 << 20));
        ASSERT_TRUE(r.done) << c.name;
        EXPECT_TRUE(r.text.isEmpty()) << c.name;
        EXPECT_LT(r.ms, 4000) << c.name;
    }
    // The unresolvable default address fails too.
    EXPECT_TRUE(FetchText("http://www.corvane.example/software_update/getinfo.php?p_id=2",
                          options(5000, 1 << 20))
                    .text.isEmpty());
}

TEST_F(UrlText, DestroyingTheOwnerAbortsAHangingRequestAtOnce) {
    service().setAnswer("update", QJsonObject{{"hang", true}});
    bool called = false;
    auto context = std::make_unique<QObject>();
    GetUrlText(url(kUpdatePath), context.get(), [&](const QString&) { called = true; });
    ASSERT_TRUE(service().waitForRequests("update", 1));
    QElapsedTimer clock;
    clock.start();
    context.reset();
    EXPECT_LT(clock.elapsed(), 500);
    QTest::qWait(300);
    EXPECT_FALSE(called);
}
