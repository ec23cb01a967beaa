// Directory enumeration primitives over the platform layer's directory search
// and file calls: each entry becomes a file_info with translated attribute
// flags, 64-bit times and size; path_status gives the status of one path with
// mode bits close to the C library's stat record. Every failure leaves the OS
// error code as the thread's last error (the layer stores it) and errno set by
// the platform's mapping, so that the comparer can show the system's text and
// the lister the C library's.
#include "foundation/enumeration.h"

#include <cerrno>

namespace zub {

namespace {

void set_errno_from_last_error() { errno = platform::errno_from_os_error(platform::last_error()); }

void translate_entry(file_info& info) {
    const platform::find_entry& entry = info.find_data;
    info.flags = translate_attributes(entry.attributes);
    info.created = entry.created;
    info.accessed = entry.accessed;
    info.written = entry.written;
    info.size = static_cast<int64_t>(entry.size);
    info.name = entry.name;
    info.short_name = entry.short_name;
}

}  // namespace

fi_bits translate_attributes(platform::attr_bits a) {
    using platform::attr_bits;
    fi_bits flags{};
    if (has(a, attr_bits::READONLY)) flags |= fi_bits::READONLY;
    if (has(a, attr_bits::HIDDEN)) flags |= fi_bits::HIDDEN;
    if (has(a, attr_bits::SYSTEM)) flags |= fi_bits::SYSTEM;
    if (has(a, attr_bits::DIRECTORY)) flags |= fi_bits::DIRECTORY;
    if (has(a, attr_bits::ARCHIVE)) flags |= fi_bits::ARCHIVE;
    if (has(a, attr_bits::COMPRESSED)) flags |= fi_bits::COMPRESSED;
    if (has(a, attr_bits::ENCRYPTED)) flags |= fi_bits::ENCRYPTED;
    if (has(a, attr_bits::REPARSE_POINT)) flags |= fi_bits::REPARSE_POINT;
    if (has(a, attr_bits::SPARSE)) flags |= fi_bits::SPARSE;
    return flags;
}

mode_bits mode_from_attributes(platform::attr_bits a) {
    using platform::attr_bits;
    mode_bits mode = has(a, attr_bits::DIRECTORY) ? mode_bits::DIRECTORY : mode_bits::REGULAR;
    mode |= mode_bits::READABLE;
    if (has(a, attr_bits::READONLY))
        mode |= mode_bits::READONLY;
    else
        mode |= mode_bits::WRITABLE;
    if (has(a, attr_bits::COMPRESSED)) mode |= mode_bits::COMPRESSED;
    if (has(a, attr_bits::ENCRYPTED)) mode |= mode_bits::ENCRYPTED;
    if (has(a, attr_bits::REPARSE_POINT)) mode |= mode_bits::REPARSE_POINT;
    if (has(a, attr_bits::SPARSE)) mode |= mode_bits::SPARSE;
    if (has(a, attr_bits::ARCHIVE)) mode |= mode_bits::ARCHIVE;
    if (has(a, attr_bits::SYSTEM)) mode |= mode_bits::SYSTEM;
    if (has(a, attr_bits::HIDDEN)) mode |= mode_bits::HIDDEN;
    return mode;
}

platform::handle find_first(std::u16string_view pattern, file_info& info) {
    platform::handle search = platform::current().find_first(pattern, info.find_data);
    if (!search.valid()) {
        set_errno_from_last_error();
        return platform::INVALID_HANDLE;
    }
    translate_entry(info);
    return search;
}

int find_next(platform::handle search, file_info& info) {
    if (!platform::current().find_next(search, info.find_data)) {
        set_errno_from_last_error();
        return -1;
    }
    translate_entry(info);
    return 0;
}

int find_close(platform::handle search) {
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
    status = path_status_record{};  // size -1, times 0

    platform::attr_bits attributes{};
    uint32_t reparse_tag = 0;
    platform::find_entry entry;
    if (layer.entry_of(path, entry)) {
        status.size = static_cast<int64_t>(entry.size);
        status.accessed = entry.accessed;
        status.written = entry.written;
        status.created = entry.created;
        attributes = entry.attributes;
        reparse_tag = entry.reparse_tag;
    } else {
        const uint32_t code = platform::last_error();
        if (platform::is_access_denied(code)) {
            errno = EACCES;
            return -1;
        }
        // A path without a directory entry of its own (a drive root) still has
        // attributes; size and times then stay unknown.
        attributes = layer.get_attributes(path);
        if (attributes == platform::INVALID_ATTRIBUTES) {
            set_errno_from_last_error();
            return -1;
        }
    }

    status.mode = mode_from_attributes(attributes);
    if (has(attributes, platform::attr_bits::REPARSE_POINT)) status.reparse_tag = reparse_tag;

    // The entry's size can lag behind a file that is being written; an open
    // without sharing reads the current one. Folders, files held open by
    // another process and unreadable files keep the entry's size.
    if (!platform::entry_size_can_lag()) return 0;
    platform::handle file = layer.open_read(path, platform::read_mode::exclusive);
    if (file.valid()) {
        uint64_t size = 0;
        if (layer.size_of(file, size)) status.size = static_cast<int64_t>(size);
        layer.close(file);
    }
    return 0;
}

void set_os_error(uint32_t code) {
    platform::set_last_error(code);
    errno = platform::errno_from_os_error(code);
}

}  // namespace zub
