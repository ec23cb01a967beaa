// quarnel, the folder lister: the banner, the option scan, and the two
// listing operations. list_top resolves one command-line argument (a folder,
// a file or a wildcard pattern) and lists what it names; list_dir walks one
// folder depth first and prints every entry relative to the top-level folder
// it belongs to. A folder or pattern that cannot be listed costs one line on
// standard error and the listing goes on; the exit code stays 0.
//
// Windows paths arrive extended-length (\\?\C:\..., \\?\UNC\...); the POSIX
// build has no drive, UNC or prefix forms, and only `/` separates (see
// README.md for the POSIX meaning of each rule).
#include "lister/lister.h"

#include <algorithm>
#include <new>

#include "foundation/enumeration.h"
#include "foundation/paths.h"
#include "foundation/text_output.h"
#include "platform/platform.h"
#include "platform/utf.h"

namespace zub {

size_t list_prefix_len = 0;

namespace {

bool windows_style() { return native_style() == path_style::windows; }

// C:\ or \\?\C:\ exactly: a drive root has no directory entry of its own,
// so searching for it fails and stripping its separator would change its meaning.
bool is_any_drive_root(std::u16string_view p) { return is_drive_root(p) || is_long_drive_root(p); }

// The pattern that lists a top-level argument that could not be searched as
// it stands (a drive root, a share root). `suffix` is "\*.*" when the full
// path ended in a name and "*.*" when it ended in a separator.
std::u16string windows_top_pattern(std::u16string_view p, bool has_file_part) {
    const std::u16string_view suffix = has_file_part ? u"\\*.*" : u"*.*";
    if (p.empty()) return u"*.*";
    if (is_drive_only(p) || (is_drive_root(p) && p[2] == u'\\')) return sformat(u"%s*.*", p);
    if (p.size() >= 4 && p[0] == u'\\' && p[1] == u'\\' && p[2] != u'?') return sformat(u"%s%s", p, suffix);
    if (is_long_drive_root(p) && p[6] == u'\\') return sformat(u"%s*.*", p);
    if (p.size() > 8 && has_long_unc_prefix(p)) return sformat(u"\\\\?\\UNC\\%s%s", p.substr(8), suffix);
    return std::u16string(p);
}

// Identities of the folders being listed, outermost first: a folder that is
// already on this chain (reached again through a link or junction) is not
// listed a second time, which would otherwise repeat the tree until the path
// grows too long for the system.
std::vector<platform::file_id> open_folders;

// Lists one search: files by bare name, each folder's contents relative to
// that folder. `search_path` is the pattern or path the search was opened with.
void list_search(platform::search_handle search, file_info& info, std::u16string_view search_path) {
    const std::u16string folder_part = parent_dir(search_path);
    uint32_t error = 0;
    do {
        if (info.is_folder()) {
            if (platform::is_dot_name(info.name)) continue;
            const std::u16string joined = join_path_plain(folder_part, info.name);
            list_prefix_len = joined.size() + 1;
            list_dir(joined);
        } else {
            print_out(u"\"%s\", %I64d\n", info.name, info.size);
        }
    } while (find_next(search, info, error));
    find_close(search, error);
}

void list_top_windows(std::u16string_view path) {
    std::u16string full;
    bool has_file_part = false;
    uint32_t error = 0;
    if (!platform::current().full_path(path, full, &has_file_part, error)) {
        // Treated like a failure of the call: keep the name as typed.
        full = std::u16string(path);
        has_file_part = !full.empty() && !is_separator(full.back(), path_style::windows);
    }

    file_info info;
    platform::search_handle search = find_first(path, info, error);
    if (search.valid()) {
        list_search(search, info, path);
        return;
    }
    if (!is_any_drive_root(path)) {
        std::u16string stripped = full;
        strip_trailing_backslash(stripped);
        search = find_first(stripped, info, error);
        if (search.valid()) {
            list_search(search, info, stripped);
            return;
        }
    }
    const std::u16string pattern = windows_top_pattern(path, has_file_part);
    search = find_first(pattern, info, error);
    if (!search.valid()) {
        const int number = platform::errno_from_os_error(error);
        print_to(text_stream::err(), u"%s: %s\n", path, errno_message_text(number));
        return;
    }
    list_search(search, info, pattern);
}

// POSIX: trailing separators are dropped first (dir/ names dir, as the
// shell's tools read it); the root, which has no entry of its own, is listed
// through "/*.*".
void list_top_posix(std::u16string_view path) {
    std::u16string name(path);
    while (name.size() > 1 && name.back() == u'/') name.pop_back();

    file_info info;
    uint32_t error = 0;
    std::u16string search_path = name;
    if (name == u"/") search_path = u"/*.*";
    platform::search_handle search = find_first(search_path, info, error);
    if (!search.valid()) {
        const int number = platform::errno_from_os_error(error);
        print_to(text_stream::err(), u"%s: %s\n", path, errno_message_text(number));
        return;
    }
    list_search(search, info, search_path);
}

}  // namespace

void list_top(std::u16string_view path) {
    if (windows_style())
        list_top_windows(path);
    else
        list_top_posix(path);
}

void list_dir(std::u16string_view folder) {
    file_info info;
    uint32_t error = 0;
    platform::search_handle search = find_first(folder, info, error);
    if (!search.valid()) {
        const int number = platform::errno_from_os_error(error);
        print_to(text_stream::err(), u"\"%s\" %s\n", folder, errno_message_text(number));
        return;
    }
    find_close(search, error);
    if (!info.is_folder()) {
        print_out(u"\"%s\", %I64d\n", info.name, info.size);
        return;
    }

    // A file system that reports no file index (0) leaves the identity unknown,
    // so that it cannot make every subfolder look like its ancestor.
    platform::file_id id;
    const bool known = platform::current().file_identity(folder, id) && id.index != 0;
    if (known && std::find(open_folders.begin(), open_folders.end(), id) != open_folders.end()) {
        print_to(text_stream::err(), u"\"%s\" %s\n", folder,
                 u"is a link back to a folder being listed: not listed again");
        return;
    }
    if (known) open_folders.push_back(id);

    const std::u16string pattern = listing_pattern_plain(folder);
    search = find_first(pattern, info, error);
    if (!search.valid()) {
        const int number = platform::errno_from_os_error(error);
        print_to(text_stream::err(), u"%s: %s\n", pattern, errno_message_text(number));
    } else {
        do {
            if (info.is_folder() && platform::is_dot_name(info.name)) continue;
            const std::u16string joined = join_path_plain(folder, info.name);
            const std::u16string_view shown =
                std::u16string_view(joined).substr(std::min(list_prefix_len, joined.size()));
            if (info.is_folder()) {
                print_out(u"\"%s\", dir\n", shown);
                list_dir(joined);
            } else {
                print_out(u"\"%s\", %I64d\n", shown, info.size);
            }
        } while (find_next(search, info, error));
        find_close(search, error);
    }
    if (known) open_folders.pop_back();
}

namespace {

constexpr std::u16string_view version_line = u"quarnel Version 6\n";

int run_lister(const std::vector<std::u16string>& args, const std::u16string& name) {
    // --help and --version as the first argument: the whole synopsis or the
    // version line on standard output (plain UTF-8 on POSIX), status 0.
    if (args.size() >= 2 && (args[1] == u"--help" || args[1] == u"--version")) {
        if (native_style() == path_style::posix) set_output_encoding(text_encoding::utf8);
        if (args[1] == u"--help")
            print_out(u"usage: %s [-l] [-p] [dir|file|pattern ...]\n", name);
        else
            print_out(version_line);
        return 0;
    }
    text_stream& err = text_stream::err();
    print_to(err, version_line);

    // Option clusters: `-` (and on Windows `/`) begins one; on POSIX a
    // leading `/` is an absolute path.
    const bool windows = windows_style();
    size_t next = 1;
    while (next < args.size()) {
        const std::u16string& arg = args[next];
        if (arg.empty() || !(arg[0] == u'-' || (windows && arg[0] == u'/'))) break;
        ++next;
        if (arg == u"--") break;
        for (size_t k = 1; k < arg.size(); ++k) {
            const char16_t c = platform::ascii_upper(arg[k]);
            if (c == u'L' || c == u'P' || c == u'-' || c == u'/') continue;
            if (c == u'H' || c == u'?') {
                print_to(err, u"usage: %s [dir]\n", name);
                return 1;
            }
            if (is_lead_surrogate(c) && k + 1 < arg.size() && is_trail_surrogate(arg[k + 1]))
                print_to(err, u"%s: bad option %s\n", name, std::u16string_view(arg).substr(k, 2));
            else
                print_to(err, u"%s: bad option %c\n", name, c);
            print_to(err, u"for more infomation: %s /?\n", name);
            return 1;
        }
    }

    if (next == args.size()) {
        list_prefix_len = 0;
        list_top(u"*.*");
        return 0;
    }
    for (; next < args.size(); ++next) {
        const std::u16string& arg = args[next];
        if (arg.empty()) {
            list_top(u"*.*");
            continue;
        }
        const std::u16string long_path = make_long_path_as_spelled(arg);
        list_top(long_path);
    }
    return 0;
}

}  // namespace

int quarnel_main(const std::vector<std::u16string>& args) {
    const std::u16string name = args.empty() ? std::u16string(u"quarnel") : args[0];
    set_program_name(name);
    // quarnel has no settings file: only ZUB_ENCODING chooses UTF-8.
    choose_output_encoding({});
    const std::new_handler previous_handler = std::set_new_handler(exit_out_of_memory);
    const int code = run_lister(args, name);
    std::set_new_handler(previous_handler);
    return code;
}

}  // namespace zub
