// The tree walk: lists the source tree depth first in the file system's
// order, pairs each source file with the entry of the same relative path in
// the destination tree and hands proper pairs to the judgement. It writes the
// lines for missing or wrong-kind counterparts and for listing failures,
// applies the -e extension filter and writes the move script lines of -b.
// Only the source tree is listed; entries found only in the destination
// tree are never visited.
#include "engine/tree_walk.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <unordered_set>
#include <vector>

#include "engine/pair_judgement.h"
#include "engine/pair_window.h"
#include "engine/result_logs.h"
#include "foundation/enumeration.h"
#include "foundation/settings.h"

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

// Whether a file entry of a listing is paired at all (-e).
bool visited(const run_state& run, const file_info& entry) {
    return !run.options.ext_filter || admitted_by_extension(run, entry.name);
}

// One file entry of a listing. With pairs in flight, the pair may have been
// compared ahead of the walk: the walk numbers the pairs it visits as the
// walk ahead does, and takes the comparison back from the window.
void visit_file(run_state& run, std::u16string_view src_dir, std::u16string_view dst_dir, const file_info& entry,
                const pair_folders& folders) {
    const run_options& o = run.options;
    if (!visited(run, entry)) return;
    pair_window* const window = run.window;
    const uint64_t number = window ? window->visit() : 0;
    std::u16string src = join_path(src_dir, entry.name);
    std::u16string dst = join_path(dst_dir, entry.name);
    if (o.verbose) report_verbose(run, u"%s\n", src);
    // While the window is shut, the pairs the walk takes itself are timed,
    // to see whether they wait.
    const auto start = std::chrono::steady_clock::now();
    run.compared_around_cache = false;
    struct timing {
        pair_window* window;
        const run_state& run;
        std::chrono::steady_clock::time_point start;
        uint64_t size;
        ~timing() {
            if (window) window->note_pair(size, std::chrono::steady_clock::now() - start, run.compared_around_cache);
        }
    } timed{window && !window->is_open() ? window : nullptr, run, start, static_cast<uint64_t>(entry.size)};
    // The destination's status: as the worker took it, in a run that changes
    // nothing; a run that removes takes it again now, and the worker's
    // comparison stands only when that status is the one the worker saw.
    path_status_record status;
    uint32_t error = 0;
    std::optional<pair_window::found_pair> ahead;
    if (window && window->is_open()) ahead = window->take(number, src);
    bool found = false;
    if (ahead && (!ahead->status_taken || !run_removes(run))) {
        found = ahead->status_taken;
        status = ahead->status;
        error = ahead->error;
    } else {
        found = path_status(dst, status, error);
    }
    std::optional<compare_record> compared;
    if (ahead && ahead->record && found && ahead->status_taken && status.attributes == ahead->status.attributes &&
        status.size == ahead->status.size && status.written == ahead->status.written)
        compared = ahead->record;
    if (!found) {
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
    judge_pair(run, src, dst, entry, status, folders, compared ? &*compared : nullptr);
}

// The source folders being walked, innermost first, with their identities.
struct walk_frame {
    platform::file_id id;
    const walk_frame* parent;
};

using folder_ids = std::unordered_set<platform::file_id, run_state::id_hash>;

// A folder reached through a link (symbolic link, junction) is walked only
// when its identity is new to this run: a link back to a folder being walked
// would make the walk descend until the paths grow too long (exhausting the
// stack on the way), and links to folders walked already can multiply a
// small tree into an endless one. Plain folders are always walked.
// `being_walked(id)` tells whether a folder of the walk's descent has it.
template <class BeingWalked>
std::u16string_view linked_folder_refusal(const folder_ids& walked, std::u16string_view folder,
                                          BeingWalked being_walked) {
    platform::file_id id;
    if (!platform::current().file_identity(folder, id) || id.index == 0) return {};
    if (being_walked(id)) return u"is a link back to a folder being walked: not walked again";
    if (walked.count(id) != 0) return u"is a link to a folder walked already: not walked again";
    return {};
}

// The walk ahead of the walk, on a thread of the window: the same folders in
// the same order by the same rules, writing nothing and changing nothing,
// hands each pair to the window with the number the walk will give it. It
// keeps a list of levels, not call frames, so that a deep tree needs no deep
// stack. It ends at the end of the tree, at a folder of more entries than
// LISTING_AHEAD_ENTRIES (the walk goes on one pair at a time from there), or
// when the window stops taking pairs.
constexpr size_t LISTING_AHEAD_ENTRIES = 16384;
void walk_ahead(const run_state& run, pair_window& window, const std::u16string& src_root,
                const std::u16string& dst_root, bool list_destination) {
    // For each level its listing, read whole and closed again (the walk
    // holds one open listing a level already; the walk ahead holds none),
    // and the lengths the two paths had before it: a deep tree costs one
    // path, not one a level.
    struct level {
        size_t src_length = 0, dst_length = 0;
        platform::file_id id;
        std::vector<file_info> entries;
        size_t next = 0;
    };
    std::vector<level> levels;
    std::u16string src = src_root, dst = dst_root;
    folder_ids walked;
    uint64_t number = 0;
    uint32_t error = 0;
    bool too_large = false;  // a folder too large to hold: the walk ahead ends there
    // Lists the folder the two paths lead to, as walk_folder would.
    auto enter = [&](size_t src_length, size_t dst_length) {
        path_status_record status;
        level l;
        l.src_length = src_length;
        l.dst_length = dst_length;
        if (path_status(src, status, error) && status.is_folder() &&
            (run.options.skip_dir_check || (path_status(dst, status, error) && status.is_folder()))) {
            if (platform::current().file_identity(src, l.id)) walked.insert(l.id);
            file_info entry;
            const platform::search_handle search = find_first(listing_pattern(src), entry, error);
            if (search.valid()) {
                do {
                    too_large = l.entries.size() >= LISTING_AHEAD_ENTRIES;
                    l.entries.push_back(std::move(entry));
                    entry = file_info{};
                } while (!too_large && find_next(search, entry, error));
                find_close(search, error);
            }
            // On a share, one listing of the destination's folder tells its
            // client the names and attributes the workers then ask for, in
            // place of a round trip for each.
            if (list_destination && !l.entries.empty()) {
                const platform::search_handle listing = find_first(listing_pattern(dst), entry, error);
                if (listing.valid()) {
                    while (!window.stopped() && find_next(listing, entry, error)) {
                    }
                    find_close(listing, error);
                }
            }
        }
        if (!l.entries.empty()) {
            levels.push_back(std::move(l));
        } else {
            src.resize(src_length);
            dst.resize(dst_length);
        }
    };
    enter(src.size(), dst.size());
    while (!levels.empty() && !too_large && !window.stopped()) {
        level& l = levels.back();
        if (l.next == l.entries.size()) {
            src.resize(l.src_length);
            dst.resize(l.dst_length);
            levels.pop_back();
            continue;
        }
        const file_info& e = l.entries[l.next++];
        if (e.is_folder()) {
            if (platform::is_dot_name(e.name)) continue;
            const size_t src_length = src.size(), dst_length = dst.size();
            src = join_path(src, e.name);
            const auto being_walked = [&](const platform::file_id& id) {
                return std::any_of(levels.begin(), levels.end(), [&](const level& a) { return a.id == id; });
            };
            if (e.is_link() && !linked_folder_refusal(walked, src, being_walked).empty()) {
                src.resize(src_length);
                continue;
            }
            dst = join_path(dst, e.name);
            enter(src_length, dst_length);
            continue;
        }
        if (!visited(run, e)) continue;
        if (!window.submit(number++, join_path(src, e.name), join_path(dst, e.name), static_cast<uint64_t>(e.size),
                           e.written))
            break;
    }
}

bool walk_folder(run_state& run, std::u16string_view src, std::u16string_view dst, const walk_frame* parent);
bool walk_entry(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& entry,
                const pair_folders& folders, const walk_frame* here);

}  // namespace

