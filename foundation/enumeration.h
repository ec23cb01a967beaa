// Directory enumeration primitives: thin wrappers over the directory search
// and file status calls that turn an entry into one fixed record with 64-bit
// size and times, give the status of a single path, and leave two error
// values for the caller: the OS error code (platform::last_error()) and errno.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace zub {

// file_info flag bits (translated from the system's attribute bits).
enum class fi_bits : uint32_t {
    READONLY = 0x1,
    HIDDEN = 0x2,
    SYSTEM = 0x4,
    DIRECTORY = 0x10,
    ARCHIVE = 0x20,
    COMPRESSED = 0x100,
    ENCRYPTED = 0x200,
    REPARSE_POINT = 0x400,
    SPARSE = 0x800,
};
template <>
struct enable_bit_set<fi_bits> : std::true_type {};

struct file_info {
    fi_bits flags{};
    uint64_t created = 0;
    uint64_t accessed = 0;
    uint64_t written = 0;
    int64_t size = 0;
    std::u16string name;
    std::u16string short_name;
    platform::find_entry find_data;  // the entry as the system returned it
};

// path_status mode bits.
enum class mode_bits : uint32_t {
    DIRECTORY = 0x4000,
    REGULAR = 0x8000,
    READABLE = 0x100,
    WRITABLE = 0x80,
    COMPRESSED = 0x10000,
    ENCRYPTED = 0x20000,
    REPARSE_POINT = 0x40000,
    SPARSE = 0x80000,
    ARCHIVE = 0x1,
    SYSTEM = 0x2,
    HIDDEN = 0x4,
    READONLY = 0x8,
};
template <>
struct enable_bit_set<mode_bits> : std::true_type {};

struct path_status_record {
    mode_bits mode{};
    int64_t size = -1;
    uint64_t accessed = 0;
    uint64_t written = 0;
    uint64_t created = 0;
    uint32_t reparse_tag = 0;
};

fi_bits translate_attributes(platform::attr_bits system_attributes);
mode_bits mode_from_attributes(platform::attr_bits system_attributes);

// Search handle or INVALID_HANDLE (then last_error() and errno are set).
platform::handle find_first(std::u16string_view pattern, file_info& info);
// 0, or -1 when there is no further entry or on failure.
int find_next(platform::handle search, file_info& info);
// 0, or -1 (errno EINVAL) when the handle could not be closed.
int find_close(platform::handle search);
// The entry of exactly this path (no wildcards). 0, or -1 on failure.
int file_entry(std::u16string_view path, file_info& info);
// 0, or -1 when neither the entry nor the attributes can be read.
int path_status(std::u16string_view path, path_status_record& status);

// Saves an OS error as the thread's last error and sets errno by the mapping.
void set_os_error(uint32_t code);

}  // namespace zub
