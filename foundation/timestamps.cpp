// Local calendar time of a file time. The platform converts by the zone rules
// in force at the timestamp's date (on Windows through
// SystemTimeToTzSpecificLocalTime where the system has it); this file adds the
// errno the callers of a failed conversion expect.
#include "foundation/timestamps.h"

#include <cerrno>

namespace zub {

std::optional<platform::system_time> local_time_of(uint64_t file_time) {
    platform::system_time local;
    if (!platform::current().local_time(file_time, local)) {
        // The platform has stored the OS error as the thread's last error.
        errno = EINVAL;
        return std::nullopt;
    }
    return local;
}

}  // namespace zub
