// Directory enumeration primitives: thin wrappers over the directory search
// and file status calls that turn an entry into one fixed record with 64-bit
// size and last-write time, and give the status of a single path. Each call
// that fails hands its OS error code back in `error` (left as it was on success).
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

// Search handle, or INVALID_HANDLE with the code in `error`.
platform::search_handle find_first(std::u16string_view pattern, file_info& info, uint32_t& error);
// True with the next entry; false at the end of the listing or on failure.
bool find_next(platform::search_handle search, file_info& info, uint32_t& error);
// False when the handle could not be closed.
bool find_close(platform::search_handle search, uint32_t& error);
// The entry of exactly this path (no wildcards).
bool file_entry(std::u16string_view path, file_info& info, uint32_t& error);
// False when neither the entry nor the attributes can be read.
bool path_status(std::u16string_view path, path_status_record& status, uint32_t& error);

}  // namespace zub
