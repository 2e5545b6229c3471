#include <cmath>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "platform/DateTime.h"

using namespace pelidor::platform;

TEST(DateTime, EncodesAndDecodesCalendarFields) {
    struct Case {
        DateTimeFields fields;
        double value;
    } cases[] = {
        {{1899, 12, 30, 0, 0, 0, 0}, 0.0},
        {{1970, 1, 1, 0, 0, 0, 0}, 25569.0},
        {{1900, 1, 1, 12, 0, 0, 0}, 2.5},
        {{1899, 12, 29, 6, 0, 0, 0}, -1.25}, // before the epoch: day down, time as fraction
        {{2000, 2, 29, 18, 0, 0, 0}, 36585.75},
        {{9999, 12, 31, 0, 0, 0, 0}, 2958465.0},
    };
    for (const auto& c : cases) {
        double v = -99;
        ASSERT_TRUE(encodeDateTime(c.fields, v)) << c.value;
        EXPECT_DOUBLE_EQ(v, c.value);
        DateTimeFields back;
        ASSERT_TRUE(decodeDateTime(c.value, back));
        EXPECT_EQ(back.year, c.fields.year);
        EXPECT_EQ(back.month, c.fields.month);
        EXPECT_EQ(back.day, c.fields.day);
        EXPECT_EQ(back.hour, c.fields.hour);
    }
}

TEST(DateTime, RejectsInvalidFieldsAndValues) {
    double v = 0;
    EXPECT_FALSE(encodeDateTime({2023, 2, 29, 0, 0, 0, 0}, v));
    EXPECT_FALSE(encodeDateTime({2024, 13, 1, 0, 0, 0, 0}, v));
    EXPECT_FALSE(encodeDateTime({0, 1, 1, 0, 0, 0, 0}, v));
    EXPECT_FALSE(encodeDateTime({2024, 1, 1, 24, 0, 0, 0}, v));
    DateTimeFields f;
    EXPECT_FALSE(decodeDateTime(NAN, f));
    EXPECT_FALSE(decodeDateTime(1e12, f));
}

TEST(DateTime, MillisecondsSurviveARoundTrip) {
    double v = 0;
    ASSERT_TRUE(encodeDateTime({2026, 12, 10, 23, 59, 59, 999}, v));
    DateTimeFields f;
    ASSERT_TRUE(decodeDateTime(v, f));
    EXPECT_EQ(f.day, 10);
    EXPECT_EQ(f.second, 59);
    EXPECT_EQ(f.millisecond, 999);
}

TEST(DateTime, UnixTimesBecomeLocalDateTimes) {
    // The tests run with TZ=UTC.
    EXPECT_DOUBLE_EQ(localDateTimeFromUnix(0, 0), 25569.0);
    EXPECT_NEAR(localDateTimeFromUnix(86400 + 43200, 500000000), 25570.5 + 0.5 / 86400.0, 1e-9);
    // Nanoseconds below a millisecond are dropped.
    EXPECT_DOUBLE_EQ(localDateTimeFromUnix(0, 999999), 25569.0);
    // Out of range: the current time.
    const double now = nowLocalDateTime();
    EXPECT_NEAR(localDateTimeFromUnix(INT64_MAX / 2, 0), now, 1.0);
    EXPECT_NEAR(localDateTimeFromUnix(0, -5), now, 1.0);
}

TEST(DateTime, TheCachingConverterAgreesWithTheDirectOneInEveryZone) {
    const char* old = std::getenv("TZ");
    const std::string saved = old != nullptr ? old : "";
    for (const char* zone :
         {"UTC", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Kolkata"}) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        LocalTimeConverter converter;
        // Around the 2024 changes of offset in both hemispheres, in 7-minute steps,
        // plus times before 1970 and far ahead.
        std::vector<int64_t> times;
        for (int64_t t = 1711846800 - 86400; t < 1711846800 + 86400; t += 420)
            times.push_back(t);
        for (int64_t t = 1712412000 - 86400; t < 1712412000 + 86400; t += 420)
            times.push_back(t);
        times.insert(times.end(), {-2208988800LL, -86399, -1, 0, 4102444800LL, 253402300799LL});
        for (const int64_t t : times)
            ASSERT_DOUBLE_EQ(converter.convert(t, 123456789), localDateTimeFromUnix(t, 123456789))
                << zone << " " << t;
    }
    if (old != nullptr)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}
