// Local calendar time of a file time. The platform converts by the zone rules
// in force at the timestamp's date (on Windows through
// SystemTimeToTzSpecificLocalTime where the system has it).
#include "foundation/timestamps.h"

namespace zub {

std::optional<platform::system_time> local_time_of(uint64_t file_time) {
    platform::system_time local;
    if (!platform::current().local_time(file_time, local)) return std::nullopt;
    return local;
}

}  // namespace zub
