// Directory enumeration primitives: thin wrappers over the directory search
// and file status calls that turn an entry into one fixed record with 64-bit
// size and last-write time, give the status of a single path, and leave two error
// values for the caller: the OS error code (platform::last_error()) and errno.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace zub {

// One listed entry. Its attributes are the system's bits (the accessors of
// platform::entry_attributes read them); `find_data` is where the search
// calls write the entry before it is copied here.
struct file_info : platform::entry_attributes {
    uint64_t written = 0;  // last-write time, raw FILETIME
    int64_t size = 0;
    std::u16string name;
    platform::find_entry find_data;
};

// The status of one path: attributes, size (-1 when unknown) and last-write
// time (0 when unknown). Anything that is not a folder counts as a file.
struct path_status_record : platform::entry_attributes {
    int64_t size = -1;
    uint64_t written = 0;
};

// Search handle or INVALID_HANDLE (then last_error() and errno are set).
platform::search_handle find_first(std::u16string_view pattern, file_info& info);
// 0, or -1 when there is no further entry or on failure.
int find_next(platform::search_handle search, file_info& info);
// 0, or -1 (errno EINVAL) when the handle could not be closed.
int find_close(platform::search_handle search);
// The entry of exactly this path (no wildcards). 0, or -1 on failure.
int file_entry(std::u16string_view path, file_info& info);
// 0, or -1 when neither the entry nor the attributes can be read.
int path_status(std::u16string_view path, path_status_record& status);

}  // namespace zub
