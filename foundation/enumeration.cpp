// Directory enumeration primitives over the platform layer's directory search
// and file calls: each entry becomes a file_info with the system's attribute
// bits, 64-bit last-write time and size; path_status gives the status of one
// path in the same terms. Every failure leaves the OS error code as the
// thread's last error (the layer stores it) and errno set by the platform's
// mapping, so that the comparer can show the system's text and the lister the
// C library's.
#include "foundation/enumeration.h"

#include <cerrno>

namespace zub {

namespace {

void set_errno_from_last_error() { errno = platform::errno_from_os_error(platform::last_error()); }

void translate_entry(file_info& info) {
    const platform::find_entry& entry = info.find_data;
    info.attributes = entry.attributes;
    info.written = entry.written;
    info.size = static_cast<int64_t>(entry.size);
    info.name = entry.name;
}

}  // namespace

platform::search_handle find_first(std::u16string_view pattern, file_info& info) {
    platform::search_handle search = platform::current().find_first(pattern, info.find_data);
    if (!search.valid()) {
        set_errno_from_last_error();
        return platform::INVALID_HANDLE;
    }
    translate_entry(info);
    return search;
}

int find_next(platform::search_handle search, file_info& info) {
    if (!platform::current().find_next(search, info.find_data)) {
        set_errno_from_last_error();
        return -1;
    }
    translate_entry(info);
    return 0;
}

int find_close(platform::search_handle search) {
    if (!platform::current().find_close(search)) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

int file_entry(std::u16string_view path, file_info& info) {
    if (!platform::current().entry_of(path, info.find_data)) {
        set_errno_from_last_error();
        return -1;
    }
    translate_entry(info);
    return 0;
}

int path_status(std::u16string_view path, path_status_record& status) {
    platform::os& layer = platform::current();
    status = path_status_record{};  // size -1, time 0

    platform::find_entry entry;
    if (layer.entry_of(path, entry)) {
        status.size = static_cast<int64_t>(entry.size);
        status.written = entry.written;
        status.attributes = entry.attributes;
    } else {
        const uint32_t code = platform::last_error();
        if (platform::is_access_denied(code)) {
            errno = EACCES;
            return -1;
        }
        // A path without a directory entry of its own (a drive root) still has
        // attributes; size and time then stay unknown.
        const platform::attr_bits attributes = layer.get_attributes(path);
        if (attributes == platform::INVALID_ATTRIBUTES) {
            set_errno_from_last_error();
            return -1;
        }
        status.attributes = attributes;
    }

    // The entry's size can lag behind a file that is being written; an open
    // without sharing reads the current one. Folders, files held open by
    // another process and unreadable files keep the entry's size.
    if (!platform::entry_size_can_lag()) return 0;
    platform::file_handle file = layer.open_read(path, platform::read_mode::exclusive);
    if (file.valid()) {
        uint64_t size = 0;
        if (layer.size_of(file, size)) status.size = static_cast<int64_t>(size);
        layer.close(file);
    }
    return 0;
}

}  // namespace zub
