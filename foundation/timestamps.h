// Local calendar time of a file time, with milliseconds, by the zone rules in
// force at the timestamp's date. Times are printed as
// "%4d-%02d-%02d %02d:%02d:%02d.%03d" (year + 1900, month + 1, ...).
#pragma once

#include <cstdint>

namespace zub {

struct time_fields {
    int second = 0;
    int minute = 0;
    int hour = 0;
    int day = 0;             // 1 to 31
    int month = 0;           // months since January
    int year = 0;            // years since 1900
    int weekday = 0;         // days since Sunday
    int day_of_year = -1;    // not computed
    int daylight_flag = -1;  // not known
    int millisecond = 0;
};

// The address of a per-thread record that every call on that thread
// overwrites, or null on failure (the OS error saved, errno EINVAL).
const time_fields* local_time_of(const uint64_t& file_time);

}  // namespace zub
