// Shared pieces of the online tests: one stand-in service per test suite (answers
// cleared and the log emptied before each test) and a blocking wrapper over GetUrlText.
#pragma once

#include "StandInService.h"
#include "services/UCheckNewThread.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

namespace pelidor::test {

class StandInTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        service_ = std::make_unique<StandInService>();
        startError_ = service_->start() ? QString() : service_->error();
    }
    static void TearDownTestSuite() { service_.reset(); }
    void SetUp() override {
        ASSERT_TRUE(startError_.isEmpty()) << startError_.toStdString();
        service_->clearAnswers();
        service_->resetLog();
    }
    static StandInService& service() { return *service_; }
    static QString url(const QString& pathAndQuery) { return service_->baseUrl() + pathAndQuery; }

    static inline std::unique_ptr<StandInService> service_;
    static inline QString startError_;
};

struct FetchResult {
    bool done = false;
    QString text;
    qint64 ms = 0;
};

// GetUrlText, waited for (at most the request's timeout plus 5 s).
inline FetchResult FetchText(const QString& Url,
                             const TUrlTextOptions& Options = DefaultUrlTextOptions()) {
    FetchResult result;
    QObject context;
    QElapsedTimer clock;
    clock.start();
    GetUrlText(
        Url, &context,
        [&](const QString& text) {
            result.done = true;
            result.text = text;
        },
        Options);
    (void)QTest::qWaitFor([&] { return result.done; }, Options.TimeoutMs + 5000);
    result.ms = clock.elapsed();
    return result;
}

} // namespace pelidor::test
