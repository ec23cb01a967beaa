// Local calendar time of a file time. The platform converts by the zone rules
// in force at the timestamp's date (on Windows through
// SystemTimeToTzSpecificLocalTime where the system has it); this file turns
// its calendar record into the broken-down fields the result logs print.
#include "foundation/timestamps.h"

#include <cerrno>

#include "platform/platform.h"

namespace zub {

namespace {
// Reused by every call on a thread: the caller prints (or copies) it before
// the next one.
// One record per thread, so that a conversion on one thread never overwrites
// the record another thread is about to print.
thread_local time_fields converted;
}  // namespace

const time_fields* local_time_of(const uint64_t& file_time) {
    platform::system_time local;
    if (!platform::current().local_time(file_time, local)) {
        // The platform has stored the OS error as the thread's last error.
        errno = EINVAL;
        return nullptr;
    }
    converted.second = local.second;
    converted.minute = local.minute;
    converted.hour = local.hour;
    converted.day = local.day;
    converted.month = local.month - 1;
    converted.year = local.year - 1900;
    converted.weekday = local.weekday;
    converted.day_of_year = -1;
    converted.daylight_flag = -1;
    converted.millisecond = local.millisecond;
    return &converted;
}

}  // namespace zub
