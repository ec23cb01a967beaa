// The helpers the files of the POSIX layer share (common_posix.h).
#include "platform/posix/common_posix.h"

#include <unistd.h>

#include <cerrno>

#include "platform/utf.h"

namespace zub::platform::posix {

bool write_all(int fd, const char* data, size_t count) {
    while (count > 0) {
        const ssize_t n = ::write(fd, data, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

std::string native(std::u16string_view path) { return bytes_from_utf16(path); }

const std::string& native_scratch(std::u16string_view path) {
    static thread_local std::string bytes;
    bytes_from_utf16(path, bytes);
    return bytes;
}

std::string self_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

file_time file_time_of(const struct timespec& ts) {
    const int64_t seconds = static_cast<int64_t>(ts.tv_sec) + EPOCH_DIFFERENCE_SECONDS;
    if (seconds < 0) return 0;
    return static_cast<uint64_t>(seconds) * 10000000ULL + static_cast<uint64_t>(ts.tv_nsec) / 100U;
}

file_id identity_of(const struct stat& st) {
    return file_id{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

file_state state_from(const struct stat& st) {
    file_state state;
    state.id = identity_of(st);
    state.size = static_cast<uint64_t>(st.st_size);
    state.written = file_time_of(st.st_mtim);
    state.changed = file_time_of(st.st_ctim);
    state.links = static_cast<uint32_t>(st.st_nlink);
    state.read_only = owner_read_only(st.st_mode);
    state.regular = S_ISREG(st.st_mode);
    return state;
}

}  // namespace zub::platform::posix
