// The program's date-time value: a double counting days since 1899-12-30 00:00
// local time; the fraction is the time of day. Dates before the epoch keep the
// day in the integer part and the time of day as a positive fraction of it
// (-1.25 is 1899-12-29 06:00), as the settings and archive names expect.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pelidor::platform {

struct DateTimeFields {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// False when the fields do not form a valid date (years 1 to 9999) and time.
bool encodeDateTime(const DateTimeFields& f, double& out);
// False for values outside years 1 to 9999 or not finite.
bool decodeDateTime(double value, DateTimeFields& out);

// Unix time (seconds and nanoseconds since 1970 UTC) as a local date-time value,
// with the UTC offset in force at that moment. Milliseconds are kept, the rest
// of the nanoseconds dropped. A time that cannot be converted gives the current
// local date-time.
double localDateTimeFromUnix(int64_t seconds, int32_t nanoseconds);

// The current local date-time.
double nowLocalDateTime();

// localDateTimeFromUnix for many times in a row: remembers the UTC offset of each
// day it has seen, for days without a change of offset, so most conversions need no
// time-zone lookup. Results are identical to localDateTimeFromUnix. One object per
// thread; it does not notice a change of the process's time zone during its life.
class LocalTimeConverter {
public:
    double convert(int64_t seconds, int32_t nanoseconds);

private:
    struct Slot {
        int64_t day = INT64_MIN;
        int64_t offset = 0;
        bool uniform = false;
    };
    static constexpr size_t kSlots = 1024;
    Slot slots_[kSlots];
};

// Milliseconds of a monotonic clock.
uint64_t monotonicMs();

} // namespace pelidor::platform
