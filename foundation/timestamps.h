// Local calendar time of a file time, with milliseconds, by the zone rules in
// force at the timestamp's date. Times are printed as
// "%4d-%02d-%02d %02d:%02d:%02d.%03d" (year, month 1 to 12, day, ...).
#pragma once

#include <cstdint>
#include <optional>

#include "platform/platform.h"

namespace zub {

// The local calendar time, or nullopt for a time the system cannot convert.
std::optional<platform::system_time> local_time_of(uint64_t file_time);

}  // namespace zub
