#include "platform/DateTime.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace pelidor::platform {
namespace {

constexpr int64_t kEpochOffsetDays = 25569; // 1899-12-30 .. 1970-01-01
constexpr double kMsPerDay = 86400000.0;

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
