// What the files of the POSIX layer share: failing with a code in a call's
// `error` argument, writing all of a buffer, file names as native bytes, and a stat
// record in the Win32 vocabulary of platform.h (FILETIME values, identity,
// the state of a file).
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace zub::platform::posix {

// Puts `code` in a call's `error` argument and returns false, for a failing
// call to return it.
inline bool fail(uint32_t& error, int code) {
    error = static_cast<uint32_t>(code);
    return false;
}
// Writes all of `data` to `fd` (again after an interruption). False on failure, errno set.
bool write_all(int fd, const char* data, size_t count);

std::string native(std::u16string_view path);
// The native form in a buffer of the calling thread, reused by its next call:
// for a path handed to one system call, without an allocation.
const std::string& native_scratch(std::u16string_view path);

// The path that leads to the file an open descriptor holds, whatever has
// happened to its name since.
std::string self_path(int fd);

// 100 ns intervals between 1601-01-01 and 1970-01-01.
inline constexpr int64_t EPOCH_DIFFERENCE_SECONDS = 11644473600LL;

file_time file_time_of(const struct timespec& ts);
// Read-only means the owner may not write: the one mode bit behind the
// attribute, in a listing and in a file's state alike.
inline bool owner_read_only(mode_t mode) { return (mode & S_IWUSR) == 0; }
file_id identity_of(const struct stat& st);
file_state state_from(const struct stat& st);

}  // namespace zub::platform::posix
