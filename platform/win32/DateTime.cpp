// Local date-times on Windows. A file time becomes local time with the system's
// current time-zone offset (FileTimeToLocalFileTime applies today's offset, not the one
// in force at that date), as every Windows program shows it.
#include "platform/DateTime.h"

#include <chrono>
#include <windows.h>

namespace pelidor::platform {
namespace {

constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicksTo1970 = 116444736000000000LL;

double fromSystemTime(const SYSTEMTIME& st, bool& ok) {
    const DateTimeFields f{st.wYear,   st.wMonth,  st.wDay,         st.wHour,
                           st.wMinute, st.wSecond, st.wMilliseconds};
    double v = 0;
    ok = encodeDateTime(f, v);
    return v;
}

} // namespace

double nowLocalDateTime() {
    SYSTEMTIME st{};
    GetLocalTime(&st);
    bool ok = false;
    const double v = fromSystemTime(st, ok);
    return ok ? v : 0.0;
}

double localDateTimeFromUnix(int64_t seconds, int32_t nanoseconds) {
    // FILETIME counts 100 ns from 1601: seconds before that or past its range fail.
    constexpr int64_t kMinSeconds = -kTicksTo1970 / kTicksPerSecond;
    constexpr int64_t kMaxSeconds = (INT64_MAX - kTicksTo1970) / kTicksPerSecond - 1;
    if (nanoseconds < 0 || nanoseconds > 999999999 || seconds < kMinSeconds ||
        seconds > kMaxSeconds)
        return nowLocalDateTime();
    const int64_t ticks = seconds * kTicksPerSecond + kTicksTo1970 + nanoseconds / 100;
    FILETIME utc{static_cast<DWORD>(static_cast<uint64_t>(ticks) & 0xFFFFFFFFu),
                 static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32)};
    FILETIME local{};
    SYSTEMTIME st{};
    if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st))
        return nowLocalDateTime();
    bool ok = false;
    const double v = fromSystemTime(st, ok);
    return ok ? v : nowLocalDateTime();
}

double LocalTimeConverter::convert(int64_t seconds, int32_t nanoseconds) {
    // One offset for every date: nothing to remember per day.
    return localDateTimeFromUnix(seconds, nanoseconds);
}

uint64_t monotonicMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

} // namespace pelidor::platform
