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
inline constexpr uint32_t FI_READONLY = 0x1;
inline constexpr uint32_t FI_HIDDEN = 0x2;
inline constexpr uint32_t FI_SYSTEM = 0x4;
inline constexpr uint32_t FI_DIRECTORY = 0x10;
inline constexpr uint32_t FI_ARCHIVE = 0x20;
inline constexpr uint32_t FI_COMPRESSED = 0x100;
inline constexpr uint32_t FI_ENCRYPTED = 0x200;
inline constexpr uint32_t FI_REPARSE_POINT = 0x400;
inline constexpr uint32_t FI_SPARSE = 0x800;

struct file_info {
    uint32_t flags = 0;
    uint64_t created = 0;
    uint64_t accessed = 0;
    uint64_t written = 0;
    int64_t size = 0;
    std::u16string name;
    std::u16string short_name;
    platform::find_entry find_data;  // the entry as the system returned it
};

// path_status mode bits.
inline constexpr uint32_t MODE_DIRECTORY = 0x4000;
inline constexpr uint32_t MODE_REGULAR = 0x8000;
inline constexpr uint32_t MODE_READABLE = 0x100;
inline constexpr uint32_t MODE_WRITABLE = 0x80;
inline constexpr uint32_t MODE_COMPRESSED = 0x10000;
inline constexpr uint32_t MODE_ENCRYPTED = 0x20000;
inline constexpr uint32_t MODE_REPARSE_POINT = 0x40000;
inline constexpr uint32_t MODE_SPARSE = 0x80000;
inline constexpr uint32_t MODE_ARCHIVE = 0x1;
inline constexpr uint32_t MODE_SYSTEM = 0x2;
inline constexpr uint32_t MODE_HIDDEN = 0x4;
inline constexpr uint32_t MODE_READONLY = 0x8;

struct path_status_record {
    uint32_t mode = 0;
    int64_t size = -1;
    uint64_t accessed = 0;
    uint64_t written = 0;
    uint64_t created = 0;
    uint32_t reparse_tag = 0;
};

uint32_t translate_attributes(uint32_t system_attributes);
uint32_t mode_from_attributes(uint32_t system_attributes);

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
