// The calendar of the program's date-time value: the same on every platform.
#include "platform/DateTime.h"

#include <cmath>

namespace pelidor::platform {
namespace {

constexpr int64_t kEpochOffsetDays = 25569; // 1899-12-30 .. 1970-01-01
constexpr double kMsPerDay = 86400000.0;

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

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
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

} // namespace pelidor::platform
