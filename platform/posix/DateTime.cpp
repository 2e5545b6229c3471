#include "platform/DateTime.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace pelidor::platform {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

constexpr int64_t kEpochOffsetDays = 25569; // 1899-12-30 .. 1970-01-01
constexpr double kMsPerDay = 86400000.0;

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

double fromTm(const std::tm& tm, int ms, bool& ok) {
    DateTimeFields f{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                     tm.tm_min,         tm.tm_sec,     ms};
    if (f.second == 60) // leap second
        f.second = 59;
    double v = 0;
    ok = encodeDateTime(f, v);
    return v;
}

} // namespace

bool encodeDateTime(const DateTimeFields& f, double& out) {
    if (f.year < 1 || f.year > 9999 || f.month < 1 || f.month > 12 || f.day < 1 ||
        f.day > daysInMonth(f.year, f.month) || f.hour < 0 || f.hour > 23 || f.minute < 0 ||
        f.minute > 59 || f.second < 0 || f.second > 59 || f.millisecond < 0 || f.millisecond > 999)
        return false;
    const double date = static_cast<double>(
        daysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day)) +
        kEpochOffsetDays);
    const double time = ((f.hour * 60.0 + f.minute) * 60.0 + f.second) * 1000.0 + f.millisecond;
    out = date >= 0 ? date + time / kMsPerDay : date - time / kMsPerDay;
    return true;
}

bool decodeDateTime(double value, DateTimeFields& out) {
    if (!std::isfinite(value) || value < -693593.0 || value >= 2958466.0)
        return false;
    // Integer part is the day, the fraction's magnitude the time of day.
    const double dayPart = std::trunc(value);
    int64_t ms = std::llround(std::fabs(value - dayPart) * kMsPerDay);
    int64_t day = static_cast<int64_t>(dayPart);
    if (ms >= 86400000) { // rounding reached the next day
        ms -= 86400000;
        day += value >= 0 ? 1 : -1;
    }
    civilFromDays(day - kEpochOffsetDays, out.year, out.month, out.day);
    out.hour = static_cast<int>(ms / 3600000);
    out.minute = static_cast<int>(ms / 60000 % 60);
    out.second = static_cast<int>(ms / 1000 % 60);
    out.millisecond = static_cast<int>(ms % 1000);
    return out.year >= 1 && out.year <= 9999;
}

double nowLocalDateTime() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm tm{};
    const time_t t = ts.tv_sec;
    if (localtime_r(&t, &tm) == nullptr)
        return 0.0;
    bool ok = false;
    const double v = fromTm(tm, static_cast<int>(ts.tv_nsec / 1000000), ok);
    return ok ? v : 0.0;
}

double localDateTimeFromUnix(int64_t seconds, int32_t nanoseconds) {
    std::tm tm{};
    const time_t t = static_cast<time_t>(seconds);
    if (static_cast<int64_t>(t) != seconds || nanoseconds < 0 || nanoseconds > 999999999 ||
        localtime_r(&t, &tm) == nullptr)
        return nowLocalDateTime();
    bool ok = false;
    const double v = fromTm(tm, nanoseconds / 1000000, ok);
    return ok ? v : nowLocalDateTime();
}

namespace {

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

bool utcOffsetAt(int64_t seconds, int64_t& offset) {
    std::tm tm{};
    const time_t t = static_cast<time_t>(seconds);
    if (localtime_r(&t, &tm) == nullptr)
        return false;
    offset = tm.tm_gmtoff;
    return true;
}

} // namespace

double LocalTimeConverter::convert(int64_t seconds, int32_t nanoseconds) {
    if (nanoseconds < 0 || nanoseconds > 999999999 || seconds < -70000000000000LL ||
        seconds > 70000000000000LL)
        return localDateTimeFromUnix(seconds, nanoseconds);
    const int64_t day = floorDiv(seconds, 86400);
    Slot& slot = slots_[static_cast<size_t>(day) % kSlots];
    if (slot.day != day) {
        int64_t first = 0;
        int64_t last = 0;
        slot.day = day;
        slot.uniform = utcOffsetAt(day * 86400, first) && utcOffsetAt(day * 86400 + 86399, last) &&
                       first == last;
        slot.offset = first;
    }
    if (!slot.uniform)
        return localDateTimeFromUnix(seconds, nanoseconds);
    const int64_t local = seconds + slot.offset;
    const int64_t localDay = floorDiv(local, 86400);
    const int64_t ms = (local - localDay * 86400) * 1000 + nanoseconds / 1000000;
    const double date = static_cast<double>(localDay + kEpochOffsetDays);
    // Years 1 to 9999 only, as for the calendar conversion.
    if (date < -693593.0 || date >= 2958466.0)
        return nowLocalDateTime();
    return date >= 0 ? date + static_cast<double>(ms) / kMsPerDay
                     : date - static_cast<double>(ms) / kMsPerDay;
}

uint64_t monotonicMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

} // namespace pelidor::platform