bool walk_tree(run_state& run, std::u16string_view src, std::u16string_view dst) {
    std::u16string asked = environment_text("ZUB_INFLIGHT");
    if (asked.empty()) asked = read_setting(u"options", u"inflight");
    const in_flight_plan plan = pairs_in_flight(run, asked, src, dst);
    std::optional<pair_window> window;
    if (plan.width > 1) {
        window.emplace(run, plan.width);
        const std::u16string src_root(src), dst_root(dst);
        window->open_with([&run, &window, src_root, dst_root,
                           plan] { walk_ahead(run, *window, src_root, dst_root, plan.list_destination); },
                          plan.at_once);
    }
    run.window = window ? &*window : nullptr;
    const bool walked = walk_folder(run, src, dst, nullptr);
    run.window = nullptr;
    return walked;
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
        if (!walk_entry(run, src, dst, entry, folders, &here)) break;
    } while (find_next(search, entry, error));
    find_close(search, error);
    return true;
}

// One entry of a listing: a subfolder is walked, a file visited. False when
// the walk of the folder is to stop (a stop request).
bool walk_entry(run_state& run, std::u16string_view src, std::u16string_view dst, const file_info& entry,
                const pair_folders& folders, const walk_frame* here) {
    if (run.stop_requested()) return false;
    if (entry.is_folder()) {
        if (platform::is_dot_name(entry.name)) return true;
        std::u16string src_sub = join_path(src, entry.name);
        if (entry.is_link()) {
            const auto being_walked = [here](const platform::file_id& id) {
                for (const walk_frame* f = here; f; f = f->parent)
                    if (f->id == id) return true;
                return false;
            };
            std::u16string_view refusal = linked_folder_refusal(run.walked_folders, src_sub, being_walked);
            if (!refusal.empty()) {
                report_event(run, LINK_NOT_WALKED, {src_sub, refusal});
                return true;
            }
        }
        std::u16string dst_sub = join_path(dst, entry.name);
        run.out.show_status(relative_dst(run, dst_sub));
        walk_folder(run, src_sub, dst_sub, here);
        return true;
    }
    visit_file(run, src, dst, entry, folders);
    return !run.stop_requested();
}

}  // namespace

}  // namespace zub
