// Directory enumeration primitives over the platform layer's directory search
// and file calls: each entry becomes a file_info with the system's attribute
// bits, 64-bit last-write time and size; path_status gives the status of one
// path in the same terms. A failure hands the layer's OS error code back to
// the caller, which shows the system's text for it or the C library's text
// for the errno it maps to.
#include "foundation/enumeration.h"

namespace zub {

namespace {

void translate_entry(file_info& info) {
    const platform::find_entry& entry = info.find_data;
    info.attributes = entry.attributes;
    info.written = entry.written;
    info.size = static_cast<int64_t>(entry.size);
    info.name = entry.name;
}

}  // namespace

platform::search_handle find_first(std::u16string_view pattern, file_info& info, uint32_t& error) {
    platform::search_handle search = platform::current().find_first(pattern, info.find_data, error);
    if (search.valid()) translate_entry(info);
    return search;
}

bool find_next(platform::search_handle search, file_info& info, uint32_t& error) {
    if (!platform::current().find_next(search, info.find_data, error)) return false;
    translate_entry(info);
    return true;
}

bool find_close(platform::search_handle search, uint32_t& error) {
    return platform::current().find_close(search, error);
}

bool file_entry(std::u16string_view path, file_info& info, uint32_t& error) {
    if (!platform::current().entry_of(path, info.find_data, error)) return false;
    translate_entry(info);
    return true;
}

bool path_status(std::u16string_view path, path_status_record& status, uint32_t& error) {
    platform::os& layer = platform::current();
    status = path_status_record{};  // size -1, time 0

    platform::find_entry entry;
    if (layer.entry_of(path, entry, error)) {
        status.size = static_cast<int64_t>(entry.size);
        status.written = entry.written;
        status.attributes = entry.attributes;
    } else {
        if (platform::is_access_denied(error)) return false;
        // A path without a directory entry of its own (a drive root) still has
        // attributes; size and time then stay unknown.
        const platform::attr_bits attributes = layer.get_attributes(path, error);
        if (attributes == platform::INVALID_ATTRIBUTES) return false;
        status.attributes = attributes;
    }

    // The entry's size can lag behind a file that is being written; an open
    // without sharing reads the current one. Folders, files held open by
    // another process and unreadable files keep the entry's size.
    if (!platform::entry_size_can_lag()) return true;
    uint32_t probe_error = 0;  // a failed probe is not the path's failure
    platform::owned_handle file(layer.open_read(path, platform::read_mode::exclusive, probe_error));
    uint64_t size = 0;
    if (file.valid() && layer.size_of(file.get(), size, probe_error)) status.size = static_cast<int64_t>(size);
    return true;
}

}  // namespace zub
