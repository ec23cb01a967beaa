// The tree walk: lists the source tree depth first in the file system's
// order, pairs each source file with the entry of the same relative path in
// the destination tree and hands proper pairs to the judgement. It writes the
// lines for missing or wrong-kind counterparts and for listing failures,
// applies the -e extension filter and writes the move script lines of -b.
// Only the source tree is listed; entries found only in the destination
// tree are never visited.
#include "engine/tree_walk.h"

#include <optional>

#include "engine/pair_judgement.h"
#include "engine/result_logs.h"
#include "foundation/enumeration.h"

namespace zub {

namespace {

// The text and code of the OS error of a call that failed.
struct os_failure {
    std::u16string text;
    int32_t code;
};
os_failure failure_of(uint32_t code) { return {system_message_text(code), static_cast<int32_t>(code)}; }

bool admitted_by_extension(const run_state& run, std::u16string_view name) {
    std::optional<size_t> dot = file_extension(name);
    std::u16string_view ext = dot ? name.substr(*dot + 1) : std::u16string_view();
    for (const std::u16string& entry : run.extensions.entries)
        if (equal_ignore_case(ext, entry)) return true;
    return false;
}

// A destination folder that is not a folder (the path).
constexpr event_wording NOT_A_FOLDER{.lng = u"\"%s\" not a directory\n", .full = u"\"%s\" not a directory\n"};
// The source root whose status cannot be taken (the path, the system's text
// and code); a folder inside the tree is written as PATH_MISSING.
constexpr event_wording ROOT_MISSING{
    .err = u"\"%s\" %s (%d)\n", .aer = u"%s: %s (%d)\n", .lng = u"\"%s\" %s (%d)\n", .full = u"\"%s\" %s (%d)\n"};
// A folder that cannot be listed (the listing pattern, the system's text and code).
constexpr event_wording LISTING_FAILED{
    .err = u"\"%s\" %s (%d)\n", .aer = u"%s: %s (%d)\n", .lng = u"\"%s\" %s (%d)\n", .full = u"\"%s\" error %s (%d)\n"};
// A linked folder that is not walked (the folder and the reason).
constexpr event_wording LINK_NOT_WALKED{
    .err = u"\"%s\" %s\n", .aer = u"%s: %s\n", .lng = u"\"%s\" %s\n", .full = u"\"%s\" error %s\n"};

// A pair of paths in a source list and a destination list.
void list_pair(run_state& run, log_id src_list, std::u16string_view src, log_id dst_list, std::u16string_view dst) {
    list_path(run, src_list, src);
    list_path(run, dst_list, dst);
}

// The destination folder of a listed source folder. False when it is missing
// or not a folder (reported; the source folder is not listed then).
bool destination_folder_present(run_state& run, std::u16string_view src, std::u16string_view dst) {
    const run_options& o = run.options;
    path_status_record status;
    uint32_t error = 0;
    if (!path_status(dst, status, error)) {
        os_failure f = failure_of(error);
        list_pair(run, log_id::sdnf, src, log_id::ddnf, dst);
        ++run.counts.dir_not_found_count;
        report_event(run, PATH_MISSING, {dst, f.text, f.code});
        if (o.move_script) write_move(run, src, dst);
        return false;
    }
    if (!status.is_folder()) {
        list_pair(run, log_id::sdnf, src, log_id::ddnf, dst);
        ++run.counts.dir_not_found_count;
        report_event(run, NOT_A_FOLDER, {dst});
        if (o.move_script && o.rename_suffix_on) write_rename(run, dst, o.rename_suffix);
        return false;
    }
    return true;
}

// One file entry of a listing.
void visit_file(run_state& run, std::u16string_view src_dir, std::u16string_view dst_dir, const file_info& entry,
                const pair_folders& folders) {
    const run_options& o = run.options;
    if (o.ext_filter && !admitted_by_extension(run, entry.name)) return;
    std::u16string src = join_path(src_dir, entry.name);
    std::u16string dst = join_path(dst_dir, entry.name);
    if (o.verbose) report_verbose(run, u"%s\n", src);
    path_status_record status;
    uint32_t error = 0;
    if (!path_status(dst, status, error)) {
        os_failure f = failure_of(error);
        list_pair(run, log_id::sfnf, src, log_id::dfnf, dst);
        report_event(run, PATH_MISSING, {dst, f.text, f.code});
        if (o.move_script) write_move(run, src, dst);
        ++run.counts.file_not_found_count;
        return;
    }
    if (status.is_folder()) {
        list_pair(run, log_id::sdif, src, log_id::ddif, dst);
        report_event(run, NOT_A_FILE, {dst});
        if (o.move_script && o.rename_suffix_on) write_rename(run, src, o.rename_suffix);
        return;
    }
    judge_pair(run, src, dst, entry, status, folders);
}

// The source folders being walked, innermost first, with their identities.
struct walk_frame {
    platform::file_id id;
    const walk_frame* parent;
};

// A folder reached through a link (symbolic link, junction) is walked only
// when its identity is new to this run: a link back to a folder being walked
// would make the walk descend until the paths grow too long (exhausting the
// stack on the way), and links to folders walked already can multiply a
// small tree into an endless one. Plain folders are always walked.
std::u16string_view linked_folder_refusal(run_state& run, std::u16string_view folder, const walk_frame* ancestors) {
    platform::file_id id;
    if (!platform::current().file_identity(folder, id) || id.index == 0) return {};
    for (const walk_frame* f = ancestors; f; f = f->parent)
        if (f->id == id) return u"is a link back to a folder being walked: not walked again";
    if (run.walked_folders.count(id) != 0) return u"is a link to a folder walked already: not walked again";
    return {};
}

bool walk_folder(run_state& run, std::u16string_view src, std::u16string_view dst, const walk_frame* parent);

}  // namespace

bool walk_tree(run_state& run, std::u16string_view src, std::u16string_view dst) {
    return walk_folder(run, src, dst, nullptr);
}

namespace {

// False only when the status of the folder itself cannot be taken.
bool walk_folder(run_state& run, std::u16string_view src, std::u16string_view dst, const walk_frame* parent) {
    const run_options& o = run.options;
    path_status_record src_status;
    uint32_t error = 0;
    if (!path_status(src, src_status, error)) {
        os_failure f = failure_of(error);
        // The source root itself fails the run, which is said on standard error too.
        report_event(run, parent == nullptr ? ROOT_MISSING : PATH_MISSING, {src, f.text, f.code});
        return false;
    }
    if (!src_status.is_folder()) {
        judge_single_file(run, src, dst);
        return true;
    }
    if (!o.skip_dir_check && !destination_folder_present(run, src, dst)) return true;

    platform::os& os = platform::current();
    walk_frame here{{}, parent};
    if (os.file_identity(src, here.id)) run.walked_folders.insert(here.id);
    pair_folders folders;
    if (run_removes(run)) {
        folders.src = here.id;
        os.file_identity(dst, folders.dst);
    }

    std::u16string pattern = listing_pattern(src);
    file_info entry;
    platform::search_handle search = find_first(pattern, entry, error);
    if (!search.valid()) {
        os_failure f = failure_of(error);
        report_event(run, LISTING_FAILED, {pattern, f.text, f.code});
        return true;
    }
    // Held no longer than needed: in a deep tree every level's pattern would
    // otherwise stay for the whole descent.
    std::u16string().swap(pattern);
    do {
        if (run.stop_requested()) break;
        if (entry.is_folder()) {
            if (platform::is_dot_name(entry.name)) continue;
            std::u16string src_sub = join_path(src, entry.name);
            if (entry.is_link()) {
                std::u16string_view refusal = linked_folder_refusal(run, src_sub, &here);
                if (!refusal.empty()) {
                    report_event(run, LINK_NOT_WALKED, {src_sub, refusal});
                    continue;
                }
            }
            std::u16string dst_sub = join_path(dst, entry.name);
            run.out.show_status(relative_dst(run, dst_sub));
            walk_folder(run, src_sub, dst_sub, &here);
        } else {
            visit_file(run, src, dst, entry, folders);
            if (run.stop_requested()) break;
        }
    } while (find_next(search, entry, error));
    find_close(search, error);
    return true;
}

}  // namespace

}  // namespace zub
